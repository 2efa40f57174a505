// The toolkit-free field primitives: number texts, notifications, key filters, spin steps and selections.
#include "form/choice_list.h"
#include "form/number_text.h"
#include "form/option_group.h"
#include "form/pair.h"
#include "form/text_field.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

namespace varnika::form {
namespace {

TEST(NumberText, ParsesWholeNumbersOnly) {
    EXPECT_EQ(parse_number("12.347"), 12.347);
    EXPECT_EQ(parse_number(" -3 "), -3.0);
    EXPECT_EQ(parse_number("+7"), 7.0);
    EXPECT_EQ(parse_number(".5"), 0.5);
    EXPECT_EQ(parse_number("5."), 5.0);
    EXPECT_EQ(parse_number("1e3"), 1000.0);
    for (const char* text : {"", " ", "-", ".", "12abc", "1.5k", "abc", "inf", "nan", "-inf", "1,5", "--1"}) {
        EXPECT_FALSE(parse_number(text).has_value()) << text;
    }
    // Far outside every field's range, but still a number that the field then clamps.
    EXPECT_GT(*parse_number("1e999"), 1e300);
    EXPECT_EQ(parse_number("-1e-999"), 0.0);
}

TEST(NumberText, LeadingNumberReadsThePrefix) {
    EXPECT_EQ(leading_number("12.5k"), 12.5);
    EXPECT_EQ(leading_number("  -4.25"), -4.25);
    EXPECT_EQ(leading_number("k"), 0.0);
    EXPECT_EQ(leading_number(""), 0.0);
    EXPECT_EQ(leading_number("inf"), 0.0);
}

TEST(NumberText, FixedFormatRoundsHalfAwayFromZero) {
    EXPECT_EQ(format_fixed(12.347, 2), "12.35");
    EXPECT_EQ(format_fixed(12.345, 2), "12.35"); // 12.345 is stored just below; the field still shows .35
    EXPECT_EQ(format_fixed(-2.48 - 10.0 * std::log10(3.0), 2), "-7.25");
    EXPECT_EQ(format_fixed(-0.001, 2), "0.00");
    EXPECT_EQ(format_fixed(0.0, 2), "0.00");
    EXPECT_EQ(format_fixed(-100.0, 2), "-100.00");
    EXPECT_EQ(format_fixed(24576000.0, 2), "24576000.00");
    EXPECT_EQ(format_fixed(24.576, 4), "24.5760");
    EXPECT_EQ(format_fixed(131072.0, 0), "131072");
}

TEST(NumberText, GroupedDigits) {
    EXPECT_EQ(format_grouped(655360), "655,360");
    EXPECT_EQ(format_grouped(2621440), "2,621,440");
    EXPECT_EQ(format_grouped(131072), "131,072");
    EXPECT_EQ(format_grouped(999), "999");
    EXPECT_EQ(format_grouped(1000), "1,000");
    EXPECT_EQ(format_grouped(-1234567), "-1,234,567");
}

TEST(Signal, ListenersMayLeaveWhileBeingTold) {
    Signal signal;
    int first = 0;
    int second = 0;
    Connection second_connection;
    Connection first_connection = signal.connect([&] {
        ++first;
        second_connection.disconnect();
    });
    second_connection = signal.connect([&] { ++second; });
    signal.emit();
    EXPECT_EQ(first, 1);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(signal.listener_count(), 1u);
}

TEST(Signal, ConnectionMayOutliveItsSignal) {
    Connection connection;
    {
        Signal signal;
        connection = signal.connect([] {});
    }
    connection.disconnect(); // no effect, no crash
    SUCCEED();
}

TEST(TextField, TellsListenersOncePerRealChange) {
    TextField field("F_Text");
    field.set_text("1");
    int told = 0;
    const auto connection = field.on_change([&] { ++told; });
    field.set_text("1");
    EXPECT_EQ(told, 0);
    field.set_text("2");
    field.set_enabled(false);
    field.set_enabled(false);
    field.set_visible(false);
    EXPECT_EQ(told, 3);
}

TEST(TextField, EnterRunsTheCommitRuleAndTheFilterDecidesOtherKeys) {
    TextField field("F_Text");
    int commits = 0;
    field.set_key_filter(is_decimal_key);
    field.set_commit_rule([&](TextField&) { ++commits; });
    EXPECT_EQ(field.press_key(U'5'), KeyOutcome::Accepted);
    EXPECT_EQ(field.press_key(U'\b'), KeyOutcome::Accepted); // Backspace and other control keys pass
    EXPECT_EQ(field.press_key(U'a'), KeyOutcome::Refused);
    EXPECT_EQ(field.press_key(U' '), KeyOutcome::Refused);
    EXPECT_EQ(field.press_key(U'+'), KeyOutcome::Refused);
    EXPECT_EQ(commits, 0);
    EXPECT_EQ(field.press_key(TextField::enter_key), KeyOutcome::Handled);
    EXPECT_EQ(commits, 1);

    int enters = 0;
    field.set_enter_rule([&](TextField&) { ++enters; });
    field.press_key(TextField::enter_key);
    EXPECT_EQ(enters, 1);
    EXPECT_EQ(commits, 1);
}

TEST(TextField, SpinStepsWithinItsRangeThenCommits) {
    TextField field(ElementId("Marker1_Start_Text", 0));
    int commits = 0;
    field.set_spin({.step = 2, .decimals = 0, .min = 0, .max = 10});
    field.set_commit_rule([&](TextField&) { ++commits; });
    field.set_text("9");
    field.spin(+1);
    EXPECT_EQ(field.text(), "10");
    field.set_text("1");
    field.spin(-1);
    EXPECT_EQ(field.text(), "0");
    EXPECT_EQ(commits, 2);

    TextField no_spin("Other_Text");
    no_spin.set_text("3");
    no_spin.spin(+1);
    EXPECT_EQ(no_spin.text(), "3");
}

TEST(TextField, SpinArrowsAreNamedAfterTheField) {
    EXPECT_EQ(TextField("UL_RC7_PDCH_Gain_Text").spin_object_name(), "UL_RC7_PDCH_Gain_UpDown");
    EXPECT_EQ(TextField(ElementId("Marker1_Start_Text", 1)).spin_object_name(), "Marker1_Start_UpDown_1");
}

TEST(ChoiceList, EverySelectionRunsTheRuleButRebuildingDoesNot) {
    ChoiceList list("L_Combo", {"OFF", "ON"});
    int rule_runs = 0;
    int told = 0;
    list.set_change_rule([&] { ++rule_runs; });
    const auto connection = list.on_change([&] { ++told; });
    EXPECT_EQ(list.selected(), -1);
    EXPECT_EQ(list.text(), "");
    EXPECT_TRUE(list.select(1));
    EXPECT_TRUE(list.select(1)); // the same item again still runs the rule, as a user's pick does
    EXPECT_EQ(rule_runs, 2);
    EXPECT_EQ(told, 1);
    EXPECT_EQ(list.text(), "ON");

    EXPECT_FALSE(list.select(2)); // outside the list: nothing happens
    EXPECT_FALSE(list.select_text("MAYBE"));
    EXPECT_EQ(list.selected(), 1);
    EXPECT_EQ(rule_runs, 2);

    list.set_items({"A", "B", "C"});
    EXPECT_EQ(list.selected(), -1);
    EXPECT_EQ(rule_runs, 2);
    EXPECT_TRUE(list.select_text("C"));
    EXPECT_EQ(list.selected(), 2);
}

TEST(OptionGroup, AnIndexWithoutAButtonCanStillBeSelected) {
    OptionGroup group("UL_CH_Selection_Option", {"RC 1,2", "", "RC 3,4,7"});
    EXPECT_TRUE(group.offers(0));
    EXPECT_FALSE(group.offers(1));
    EXPECT_TRUE(group.select(1));
    EXPECT_EQ(group.selected(), 1);
    EXPECT_FALSE(group.select(3));
    EXPECT_EQ(group.selected(), 1);
}

TEST(Pair, ItemsShareTheNameAndCarryTheirIndex) {
    Pair<ChoiceList> pair("Marker1_Combo", std::vector<std::string>{"OFF", "Positive", "Negative"});
    EXPECT_EQ(pair[0].object_name(), "Marker1_Combo_0");
    EXPECT_EQ(pair[1].object_name(), "Marker1_Combo_1");
    EXPECT_EQ(pair[1].count(), 3);
}

} // namespace
} // namespace varnika::form
