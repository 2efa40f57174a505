#include "interpolation.h"

#include "checks.h"
#include "interpolation_x86.h"
#include "polyphase_block.h"
#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <cmath>
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
            acc_i = std::fma(coef[e], s.i, acc_i);
            acc_q = std::fma(coef[e], s.q, acc_q);
        }
        out[i] = {acc_i, acc_q};
    }
}

namespace {

using polyphase::phase_start;
using polyphase::store_block;

// The portable kernel: one fused multiply-add per tap in tap order (std::fma), as the plain loop and
// the x86-64 variants do, so every processor gives the same samples. Where the processor has vector
// fused multiply-add (arm64, x86-64 with FMA) the compiler turns the inner loop into it; an x86-64
// processor without FMA computes each std::fma exactly in software, slowly but alike.
void run_portable(const PolyphaseJob& job, int32_t j_begin, int32_t j_end) {
    constexpr int32_t kBlock = 16;
    for (int32_t j = j_begin; j < j_end; j += kBlock) {
        for (int32_t p = 0; p < job.phase_count; ++p) {
            const PolyphaseBranch& ph = job.phases[p];
            const int32_t start = phase_start(job, ph, j);
            const double* pi = job.in_i + start;
            const double* pq = job.in_q + start;
            const double* taps = job.taps + ph.tap_offset;
            double ai[kBlock] = {};
            double aq[kBlock] = {};
            for (int32_t k = 0; k < ph.tap_count; ++k) {
                const double t = taps[k];
                for (int32_t b = 0; b < kBlock; ++b) {
                    ai[b] = std::fma(t, pi[k + b], ai[b]);
                    aq[b] = std::fma(t, pq[k + b], aq[b]);
                }
            }
            store_block(job, ph, j, std::min(kBlock, j_end - j), ai, aq);
        }
    }
}

bool always() {
    return true;
}

constexpr InterpolationKernel kKernels[] = {
#if defined(__x86_64__)
    {"AVX-512", has_avx512, run_avx512},
    {"AVX2+FMA", has_avx2_fma, run_avx2_fma},
#endif
    {"portable", always, run_portable},
};

std::atomic<const InterpolationKernel*> forced_kernel{nullptr};

const InterpolationKernel& best_kernel() {
    static const InterpolationKernel& best = []() -> const InterpolationKernel& {
        for (const auto& k : kKernels) {
            if (k.available()) {
                return k;
            }
        }
        return kKernels[std::size(kKernels) - 1];
    }();
    return best;
}

// Below this many multiply-adds (about 0.1 ms) waking the workers costs more than it saves.
constexpr int64_t kThreadedMultiplyAdds = int64_t{1} << 20;

} // namespace

std::span<const InterpolationKernel> interpolation_kernels() {
    return kKernels;
}

const InterpolationKernel& active_interpolation_kernel() {
    const InterpolationKernel* forced = forced_kernel.load();
    return forced != nullptr ? *forced : best_kernel();
}

void force_interpolation_kernel(const InterpolationKernel* kernel) {
    forced_kernel.store(kernel);
}

int32_t padded_taps(int32_t ntaps, int32_t L) {
    return (ntaps + L - 1) / L + 1;
}

int32_t split_padding(int32_t ntaps, int32_t L) {
    return padded_taps(ntaps, L) + kMaxBlock;
}

void extend_rails(int32_t n, std::span<double> i, std::span<double> q) {
    KESTRA_EXPECT(n >= 1 && i.size() == q.size() && i.size() >= static_cast<size_t>(n));
    for (size_t t = static_cast<size_t>(n); t < i.size(); ++t) {
        i[t] = i[t - static_cast<size_t>(n)];
        q[t] = q[t - static_cast<size_t>(n)];
    }
}

void split_rails(const IqSample* in, int32_t n, std::span<double> i, std::span<double> q) {
    KESTRA_EXPECT(n >= 1 && i.size() == q.size() && i.size() >= static_cast<size_t>(n));
    for (int32_t t = 0; t < n; ++t) {
        i[static_cast<size_t>(t)] = in[t].i;
        q[static_cast<size_t>(t)] = in[t].q;
    }
    extend_rails(n, i, q);
}

