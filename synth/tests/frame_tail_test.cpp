#include "filters.h"
#include "frame_tail.h"
#include "interpolation.h"
#include "pn_tables.h"
#include "worker_pool.h"

#include "kestra/kestra.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

namespace {

using kestra::interpolate_periodic;

std::vector<IqSample> random_frame(int32_t n, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    std::vector<IqSample> v(static_cast<size_t>(n));
    for (auto& s : v) {
        s = {u(rng), u(rng)};
    }
    return v;
}

TEST(PeriodicInterpolation, WorkedExamples) {
    const std::vector<IqSample> in = {{1, -1}, {3, 5}, {-2, 0}, {4, 8}};
    const double halfband[] = {0.5, 1.0, 0.5};
    std::vector<IqSample> out(8);
    ASSERT_EQ(interpolate_periodic(in.data(), 4, halfband, 3, out.data(), 2, 1), 0);
    for (int m = 0; m < 4; ++m) {
        EXPECT_EQ(out[2 * m].i, in[m].i);
        EXPECT_EQ(out[2 * m].q, in[m].q);
        const IqSample& next = in[(m + 1) % 4]; // the last odd sample wraps to the first input
        EXPECT_EQ(out[2 * m + 1].i, (in[m].i + next.i) / 2);
        EXPECT_EQ(out[2 * m + 1].q, (in[m].q + next.q) / 2);
    }
    const double one[] = {1.0};
    std::vector<IqSample> copy(4);
    ASSERT_EQ(interpolate_periodic(in.data(), 4, one, 1, copy.data(), 1, 1), 0);
    for (int m = 0; m < 4; ++m) {
        EXPECT_EQ(copy[m].i, in[m].i);
        EXPECT_EQ(copy[m].q, in[m].q);
    }
}

TEST(PeriodicInterpolation, RefusesBadArgumentsWithoutWriting) {
    const std::vector<IqSample> in(4, IqSample{1, 1});
    std::vector<double> coef(64, 0.1);
    std::vector<IqSample> out(400, IqSample{9, 9});
    EXPECT_EQ(interpolate_periodic(in.data(), 4, coef.data(), 18, out.data(), 2, 1), -1); // > 2*8 + 1 taps
    EXPECT_EQ(interpolate_periodic(in.data(), 4, coef.data(), 3, out.data(), 81, 1), -1);
    EXPECT_EQ(interpolate_periodic(in.data(), 4, coef.data(), 3, out.data(), 2, 0), -1);
    EXPECT_EQ(interpolate_periodic(in.data(), 0, coef.data(), 3, out.data(), 2, 1), -1);
    EXPECT_EQ(interpolate_periodic(in.data(), 4, coef.data(), 0, out.data(), 2, 1), -1);
    EXPECT_EQ(interpolate_periodic(in.data(), 4, coef.data(), 17, out.data(), 2, 1), 0); // the limit itself
    for (size_t k = 8; k < out.size(); ++k) {
        ASSERT_EQ(out[k].i, 9.0);
    }
}

// Every instruction-set variant of the polyphase kernel, forced in turn, against the plain loop. All
// round once per multiply-add in tap order, as the plain loop does, and must equal it bit for bit.
class KernelVariant : public testing::TestWithParam<size_t> {
protected:
    void SetUp() override {
        const auto& kernel = kestra::interpolation_kernels()[GetParam()];
        if (!kernel.available()) {
            GTEST_SKIP() << kernel.name << ": this processor lacks the instruction set";
        }
        kestra::force_interpolation_kernel(&kernel);
    }
    void TearDown() override {
        kestra::force_interpolation_kernel(nullptr);
        kestra::limit_worker_threads(0);
    }
    // Compares with the plain loop; 64 guard samples past the output catch writes beyond it.
    void expect_plain(const std::vector<IqSample>& in, const std::vector<double>& coef, int32_t L) {
        const auto n_in = static_cast<int32_t>(in.size());
        const auto ntaps = static_cast<int32_t>(coef.size());
        const size_t n_out = in.size() * static_cast<size_t>(L);
        std::vector<IqSample> fast(n_out + 64, IqSample{42, 42}), plain(n_out);
        kestra::interpolate_periodic_polyphase(in.data(), n_in, coef.data(), ntaps, fast.data(), L);
        kestra::interpolate_periodic_plain(in.data(), n_in, coef.data(), ntaps, plain.data(), L, 1);
        for (size_t k = 0; k < n_out; ++k) {
            ASSERT_EQ(fast[k].i, plain[k].i) << n_in << " " << L << " " << ntaps << " at " << k;
            ASSERT_EQ(fast[k].q, plain[k].q) << n_in << " " << L << " " << ntaps << " at " << k;
        }
        for (size_t k = n_out; k < fast.size(); ++k) {
            ASSERT_EQ(fast[k].i, 42.0) << "written past the output at " << k;
            ASSERT_EQ(fast[k].q, 42.0) << "written past the output at " << k;
        }
    }
};

// Tap counts that are not multiples of the ratio or of any vector width, inputs shorter than one block
// and lengths that leave a partial last block.
TEST_P(KernelVariant, EqualsThePlainLoopForAnyLengthsAndWritesNothingBeyond) {
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int32_t n_in : {1, 5, 17, 33, 300}) {
        for (int32_t L : {1, 2, 3, 5, 16, 20}) {
            for (int32_t ntaps : {1, 2, 7, 33, 129, 257}) {
                if (ntaps > 2 * n_in * L + 1) {
                    continue;
                }
                std::vector<double> coef(static_cast<size_t>(ntaps));
                for (auto& c : coef) {
                    c = u(rng);
                }
                expect_plain(random_frame(n_in, static_cast<unsigned>(n_in * 1000 + L * 10 + ntaps)), coef,
                             L);
            }
        }
    }
}

