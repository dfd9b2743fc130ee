// The invariant checks of the fuzz targets. A broken invariant aborts, so that libFuzzer
// keeps the input as a crash artifact like any sanitizer report; assert() would vanish in a
// release-style build.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)
