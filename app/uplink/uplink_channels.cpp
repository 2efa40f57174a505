#include "uplink/uplink_channels.h"

#include "form/number_text.h"
#include "link_rules/power_field.h"

#include <kestra/air_interface.h>

namespace varnika {

namespace {

std::string element(const std::string& group, const std::string& channel, const char* part) {
    return "UL_" + group + "_" + channel + part;
}

namespace air = kestra::air;

// The Walsh list of a channel: "OFF", then its covers as the window shows them ("W16(8)").
std::vector<std::string> walsh_items(std::initializer_list<air::ReverseCover> covers) {
    std::vector<std::string> items{"OFF"};
    for (const air::ReverseCover& cover : covers) {
        items.push_back(air::walsh_label(cover.code));
    }
    return items;
}

double relative_gain(const UplinkChannel& channel, const UplinkChannel& pilot) {
    return channel.gain.number() - pilot.gain.number();
}

std::int32_t walsh_item_on(const UplinkChannel& channel) {
    return channel.on() ? 1 : 0;
}

std::int32_t repetition(const CaptionedList& list) {
    return static_cast<std::int32_t>(form::leading_number(list.list.text()));
}

std::int32_t index_of(const CaptionedList& list) {
    return list.list.selected() > 0 ? list.list.selected() : 0;
}

// Channel defaults: Walsh "OFF" first, so every rule sees the channel switched off, then the power.
void default_channel(UplinkChannel& channel) {
    channel.walsh.select(0);
    channel.gain.set_text("0.00");
}

} // namespace

UplinkChannel::UplinkChannel(const std::string& group, const std::string& channel, std::string caption,
                             std::vector<std::string> walsh_items)
    : frame(element(group, channel, "_Frame"), std::move(caption)),
      power_caption(element(group, channel, "_Gain_Label"), "Power"),
      gain(element(group, channel, "_Gain_Text")), power_unit(element(group, channel, "_Gain_Unit"), "dB"),
      walsh_caption(element(group, channel, "_Walsh_Label"), "Walsh"),
      walsh(element(group, channel, "_Walsh_Combo"), std::move(walsh_items)) {
    make_power_field(gain);
    if (!has_walsh()) {
        walsh_caption.set_visible(false);
        walsh.set_visible(false);
    }
}

CaptionedList::CaptionedList(std::string name, std::string caption_text, std::vector<std::string> items)
    : caption(name.substr(0, name.size() - std::string("_Combo").size()) + "_Label", std::move(caption_text)),
      list(std::move(name), std::move(items)) {}

Rc34Group::Rc34Group()
    : UL_RC34_Frame("UL_RC34_Frame"), PICH("RC34", "PICH", "PICH"),
      DCCH("RC34", "DCCH", "DCCH", walsh_items({air::rc34::dcch})),
      FCH("RC34", "FCH", "FCH", walsh_items({air::rc34::fch})),
      SCH1("RC34", "SCH1", "SCH1", walsh_items({air::rc34::sch1, air::rc34::sch1_alt})),
      SCH1_Repetition("UL_RC34_SCH1_Repetition_Combo", "Repetition", sch1_repetition_items),
      SCH2("RC34", "SCH2", "SCH2", walsh_items({air::rc34::sch2, air::rc34::sch2_alt})),
      SCH2_Repetition("UL_RC34_SCH2_Repetition_Combo", "Repetition", sch2_repetition_items) {}

void Rc34Group::apply_defaults() {
    default_channel(DCCH);
    default_channel(FCH);
    SCH1.walsh.select(0);
    SCH1_Repetition.list.select(0);
    SCH1.gain.set_text("0.00");
    SCH2.walsh.select(0);
    SCH2_Repetition.list.select(0);
    SCH2.gain.set_text("0.00");
    PICH.gain.set_text("0.00");
}

void Rc34Group::fill(Rc34Params& params) const {
    params.dcch_gain_db = relative_gain(DCCH, PICH);
    params.fch_gain_db = relative_gain(FCH, PICH);
    params.sch1_gain_db = relative_gain(SCH1, PICH);
    params.sch2_gain_db = relative_gain(SCH2, PICH);
    params.dcch_on = walsh_item_on(DCCH);
    params.fch_on = walsh_item_on(FCH);
    params.sch1_on = walsh_item_on(SCH1);
    if (SCH1.on()) {
        params.sch1_walsh_alt = SCH1.walsh.text() == "W2(1)" ? 0 : 1;
    }
    params.sch1_repetition = repetition(SCH1_Repetition);
    params.sch2_on = walsh_item_on(SCH2);
    if (SCH2.on()) {
        params.sch2_walsh_alt = SCH2.walsh.text() == "W4(2)" ? 0 : 1;
    }
    params.sch2_repetition = repetition(SCH2_Repetition);
}

Rc7Group::Rc7Group()
    : UL_RC7_Frame("UL_RC7_Frame"), PICH("RC7", "PICH", "PICH"),
      SPICH("RC7", "SPICH", "SPICH", walsh_items({air::rc7::spich})),
      EACH("RC7", "EACH", "EACH/CCCH", walsh_items({air::rc7::each})),
      PDCCH("RC7", "PDCCH", "PDCCH", walsh_items({air::rc7::pdcch})),
      REQCH("RC7", "REQCH", "REQCH", walsh_items({air::rc7::reqch})),
      DCCH("RC7", "DCCH", "DCCH", walsh_items({air::rc7::dcch})),
      ACKCH("RC7", "ACKCH", "ACKCH", walsh_items({air::rc7::ackch})),
      CQICH("RC7", "CQICH", "CQICH", {"OFF", air::walsh_label(air::rc7::cqich)}),
      CQICH_Mod("UL_RC7_CQICH_Mod_Combo", "Modulation", {"BPSK(I)", "BPSK(Q)"}),
      FCH("RC7", "FCH", "FCH", walsh_items({air::rc7::fch})),
      SCH1("RC7", "SCH1", "SCH1", walsh_items({air::rc7::sch1, air::rc7::sch1_alt})),
      SCH1_Repetition("UL_RC7_SCH1_Repetition_Combo", "Repetition", sch1_repetition_items),
      SCH2("RC7", "SCH2", "SCH2", walsh_items({air::rc7::sch2, air::rc7::sch2_alt})),
      SCH2_Repetition("UL_RC7_SCH2_Repetition_Combo", "Repetition", sch2_repetition_items),
      PDCH("RC7", "PDCH", "PDCH", pdch_walsh_items_qpsk),
      PDCH_Mod("UL_RC7_PDCH_Mod_Combo", "Modulation", {"BPSK", "QPSK", "8PSK"}) {}

void Rc7Group::apply_defaults() {
    for (UplinkChannel* channel : {&SPICH, &EACH, &PDCCH, &REQCH, &DCCH, &ACKCH}) {
        default_channel(*channel);
    }
    CQICH.walsh.select(0);
    CQICH_Mod.list.select(0);
    CQICH.gain.set_text("0.00");
    default_channel(FCH);
    SCH1.walsh.select(0);
    SCH1_Repetition.list.select(0);
    SCH1.gain.set_text("0.00");
    SCH2.walsh.select(0);
    SCH2_Repetition.list.select(0);
    SCH2.gain.set_text("0.00");
    PDCH.walsh.select(0);
    PDCH_Mod.list.select(0);
    PDCH.gain.set_text("0.00");
    PICH.gain.set_text("0.00");
}

void Rc7Group::fill(Rc7Params& params) const {
    params.spich_gain_db = relative_gain(SPICH, PICH);
    params.each_gain_db = relative_gain(EACH, PICH);
    params.pdcch_gain_db = relative_gain(PDCCH, PICH);
    params.reqch_gain_db = relative_gain(REQCH, PICH);
    params.dcch_gain_db = relative_gain(DCCH, PICH);
    params.ackch_gain_db = relative_gain(ACKCH, PICH);
    params.cqich_gain_db = relative_gain(CQICH, PICH);
    params.fch_gain_db = relative_gain(FCH, PICH);
    params.sch1_gain_db = relative_gain(SCH1, PICH);
    params.sch2_gain_db = relative_gain(SCH2, PICH);
    params.pdch_gain_db = relative_gain(PDCH, PICH);

    params.spich_on = walsh_item_on(SPICH);
    params.each_on = walsh_item_on(EACH);
    params.pdcch_on = walsh_item_on(PDCCH);
    params.reqch_on = walsh_item_on(REQCH);
    params.dcch_on = walsh_item_on(DCCH);
    params.ackch_on = walsh_item_on(ACKCH);
    params.cqich_on = walsh_item_on(CQICH);
    params.fch_on = walsh_item_on(FCH);
    params.cqich_on_q = index_of(CQICH_Mod);

    params.sch1_on = walsh_item_on(SCH1);
    if (SCH1.on()) {
        params.sch1_walsh_alt = SCH1.walsh.text() == "W2(1)" ? 0 : 1;
    }
    params.sch1_repetition = repetition(SCH1_Repetition);
    params.sch2_on = walsh_item_on(SCH2);
    if (SCH2.on()) {
        params.sch2_walsh_alt = SCH2.walsh.text() == "W4(2)" ? 0 : 1;
    }
    params.sch2_repetition = repetition(SCH2_Repetition);
    params.pdch_on = walsh_item_on(PDCH);
    if (PDCH.on()) {
        const std::string& walsh = PDCH.walsh.text();
        params.pdch_walsh_select = walsh == "W2(1)" ? 0 : walsh == "W4(2)" ? 1 : 2;
    }
    params.pdch_modulation = index_of(PDCH_Mod);
}

} // namespace varnika
