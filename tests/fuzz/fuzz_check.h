// The property check of every fuzz target, apart from the plug-in's
// helpers in fuzz_support.h.
#pragma once

#include <cstdio>
#include <cstdlib>

// Aborts with the evidence, so that libFuzzer keeps the input and a corpus
// replay fails.
#define FUZZ_CHECK(condition, ...)                                                          \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::fprintf(stderr, __VA_ARGS__);                                                    \
      std::fputc('\n', stderr);                                                             \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)
