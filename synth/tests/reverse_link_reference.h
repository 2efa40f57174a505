// A plain reference for the reverse-link chip sums, written from the channel tables with naive
// loops: Walsh rows by Sylvester doubling, PN9 data by its recurrence, constellations from their
// tables. It shares no code with the library's spreaders.
#pragma once

#include "kestra/kestra.h"
#include "pn_tables.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace rlref {

constexpr size_t kChips = FRAME_CHIPS;

// Row index of the order-256 Hadamard matrix, H(2n) = [[H, H], [H, -H]], first length entries.
inline std::vector<double> walsh(int length, int index) {
    static const std::vector<std::vector<double>> h256 = [] {
        std::vector<std::vector<double>> h{{1.0}};
        while (h.size() < 256) {
            const size_t n = h.size();
            std::vector<std::vector<double>> next(2 * n, std::vector<double>(2 * n));
            for (size_t r = 0; r < n; ++r) {
                for (size_t c = 0; c < n; ++c) {
                    next[r][c] = next[r][c + n] = next[r + n][c] = h[r][c];
                    next[r + n][c + n] = -h[r][c];
                }
            }
            h = std::move(next);
        }
        return h;
    }();
    const auto& row = h256.at(static_cast<size_t>(index));
    return {row.begin(), row.begin() + length};
}

// x^9 + x^5 + 1 data bits: the first nine are the seed's bits 8 down to 0, then o(k+9) = o(k) xor o(k+4).
inline std::vector<int> pn9(int seed, size_t n) {
    std::vector<int> o(n + 9);
    for (size_t k = 0; k < 9; ++k) {
        o[k] = (seed >> (8 - k)) & 1;
    }
    for (size_t k = 0; k < n; ++k) {
        o[k + 9] = o[k] ^ o[k + 4];
    }
    o.resize(n);
    return o;
}

struct Point {
    double i;
    double q;
};

inline Point symbol(const int* b, int bits_per_symbol) {
    const double r2 = 0.7071067811865476;
    const double c = 0.9238795325112867;
    const double s = 0.3826834323650898;
    switch (bits_per_symbol) {
    case 1:
        return {b[0] != 0 ? -1.0 : 1.0, 0.0};
    case 2:
        return {b[0] != 0 ? -r2 : r2, b[1] != 0 ? -r2 : r2};
    default: {
        const std::string key{static_cast<char>('0' + b[0]), static_cast<char>('0' + b[1]),
                              static_cast<char>('0' + b[2])};
        const std::vector<std::pair<std::string, Point>> table{
            {"000", {c, s}},  {"100", {s, c}},  {"010", {-c, s}},  {"110", {-s, c}},
            {"001", {c, -s}}, {"101", {s, -c}}, {"011", {-c, -s}}, {"111", {-s, -c}}};
        for (const auto& [bits, p] : table) {
            if (bits == key) {
                return p;
            }
        }
        return {0.0, 0.0};
    }
    }
}

enum class Branch { i, q, both };

// One code channel (or one PDCH stream) as it goes into the sums.
struct Channel {
    Branch branch;
    int length; // Walsh length, chips per symbol
    int index;  // Walsh number
    int seed;
    double gain_db;
    int bits_per_symbol; // 1 BPSK, 2 QPSK, 3 8-PSK
};

struct Sums {
    std::vector<double> i;
    std::vector<double> q;
};

inline double amplitude(double gain_db) {
    return std::pow(10.0, gain_db * 0.05);
}

// The symbols a channel carries, already scaled by its amplitude.
inline std::vector<Point> scaled_symbols(const Channel& ch) {
    const size_t n = kChips / static_cast<size_t>(ch.length);
    const auto bits = pn9(ch.seed, n * static_cast<size_t>(ch.bits_per_symbol));
    const double a = amplitude(ch.gain_db);
    std::vector<Point> out;
    for (size_t k = 0; k < n; ++k) {
        const Point p = symbol(&bits[k * static_cast<size_t>(ch.bits_per_symbol)], ch.bits_per_symbol);
        out.push_back({p.i * a, p.q * a});
    }
    return out;
}

// The pilot (1.0 on every I chip) plus every channel, added in list order.
inline Sums sums(const std::vector<Channel>& channels) {
    Sums s{std::vector<double>(kChips, 1.0), std::vector<double>(kChips, 0.0)};
    for (const auto& ch : channels) {
        const auto w = walsh(ch.length, ch.index);
        const auto symbols = scaled_symbols(ch);
        const size_t L = static_cast<size_t>(ch.length);
        for (size_t k = 0; k < symbols.size(); ++k) {
            for (size_t c = 0; c < L; ++c) {
                const size_t chip = k * L + c;
                switch (ch.branch) {
                case Branch::i:
                    s.i[chip] += w[c] * symbols[k].i;
                    break;
                case Branch::q:
                    s.q[chip] += w[c] * symbols[k].i;
                    break;
                case Branch::both:
                    s.i[chip] += w[c] * symbols[k].i;
                    s.q[chip] += w[c] * symbols[k].q;
                    break;
                }
            }
        }
    }
    return s;
}

// The chip-rate copy: the sums times (revI + j revQ), exchanged when inverted, scaled so the largest
// component magnitude is 1.
inline std::vector<IqSample> chip_copy(const Sums& s, bool iq_inverse) {
    const auto ri = kestra::reverse_pn_i_table();
    const auto rq = kestra::reverse_pn_q_table();
    std::vector<IqSample> frame(kChips);
    double peak = 0.0;
    for (size_t k = 0; k < kChips; ++k) {
        IqSample v{s.i[k] * ri[k] - s.q[k] * rq[k], s.q[k] * ri[k] + s.i[k] * rq[k]};
        if (iq_inverse) {
            std::swap(v.i, v.q);
        }
        frame[k] = v;
        peak = std::max({peak, std::abs(v.i), std::abs(v.q)});
    }
    for (auto& v : frame) {
        v.i /= peak;
        v.q /= peak;
    }
    return frame;
}

} // namespace rlref
