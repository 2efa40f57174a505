#include "forward_link.h"
#include "forward_link_reference.h"

#include "frame_tail.h"
#include "kestra/kestra.h"
#include "pn_tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

namespace {

using dl_reference::Sums;

constexpr int kChips = FRAME_CHIPS;
constexpr double kR2 = 0.7071067811865476;
// Sums are built in a different order from the reference (and the unit-power norm sums 32768
// squares), so results may differ in the last bits; 1e-12 is far below any real fault.
constexpr double kTol = 1e-12;

DlChannel ch(int32_t type, double power_db, int32_t walsh_index = 0, int32_t walsh_length = 64,
             int32_t option = 0) {
    return DlChannel{power_db, type, walsh_index, walsh_length, option};
}

DlChannel pilot() {
    return ch(kestra::kFPich, 0.0);
}
// F-PDCH with an unsupported option: silent, but takes its seed.
DlChannel silent_seeded() {
    return ch(kestra::kFPdch, 0.0, 1, 32, 4);
}

const std::vector<double> kZeroDb(kestra::kAckUserGains, 0.0);

// A work area of exactly the documented size, so the sanitizer build sees any overrun.
struct DlArea {
    std::unique_ptr<std::byte[]> bytes = std::make_unique<std::byte[]>(KESTRA_DL_WORK_BYTES);
    kestra::DlWork work;
    DlArea() {
        kestra::WorkArea area(bytes.get());
        work = kestra::take_dl_work(area);
    }

