#include "wavesave/wavesave.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

struct Crest {
    double i_db = -1.0, q_db = -1.0, papr_db = -1.0;
};

Crest measure(const std::vector<IqSample>& samples) {
    Crest c;
    EXPECT_EQ(
        CalcCrestFactor(samples.data(), static_cast<int32_t>(samples.size()), &c.i_db, &c.q_db, &c.papr_db),
        0);
    return c;
}

const double three_db = 10.0 * std::log10(2.0);

TEST(CrestFactor, ConstantEnvelopeHasNoPeakToAverage) {
    std::vector<IqSample> samples;
    for (int n = 0; n < 1000; ++n) {
        const double phase = 0.7 * n * n; // anything but a regular pattern
        samples.push_back({3.0 * std::cos(phase), 3.0 * std::sin(phase)});
    }
    const Crest c = measure(samples);
    EXPECT_NEAR(c.papr_db, 0.0, 1e-12);
    EXPECT_GT(c.i_db, 2.5); // each component alone still swings
    EXPECT_GT(c.q_db, 2.5);
}

TEST(CrestFactor, SampledSineIsThreeDecibelsOnEveryMeasure) {
    constexpr int period = 64;
    std::vector<IqSample> samples;
    for (int n = 0; n < period; ++n) {
        const double v = std::sin(2.0 * std::numbers::pi * n / period);
        samples.push_back({v, v});
    }
    const Crest c = measure(samples);
    EXPECT_NEAR(c.i_db, three_db, 1e-12);
    EXPECT_NEAR(c.q_db, three_db, 1e-12);
    EXPECT_NEAR(c.papr_db, three_db, 1e-12);
}

TEST(CrestFactor, SilentComponentGivesZeroDecibels) {
    // One pulse in four samples on I: peak 1, mean 1/4; Q is zero throughout.
    const Crest c = measure({{1.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}, {0.0, 0.0}});
    EXPECT_NEAR(c.i_db, 10.0 * std::log10(4.0), 1e-12);
    EXPECT_EQ(c.q_db, 0.0);
    EXPECT_NEAR(c.papr_db, 10.0 * std::log10(4.0), 1e-12);

    const Crest silent = measure({{0.0, 0.0}, {0.0, 0.0}});
    EXPECT_EQ(silent.i_db, 0.0);
    EXPECT_EQ(silent.q_db, 0.0);
    EXPECT_EQ(silent.papr_db, 0.0);
}

TEST(CrestFactor, EmptyBufferGivesZeroDecibels) {
    Crest c;
    EXPECT_EQ(CalcCrestFactor(nullptr, 0, &c.i_db, &c.q_db, &c.papr_db), 0);
    EXPECT_EQ(c.i_db, 0.0);
    EXPECT_EQ(c.q_db, 0.0);
    EXPECT_EQ(c.papr_db, 0.0);
}

} // namespace
