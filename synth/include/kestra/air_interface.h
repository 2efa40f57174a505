// kestra's air-interface table: the cdma2000 1xEV-DV numbers that the synthesis, a program setting up its
// channels and a receiver measuring the result must agree on. The chip rate and the frame, the Walsh code
// each forward-link channel type is spread with, and the Walsh cover and branch (I or Q) of each
// reverse-link code channel of RC3/RC4 and RC7. C++20, constexpr; the C interface is kestra.h.
//
// W_L(n) is the Walsh function of length L and number n (Sylvester order): chip j is
// (-1)^popcount(n & j). A function asked for at a multiple of its natural length repeats, which is how
// the reverse link's repetition lengthens a cover: W(L r)(n) is W_L(n) sent r times over.
#ifndef KESTRA_AIR_INTERFACE_H
#define KESTRA_AIR_INTERFACE_H

#include <array>
#include <cstddef>
#include <string>

namespace kestra::air {

// Chips per second.
inline constexpr double chip_rate_hz = 1228800.0;
// Chips per frame: one period of the short PN sequences (26.667 ms). Every waveform is one frame long.
inline constexpr int frame_chips = 32768;
// The longest Walsh function the synthesis spreads with.
inline constexpr int max_walsh_length = 256;

struct WalshCode {
    int length = 0; // chips per symbol
    int number = 0;

    friend constexpr bool operator==(const WalshCode&, const WalshCode&) = default;
};

// "W16(4)", as a window shows a code.
inline std::string walsh_label(WalshCode code) {
    std::string text(1, 'W');
    text.append(std::to_string(code.length))
        .append(1, '(')
        .append(std::to_string(code.number))
        .append(1, ')');
    return text;
}

// ---- Forward link ----

// The channel types, numbered as the `type` field of a DlChannel record.
enum ForwardType : int {
    f_pich = 0,
    synch = 1,
    pch = 2,
    bcch = 3,
    qpch = 4,
    cpcch = 5,
    f_rcch = 6,
    f_gch = 7,
    f_ackch = 8,
    cach = 9,
    f_pdcch = 10,
    f_ccch = 11,
    f_dcch = 12,
    f_fch = 13,
    f_scch = 14,
    f_sch = 15,
    f_pdch = 16,
};
inline constexpr int forward_type_count = 17;

// How a type chooses its code: a length (chips per symbol) fixed by the type, or the record's walsh_length
// (length 0 here); a number fixed by the type, or the record's walsh_index (number -1 here).
struct ForwardCodeRule {
    int length = 0;
    int number = -1;
};

inline constexpr int record_length = 0;
inline constexpr int record_number = -1;

inline constexpr std::array<ForwardCodeRule, forward_type_count> forward_code_rules{{
    {max_walsh_length, 0},          // F-PICH: Walsh 0, +1 on every chip, no symbols
    {256, 32},                      // SYNCH: 256-chip symbols on W256(32), which is W64(32) four times
    {64, record_number},            // PCH
    {record_length, record_number}, // BCCH
    {record_length, record_number}, // QPCH
    {128, record_number},           // CPCCH
    {128, record_number},           // F-RCCH
    {256, record_number},           // F-GCH
    {64, record_number},            // F-ACKCH
    {record_length, record_number}, // CACH
    {64, record_number},            // F-PDCCH
    {record_length, record_number}, // F-CCCH
    {64, record_number},            // F-DCCH
    {record_length, record_number}, // F-FCH
    {64, record_number},            // F-SCCH
    {record_length, record_number}, // F-SCH
    {32, record_number},            // F-PDCH
}};

// The code a forward-link channel of `type` is spread with, given its record's length and number.
// A type outside the table takes the record's.
constexpr WalshCode forward_spreading_code(int type, int walsh_length, int walsh_index) {
    if (type < 0 || type >= forward_type_count) {
        return {walsh_length, walsh_index};
    }
    const ForwardCodeRule rule = forward_code_rules[static_cast<std::size_t>(type)];
    return {rule.length == record_length ? walsh_length : rule.length,
            rule.number == record_number ? walsh_index : rule.number};
}

// The codes the two types with a fixed number are shown and checked for clashes with: the pilot as
// W256(0), the sync channel as W64(32) (the code its 256-chip symbols repeat).
inline constexpr WalshCode pilot_shown_code{256, 0};
inline constexpr WalshCode synch_shown_code{64, 32};
// The QPCH's length, and the numbers its rows choose from.
inline constexpr int qpch_length = 128;
inline constexpr std::array<int, 3> qpch_numbers{48, 80, 112};

// ---- Reverse link (RC3/RC4 and RC7) ----

enum class Branch { i, q };

// A reverse-link code channel's place: its branch and its Walsh cover (before repetition).
struct ReverseCover {
    Branch branch = Branch::i;
    WalshCode code;
};

// The cover lengthened by a repetition factor r: W(L r)(n).
constexpr WalshCode repeated(WalshCode code, int repetition) {
    return {code.length * repetition, code.number};
}

// The pilot has no cover: +1 on every chip of I (shown as W32(0)).
inline constexpr ReverseCover reverse_pilot{Branch::i, {32, 0}};

namespace rc34 {
inline constexpr ReverseCover dcch{Branch::i, {16, 8}};
inline constexpr ReverseCover sch2{Branch::i, {4, 2}};     // the first choice
inline constexpr ReverseCover sch2_alt{Branch::i, {8, 6}}; // the alternative
inline constexpr ReverseCover fch{Branch::q, {16, 4}};
inline constexpr ReverseCover sch1{Branch::q, {2, 1}};
inline constexpr ReverseCover sch1_alt{Branch::q, {4, 2}};
} // namespace rc34

namespace rc7 {
inline constexpr ReverseCover spich{Branch::i, {64, 32}};
inline constexpr ReverseCover dcch = rc34::dcch;
inline constexpr ReverseCover sch2 = rc34::sch2;
inline constexpr ReverseCover sch2_alt = rc34::sch2_alt;
inline constexpr ReverseCover each{Branch::q, {8, 2}};
inline constexpr ReverseCover pdcch{Branch::q, {64, 48}};
inline constexpr ReverseCover reqch{Branch::q, {16, 8}};
inline constexpr ReverseCover ackch{Branch::q, {64, 16}};
inline constexpr ReverseCover fch = rc34::fch;
inline constexpr ReverseCover sch1 = rc34::sch1;
inline constexpr ReverseCover sch1_alt = rc34::sch1_alt;
// The CQICH is on I, or on Q when its record says so.
inline constexpr WalshCode cqich{16, 12};
// The packet data channel's two covers: BPSK uses the long one alone on I; QPSK and 8-PSK streams add to
// both branches, on the short cover, the long one, or both (two streams).
inline constexpr WalshCode pdch_short{2, 1};
inline constexpr WalshCode pdch_long{4, 2};
} // namespace rc7

} // namespace kestra::air

#endif