    Sums sums(const std::vector<DlChannel>& list, const double* ack_db = kZeroDb.data()) {
        kestra::sum_dl_channels(list.data(), static_cast<int32_t>(list.size()), ack_db, work);
        Sums s;
        s.i.assign(work.chips_i.begin(), work.chips_i.end());
        s.q.assign(work.chips_q.begin(), work.chips_q.end());
        return s;
    }
};

DlArea& area() {
    static DlArea a;
    return a;
}

void expect_sums_near(const Sums& got, const Sums& want, double tol = kTol) {
    int bad = 0;
    for (int k = 0; k < kChips && bad < 5; ++k) {
        if (!(std::abs(got.i[k] - want.i[k]) <= tol) || !(std::abs(got.q[k] - want.q[k]) <= tol)) {
            ADD_FAILURE() << "chip " << k << ": (" << got.i[k] << ", " << got.q[k] << ") want (" << want.i[k]
                          << ", " << want.q[k] << ")";
            ++bad;
        }
    }
}

double mean_power(const Sums& s) {
    double e = 0.0;
    for (int k = 0; k < kChips; ++k) {
        e += s.i[k] * s.i[k] + s.q[k] * s.q[k];
    }
    return e / kChips;
}

// Largest per-symbol correlation of the sums with Walsh code W_length(index).
double largest_despread(const Sums& s, int length, int index) {
    double worst = 0.0;
    for (int sym = 0; sym < kChips / length; ++sym) {
        double ci = 0.0, cq = 0.0;
        for (int c = 0; c < length; ++c) {
            ci += s.i[sym * length + c] * dl_reference::walsh(index, c);
            cq += s.q[sym * length + c] * dl_reference::walsh(index, c);
        }
        worst = std::max({worst, std::abs(ci), std::abs(cq)});
    }
    return worst;
}

// Per-symbol correlation of the I sum with Walsh code W_length(index).
std::vector<double> despread_i(const Sums& s, int length, int index) {
    std::vector<double> out(kChips / length, 0.0);
    for (int k = 0; k < kChips; ++k) {
        out[k / length] += s.i[k] * dl_reference::walsh(index, k % length);
    }
    return out;
}

// --- the downlink test models, powers relative to the pilot ---------------------------------

struct TestModel {
    std::vector<DlChannel> channels;
    double pilot_db; // the pilot's absolute power in the model
};

TestModel test_model_1(int n) {
    const double fch_db[] = {-2.48, -5.49, -7.25, -8.50, -9.47, -10.26};
    const int fch_walsh[] = {6, 17, 20, 41, 49, 58};
    const double p = -7.0;
    TestModel m{{pilot(), ch(kestra::kSynch, -13.30 - p, 32), ch(kestra::kPch, -7.30 - p, 1)}, p};
    for (int k = 0; k < n; ++k) {
        m.channels.push_back(ch(kestra::kFFch, fch_db[n - 1] - p, fch_walsh[k], 64, 0));
    }
    return m;
}

// modulation: 1 QPSK, 2 8-PSK, 3 16-QAM (the F-PDCH option)
TestModel test_model_2(int modulation) {
    const double p = -10.0;
    return {{pilot(), ch(kestra::kSynch, -13.0 - p, 32), ch(kestra::kPch, -10.0 - p, 1),
             ch(kestra::kFPdcch, -10.0 - p, 33), ch(kestra::kFFch, -10.0 - p, 6, 64, 0),
             ch(kestra::kFPdch, -2.60 - p, 2, 32, modulation)},
            p};
}

std::vector<TestModel> all_test_models() {
    std::vector<TestModel> models;
    for (int n = 1; n <= 6; ++n) {
        models.push_back(test_model_1(n));
    }
    for (int m = 1; m <= 3; ++m) {
        models.push_back(test_model_2(m));
    }
    return models;
}

// Walsh length and number a record is spread with, for despreading in the tests.
std::pair<int, int> code_of(const DlChannel& c) {
    switch (c.type) {
    case kestra::kFPich:
        return {64, 0};
    case kestra::kSynch:
        return {256, 32};
    case kestra::kFPdch:
        return {32, c.walsh_index};
    default:
        return {64, c.walsh_index};
    }
}

// --- seeds ------------------------------------------------------------------------------------

TEST(ForwardLinkSeeds, FollowTheStepOfTheRecordCount) {
    EXPECT_EQ(kestra::dl_seed_step(1), 127);
    EXPECT_EQ(kestra::dl_seed_step(5), 63);
    EXPECT_EQ(kestra::dl_channel_seed(1, 63), 63);
    EXPECT_EQ(kestra::dl_channel_seed(2, 63), 126);
    EXPECT_EQ(kestra::dl_channel_seed(3, 63), 189);
    EXPECT_EQ(kestra::dl_seed_step(507), 1);
    EXPECT_EQ(kestra::dl_channel_seed(507, 1), 507);
}

TEST(ForwardLinkSeeds, StayNonZeroNineBitStatesForAnyRecordCount) {
    for (int count = 1; count <= 1000; ++count) {
        const int step = kestra::dl_seed_step(count);
        for (int k = 1; k <= count; ++k) {
            const int seed = kestra::dl_channel_seed(k, step);
            ASSERT_GE(seed, 1) << count << " " << k;
            ASSERT_LE(seed + 2, 511) << count << " " << k; // F-ACKCH draws seed .. seed + 2
            if (count <= 507) {
                ASSERT_EQ(seed, k * (510 / (count + 3)));
            }
        }
    }
}

TEST(ForwardLinkSeeds, FiveRecordsSeedTheDataChannelsAt63_126_189) {
    // Each PCH carries the degree-9 data of its seed on its own code.
    const std::vector<DlChannel> list = {ch(kestra::kPch, 0.0, 1), pilot(), ch(kestra::kPch, 0.0, 2),
                                         ch(kestra::kPch, 0.0, 3), ch(kestra::kPch, 0.0, 4)};
    const Sums s = area().sums(list);
    const int seeds[] = {63, 126, 189, 252};
    for (int c = 0; c < 4; ++c) {
        const std::vector<int> bits = dl_reference::prbs9(seeds[c], kChips / 64);
        for (int sym = 0; sym < kChips / 64; ++sym) {
            double corr = 0.0;
            for (int k = 0; k < 64; ++k) {
                corr += s.i[sym * 64 + k] * dl_reference::walsh(c + 1, k);
            }
            ASSERT_EQ(corr / 64, 1.0 - 2.0 * bits[sym]) << "channel " << c << " symbol " << sym;
        }
    }
}

TEST(ForwardLinkSeeds, MovingThePilotChangesNothingButInsertingAChannelDoes) {
    const DlChannel fch = ch(kestra::kFFch, 0.0, 6, 64, 0);
    const DlChannel pch = ch(kestra::kPch, 0.0, 1);
    const DlChannel unknown = ch(99, 0.0, 3);
    const Sums base = area().sums({pilot(), pch, fch});
    expect_sums_near(area().sums({pch, pilot(), fch}), base, 0.0);
    expect_sums_near(area().sums({pch, fch, pilot()}), base, 0.0);

    // Unknown codes take no seed: F-FCH keeps the data it has as the first seeded channel.
    const Sums first = area().sums({pilot(), fch, unknown});
    expect_sums_near(area().sums({unknown, pilot(), fch}), first, 0.0);
    // A data channel in front moves F-FCH to the next seed: its data changes.
    EXPECT_NE(despread_i(first, 64, 6), despread_i(base, 64, 6));
}

TEST(ForwardLinkSeeds, UnsupportedOptionsAddNothingButTakeASeed) {
    const DlChannel fch = ch(kestra::kFFch, 0.0, 6, 64, 1);
    for (const DlChannel& dead : {silent_seeded(), ch(kestra::kFFch, 0.0, 9, 64, 2)}) {
        const Sums with_dead = area().sums({pilot(), dead, fch});
        Sums want;
        for (double& v : want.i) {
            v = 1.0;
        }
        dl_reference::add_psk(want, 2, dl_reference::seed_of(2, 3), 64, 6, 0.0);
        expect_sums_near(with_dead, want);
    }
}

// --- channel types ------------------------------------------------------------------------------

TEST(ForwardLinkChannels, PilotAloneIsOneOnEveryIChipWhateverItsPower) {
    const Sums s = area().sums({ch(kestra::kFPich, 30.0)});
    for (int k = 0; k < kChips; ++k) {
        ASSERT_EQ(s.i[k], 1.0);
        ASSERT_EQ(s.q[k], 0.0);
    }
}

TEST(ForwardLinkChannels, FixedCodesIgnoreTheRecordsWalshFields) {
    // SYNCH always W256(32); PCH and F-SCCH always length 64; option is ignored by all three.
    expect_sums_near(area().sums({pilot(), ch(kestra::kSynch, -3.0, 5, 16, 3)}),
                     area().sums({pilot(), ch(kestra::kSynch, -3.0, 32, 256, 0)}), 0.0);
    for (int32_t type : {kestra::kPch, kestra::kFScch}) {
        const Sums s = area().sums({pilot(), ch(type, 1.0, 3, 8, 2)});
        expect_sums_near(s, area().sums({pilot(), ch(type, 1.0, 3, 64, 0)}), 0.0);
        expect_sums_near(s, dl_reference::channel_sums({pilot(), ch(type, 1.0, 3, 64, 0)}, kZeroDb.data()));
    }
}

TEST(ForwardLinkChannels, QpskAtZeroDbHasChipAmplitudeOneOverRootTwo) {
    for (const DlChannel& c : {ch(kestra::kBcch, 0.0, 3, 16), ch(kestra::kFFch, 0.0, 5, 128, 1),
                               ch(kestra::kFPdch, 0.0, 7, 32, 1)}) {
        const Sums s = area().sums({c});
        for (int k = 0; k < kChips; ++k) {
            ASSERT_EQ(std::abs(s.i[k]), kR2) << c.type << " chip " << k;
            ASSERT_EQ(std::abs(s.q[k]), kR2) << c.type << " chip " << k;
        }
    }
}

TEST(ForwardLinkChannels, NormalisedBuildersHaveExactlyTheirPower) {
    std::vector<double> uneven(kestra::kAckUserGains);
    for (int u = 0; u < kestra::kAckUserGains; ++u) {
        uneven[u] = -0.5 * (u % 13);
    }
    for (double db : {-20.0, -3.3, 0.0, 6.0}) {
        const double want = std::pow(10.0, db / 10.0);
        for (int len : {4, 32, 256}) {
            EXPECT_NEAR(mean_power(area().sums({ch(kestra::kQpch, db, 1, len)})), want, want * 1e-12);
        }
        EXPECT_NEAR(mean_power(area().sums({ch(kestra::kCpcch, db, 9)})), want, want * 1e-12);
        EXPECT_NEAR(mean_power(area().sums({ch(kestra::kFAckch, db, 9)})), want, want * 1e-12);
        EXPECT_NEAR(mean_power(area().sums({ch(kestra::kFAckch, db, 9)}, uneven.data())), want, want * 1e-12);
    }
}

TEST(ForwardLinkChannels, SilentStreamsAddNothingAndNeverNaN) {
    kestra::DlWork& w = area().work;
    std::vector<double> ci(kChips, 0.25), cq(kChips, -0.5);
    const std::vector<double> ci0 = ci, cq0 = cq;
    std::vector<double> walsh(256, 1.0);
    w.spread.spreading_length = 128;
    kestra::spread_qpch(ci, cq, w.spread, 0, walsh, 0.0, w.multi_i, w.multi_q);
    kestra::spread_gated_qpsk(ci, cq, w.spread, 5, 0, walsh, 0.0, w.multi_i, w.multi_q);
    w.spread.spreading_length = 64;
    const std::vector<double> mute(kestra::kAckUserGains, -1.0e6);
    kestra::spread_ackch(ci, cq, w.spread, 7, walsh, 0.0, mute.data(), w.multi_i, w.multi_q);
    EXPECT_EQ(ci, ci0);
    EXPECT_EQ(cq, cq0);
}

TEST(ForwardLinkChannels, CodesTheWalshTableCannotWriteAreSilentButTakeTheirSeed) {
    const DlChannel fch = ch(kestra::kFFch, 0.0, 6, 64, 0);
    const Sums want = area().sums({pilot(), silent_seeded(), fch});
    for (const DlChannel& bad :
         {ch(kestra::kBcch, 0.0, 1, 0), ch(kestra::kFSch, 0.0, 1, 512), ch(kestra::kQpch, 0.0, 1, -4),
          ch(kestra::kPch, 0.0, 300), ch(kestra::kFAckch, 0.0, -1)}) {
        expect_sums_near(area().sums({pilot(), bad, fch}), want, 0.0);
    }
}

TEST(ForwardLinkChannels, MissingAckGainsCountAsZeroDb) {
    const std::vector<DlChannel> list = {pilot(), ch(kestra::kFAckch, -2.0, 5)};
    expect_sums_near(area().sums(list, nullptr), area().sums(list), 0.0);
}

// --- against the plain reference ---------------------------------------------------------------

TEST(ForwardLinkReference, EveryChannelTypeMatchesThePlainSum) {
    std::vector<double> user_db(kestra::kAckUserGains);
    for (int u = 0; u < kestra::kAckUserGains; ++u) {
        user_db[u] = 0.25 * (u % 7) - 1.0;
    }
    const std::vector<DlChannel> list = {
        ch(kestra::kSynch, -6.3, 32, 64),
        ch(kestra::kPch, -0.3, 1),
        pilot(),
        ch(kestra::kBcch, -4.0, 3, 32),
        ch(kestra::kQpch, -9.0, 5, 128),
        ch(kestra::kCpcch, -12.0, 7),
        ch(kestra::kFRcch, -11.0, 8),
        ch(kestra::kFGch, -8.0, 9),
        ch(kestra::kFAckch, -7.0, 10),
        ch(kestra::kCach, -5.0, 11, 16),
        ch(kestra::kFPdcch, -3.0, 12),
        ch(kestra::kFCcch, -2.0, 13, 128),
        ch(kestra::kFDcch, -1.0, 14),
        ch(kestra::kFFch, 1.0, 15, 64, 0),
        ch(kestra::kFFch, 2.0, 16, 256, 1),
        ch(kestra::kFScch, 0.5, 17),
        ch(kestra::kFSch, 3.0, 18, 4),
        ch(kestra::kFPdch, 4.0, 19, 32, 0),
        ch(kestra::kFPdch, 4.5, 20, 32, 1),
        ch(kestra::kFPdch, 5.0, 21, 32, 2),
        ch(kestra::kFPdch, 5.5, 22, 32, 3),
        ch(17, 0.0, 1),
        ch(kestra::kQpch, -1.0, 23, 2),
        ch(kestra::kBcch, 0.0, 24, 24),
    };
    expect_sums_near(area().sums(list, user_db.data()), dl_reference::channel_sums(list, user_db.data()));
}

TEST(ForwardLinkReference, MoreThan507RecordsKeepEveryChannelAlive) {
    // 807 records: the seeds cycle through 1..509, so F-ACKCH at seed 509 draws 509, 510, 511 and
    // the gated channel after it restarts at seed 1.
    std::vector<DlChannel> list(807, silent_seeded());
    list[0] = pilot();
    list[509] = ch(kestra::kFAckch, -3.0, 3);   // 509th seeded record
    list[510] = ch(kestra::kFRcch, -6.0, 4);    // 510th: seed 1, gate seed 2
    list[508] = ch(kestra::kCpcch, -6.0, 5);    // 508th: seed 508, gate seed 509
    list[806] = ch(kestra::kQpch, -9.0, 6, 64); // 806th: seed 297
    const Sums s = area().sums(list);
    expect_sums_near(s, dl_reference::channel_sums(list, kZeroDb.data()));
    const double want = 1.0 + std::pow(10.0, -0.3) + 2 * std::pow(10.0, -0.6) + std::pow(10.0, -0.9);
    EXPECT_NEAR(mean_power(s), want, 1e-12);
}

// --- test models --------------------------------------------------------------------------------

TEST(ForwardLinkTestModels, CodesAreMutuallyOrthogonal) {
    for (const TestModel& model : all_test_models()) {
        const Sums full = area().sums(model.channels);
        for (size_t j = 0; j < model.channels.size(); ++j) {
            // Silence channel j without moving anyone's seed; nothing else may leak into its code.
            std::vector<DlChannel> others = model.channels;
            others[j] = others[j].type == kestra::kFPich ? ch(99, 0.0) : silent_seeded();
            const Sums rest = area().sums(others);
            const auto [len, idx] = code_of(model.channels[j]);
            EXPECT_LT(largest_despread(rest, len, idx), 1e-12) << model.channels.size() << " ch " << j;
            EXPECT_GT(largest_despread(full, len, idx), 0.1);
        }
    }
}

TEST(ForwardLinkTestModels, TotalPowerIsTheSumOfTheChannelPowers) {
    for (const TestModel& model : all_test_models()) {
        const Sums full = area().sums(model.channels);
        expect_sums_near(full, dl_reference::channel_sums(model.channels, kZeroDb.data()));
        double nominal = 0.0;
        for (const DlChannel& c : model.channels) {
            nominal += c.type == kestra::kFPich ? 1.0 : std::pow(10.0, c.power_db / 10.0);
        }
        const bool qam = model.channels.back().type == kestra::kFPdch && model.channels.back().option == 3;
        // Constant-envelope channels carry exactly their power; 16-QAM only on average.
        const double measured = mean_power(full);
        if (!qam) {
            EXPECT_NEAR(measured, nominal, 1e-12);
        }
        EXPECT_NEAR(10.0 * std::log10(measured) + model.pilot_db, 0.0, 0.02);
    }
}

// --- the export --------------------------------------------------------------------------------

struct ExportRun {
    std::unique_ptr<std::byte[]> work = std::make_unique<std::byte[]>(KESTRA_DL_WORK_BYTES);
    std::vector<IqSample> waveform, chip_copy = std::vector<IqSample>(kChips);

