// Walsh functions: rows of the Sylvester-ordered Hadamard matrix of order 256.
#pragma once

#include "kestra/air_interface.h"

#include <cstdint>
#include <span>

namespace kestra {

// Longest Walsh function the library writes.
inline constexpr int kMaxWalshLength = air::max_walsh_length;

// Writes length values of Walsh function index (element j = (-1)^popcount(index & j)).
// Any length 1..256 is accepted; a length that is a multiple of the function's natural length
// repeats it. Returns 0, or -1 (nothing written) when length > 256 or index >= 256.
int32_t write_walsh_code(int32_t length, int32_t index, std::span<double> out);

} // namespace kestra
