#include "analysis/large_buffer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace varnika::analysis {

void advise_huge_pages(void* data, std::size_t bytes) {
    constexpr std::size_t huge_page = std::size_t{2} << 20;
    if (data == nullptr || bytes < huge_page) {
        return;
    }
    // The advice covers whole pages: from the page the buffer starts on to the one it ends on. Any bytes
    // of the same mapping before or after it only become eligible for huge pages as well.
    const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(data) & ~(page - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(data) + bytes;
    // Only advice: a kernel without huge pages refuses it and the buffer works as before.
    (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

} // namespace varnika::analysis
