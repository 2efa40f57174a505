#include "reverse_link.h"

#include "frame_tail.h"
#include "pn_tables.h"
#include "reverse_link_reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace {

using namespace kestra;
using rlref::Branch;
using rlref::Channel;
using rlref::kChips;

// Work-area bytes a layout occupies, measured once on an area as large as the program's.
template <class Work> size_t layout_bytes() {
    static const size_t bytes = [] {
        std::vector<std::byte> big(KESTRA_WORK_BYTES);
        return Work(big.data()).bytes;
    }();
    return bytes;
}

// A work area of exactly the layout's size, so the sanitizer build catches any write past it.
template <class Work> std::unique_ptr<std::byte[]> exact_work_area() {
    return std::make_unique_for_overwrite<std::byte[]>(layout_bytes<Work>());
}

Rc34Params rc34_off(int32_t ratio = 4) {
    Rc34Params p{};
    p.sch1_repetition = 1;
    p.sch2_repetition = 1;
    p.oversampling = ratio;
    return p;
}

Rc34Params rc34_all_on() {
    Rc34Params p = rc34_off();
    p.dcch_on = p.sch2_on = p.fch_on = p.sch1_on = 1;
    p.dcch_gain_db = -2.0;
    p.sch2_gain_db = 1.5;
    p.fch_gain_db = -4.0;
    p.sch1_gain_db = 3.0;
    return p;
}

Rc7Params rc7_off(int32_t ratio = 4) {
    Rc7Params p{};
    p.sch1_repetition = 1;
    p.sch2_repetition = 1;
    p.oversampling = ratio;
    return p;
}

Rc7Params rc7_all_on(int32_t ratio = 4) {
    Rc7Params p = rc7_off(ratio);
    p.spich_on = p.each_on = p.pdcch_on = p.reqch_on = p.dcch_on = p.ackch_on = 1;
    p.cqich_on = p.fch_on = p.sch1_on = p.sch2_on = p.pdch_on = 1;
    p.spich_gain_db = -3.0;
    p.each_gain_db = -6.0;
    p.pdcch_gain_db = -9.0;
    p.reqch_gain_db = -4.0;
    p.dcch_gain_db = -2.0;
    p.ackch_gain_db = -7.0;
    p.cqich_gain_db = -5.0;
    p.fch_gain_db = -1.0;
    p.sch1_gain_db = 1.5;
    p.sch2_gain_db = 0.5;
    p.pdch_gain_db = 2.0;
    p.pdch_modulation = 2;
    return p;
}

// Every channel on at the gains of rc7_all_on, with the seeds 1, 40, 79, ... in table order.
std::vector<Channel> rc7_all_on_reference() {
    return {{Branch::i, 64, 32, 1, -3.0, 1},   {Branch::i, 16, 8, 40, -2.0, 1},
            {Branch::i, 4, 2, 79, 0.5, 1},     {Branch::q, 8, 2, 118, -6.0, 1},
            {Branch::q, 64, 48, 157, -9.0, 1}, {Branch::q, 16, 8, 196, -4.0, 1},
            {Branch::q, 64, 16, 235, -7.0, 1}, {Branch::q, 16, 4, 274, -1.0, 1},
            {Branch::q, 2, 1, 313, 1.5, 1},    {Branch::i, 16, 12, 352, -5.0, 1},
            {Branch::both, 2, 1, 391, 2.0, 3}, {Branch::both, 4, 2, 430, 2.0, 3}};
}

rlref::Sums rc34_sums(const Rc34Params& p, int32_t* sch1_symbols = nullptr) {
    auto area = exact_work_area<Rc34Work>();
    Rc34Work w(area.get());
    build_rc34_chip_sums(p, w);
    if (sch1_symbols != nullptr) {
        *sch1_symbols = w.spread[3].symbol_count;
    }
    return {{w.sum_i.begin(), w.sum_i.end()}, {w.sum_q.begin(), w.sum_q.end()}};
}

