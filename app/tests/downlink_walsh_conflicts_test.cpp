// Forward-link Walsh-code conflicts: the clash rule against Walsh functions built from their definition, and
// the warning marks of the channel table as rows are shown, changed, hidden and switched off.
#include "downlink/walsh_conflicts.h"
#include "downlink_test_support.h"

#include <bit>
#include <random>

namespace varnika {
namespace {

using testing::pick;

// Walsh function n of length `length` in Sylvester order, chip c: (-1)^(number of common one bits).
int walsh_chip(int number, int chip) {
    return std::popcount(static_cast<unsigned>(number & chip)) % 2 == 0 ? 1 : -1;
}

// Two codes clash when they are not orthogonal over a symbol of the shorter one: the shorter code carries a
// new symbol every `shorter` chips, so every such stretch of the longer code must be orthogonal to it.
bool correlated(int length_a, int number_a, int length_b, int number_b) {
    const int shorter = std::min(length_a, length_b);
    const int longer = std::max(length_a, length_b);
    for (int start = 0; start < longer; start += shorter) {
        int sum = 0;
        for (int c = start; c < start + shorter; ++c) {
            sum += walsh_chip(number_a, c % length_a) * walsh_chip(number_b, c % length_b);
        }
        if (sum != 0) {
            return true;
        }
    }
    return false;
}

WalshPositionTable filled_table() {
    WalshPositionTable table;
    table.fill();
    return table;
}

TEST(CodesConflict, ExactlyTheCodesThatAreNotOrthogonal) {
    const WalshPositionTable table = filled_table();
    for (int la = 4; la <= 128; la *= 2) {
        for (int lb = la; lb <= 128; lb *= 2) {
            for (int na = 0; na < la; ++na) {
                for (int nb = 0; nb < lb; ++nb) {
                    const bool want = correlated(la, na, lb, nb);
                    ASSERT_EQ(codes_conflict(table, la, na, lb, nb), want)
                        << la << " " << na << " " << lb << " " << nb;
                    ASSERT_EQ(codes_conflict(table, lb, nb, la, na), want);
                }
            }
        }
    }
}

TEST(CodesConflict, WorkedExamplesAndCodesOutsideTheirLength) {
    const WalshPositionTable table = filled_table();
    EXPECT_TRUE(codes_conflict(table, 8, 3, 16, 11));
    EXPECT_TRUE(codes_conflict(table, 8, 3, 32, 27));
    EXPECT_FALSE(codes_conflict(table, 8, 3, 16, 7));
    // Length 256 is tested as 128: the pilot clashes only with number 0, F-GCH rows by equal numbers.
    for (int length = 4; length <= 128; length *= 2) {
        EXPECT_TRUE(codes_conflict(table, 256, 0, length, 0));
        for (int n = 1; n < length; ++n) {
            ASSERT_FALSE(codes_conflict(table, 256, 0, length, n)) << length << " " << n;
        }
    }
    EXPECT_TRUE(codes_conflict(table, 256, 5, 256, 5));
    EXPECT_FALSE(codes_conflict(table, 256, 5, 256, 6));
    EXPECT_TRUE(codes_conflict(table, 256, 5, 128, 5));
    // A shorter number its table lacks stands at position 0; a longer one clashes with nothing shorter.
    EXPECT_TRUE(codes_conflict(table, 8, 9, 16, 8));
    EXPECT_FALSE(codes_conflict(table, 8, 9, 16, 9));
    EXPECT_FALSE(codes_conflict(table, 16, 20, 8, 4));
    EXPECT_TRUE(codes_conflict(table, 16, 20, 16, 20));
}

using ConflictMarks = testing::StartedDownlink;

TEST_F(ConflictMarks, TwoRowsOnOneCodeAreBothMarkedUntilOneMoves) {
    switch_on(PCH, 2);
    EXPECT_TRUE(marked(PCH, 0));
    EXPECT_TRUE(marked(PCH, 1));
    EXPECT_EQ(total(), 1);
    number(PCH, 1, "3");
    EXPECT_FALSE(marked(PCH, 0));
    EXPECT_FALSE(marked(PCH, 1));
    EXPECT_EQ(total(), 3);
}

TEST_F(ConflictMarks, AShortCodeMarksEveryCodeBuiltFromIt) {
    switch_on(F_FCH, 12);
    for (int k = 0; k < 12; ++k) {
        number(F_FCH, k, std::to_string(k + 1));
    }
    EXPECT_EQ(total(), 13);
    switch_on(F_SCH); // W4(1)
    for (int k = 0; k < 12; ++k) {
        EXPECT_EQ(marked(F_FCH, k), (k + 1) % 4 == 1) << "F-FCH W64(" << k + 1 << ")";
    }
    EXPECT_TRUE(marked(F_SCH, 0));
    EXPECT_EQ(total(), 14 - 4); // F-FCH 1, 5, 9 and the F-SCH row
    switch_off(F_SCH);
    for (int k = 0; k < 12; ++k) {
        EXPECT_FALSE(marked(F_FCH, k)) << k;
    }
    EXPECT_EQ(total(), 13);
    switch_off(F_FCH);

    const std::vector<int> ccch{1, 5, 9, 13, 2, 3, 6};
    switch_on(F_CCCH, 7);
    for (std::size_t k = 0; k < ccch.size(); ++k) {
        number(F_CCCH, static_cast<int>(k), std::to_string(ccch[k]));
    }
    switch_on(F_SCH);
    for (std::size_t k = 0; k < ccch.size(); ++k) {
        EXPECT_EQ(marked(F_CCCH, static_cast<int>(k)), ccch[k] % 4 == 1) << "F-CCCH W16(" << ccch[k] << ")";
    }
}

TEST_F(ConflictMarks, ANewLengthKeepsOnlyTheMarksItsNewCodeCauses) {
    switch_on(F_FCH, 3);
    number(F_FCH, 0, "1");
    number(F_FCH, 1, "5");
    number(F_FCH, 2, "9");
    switch_on(F_SCH);
    EXPECT_EQ(total(), 5 - 4);
    pick(*row(F_SCH, 0).DL_CH_WLEN_Combo, "8"); // W8(1): built into W64(1) and W64(9), not W64(5)
    EXPECT_TRUE(marked(F_FCH, 0));
    EXPECT_FALSE(marked(F_FCH, 1));
    EXPECT_TRUE(marked(F_FCH, 2));
    EXPECT_TRUE(marked(F_SCH, 0));
    EXPECT_EQ(total(), 5 - 3);
}

TEST_F(ConflictMarks, MarksGoWhenTheRowTheyClashedWithHides) {
    switch_on(PCH, 3);
    number(PCH, 0, "4");
    number(PCH, 1, "5");
    number(PCH, 2, "4");
    EXPECT_TRUE(marked(PCH, 0));
    typed(page.DL_CH_Multi_Text(PCH), "2");
    EXPECT_FALSE(marked(PCH, 0));
    EXPECT_FALSE(marked(PCH, 2));
    EXPECT_EQ(total(), 3);

    switch_on(F_DCCH);
    number(F_DCCH, 0, "4");
    EXPECT_TRUE(marked(PCH, 0));
    EXPECT_EQ(total(), 2);
    switch_off(F_DCCH);
    EXPECT_FALSE(marked(PCH, 0));
    EXPECT_EQ(total(), 3);
}

TEST_F(ConflictMarks, AMarkStaysWhileAnotherClashRemains) {
    switch_on(PCH, 3);
    number(PCH, 0, "4");
    number(PCH, 1, "4");
    number(PCH, 2, "4");
    number(PCH, 2, "6");
    EXPECT_TRUE(marked(PCH, 0));
    EXPECT_TRUE(marked(PCH, 1));
    EXPECT_FALSE(marked(PCH, 2));
}

TEST_F(ConflictMarks, GroupChannelsClashOnlyOnEqualNumbers) {
    switch_on(F_GCH, 2);
    number(F_GCH, 0, "5");
    number(F_GCH, 1, "6");
    EXPECT_FALSE(marked(F_GCH, 0));
    number(F_GCH, 1, "5");
    EXPECT_TRUE(marked(F_GCH, 0));
    EXPECT_TRUE(marked(F_GCH, 1));
    number(F_GCH, 1, "69");
    EXPECT_FALSE(marked(F_GCH, 0));
    switch_on(CPCCH);
    number(CPCCH, 0, "69"); // W128(69): a length-256 code is tested as length 128
    EXPECT_TRUE(marked(F_GCH, 1));
}

TEST_F(ConflictMarks, WhileLoadingACommitNeitherTestsNorClearsButShowingStillTests) {
    switch_on(PCH, 2); // both at 1: marked
    form.model.loading_flag = true;
    number(PCH, 1, "3");
    EXPECT_TRUE(marked(PCH, 0));
    EXPECT_TRUE(marked(PCH, 1));
    EXPECT_EQ(total(), 1); // not updated either
    switch_on(F_DCCH);     // W64(1) against PCH 0
    EXPECT_TRUE(marked(F_DCCH, 0));
    form.model.loading_flag = false;
    page.update_total_count();
    EXPECT_EQ(total(), 1);
}

TEST_F(ConflictMarks, ANumberWrittenByTheProgramIsTheCodeLaterCleared) {
    pick(page.DL_CH_TestModel_Combo, "Test Model1  FCH 1"); // F-FCH W64(6), written, not committed
    page.DL_CH_TestModel_Command.press();
    switch_on(F_SCCH);
    number(F_SCCH, 0, "6");
    EXPECT_TRUE(marked(F_FCH, 0));
    EXPECT_TRUE(marked(F_SCCH, 0));
    number(F_FCH, 0, "7");
    EXPECT_FALSE(marked(F_SCCH, 0));
    EXPECT_FALSE(marked(F_FCH, 0));
    EXPECT_EQ(total(), 5);
}

TEST_F(ConflictMarks, AHiddenRowNeitherCarriesNorCausesMarks) {
    // An empty F-SCH number (W4(0)) clashes with the pilot while F-SCH is on.
    switch_on(F_SCH);
    number(F_SCH, 0, "");
    EXPECT_TRUE(marked(F_SCH, 0));
    EXPECT_FALSE(marked(F_PICH, 0)); // the pilot is never the row left out
    // "Set Default" switches F-SCH off and then applies its length choice, which commits the hidden row's
    // number again: the hidden row must not mark the pilot.
    page.DL_CH_Default_Button.press();
    EXPECT_FALSE(marked(F_PICH, 0));
    EXPECT_FALSE(marked(F_SCH, 0));
    EXPECT_EQ(total(), 1);
    ASSERT_EQ(channel_list().channels.size(), 1u);
    // Committing a number in a row whose type is off tests nothing.
    number(PCH, 0, "");
    EXPECT_FALSE(marked(F_PICH, 0));
    EXPECT_FALSE(marked(PCH, 0));
}

// After any sequence of edits, a shown row other than the pilot is marked exactly when another shown row's
// code clashes with it, the pilot never is, no hidden row is marked, and "Total No" counts the records a
// generation takes.
TEST_F(ConflictMarks, MarksFollowTheClashesAfterAnySequenceOfEdits) {
    const std::vector<int> types{PCH, BCCH, QPCH, F_GCH, CACH, F_CCCH, F_FCH, F_SCH, F_PDCH};
    std::mt19937 random(20240611);
    auto any = [&random](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    const WalshPositionTable& table = form.walsh_positions;
    int steps_with_marks = 0;

    for (int step = 0; step < 400; ++step) {
        const int type = types[static_cast<std::size_t>(any(static_cast<int>(types.size())))];
        const int capacity = std::min(page.type_entry(type).capacity, 6);
        DlRow& edited = row(type, any(capacity));
        switch (any(6)) {
        case 0:
            page.DL_CH_Stat_Command(type).press();
            break;
        case 1:
            typed(page.DL_CH_Multi_Text(type), std::to_string(1 + any(capacity)));
            break;
        case 2:
        case 3:
            if (edited.DL_CH_WNO_Combo) {
                edited.DL_CH_WNO_Combo->select(any(3));
            } else {
                typed(*edited.DL_CH_WNO_Text, std::to_string(any(20)));
            }
            break;
        case 4:
            if (edited.DL_CH_WLEN_Combo && edited.DL_CH_WLEN_Combo->enabled()) {
                edited.DL_CH_WLEN_Combo->select(any(edited.DL_CH_WLEN_Combo->count()));
            }
            break;
        default:
            if (edited.DL_CH_MOD_Combo) {
                edited.DL_CH_MOD_Combo->select(any(edited.DL_CH_MOD_Combo->count()));
            }
            break;
        }

        std::vector<bool> is_shown(dl_row_count, false);
        std::vector<std::pair<int, WalshCode>> shown;
        page.for_each_instance_row([&](int r) {
            is_shown[static_cast<std::size_t>(r)] = true;
            shown.emplace_back(r, page.row(r).code());
        });
        for (int r = 0; r < dl_row_count; ++r) {
            const DlRow& checked = page.row(r);
            ASSERT_EQ(checked.shown(), is_shown[static_cast<std::size_t>(r)])
                << "step " << step << " row " << r;
            if (!checked.shown()) {
                ASSERT_FALSE(checked.marked()) << "step " << step << " row " << r;
                continue;
            }
            const WalshCode a = checked.code();
            bool clashes = false;
            for (const auto& [other, b] : shown) {
                clashes =
                    clashes || (other != r && codes_conflict(table, a.length, a.number, b.length, b.number));
            }
            // The pilot stays in the waveform: the row that clashes with it is the one marked.
            ASSERT_EQ(checked.marked(), clashes && checked.type() != F_PICH)
                << "step " << step << " row " << r;
        }
        steps_with_marks += total() < page.slot_count() ? 1 : 0;
        ASSERT_EQ(static_cast<std::size_t>(total()), channel_list().channels.size()) << "step " << step;
    }
    EXPECT_GT(steps_with_marks, 100); // the walk spends much of its time among clashes
}

} // namespace
} // namespace varnika
