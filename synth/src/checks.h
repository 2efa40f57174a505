// Length checks on the spans handed down to the kernels: active in debug and sanitizer builds,
// nothing in the release build.
#pragma once

#include <cstdio>
#include <cstdlib>

#if !defined(NDEBUG) || defined(KESTRA_CHECK_LENGTHS)
#define KESTRA_EXPECT(condition)                                                                             \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "%s:%d: kestra: expected %s\n", __FILE__, __LINE__, #condition);            \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)
#else
#define KESTRA_EXPECT(condition) static_cast<void>(sizeof(!(condition))) // not evaluated
#endif
