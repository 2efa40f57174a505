// Carves a caller's work area into typed, aligned spans. Each export lists its layout
// in one place with successive take<T>(n) calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestra {

class WorkArea {
public:
    explicit WorkArea(void* base) : base_(static_cast<std::byte*>(base)) {}

    // The next n elements of T, aligned to 16 bytes from the start of the area.
    template <class T> std::span<T> take(std::size_t n) {
        offset_ = (offset_ + 15u) & ~std::size_t{15u};
        std::span<T> s(reinterpret_cast<T*>(base_ + offset_), n);
        offset_ += n * sizeof(T);
        return s;
    }

    // Bytes used so far (the minimum work-area size of a layout).
    std::size_t used() const { return offset_; }

private:
    std::byte* base_;
    std::size_t offset_ = 0;
};

} // namespace kestra
