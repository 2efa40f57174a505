// The library boundary: no exception may reach the caller of an export.
#ifndef WAVESAVE_BOUNDARY_H
#define WAVESAVE_BOUNDARY_H

#include <cstdint>

namespace wavesave {

// Runs an export's body and turns any exception (out of memory, above all) into `failure`.
template <class Body> std::int32_t guarded(std::int32_t failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failure;
    }
}

} // namespace wavesave

#endif
