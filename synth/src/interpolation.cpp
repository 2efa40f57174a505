#include "interpolation.h"

#include <algorithm>
#include <cstddef>
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

// Outputs of one phase computed together: each lane keeps its own running sum in tap order, so the
// vectorised result equals the plain loop exactly.
constexpr int kBlock = 16;

struct Phase {
    int32_t first_output; // i0: outputs i0, i0 + L, i0 + 2L, ...
    int32_t base;         // input index met by the phase's first tap for output i0
    int32_t tap_offset;   // start of this phase's taps in the packed coefficient array
    int32_t tap_count;
};

struct PhaseJob {
    const double* in_i; // input I padded with its first taps for the wrap
    const double* in_q;
    const double* taps;
    IqSample* out;
    int32_t n_in;
    int32_t L;
};

__attribute__((target_clones("avx512f", "avx2", "default"))) void
run_phase_range(const PhaseJob& job, const Phase& ph, int32_t j_begin, int32_t j_end) {
    const double* taps = job.taps + ph.tap_offset;
    const int32_t K = ph.tap_count;
    int32_t j = j_begin;
    while (j < j_end) {
        // Input index of output j's first tap, wrapped into the padded array.
        int32_t start = ph.base + j;
        if (start >= job.n_in) {
            start -= job.n_in;
        }
        // Outputs that can share one contiguous input window without crossing the wrap.
        const int32_t until_wrap = job.n_in - start;
        const int32_t run = std::min({j_end - j, until_wrap, kBlock});
        const double* pi = job.in_i + start;
        const double* pq = job.in_q + start;
        if (run == kBlock) {
            double acc_i[kBlock] = {};
            double acc_q[kBlock] = {};
            for (int32_t k = 0; k < K; ++k) {
                const double t = taps[k];
                for (int b = 0; b < kBlock; ++b) {
                    acc_i[b] += t * pi[k + b];
                    acc_q[b] += t * pq[k + b];
                }
            }
            for (int b = 0; b < kBlock; ++b) {
                job.out[static_cast<ptrdiff_t>(ph.first_output) + static_cast<ptrdiff_t>(j + b) * job.L] = {
                    acc_i[b], acc_q[b]};
            }
        } else {
            for (int32_t b = 0; b < run; ++b) {
                double ai = 0.0;
                double aq = 0.0;
                for (int32_t k = 0; k < K; ++k) {
                    ai += taps[k] * pi[k + b];
                    aq += taps[k] * pq[k + b];
                }
                job.out[static_cast<ptrdiff_t>(ph.first_output) + static_cast<ptrdiff_t>(j + b) * job.L] = {
                    ai, aq};
            }
        }
        j += run;
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
    const PhaseJob job{in_i.data(), in_q.data(), taps.data(), out, n_in, L};
    auto work = [&](int32_t j_begin, int32_t j_end) {
        for (const Phase& ph : phases) {
            run_phase_range(job, ph, j_begin, j_end);
        }
    };
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
