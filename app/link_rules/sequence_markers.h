// The two sequence markers of each link: a pulse of either polarity that starts a number of samples into
// the waveform and stays high for a number of samples. Every field is a two-item group: item 0 on the
// uplink page edits the uplink column of MarkerTable, item 1 on the downlink page the downlink column.
#pragma once

#include "form/choice_list.h"
#include "form/element.h"
#include "form/pair.h"
#include "form/text_field.h"
#include "settings/settings_model.h"

namespace varnika {

inline const std::vector<std::string> marker_mode_items{"OFF", "Positive", "Negative"};
// The spin arrows of the period fields stay within 0 .. 10,000,000 samples.
inline constexpr double marker_spin_limit = 10'000'000;

// The fields of one marker on both pages.
struct MarkerFields {
    explicit MarkerFields(int marker);

    form::Pair<form::Label> caption;       // "Maker 1"
    form::Pair<form::ChoiceList> mode;     // Marker1_Combo
    form::Pair<form::Label> start_caption; // "Start period"
    form::Pair<form::TextField> start;     // Marker1_Start_Text with Marker1_Start_UpDown
    form::Pair<form::Label> start_unit;    // "pts"
    form::Pair<form::Label> high_caption;  // "High period"
    form::Pair<form::TextField> high;      // Marker1_High_Text with Marker1_High_UpDown
    form::Pair<form::Label> high_unit;
};

class SequenceMarkers {
public:
    explicit SequenceMarkers(SettingsModel& model);
    SequenceMarkers(const SequenceMarkers&) = delete;
    SequenceMarkers& operator=(const SequenceMarkers&) = delete;

    // marker 0 is "Maker 1", marker 1 "Maker 2".
    MarkerFields& marker(int marker) { return markers_.at(static_cast<std::size_t>(marker)); }
    form::Pair<form::Frame> frame{"Marker_Frame", std::string("Sequence Marker Setting")};

    // After a change of the link's oversampling: both markers start at 0 and stay high for half the
    // waveform; the modes stay.
    void reset_periods(int link);
    // Shows the link's column of MarkerTable in its fields (mode lists select, and so run their rule).
    void show_table(int link);

private:
    void wire(int marker, int link);
    void apply_mode(int marker, int link);
    void apply_start(int marker, int link);
    void apply_high(int marker, int link);
    std::int32_t& entry(int marker, int offset, int link);

    SettingsModel& model_;
    std::array<MarkerFields, 2> markers_{MarkerFields(1), MarkerFields(2)};
};

} // namespace varnika
