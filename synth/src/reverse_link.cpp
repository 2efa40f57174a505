#include "reverse_link.h"

#include "kestra/air_interface.h"
#include "pn_tables.h"
#include "walsh.h"

#include <algorithm>
#include <cstdint>

namespace kestra {

namespace {

// Seeds of the RC7 channels: the first (SPICH) takes the counter's start, every later channel
// that is on advances it by this step first.
constexpr int32_t kRc7FirstSeed = 1;
constexpr int32_t kRc7SeedStep = 39;

SpreadWorkspace take_spread_workspace(WorkArea& area) {
    SpreadWorkspace ws;
    ws.bits = area.take<uint8_t>(kReverseLinkSpreadBits);
    ws.symbol_i = area.take<double>(FRAME_CHIPS);
    ws.symbol_q = area.take<double>(FRAME_CHIPS);
    ws.gains = area.take<double>(FRAME_CHIPS);
    return ws;
}

enum class Modulation { bpsk, qpsk, psk8 };

// A Walsh cover: base length and index, lengthened by the repetition factor (W(L*r, i) repeats
// W(L, i) r times, so each symbol spans r times as many chips).
struct Cover {
    int32_t length;
    int32_t index;
};

Cover cover_of(air::WalshCode code) {
    return {code.length, code.number};
}

Cover lengthened(air::WalshCode base, int32_t repetition) {
    const int64_t length = int64_t{base.length} * repetition;
    // A length the Walsh table cannot write (repetition out of range) marks the channel as empty.
    return {length >= 1 && length <= kMaxWalshLength ? static_cast<int32_t>(length) : -1, base.number};
}

// The chip sum of a channel's branch.
template <class Work> std::span<double> branch_sum(Work& work, air::Branch branch) {
    return branch == air::Branch::i ? work.sum_i : work.sum_q;
}

// Writes the cover and adds one channel; the pilot-relative gain scales the unit-energy symbols.
// BPSK goes on the one sum given; QPSK and 8-PSK on both.
void add_channel(std::span<double> walsh, SpreadWorkspace& ws, Cover cover, Modulation modulation,
                 std::span<double> sum_a, std::span<double> sum_q, int32_t seed, double gain_db) {
    if (cover.length < 1 || write_walsh_code(cover.length, cover.index, walsh) != 0) {
        return;
    }
    ws.spreading_length = cover.length;
    const std::span<const double> code = walsh.first(static_cast<size_t>(cover.length));
    switch (modulation) {
    case Modulation::bpsk:
        spread_bpsk(sum_a, ws, seed, code, gain_db);
        break;
    case Modulation::qpsk:
        spread_qpsk(sum_a, sum_q, ws, seed, code, gain_db);
        break;
    case Modulation::psk8:
        spread_8psk(sum_a, sum_q, ws, seed, code, gain_db);
        break;
    }
}

void start_with_pilot(std::span<double> sum_i, std::span<double> sum_q) {
    std::fill(sum_i.begin(), sum_i.end(), 1.0);
    std::fill(sum_q.begin(), sum_q.end(), 0.0);
}

template <class Params> FrameSettings frame_settings(const Params& p) {
    FrameSettings s;
    s.oversampling = p.oversampling;
    s.iq_inverse = p.iq_inverse;
    s.offset_mode = p.offset_mode;
    s.freq_error_hz = p.freq_error_hz;
    s.if_freq_hz = p.if_freq_hz;
    return s;
}

void run_reverse_link_tail(const double* sum_i, const double* sum_q, const FrameSettings& settings,
                           const FrameBuffers& tail, IqSample* waveform, IqSample* chip_copy) {
    run_frame_tail(sum_i, sum_q, reverse_pn_i_table().data(), reverse_pn_q_table().data(), settings,
                   reverse_link_filter(), tail, waveform, chip_copy);
}

} // namespace

Rc34Work::Rc34Work(void* work) {
    WorkArea area(work);
    walsh = area.take<double>(kMaxWalshLength);
    sum_i = area.take<double>(FRAME_CHIPS);
    sum_q = area.take<double>(FRAME_CHIPS);
    tail = take_frame_buffers(area);
    for (auto& ws : spread) {
        ws = take_spread_workspace(area);
    }
    bytes = area.used();
}

Rc7Work::Rc7Work(void* work) {
    WorkArea area(work);
    walsh = area.take<double>(kMaxWalshLength);
    sum_i = area.take<double>(FRAME_CHIPS);
    sum_q = area.take<double>(FRAME_CHIPS);
    tail = take_frame_buffers(area);
    spread = take_spread_workspace(area);
    bytes = area.used();
}

void build_rc34_chip_sums(const Rc34Params& p, Rc34Work& work) {
    start_with_pilot(work.sum_i, work.sum_q);
    // RC3/RC4 seeds are fixed per channel, whichever other channels are on.
    if (p.dcch_on != 0) {
        add_channel(work.walsh, work.spread[0], cover_of(air::rc34::dcch.code), Modulation::bpsk,
                    branch_sum(work, air::rc34::dcch.branch), {}, 1, p.dcch_gain_db);
    }
    if (p.sch2_on != 0) {
        const air::ReverseCover& sch2 = p.sch2_walsh_alt == 0 ? air::rc34::sch2 : air::rc34::sch2_alt;
        add_channel(work.walsh, work.spread[1], lengthened(sch2.code, p.sch2_repetition), Modulation::bpsk,
                    branch_sum(work, sch2.branch), {}, 2, p.sch2_gain_db);
    }
    if (p.fch_on != 0) {
        add_channel(work.walsh, work.spread[2], cover_of(air::rc34::fch.code), Modulation::bpsk,
                    branch_sum(work, air::rc34::fch.branch), {}, 3, p.fch_gain_db);
    }
    if (p.sch1_on != 0) {
        const air::ReverseCover& sch1 = p.sch1_walsh_alt == 0 ? air::rc34::sch1 : air::rc34::sch1_alt;
        add_channel(work.walsh, work.spread[3], lengthened(sch1.code, p.sch1_repetition), Modulation::bpsk,
                    branch_sum(work, sch1.branch), {}, 4, p.sch1_gain_db);
    }
}

void build_rc7_chip_sums(const Rc7Params& p, Rc7Work& work) {
    start_with_pilot(work.sum_i, work.sum_q);
    const std::span<double> sum_i = work.sum_i;
    const std::span<double> sum_q = work.sum_q;
    int32_t counter = kRc7FirstSeed;
    auto next_seed = [&counter] { return counter += kRc7SeedStep; };
    auto bpsk = [&](Cover cover, std::span<double> sum, int32_t seed, double gain_db) {
        add_channel(work.walsh, work.spread, cover, Modulation::bpsk, sum, {}, seed, gain_db);
    };
    // A channel of the table on its own branch, its cover lengthened by `repetition`.
    auto channel = [&](const air::ReverseCover& c, int32_t seed, double gain_db, int32_t repetition = 1) {
        bpsk(lengthened(c.code, repetition), branch_sum(work, c.branch), seed, gain_db);
    };

    if (p.spich_on != 0) {
        channel(air::rc7::spich, counter, p.spich_gain_db);
    }
    if (p.dcch_on != 0) {
        channel(air::rc7::dcch, next_seed(), p.dcch_gain_db);
    }
    if (p.sch2_on != 0) {
        channel(p.sch2_walsh_alt == 0 ? air::rc7::sch2 : air::rc7::sch2_alt, next_seed(), p.sch2_gain_db,
                p.sch2_repetition);
    }
    if (p.each_on != 0) {
        channel(air::rc7::each, next_seed(), p.each_gain_db);
    }
    if (p.pdcch_on != 0) {
        channel(air::rc7::pdcch, next_seed(), p.pdcch_gain_db);
    }
    if (p.reqch_on != 0) {
        channel(air::rc7::reqch, next_seed(), p.reqch_gain_db);
    }
    if (p.ackch_on != 0) {
        channel(air::rc7::ackch, next_seed(), p.ackch_gain_db);
    }
    if (p.fch_on != 0) {
        channel(air::rc7::fch, next_seed(), p.fch_gain_db);
    }
    if (p.sch1_on != 0) {
        channel(p.sch1_walsh_alt == 0 ? air::rc7::sch1 : air::rc7::sch1_alt, next_seed(), p.sch1_gain_db,
                p.sch1_repetition);
    }
    if (p.cqich_on != 0) {
        bpsk(cover_of(air::rc7::cqich), p.cqich_on_q == 0 ? sum_i : sum_q, next_seed(), p.cqich_gain_db);
    }
    if (p.pdch_on != 0) {
        const Cover kShort = cover_of(air::rc7::pdch_short);
        const Cover kLong = cover_of(air::rc7::pdch_long);
        const int32_t seed = next_seed();
        if (p.pdch_modulation == 0) {
            // BPSK has one form only: the long cover on I.
            bpsk(kLong, sum_i, seed, p.pdch_gain_db);
        } else {
            const Modulation modulation = p.pdch_modulation == 1 ? Modulation::qpsk : Modulation::psk8;
            const bool two_streams =
                modulation == Modulation::psk8 || (p.pdch_walsh_select != 0 && p.pdch_walsh_select != 1);
            const Cover first = two_streams || p.pdch_walsh_select == 0 ? kShort : kLong;
            add_channel(work.walsh, work.spread, first, modulation, sum_i, sum_q, seed, p.pdch_gain_db);
            if (two_streams) {
                add_channel(work.walsh, work.spread, kLong, modulation, sum_i, sum_q, next_seed(),
                            p.pdch_gain_db);
            }
        }
    }
}

} // namespace kestra

