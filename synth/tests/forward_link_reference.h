// A plain, chip-by-chip forward-link channel sum written straight from the channel formulas,
// sharing no code with the generator: its own degree-9 bit generator, its own Walsh functions
// (popcount), its own constellations, covers and seeding. Slow on purpose; tests only.
#pragma once

#include "kestra/kestra.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

namespace dl_reference {

constexpr int kChips = 32768;
constexpr double kR2 = 0.7071067811865476; // 1/sqrt(2)

struct Sums {
    std::vector<double> i = std::vector<double>(kChips, 0.0);
    std::vector<double> q = std::vector<double>(kChips, 0.0);
};

// x^9 + x^5 + 1: the output is bit 8, the feedback XORs it with bit 4.
inline std::vector<int> prbs9(int state, int n) {
    std::vector<int> bits(n);
    for (int k = 0; k < n; ++k) {
        const int out = (state >> 8) & 1;
        const int fb = out ^ ((state >> 4) & 1);
        state = ((state << 1) | fb) & 511;
        bits[k] = out;
    }
    return bits;
}

inline double walsh(int index, int chip) {
    return (std::popcount(unsigned(index & chip)) & 1) ? -1.0 : 1.0;
}

// The 31-chip m-sequence from its recurrence a(n+5) = a(n+4) ^ a(n+3) ^ a(n+1) ^ a(n), started 0 1 0 0 1.
inline std::vector<int> ack_m_sequence() {
    std::vector<int> a = {0, 1, 0, 0, 1};
    while (a.size() < 31) {
        const size_t n = a.size() - 5;
        a.push_back(a[n + 4] ^ a[n + 3] ^ a[n + 1] ^ a[n]);
    }
    return a;
}

inline double ack_cover(int row, int chip) {
    static const std::vector<int> m = ack_m_sequence();
    if (row == 0 || chip == 0) {
        return 1.0;
    }
    return 1.0 - 2.0 * m[((chip - row) % 31 + 31) % 31];
}

// Seed of the k-th seeded record (k from 1) in a call of count records.
inline int seed_of(int k, int count) {
    if (count <= 507) {
        return k * (510 / (count + 3));
    }
    return (k - 1) % 509 + 1; // step 1, cycling through 1..509
}

// Unit-gain symbol streams of one channel and its Walsh code; the caller scales.
struct Stream {
    std::vector<double> si, sq; // per symbol
    int length = 0;
    int index = 0;
};

inline void add_spread(Sums& out, const Stream& st, double amp_i, double amp_q) {
    const int n = kChips / st.length;
    for (int chip = 0; chip < n * st.length; ++chip) {
        const int s = chip / st.length;
        const double w = walsh(st.index, chip % st.length);
        out.i[chip] += w * (st.si[s] * amp_i);
        out.q[chip] += w * (st.sq[s] * amp_q);
    }
}

inline void add_normalised(Sums& out, const std::vector<double>& ci, const std::vector<double>& cq,
                           double db) {
    double e = 0.0;
    for (int k = 0; k < kChips; ++k) {
        e += ci[k] * ci[k] + cq[k] * cq[k];
    }
    const double p = std::sqrt(e / kChips);
    if (p == 0.0) {
        return;
    }
    const double a = std::pow(10.0, db / 20.0);
    for (int k = 0; k < kChips; ++k) {
        out.i[k] += a * ci[k] / p;
        out.q[k] += a * cq[k] / p;
    }
}

// Modulated data channel: bits_per_symbol 1 (BPSK), 2 (QPSK), 3 (8-PSK), 4 (16-QAM).
inline void add_psk(Sums& out, int bits_per_symbol, int seed, int length, int index, double db) {
    const int n = kChips / length;
    const std::vector<int> b = prbs9(seed, bits_per_symbol * n);
    Stream st{std::vector<double>(n, 0.0), std::vector<double>(n, 0.0), length, index};
    const double c8 = 0.9238795325112867, s8 = 0.3826834323650898;
    const double hi = 0.9486832980505138, lo = 0.31622776601683794;
    for (int k = 0; k < n; ++k) {
        const int* x = &b[bits_per_symbol * k];
        switch (bits_per_symbol) {
        case 1:
            st.si[k] = 1.0 - 2.0 * x[0];
            break;
        case 2:
            st.si[k] = (1 - 2 * x[0]) * kR2;
            st.sq[k] = (1 - 2 * x[1]) * kR2;
            break;
        case 3: {
            // b0 swaps the cos/sin magnitudes on I and Q, b1 negates I, b2 negates Q.
            st.si[k] = (x[1] ? -1.0 : 1.0) * (x[0] ? s8 : c8);
            st.sq[k] = (x[2] ? -1.0 : 1.0) * (x[0] ? c8 : s8);
            break;
        }
        default:
            st.si[k] = (1 - 2 * x[1]) * (x[0] ? lo : hi);
            st.sq[k] = (1 - 2 * x[3]) * (x[2] ? lo : hi);
            break;
        }
    }
    const double a = std::pow(10.0, db * 0.05);
    add_spread(out, st, a, a);
}

inline void add_qpch(Sums& out, int seed, int length, int index, double db) {
    const int n = kChips / length;
    const std::vector<int> b = prbs9(seed, n);
    Sums own;
    Stream st{std::vector<double>(n), std::vector<double>(n), length, index};
    for (int k = 0; k < n; ++k) {
        st.si[k] = st.sq[k] = b[k] ? kR2 : 0.0;
    }
    add_spread(own, st, 1.0, 1.0);
    add_normalised(out, own.i, own.q, db);
}

inline void add_gated(Sums& out, int seed, int index, double db) {
    const int length = 128, n = kChips / length;
    const std::vector<int> d = prbs9(seed, 2 * n), g = prbs9(seed + 1, 2 * n);
    Sums own;
    Stream st{std::vector<double>(n), std::vector<double>(n), length, index};
    for (int k = 0; k < n; ++k) {
        st.si[k] = g[2 * k] * (1 - 2 * d[2 * k]) * kR2;
        st.sq[k] = g[2 * k + 1] * (1 - 2 * d[2 * k + 1]) * kR2;
    }
    add_spread(own, st, 1.0, 1.0);
    add_normalised(out, own.i, own.q, db);
}

inline void add_ack(Sums& out, int seed, int index, double db, const double* user_db) {
    Sums own;
    const int starts[4] = {0, 12288, 24576, kChips};
    for (int b = 0; b < 3; ++b) {
        const std::vector<int> bits = prbs9(seed + b, 192);
        for (int chip = starts[b]; chip < starts[b + 1]; ++chip) {
            const int p = chip - starts[b];
            const int value = (p / 64) % 96; // the block sends its 96 cover sums twice
            const int t = value / 32, c = value % 32;
            double vi = 0.0, vq = 0.0;
            for (int u = 0; u < 32; ++u) {
                vi += ack_cover(u, c) * (1 - 2 * bits[3 * u + t]) * std::pow(10.0, user_db[u] / 20.0);
                vq +=
                    ack_cover(u, c) * (1 - 2 * bits[96 + 3 * u + t]) * std::pow(10.0, user_db[32 + u] / 20.0);
            }
            own.i[chip] = walsh(index, p % 64) * vi;
            own.q[chip] = walsh(index, p % 64) * vq;
        }
    }
    add_normalised(out, own.i, own.q, db);
}

// The channel sum of one call.
inline Sums channel_sums(const std::vector<DlChannel>& list, const double* ack_db) {
    Sums out;
    const int count = static_cast<int>(list.size());
    int k = 0;
    for (const DlChannel& ch : list) {
        const double db = ch.power_db;
        const int idx = ch.walsh_index, len = ch.walsh_length;
        if (ch.type == 0) {
            for (double& v : out.i) {
                v += 1.0;
            }
            continue;
        }
        if (ch.type < 1 || ch.type > 16) {
            continue;
        }
        const int seed = seed_of(++k, count);
        switch (ch.type) {
        case 1:
            add_psk(out, 1, seed, 256, 32, db);
            break;
        case 2:
            add_psk(out, 1, seed, 64, idx, db);
            break;
        case 3:
            add_psk(out, 2, seed, len, idx, db);
            break;
        case 4:
            add_qpch(out, seed, len, idx, db);
            break;
        case 5:
            add_gated(out, seed, idx, db);
            break;
        case 6:
            add_gated(out, seed, idx, db);
            break;
        case 7:
            add_psk(out, 2, seed, 256, idx, db);
            break;
        case 8:
            add_ack(out, seed, idx, db, ack_db);
            break;
        case 9:
            add_psk(out, 2, seed, len, idx, db);
            break;
        case 10:
            add_psk(out, 2, seed, 64, idx, db);
            break;
        case 11:
            add_psk(out, 2, seed, len, idx, db);
            break;
        case 12:
            add_psk(out, 2, seed, 64, idx, db);
            break;
        case 13:
            if (ch.option == 0 || ch.option == 1) {
                add_psk(out, ch.option + 1, seed, len, idx, db);
            }
            break;
        case 14:
            add_psk(out, 1, seed, 64, idx, db);
            break;
        case 15:
            add_psk(out, 2, seed, len, idx, db);
            break;
        default:
            if (ch.option >= 0 && ch.option <= 3) {
                add_psk(out, ch.option + 1, seed, 32, idx, db);
            }
            break;
        }
    }
    return out;
}

} // namespace dl_reference
