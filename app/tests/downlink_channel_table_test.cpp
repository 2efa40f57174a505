// The forward-link channel table: reserved rows, switching types, display slots, multiplicity, the field
// rules of the rows, "Total No" and the channel list a generation takes.
#include "downlink_test_support.h"

#include <array>

namespace varnika {
namespace {

using testing::pick;

using ChannelTable = testing::StartedDownlink;

TEST_F(ChannelTable, RowsAreReservedTypeByTypeAndStartHidden) {
    ASSERT_TRUE(page.built());
    // First rows as the capacities add up: PCH 2-8 ... F-PDCH 805-806.
    const std::array<int, dl_type_count> first_rows{0,   1,   2,   9,   17,  20,  148, 276, 404,
                                                    405, 412, 414, 421, 485, 613, 677, 805};
    for (int type = 0; type < dl_type_count; ++type) {
        const DlTypeEntry& entry = page.type_entry(type);
        EXPECT_EQ(entry.first_row, first_rows[static_cast<std::size_t>(type)]) << type;
        EXPECT_EQ(page.type_of_row(entry.first_row), type);
        EXPECT_EQ(page.type_of_row(entry.last_reserved_row()), type);
        EXPECT_EQ(page.row(entry.first_row).type(), type);
    }
    EXPECT_EQ(page.type_entry(F_PDCH).last_reserved_row(), dl_row_count - 1);
    EXPECT_EQ(page.type_of_row(5000), 0);

    // After start-up only the pilot is on, at slot 0, green; everything else is hidden and off.
    EXPECT_TRUE(page.type_entry(F_PICH).on());
    EXPECT_EQ(page.DL_CH_Stat_Command(F_PICH).caption(), "ON");
    EXPECT_EQ(page.DL_CH_Stat_Command(F_PICH).colour(), status_on_colour);
    EXPECT_FALSE(page.DL_CH_Stat_Command(F_PICH).enabled());
    EXPECT_TRUE(page.row(0).shown());
    EXPECT_EQ(page.row(0).DL_CH_INDEX_Text.text(), "0");
    for (int r = 1; r < dl_row_count; ++r) {
        ASSERT_FALSE(page.row(r).shown()) << r;
        ASSERT_FALSE(page.row(r).DL_CH_POWER_Text.visible()) << r;
    }
    for (int type = 1; type < dl_type_count; ++type) {
        EXPECT_EQ(page.DL_CH_Stat_Command(type).caption(), "OFF");
        EXPECT_FALSE(page.DL_CH_Stat_Command(type).colour().has_value());
        EXPECT_EQ(page.DL_CH_Multi_Text(type).text(), "1");
    }
    EXPECT_EQ(total(), 1);

    // The single-row types have a fixed multiplicity without arrows.
    for (int type : {F_PICH, SYNCH, F_ACKCH}) {
        EXPECT_FALSE(page.DL_CH_Multi_Text(type).enabled());
        EXPECT_FALSE(page.DL_CH_Multi_Text(type).has_spin());
    }
    EXPECT_TRUE(page.DL_CH_Multi_Text(PCH).has_spin());
}

TEST_F(ChannelTable, RowsShowTheirTypesFieldsAndCodes) {
    EXPECT_EQ(row(F_PICH, 0).DL_CH_WLEN_Text->text(), "256");
    EXPECT_EQ(row(F_PICH, 0).DL_CH_WNO_Text->text(), "0");
    EXPECT_FALSE(row(SYNCH, 0).DL_CH_WNO_Text->enabled());
    EXPECT_EQ(row(SYNCH, 0).code(), (WalshCode{64, 32}));
    EXPECT_EQ(row(QPCH, 2).DL_CH_WNO_Combo->text(), "48");
    EXPECT_EQ(row(QPCH, 2).committed, (WalshCode{128, 48}));
    EXPECT_EQ(row(F_GCH, 0).code(), (WalshCode{256, 1}));
    EXPECT_EQ(row(F_SCH, 127).committed, (WalshCode{4, 1}));
    EXPECT_EQ(row(F_CCCH, 0).DL_CH_WLEN_Combo->items().size(), 4u);
    EXPECT_EQ(row(F_PDCH, 1).DL_CH_MOD_Combo->text(), "QPSK");
    EXPECT_EQ(row(CPCCH, 0).DL_CH_MOD_Text->text(), "TYPE2");
    EXPECT_EQ(row(CPCCH, 0).DL_CH_TYPE_Label.text(), "CPCCH");
    EXPECT_EQ(row(F_RCCH, 0).DL_CH_TYPE_Label.text(), "RCCH");
    // F-FCH starts on BPSK with its length locked; only F-ACKCH has a second power.
    EXPECT_FALSE(row(F_FCH, 5).DL_CH_WLEN_Combo->enabled());
    EXPECT_TRUE(row(F_FCH, 5).DL_CH_MOD_Combo->enabled());
    EXPECT_TRUE(row(F_ACKCH, 0).DL_CH_POWER2_Text.has_value());
    EXPECT_FALSE(row(F_PDCCH, 0).DL_CH_POWER2_Text.has_value());
    EXPECT_EQ(row(PCH, 3).DL_CH_WNO_Text->object_name(), "DL_CH_WNO_Text_5");
}

TEST_F(ChannelTable, SwitchingATypeMovesTheLaterTypesAndBack) {
    for (int k = 0; k < 3; ++k) {
        number(PCH, k, std::to_string(k + 2)); // distinct codes, typed while the types are off
        number(F_FCH, k, std::to_string(k + 10));
    }
    switch_on(SYNCH);
    switch_on(F_FCH, 2);
    EXPECT_EQ(slots_of(F_FCH), (std::vector<int>{2, 3}));

    switch_on(PCH, 3);
    EXPECT_EQ(slots_of(PCH), (std::vector<int>{2, 3, 4})); // 1 + SYNCH's one row
    EXPECT_EQ(slots_of(F_FCH), (std::vector<int>{5, 6}));
    EXPECT_EQ(row(F_FCH, 1).top, 6 * dl_row_pitch + dl_row_offset);
    EXPECT_EQ(page.row_at_slot(4), page.type_entry(PCH).first_row + 2);
    EXPECT_EQ(page.slot_count(), 7);
    EXPECT_EQ(total(), 7);
    EXPECT_EQ(page.DL_CH_Stat_Command(PCH).caption(), "ON");
    EXPECT_EQ(page.DL_CH_Stat_Command(PCH).colour(), status_on_colour);

    switch_off(PCH);
    EXPECT_EQ(slots_of(F_FCH), (std::vector<int>{2, 3}));
    EXPECT_EQ(page.row_at_slot(4), -1);
    EXPECT_FALSE(row(PCH, 0).shown());
    EXPECT_FALSE(row(PCH, 0).DL_CH_WNO_Text->visible());
    EXPECT_EQ(page.DL_CH_Stat_Command(PCH).caption(), "OFF");
    EXPECT_FALSE(page.DL_CH_Stat_Command(PCH).colour().has_value());
    EXPECT_EQ(total(), 4);
}

TEST_F(ChannelTable, MultiplicityIsClampedAndShowsOrHidesRows) {
    form::TextField& multiplicity = page.DL_CH_Multi_Text(F_SCH);
    EXPECT_EQ(typed(multiplicity, "0"), "1");
    EXPECT_EQ(typed(multiplicity, "200"), "128");
    EXPECT_EQ(typed(multiplicity, "abc"), "128"); // the previous value comes back
    EXPECT_EQ(typed(multiplicity, "5"), "5");
    EXPECT_FALSE(row(F_SCH, 0).shown()); // an off type only keeps the number
    EXPECT_EQ(multiplicity.press_key(U'a'), form::KeyOutcome::Refused);
    EXPECT_EQ(multiplicity.press_key(U'7'), form::KeyOutcome::Accepted);

    switch_on(F_SCH, 5);
    switch_on(F_PDCH, 2);
    EXPECT_EQ(slots_of(F_PDCH), (std::vector<int>{6, 7}));
    multiplicity.spin(+1);
    EXPECT_EQ(multiplicity.text(), "6");
    EXPECT_TRUE(row(F_SCH, 5).shown());
    EXPECT_EQ(slots_of(F_PDCH), (std::vector<int>{7, 8}));
    EXPECT_EQ(typed(multiplicity, "2"), "2");
    EXPECT_FALSE(row(F_SCH, 2).shown());
    EXPECT_FALSE(row(F_SCH, 5).shown());
    EXPECT_EQ(slots_of(F_PDCH), (std::vector<int>{3, 4}));
    EXPECT_EQ(page.slot_count(), 5);
}

TEST_F(ChannelTable, SwitchingOnTakesTheFieldWithinTheCapacity) {
    // A program writes the multiplicity without committing it, as a test model does.
    page.DL_CH_Multi_Text(PCH).set_text("12");
    page.DL_CH_Stat_Command(PCH).press();
    EXPECT_EQ(page.type_entry(PCH).multiplicity, 7);
    EXPECT_EQ(page.DL_CH_Multi_Text(PCH).text(), "7");
    // Switching off hides the rows shown, whatever the field holds meanwhile.
    page.DL_CH_Multi_Text(PCH).set_text("3");
    switch_off(PCH);
    for (int k = 0; k < 7; ++k) {
        EXPECT_FALSE(row(PCH, k).shown()) << k;
    }
    switch_on(F_PDCH);
    EXPECT_EQ(slots_of(F_PDCH), (std::vector<int>{1}));
}

TEST_F(ChannelTable, WalshNumbersAreClampedToTheirTypesLimit) {
    switch_on(PCH, 2);
    EXPECT_EQ(number(PCH, 0, "0"), "1");
    EXPECT_EQ(number(PCH, 0, "9"), "7");
    EXPECT_EQ(number(PCH, 0, "x"), "0");
    EXPECT_EQ(row(PCH, 0).DL_CH_WNO_Text->press_key(U'-'), form::KeyOutcome::Refused);
    row(PCH, 1).DL_CH_WNO_Text->spin(+1);
    EXPECT_EQ(row(PCH, 1).DL_CH_WNO_Text->text(), "2");
    EXPECT_EQ(row(PCH, 1).committed, (WalshCode{64, 2}));

    // An empty field is W0, which clashes with the pilot: the row is marked, the pilot never is.
    EXPECT_EQ(number(PCH, 1, ""), "0");
    EXPECT_TRUE(marked(PCH, 1));
    EXPECT_FALSE(marked(F_PICH, 0));
    EXPECT_EQ(total(), 1); // the pilot; both PCH rows are left out (PCH 0 is at W0 too)
    EXPECT_EQ(number(PCH, 0, "3"), "3");
    EXPECT_EQ(number(PCH, 1, "4"), "4");
    EXPECT_FALSE(marked(F_PICH, 0));
    EXPECT_EQ(total(), 3);
}

TEST_F(ChannelTable, TheLastLengthChosenSetsTheLimitOfAllTheTypesRows) {
    switch_on(F_SCH, 3);
    pick(*row(F_SCH, 0).DL_CH_WLEN_Combo, "128");
    EXPECT_EQ(page.type_entry(F_SCH).max_walsh_number, 127);
    // Another row of the type, at length 4: the type's limit allows 100, the row's own length only 3.
    EXPECT_EQ(number(F_SCH, 1, "100"), "3");
    EXPECT_EQ(row(F_SCH, 1).committed, (WalshCode{4, 3}));
    EXPECT_EQ(number(F_SCH, 0, "90"), "90");
    EXPECT_EQ(row(F_SCH, 0).committed, (WalshCode{128, 90}));

    pick(*row(F_SCH, 1).DL_CH_WLEN_Combo, "4");
    EXPECT_EQ(page.type_entry(F_SCH).max_walsh_number, 3);
    EXPECT_EQ(row(F_SCH, 1).DL_CH_WNO_Text->text(), "3");
    EXPECT_EQ(row(F_SCH, 0).DL_CH_WNO_Text->text(), "90"); // only the chosen row is clamped
    EXPECT_EQ(number(F_SCH, 0, "90"), "3");
}

TEST_F(ChannelTable, BpskLocksTheFundamentalChannelsLengthAt64) {
    switch_on(F_FCH);
    DlRow& fch = row(F_FCH, 0);
    pick(*fch.DL_CH_MOD_Combo, "QPSK");
    EXPECT_TRUE(fch.DL_CH_WLEN_Combo->enabled());
    pick(*fch.DL_CH_WLEN_Combo, "128");
    EXPECT_EQ(number(F_FCH, 0, "100"), "100");
    pick(*fch.DL_CH_MOD_Combo, "BPSK");
    EXPECT_EQ(fch.DL_CH_WLEN_Combo->text(), "64");
    EXPECT_FALSE(fch.DL_CH_WLEN_Combo->enabled());
    EXPECT_EQ(fch.DL_CH_WNO_Text->text(), "63");
    EXPECT_EQ(fch.committed, (WalshCode{64, 63}));
}

TEST_F(ChannelTable, PowerFieldsAreRepairedOnCommit) {
    switch_on(F_ACKCH);
    for (form::TextField* field : {&row(F_PICH, 0).DL_CH_POWER_Text, &row(F_ACKCH, 0).DL_CH_POWER_Text,
                                   &*row(F_ACKCH, 0).DL_CH_POWER2_Text}) {
        EXPECT_EQ(typed(*field, "150"), "100.00");
        EXPECT_EQ(typed(*field, "-120.5"), "-100.00");
        EXPECT_EQ(typed(*field, "abc"), "0.00");
        field->spin(-1);
        EXPECT_EQ(field->text(), "-0.01");
        EXPECT_EQ(field->press_key(U'/'), form::KeyOutcome::Refused);
    }
    // The second power is shown and hidden with its row.
    EXPECT_TRUE(row(F_ACKCH, 0).DL_CH_POWER2_Text->visible());
    switch_off(F_ACKCH);
    EXPECT_FALSE(row(F_ACKCH, 0).DL_CH_POWER2_Text->visible());
}

TEST_F(ChannelTable, ChannelListCarriesPowersRelativeToThePilot) {
    typed(row(F_PICH, 0).DL_CH_POWER_Text, "-7.00");
    switch_on(SYNCH);
    switch_on(QPCH);
    pick(*row(QPCH, 0).DL_CH_WNO_Combo, "80");
    switch_on(F_GCH);
    number(F_GCH, 0, "9");
    switch_on(F_ACKCH);
    number(F_ACKCH, 0, "5");
    switch_on(F_FCH, 2);
    number(F_FCH, 0, "6");
    number(F_FCH, 1, "7");
    typed(row(F_FCH, 0).DL_CH_POWER_Text, "-2.48");
    pick(*row(F_FCH, 1).DL_CH_MOD_Combo, "QPSK");
    pick(*row(F_FCH, 1).DL_CH_WLEN_Combo, "128");
    switch_on(F_SCH);
    pick(*row(F_SCH, 0).DL_CH_WLEN_Combo, "32");
    number(F_SCH, 0, "3");
    switch_on(F_PDCH);
    number(F_PDCH, 0, "2");
    pick(*row(F_PDCH, 0).DL_CH_MOD_Combo, "16QAM");

    pick(form.downlink_general.DL_Filter_Over_Combo, "8");
    pick(form.downlink_general.DL_Filter_Equa_Combo, "ON");
    form.downlink_general.offset.option.select(2);
    typed(form.downlink_general.offset.ifconv, "1.5k");

    const DlChannelList list = channel_list();
    EXPECT_EQ(list.params.oversampling, 8);
    EXPECT_EQ(list.params.phase_equalizer, 1);
    EXPECT_EQ(list.params.iq_inverse, 0);
    EXPECT_EQ(list.params.offset_mode, 2);
    EXPECT_DOUBLE_EQ(list.params.if_freq_hz, 1500.0);
    EXPECT_DOUBLE_EQ(list.params.freq_error_hz, 0.0);
    ASSERT_EQ(list.params.channel_count, 9);
    ASSERT_EQ(list.channels.size(), 9u);
    EXPECT_EQ(total(), 9);

    struct Expected {
        int type, length, number, option;
        double power_db;
    };
    const Expected expected[] = {
        {F_PICH, 256, 0, 0, -7.0}, {SYNCH, 64, 32, 0, 7.0},  {QPCH, 128, 80, 0, 7.0},
        {F_GCH, 256, 9, 0, 7.0},   {F_ACKCH, 64, 5, 0, 7.0}, {F_FCH, 64, 6, 0, -2.48 + 7.0},
        {F_FCH, 128, 7, 1, 7.0},   {F_SCH, 32, 3, 0, 7.0},   {F_PDCH, 32, 2, 3, 7.0},
    };
    for (std::size_t k = 0; k < list.channels.size(); ++k) {
        const DlChannel& channel = list.channels[k];
        EXPECT_EQ(channel.type, expected[k].type) << k;
        EXPECT_EQ(channel.walsh_length, expected[k].length) << k;
        EXPECT_EQ(channel.walsh_index, expected[k].number) << k;
        EXPECT_EQ(channel.option, expected[k].option) << k;
        EXPECT_NEAR(channel.power_db, expected[k].power_db, 1e-12) << k;
    }
    EXPECT_NEAR(list.channels[5].power_db, 4.52, 1e-12); // F-PICH -7.00, F-FCH -2.48
    for (double gain : list.ack_user_gains) {
        EXPECT_EQ(gain, 0.0);
    }
}

TEST_F(ChannelTable, TheScrollBarMovesTheSurfaceBy7363ThousandthsOfAUnitPerStep) {
    VerticalScroll& scroll = page.DL_Channel_Parameters_VScroll;
    EXPECT_EQ(scroll.maximum(), 0);
    switch_on(F_GCH, 128);
    EXPECT_GE(scroll.maximum() * dl_scroll_units_per_step, 128 * dl_row_pitch);
    scroll.set_value(10);
    EXPECT_EQ(scroll.surface_offset(), -74); // 73.63 rounded
    scroll.set_value(1'000'000);
    EXPECT_EQ(scroll.value(), scroll.maximum());
    switch_off(F_GCH);
    EXPECT_EQ(scroll.value(), 0);
}

} // namespace
} // namespace varnika
