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
//
// The phases all start at the same input and have the same number of taps (interpolate_split pads
// them with zero taps), so the fused kernels run a group of phases over one set of input loads: each
// unaligned load of the input then feeds several multiply-adds.

// Splits L phases into as few groups of at most max_group as can be, of nearly equal size; calls
// run(first_phase, group_size) for each.
template <class Run> inline void for_each_group(int32_t L, int32_t max_group, Run run) {
    const int32_t groups = (L + max_group - 1) / max_group;
    int32_t p = 0;
    for (int32_t k = 0; k < groups; ++k) {
        const int32_t g = (L - p) / (groups - k);
        run(p, g);
        p += g;
    }
}

// G phases over V vectors of eight outputs per rail: 4 x G x V accumulators, 2 x V loads per tap.
template <int G, int V>
__attribute__((target("avx512f"))) void avx512_group(const PolyphaseJob& job, int32_t p0, int32_t j,
                                                     int32_t count, const double* pi, const double* pq) {
    constexpr int32_t kBlock = 8 * V;
    const int32_t taps_per_phase = job.phases[0].tap_count;
    const double* taps = job.taps + static_cast<ptrdiff_t>(p0) * taps_per_phase;
    __m512d ai[G][V];
    __m512d aq[G][V];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) {
#pragma GCC unroll 4
        for (int v = 0; v < V; ++v) {
            ai[g][v] = aq[g][v] = _mm512_setzero_pd();
        }
    }
    for (int32_t k = 0; k < taps_per_phase; ++k) {
        __m512d xi[V];
        __m512d xq[V];
#pragma GCC unroll 4
        for (int v = 0; v < V; ++v) {
            xi[v] = _mm512_loadu_pd(pi + k + 8 * v);
            xq[v] = _mm512_loadu_pd(pq + k + 8 * v);
        }
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const __m512d t = _mm512_set1_pd(taps[g * taps_per_phase + k]);
#pragma GCC unroll 4
            for (int v = 0; v < V; ++v) {
                ai[g][v] = _mm512_fmadd_pd(t, xi[v], ai[g][v]);
                aq[g][v] = _mm512_fmadd_pd(t, xq[v], aq[g][v]);
            }
        }
    }
    alignas(64) double sums_i[kBlock];
    alignas(64) double sums_q[kBlock];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) {
#pragma GCC unroll 4
        for (int v = 0; v < V; ++v) {
            _mm512_store_pd(sums_i + 8 * v, ai[g][v]);
            _mm512_store_pd(sums_q + 8 * v, aq[g][v]);
        }
        store_block(job, job.phases[p0 + g], j, count, sums_i, sums_q);
    }
}

// One or two phases over four vectors of eight outputs per rail. With so few phases each input load
// feeds too few multiply-adds, so eight taps at a time share five loads per rail: the input of tap
// k + s is the loaded window shifted by s lanes (valignq). The sums are added in tap order, exactly as
// avx512_group adds them.
template <int Shift, int G>
__attribute__((target("avx512f"), always_inline)) inline void
shifted_taps(const __m512d (&wi)[5], const __m512d (&wq)[5], const double* taps, int32_t taps_per_phase,
             __m512d (&ai)[G][4], __m512d (&aq)[G][4]) {
    __m512d xi[4];
    __m512d xq[4];
#pragma GCC unroll 4
    for (int v = 0; v < 4; ++v) {
        if constexpr (Shift == 0) {
            xi[v] = wi[v];
            xq[v] = wq[v];
        } else {
            // The all-lanes mask form: the plain one trips a false "uninitialised" warning in GCC 12.
            xi[v] = _mm512_castsi512_pd(_mm512_maskz_alignr_epi64(0xff, _mm512_castpd_si512(wi[v + 1]),
                                                                  _mm512_castpd_si512(wi[v]), Shift));
            xq[v] = _mm512_castsi512_pd(_mm512_maskz_alignr_epi64(0xff, _mm512_castpd_si512(wq[v + 1]),
                                                                  _mm512_castpd_si512(wq[v]), Shift));
        }
    }
#pragma GCC unroll 2
    for (int g = 0; g < G; ++g) {
        const __m512d t = _mm512_set1_pd(taps[g * taps_per_phase + Shift]);
#pragma GCC unroll 4
        for (int v = 0; v < 4; ++v) {
            ai[g][v] = _mm512_fmadd_pd(t, xi[v], ai[g][v]);
            aq[g][v] = _mm512_fmadd_pd(t, xq[v], aq[g][v]);
        }
    }
}

