#include "interpolation.h"

#include "checks.h"
#include "worker_pool.h"

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <cstring>
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

// Writes count outputs of one phase, starting at its j-th, from the per-lane sums.
inline void store_block(const PolyphaseJob& job, const PolyphaseBranch& ph, int32_t j, int32_t count,
                        const double* sums_i, const double* sums_q) {
    const InterpolationOutput& o = job.out;
    int64_t k = ph.first_output + static_cast<int64_t>(j) * job.L;
    for (int32_t c = 0; c < count; ++c, k += job.L) {
        o.i[k * o.stride] = sums_i[c];
        int64_t kq = k + o.q_delay;
        if (kq >= o.n) {
            kq -= o.n;
        }
        o.q[kq * o.stride] = sums_q[c];
    }
}

// The input a phase's first tap meets for its j-th output; the rails carry the wrap past n_in.
inline int32_t phase_start(const PolyphaseJob& job, const PolyphaseBranch& ph, int32_t j) {
    const int32_t start = ph.base + j;
    return start >= job.n_in ? start - job.n_in : start;
}

// Every kernel computes whole blocks (the rails are padded for the last one) and stores only the
// outputs below j_end, so an output's value never depends on where a thread's share begins.

__attribute__((target("avx512f"))) void run_avx512(const PolyphaseJob& job, int32_t j_begin, int32_t j_end) {
    constexpr int32_t kBlock = 32;
    alignas(64) double sums_i[kBlock];
    alignas(64) double sums_q[kBlock];
    for (int32_t j = j_begin; j < j_end; j += kBlock) {
        for (int32_t p = 0; p < job.phase_count; ++p) {
            const PolyphaseBranch& ph = job.phases[p];
            const int32_t start = phase_start(job, ph, j);
            const double* pi = job.in_i + start;
            const double* pq = job.in_q + start;
            const double* taps = job.taps + ph.tap_offset;
            __m512d i0 = _mm512_setzero_pd(), i1 = i0, i2 = i0, i3 = i0;
            __m512d q0 = i0, q1 = i0, q2 = i0, q3 = i0;
            for (int32_t k = 0; k < ph.tap_count; ++k) {
                const __m512d t = _mm512_set1_pd(taps[k]);
                i0 = _mm512_fmadd_pd(t, _mm512_loadu_pd(pi + k), i0);
                i1 = _mm512_fmadd_pd(t, _mm512_loadu_pd(pi + k + 8), i1);
                i2 = _mm512_fmadd_pd(t, _mm512_loadu_pd(pi + k + 16), i2);
                i3 = _mm512_fmadd_pd(t, _mm512_loadu_pd(pi + k + 24), i3);
                q0 = _mm512_fmadd_pd(t, _mm512_loadu_pd(pq + k), q0);
                q1 = _mm512_fmadd_pd(t, _mm512_loadu_pd(pq + k + 8), q1);
                q2 = _mm512_fmadd_pd(t, _mm512_loadu_pd(pq + k + 16), q2);
                q3 = _mm512_fmadd_pd(t, _mm512_loadu_pd(pq + k + 24), q3);
            }
            _mm512_store_pd(sums_i, i0);
            _mm512_store_pd(sums_i + 8, i1);
            _mm512_store_pd(sums_i + 16, i2);
            _mm512_store_pd(sums_i + 24, i3);
            _mm512_store_pd(sums_q, q0);
            _mm512_store_pd(sums_q + 8, q1);
            _mm512_store_pd(sums_q + 16, q2);
            _mm512_store_pd(sums_q + 24, q3);
            store_block(job, ph, j, std::min(kBlock, j_end - j), sums_i, sums_q);
        }
    }
}

__attribute__((target("avx2,fma"))) void run_avx2_fma(const PolyphaseJob& job, int32_t j_begin, int32_t j_end) {
    constexpr int32_t kBlock = 16;
    alignas(32) double sums_i[kBlock];
    alignas(32) double sums_q[kBlock];
    for (int32_t j = j_begin; j < j_end; j += kBlock) {
        for (int32_t p = 0; p < job.phase_count; ++p) {
            const PolyphaseBranch& ph = job.phases[p];
            const int32_t start = phase_start(job, ph, j);
            const double* pi = job.in_i + start;
            const double* pq = job.in_q + start;
            const double* taps = job.taps + ph.tap_offset;
            __m256d i0 = _mm256_setzero_pd(), i1 = i0, i2 = i0, i3 = i0;
            __m256d q0 = i0, q1 = i0, q2 = i0, q3 = i0;
            for (int32_t k = 0; k < ph.tap_count; ++k) {
                const __m256d t = _mm256_broadcast_sd(taps + k);
                i0 = _mm256_fmadd_pd(t, _mm256_loadu_pd(pi + k), i0);
                i1 = _mm256_fmadd_pd(t, _mm256_loadu_pd(pi + k + 4), i1);
                i2 = _mm256_fmadd_pd(t, _mm256_loadu_pd(pi + k + 8), i2);
                i3 = _mm256_fmadd_pd(t, _mm256_loadu_pd(pi + k + 12), i3);
                q0 = _mm256_fmadd_pd(t, _mm256_loadu_pd(pq + k), q0);
                q1 = _mm256_fmadd_pd(t, _mm256_loadu_pd(pq + k + 4), q1);
                q2 = _mm256_fmadd_pd(t, _mm256_loadu_pd(pq + k + 8), q2);
                q3 = _mm256_fmadd_pd(t, _mm256_loadu_pd(pq + k + 12), q3);
            }
            _mm256_store_pd(sums_i, i0);
            _mm256_store_pd(sums_i + 4, i1);
            _mm256_store_pd(sums_i + 8, i2);
            _mm256_store_pd(sums_i + 12, i3);
            _mm256_store_pd(sums_q, q0);
            _mm256_store_pd(sums_q + 4, q1);
            _mm256_store_pd(sums_q + 8, q2);
            _mm256_store_pd(sums_q + 12, q3);
            store_block(job, ph, j, std::min(kBlock, j_end - j), sums_i, sums_q);
        }
    }
}