// The threaded frame sizes of both stages: the link filter at ratio 12, the second stage's raised
// cosine (x5, 1281 taps) on a shorter periodic input. The result must not depend on the thread count.
TEST_P(KernelVariant, EqualsThePlainLoopOnThreadedFramesWhateverTheThreadCount) {
    std::vector<double> coef(kestra::kFilterBufferLength), scratch(kestra::kFilterBufferLength);
    int32_t ntaps = 0;
    kestra::build_ul_filter(coef.data(), &ntaps, scratch.data(), 12);
    coef.resize(static_cast<size_t>(ntaps));
    const auto frame = random_frame(FRAME_CHIPS, 5);
    expect_plain(frame, coef, 12);
    std::vector<double> rc(1281);
    kestra::design_raised_cosine(rc.data(), 0.2, 0.0, 1.0, 20, 1281);
    const auto stage = random_frame(20000 + 7, 6);
    expect_plain(stage, rc, 5);

    std::vector<IqSample> all(stage.size() * 5), one(stage.size() * 5);
    kestra::interpolate_periodic_polyphase(stage.data(), 20007, rc.data(), 1281, all.data(), 5);
    kestra::limit_worker_threads(1);
    kestra::interpolate_periodic_polyphase(stage.data(), 20007, rc.data(), 1281, one.data(), 5);
    for (size_t k = 0; k < all.size(); ++k) {
        ASSERT_EQ(all[k].i, one[k].i) << k;
        ASSERT_EQ(all[k].q, one[k].q) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(PeriodicInterpolation, KernelVariant,
                         testing::Range(size_t{0}, kestra::interpolation_kernels().size()),
                         [](const testing::TestParamInfo<size_t>& param) {
                             const std::string name = kestra::interpolation_kernels()[param.param].name;
                             return name == "AVX-512"    ? std::string("Avx512")
                                    : name == "AVX2+FMA" ? std::string("Avx2Fma")
                                                         : std::string("Portable");
                         });

TEST(PeriodicInterpolation, TwoConcatenatedFramesGiveTwoConcatenatedWaveforms) {
    const int32_t n = 1000;
    const int32_t L = 8;
    const auto one = random_frame(n, 9);
    std::vector<IqSample> two(one);
    two.insert(two.end(), one.begin(), one.end());
    std::vector<double> coef(kestra::kFilterBufferLength), scratch(kestra::kFilterBufferLength);
    int32_t ntaps = 0;
    kestra::build_ul_filter(coef.data(), &ntaps, scratch.data(), L);
    kestra::reverse_taps(coef.data(), ntaps);
    std::vector<IqSample> w1(static_cast<size_t>(n * L)), w2(static_cast<size_t>(2 * n * L));
    ASSERT_EQ(interpolate_periodic(one.data(), n, coef.data(), ntaps, w1.data(), L, 1), 0);
    ASSERT_EQ(interpolate_periodic(two.data(), 2 * n, coef.data(), ntaps, w2.data(), L, 1), 0);
    for (size_t k = 0; k < w2.size(); ++k) {
        ASSERT_NEAR(w2[k].i, w1[k % w1.size()].i, 1e-15) << k;
        ASSERT_NEAR(w2[k].q, w1[k % w1.size()].q, 1e-15) << k;
    }
}

TEST(PeriodicInterpolation, DecimationUsesTheGeneralLoop) {
    // L = 3, M = 2: n_out = 6 from 4 inputs; output i sums the taps that meet input samples.
    const std::vector<IqSample> in = {{1, 0}, {2, 0}, {3, 0}, {4, 0}};
    const double coef[] = {1.0};
    std::vector<IqSample> out(6);
    ASSERT_EQ(interpolate_periodic(in.data(), 4, coef, 1, out.data(), 3, 2), 0);
    // c = 12, D = 0: output i reads input (2i mod 12)/3 when 2i is a multiple of 3.
    EXPECT_EQ(out[0].i, 1.0);
    EXPECT_EQ(out[1].i, 0.0);
    EXPECT_EQ(out[3].i, 3.0);
}

TEST(FrameOperations, SpreadSwapAndPeakNormalisation) {
    const double ci[] = {1.0, 0.5, 0.0};
    const double cq[] = {0.0, -0.5, 2.0};
    const double pi[] = {1.0, -1.0, 1.0};
    const double pq[] = {-1.0, 1.0, 1.0};
    IqSample out[3];
    kestra::quadrature_spread(out, ci, cq, pi, pq, 3);
    // (I + jQ)(pn_i + j pn_q)
    EXPECT_EQ(out[0].i, 1.0);
    EXPECT_EQ(out[0].q, -1.0);
    EXPECT_EQ(out[1].i, 0.0);
    EXPECT_EQ(out[1].q, 1.0);
    EXPECT_EQ(out[2].i, -2.0);
    EXPECT_EQ(out[2].q, 2.0);
    kestra::swap_iq(out, 3);
    EXPECT_EQ(out[2].i, 2.0);
    EXPECT_EQ(out[2].q, -2.0);
    IqSample norm[3];
    kestra::normalize_peak(norm, out, 3);
    EXPECT_EQ(norm[2].i, 1.0);
    EXPECT_EQ(norm[2].q, -1.0);
    EXPECT_EQ(norm[0].q, 0.5);
    EXPECT_EQ(out[2].i, 2.0); // the source is untouched
    const IqSample zeros[2] = {{0, 0}, {0, 0}};
    IqSample z[2] = {{5, 5}, {5, 5}};
    kestra::normalize_peak(z, zeros, 2);
    EXPECT_EQ(z[1].i, 0.0);
    EXPECT_EQ(z[1].q, 0.0);
}

TEST(FrameOperations, FrequencyOffsetRotatesAndIfConversionLeavesQAtZero) {
    std::vector<IqSample> wave = random_frame(1000, 21);
    auto rotated = wave;
    kestra::apply_frequency_error(1000, rotated.data(), 0.0, 4.9152e6);
    for (size_t k = 0; k < wave.size(); ++k) {
        ASSERT_EQ(rotated[k].i, wave[k].i);
        ASSERT_EQ(rotated[k].q, wave[k].q);
    }
    kestra::apply_frequency_error(1000, rotated.data(), 1.2288e6, 4.9152e6); // a quarter turn per sample
    EXPECT_NEAR(rotated[1].i, -wave[1].q, 1e-15);
    EXPECT_NEAR(rotated[1].q, wave[1].i, 1e-15);
    EXPECT_NEAR(rotated[2].i, -wave[2].i, 1e-15);
    auto real = wave;
    kestra::apply_if_conversion(1000, real.data(), 1.0e6, 4.9152e6);
    for (size_t k = 0; k < real.size(); ++k) {
        const double theta = 2.0 * M_PI * 1.0e6 / 4.9152e6 * static_cast<double>(k);
        ASSERT_EQ(real[k].q, 0.0);
        ASSERT_NEAR(real[k].i, wave[k].i * std::cos(theta) - wave[k].q * std::sin(theta), 1e-12);
    }
}

// The rotator against the per-sample formula x[k] e^(j step k), step = 2 pi f / fs as the stage
// computes it, evaluated in extended precision: within 1e-12 of full scale (the largest |x|) over a
// whole ratio-80 frame, at frequencies where the phase reaches a million radians, for any thread count.
TEST(FrameOperations, PhaseRotatorFollowsThePerSampleFormulaOverAWholeFrame) {
    const int32_t n = 80 * FRAME_CHIPS;
    const double fs = 80 * KESTRA_CHIP_RATE_HZ;
    const auto wave = random_frame(n, 33);
    for (double f : {1234.5, -2.5e6, 4.0e7}) {
        SCOPED_TRACE(f);
        auto rotated = wave;
        auto real = wave;
        kestra::apply_frequency_error(n, rotated.data(), f, fs);
        kestra::apply_if_conversion(n, real.data(), f, fs);
        const long double step = 2.0 * M_PI * f / fs;
        for (int32_t k = 0; k < n; k += (k < 5000 ? 1 : 7)) {
            const long double c = std::cos(step * k);
            const long double s = std::sin(step * k);
            const long double i = wave[k].i * c - wave[k].q * s;
            const long double q = wave[k].i * s + wave[k].q * c;
            ASSERT_NEAR(rotated[k].i, static_cast<double>(i), 1e-12) << k;
            ASSERT_NEAR(rotated[k].q, static_cast<double>(q), 1e-12) << k;
            ASSERT_NEAR(real[k].i, static_cast<double>(i), 1e-12) << k;
            ASSERT_EQ(real[k].q, 0.0);
        }
        kestra::limit_worker_threads(1);
        auto single = wave;
        kestra::apply_frequency_error(n, single.data(), f, fs);
        kestra::limit_worker_threads(0);
        for (int32_t k = 0; k < n; ++k) {
            ASSERT_EQ(single[k].i, rotated[k].i) << k;
        }
    }
}

} // namespace
