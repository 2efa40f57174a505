#include "downlink/dl_channel_types.h"

namespace varnika {

namespace {

using Kind = WalshNumberKind;

const std::array<DlTypeInfo, dl_type_count>& type_infos() {
    static const std::array<DlTypeInfo, dl_type_count> infos{{
        {"F-PICH", "PICH", 1, {"256"}, Kind::Fixed, {"0"}, {"BPSK"}, 0},
        {"SYNCH", "SYNCH", 1, {"64"}, Kind::Fixed, {"32"}, {"BPSK"}, 32},
        {"PCH", "PCH", 7, {"64"}, Kind::Typed, {"1"}, {"BPSK"}, 7},
        {"BCCH", "BCCH", 8, {"32", "64"}, Kind::Typed, {"1"}, {"QPSK"}, 31},
        {"QPCH", "QPCH", 3, {"128"}, Kind::Choice, {"48", "80", "112"}, {"TYPE1"}, 112},
        {"CPCCH", "CPCCH", 128, {"128"}, Kind::Typed, {"1"}, {"TYPE2"}, 127},
        {"F-RCCH", "RCCH", 128, {"128"}, Kind::Typed, {"1"}, {"TYPE2"}, 127},
        {"F-GCH", "GCH", 128, {"256"}, Kind::Typed, {"1"}, {"QPSK"}, 127},
        {"F-ACKCH", "ACKCH", 1, {"64"}, Kind::Typed, {"1"}, {"TYPE3"}, 63, true},
        {"CACH", "CACH", 7, {"64", "128"}, Kind::Typed, {"1"}, {"QPSK"}, 63},
        {"F-PDCCH", "PDCCH", 2, {"64"}, Kind::Typed, {"1"}, {"QPSK"}, 63},
        {"F-CCCH", "CCCH", 7, {"16", "32", "64", "128"}, Kind::Typed, {"1"}, {"QPSK"}, 15},
        {"F-DCCH", "DCCH", 64, {"64"}, Kind::Typed, {"1"}, {"QPSK"}, 63},
        {"F-FCH", "FCH", 128, {"64", "128"}, Kind::Typed, {"1"}, {"BPSK", "QPSK"}, 63},
        {"F-SCCH", "SCCH", 64, {"64"}, Kind::Typed, {"1"}, {"BPSK"}, 63},
        {"F-SCH", "SCH", 128, {"4", "8", "16", "32", "64", "128"}, Kind::Typed, {"1"}, {"QPSK"}, 3},
        {"F-PDCH", "PDCH", 2, {"32"}, Kind::Typed, {"1"}, {"QPSK", "8PSK", "16QAM"}, 31},
    }};
    return infos;
}

} // namespace

const DlTypeInfo& dl_type_info(int type) {
    return type_infos().at(static_cast<std::size_t>(type));
}

DlTypeTable initial_type_table() {
    DlTypeTable table{};
    std::int32_t first_row = 0;
    for (int type = 0; type < dl_type_count; ++type) {
        const DlTypeInfo& info = dl_type_info(type);
        DlTypeEntry& entry = table[static_cast<std::size_t>(type)];
        entry.first_row = first_row;
        entry.capacity = info.capacity;
        entry.max_walsh_number = info.initial_max_walsh_number;
        first_row += info.capacity;
    }
    return table;
}

} // namespace varnika
