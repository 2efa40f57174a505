// Buffers of tens of megabytes (a frame's samples and their line spectrum). Touching such a buffer for the
// first time costs a page fault per page; with small pages that is thousands of faults and takes longer
// than the transforms themselves, so the kernel is asked to back these buffers with huge pages.
#pragma once

#include <cstddef>
#include <vector>

namespace varnika::analysis {

// Asks for huge pages over the pages `data` .. `data + bytes` lies on; nothing for small buffers or where
// the kernel does not offer them. Call it before the buffer is first written.
void advise_huge_pages(void* data, std::size_t bytes);

// A vector of `count` value-initialised elements whose storage was advised before it was first touched.
template <class T> std::vector<T> large_vector(std::size_t count) {
    std::vector<T> v;
    v.reserve(count);
    advise_huge_pages(v.data(), count * sizeof(T));
    v.resize(count);
    return v;
}

} // namespace varnika::analysis
