// Golden vectors: the built filters against taps computed independently with numpy, and one checksum
// per export of a fixed waveform.
//
// Filter taps: synth/tests/golden/filters.txt, written by
//     /usr/bin/python3 scripts/golden_filters.py > synth/tests/golden/filters.txt
// (the script's docstring states the recipe: base filter, phase equaliser, zero-stuffing and
// smoothing, unit sum; the second-stage raised cosine). numpy's transform and convolution round
// differently from ours, a few units in the last place of the largest tap: 1e-12 of the largest tap
// leaves room for that and still sees any change of the design (an equaliser of the wrong sense or a
// different smoothing roll-off moves taps by 1e-4 and more).
//
// Export checksums: the values the exports gave before their kernels were tuned (plain multiply and
// add, the per-sample phase formula). Fused multiply-add and the phase rotator change samples in the
// last bits only; the tolerance is 1e-11 of the sum of magnitudes the checksum adds up.
#include "filters.h"
#include "forward_link.h"

#include "kestra/kestra.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using kestra::kFilterBufferLength;

std::map<std::string, std::vector<double>> golden_filters() {
    std::map<std::string, std::vector<double>> blocks;
    std::ifstream in(KESTRA_GOLDEN_DIR "/filters.txt");
    std::string name;
    size_t count = 0;
    while (in >> name >> count) {
        std::vector<double>& taps = blocks[name];
        taps.resize(count);
        for (double& t : taps) {
            in >> t;
        }
    }
    return blocks;
}

void expect_taps(const std::vector<double>& golden, const std::vector<double>& built, int32_t ntaps) {
    ASSERT_EQ(static_cast<size_t>(ntaps), golden.size());
    double peak = 0.0;
    for (double g : golden) {
        peak = std::max(peak, std::fabs(g));
    }
    for (int32_t k = 0; k < ntaps; ++k) {
        ASSERT_NEAR(built[static_cast<size_t>(k)], golden[static_cast<size_t>(k)], 1e-12 * peak)
            << "tap " << k;
    }
}

TEST(GoldenFilters, LinkFiltersOfBothDirectionsAndTheSecondStageMatchTheIndependentDesign) {
    const auto golden = golden_filters();
    ASSERT_EQ(golden.size(), 8u) << "golden/filters.txt missing or incomplete";
    std::vector<double> coef(kFilterBufferLength), re(kFilterBufferLength), im(kFilterBufferLength);
    int32_t ntaps = 0;
    for (int32_t ratio : {4, 8, 16}) {
        SCOPED_TRACE(ratio);
        const std::string plain = "link_" + std::to_string(ratio);
        kestra::build_ul_filter(coef.data(), &ntaps, re.data(), ratio);
        expect_taps(golden.at(plain), coef, ntaps);
        kestra::build_dl_filter(coef.data(), &ntaps, re.data(), im.data(), ratio, 0);
        expect_taps(golden.at(plain), coef, ntaps);
        kestra::build_dl_filter(coef.data(), &ntaps, re.data(), im.data(), ratio, 1);
        expect_taps(golden.at("link_equalised_" + std::to_string(ratio)), coef, ntaps);
    }
    for (int32_t ratio : {32, 80}) {
        const int32_t sps = ratio / 4;
        ntaps = 64 * sps + 1;
        kestra::design_raised_cosine(coef.data(), 0.2, 0.0, 1.0, sps, ntaps);
        expect_taps(golden.at("second_stage_" + std::to_string(ratio)), coef, ntaps);
    }
}

// A weighted sum over both rails that any change of shape, delay or rail order moves.
struct Checksum {
    double value = 0.0;
    double scale = 0.0; // sum of the magnitudes of the terms
};

Checksum checksum(const std::vector<IqSample>& w) {
    Checksum c;
    for (size_t k = 0; k < w.size(); ++k) {
        const double a = std::cos(0.001 * static_cast<double>(k));
        const double b = std::sin(0.0013 * static_cast<double>(k)) + 0.5;
        c.value += a * w[k].i + b * w[k].q;
        c.scale += std::fabs(a * w[k].i) + std::fabs(b * w[k].q);
    }
    return c;
}

