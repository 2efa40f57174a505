// The x86-64 variants of the polyphase kernel: AVX-512 and AVX2 with FMA. Both round once per
// multiply-add and add the taps in order, as the portable kernel does with std::fma, so every variant
// gives the same samples. Only compiled for x86-64; other processors run the portable kernel.
#if defined(__x86_64__)

#include "interpolation_x86.h"
#include "polyphase_block.h"

#include <immintrin.h>

#include <algorithm>

namespace kestra {
namespace {

using polyphase::for_each_group;
using polyphase::phase_start;
using polyphase::store_block;

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

} // namespace

__attribute__((target("avx512f"))) void run_avx512(const PolyphaseJob& job, int32_t j_begin, int32_t j_end) {
    if (job.phase_count <= 2) {
        run_avx512_groups<2, 4>(job, j_begin, j_end);
    } else {
        run_avx512_groups<5, 2>(job, j_begin, j_end);
    }
}

namespace {

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

} // namespace

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

bool has_avx512() {
    return __builtin_cpu_supports("avx512f");
}

bool has_avx2_fma() {
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

} // namespace kestra

#endif
