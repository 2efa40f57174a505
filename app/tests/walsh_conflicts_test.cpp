// The reverse-link Walsh-conflict rules and the list rebuilds they drive.
#include "uplink_test_support.h"

#include "uplink/walsh_conflicts.h"

#include <random>

namespace varnika {
namespace {

using testing::choose;

using WalshConflicts = testing::StartedWindow;

TEST_F(WalshConflicts, QpskPdchOnW4KeepsEachAndSch2Off) {
    choose(rc7.PDCH_Mod, "QPSK");
    choose(rc7.PDCH, "W4(2)");
    choose(rc7.EACH, "W8(2)");
    EXPECT_EQ(rc7.EACH.walsh.text(), "OFF");
    choose(rc7.SCH2, "W4(2)");
    EXPECT_EQ(rc7.SCH2.walsh.text(), "OFF");
    choose(rc7.SCH2, "W8(6)");
    EXPECT_EQ(rc7.SCH2.walsh.text(), "OFF");
    EXPECT_EQ(rc7.PDCH.walsh.text(), "W4(2)");
}

// SCH1 on W4(2) with repetition 1 and SCH2 on W8(6) is never reached: whichever choice comes last is undone.
struct UnreachableOrder {
    const char* name;
    std::vector<int> order; // 0: SCH1 "W4(2)", 1: repetition "1", 2: SCH2 "W8(6)"
};
void PrintTo(const UnreachableOrder& order, std::ostream* out) {
    *out << order.name;
}

class UnreachableCombination : public testing::StartedWindow,
                               public ::testing::WithParamInterface<UnreachableOrder> {
protected:
    template <class Group> void make_last_choice_fail(Group& g) {
        const auto& order = GetParam().order;
        // The first two choices are made in a state that allows them.
        choose(g.SCH1_Repetition, "2");
        for (std::size_t k = 0; k < order.size(); ++k) {
            switch (order[k]) {
            case 0:
                choose(g.SCH1, "W4(2)");
                break;
            case 1:
                choose(g.SCH1_Repetition, "1");
                break;
            default:
                choose(g.SCH2, "W8(6)");
                break;
            }
        }
        const bool reached = g.SCH1.walsh.text() == "W4(2)" && g.SCH1_Repetition.list.text() == "1" &&
                             g.SCH2.walsh.text() == "W8(6)";
        EXPECT_FALSE(reached);
        switch (order.back()) {
        case 0:
            EXPECT_EQ(g.SCH1.walsh.text(), "OFF");
            break;
        case 1:
            EXPECT_EQ(g.SCH1_Repetition.list.text(), "2");
            break;
        default:
            EXPECT_EQ(g.SCH2.walsh.text(), "OFF");
            break;
        }
    }
};

TEST_P(UnreachableCombination, Rc34) {
    make_last_choice_fail(rc34);
}
TEST_P(UnreachableCombination, Rc7) {
    make_last_choice_fail(rc7);
}

INSTANTIATE_TEST_SUITE_P(EveryOrder, UnreachableCombination,
                         ::testing::Values(UnreachableOrder{"Sch1Last", {1, 2, 0}},
                                           UnreachableOrder{"Sch1LastOtherWay", {2, 1, 0}},
                                           UnreachableOrder{"RepetitionLast", {0, 2, 1}},
                                           UnreachableOrder{"RepetitionLastOtherWay", {2, 0, 1}},
                                           UnreachableOrder{"Sch2Last", {0, 1, 2}},
                                           UnreachableOrder{"Sch2LastOtherWay", {1, 0, 2}}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST_F(WalshConflicts, Sch1OnW4ShortensItsRepetitionList) {
    for (auto* group_lists : {&rc34.SCH1_Repetition, &rc7.SCH1_Repetition}) {
        UplinkChannel& sch1 = group_lists == &rc34.SCH1_Repetition ? rc34.SCH1 : rc7.SCH1;
        choose(*group_lists, "32");
        choose(sch1, "W4(2)");
        EXPECT_EQ(group_lists->list.count(), 5);
        EXPECT_EQ(group_lists->list.text(), "16");
        // Back to W2(1): six entries again, the position kept.
        choose(sch1, "W2(1)");
        EXPECT_EQ(group_lists->list.count(), 6);
        EXPECT_EQ(group_lists->list.text(), "16");
        choose(*group_lists, "4");
        choose(sch1, "W4(2)");
        EXPECT_EQ(group_lists->list.text(), "4");
    }
}

TEST_F(WalshConflicts, Sch2OnW8ShortensItsRepetitionList) {
    for (auto* lists : {&rc34.SCH2_Repetition, &rc7.SCH2_Repetition}) {
        UplinkChannel& sch2 = lists == &rc34.SCH2_Repetition ? rc34.SCH2 : rc7.SCH2;
        EXPECT_EQ(lists->list.count(), 5);
        choose(*lists, "16");
        choose(sch2, "W8(6)");
        EXPECT_EQ(lists->list.count(), 4);
        EXPECT_EQ(lists->list.text(), "8");
        choose(sch2, "W4(2)");
        EXPECT_EQ(lists->list.count(), 5);
        EXPECT_EQ(lists->list.text(), "8");
    }
}

TEST_F(WalshConflicts, Rc34Sch1AndSch2MayNotBothUseW4) {
    choose(rc34.SCH2, "W4(2)");
    choose(rc34.SCH1, "W4(2)");
    EXPECT_EQ(rc34.SCH1.walsh.text(), "OFF");
    choose(rc34.SCH1, "W2(1)");
    EXPECT_EQ(rc34.SCH1.walsh.text(), "W2(1)");
    choose(rc34.SCH2, "OFF");
    choose(rc34.SCH1, "W4(2)");
    choose(rc34.SCH2, "W4(2)");
    EXPECT_EQ(rc34.SCH2.walsh.text(), "OFF");
    EXPECT_EQ(rc34.SCH1.walsh.text(), "W4(2)");
}

TEST_F(WalshConflicts, EachGivesWayToTheCodesItShares) {
    choose(rc7.SCH1, "W4(2)");
    choose(rc7.EACH, "W8(2)");
    EXPECT_EQ(rc7.EACH.walsh.text(), "OFF");
    choose(rc7.SCH1, "OFF");

    choose(rc7.PDCH_Mod, "8PSK");
    choose(rc7.PDCH, "W2(1)&W4(2)");
    choose(rc7.EACH, "W8(2)");
    EXPECT_EQ(rc7.EACH.walsh.text(), "OFF");

    // With BPSK the PDCH on W4(2) leaves EACH alone.
    choose(rc7.PDCH_Mod, "BPSK");
    EXPECT_EQ(rc7.PDCH.walsh.text(), "W4(2)");
    choose(rc7.EACH, "W8(2)");
    EXPECT_EQ(rc7.EACH.walsh.text(), "W8(2)");
}

TEST_F(WalshConflicts, Sch1GivesWayToPdchAndEach) {
    choose(rc7.EACH, "W8(2)");
    choose(rc7.SCH1, "W4(2)");
    EXPECT_EQ(rc7.SCH1.walsh.text(), "OFF");
    choose(rc7.EACH, "OFF");

    choose(rc7.PDCH_Mod, "QPSK");
    choose(rc7.PDCH, "W2(1)");
    choose(rc7.SCH1, "W2(1)");
    EXPECT_EQ(rc7.SCH1.walsh.text(), "OFF");
    choose(rc7.SCH1, "W4(2)");
    EXPECT_EQ(rc7.SCH1.walsh.text(), "W4(2)");

    choose(rc7.SCH1, "OFF");
    choose(rc7.PDCH, "W4(2)");
    choose(rc7.SCH1, "W4(2)");
    EXPECT_EQ(rc7.SCH1.walsh.text(), "OFF");
    choose(rc7.SCH1, "W2(1)");
    EXPECT_EQ(rc7.SCH1.walsh.text(), "W2(1)");
}

TEST_F(WalshConflicts, Sch2GivesWayToPdchOnW4WhateverTheModulation) {
    choose(rc7.PDCH_Mod, "BPSK");
    choose(rc7.PDCH, "W4(2)");
    choose(rc7.SCH2, "W8(6)");
    EXPECT_EQ(rc7.SCH2.walsh.text(), "OFF");
    choose(rc7.PDCH, "OFF");
    choose(rc7.SCH1, "W4(2)");
    choose(rc7.SCH2, "W4(2)");
    EXPECT_EQ(rc7.SCH2.walsh.text(), "OFF");
    choose(rc7.SCH2, "W8(6)");
    EXPECT_EQ(rc7.SCH2.walsh.text(), "OFF"); // SCH1 on W4(2) at repetition 1
    choose(rc7.SCH1_Repetition, "2");
    choose(rc7.SCH2, "W8(6)");
    EXPECT_EQ(rc7.SCH2.walsh.text(), "W8(6)");
}

TEST_F(WalshConflicts, PdchGivesWayToTheChannelsAlreadyOn) {
    choose(rc7.PDCH_Mod, "QPSK");
    choose(rc7.SCH1, "W2(1)");
    choose(rc7.PDCH, "W2(1)");
    EXPECT_EQ(rc7.PDCH.walsh.text(), "OFF");
    choose(rc7.PDCH, "W2(1)&W4(2)");
    EXPECT_EQ(rc7.PDCH.walsh.text(), "OFF");
    choose(rc7.PDCH, "W4(2)");
    EXPECT_EQ(rc7.PDCH.walsh.text(), "W4(2)");

    choose(rc7.PDCH, "OFF");
    choose(rc7.SCH1, "W4(2)");
    choose(rc7.PDCH, "W4(2)"); // QPSK uses both branches of W4(2)
    EXPECT_EQ(rc7.PDCH.walsh.text(), "OFF");
    choose(rc7.PDCH_Mod, "BPSK");
    choose(rc7.PDCH, "W4(2)"); // BPSK on W4(2) stands beside SCH1 on W4(2)
    EXPECT_EQ(rc7.PDCH.walsh.text(), "W4(2)");

    choose(rc7.PDCH, "OFF");
    choose(rc7.SCH2, "W4(2)");
    EXPECT_EQ(rc7.SCH2.walsh.text(), "OFF"); // SCH1 holds W4(2)
    choose(rc7.SCH1, "OFF");
    choose(rc7.SCH2, "W4(2)");
    choose(rc7.PDCH, "W4(2)");
    EXPECT_EQ(rc7.PDCH.walsh.text(), "OFF");
}

TEST_F(WalshConflicts, ModulationRebuildsThePdchWalshList) {
    choose(rc7.PDCH_Mod, "QPSK");
    EXPECT_EQ(rc7.PDCH.walsh.items(), pdch_walsh_items_qpsk);
    EXPECT_EQ(rc7.PDCH.walsh.text(), "OFF");
    choose(rc7.PDCH, "W2(1)");
    choose(rc7.PDCH_Mod, "BPSK");
    EXPECT_EQ(rc7.PDCH.walsh.items(), pdch_walsh_items_bpsk);
    EXPECT_EQ(rc7.PDCH.walsh.text(), "W4(2)");
    choose(rc7.PDCH_Mod, "QPSK");
    EXPECT_EQ(rc7.PDCH.walsh.text(), "W4(2)");
    choose(rc7.PDCH_Mod, "8PSK");
    EXPECT_EQ(rc7.PDCH.walsh.items(), pdch_walsh_items_8psk);
    EXPECT_EQ(rc7.PDCH.walsh.text(), "W2(1)&W4(2)");
    choose(rc7.PDCH, "OFF");
    choose(rc7.PDCH_Mod, "BPSK");
    EXPECT_EQ(rc7.PDCH.walsh.text(), "OFF");
}

TEST_F(WalshConflicts, QpskToBpskFallsBackToOffWhenSch2IsOn) {
    choose(rc7.PDCH_Mod, "QPSK");
    choose(rc7.PDCH, "W2(1)");
    choose(rc7.SCH2, "W8(6)");
    EXPECT_EQ(rc7.SCH2.walsh.text(), "W8(6)");
    choose(rc7.PDCH_Mod, "BPSK");
    EXPECT_EQ(rc7.PDCH.walsh.text(), "OFF");
}

// Whatever the user chooses, in whatever order, the RC7 group never ends a choice in a state that a rule
// forbids. A fixed seed keeps the run repeatable.
TEST_F(WalshConflicts, NoSequenceOfChoicesReachesAForbiddenState) {
    std::mt19937 random(20240607);
    std::vector<form::ChoiceList*> lists{
        &rc7.EACH.walsh,    &rc7.SCH1.walsh,           &rc7.SCH2.walsh,          &rc7.PDCH.walsh,
        &rc7.PDCH_Mod.list, &rc7.SCH1_Repetition.list, &rc7.SCH2_Repetition.list};
    auto is = [](const UplinkChannel& c, const char* w) { return c.walsh.text() == w; };
    for (int step = 0; step < 3000; ++step) {
        form::ChoiceList& list = *lists[random() % lists.size()];
        list.select(static_cast<int>(random() % static_cast<unsigned>(list.count())));

        const bool pdch_qpsk_w4 = rc7.PDCH_Mod.list.text() == "QPSK" && is(rc7.PDCH, "W4(2)");
        const bool pdch_both = is(rc7.PDCH, "W2(1)&W4(2)");
        ASSERT_FALSE(is(rc7.SCH1, "W4(2)") && is(rc7.SCH2, "W4(2)")) << step;
        ASSERT_FALSE(is(rc7.SCH1, "W4(2)") && rc7.SCH1_Repetition.list.text() == "1" && is(rc7.SCH2, "W8(6)"))
            << step;
        ASSERT_FALSE(rc7.EACH.on() && (pdch_qpsk_w4 || pdch_both || is(rc7.SCH1, "W4(2)"))) << step;
        ASSERT_FALSE(is(rc7.SCH1, "W2(1)") && (is(rc7.PDCH, "W2(1)") || pdch_both)) << step;
        ASSERT_FALSE(is(rc7.SCH1, "W4(2)") && (pdch_qpsk_w4 || pdch_both)) << step;
        ASSERT_FALSE(rc7.SCH2.on() && (is(rc7.PDCH, "W4(2)") || pdch_both)) << step;
        ASSERT_EQ(rc7.SCH1_Repetition.list.count(), is(rc7.SCH1, "W4(2)") ? 5 : 6) << step;
        ASSERT_EQ(rc7.SCH2_Repetition.list.count(), is(rc7.SCH2, "W8(6)") ? 4 : 5) << step;
        ASSERT_GE(rc7.PDCH.walsh.selected(), 0) << step;
    }
}

} // namespace
} // namespace varnika
