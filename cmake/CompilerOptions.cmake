# Applied to every target of the project.
add_compile_options(-Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
# The DSP code computes in single precision and its results are compared to the unit;
# fused multiply-adds would change the last bits.
add_compile_options(-ffp-contract=off)
if(TELVARION_WERROR)
  add_compile_options(-Werror)
endif()

if(TELVARION_SANITIZE)
  add_compile_options(-fsanitize=${TELVARION_SANITIZE} -fno-sanitize-recover=all
                      -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${TELVARION_SANITIZE})
endif()

if(TELVARION_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "TELVARION_FUZZ needs clang (use the fuzz preset)")
  endif()
  # Every library is instrumented for coverage; only the fuzz targets link the driver.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
