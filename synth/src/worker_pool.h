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

// Most threads a program may ask for.
inline constexpr int32_t kMaxThreads = 64;
// The default is the cores the process may use, at most this many: a ratio-80 frame is about 60 ms of
// work on one core, split in blocks of 32 outputs; past 16 threads each thread's share is a few
// milliseconds, waking it costs a noticeable part of that and the 42 MB waveform's memory traffic
// sets the pace, while a program on a large server would tie up dozens of cores for nothing.
inline constexpr int32_t kDefaultMaxThreads = 16;

// Threads that take part in run_parts: the caller plus the workers (at least 1). The program's
// setting (set_worker_threads), else the environment variable KESTRA_THREADS (1 to kMaxThreads),
// else the cores available to the process, at most kDefaultMaxThreads.
int32_t worker_threads();

// Sets the thread count (1: the caller alone; 0: back to the default). False, nothing changed, for a
// count below 0 or above kMaxThreads. Results never depend on it.
bool set_worker_threads(int32_t threads);

// The same for tests, with the count clamped to the valid range.
void limit_worker_threads(int32_t threads);

} // namespace kestra
