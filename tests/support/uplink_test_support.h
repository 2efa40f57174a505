// A started window model for the uplink tests, with helpers that choose list items by their text.
#pragma once

#include "fake_platform.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <gtest/gtest.h>

namespace varnika::testing {

class StartedWindow : public ::testing::Test {
protected:
    StartedWindow() { start_up(form); }

    // Types `text` into the field and leaves it.
    static std::string typed(form::TextField& field, const std::string& text) {
        field.set_text(text);
        field.commit();
        return field.text();
    }

    FakePlatform platform;
    MainForm form{platform};
    UplinkPanel& uplink = form.uplink;
    Rc34Group& rc34 = form.uplink.rc34;
    Rc7Group& rc7 = form.uplink.rc7;
};

inline void choose(form::ChoiceList& list, const std::string& item) {
    ASSERT_TRUE(list.select_text(item)) << list.name() << " has no item " << item;
}
inline void choose(UplinkChannel& channel, const std::string& walsh) {
    choose(channel.walsh, walsh);
}
inline void choose(CaptionedList& list, const std::string& item) {
    choose(list.list, item);
}

} // namespace varnika::testing
