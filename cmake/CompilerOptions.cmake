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

# The optimised plain builds (the ones cpack packs) take Debian's hardening flags from
# dpkg-buildflags: stack protector, fortified libc calls, format checks, full RELRO and
# immediate binding (PIE is the compiler's default on Debian). The build type keeps the choice
# of optimisation and debug information. _FORTIFY_SOURCE needs optimisation, and the
# sanitizers and the fuzzer bring checks of their own, so the other builds go without.
if(CMAKE_BUILD_TYPE MATCHES "^(Release|RelWithDebInfo|MinSizeRel)$" AND NOT TELVARION_SANITIZE
   AND NOT TELVARION_FUZZ)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags REQUIRED)
  foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
    # From the source folder: its path is what -ffile-prefix-map takes out of the binary.
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get ${kind}
                    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} OUTPUT_VARIABLE flags
                    OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-(O.*|g)$")
    if(kind STREQUAL "LDFLAGS")
      add_link_options(${flags})
    else()
      add_compile_options(${flags})
    endif()
    message(STATUS "Debian ${kind}: ${flags}")
  endforeach()
endif()
