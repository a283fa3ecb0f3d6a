#pragma once

#include <cstdio>
#include <cstdlib>

// A property that every input must keep; a broken one ends the run like a crash would.
#define FUZZ_CHECK(condition)                                                                                           \
    do {                                                                                                               \
        if (!(condition)) {                                                                                            \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);                      \
            std::abort();                                                                                              \
        }                                                                                                              \
    } while (false)