rlref::Sums rc7_sums(const Rc7Params& p) {
    auto area = exact_work_area<Rc7Work>();
    Rc7Work w(area.get());
    build_rc7_chip_sums(p, w);
    return {{w.sum_i.begin(), w.sum_i.end()}, {w.sum_q.begin(), w.sum_q.end()}};
}

// Channels are added in a fixed order with the same arithmetic, so the sums agree exactly.
void expect_sums(const rlref::Sums& actual, const std::vector<Channel>& channels) {
    const auto expected = rlref::sums(channels);
    for (size_t k = 0; k < kChips; ++k) {
        ASSERT_EQ(actual.i[k], expected.i[k]) << "I chip " << k;
        ASSERT_EQ(actual.q[k], expected.q[k]) << "Q chip " << k;
    }
}

// Correlation of one symbol period of a branch with a Walsh cover, per chip.
double despread(const std::vector<double>& sum, const std::vector<double>& cover, size_t symbol) {
    const size_t L = cover.size();
    double acc = 0.0;
    for (size_t c = 0; c < L; ++c) {
        acc += sum[symbol * L + c] * cover[c];
    }
    return acc / static_cast<double>(L);
}

// Despreading each branch with a channel's cover gives back that channel's symbols and power,
// untouched by the pilot and every other channel; the listed free covers hear nothing at all.
void expect_orthogonal(const rlref::Sums& sums, const std::vector<Channel>& channels,
                       const std::vector<std::pair<Branch, std::pair<int, int>>>& free_covers) {
    constexpr double kRounding = 1e-12; // sums of a few dozen terms of order 1
    for (const auto& ch : channels) {
        SCOPED_TRACE(testing::Message() << "W" << ch.length << "(" << ch.index << ") seed " << ch.seed);
        const auto cover = rlref::walsh(ch.length, ch.index);
        const auto symbols = rlref::scaled_symbols(ch);
        double power = 0.0;
        for (size_t k = 0; k < symbols.size(); ++k) {
            const double on_i = despread(sums.i, cover, k);
            const double on_q = despread(sums.q, cover, k);
            switch (ch.branch) {
            case Branch::i:
                ASSERT_NEAR(on_i, symbols[k].i, kRounding) << k;
                power += on_i * on_i;
                break;
            case Branch::q:
                ASSERT_NEAR(on_q, symbols[k].i, kRounding) << k;
                power += on_q * on_q;
                break;
            case Branch::both:
                ASSERT_NEAR(on_i, symbols[k].i, kRounding) << k;
                ASSERT_NEAR(on_q, symbols[k].q, kRounding) << k;
                power += on_i * on_i + on_q * on_q;
                break;
            }
        }
        EXPECT_NEAR(power / static_cast<double>(symbols.size()), std::pow(10.0, ch.gain_db / 10.0), 1e-9);
    }
    // The pilot: 1.0 on I under the all-ones cover.
    const auto ones = rlref::walsh(64, 0);
    for (size_t k = 0; k < kChips / 64; ++k) {
        ASSERT_NEAR(despread(sums.i, ones, k), 1.0, kRounding) << k;
    }
    for (const auto& [branch, code] : free_covers) {
        const auto cover = rlref::walsh(code.first, code.second);
        const auto& sum = branch == Branch::i ? sums.i : sums.q;
        for (size_t k = 0; k < kChips / cover.size(); ++k) {
            ASSERT_NEAR(despread(sum, cover, k), 0.0, kRounding)
                << "free W" << code.first << "(" << code.second << ") symbol " << k;
        }
    }
}

TEST(ReverseLinkWorkArea, LayoutsStayUnderThirteenMebibytes) {
    // Overlapping buffers would show in the exact comparisons below; every run uses an area of
    // exactly the layout's size, so the sanitizer build catches writes past it.
    EXPECT_LT(layout_bytes<Rc34Work>(), size_t{13} << 20);
    EXPECT_LT(layout_bytes<Rc7Work>(), size_t{13} << 20);
    EXPECT_GT(layout_bytes<Rc7Work>(), static_cast<size_t>(kFrameBufferSamples) * sizeof(IqSample));
}

TEST(Rc7ChipSums, EveryChannelOnFollowsTheSeedCounter) {
    expect_sums(rc7_sums(rc7_all_on()), rc7_all_on_reference());
}

