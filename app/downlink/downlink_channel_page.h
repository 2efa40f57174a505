// The downlink page "Channel Settings (Downlink)": the "Channel Status" area (an on/off button and a
// multiplicity field per type, and "Total No"), the scrolled "Channel Parameters" list with one row per
// instance of every type that is on, the channel "Set Default" and the test models. The rules of every
// field live here; the Walsh-conflict check is in walsh_conflicts.cpp, the defaults and test models in
// channel_defaults.cpp.
#pragma once

#include "downlink/dl_channel_types.h"
#include "downlink/dl_row.h"
#include "downlink/walsh_position_table.h"
#include "form/button.h"
#include "form/choice_list.h"
#include "form/element.h"
#include "form/platform.h"
#include "form/text_field.h"
#include "settings/settings_model.h"

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace varnika {

// Layout of the scrolled surface, in window units.
inline constexpr std::int32_t dl_row_pitch = 300;
inline constexpr std::int32_t dl_row_offset = 120;
// Window units the surface moves per step of its scroll bar.
inline constexpr double dl_scroll_units_per_step = 7.363;

inline constexpr std::uint32_t status_on_colour = 0x00FF00; // pure green

inline const std::vector<std::string> test_model_items{
    "Test Model1  FCH 1",     "Test Model1  FCH 2",     "Test Model1  FCH 3",
    "Test Model1  FCH 4",     "Test Model1  FCH 5",     "Test Model1  FCH 6",
    "Test Model2  PDCH QPSK", "Test Model2  PDCH 8PSK", "Test Model2  PDCH 16QAM"};

// The F-FCH Walsh numbers of Test Model 1, by instance.
inline constexpr std::array<int, 6> test_model_1_fch_numbers{6, 17, 20, 41, 49, 58};

// The scroll bar beside the channel rows: its value moves the scrolled surface. Its range ends where the
// last row stands whole at the bottom of the visible part of the list, so that the end of the list is a
// full page of rows.
class VerticalScroll : public form::Element {
public:
    explicit VerticalScroll(form::ElementId id) : Element(std::move(id)) {}

    int value() const { return value_; }
    int maximum() const { return maximum_; }
    // Clamped to 0 .. maximum.
    void set_value(int value);
    // The height of the surface's content and of its visible part, in window units. Without a view the
    // visible part is one row's room, so that the last row can reach the top.
    void set_content_units(std::int32_t units);
    void set_view_units(std::int32_t units);
    // The surface's vertical offset: -(value x 7.363) window units, rounded to the nearest unit.
    std::int32_t surface_offset() const;

private:
    void update_maximum();

    int value_ = 0;
    int maximum_ = 0;
    std::int32_t content_units_ = 0;
    std::int32_t view_units_ = dl_row_offset + dl_row_pitch;
};

// The controls of one type in "Channel Status".
struct DlTypeStatus {
    explicit DlTypeStatus(int type);

    form::Label DL_CH_Stat_Label;     // the type's name
    form::Button DL_CH_Stat_Command;  // "ON" / "OFF"
    form::TextField DL_CH_Multi_Text; // with DL_CH_Multi_UpDown, except the single-row types
};

class DownlinkChannelPage {
public:
    // `platform`: for the program's base-10 logarithm (test model powers).
    DownlinkChannelPage(SettingsModel& model, const WalshPositionTable& positions, form::Platform& platform);
    DownlinkChannelPage(const DownlinkChannelPage&) = delete;
    DownlinkChannelPage& operator=(const DownlinkChannelPage&) = delete;

    // "Channel Status"
    form::Frame status_frame{"DL_CH_Status_Frame", "Channel Status"};
    DlTypeStatus& type_status(int type) { return status_.at(static_cast<std::size_t>(type)); }
    form::Button& DL_CH_Stat_Command(int type) { return type_status(type).DL_CH_Stat_Command; }
    form::TextField& DL_CH_Multi_Text(int type) { return type_status(type).DL_CH_Multi_Text; }
    form::Label total_caption{"DL_CH_Total_Multi_Label", "Total No"};
    form::Label DL_CH_Total_Multi_Text{"DL_CH_Total_Multi_Text", "0"};

    // "Channel Parameters"
    form::Frame parameters_frame{"DL_CH_Parameters_Frame", "Channel Parameters"};
    // "No", "Type", "WLen", "WNo", "Power[dB]", "Mod", "Power2[dB]", "Conflict"
    std::deque<form::Label> headings;
    VerticalScroll DL_Channel_Parameters_VScroll{"DL_Channel_Parameters_VScroll"};

    form::Button DL_CH_Default_Button{"DL_CH_Default_Button", "Set Default"};
    form::Frame test_model_frame{"DL_CH_TestModel_Frame", "Test Model"};
    form::ChoiceList DL_CH_TestModel_Combo{"DL_CH_TestModel_Combo", test_model_items};
    form::Button DL_CH_TestModel_Command{"DL_CH_TestModel_Command", "Set"};

    // Panel flags: a Walsh-length change is being applied; a test model is being applied.
    bool wlen_change_flag = false;
    bool test_model_flag = false;

    // Start-up: the type table as initialised and all 807 rows created, hidden. Until then the page
    // has no rows and its buttons do nothing.
    void build_table();
    bool built() const { return rows_.size() == static_cast<std::size_t>(dl_row_count); }

    DlRow& row(int r) { return rows_.at(static_cast<std::size_t>(r)); }
    const DlRow& row(int r) const { return rows_.at(static_cast<std::size_t>(r)); }
    // Instance k (0-based) of `type`.
    DlRow& instance(int type, int k) { return row(type_entry(type).first_row + k); }
    const DlTypeEntry& type_entry(int type) const { return types_.at(static_cast<std::size_t>(type)); }
    // The first type whose reserved rows reach `r`; 0 if none.
    int type_of_row(int r) const;

    // Display slots and layout.
    void shift_positions(int type, int delta);
    void layout_rows(int type);
    void show_rows(int type, int first, int last);
    void hide_rows(int type, int first, int last);
    // "Total No": the channels a generation will include. Not while settings are being loaded.
    void update_total_count();
    // The number of display slots in use: the multiplicities of the types that are on.
    int slot_count() const;
    // The row shown at display slot `slot`; -1 for none.
    int row_at_slot(int slot) const;
    // Calls f(row index) for every instance row of every type that is on, in type and instance order.
    template <class F> void for_each_instance_row(F&& f) const;

    // Walsh-code conflicts (walsh_conflicts.cpp). check_row_code marks every other shown row whose code
    // clashes with `code` and says whether there was one; clear_stale_warnings hides the marks that only
    // the old code of `row` caused.
    bool check_row_code(WalshCode code, int row);
    void clear_stale_warnings(WalshCode old_code, int row);
    // Tests every shown row's code against every other shown row's: a row is marked exactly when it
    // clashes with one; a row that is not shown carries no mark.
    void retest_shown_codes();

    // `number` limited as row `r`'s typed Walsh number is on commit: 1 .. the type's largest number, and
    // no more than the row's own length - 1, so that it always names a code of that length; 0 (an
    // emptied field's number) stays 0.
    std::int32_t limited_walsh_number(int r, double number) const;
    // The shown rows whose codes clash with the code of row `r`, in type and instance order.
    std::vector<int> rows_clashing_with(int r) const;

    // Defaults and test models (channel_defaults.cpp).
    void apply_channel_defaults();
    // Entry 0..8 of the test-model list.
    void apply_test_model(int entry);
    void apply_test_model_1(int fch_count);
    // 0 QPSK, 1 8PSK, 2 16QAM.
    void apply_test_model_2(int modulation);

private:
    void wire_row(DlRow& row);
    void status_pressed(int type);
    void multiplicity_committed(int type);
    std::int32_t multiplicity_in_field(int type) const;
    void length_chosen(int r);
    void walsh_number_committed(int r);
    void qpch_number_chosen(int r);
    void modulation_chosen(int r);
    // Shows or hides the row's own mark after its code was tested; a row that is not shown takes no
    // part in the check and carries no mark.
    void test_own_code(int r, WalshCode code);
    void update_scroll_range();
    DlTypeEntry& entry(int type) { return types_.at(static_cast<std::size_t>(type)); }

    SettingsModel& model_;
    const WalshPositionTable& positions_;
    form::Platform& platform_;
    DlTypeTable types_;
    std::deque<DlTypeStatus> status_;
    std::deque<DlRow> rows_;
};

// How a forward-link channel is named wherever the user reads about it (tooltips, the PAPR dialog, run
// warnings, the signal check): its type and the number the table shows in its "No" column, "F-SCH 5".
// A row that is not shown has no number: its type alone.
std::string channel_label(const DownlinkChannelPage& page, int row);

template <class F> void DownlinkChannelPage::for_each_instance_row(F&& f) const {
    for (const DlTypeEntry& type : types_) {
        if (!type.on()) {
            continue;
        }
        for (std::int32_t k = 0; k < type.multiplicity; ++k) {
            f(type.first_row + k);
        }
    }
}

} // namespace varnika
