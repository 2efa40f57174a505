// One row of the forward-link channel table: the fields of one channel instance. Rows are created once at
// start-up, one per reserved place of every type, and never destroyed; a row is shown while its type is on
// and its instance is below the type's multiplicity. The texts of the fields are the stored values.
#pragma once

#include "downlink/dl_channel_types.h"
#include "form/choice_list.h"
#include "form/element.h"
#include "form/signal.h"
#include "form/text_field.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace varnika {

struct WalshCode {
    std::int32_t length = 0;
    std::int32_t number = 0;
    friend bool operator==(const WalshCode&, const WalshCode&) = default;
};

// The whole part of a field's number, kept within the 32-bit range.
std::int32_t whole_number(double value);
// The whole number a text starts with (0 when none), as a row's Walsh number or length is read.
std::int32_t whole_number(std::string_view text);

// Texts of a row's fields and marks.
inline constexpr const char* warning_mark_text = "Conflict";

class DlRow {
public:
    // Creates the fields of row `row` of type `type` with the type's initial texts and choices, all
    // hidden; the editable fields are enabled (F-FCH's length choice starts locked by its BPSK).
    DlRow(int row, int type);
    DlRow(const DlRow&) = delete;
    DlRow& operator=(const DlRow&) = delete;

    int row() const { return row_; }
    int type() const { return type_; }
    const DlTypeInfo& info() const { return dl_type_info(type_); }

    form::Label DL_CH_INDEX_Text; // read-only: the display number
    form::Label DL_CH_TYPE_Label;
    // Exactly one of each pair exists, as the type's table says.
    std::optional<form::TextField> DL_CH_WLEN_Text; // fixed length, not editable
    std::optional<form::ChoiceList> DL_CH_WLEN_Combo;
    std::optional<form::TextField> DL_CH_WNO_Text;    // with DL_CH_WNO_UpDown where editable
    std::optional<form::ChoiceList> DL_CH_WNO_Combo;  // QPCH
    form::TextField DL_CH_POWER_Text;                 // with DL_CH_POWER_UpDown
    std::optional<form::TextField> DL_CH_MOD_Text;    // fixed modulation, not editable
    std::optional<form::ChoiceList> DL_CH_MOD_Combo;  // F-FCH, F-PDCH
    std::optional<form::TextField> DL_CH_POWER2_Text; // F-ACKCH, with DL_CH_POWER2_UpDown
    form::Label DL_CH_WARN_Label;                     // the Walsh-conflict mark

    // The Walsh code last committed for the row; the conflict check uses it to find the marks that a
    // change of this row made stale.
    WalshCode committed;
    // Vertical offset of the row on the scrolled surface, in window units (set by the layout).
    std::int32_t top = 0;

    // The Walsh length shown in the row.
    std::int32_t length() const;
    // The Walsh number shown in the row (QPCH: the chosen number).
    std::int32_t number() const;
    // The code the conflict check tests: F-PICH (256, 0), SYNCH (64, 32), every other type the length
    // and number shown. Kept up to date as the fields change, since the check reads it for every pair of
    // shown rows.
    WalshCode code() const { return code_; }

    // Shown: the row's index field is shown.
    bool shown() const { return DL_CH_INDEX_Text.visible(); }
    bool marked() const { return DL_CH_WARN_Label.visible(); }
    // The pilot is never marked: a forward-link waveform without its pilot is of no use to any receiver,
    // so a clash with the pilot's code leaves out the other row alone, whatever marked it (a test, a
    // settings file's mark).
    void set_marked(bool marked) { DL_CH_WARN_Label.set_visible(marked && type_ != F_PICH); }
    // Shows or hides every field of the row except the warning mark.
    void set_fields_visible(bool visible);

    // Writes a Walsh number into the row as the program does (defaults, test models, a settings file):
    // not committed, but remembered as the row's code, since that is the code the row now shows and
    // takes part in the conflict check with.
    void write_walsh_number(std::string text);

private:
    WalshCode shown_code() const;

    int row_;
    int type_;
    WalshCode code_;
    std::array<form::Connection, 2> code_watch_;
};

} // namespace varnika
