// Periodic interpolation kernels: the plain loop that defines the result, and the polyphase form the
// frame tail runs, in one variant per instruction set.
#pragma once

#include "kestra/kestra.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace kestra {

// Visits, for every output sample, the taps that meet a non-zero input sample in increasing tap order,
// one fused multiply-add (std::fma) per tap: the result every kernel variant reproduces exactly.
void interpolate_periodic_plain(const IqSample* in, int32_t n_in, const double* coef, int32_t ntaps,
                                IqSample* out, int32_t L, int32_t M);

// Outputs of the polyphase kernels computed together per phase (at least the widest variant's block).
inline constexpr int32_t kMaxBlock = 32;
// Highest ratio the interpolator takes.
inline constexpr int32_t kMaxRatio = 80;

// A periodic input of n samples on two rails, each extended past n with its first samples (the
// wrap), by at least split_padding(ntaps, L) values.
struct SplitInput {
    std::span<const double> i;
    std::span<const double> q;
    int32_t n = 0;
};

// Where the outputs go: sample k's I at i[k * stride], its Q at q[((k + q_delay) mod n) * stride].
// An interleaved IqSample buffer is {&w[0].i, &w[0].q, 2}; swapping the two pointers exchanges the rails.
struct InterpolationOutput {
    double* i = nullptr;
    double* q = nullptr;
    std::ptrdiff_t stride = 1;
    int64_t n = 0;
    int32_t q_delay = 0;
};

// One phase of the polyphase form: its outputs, the input its first tap meets, its packed taps.
struct PolyphaseBranch {
    int32_t first_output; // i0: this phase's outputs are i0, i0 + L, i0 + 2L, ...
    int32_t base;         // input index met by the phase's first tap for output i0
    int32_t tap_offset;   // start of this phase's taps in the packed coefficient array
    int32_t tap_count;
};

// Scratch of one interpolation: L x padded_taps(ntaps, L) packed taps and L phases.
struct PolyphaseScratch {
    std::span<double> taps;
    std::span<PolyphaseBranch> phases;
};

// Taps of every phase once all phases are padded to a common start and length.
int32_t padded_taps(int32_t ntaps, int32_t L);

// Values each input rail needs past its n samples for a filter of ntaps at ratio L.
int32_t split_padding(int32_t ntaps, int32_t L);

// Copies n interleaved samples to two rails and appends the wrap (rails of n + padding values).
void split_rails(const IqSample* in, int32_t n, std::span<double> i, std::span<double> q);

// Extends two rails holding n samples each with their wrap up to the rails' ends.
void extend_rails(int32_t n, std::span<double> i, std::span<double> q);

// The polyphase interpolation by L (M = 1) with the active kernel, split over the worker threads.
// Every output equals the plain loop's bit for bit, whichever kernel and thread count.
void interpolate_split(const SplitInput& in, const double* coef, int32_t ntaps, int32_t L,
                       const InterpolationOutput& out, const PolyphaseScratch& scratch);

// Convenience form over interleaved buffers with its own scratch (tests, benchmarks).
void interpolate_periodic_polyphase(const IqSample* in, int32_t n_in, const double* coef, int32_t ntaps,
                                    IqSample* out, int32_t L);

// The work one kernel call does: outputs j_begin .. j_end - 1 of every phase.
struct PolyphaseJob {
    const double* in_i;
    const double* in_q;
    const double* taps;
    const PolyphaseBranch* phases;
    int32_t phase_count;
    int32_t n_in;
    int32_t L;
    InterpolationOutput out;
};

// One instruction-set variant. Every variant rounds once per multiply-add (fused) and adds the taps
// in increasing order, as the plain loop does: all give the plain loop's samples bit for bit.
struct InterpolationKernel {
    const char* name;
    bool (*available)();
    void (*run)(const PolyphaseJob& job, int32_t j_begin, int32_t j_end);
};

// Every variant, fastest first; the last (portable) runs on any processor.
std::span<const InterpolationKernel> interpolation_kernels();

// The variant interpolate_split uses: the forced one, else the fastest the processor runs.
const InterpolationKernel& active_interpolation_kernel();

// Forces a variant (tests); nullptr returns to the automatic choice.
void force_interpolation_kernel(const InterpolationKernel* kernel);

} // namespace kestra