TEST(Rc7ChipSums, ChannelsThatAreOffDoNotAdvanceTheCounter) {
    Rc7Params p = rc7_off();
    p.dcch_on = p.fch_on = 1;
    p.dcch_gain_db = 1.0;
    p.fch_gain_db = -1.0;
    expect_sums(rc7_sums(p), {{Branch::i, 16, 8, 40, 1.0, 1}, {Branch::q, 16, 4, 79, -1.0, 1}});

    // With SPICH on it keeps the first seed and the counter moves on from there.
    p.spich_on = 1;
    expect_sums(
        rc7_sums(p),
        {{Branch::i, 64, 32, 1, 0.0, 1}, {Branch::i, 16, 8, 40, 1.0, 1}, {Branch::q, 16, 4, 79, -1.0, 1}});
}

TEST(Rc7ChipSums, PdchFormsFollowModulationAndWalshSelect) {
    struct Case {
        int32_t modulation;
        int32_t select;
        std::vector<Channel> streams;
    };
    const double g = -1.5;
    const std::vector<Channel> bpsk{{Branch::i, 4, 2, 40, g, 1}};
    const std::vector<Channel> qpsk_two{{Branch::both, 2, 1, 40, g, 2}, {Branch::both, 4, 2, 79, g, 2}};
    const std::vector<Channel> psk8{{Branch::both, 2, 1, 40, g, 3}, {Branch::both, 4, 2, 79, g, 3}};
    const std::vector<Case> cases{
        {0, 0, bpsk},
        {0, 1, bpsk},
        {0, 2, bpsk}, // BPSK ignores the Walsh select
        {1, 0, {{Branch::both, 2, 1, 40, g, 2}}},
        {1, 1, {{Branch::both, 4, 2, 40, g, 2}}},
        {1, 2, qpsk_two},
        {1, -3, qpsk_two},
        {2, 0, psk8},
        {2, 1, psk8},
        {7, 2, psk8},
        {-1, 0, psk8}, // 8-PSK always has two streams
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "modulation " << c.modulation << ", select " << c.select);
        Rc7Params p = rc7_off();
        p.pdch_on = 1;
        p.pdch_gain_db = g;
        p.pdch_modulation = c.modulation;
        p.pdch_walsh_select = c.select;
        const auto sums = rc7_sums(p);
        expect_sums(sums, c.streams);
        if (c.modulation == 0) {
            EXPECT_TRUE(std::all_of(sums.q.begin(), sums.q.end(), [](double v) { return v == 0.0; }));
        }
    }
}

TEST(Rc7ChipSums, CqichMovesBranchWithTheSameData) {
    Rc7Params p = rc7_off();
    p.cqich_on = 1;
    p.cqich_gain_db = -2.5;
    const auto on_i = rc7_sums(p);
    expect_sums(on_i, {{Branch::i, 16, 12, 40, -2.5, 1}});
    p.cqich_on_q = 1;
    const auto on_q = rc7_sums(p);
    expect_sums(on_q, {{Branch::q, 16, 12, 40, -2.5, 1}});
    for (size_t k = 0; k < kChips; ++k) {
        ASSERT_EQ(on_q.i[k], 1.0);
        ASSERT_NEAR(on_q.q[k], on_i.i[k] - 1.0, 1e-15);
    }
}

TEST(Rc34ChipSums, SeedsAreFixedPerChannelWhateverElseIsOn) {
    const Rc34Params all = rc34_all_on();
    expect_sums(rc34_sums(all), {{Branch::i, 16, 8, 1, -2.0, 1},
                                 {Branch::i, 4, 2, 2, 1.5, 1},
                                 {Branch::q, 16, 4, 3, -4.0, 1},
                                 {Branch::q, 2, 1, 4, 3.0, 1}});
    Rc34Params only_sch1 = all;
    only_sch1.dcch_on = only_sch1.sch2_on = only_sch1.fch_on = 0;
    expect_sums(rc34_sums(only_sch1), {{Branch::q, 2, 1, 4, 3.0, 1}});
}

