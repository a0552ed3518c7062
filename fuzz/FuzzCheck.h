#pragma once
// What a fuzz target asserts: a broken rule is reported with the input's size and ends the run
// like a crash, so libFuzzer keeps the input that broke it.
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                       \
    do {                                                                                       \
        if (!(cond)) {                                                                         \
            std::fprintf(stderr, "%s:%d: rule broken: %s\n", __FILE__, __LINE__, #cond);     \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)
