#include "interpolation.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

namespace kestra {

void interpolate_periodic_plain(const IqSample* in, int32_t n_in, const double* coef, int32_t ntaps,
                                IqSample* out, int32_t L, int32_t M) {
    const int64_t n_out = static_cast<int64_t>(n_in) * L / M;
    const int64_t c = static_cast<int64_t>(M) * n_out;
    const int64_t D = (ntaps - 1) / 2;
    for (int64_t i = 0; i < n_out; ++i) {
        const int64_t d = c - D + i * M;
        double acc_i = 0.0;
        double acc_q = 0.0;
        for (int64_t e = (L - d % L) % L; e < ntaps; e += L) {
            const IqSample& s = in[((d + e) % c) / L];
            acc_i += coef[e] * s.i;
            acc_q += coef[e] * s.q;
        }
        out[i] = {acc_i, acc_q};
    }
}

namespace {

// Sixteen outputs of one phase are computed together: each lane keeps its own running sum in tap
// order with a separate multiply and add, so the vectorised result equals the plain loop exactly.
constexpr int kBlock = 16;
constexpr int kLanes = 4;
using Vec = double __attribute__((vector_size(kLanes * sizeof(double))));

struct Phase {
    int32_t first_output; // i0: this phase's outputs are i0, i0 + L, i0 + 2L, ...
    int32_t base;         // input index met by the phase's first tap for output i0
    int32_t tap_offset;   // start of this phase's taps in the packed coefficient array
    int32_t tap_count;
};

struct PolyphaseJob {
    const double* in_i; // input I, extended past its end with its first samples for the wrap
    const double* in_q;
    const double* taps;
    const Phase* phases;
    int32_t phase_count;
    IqSample* out;
    int32_t n_in;
    int32_t L;
};

// Unaligned load of kLanes doubles (by reference: a vector return value would change the ABI of
// the default-target clone).
inline void load(Vec& v, const double* p) {
    std::memcpy(&v, p, sizeof v);
}

// Outputs j_begin .. j_end - 1 of every phase. Blocks run outermost so that each stretch of the
// output is written completely while it is in cache.
__attribute__((target_clones("avx512f", "avx2", "default"))) void run_blocks(const PolyphaseJob& job,
                                                                             int32_t j_begin, int32_t j_end) {
    const auto store = [&](const Phase& ph, int32_t j, double i, double q) {
        job.out[static_cast<ptrdiff_t>(ph.first_output) + static_cast<ptrdiff_t>(j) * job.L] = {i, q};
    };
    int32_t j = j_begin;
    for (; j + kBlock <= j_end; j += kBlock) {
        for (int32_t p = 0; p < job.phase_count; ++p) {
            const Phase& ph = job.phases[p];
            int32_t start = ph.base + j;
            if (start >= job.n_in) {
                start -= job.n_in;
            }
            const double* pi = job.in_i + start;
            const double* pq = job.in_q + start;
            const double* taps = job.taps + ph.tap_offset;
            Vec ai[kBlock / kLanes] = {};
            Vec aq[kBlock / kLanes] = {};
            for (int32_t k = 0; k < ph.tap_count; ++k) {
                const Vec t = Vec{} + taps[k];
                for (int b = 0; b < kBlock / kLanes; ++b) {
                    Vec xi;
                    Vec xq;
                    load(xi, pi + k + b * kLanes);
                    load(xq, pq + k + b * kLanes);
                    ai[b] += t * xi;
                    aq[b] += t * xq;
                }
            }
            for (int b = 0; b < kBlock / kLanes; ++b) {
                for (int l = 0; l < kLanes; ++l) {
                    store(ph, j + b * kLanes + l, ai[b][l], aq[b][l]);
                }
            }
        }
    }
    for (; j < j_end; ++j) {
        for (int32_t p = 0; p < job.phase_count; ++p) {
            const Phase& ph = job.phases[p];
            int32_t start = ph.base + j;
            if (start >= job.n_in) {
                start -= job.n_in;
            }
            const double* taps = job.taps + ph.tap_offset;
            double ai = 0.0;
            double aq = 0.0;
            for (int32_t k = 0; k < ph.tap_count; ++k) {
                ai += taps[k] * job.in_i[start + k];
                aq += taps[k] * job.in_q[start + k];
            }
            store(ph, j, ai, aq);
        }
    }
}

} // namespace

void interpolate_periodic_polyphase(const IqSample* in, int32_t n_in, const double* coef, int32_t ntaps,
                                    IqSample* out, int32_t L) {
    const int64_t c = static_cast<int64_t>(n_in) * L;
    const int64_t D = (ntaps - 1) / 2;
    const int32_t max_taps = (ntaps + L - 1) / L;
    std::vector<double> in_i, in_q, taps;
    std::vector<Phase> phases;
    try {
        in_i.resize(static_cast<size_t>(n_in) + static_cast<size_t>(max_taps) + kBlock);
        in_q.resize(in_i.size());
        taps.reserve(static_cast<size_t>(ntaps));
        phases.reserve(static_cast<size_t>(L));
    } catch (const std::bad_alloc&) {
        interpolate_periodic_plain(in, n_in, coef, ntaps, out, L, 1);
        return;
    }
    for (size_t t = 0; t < in_i.size(); ++t) {
        const IqSample& s = in[t % static_cast<size_t>(n_in)];
        in_i[t] = s.i;
        in_q[t] = s.q;
    }
    for (int32_t i0 = 0; i0 < L && i0 < c; ++i0) {
        const int64_t d = c - D + i0;
        const int64_t e0 = (L - d % L) % L;
        Phase ph{};
        ph.first_output = i0;
        ph.base = static_cast<int32_t>(((d + e0) % c) / L);
        ph.tap_offset = static_cast<int32_t>(taps.size());
        for (int64_t e = e0; e < ntaps; e += L) {
            taps.push_back(coef[e]);
        }
        ph.tap_count = static_cast<int32_t>(taps.size()) - ph.tap_offset;
        phases.push_back(ph);
    }
    const PolyphaseJob job{in_i.data(),
                           in_q.data(),
                           taps.data(),
                           phases.data(),
                           static_cast<int32_t>(phases.size()),
                           out,
                           n_in,
                           L};
    auto work = [&job](int32_t j_begin, int32_t j_end) { run_blocks(job, j_begin, j_end); };
    // Two halves of every phase's outputs on two threads for frames worth the start-up cost.
    const int64_t multiply_adds = c * max_taps;
    if (multiply_adds >= (int64_t{1} << 22) && std::thread::hardware_concurrency() > 1) {
        const int32_t mid = n_in / 2;
        try {
            std::thread helper(work, mid, n_in);
            work(0, mid);
            helper.join();
            return;
        } catch (const std::system_error&) {
            // No second thread to be had: the calling thread does it all.
        }
    }
    work(0, n_in);
}

} // namespace kestra