TEST(Rc34ChipSums, FchAloneAtZeroDbMatchesThePilotPower) {
    Rc34Params p = rc34_off();
    p.fch_on = 1;
    const auto sums = rc34_sums(p);
    const auto cover = rlref::walsh(16, 4);
    double power_q = 0.0;
    for (size_t k = 0; k < kChips; ++k) {
        ASSERT_EQ(sums.i[k], 1.0);
        // One symbol value times the cover over each 16-chip run.
        ASSERT_EQ(sums.q[k] * cover[k % 16], sums.q[k - k % 16]) << k;
        ASSERT_EQ(std::abs(sums.q[k]), 1.0);
        power_q += sums.q[k] * sums.q[k];
    }
    EXPECT_EQ(power_q, static_cast<double>(kChips));
}

TEST(Rc34ChipSums, RepetitionLengthensTheWalshCover) {
    Rc34Params p = rc34_off();
    p.sch1_on = 1;
    p.sch1_repetition = 8; // W16(1): +1, -1 repeated, 2048 symbols
    int32_t symbols = 0;
    expect_sums(rc34_sums(p, &symbols), {{Branch::q, 16, 1, 4, 0.0, 1}});
    EXPECT_EQ(symbols, 2048);

    p = rc34_all_on();
    p.sch2_walsh_alt = 1;
    p.sch2_repetition = 32; // W256(6), the longest cover
    p.sch1_walsh_alt = 1;
    p.sch1_repetition = 4; // W16(2)
    expect_sums(rc34_sums(p), {{Branch::i, 16, 8, 1, -2.0, 1},
                               {Branch::i, 256, 6, 2, 1.5, 1},
                               {Branch::q, 16, 4, 3, -4.0, 1},
                               {Branch::q, 16, 2, 4, 3.0, 1}});
}

TEST(ReverseLinkChipSums, RepetitionsBeyondTheWalshTableAddNothing) {
    Rc34Params p = rc34_off();
    p.sch2_on = p.sch1_on = 1;
    p.sch2_walsh_alt = 1;
    p.sch2_repetition = 64; // would need W512(6)
    p.sch1_repetition = 0;
    expect_sums(rc34_sums(p), {});

    // An RC7 channel that adds nothing still takes its seed, so the channels after it keep theirs.
    Rc7Params q = rc7_off();
    q.sch2_on = q.fch_on = 1;
    q.sch2_repetition = -4;
    expect_sums(rc7_sums(q), {{Branch::q, 16, 4, 79, 0.0, 1}});
}

TEST(ReverseLinkOrthogonality, DespreadingRecoversEachChannelAndNothingElse) {
    {
        SCOPED_TRACE("RC7 with the two-stream 8-PSK PDCH");
        Rc7Params p = rc7_all_on();
        p.sch2_on = p.each_on = p.sch1_on = 0; // their covers are not orthogonal to the PDCH's
        expect_orthogonal(rc7_sums(p),
                          {{Branch::i, 64, 32, 1, -3.0, 1},
                           {Branch::i, 16, 8, 40, -2.0, 1},
                           {Branch::q, 64, 48, 79, -9.0, 1},
                           {Branch::q, 16, 8, 118, -4.0, 1},
                           {Branch::q, 64, 16, 157, -7.0, 1},
                           {Branch::q, 16, 4, 196, -1.0, 1},
                           {Branch::i, 16, 12, 235, -5.0, 1},
                           {Branch::both, 2, 1, 274, 2.0, 3},
                           {Branch::both, 4, 2, 313, 2.0, 3}},
                          {{Branch::i, {16, 4}}, {Branch::q, {16, 12}}});
    }
    {
        SCOPED_TRACE("RC7 without PDCH, CQICH on Q, repeated supplemental channels");
        Rc7Params p = rc7_all_on();
        p.pdch_on = 0;
        p.cqich_on_q = 1;
        p.sch1_repetition = 4; // W8(1)
        p.sch2_repetition = 2; // W8(2)
        expect_orthogonal(rc7_sums(p),
                          {{Branch::i, 64, 32, 1, -3.0, 1},
                           {Branch::i, 16, 8, 40, -2.0, 1},
                           {Branch::i, 8, 2, 79, 0.5, 1},
                           {Branch::q, 8, 2, 118, -6.0, 1},
                           {Branch::q, 64, 48, 157, -9.0, 1},
                           {Branch::q, 16, 8, 196, -4.0, 1},
                           {Branch::q, 64, 16, 235, -7.0, 1},
                           {Branch::q, 16, 4, 274, -1.0, 1},
                           {Branch::q, 8, 1, 313, 1.5, 1},
                           {Branch::q, 16, 12, 352, -5.0, 1}},
                          {{Branch::i, {16, 4}}, {Branch::q, {32, 3}}});
    }
    {
        SCOPED_TRACE("RC3/RC4, alternative covers with repetition");
        Rc34Params p = rc34_all_on();
        p.sch2_walsh_alt = p.sch1_walsh_alt = 1;
        p.sch2_repetition = 4; // W32(6)
        p.sch1_repetition = 2; // W8(2)
        expect_orthogonal(rc34_sums(p),
                          {{Branch::i, 16, 8, 1, -2.0, 1},
                           {Branch::i, 32, 6, 2, 1.5, 1},
                           {Branch::q, 16, 4, 3, -4.0, 1},
                           {Branch::q, 8, 2, 4, 3.0, 1}},
                          {{Branch::i, {16, 1}}, {Branch::q, {16, 8}}});
    }
}

