// A started window model for the downlink tests, with helpers that act on the channel page as a user does.
#pragma once

#include "downlink/dl_channel_list.h"
#include "fake_platform.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnika::testing {

class StartedDownlink : public ::testing::Test {
protected:
    StartedDownlink() { start_up(form); }

    // Types `text` into the field and leaves it.
    static std::string typed(form::TextField& field, const std::string& text) {
        field.set_text(text);
        field.commit();
        return field.text();
    }

    // Sets the type's multiplicity and switches it on.
    void switch_on(int type, int multiplicity = 1) {
        typed(page.DL_CH_Multi_Text(type), std::to_string(multiplicity));
        ASSERT_FALSE(page.type_entry(type).on()) << dl_type_info(type).name;
        page.DL_CH_Stat_Command(type).press();
    }
    void switch_off(int type) {
        ASSERT_TRUE(page.type_entry(type).on()) << dl_type_info(type).name;
        page.DL_CH_Stat_Command(type).press();
    }

    DlRow& row(int type, int instance) { return page.instance(type, instance); }
    // Types a Walsh number into instance `instance` of `type` and leaves the field.
    std::string number(int type, int instance, const std::string& text) {
        return typed(*row(type, instance).DL_CH_WNO_Text, text);
    }
    bool marked(int type, int instance) { return row(type, instance).marked(); }
    int total() const { return std::stoi(page.DL_CH_Total_Multi_Text.text()); }
    // The display numbers of the type's shown rows.
    std::vector<int> slots_of(int type) {
        std::vector<int> slots;
        for (int k = 0; k < page.type_entry(type).multiplicity; ++k) {
            slots.push_back(std::stoi(row(type, k).DL_CH_INDEX_Text.text()));
        }
        return slots;
    }
    DlChannelList channel_list() const {
        return collect_dl_channels(form.model, form.downlink_general, form.downlink_channels);
    }

    FakePlatform platform;
    MainForm form{platform};
    DownlinkChannelPage& page = form.downlink_channels;
};

inline void pick(form::ChoiceList& list, const std::string& item) {
    ASSERT_TRUE(list.select_text(item)) << list.object_name() << " has no item " << item;
}

} // namespace varnika::testing
