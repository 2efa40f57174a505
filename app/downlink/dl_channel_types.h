// The seventeen forward-link channel types and how a row of each looks: its label, how many rows it
// reserves, its Walsh length (fixed or a choice), its Walsh number (fixed, typed, or QPCH's choice), its
// modulation (fixed or a choice) and the largest Walsh number it starts with. The type index is the same
// in the status area, the settings file and the `type` code of a DlChannel record.
#pragma once

#include <kestra/air_interface.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace varnika {

enum DlType : int {
    F_PICH = 0,
    SYNCH,
    PCH,
    BCCH,
    QPCH,
    CPCCH,
    F_RCCH,
    F_GCH,
    F_ACKCH,
    CACH,
    F_PDCCH,
    F_CCCH,
    F_DCCH,
    F_FCH,
    F_SCCH,
    F_SCH,
    F_PDCH,
};

inline constexpr int dl_type_count = 17;
static_assert(dl_type_count == kestra::air::forward_type_count && int{F_PICH} == int{kestra::air::f_pich} &&
                  int{SYNCH} == int{kestra::air::synch} && int{F_FCH} == int{kestra::air::f_fch} &&
                  int{F_PDCH} == int{kestra::air::f_pdch},
              "the panel numbers the types as the DlChannel records do");
inline constexpr int dl_row_count = 807;

// How a row's Walsh number is given.
enum class WalshNumberKind {
    Fixed,  // F-PICH "0", SYNCH "32": shown, never edited
    Typed,  // a number field with up/down arrows
    Choice, // QPCH: "48", "80", "112"
};

struct DlTypeInfo {
    std::string name;      // "F-PICH": the status area's caption
    std::string row_label; // "PICH": the type label of its rows
    std::int32_t capacity; // rows reserved; the largest multiplicity
    // Walsh lengths offered; a single entry is a fixed length, several a choice starting on the first.
    std::vector<std::string> lengths;
    WalshNumberKind number_kind;
    // The fixed number (F-PICH, SYNCH), the initial typed number, or QPCH's choice items.
    std::vector<std::string> numbers;
    // Modulations offered; a single entry is shown fixed, several are a choice starting on the first.
    std::vector<std::string> modulations;
    std::int32_t initial_max_walsh_number;
    bool second_power = false; // F-ACKCH rows carry a second power field

    bool has_length_choice() const { return lengths.size() > 1; }
    bool has_modulation_choice() const { return modulations.size() > 1; }
    // F-PICH, SYNCH and F-ACKCH hold a single row: their multiplicity is fixed at 1.
    bool single() const { return capacity == 1; }
};

const DlTypeInfo& dl_type_info(int type);

// One entry of DlTypeTable.
struct DlTypeEntry {
    static constexpr std::int16_t on_status = -1;
    static constexpr std::int16_t off_status = 0;

    std::int32_t first_row = 0;        // the type's first row in the row table
    std::int32_t capacity = 0;         // rows reserved for the type
    std::int32_t position = 0;         // display slot of the type's first shown row
    std::int16_t status = off_status;  // -1 on, 0 off
    std::int32_t multiplicity = 1;     // instances, 1 .. capacity
    std::int32_t max_walsh_number = 0; // largest Walsh number accepted in any of its rows

    bool on() const { return status != off_status; }
    std::int32_t last_reserved_row() const { return first_row + capacity - 1; }
};

using DlTypeTable = std::array<DlTypeEntry, dl_type_count>;

// The table as at start-up: capacities and limits of the types, rows reserved in type order, all off.
DlTypeTable initial_type_table();

} // namespace varnika
