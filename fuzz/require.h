// The fuzz targets' check: reports the broken property and stops, so that libFuzzer keeps the
// input.
#pragma once

#include <cstdio>
#include <cstdlib>

#define require(ok)                                                                                \
    do {                                                                                           \
        if (!(ok)) {                                                                               \
            std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #ok);                          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