struct ExportRun {
    std::vector<IqSample> waveform;
    std::vector<IqSample> chips = std::vector<IqSample>(FRAME_CHIPS);
    std::unique_ptr<unsigned char[]> work = std::make_unique<unsigned char[]>(KESTRA_WORK_BYTES);
    explicit ExportRun(int32_t ratio) : waveform(static_cast<size_t>(ratio) * FRAME_CHIPS) {}
};

void expect_checksum(const ExportRun& run, double golden) {
    const Checksum c = checksum(run.waveform);
    EXPECT_NEAR(c.value, golden, 1e-11 * c.scale) << std::setprecision(17) << c.value;
}

TEST(GoldenExports, EveryExportGivesTheWaveformItGaveBefore) {
    {
        SCOPED_TRACE("RC1/RC2, ratio 8");
        ExportRun run(8);
        KESTRA_UL_Actual_RC12(run.waveform.data(), run.chips.data(), run.work.get(), 8, 0, 0, 0.0, 0.0);
        expect_checksum(run, -38.876505268348282);
    }
    {
        SCOPED_TRACE("RC3/RC4 with every channel, ratio 8");
        ExportRun run(8);
        Rc34Params p{};
        p.dcch_on = p.sch2_on = p.fch_on = p.sch1_on = 1;
        p.dcch_gain_db = -3.0;
        p.sch2_gain_db = 1.0;
        p.fch_gain_db = -2.0;
        p.sch1_gain_db = 2.0;
        p.sch2_repetition = 2;
        p.sch1_repetition = 1;
        p.oversampling = 8;
        KESTRA_UL_Actual_RC34(run.waveform.data(), run.chips.data(), run.work.get(), &p);
        expect_checksum(run, -303.38891890414743);
    }
    {
        SCOPED_TRACE("RC7 with every channel and a frequency error, ratio 16");
        ExportRun run(16);
        Rc7Params p{};
        p.spich_on = p.each_on = p.pdcch_on = p.reqch_on = p.dcch_on = p.ackch_on = 1;
        p.cqich_on = p.fch_on = p.sch1_on = p.sch2_on = p.pdch_on = 1;
        p.sch1_gain_db = 1.5;
        p.pdch_gain_db = 2.0;
        p.sch1_repetition = 1;
        p.sch2_repetition = 1;
        p.pdch_modulation = 2;
        p.oversampling = 16;
        p.offset_mode = 1;
        p.freq_error_hz = 1234.5;
        KESTRA_UL_Actual_RC7(run.waveform.data(), run.chips.data(), run.work.get(), &p);
        expect_checksum(run, 287.71386645687494);
    }
    const std::vector<double> ack(kestra::kAckUserGains, -2.0);
    {
        SCOPED_TRACE("Forward link, Test Model 1, phase equaliser, ratio 8");
        ExportRun run(8);
        std::vector<DlChannel> tm1 = {{0.0, 0, 0, 64, 0}, {-6.3, 1, 32, 64, 0}, {-0.3, 2, 1, 64, 0}};
        for (int32_t w : {6, 17, 20, 41, 49, 58}) {
            tm1.push_back({-3.26, kestra::kFFch, w, 64, 0});
        }
        DlParams p{};
        p.oversampling = 8;
        p.phase_equalizer = 1;
        p.channel_count = static_cast<int32_t>(tm1.size());
        KESTRA_DL_Actual(run.waveform.data(), run.chips.data(), run.work.get(), &p, tm1.data(), ack.data());
        expect_checksum(run, -443.22115076660276);
    }
    {
        SCOPED_TRACE("Forward link, 16QAM F-PDCH, IF conversion, I/Q exchanged, ratio 32");
        ExportRun run(32);
        const std::vector<DlChannel> tm2 = {{-10.0, 0, 0, 64, 0},
                                            {-13.0, 1, 32, 64, 0},
                                            {-10.0, 2, 1, 64, 0},
                                            {-2.6, kestra::kFPdch, 2, 32, 3}};
        DlParams p{};
        p.oversampling = 32;
        p.offset_mode = 2;
        p.if_freq_hz = 1.9e6;
        p.iq_inverse = 1;
        p.channel_count = static_cast<int32_t>(tm2.size());
        KESTRA_DL_Actual(run.waveform.data(), run.chips.data(), run.work.get(), &p, tm2.data(), ack.data());
        expect_checksum(run, 0.16799498206573349);
    }
}

} // namespace