struct ExportRun {
    std::vector<IqSample> waveform;
    std::vector<IqSample> chip_copy;
    int32_t result = -99;
};

template <class Work, class Params, class Export> ExportRun run_export(const Params& p, Export call) {
    ExportRun r;
    r.waveform.resize(kChips * static_cast<size_t>(p.oversampling));
    r.chip_copy.resize(kChips);
    auto area = exact_work_area<Work>();
    r.result = call(r.waveform.data(), r.chip_copy.data(), area.get(), &p);
    return r;
}

ExportRun run(const Rc34Params& p) {
    return run_export<Rc34Work>(p, KESTRA_UL_Actual_RC34);
}
ExportRun run(const Rc7Params& p) {
    return run_export<Rc7Work>(p, KESTRA_UL_Actual_RC7);
}

void expect_chip_copy(const ExportRun& r, const rlref::Sums& sums, bool iq_inverse) {
    const auto expected = rlref::chip_copy(sums, iq_inverse);
    for (size_t k = 0; k < kChips; ++k) {
        ASSERT_NEAR(r.chip_copy[k].i, expected[k].i, 1e-15) << k;
        ASSERT_NEAR(r.chip_copy[k].q, expected[k].q, 1e-15) << k;
    }
}

// The waveform the frame tail makes from the reference sums with the given settings.
std::vector<IqSample> tail_of(const rlref::Sums& sums, const FrameSettings& settings) {
    std::vector<std::byte> scratch(20u << 20);
    WorkArea area(scratch.data());
    const FrameBuffers buffers = take_frame_buffers(area);
    std::vector<IqSample> waveform(kChips * static_cast<size_t>(settings.oversampling));
    std::vector<IqSample> copy(kChips);
    run_frame_tail(sums.i.data(), sums.q.data(), reverse_pn_i_table().data(), reverse_pn_q_table().data(),
                   settings, reverse_link_filter(), buffers, waveform.data(), copy.data());
    return waveform;
}

void expect_waveform(const ExportRun& r, const std::vector<IqSample>& expected) {
    ASSERT_EQ(r.waveform.size(), expected.size());
    for (size_t k = 0; k < expected.size(); ++k) {
        ASSERT_NEAR(r.waveform[k].i, expected[k].i, 1e-13) << k;
        ASSERT_NEAR(r.waveform[k].q, expected[k].q, 1e-13) << k;
    }
}

