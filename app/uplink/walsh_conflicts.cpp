#include "uplink/walsh_conflicts.h"

namespace varnika {

namespace {

bool is(const UplinkChannel& channel, std::string_view walsh) {
    return channel.walsh.text() == walsh;
}
bool is(const CaptionedList& list, std::string_view item) {
    return list.list.text() == item;
}
bool off(const UplinkChannel& channel) {
    return is(channel, walsh_off);
}
void switch_off(UplinkChannel& channel) {
    channel.walsh.select(0);
}

void rebuild_keeping(form::ChoiceList& list, const std::vector<std::string>& items) {
    const int position = list.selected();
    list.set_items(items);
    list.select(std::min(position, list.count() - 1));
}

// SCH1 on W4(2) with repetition 1 and SCH2 on W8(6) share chips: that combination is never let through.
bool sch1_w4_rep1_sch2_w8(const UplinkChannel& sch1, const CaptionedList& sch1_repetition,
                          const UplinkChannel& sch2) {
    return is(sch1, "W4(2)") && is(sch1_repetition, "1") && is(sch2, "W8(6)");
}

// The RC3/RC4 group.

void rc34_sch1_walsh_changed(Rc34Group& g) {
    if (is(g.SCH1, "W4(2)") && (is(g.SCH2, "W4(2)") || (is(g.SCH2, "W8(6)") && is(g.SCH1_Repetition, "1")))) {
        switch_off(g.SCH1);
    }
    rebuild_sch1_repetition(g.SCH1.walsh, g.SCH1_Repetition.list);
}

void rc34_sch1_repetition_changed(Rc34Group& g) {
    if (sch1_w4_rep1_sch2_w8(g.SCH1, g.SCH1_Repetition, g.SCH2)) {
        g.SCH1_Repetition.list.select(1);
    }
}

void rc34_sch2_walsh_changed(Rc34Group& g) {
    if (is(g.SCH1, "W4(2)") && (is(g.SCH2, "W4(2)") || (is(g.SCH2, "W8(6)") && is(g.SCH1_Repetition, "1")))) {
        switch_off(g.SCH2);
    }
    rebuild_sch2_repetition(g.SCH2.walsh, g.SCH2_Repetition.list);
}

// The RC3/RC4/RC7 group.

bool pdch_qpsk_on_w4(const Rc7Group& g) {
    return is(g.PDCH_Mod, "QPSK") && is(g.PDCH, "W4(2)");
}

void each_walsh_changed(Rc7Group& g) {
    if (off(g.EACH)) {
        return;
    }
    if (pdch_qpsk_on_w4(g) || is(g.PDCH, "W2(1)&W4(2)") || is(g.SCH1, "W4(2)")) {
        switch_off(g.EACH);
    }
}

void rc7_sch1_walsh_changed(Rc7Group& g) {
    if (is(g.SCH1, "W4(2)") && (pdch_qpsk_on_w4(g) || (is(g.SCH1_Repetition, "1") && is(g.SCH2, "W8(6)")) ||
                                is(g.PDCH, "W2(1)&W4(2)") || !off(g.EACH) || is(g.SCH2, "W4(2)"))) {
        switch_off(g.SCH1);
    }
    if (is(g.SCH1, "W2(1)") && (is(g.PDCH, "W2(1)&W4(2)") || is(g.PDCH, "W2(1)"))) {
        switch_off(g.SCH1);
    }
    rebuild_sch1_repetition(g.SCH1.walsh, g.SCH1_Repetition.list);
}

void rc7_sch2_walsh_changed(Rc7Group& g) {
    if (!off(g.SCH2)) {
        if (is(g.PDCH, "W2(1)&W4(2)") || is(g.PDCH, "W4(2)")) {
            switch_off(g.SCH2);
        } else if (is(g.SCH2, "W4(2)") && is(g.SCH1, "W4(2)")) {
            switch_off(g.SCH2);
        } else if (sch1_w4_rep1_sch2_w8(g.SCH1, g.SCH1_Repetition, g.SCH2)) {
            switch_off(g.SCH2);
        }
    }
    rebuild_sch2_repetition(g.SCH2.walsh, g.SCH2_Repetition.list);
}

void rc7_sch1_repetition_changed(Rc7Group& g) {
    if (sch1_w4_rep1_sch2_w8(g.SCH1, g.SCH1_Repetition, g.SCH2)) {
        g.SCH1_Repetition.list.select(1);
    }
}

void pdch_walsh_changed(Rc7Group& g) {
    bool conflict = false;
    if (is(g.PDCH, "W2(1)")) {
        conflict = is(g.SCH1, "W2(1)");
    } else if (is(g.PDCH, "W4(2)") && is(g.PDCH_Mod, "QPSK")) {
        conflict = !off(g.SCH2) || !off(g.EACH) || is(g.SCH1, "W4(2)");
    } else if (is(g.PDCH, "W4(2)")) {
        conflict = !off(g.SCH2);
    } else if (is(g.PDCH, "W2(1)&W4(2)")) {
        conflict = is(g.SCH1, "W2(1)") || !off(g.EACH) || is(g.SCH1, "W4(2)") || !off(g.SCH2);
    }
    if (conflict) {
        switch_off(g.PDCH);
    }
}

// The modulation decides which PDCH codes exist; the list is rebuilt and the code chosen again, which runs
// the PDCH Walsh rule against the other channels.
void pdch_modulation_changed(Rc7Group& g) {
    const std::string walsh = g.PDCH.walsh.text();
    const bool was_off = walsh == walsh_off;
    const std::string& modulation = g.PDCH_Mod.list.text();
    if (modulation == "BPSK") {
        g.PDCH.walsh.set_items(pdch_walsh_items_bpsk);
        g.PDCH.walsh.select(was_off ? 0 : 1);
    } else if (modulation == "QPSK") {
        g.PDCH.walsh.set_items(pdch_walsh_items_qpsk);
        g.PDCH.walsh.select(g.PDCH.walsh.find(walsh));
    } else if (modulation == "8PSK") {
        g.PDCH.walsh.set_items(pdch_walsh_items_8psk);
        g.PDCH.walsh.select(was_off ? 0 : 1);
    }
}

} // namespace

void rebuild_sch1_repetition(const form::ChoiceList& sch1_walsh, form::ChoiceList& repetition) {
    rebuild_keeping(repetition,
                    sch1_walsh.text() == "W4(2)" ? sch1_repetition_items_w4 : sch1_repetition_items);
}

void rebuild_sch2_repetition(const form::ChoiceList& sch2_walsh, form::ChoiceList& repetition) {
    rebuild_keeping(repetition,
                    sch2_walsh.text() == "W8(6)" ? sch2_repetition_items_w8 : sch2_repetition_items);
}

void install_walsh_rules(Rc34Group& g) {
    g.SCH1.walsh.set_change_rule([&g] { rc34_sch1_walsh_changed(g); });
    g.SCH1_Repetition.list.set_change_rule([&g] { rc34_sch1_repetition_changed(g); });
    g.SCH2.walsh.set_change_rule([&g] { rc34_sch2_walsh_changed(g); });
}

void install_walsh_rules(Rc7Group& g) {
    g.EACH.walsh.set_change_rule([&g] { each_walsh_changed(g); });
    g.SCH1.walsh.set_change_rule([&g] { rc7_sch1_walsh_changed(g); });
    g.SCH2.walsh.set_change_rule([&g] { rc7_sch2_walsh_changed(g); });
    g.SCH1_Repetition.list.set_change_rule([&g] { rc7_sch1_repetition_changed(g); });
    g.PDCH.walsh.set_change_rule([&g] { pdch_walsh_changed(g); });
    g.PDCH_Mod.list.set_change_rule([&g] { pdch_modulation_changed(g); });
}

} // namespace varnika