template <int G>
__attribute__((target("avx512f"))) void avx512_group_shifted(const PolyphaseJob& job, int32_t p0, int32_t j,
                                                             int32_t count, const double* pi,
                                                             const double* pq) {
    constexpr int32_t kBlock = 32;
    const int32_t taps_per_phase = job.phases[0].tap_count;
    const double* taps = job.taps + static_cast<ptrdiff_t>(p0) * taps_per_phase;
    __m512d ai[G][4];
    __m512d aq[G][4];
#pragma GCC unroll 2
    for (int g = 0; g < G; ++g) {
#pragma GCC unroll 4
        for (int v = 0; v < 4; ++v) {
            ai[g][v] = aq[g][v] = _mm512_setzero_pd();
        }
    }
    int32_t k = 0;
    for (; k + 8 <= taps_per_phase; k += 8) {
        __m512d wi[5];
        __m512d wq[5];
#pragma GCC unroll 5
        for (int u = 0; u < 5; ++u) {
            wi[u] = _mm512_loadu_pd(pi + k + 8 * u);
            wq[u] = _mm512_loadu_pd(pq + k + 8 * u);
        }
        const double* t = taps + k;
        shifted_taps<0, G>(wi, wq, t, taps_per_phase, ai, aq);
        shifted_taps<1, G>(wi, wq, t, taps_per_phase, ai, aq);
        shifted_taps<2, G>(wi, wq, t, taps_per_phase, ai, aq);
        shifted_taps<3, G>(wi, wq, t, taps_per_phase, ai, aq);
        shifted_taps<4, G>(wi, wq, t, taps_per_phase, ai, aq);
        shifted_taps<5, G>(wi, wq, t, taps_per_phase, ai, aq);
        shifted_taps<6, G>(wi, wq, t, taps_per_phase, ai, aq);
        shifted_taps<7, G>(wi, wq, t, taps_per_phase, ai, aq);
    }
    for (; k < taps_per_phase; ++k) {
        __m512d xi[4];
        __m512d xq[4];
#pragma GCC unroll 4
        for (int v = 0; v < 4; ++v) {
            xi[v] = _mm512_loadu_pd(pi + k + 8 * v);
            xq[v] = _mm512_loadu_pd(pq + k + 8 * v);
        }
#pragma GCC unroll 2
        for (int g = 0; g < G; ++g) {
            const __m512d t = _mm512_set1_pd(taps[g * taps_per_phase + k]);
#pragma GCC unroll 4
            for (int v = 0; v < 4; ++v) {
                ai[g][v] = _mm512_fmadd_pd(t, xi[v], ai[g][v]);
                aq[g][v] = _mm512_fmadd_pd(t, xq[v], aq[g][v]);
            }
        }
    }
    alignas(64) double sums_i[kBlock];
    alignas(64) double sums_q[kBlock];
#pragma GCC unroll 2
    for (int g = 0; g < G; ++g) {
#pragma GCC unroll 4
        for (int v = 0; v < 4; ++v) {
            _mm512_store_pd(sums_i + 8 * v, ai[g][v]);
            _mm512_store_pd(sums_q + 8 * v, aq[g][v]);
        }
        store_block(job, job.phases[p0 + g], j, count, sums_i, sums_q);
    }
}

