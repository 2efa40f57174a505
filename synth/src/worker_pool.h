// Worker threads kept alive between calls: starting a thread costs as much as a whole small frame,
// so the library starts its helpers once and hands them parts of each long loop.
#pragma once

#include <cstdint>

namespace kestra {

// Runs task(context, part) for every part in [0, parts) on the calling thread and the workers, and
// returns when all parts are done. A call that finds the workers busy (another thread's export)
// runs every part itself. The split never changes a result: each part writes its own outputs.
void run_parts(int32_t parts, void (*task)(void* context, int32_t part), void* context);

// Convenience form for a callable: run_parts(parts, [&](int32_t part) { ... }).
template <class Task> void run_parts(int32_t parts, Task&& task) {
    run_parts(
        parts, [](void* context, int32_t part) { (*static_cast<Task*>(context))(part); },
        static_cast<void*>(&task));
}

// Threads that take part in run_parts: the caller plus the workers (at least 1).
int32_t worker_threads();

// Caps the threads run_parts uses (1: the caller alone); 0 restores all of them. For tests that show
// a result does not depend on the thread count.
void limit_worker_threads(int32_t threads);

} // namespace kestra
