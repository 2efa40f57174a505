// The four short PN tables of one 32768-chip period, as +1.0 / -1.0 values.
#pragma once

#include <span>

namespace kestra {

// Forward-link in-phase and quadrature short PN sequences (also read directly by RC1/RC2).
std::span<const double> pn_i_table();
std::span<const double> pn_q_table();
// Reverse-link spreading pair: I is the PN-I sequence; Q is PN-I times PN-Q held over chip pairs,
// with the sign alternating chip by chip.
std::span<const double> reverse_pn_i_table();
std::span<const double> reverse_pn_q_table();

} // namespace kestra
