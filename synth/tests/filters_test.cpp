#include "fft.h"
#include "filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>
#include <vector>

namespace {

using kestra::kFilterBufferLength;

struct BuiltFilter {
    std::vector<double> coef = std::vector<double>(kFilterBufferLength, 7.0);
    int32_t ntaps = 0;
};

BuiltFilter build_ul(int32_t ratio) {
    BuiltFilter f;
    std::vector<double> scratch(kFilterBufferLength);
    kestra::build_ul_filter(f.coef.data(), &f.ntaps, scratch.data(), ratio);
    return f;
}

BuiltFilter build_dl(int32_t ratio, int32_t equalize) {
    BuiltFilter f;
    std::vector<double> re(kFilterBufferLength), im(kFilterBufferLength);
    kestra::build_dl_filter(f.coef.data(), &f.ntaps, re.data(), im.data(), ratio, equalize);
    return f;
}

double tap_sum(const BuiltFilter& f) {
    return std::accumulate(f.coef.begin(), f.coef.begin() + f.ntaps, 0.0);
}

TEST(LinkFilters, HaveTheTapCountCentreSymmetryAndUnitSumForEveryStretch) {
    for (int32_t ratio : {4, 8, 12, 16, 20}) {
        SCOPED_TRACE(ratio);
        const BuiltFilter f = build_ul(ratio);
        const int32_t K = ratio / 4;
        ASSERT_EQ(f.ntaps, 128 * K + 1);
        EXPECT_NEAR(tap_sum(f), 1.0, 1e-14);
        // The coefficient buffer is cleared beyond the filter.
        for (int32_t i = f.ntaps; i < kFilterBufferLength; ++i) {
            ASSERT_EQ(f.coef[i], 0.0) << i;
        }
        if (K == 1) {
            continue; // the plain base filter: tap 0 has no mirror
        }
        const int32_t centre = 64 * K;
        const auto peak = std::max_element(f.coef.begin(), f.coef.begin() + f.ntaps) - f.coef.begin();
        EXPECT_EQ(peak, centre);
        // Symmetric about the centre but for the smoothed trace of the base filter's unpaired tap 0.
        for (int32_t k = 1; k <= centre; ++k) {
            ASSERT_NEAR(f.coef[centre + k], f.coef[centre - k], 2e-6) << k;
        }
    }
}

TEST(LinkFilters, RatioFourIsTheBaseFilterScaledToUnitSum) {
    const BuiltFilter f = build_ul(4);
    ASSERT_EQ(f.ntaps, 129);
    EXPECT_EQ(f.coef[128], 0.0);
    const double stored_sum = 2.1775360884;
    EXPECT_NEAR(f.coef[0], 2.8911969344e-06 / stored_sum, 1e-15);
    EXPECT_NEAR(f.coef[64], 5.1449416690e-01 / stored_sum, 1e-10);
    EXPECT_NEAR(f.coef[65], f.coef[63], 1e-16);
    EXPECT_NEAR(f.coef[127], f.coef[1], 1e-16);
}

TEST(LinkFilters, ForwardFilterWithoutEqualiserIsTheReverseFilter) {
    for (int32_t ratio : {4, 8, 16, 20}) {
        const BuiltFilter ul = build_ul(ratio);
        for (int32_t equalize : {0, 2, -1}) {
            const BuiltFilter dl = build_dl(ratio, equalize);
            ASSERT_EQ(dl.ntaps, ul.ntaps);
            for (int32_t i = 0; i < ul.ntaps; ++i) {
                ASSERT_EQ(dl.coef[i], ul.coef[i]) << ratio << " tap " << i;
            }
        }
    }
}

// A filter is designed once per process and copied from then on: every later build must give the
// same whole buffer (taps, count and the zeros after them), whichever filters were built in between.
TEST(LinkFilters, BuildingAgainGivesTheSameBufferWhateverWasBuiltInBetween) {
    struct Kind {
        int32_t ratio;
        int32_t equalize; // -1: the reverse-link builder
    };
    std::vector<Kind> kinds;
    for (int32_t ratio : {4, 8, 12, 16, 20}) {
        for (int32_t equalize : {-1, 0, 1}) {
            kinds.push_back({ratio, equalize});
        }
    }
    auto build = [](const Kind& k) {
        return k.equalize < 0 ? build_ul(k.ratio) : build_dl(k.ratio, k.equalize);
    };
    std::vector<BuiltFilter> first;
    for (const Kind& k : kinds) {
        first.push_back(build(k));
    }
    for (std::size_t n = kinds.size(); n-- > 0;) {
        SCOPED_TRACE(testing::Message() << "ratio " << kinds[n].ratio << " equaliser " << kinds[n].equalize);
        const BuiltFilter again = build(kinds[n]);
        EXPECT_EQ(again.ntaps, first[n].ntaps);
        EXPECT_EQ(again.coef, first[n].coef);
    }
}

TEST(LinkFilters, PhaseEqualiserKeepsTheSumButBreaksTheSymmetry) {
    const BuiltFilter plain = build_dl(4, 0);
    const BuiltFilter eq = build_dl(4, 1);
    ASSERT_EQ(eq.ntaps, 129);
    EXPECT_NEAR(tap_sum(eq), 1.0, 1e-14);
    double asymmetry = 0.0;
    double change = 0.0;
    for (int k = 1; k <= 63; ++k) {
        asymmetry = std::max(asymmetry, std::fabs(eq.coef[64 + k] - eq.coef[64 - k]));
    }
    for (int k = 0; k < 128; ++k) {
        change = std::max(change, std::fabs(eq.coef[k] - plain.coef[k]));
    }
    EXPECT_GT(asymmetry, 1e-4);
    EXPECT_GT(change, 1e-3);
    // An all-pass leaves the energy of the response unchanged.
    double e_plain = 0.0, e_eq = 0.0;
    for (int k = 0; k < 128; ++k) {
        e_plain += plain.coef[k] * plain.coef[k];
        e_eq += eq.coef[k] * eq.coef[k];
    }
    EXPECT_NEAR(e_eq, e_plain, 1e-12);
}

TEST(RaisedCosine, TakesTheLimitAtTheSingularTapsAndSumsToTheRequestedGain) {
    std::vector<double> coef(513);
    ASSERT_EQ(kestra::design_raised_cosine(coef.data(), 0.2, 0.0, 3.5, 8, 513), 0);
    EXPECT_EQ(std::max_element(coef.begin(), coef.end()) - coef.begin(), 256);
    // Relative to the centre tap (1.0 before scaling), t = +-2.5 symbols takes the limit (a/2) sin(pi/2a).
    const double limit = 0.1 * std::sin(M_PI / 0.4);
    EXPECT_NEAR(coef[256 + 20] / coef[256], limit, 1e-15);
    EXPECT_NEAR(coef[256 - 20] / coef[256], limit, 1e-15);
    // Zero crossings at whole symbols away from the centre.
    EXPECT_NEAR(coef[256 + 8] / coef[256], 0.0, 1e-16);
    EXPECT_NEAR(std::accumulate(coef.begin(), coef.end(), 0.0), 3.5, 1e-13);
}

TEST(RaisedCosine, RefusesEvenLengthsAndZeroSamplesPerSymbolWithoutWriting) {
    std::vector<double> coef(700, 9.0);
    EXPECT_EQ(kestra::design_raised_cosine(coef.data(), 0.1, 0.0, 1.0, 4, 700), -2);
    EXPECT_EQ(kestra::design_raised_cosine(coef.data(), 0.1, 0.0, 1.0, 0, 701), -1);
    for (double v : coef) {
        ASSERT_EQ(v, 9.0);
    }
}

TEST(LinearConvolution, GivesTheFullProductAndRefusesEmptyInputs) {
    const double x[] = {1, 2};
    const double h[] = {1, 1, 1};
    double out[4] = {};
    ASSERT_EQ(kestra::convolve_linear(2, x, 3, h, out), 0);
    EXPECT_EQ(out[0], 1);
    EXPECT_EQ(out[1], 3);
    EXPECT_EQ(out[2], 3);
    EXPECT_EQ(out[3], 2);
    EXPECT_EQ(kestra::convolve_linear(0, x, 3, h, out), 1);
    EXPECT_EQ(kestra::convolve_linear(2, x, 0, h, out), 2);
}

// Direct O(n^2) transform as the reference for the fast ones.
void naive_dft(std::vector<double>& re, std::vector<double>& im) {
    const size_t n = re.size();
    std::vector<double> r(n), i(n);
    for (size_t k = 0; k < n; ++k) {
        for (size_t t = 0; t < n; ++t) {
            const double a = -2.0 * M_PI * static_cast<double>((k * t) % n) / static_cast<double>(n);
            r[k] += re[t] * std::cos(a) - im[t] * std::sin(a);
            i[k] += re[t] * std::sin(a) + im[t] * std::cos(a);
        }
    }
    re = r;
    im = i;
}

TEST(Transforms, MatchTheDirectDftAtPowerOfTwoAndOtherLengths) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int32_t n : {4, 5, 7, 64, 100, 128, 255}) {
        SCOPED_TRACE(n);
        std::vector<double> re(n), im(n);
        for (int32_t k = 0; k < n; ++k) {
            re[k] = u(rng);
            im[k] = u(rng);
        }
        auto ref_re = re, ref_im = im;
        naive_dft(ref_re, ref_im);
        ASSERT_EQ(kestra::dft_any_length(n, re.data(), im.data(), 1), 0);
        for (int32_t k = 0; k < n; ++k) {
            ASSERT_NEAR(re[k], ref_re[k], 1e-12);
            ASSERT_NEAR(im[k], ref_im[k], 1e-12);
        }
    }
}

