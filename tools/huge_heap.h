// The program's heap on huge pages. Start-up builds the window's models out of many thousands of small
// allocations; on a virtual machine the first touch of each fresh 4 KB page of the heap costs several
// microseconds, which adds up to milliseconds before the run has begun.
#pragma once

#include <cstddef>

namespace varnika::cli {

// Grows the heap once by `bytes`, keeps it from being handed back, and asks the kernel to back it with
// huge pages. Call it first thing in main, before the heap is in real use. Only advice: where the
// allocator is not the C library's own, or the kernel offers no huge pages, nothing changes.
void keep_heap_on_huge_pages(std::size_t bytes);

} // namespace varnika::cli