    int32_t run(const std::vector<DlChannel>& list, DlParams params, const double* ack_db = kZeroDb.data()) {
        params.channel_count = static_cast<int32_t>(list.size());
        waveform.assign(static_cast<size_t>(params.oversampling) * kChips, IqSample{-7.0, -7.0});
        return KESTRA_DL_Actual(waveform.data(), chip_copy.data(), work.get(), &params, list.data(), ack_db);
    }
};

DlParams params_for(int32_t ratio) {
    DlParams p{};
    p.oversampling = ratio;
    return p;
}

TEST(ForwardLinkExport, LayoutFitsTheDocumentedWorkArea) {
    const auto bytes = std::make_unique<std::byte[]>(KESTRA_DL_WORK_BYTES);
    kestra::WorkArea area(bytes.get());
    const kestra::DlWork w = kestra::take_dl_work(area);
    EXPECT_LE(area.used(), static_cast<size_t>(KESTRA_DL_WORK_BYTES));
    EXPECT_EQ(w.frame.frame.size(), 655360u);
}

TEST(ForwardLinkExport, PilotAloneCopiesThePnPair) {
    ExportRun r;
    EXPECT_EQ(r.run({ch(kestra::kFPich, -7.0)}, params_for(4)), 0);
    const auto pn_i = kestra::pn_i_table(), pn_q = kestra::pn_q_table();
    for (int k = 0; k < kChips; ++k) {
        ASSERT_EQ(r.chip_copy[k].i, pn_i[k]) << k;
        ASSERT_EQ(r.chip_copy[k].q, pn_q[k]) << k;
    }
}

TEST(ForwardLinkExport, HandsTheChannelSumToTheFrameTail) {
    const TestModel model = test_model_2(2);
    const Sums ref = dl_reference::channel_sums(model.channels, kZeroDb.data());
    const auto pn_i = kestra::pn_i_table(), pn_q = kestra::pn_q_table();

    DlParams params = params_for(8);
    params.phase_equalizer = 1;
    params.iq_inverse = 1;
    params.offset_mode = 1;
    params.freq_error_hz = 1500.0;
    ExportRun r;
    EXPECT_EQ(r.run(model.channels, params), 0);

    // Chip copy: the complex product with the PN pair, exchanged, divided by the peak component.
    std::vector<IqSample> spread(kChips);
    double peak = 0.0;
    for (int k = 0; k < kChips; ++k) {
        spread[k] = {ref.q[k] * pn_i[k] + ref.i[k] * pn_q[k], ref.i[k] * pn_i[k] - ref.q[k] * pn_q[k]};
        peak = std::max({peak, std::abs(spread[k].i), std::abs(spread[k].q)});
    }
    for (int k = 0; k < kChips; ++k) {
        ASSERT_NEAR(r.chip_copy[k].i, spread[k].i / peak, kTol) << k;
        ASSERT_NEAR(r.chip_copy[k].q, spread[k].q / peak, kTol) << k;
    }

    // Waveform: the tail run over the reference sums with the equalised forward-link filter.
    std::vector<std::byte> work(KESTRA_DL_WORK_BYTES);
    kestra::WorkArea area(work.data());
    const kestra::DlWork w = kestra::take_dl_work(area);
    kestra::FrameSettings settings;
    settings.oversampling = 8;
    settings.iq_inverse = 1;
    settings.offset_mode = 1;
    settings.freq_error_hz = 1500.0;
    std::vector<IqSample> want(8 * kChips), copy(kChips);
    kestra::run_frame_tail(ref.i.data(), ref.q.data(), pn_i.data(), pn_q.data(), settings,
                           kestra::forward_link_filter(1), w.frame, want.data(), copy.data());
    for (size_t k = 0; k < want.size(); ++k) {
        ASSERT_NEAR(r.waveform[k].i, want[k].i, kTol) << k;
        ASSERT_NEAR(r.waveform[k].q, want[k].q, kTol) << k;
    }
}

TEST(ForwardLinkExport, HighestRatioFitsTheWorkAreaAndKeepsTheChipCopy) {
    const TestModel model = test_model_1(6);
    ExportRun low, high;
    EXPECT_EQ(low.run(model.channels, params_for(4)), 0);
    EXPECT_EQ(high.run(model.channels, params_for(80)), 0);
    for (int k = 0; k < kChips; ++k) {
        ASSERT_EQ(high.chip_copy[k].i, low.chip_copy[k].i);
        ASSERT_EQ(high.chip_copy[k].q, low.chip_copy[k].q);
    }
    double energy = 0.0;
    for (const IqSample& s : high.waveform) {
        ASSERT_TRUE(std::isfinite(s.i) && std::isfinite(s.q));
        energy += s.i * s.i + s.q * s.q;
    }
    EXPECT_GT(energy, 0.0);
}

TEST(ForwardLinkExport, NoRecordsGiveASilentFrameAndMistakesAreRefused) {
    ExportRun r;
    // No records: a silent frame. A negative count or null pointers: refused, nothing written.
    EXPECT_EQ(r.run({}, params_for(4)), KESTRA_OK);
    for (int k = 0; k < kChips; ++k) {
        ASSERT_EQ(r.chip_copy[k].i, 0.0);
        ASSERT_EQ(r.chip_copy[k].q, 0.0);
    }
    DlParams p = params_for(4);
    p.channel_count = -3;
    const DlChannel one = pilot();
    EXPECT_EQ(KESTRA_DL_Actual(r.waveform.data(), r.chip_copy.data(), r.work.get(), &p, &one, nullptr),
              KESTRA_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(KESTRA_DL_Actual(r.waveform.data(), r.chip_copy.data(), r.work.get(), nullptr, &one, nullptr),
              KESTRA_ERROR_NULL_POINTER);
}

} // namespace
