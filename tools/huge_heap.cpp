#include "huge_heap.h"

#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#define VARNIKA_GLIBC_HEAP 1
#endif

namespace varnika::cli {

#ifdef VARNIKA_GLIBC_HEAP
namespace {
void* volatile set_aside = nullptr; // kept for the life of the program
} // namespace
#endif

void keep_heap_on_huge_pages([[maybe_unused]] std::size_t bytes) {
#ifdef VARNIKA_GLIBC_HEAP
    constexpr std::uintptr_t huge_page = std::uintptr_t{2} << 20;
    // Blocks up to 4 MB come from the heap rather than a mapping of their own; the heap grows by `bytes`
    // at a time and is not trimmed, so what is advised below stays in use.
    mallopt(M_MMAP_THRESHOLD, 4 << 20);
    mallopt(M_TRIM_THRESHOLD, static_cast<int>(4 * bytes));
    mallopt(M_TOP_PAD, static_cast<int>(bytes));
    void* const start = sbrk(0);
    if (start == reinterpret_cast<void*>(-1)) {
        return;
    }
    const auto before = reinterpret_cast<std::uintptr_t>(start);
    void* volatile grow = std::malloc(256 << 10); // more than the heap's first extent holds
    std::free(grow);
    const auto after = reinterpret_cast<std::uintptr_t>(sbrk(0));
    const std::uintptr_t begin = (before + huge_page - 1) & ~(huge_page - 1);
    const std::uintptr_t end = after & ~(huge_page - 1);
    if (end <= begin || madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE) != 0) {
        return;
    }
    // The heap's free top starts below `begin`, on pages already mapped small. That stretch is set
    // aside, never touched, so that the allocations to come start on the first huge page.
    const auto top = static_cast<std::uintptr_t>(mallinfo2().keepcost);
    const std::uintptr_t top_start = after - top;
    constexpr std::uintptr_t chunk_header = 2 * sizeof(std::size_t);
    if (top_start + 2 * chunk_header < begin) {
        set_aside = std::malloc(begin - top_start - 2 * chunk_header);
    }
#endif
}

} // namespace varnika::cli