// Two or fewer phases a group: four vectors a rail (32 outputs); more: two (16 outputs).
template <int MaxG, int V>
__attribute__((target("avx512f"))) void run_avx512_groups(const PolyphaseJob& job, int32_t j_begin,
                                                          int32_t j_end) {
    constexpr int32_t kBlock = 8 * V;
    for (int32_t j = j_begin; j < j_end; j += kBlock) {
        const int32_t count = std::min(kBlock, j_end - j);
        const int32_t start = phase_start(job, job.phases[0], j);
        const double* pi = job.in_i + start;
        const double* pq = job.in_q + start;
        for_each_group(job.phase_count, MaxG, [&](int32_t p0, int32_t g) {
            if constexpr (MaxG == 2) {
                if (g == 1) {
                    avx512_group_shifted<1>(job, p0, j, count, pi, pq);
                } else {
                    avx512_group_shifted<2>(job, p0, j, count, pi, pq);
                }
            } else if (g == 1) {
                avx512_group<1, V>(job, p0, j, count, pi, pq);
            } else if (g == 2) {
                avx512_group<2, V>(job, p0, j, count, pi, pq);
            } else if (g == 3) {
                avx512_group<3, V>(job, p0, j, count, pi, pq);
            } else if (g == 4) {
                avx512_group<4, V>(job, p0, j, count, pi, pq);
            } else {
                avx512_group<5, V>(job, p0, j, count, pi, pq);
            }
        });
    }
}

__attribute__((target("avx512f"))) void run_avx512(const PolyphaseJob& job, int32_t j_begin, int32_t j_end) {
    if (job.phase_count <= 2) {
        run_avx512_groups<2, 4>(job, j_begin, j_end);
    } else {
        run_avx512_groups<5, 2>(job, j_begin, j_end);
    }
}

template <int G>
__attribute__((target("avx2,fma"))) void avx2_group(const PolyphaseJob& job, int32_t p0, int32_t j,
                                                    int32_t count, const double* pi, const double* pq) {
    constexpr int32_t kBlock = 8;
    const int32_t taps_per_phase = job.phases[0].tap_count;
    const double* taps = job.taps + static_cast<ptrdiff_t>(p0) * taps_per_phase;
    __m256d ai[G][2];
    __m256d aq[G][2];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) {
        ai[g][0] = ai[g][1] = aq[g][0] = aq[g][1] = _mm256_setzero_pd();
    }
    for (int32_t k = 0; k < taps_per_phase; ++k) {
        const __m256d xi0 = _mm256_loadu_pd(pi + k);
        const __m256d xi1 = _mm256_loadu_pd(pi + k + 4);
        const __m256d xq0 = _mm256_loadu_pd(pq + k);
        const __m256d xq1 = _mm256_loadu_pd(pq + k + 4);
#pragma GCC unroll 8
        for (int g = 0; g < G; ++g) {
            const __m256d t = _mm256_broadcast_sd(taps + g * taps_per_phase + k);
            ai[g][0] = _mm256_fmadd_pd(t, xi0, ai[g][0]);
            ai[g][1] = _mm256_fmadd_pd(t, xi1, ai[g][1]);
            aq[g][0] = _mm256_fmadd_pd(t, xq0, aq[g][0]);
            aq[g][1] = _mm256_fmadd_pd(t, xq1, aq[g][1]);
        }
    }
    alignas(32) double sums_i[kBlock];
    alignas(32) double sums_q[kBlock];
#pragma GCC unroll 8
    for (int g = 0; g < G; ++g) {
        _mm256_store_pd(sums_i, ai[g][0]);
        _mm256_store_pd(sums_i + 4, ai[g][1]);
        _mm256_store_pd(sums_q, aq[g][0]);
        _mm256_store_pd(sums_q + 4, aq[g][1]);
        store_block(job, job.phases[p0 + g], j, count, sums_i, sums_q);
    }
}

__attribute__((target("avx2,fma"))) void run_avx2_fma(const PolyphaseJob& job, int32_t j_begin,
                                                      int32_t j_end) {
    constexpr int32_t kBlock = 8;
    for (int32_t j = j_begin; j < j_end; j += kBlock) {
        const int32_t count = std::min(kBlock, j_end - j);
        const int32_t start = phase_start(job, job.phases[0], j);
        const double* pi = job.in_i + start;
        const double* pq = job.in_q + start;
        for_each_group(job.phase_count, 3, [&](int32_t p0, int32_t g) {
            switch (g) {
            case 1:
                avx2_group<1>(job, p0, j, count, pi, pq);
                break;
            case 2:
                avx2_group<2>(job, p0, j, count, pi, pq);
                break;
            default:
                avx2_group<3>(job, p0, j, count, pi, pq);
                break;
            }
        });
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