extern "C" KESTRA_API int32_t KESTRA_UL_Actual_RC34(IqSample* waveform, IqSample* chip_copy, void* work,
                                                    const Rc34Params* params) {
    if (waveform == nullptr || chip_copy == nullptr || work == nullptr || params == nullptr) {
        return KESTRA_ERROR_NULL_POINTER;
    }
    if (!kestra::interpolable_ratio(params->oversampling)) {
        return KESTRA_ERROR_BAD_ARGUMENT;
    }
    try {
        kestra::Rc34Work w(work);
        kestra::build_rc34_chip_sums(*params, w);
        kestra::run_reverse_link_tail(w.sum_i.data(), w.sum_q.data(), kestra::frame_settings(*params), w.tail,
                                      waveform, chip_copy);
    } catch (...) {
        // Nothing may cross the library boundary; the synthesis throws only when it cannot get memory.
        return KESTRA_ERROR_NO_MEMORY;
    }
    return KESTRA_OK;
}

extern "C" KESTRA_API int32_t KESTRA_UL_Actual_RC7(IqSample* waveform, IqSample* chip_copy, void* work,
                                                   const Rc7Params* params) {
    if (waveform == nullptr || chip_copy == nullptr || work == nullptr || params == nullptr) {
        return KESTRA_ERROR_NULL_POINTER;
    }
    if (!kestra::interpolable_ratio(params->oversampling)) {
        return KESTRA_ERROR_BAD_ARGUMENT;
    }
    try {
        kestra::Rc7Work w(work);
        kestra::build_rc7_chip_sums(*params, w);
        kestra::run_reverse_link_tail(w.sum_i.data(), w.sum_q.data(), kestra::frame_settings(*params), w.tail,
                                      waveform, chip_copy);
    } catch (...) {
        // Nothing may cross the library boundary; the synthesis throws only when it cannot get memory.
        return KESTRA_ERROR_NO_MEMORY;
    }
    return KESTRA_OK;
}
