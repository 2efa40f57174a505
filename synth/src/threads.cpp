// The thread-count exports: the program's setting over the worker pool.
#include "worker_pool.h"

#include <kestra/kestra.h>

static_assert(kestra::kMaxThreads == KESTRA_MAX_THREADS);

extern "C" KESTRA_API int32_t KESTRA_Set_Threads(int32_t threads) {
    return kestra::set_worker_threads(threads) ? KESTRA_OK : KESTRA_ERROR_BAD_ARGUMENT;
}

extern "C" KESTRA_API int32_t KESTRA_Threads(void) {
    try {
        return kestra::worker_threads();
    } catch (...) {
        return 1; // the pool could not be made: the caller's thread does everything
    }
}