void interpolate_split(const SplitInput& in, const double* coef, int32_t ntaps, int32_t L,
                       const InterpolationOutput& out, const PolyphaseScratch& scratch) {
    KESTRA_EXPECT(in.n >= 1 && L >= 1 && L <= kMaxRatio && ntaps >= 1);
    const int64_t c = static_cast<int64_t>(in.n) * L;
    const int64_t D = (ntaps - 1) / 2;
    KESTRA_EXPECT(D <= c && out.n == c && out.q_delay >= 0 && out.q_delay <= out.n);
    KESTRA_EXPECT(in.i.size() >= static_cast<size_t>(in.n) + static_cast<size_t>(split_padding(ntaps, L)));
    KESTRA_EXPECT(in.q.size() == in.i.size());
    KESTRA_EXPECT(scratch.phases.size() >= static_cast<size_t>(L));

    // Every phase is made to start at phase 0's input with the same number of taps: a phase that starts
    // later gets zero taps in front, the shorter ones zero taps behind. Zero taps add exact zeros.
    const int32_t taps_per_phase = padded_taps(ntaps, L);
    KESTRA_EXPECT(scratch.taps.size() >= static_cast<size_t>(L) * static_cast<size_t>(taps_per_phase));
    std::fill_n(scratch.taps.begin(), static_cast<size_t>(L) * static_cast<size_t>(taps_per_phase), 0.0);
    int32_t common_base = 0;
    for (int32_t i0 = 0; i0 < L; ++i0) {
        const int64_t d = c - D + i0;
        const int64_t e0 = (L - d % L) % L;
        const auto base = static_cast<int32_t>(((d + e0) % c) / L);
        if (i0 == 0) {
            common_base = base;
        }
        const int32_t lead = (base - common_base + in.n) % in.n;
        KESTRA_EXPECT(lead <= 1);
        PolyphaseBranch& ph = scratch.phases[static_cast<size_t>(i0)];
        ph.first_output = i0;
        ph.base = common_base;
        ph.tap_offset = i0 * taps_per_phase;
        ph.tap_count = taps_per_phase;
        int32_t k = ph.tap_offset + lead;
        for (int64_t e = e0; e < ntaps; e += L) {
            scratch.taps[static_cast<size_t>(k++)] = coef[e];
        }
    }
    const PolyphaseJob job{in.i.data(), in.q.data(), scratch.taps.data(), scratch.phases.data(), L, in.n,
                           L,           out};
    const InterpolationKernel& kernel = active_interpolation_kernel();
    const int64_t multiply_adds = 2 * c * taps_per_phase;
    const int32_t blocks = (in.n + kMaxBlock - 1) / kMaxBlock;
    const int32_t parts = multiply_adds < kThreadedMultiplyAdds ? 1 : std::min(blocks, 8 * worker_threads());
    run_parts(parts, [&](int32_t p) {
        const int32_t j_begin = static_cast<int32_t>(int64_t{blocks} * p / parts) * kMaxBlock;
        const int32_t j_end =
            std::min(in.n, static_cast<int32_t>(int64_t{blocks} * (p + 1) / parts) * kMaxBlock);
        kernel.run(job, j_begin, j_end);
    });
}

void interpolate_periodic_polyphase(const IqSample* in, int32_t n_in, const double* coef, int32_t ntaps,
                                    IqSample* out, int32_t L) {
    const size_t rail = static_cast<size_t>(n_in) + static_cast<size_t>(split_padding(ntaps, L));
    std::vector<double> in_i(rail), in_q(rail);
    std::vector<double> taps(static_cast<size_t>(L) * static_cast<size_t>(padded_taps(ntaps, L)));
    std::vector<PolyphaseBranch> phases(static_cast<size_t>(L));
    split_rails(in, n_in, in_i, in_q);
    const InterpolationOutput to{&out[0].i, &out[0].q, 2, static_cast<int64_t>(n_in) * L, 0};
    interpolate_split({in_i, in_q, n_in}, coef, ntaps, L, to, {taps, phases});
}

} // namespace kestra
