#include "filters.h"
#include "interpolation.h"
#include "pn_tables.h"

#include "kestra/kestra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

struct Rc12Run {
    std::vector<IqSample> waveform;
    std::vector<IqSample> chips = std::vector<IqSample>(FRAME_CHIPS);
};

constexpr IqSample kGuard{1234.5, -1234.5};

// Runs the export with a guard sample after the waveform to catch writes past ratio x 32768.
Rc12Run run_rc12(int32_t ratio, int32_t inverse = 0, int32_t mode = 0, double ferr = 0.0, double fif = 0.0) {
    static std::vector<unsigned char> work(KESTRA_WORK_BYTES);
    Rc12Run r;
    r.waveform.assign(static_cast<size_t>(ratio) * FRAME_CHIPS + 1, kGuard);
    KESTRA_UL_Actual_RC12(r.waveform.data(), r.chips.data(), work.data(), ratio, inverse, mode, ferr, fif);
    return r;
}

// The oversampled PN pair before the half-chip delay, built from the plain interpolation loop.
std::vector<IqSample> reference_filtered_pn(int32_t ratio) {
    std::vector<IqSample> frame(FRAME_CHIPS);
    const auto pi = kestra::pn_i_table();
    const auto pq = kestra::pn_q_table();
    for (int k = 0; k < FRAME_CHIPS; ++k) {
        frame[k] = {pi[k], pq[k]};
    }
    std::vector<double> coef(kestra::kFilterBufferLength), scratch(kestra::kFilterBufferLength);
    int32_t ntaps = 0;
    const int32_t first = ratio <= 20 ? ratio : 16;
    kestra::build_ul_filter(coef.data(), &ntaps, scratch.data(), first);
    std::vector<double> reversed(coef.rbegin() + (coef.size() - ntaps), coef.rend());
    std::vector<IqSample> stage1(static_cast<size_t>(first) * FRAME_CHIPS);
    kestra::interpolate_periodic_plain(frame.data(), FRAME_CHIPS, reversed.data(), ntaps, stage1.data(),
                                       first, 1);
    if (ratio <= 20) {
        return stage1;
    }
    const int32_t sps = ratio / 4;
    std::vector<double> rc(static_cast<size_t>(64 * sps + 1));
    kestra::design_raised_cosine(rc.data(), 0.2, 0.0, 1.0, sps, 64 * sps + 1);
    std::vector<IqSample> out(static_cast<size_t>(ratio) * FRAME_CHIPS);
    kestra::interpolate_periodic_plain(stage1.data(), 16 * FRAME_CHIPS, rc.data(), 64 * sps + 1, out.data(),
                                       ratio / 16, 1);
    return out;
}

// The export runs the fused kernels where the processor has them: each stage within 1e-13 of its full
// scale (+-1 chips through filters whose absolute tap sums stay below 2) of the plain loop, so 1e-12
// bounds both stages and is still far below any real fault.
constexpr double kFusedRounding = 1e-12;

TEST(Rc12Waveform, MatchesTheReferenceWithTheHalfChipDelayOnQ) {
    for (int32_t ratio : {4, 8, 20, 32}) {
        SCOPED_TRACE(ratio);
        const auto ref = reference_filtered_pn(ratio);
        const auto run = run_rc12(ratio);
        const size_t n = ref.size();
        const size_t h = static_cast<size_t>(ratio / 2);
        for (size_t k = 0; k < n; ++k) {
            ASSERT_NEAR(run.waveform[k].i, ref[k].i, kFusedRounding) << k;
            ASSERT_NEAR(run.waveform[k].q, ref[(k + n - h) % n].q, kFusedRounding) << k;
        }
        EXPECT_EQ(run.waveform[n].i, kGuard.i);
    }
}

TEST(Rc12Waveform, ChipCopyIsThePnPairWhateverTheArguments) {
    const auto pi = kestra::pn_i_table();
    const auto pq = kestra::pn_q_table();
    for (const auto& run : {run_rc12(4), run_rc12(8, 1, 1, 1000.0, 0.0), run_rc12(4, 1, 2, 0.0, 2e6)}) {
        for (int k = 0; k < FRAME_CHIPS; ++k) {
            ASSERT_EQ(run.chips[k].i, pi[k]);
            ASSERT_EQ(run.chips[k].q, pq[k]);
        }
    }
}

TEST(Rc12Waveform, InversionExchangesTheRailsAfterTheDelay) {
    const auto plain = run_rc12(8);
    const auto inverted = run_rc12(8, 1);
    const size_t n = 8 * FRAME_CHIPS;
    for (size_t k = 0; k < n; ++k) {
        ASSERT_EQ(inverted.waveform[k].i, plain.waveform[k].q) << k; // the delayed rail ends up on I
        ASSERT_EQ(inverted.waveform[k].q, plain.waveform[k].i) << k;
    }
}

TEST(Rc12Waveform, OffsetModesOtherThanOneAndTwoChangeNothing) {
    const auto none = run_rc12(4, 0, 0, 5e5, 5e5);
    const auto three = run_rc12(4, 0, 3, 5e5, 5e5);
    const auto zero_error = run_rc12(4, 0, 1, 0.0, 5e5);
    for (size_t k = 0; k < none.waveform.size(); ++k) {
        ASSERT_EQ(none.waveform[k].i, three.waveform[k].i);
        ASSERT_EQ(none.waveform[k].q, three.waveform[k].q);
        ASSERT_EQ(none.waveform[k].i, zero_error.waveform[k].i);
        ASSERT_EQ(none.waveform[k].q, zero_error.waveform[k].q);
    }
    const auto if_run = run_rc12(4, 0, 2, 0.0, 1.5e6);
    for (size_t k = 0; k + 1 < if_run.waveform.size(); ++k) {
        ASSERT_EQ(if_run.waveform[k].q, 0.0) << k;
    }
}

TEST(Rc12Waveform, EveryOfferedRatioFillsExactlyItsFrame) {
    for (int32_t ratio : {4, 8, 12, 16, 20, 32, 48, 64, 80}) {
        SCOPED_TRACE(ratio);
        const auto run = run_rc12(ratio);
        const size_t n = static_cast<size_t>(ratio) * FRAME_CHIPS;
        EXPECT_EQ(run.waveform[n].i, kGuard.i);
        // Taps sum to 1 per stage, without gain for the zero stuffing: the level is about 1/R of the chips.
        double power = 0.0;
        for (size_t k = 0; k < n; ++k) {
            ASSERT_TRUE(std::isfinite(run.waveform[k].i) && std::isfinite(run.waveform[k].q));
            power += run.waveform[k].i * run.waveform[k].i + run.waveform[k].q * run.waveform[k].q;
        }
        const double rms = std::sqrt(power / static_cast<double>(n));
        EXPECT_GT(rms * ratio, 0.5);
        EXPECT_LT(rms * ratio, 2.0);
    }
}

} // namespace
