// The Walsh position tables and Tester Mode with its password dialog.
#include "uplink_test_support.h"

#include "downlink/walsh_position_table.h"
#include "uplink/tester_mode.h"

namespace varnika {
namespace {

// Plain bit reversal over `bits` bits, independent of the table's doubling construction.
int reversed(int value, int bits) {
    int out = 0;
    for (int b = 0; b < bits; ++b) {
        if (value & (1 << b)) {
            out |= 1 << (bits - 1 - b);
        }
    }
    return out;
}

TEST(WalshPositionTable, EntriesAreBitReversedPositions) {
    WalshPositionTable table;
    EXPECT_EQ(table.table(128)[1], 0); // empty until filled at start-up
    table.fill();
    const std::vector<std::int32_t> four(table.table(4).begin(), table.table(4).end());
    EXPECT_EQ(four, (std::vector<std::int32_t>{0, 2, 1, 3}));
    const std::vector<std::int32_t> eight(table.table(8).begin(), table.table(8).end());
    EXPECT_EQ(eight, (std::vector<std::int32_t>{0, 4, 2, 6, 1, 5, 3, 7}));
    const auto longest = table.table(128);
    ASSERT_EQ(longest.size(), 128u);
    EXPECT_EQ(std::vector<std::int32_t>(longest.begin(), longest.begin() + 8),
              (std::vector<std::int32_t>{0, 64, 32, 96, 16, 80, 48, 112}));
    EXPECT_EQ(longest[126], 63);
    EXPECT_EQ(longest[127], 127);
    for (int bits = 2; bits <= 7; ++bits) {
        const int n = 1 << bits;
        const auto entries = table.table(n);
        ASSERT_EQ(entries.size(), static_cast<std::size_t>(n));
        for (int p = 0; p < n; ++p) {
            ASSERT_EQ(entries[static_cast<std::size_t>(p)], reversed(p, bits)) << n << " " << p;
        }
    }
}

TEST(WalshPositionTable, CodesBuiltFromOneCodeSitSideBySide) {
    WalshPositionTable table;
    table.fill();
    // Codes n and n + N of length 2N are built from code n of length N: positions 2p and 2p + 1.
    for (int n = 4; n < 128; n *= 2) {
        for (int number = 0; number < n; ++number) {
            const int p = table.position_of(n, number);
            EXPECT_EQ(table.position_of(2 * n, number), 2 * p);
            EXPECT_EQ(table.position_of(2 * n, number + n), 2 * p + 1);
        }
    }
    EXPECT_EQ(table.position_of(16, 99), 0);
    EXPECT_EQ(table.position_of(256, 3), 0);
    EXPECT_TRUE(table.table(256).empty());
}

// The password, worked back from the compare value through an independent bit reversal: the character at
// position p is the one whose code plus p is the reversed position of the wanted character.
std::u32string working_password() {
    const std::string wanted = "Zq.Hw7";
    std::u32string password;
    for (std::size_t k = 0; k < wanted.size(); ++k) {
        password.push_back(static_cast<char32_t>(reversed(wanted[k], 7) - static_cast<int>(k + 1)));
    }
    return password;
}

std::string utf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

TEST(TesterPassword, OnlyTheWorkingPasswordPasses) {
    WalshPositionTable table;
    table.fill();
    const auto positions = table.table(128);
    const std::u32string password = working_password();
    EXPECT_EQ(password, std::u32string(U",E7\x05rp"));
    EXPECT_TRUE(tester_password_accepted(password, positions));
    EXPECT_FALSE(tester_password_accepted(U"", positions));
    EXPECT_FALSE(tester_password_accepted(password.substr(0, 5), positions));
    EXPECT_FALSE(tester_password_accepted(password + U"x", positions));
    EXPECT_FALSE(tester_password_accepted(U"Zq.Hw7", positions));
    // A character whose code plus its position passes 128 fails the check at once.
    std::u32string beyond = password;
    beyond[5] = U'{'; // 123 + 6 = 129
    EXPECT_FALSE(tester_password_accepted(beyond, positions));
    beyond[5] = U'z'; // 122 + 6 = 128: one past the table
    EXPECT_FALSE(tester_password_accepted(beyond, positions));
    beyond[5] = U'\u00e9';
    EXPECT_FALSE(tester_password_accepted(beyond, positions));
    beyond[5] = U'\u4e2d';
    EXPECT_FALSE(tester_password_accepted(beyond, positions));
}

class TesterModeFlow : public testing::StartedWindow {
protected:
    form::ChoiceList& combo = form.tester_mode.Tester_Mode_Combo;
    PasswordDialog& dialog = form.tester_mode.dialog;