// Baseline x86-64 (SSE2): separate multiply and add in tap order, as the plain loop does.
void run_baseline(const PolyphaseJob& job, int32_t j_begin, int32_t j_end) {
    constexpr int32_t kLanes = 2;
    constexpr int32_t kVectors = 8;
    constexpr int32_t kBlock = kLanes * kVectors;
    using Vec = double __attribute__((vector_size(kLanes * sizeof(double))));
    double sums_i[kBlock];
    double sums_q[kBlock];
    for (int32_t j = j_begin; j < j_end; j += kBlock) {
        for (int32_t p = 0; p < job.phase_count; ++p) {
            const PolyphaseBranch& ph = job.phases[p];
            const int32_t start = phase_start(job, ph, j);
            const double* pi = job.in_i + start;
            const double* pq = job.in_q + start;
            const double* taps = job.taps + ph.tap_offset;
            Vec ai[kVectors] = {};
            Vec aq[kVectors] = {};
            for (int32_t k = 0; k < ph.tap_count; ++k) {
                const Vec t = Vec{} + taps[k];
                for (int32_t b = 0; b < kVectors; ++b) {
                    Vec xi;
                    Vec xq;
                    std::memcpy(&xi, pi + k + b * kLanes, sizeof xi);
                    std::memcpy(&xq, pq + k + b * kLanes, sizeof xq);
                    ai[b] += t * xi;
                    aq[b] += t * xq;
                }
            }
            std::memcpy(sums_i, ai, sizeof sums_i);
            std::memcpy(sums_q, aq, sizeof sums_q);
            store_block(job, ph, j, std::min(kBlock, j_end - j), sums_i, sums_q);
        }
    }
}

bool has_avx512() {
    return __builtin_cpu_supports("avx512f");
}
bool has_avx2_fma() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}
bool always() {
    return true;
}

constexpr InterpolationKernel kKernels[] = {
    {"AVX-512", has_avx512, run_avx512},
    {"AVX2+FMA", has_avx2_fma, run_avx2_fma},
    {"baseline", always, run_baseline},
};

std::atomic<const InterpolationKernel*> forced_kernel{nullptr};

const InterpolationKernel& best_kernel() {
    static const InterpolationKernel& best = [] () -> const InterpolationKernel& {
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

int32_t split_padding(int32_t ntaps, int32_t L) {
    return (ntaps + L - 1) / L + kMaxBlock;
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
    KESTRA_EXPECT(scratch.taps.size() >= static_cast<size_t>(ntaps));
    KESTRA_EXPECT(scratch.phases.size() >= static_cast<size_t>(L));

    int32_t packed = 0;
    for (int32_t i0 = 0; i0 < L; ++i0) {
        const int64_t d = c - D + i0;
        const int64_t e0 = (L - d % L) % L;
        PolyphaseBranch& ph = scratch.phases[static_cast<size_t>(i0)];
        ph.first_output = i0;
        ph.base = static_cast<int32_t>(((d + e0) % c) / L);
        ph.tap_offset = packed;
        for (int64_t e = e0; e < ntaps; e += L) {
            scratch.taps[static_cast<size_t>(packed++)] = coef[e];
        }
        ph.tap_count = packed - ph.tap_offset;
    }
    const PolyphaseJob job{in.i.data(), in.q.data(), scratch.taps.data(), scratch.phases.data(), L, in.n, L, out};
    const InterpolationKernel& kernel = active_interpolation_kernel();
    const int64_t multiply_adds = 2 * c * ((ntaps + L - 1) / L);
    const int32_t blocks = (in.n + kMaxBlock - 1) / kMaxBlock;
    const int32_t parts = multiply_adds < kThreadedMultiplyAdds ? 1 : std::min(blocks, 8 * worker_threads());
    run_parts(parts, [&](int32_t p) {
        const int32_t j_begin = static_cast<int32_t>(int64_t{blocks} * p / parts) * kMaxBlock;
        const int32_t j_end = std::min(in.n, static_cast<int32_t>(int64_t{blocks} * (p + 1) / parts) * kMaxBlock);
        kernel.run(job, j_begin, j_end);
    });
}

void interpolate_periodic_polyphase(const IqSample* in, int32_t n_in, const double* coef, int32_t ntaps,
                                    IqSample* out, int32_t L) {
    const size_t rail = static_cast<size_t>(n_in) + static_cast<size_t>(split_padding(ntaps, L));
    std::vector<double> in_i(rail), in_q(rail), taps(static_cast<size_t>(ntaps));
    std::vector<PolyphaseBranch> phases(static_cast<size_t>(L));
    split_rails(in, n_in, in_i, in_q);
    const InterpolationOutput to{&out[0].i, &out[0].q, 2, static_cast<int64_t>(n_in) * L, 0};
    interpolate_split({in_i, in_q, n_in}, coef, ntaps, L, to, {taps, phases});
}

} // namespace kestra