TEST(ReverseLinkExports, AllChannelsOffGiveExactlyTheReversePnPair) {
    const auto ri = reverse_pn_i_table();
    const auto rq = reverse_pn_q_table();
    for (const auto& r : {run(rc34_off()), run(rc7_off())}) {
        EXPECT_EQ(r.result, 0);
        for (size_t k = 0; k < kChips; ++k) {
            ASSERT_EQ(r.chip_copy[k].i, ri[k]) << k;
            ASSERT_EQ(r.chip_copy[k].q, rq[k]) << k;
        }
        EXPECT_TRUE(std::any_of(r.waveform.begin(), r.waveform.end(), [](IqSample s) { return s.i != 0.0; }));
    }
}

TEST(ReverseLinkExports, ChipCopyIsTheSpreadReferenceSumWithInversion) {
    Rc7Params p7 = rc7_all_on();
    p7.iq_inverse = 1;
    const auto r7 = run(p7);
    EXPECT_EQ(r7.result, 0);
    expect_chip_copy(r7, rlref::sums(rc7_all_on_reference()), true);

    Rc34Params p34 = rc34_all_on();
    p34.sch2_walsh_alt = 1;
    p34.sch2_repetition = 4;
    const auto r34 = run(p34);
    EXPECT_EQ(r34.result, 0);
    expect_chip_copy(r34,
                     rlref::sums({{Branch::i, 16, 8, 1, -2.0, 1},
                                  {Branch::i, 32, 6, 2, 1.5, 1},
                                  {Branch::q, 16, 4, 3, -4.0, 1},
                                  {Branch::q, 2, 1, 4, 3.0, 1}}),
                     false);
}

TEST(ReverseLinkExports, WaveformIsTheFrameTailWithTheRecordsSettings) {
    // RC3/RC4 at ratio 8 with IF conversion: the frequency-error field must not be used.
    Rc34Params p34 = rc34_all_on();
    p34.oversampling = 8;
    p34.offset_mode = 2;
    p34.freq_error_hz = 1.0e5;
    p34.if_freq_hz = 3.0e5;
    const auto r34 = run(p34);
    expect_waveform(r34, tail_of(rlref::sums({{Branch::i, 16, 8, 1, -2.0, 1},
                                              {Branch::i, 4, 2, 2, 1.5, 1},
                                              {Branch::q, 16, 4, 3, -4.0, 1},
                                              {Branch::q, 2, 1, 4, 3.0, 1}}),
                                 {8, 0, 2, 1.0e5, 3.0e5}));

    // RC7 at ratio 32 (two interpolation stages through the whole frame buffer), inverted, with a
    // frequency error.
    Rc7Params p7 = rc7_all_on(32);
    p7.iq_inverse = 1;
    p7.offset_mode = 1;
    p7.freq_error_hz = -2.5e4;
    p7.if_freq_hz = 6.0e5;
    const auto r7 = run(p7);
    expect_waveform(r7, tail_of(rlref::sums(rc7_all_on_reference()), {32, 1, 1, -2.5e4, 6.0e5}));
}

TEST(ReverseLinkExports, MissingBuffersOrParametersAreRefusedWithNothingWritten) {
    std::vector<IqSample> waveform(4 * kChips, IqSample{7.0, 7.0});
    std::vector<IqSample> copy(kChips, IqSample{7.0, 7.0});
    auto area = exact_work_area<Rc7Work>();
    const Rc7Params p7 = rc7_all_on();
    const Rc34Params p34 = rc34_all_on();
    EXPECT_EQ(KESTRA_UL_Actual_RC7(waveform.data(), copy.data(), area.get(), nullptr),
              KESTRA_ERROR_NULL_POINTER);
    EXPECT_EQ(KESTRA_UL_Actual_RC7(waveform.data(), copy.data(), nullptr, &p7), KESTRA_ERROR_NULL_POINTER);
    EXPECT_EQ(KESTRA_UL_Actual_RC34(nullptr, copy.data(), area.get(), &p34), KESTRA_ERROR_NULL_POINTER);
    EXPECT_EQ(KESTRA_UL_Actual_RC34(waveform.data(), nullptr, area.get(), &p34), KESTRA_ERROR_NULL_POINTER);
    EXPECT_EQ(waveform.front().i, 7.0);
    EXPECT_EQ(copy.back().q, 7.0);
}

} // namespace