    // The user types `text` into the dialog and then does `finish`.
    void answer(const std::string& text, std::function<void()> finish) {
        platform.on_modal = [this, text, finish](form::Dialog& shown) {
            EXPECT_EQ(&shown, &dialog.Form4);
            EXPECT_TRUE(dialog.Form4.visible());
            EXPECT_EQ(dialog.Pass_Text.text(), ""); // a fresh field every time
            EXPECT_EQ(combo.text(), "OFF");         // the list waits on "OFF" while the dialog is open
            dialog.Pass_Text.set_text(text);
            finish();
            EXPECT_FALSE(dialog.Form4.visible());
        };
    }
};

TEST_F(TesterModeFlow, CancelLeavesTheModeOff) {
    answer(utf8(working_password()), [this] { dialog.Chancel_Command.press(); });
    combo.select(1);
    EXPECT_EQ(platform.modal_runs, 1);
    EXPECT_EQ(combo.text(), "OFF");
    EXPECT_EQ(form.model.tester_mode_flag, 0);
}

TEST_F(TesterModeFlow, AWrongPasswordClosesSilentlyAndLeavesOff) {
    answer("Zq.Hw7", [this] { dialog.OK_Command.press(); });
    combo.select(1);
    EXPECT_EQ(combo.text(), "OFF");
    EXPECT_EQ(form.model.tester_mode_flag, 0);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(TesterModeFlow, TheRightPasswordSwitchesOnAndOffNeedsNone) {
    answer(utf8(working_password()), [this] { dialog.OK_Command.press(); });
    combo.select(1);
    EXPECT_EQ(combo.text(), "ON");
    EXPECT_EQ(form.model.tester_mode_flag, 1);
    EXPECT_EQ(dialog.Pass_Text.masked(), true);

    // Already on: choosing "ON" again asks nothing.
    combo.select(1);
    EXPECT_EQ(platform.modal_runs, 1);
    EXPECT_EQ(form.model.tester_mode_flag, 1);

    combo.select(0);
    EXPECT_EQ(platform.modal_runs, 1);
    EXPECT_EQ(form.model.tester_mode_flag, 0);
}

TEST_F(TesterModeFlow, EnterInThePasswordFieldActsAsOk) {
    answer(utf8(working_password()), [this] {
        EXPECT_EQ(dialog.Pass_Text.press_key(form::TextField::enter_key), form::KeyOutcome::Handled);
    });
    combo.select(1);
    EXPECT_EQ(form.model.tester_mode_flag, 1);
}

TEST_F(TesterModeFlow, ACharacterBeyondTheTableFails) {
    std::u32string password = working_password();
    password[0] = U'\u007f'; // 127 + 1 = 128
    answer(utf8(password), [this] { dialog.OK_Command.press(); });
    combo.select(1);
    EXPECT_EQ(form.model.tester_mode_flag, 0);
    EXPECT_EQ(combo.text(), "OFF");
}

TEST_F(TesterModeFlow, ClosingTheDialogByItsCloseBoxActsAsCancel) {
    answer("whatever", [this] { dialog.Form4.close(); });
    combo.select(1);
    EXPECT_EQ(form.model.tester_mode_flag, 0);
    EXPECT_EQ(combo.text(), "OFF");
}

TEST_F(TesterModeFlow, IgnoredWhileLoading) {
    form.model.loading_flag = true;
    combo.select(1);
    EXPECT_EQ(platform.modal_runs, 0);
    EXPECT_EQ(form.model.tester_mode_flag, 0);
}

} // namespace
} // namespace varnika