TEST(Transforms, ForwardThenInverseRestoresTheInput) {
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int32_t n : {4, 6, 128, 1000, 4096, 65536, 100003}) {
        SCOPED_TRACE(n);
        std::vector<double> re(n), im(n);
        for (int32_t k = 0; k < n; ++k) {
            re[k] = u(rng);
            im[k] = u(rng);
        }
        const auto orig_re = re, orig_im = im;
        ASSERT_EQ(kestra::dft_any_length(n, re.data(), im.data(), 1), 0);
        ASSERT_EQ(kestra::dft_any_length(n, re.data(), im.data(), 0), 0);
        for (int32_t k = 0; k < n; ++k) {
            ASSERT_NEAR(re[k], orig_re[k], 1e-11);
            ASSERT_NEAR(im[k], orig_im[k], 1e-11);
        }
    }
    std::vector<double> re(64, 1.0), im(64, 0.0);
    ASSERT_EQ(kestra::fft_pow2(64, re.data(), im.data(), 1), 0);
    EXPECT_NEAR(re[0], 64.0, 1e-12);
    ASSERT_EQ(kestra::fft_pow2(64, re.data(), im.data(), 0), 0);
    EXPECT_NEAR(re[5], 1.0, 1e-15);
}

TEST(Transforms, RefuseBadLengthsAndDirectionsLeavingTheDataAlone) {
    std::vector<double> re(8, 3.0), im(8, 4.0);
    EXPECT_EQ(kestra::dft_any_length(3, re.data(), im.data(), 1), 1);
    EXPECT_EQ(kestra::dft_any_length(2097153, re.data(), im.data(), 1), 1);
    EXPECT_EQ(kestra::dft_any_length(8, re.data(), im.data(), 2), 2);
    EXPECT_EQ(kestra::fft_pow2(6, re.data(), im.data(), 1), 1);
    EXPECT_EQ(kestra::fft_pow2(2, re.data(), im.data(), 1), 1);
    EXPECT_EQ(kestra::fft_pow2(8, re.data(), im.data(), -1), 2);
    for (int k = 0; k < 8; ++k) {
        ASSERT_EQ(re[k], 3.0);
        ASSERT_EQ(im[k], 4.0);
    }
}

} // namespace
