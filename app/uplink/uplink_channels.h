// The reverse-link channel rows of the two code-channel configurations: per channel a power field and,
// except for the pilot, a Walsh list whose first item "OFF" switches the channel off; some channels add a
// repetition or modulation list. The Walsh-conflict rules are wired by walsh_conflicts.h.
#pragma once

#include "form/choice_list.h"
#include "form/element.h"
#include "form/text_field.h"

#include <kestra/kestra.h>

#include <array>
#include <string>
#include <vector>

namespace varnika {

inline const std::string walsh_off = "OFF";

// Repetition lists as the SCH1 and SCH2 Walsh choices allow them.
inline const std::vector<std::string> sch1_repetition_items{"1", "2", "4", "8", "16", "32"};
inline const std::vector<std::string> sch1_repetition_items_w4{"1", "2", "4", "8", "16"};
inline const std::vector<std::string> sch2_repetition_items{"1", "2", "4", "8", "16"};
inline const std::vector<std::string> sch2_repetition_items_w8{"1", "2", "4", "8"};

// PDCH Walsh lists by modulation.
inline const std::vector<std::string> pdch_walsh_items_bpsk{"OFF", "W4(2)"};
inline const std::vector<std::string> pdch_walsh_items_qpsk{"OFF", "W2(1)", "W4(2)", "W2(1)&W4(2)"};
inline const std::vector<std::string> pdch_walsh_items_8psk{"OFF", "W2(1)&W4(2)"};

// One channel row: UL_<group>_<channel>_Gain_Text (with its _Gain_UpDown) and
// UL_<group>_<channel>_Walsh_Combo.
struct UplinkChannel {
    // No Walsh items: the pilot, always on, without a Walsh list.
    UplinkChannel(const std::string& group, const std::string& channel, std::string caption,
                  std::vector<std::string> walsh_items = {});

    form::Frame frame;
    form::Label power_caption; // "Power"
    form::TextField gain;
    form::Label power_unit; // "dB"
    form::Label walsh_caption;
    form::ChoiceList walsh;

    bool has_walsh() const { return walsh.count() > 0; }
    // On when its Walsh list shows a code (any item after "OFF"); the pilot is always on.
    bool on() const { return !has_walsh() || walsh.selected() > 0; }
};

// A caption and a list beside it: the repetition and modulation lists.
struct CaptionedList {
    CaptionedList(std::string name, std::string caption, std::vector<std::string> items);

    form::Label caption;
    form::ChoiceList list;
};

// The RC3/RC4 configuration (UL_CH_flag 1).
struct Rc34Group {
    Rc34Group();
    Rc34Group(const Rc34Group&) = delete;
    Rc34Group& operator=(const Rc34Group&) = delete;

    form::Frame UL_RC34_Frame;
    UplinkChannel PICH;
    UplinkChannel DCCH;
    UplinkChannel FCH;
    UplinkChannel SCH1;
    CaptionedList SCH1_Repetition; // UL_RC34_SCH1_Repetition_Combo
    UplinkChannel SCH2;
    CaptionedList SCH2_Repetition; // UL_RC34_SCH2_Repetition_Combo

    // In the order of the window's frames.
    std::array<UplinkChannel*, 5> channels() { return {&PICH, &DCCH, &FCH, &SCH1, &SCH2}; }

    void apply_defaults();
    // The channel part of the record: gains relative to the pilot, on flags, Walsh choices, repetitions.
    // The Walsh choice of a channel that is off is left as it was.
    void fill(Rc34Params& params) const;
};

// The RC3/RC4/RC7 configuration (UL_CH_flag 2).
struct Rc7Group {
    Rc7Group();
    Rc7Group(const Rc7Group&) = delete;
    Rc7Group& operator=(const Rc7Group&) = delete;

    form::Frame UL_RC7_Frame;
    UplinkChannel PICH;
    UplinkChannel SPICH;
    UplinkChannel EACH;
    UplinkChannel PDCCH;
    UplinkChannel REQCH;
    UplinkChannel DCCH;
    UplinkChannel ACKCH;
    UplinkChannel CQICH;
    CaptionedList CQICH_Mod; // UL_RC7_CQICH_Mod_Combo
    UplinkChannel FCH;
    UplinkChannel SCH1;
    CaptionedList SCH1_Repetition; // UL_RC7_SCH1_Repetition_Combo
    UplinkChannel SCH2;
    CaptionedList SCH2_Repetition; // UL_RC7_SCH2_Repetition_Combo
    UplinkChannel PDCH;
    CaptionedList PDCH_Mod; // UL_RC7_PDCH_Mod_Combo

    std::array<UplinkChannel*, 12> channels() {
        return {&PICH, &SPICH, &EACH, &PDCCH, &REQCH, &DCCH, &ACKCH, &CQICH, &FCH, &SCH1, &SCH2, &PDCH};
    }

    void apply_defaults();
    void fill(Rc7Params& params) const;
};

} // namespace varnika
