// The command line's words: what each option takes and refuses, and the choices it records.
#include "cli_options.h"
#include "headless_desktop.h"
#include "run/file_naming.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace varnika::cli {
namespace {

ParsedArguments parse(std::vector<std::string> words) {
    return parse_arguments(words);
}

TEST(CommandLine, ReadsTheCommandItsFileAndEveryChoiceInAnyOrder) {
    const ParsedArguments parsed =
        parse({"--link", "downlink", "make-awg", "out.awv", "--rc=7", "--test-model", "9", "--ratio", "80",
               "--iq-inverse", "on", "--reference", "out.ref", "--settings-dir", "/tmp", "--save-settings"});
    ASSERT_TRUE(parsed.options) << parsed.error;
    const Options& o = *parsed.options;
    EXPECT_EQ(o.command, Command::MakeAwg);
    EXPECT_EQ(o.file, "out.awv");
    EXPECT_EQ(o.link, 1);
    EXPECT_EQ(o.configuration, 2);
    EXPECT_EQ(o.test_model, 8); // the ninth list entry, "Test Model2  PDCH 16QAM"
    EXPECT_EQ(o.ratio, "80");
    EXPECT_EQ(o.iq_inverse, 1);
    EXPECT_EQ(o.reference_file, "out.ref");
    EXPECT_EQ(o.settings_dir, "/tmp");
    EXPECT_TRUE(o.save_settings);

    const ParsedArguments floating = parse({"make-floating", "f.dat", "--rc", "34", "--iq-inverse=off"});
    ASSERT_TRUE(floating.options) << floating.error;
    EXPECT_EQ(floating.options->command, Command::MakeFloating);
    EXPECT_EQ(floating.options->configuration, 1);
    EXPECT_EQ(floating.options->iq_inverse, 0);
    EXPECT_FALSE(floating.options->link);
}

TEST(CommandLine, RefusesWordsAndValuesItDoesNotKnowWithOneLineSayingWhich) {
    const std::vector<std::vector<std::string>> refused{
        {"make-awg", "x.awv", "--colour", "red"},
        {"make-awg", "x.awv", "-v"},
        {"make-awg", "x.awv", "--link", "sideways"},
        {"make-awg", "x.awv", "--rc", "5"},
        {"make-awg", "x.awv", "--ratio", "10"},
        {"make-awg", "x.awv", "--ratio", "20.0"},
        {"make-awg", "x.awv", "--test-model", "0"},
        {"make-awg", "x.awv", "--test-model", "10"},
        {"make-awg", "x.awv", "--test-model", "1x"},
        {"make-awg", "x.awv", "--iq-inverse", "yes"},
        {"make-awg", "x.awv", "--ratio"},
        {"make-awg"},
        {"make-awg", "--ratio", "12"},
        {"make-awg", "x.awv", "extra"},
        {"make-wave", "x.awv"},
        {"--link", "uplink"},
        {"--reference", "r.ref", "--save-settings"},
        {"make-awg", "x.awv", "--reference", "./x.awv"},
        // The window sets aside an uplink_def.ini with the RC3/RC4 group alone.
        {"--rc", "34", "--save-settings"}};
    for (const auto& words : refused) {
        const ParsedArguments parsed = parse(words);
        std::string line;
        for (const auto& word : words) {
            line += word + " ";
        }
        EXPECT_FALSE(parsed.options) << line;
        EXPECT_FALSE(parsed.error.empty()) << line;
        EXPECT_EQ(parsed.error.find('\n'), std::string::npos) << line;
    }
}

TEST(CommandLine, HelpWinsAndListsEveryOptionTheTestModelsAndTheExitCodes) {
    for (const auto& words : {std::vector<std::string>{"--help"},
                              {"make-awg", "x.awv", "--ratio", "10", "-h"},
                              {"--bogus", "--help"}}) {
        const ParsedArguments parsed = parse(words);
        ASSERT_TRUE(parsed.options);
        EXPECT_TRUE(parsed.options->help);
    }

    const std::string text = help_text();
    for (const char* word : {"make-awg", "make-floating", "--settings-dir", "--link", "--rc", "--test-model",
                             "--ratio", "--iq-inverse", "--reference", "--save-settings", "--help",
                             "Test Model2  PDCH 16QAM", "Example", "Exit codes"}) {
        EXPECT_NE(text.find(word), std::string::npos) << word;
    }
    for (const char* code : {"  0  ", "  1  ", "  2  ", "  3  ", "  4  ", "  5  "}) {
        EXPECT_NE(text.find(code), std::string::npos) << code;
    }
}

TEST(SaveDialogAnswer, TheFileNameImpliesTheFilterEntry) {
    EXPECT_EQ(filter_index_for(awg_filter, "/out/sig.awv"), 1);
    EXPECT_EQ(filter_index_for(awg_filter, "sig.csv"), 3);
    EXPECT_EQ(filter_index_for(awg_filter, "SIG.TXT"), 4);
    // Without a listed extension the name stands for "all files".
    EXPECT_EQ(filter_index_for(awg_filter, "sig"), 5);
    EXPECT_EQ(filter_index_for(awg_filter, "sig.bin"), 5);
    EXPECT_EQ(filter_index_for(floating_filter, "sig.dat"), 1);
    EXPECT_EQ(filter_index_for(floating_filter, "sig.awv"), 4);
    EXPECT_EQ(filter_index_for("AWG(*.awv)|*.awv", "sig.bin"), 1);
}

TEST(MessageLine, LineBreaksBecomeSeparators) {
    EXPECT_EQ(one_line("The settings file could not be written:\n\n/a/system_def.ini\n\nChoose again."),
              "The settings file could not be written:; /a/system_def.ini; Choose again.");
    EXPECT_EQ(one_line("one\r\ntwo"), "one; two");
    EXPECT_EQ(one_line("plain"), "plain");
}

} // namespace
} // namespace varnika::cli
