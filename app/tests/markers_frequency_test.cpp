// Sequence markers and frequency-offset frames of both links.
#include "uplink_test_support.h"

namespace varnika {
namespace {

using testing::choose;

class Markers : public testing::StartedWindow {
protected:
    MarkerFields& marker1 = form.markers.marker(0);
    MarkerFields& marker2 = form.markers.marker(1);
    std::int32_t table(MarkerEntry entry, int link) const {
        return form.model.MarkerTable[static_cast<std::size_t>(entry)][static_cast<std::size_t>(link)];
    }
};

TEST_F(Markers, StartBeyondTheWaveformIsClampedAndForcesHighToZero) {
    choose(uplink.UL_Filter_Over_Combo, "4"); // 131072 samples
    EXPECT_EQ(typed(marker1.start[uplink_item], "131073"), "131072");
    EXPECT_EQ(marker1.high[uplink_item].text(), "0");
    EXPECT_EQ(table(Mark1Sta, uplink_item), 131072);
    EXPECT_EQ(table(Mark1Hig, uplink_item), 0);
    // A number far beyond any integer is clamped, not overflowed.
    EXPECT_EQ(typed(marker1.start[uplink_item], "99999999999999999999"), "131072");
}

TEST_F(Markers, PeriodsAreEvenAndKeepStartPlusHighWithinTheWaveform) {
    const int link = downlink_item;
    choose(form.downlink_general.DL_Filter_Over_Combo, "4");
    EXPECT_EQ(typed(marker2.high[link], "99"), "98");
    EXPECT_EQ(typed(marker2.start[link], "131000"), "131000");
    EXPECT_EQ(marker2.high[link].text(), "72"); // was 98: only 72 samples remain after 131000
    EXPECT_EQ(typed(marker2.high[link], "100001"), "100000");
    EXPECT_EQ(marker2.start[link].text(), "31072");
    EXPECT_EQ(table(Mark2Sta, link) + table(Mark2Hig, link), 131072);
    EXPECT_EQ(typed(marker2.start[link], "-5"), "0"); // pasted: the key filter refuses "-"
    EXPECT_EQ(typed(marker2.start[link], "7.9"), "6");
    // The other link and the other marker are untouched.
    EXPECT_EQ(table(Mark2Hig, uplink_item), 327680);
    EXPECT_EQ(table(Mark1Hig, link), 65536);
}

TEST_F(Markers, TextThatIsNotANumberGivesBackThePreviousValue) {
    typed(marker1.start[uplink_item], "1000");
    EXPECT_EQ(typed(marker1.start[uplink_item], ""), "1000");
    EXPECT_EQ(typed(marker1.high[uplink_item], "abc"), "327680");
    EXPECT_EQ(table(Mark1Sta, uplink_item), 1000);
}

TEST_F(Markers, OnlyDigitsAndControlKeysAreTyped) {
    form::TextField& field = marker1.high[downlink_item];
    EXPECT_EQ(field.press_key(U'7'), form::KeyOutcome::Accepted);
    EXPECT_EQ(field.press_key(U'\b'), form::KeyOutcome::Accepted);
    for (char32_t key : std::u32string(U"-.+ ak")) {
        EXPECT_EQ(field.press_key(key), form::KeyOutcome::Refused);
    }
    field.set_text("1001");
    EXPECT_EQ(field.press_key(form::TextField::enter_key), form::KeyOutcome::Handled);
    EXPECT_EQ(field.text(), "1000");
}

TEST_F(Markers, SpinArrowsStepByTwoSamples) {
    form::TextField& start = marker1.start[uplink_item];
    typed(start, "100");
    start.spin(+1);
    EXPECT_EQ(start.text(), "102");
    start.spin(-1);
    start.spin(-1);
    EXPECT_EQ(start.text(), "98");
    typed(start, "0");
    start.spin(-1);
    EXPECT_EQ(start.text(), "0");
    typed(start, "655360");
    start.spin(+1);
    EXPECT_EQ(start.text(), "655360"); // the data size still limits the step
}

TEST_F(Markers, ModeOffGreysOutThatMarkersPeriodsOnly) {
    marker1.mode[uplink_item].select(1);
    typed(marker1.start[uplink_item], "20");
    marker1.mode[uplink_item].select(0);
    EXPECT_EQ(table(Mark1Mod, uplink_item), 0);
    for (const form::Element* element : std::initializer_list<const form::Element*>{
             &marker1.start[uplink_item], &marker1.high[uplink_item], &marker1.start_caption[uplink_item],
             &marker1.high_caption[uplink_item], &marker1.start_unit[uplink_item]}) {
        EXPECT_FALSE(element->enabled()) << element->object_name();
    }
    EXPECT_TRUE(marker1.start[downlink_item].enabled() == (marker1.mode[downlink_item].selected() > 0));
    marker2.mode[uplink_item].select(2);
    EXPECT_TRUE(marker2.start[uplink_item].enabled());
    marker1.mode[uplink_item].select(1);
    EXPECT_EQ(table(Mark1Mod, uplink_item), 1);
    EXPECT_TRUE(marker1.high[uplink_item].enabled());
    EXPECT_EQ(marker1.start[uplink_item].text(), "20");
    EXPECT_EQ(marker1.caption[uplink_item].text(), "Maker 1");
}

TEST_F(Markers, OversamplingResetsOnlyItsOwnLinksMarkers) {
    typed(marker1.start[downlink_item], "10");
    typed(marker1.start[uplink_item], "10");
    marker1.mode[uplink_item].select(2);
    choose(uplink.UL_Filter_Over_Combo, "4");
    for (MarkerEntry entry : {Mark1Sta, Mark2Sta}) {
        EXPECT_EQ(table(entry, uplink_item), 0);
    }
    for (MarkerEntry entry : {Mark1Hig, Mark2Hig}) {
        EXPECT_EQ(table(entry, uplink_item), 65536);
    }
    EXPECT_EQ(marker2.high[uplink_item].text(), "65536");
    EXPECT_EQ(table(Mark1Mod, uplink_item), 2);
    EXPECT_EQ(table(Mark1Sta, downlink_item), 10);

    choose(form.downlink_general.DL_Filter_Over_Combo, "80");
    EXPECT_EQ(table(Mark1Sta, downlink_item), 0);
    EXPECT_EQ(table(Mark1Hig, downlink_item), 1310720);
    EXPECT_EQ(marker1.high[downlink_item].text(), "1310720");
}

using FrequencyOffset = testing::StartedWindow;

TEST_F(FrequencyOffset, UnitSuffixesScaleAndTheSamplingRateLimits) {
    form::TextField& field = uplink.offset.freqerr; // ratio 20: 24,576,000 Hz
    EXPECT_EQ(typed(field, "1.5k"), "1500.00");
    EXPECT_EQ(typed(field, "2M"), "2000000.00");
    EXPECT_EQ(typed(field, "30M"), "24576000.00");
    EXPECT_EQ(typed(field, "-30m"), "-24576000.00");
    EXPECT_EQ(typed(field, "k"), "0.00");
    EXPECT_EQ(typed(field, "2kM"), "2000000.00"); // with an M, a k is dropped
    EXPECT_EQ(typed(field, "1.234567"), "1.23");
    EXPECT_EQ(typed(field, "12x"), "0.00");
    EXPECT_EQ(typed(uplink.offset.ifconv, "-100"), "-100.00");
}

TEST_F(FrequencyOffset, KeysAndSpin) {
    form::TextField& field = form.downlink_general.offset.ifconv;
    for (char32_t key : std::u32string(U"0123456789-.kKmM\b")) {
        EXPECT_EQ(field.press_key(key), form::KeyOutcome::Accepted);
    }
    for (char32_t key : std::u32string(U" +,gGxH")) {
        EXPECT_EQ(field.press_key(key), form::KeyOutcome::Refused);
    }
    typed(field, "10");
    field.spin(+1);
    EXPECT_EQ(field.text(), "10.01");
    field.spin(-1);
    field.spin(-1);
    EXPECT_EQ(field.text(), "9.99");
    EXPECT_EQ(field.spin_object_name(), "DL_IFconv_UpDown");
}

TEST_F(FrequencyOffset, LoweringTheUplinkRatioClampsAtOnceButTheDownlinkWaits) {
    typed(uplink.offset.ifconv, "10000000");
    typed(uplink.offset.freqerr, "-20M");
    choose(uplink.UL_Filter_Over_Combo, "4");
    EXPECT_EQ(uplink.offset.ifconv.text(), "4915200.00");
    EXPECT_EQ(uplink.offset.freqerr.text(), "-4915200.00");

    FrequencyOffsetFrame& downlink = form.downlink_general.offset;
    typed(downlink.ifconv, "10000000");
    choose(form.downlink_general.DL_Filter_Over_Combo, "4");
    EXPECT_EQ(downlink.ifconv.text(), "10000000.00");
    downlink.ifconv.commit();
    EXPECT_EQ(downlink.ifconv.text(), "4915200.00");

    // The link choice refreshes the uplink read-outs, which applies the uplink fields again.
    uplink.offset.ifconv.set_text("1M");
    form.Link_Selection_Option.select(uplink_item);
    EXPECT_EQ(uplink.offset.ifconv.text(), "1000000.00");
}

TEST_F(FrequencyOffset, TheChoiceEnablesOneValueAndIsStored) {
    for (FrequencyOffsetFrame* frame : {&uplink.offset, &form.downlink_general.offset}) {
        frame->option.select(2);
        EXPECT_TRUE(frame->ifconv.enabled());
        EXPECT_TRUE(frame->ifconv_caption.enabled());
        EXPECT_FALSE(frame->freqerr.enabled());
        frame->option.select(1);
        EXPECT_TRUE(frame->freqerr.enabled());
        EXPECT_TRUE(frame->freqerr_unit.enabled());
        EXPECT_FALSE(frame->ifconv.enabled());
        frame->option.select(0);
        EXPECT_FALSE(frame->freqerr.enabled());
        EXPECT_FALSE(frame->ifconv.enabled());
        EXPECT_FALSE(frame->ifconv_caption.enabled());
    }
    uplink.offset.option.select(2);
    form.downlink_general.offset.option.select(1);
    EXPECT_EQ(form.model.ul_df_flag, 2);
    EXPECT_EQ(form.model.dl_df_flag, 1);
}

} // namespace
} // namespace varnika
