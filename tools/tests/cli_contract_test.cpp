// What scripts rely on in varnika-cli: one JSON object of a documented shape for every command and every
// failure (text that is not UTF-8 included), notices apart from errors, --list-keys with each key's rule,
// limited and refused --set values said, --quiet, a manual page that says what --help says, and every
// example of --help and of the README run as written.
#include "cli_outcome.h"
#include "cli_session.h"
#include "run_support.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include <unistd.h>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json; // members in the order printed
using testing::file_text;
using testing::Outcome;
using testing::TemporaryFolder;

std::vector<std::string> words_of(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string word; in >> word;) {
        words.push_back(word);
    }
    return words;
}

// The members every object has, then the command's own, in order.
std::vector<std::string> members(const json& object) {
    std::vector<std::string> names;
    for (const auto& [name, value] : object.items()) {
        names.push_back(name);
    }
    return names;
}

class Contract : public ::testing::Test {
protected:
    Outcome cli(std::vector<std::string> words) {
        words.insert(words.end(), {"--settings-dir", settings.path().string()});
        return testing::cli(words);
    }
    std::string in_output(const std::string& name) const { return (output / name).string(); }

    TemporaryFolder settings;
    TemporaryFolder output;
};

TEST_F(Contract, EveryCommandAndEveryFailurePrintsOneObjectOfItsShape) {
    const std::vector<std::string> ended{"command", "exit_code", "error", "warnings"};
    const std::vector<std::string> run{"file",
                                       "link",
                                       "description",
                                       "ratio",
                                       "sampling_rate_hz",
                                       "sample_count",
                                       "papr_db",
                                       "crest_factor_i_db",
                                       "crest_factor_q_db",
                                       "channels"};
    struct Case {
        std::vector<std::string> words;
        std::string command;
        int code;
        std::vector<std::string> own; // the members after the four every object has
    };
    auto with = [&](std::vector<std::string> extra) {
        std::vector<std::string> all = ended;
        all.insert(all.end(), extra.begin(), extra.end());
        return all;
    };
    std::vector<std::string> run_without_measures = run;
    run_without_measures.erase(run_without_measures.begin() + 6, run_without_measures.begin() + 9);
    const std::vector<Case> cases{
        {{"make-awg", in_output("a.awv"), "--ratio", "20"}, "make-awg", exit_ok, with(run)},
        {{"make-floating", in_output("f.txt"), "--ratio", "4"}, "make-floating", exit_ok, with(run)},
        {{"make-sigmf", in_output("s"), "--ratio", "4"}, "make-sigmf", exit_ok, with(run)},
        {{"--save-settings"}, "save-settings", exit_ok, ended},
        {{"--list-keys", "RC7_PICH"}, "list-keys", exit_ok, with({"keys"})},
        {{"make-awg", in_output("b.awv"), "--ratio", "4"},
         "make-awg",
         exit_ratio_refused,
         with(run_without_measures)},
        {{"analyze", in_output("missing.awv")}, "analyze", exit_check_failed, with({"file"})},
        {{"make-awg", in_output("c.awv"), "--bogus"}, "usage", exit_usage, ended},
        // Standard output holds the waveform's bytes alone.
        {{"make-awg", "-", "--ratio", "20"}, "usage", exit_usage, ended},
        {{"make-awg", in_output("c.awv"), "--set", "downlink.ovr=80"},
         "make-awg",
         exit_usage,
         with(run_without_measures)},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words = c.words;
        words.push_back("--json");
        const Outcome outcome = cli(words);
        SCOPED_TRACE(words.front() + " " + words.back());
        EXPECT_EQ(outcome.code, c.code) << outcome.out;
        EXPECT_EQ(outcome.err, "");
        const json object = json::parse(outcome.out);
        EXPECT_EQ(members(object), c.own) << outcome.out;
        EXPECT_EQ(object.at("command"), c.command);
        EXPECT_EQ(object.at("exit_code"), c.code);
        EXPECT_EQ(object.at("error").is_null(), c.code == exit_ok) << outcome.out;
        EXPECT_TRUE(object.at("warnings").is_array());
    }
    // analyze of a file made: the check's numbers after the four members and the file.
    const json check = json::parse(cli({"analyze", in_output("a.awv"), "--ratio", "20", "--json"}).out);
    EXPECT_EQ(check.at("command"), "analyze");
    EXPECT_TRUE(check.at("error").is_null());
    std::vector<std::string> check_members = members(check);
    ASSERT_GT(check_members.size(), 5u) << check.dump();
    check_members.resize(5);
    EXPECT_EQ(check_members, with({"file"}));
}

TEST_F(Contract, NoticesAreWarningsAndTextThatIsNotUtf8IsReplacedNeverAnAbort) {
    ASSERT_EQ(cli({"--save-settings"}).code, exit_ok);
    // A damaged system file: the run succeeds, the notice is a warning and the error stays null.
    std::ofstream(settings / "system_def.ini", std::ios::app) << "one line too many\r\n";
    // An uplink line whose value holds the byte 0xb0: that line keeps its default and is named.
    std::string uplink = file_text(settings / "uplink_def.ini");
    const std::size_t at = uplink.find("RC7_PICH_Gain:");
    ASSERT_NE(at, std::string::npos);
    uplink.replace(at, uplink.find("\r\n", at) - at, "RC7_PICH_Gain:-3\xb0");
    std::ofstream(settings / "uplink_def.ini", std::ios::binary) << uplink;

    const std::string name = in_output("tm\xff.awv");
    const Outcome made = cli({"make-awg", name, "--link", "downlink", "--ratio", "20", "--json"});
    ASSERT_EQ(made.code, exit_ok) << made.out;
    EXPECT_TRUE(fs::exists(name));
    const json object = json::parse(made.out);
    EXPECT_TRUE(object.at("error").is_null());
    EXPECT_EQ(object.at("file"), in_output("tm\xef\xbf\xbd.awv"));
    const std::string warnings = object.at("warnings").dump();
    EXPECT_NE(warnings.find("system_def.ini"), std::string::npos) << warnings;
    EXPECT_NE(warnings.find("-3\xef\xbf\xbd"), std::string::npos) << warnings;

    // Without --json the notices are warnings on standard error; --quiet leaves them out, not errors.
    const Outcome text = cli({"make-awg", name, "--link", "downlink", "--ratio", "20"});
    EXPECT_NE(text.err.find("varnika-cli: warning: Settings Files: "), std::string::npos) << text.err;
    EXPECT_NE(text.out.find("PAPR"), std::string::npos);
    const Outcome quiet = cli({"make-awg", name, "--link", "downlink", "--ratio", "20", "--quiet"});
    EXPECT_EQ(quiet.code, exit_ok);
    EXPECT_EQ(quiet.out + quiet.err, "");
    const Outcome refused = cli({"make-awg", name, "--ratio", "4", "--quiet"});
    EXPECT_EQ(refused.code, exit_ratio_refused);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("varnika-cli: "), std::string::npos);
    EXPECT_EQ(refused.err.find("warning"), std::string::npos) << refused.err;
    // Data still comes with --quiet.
    EXPECT_NE(cli({"--list-keys", "HostName", "--quiet"}).out.find("HostName="), std::string::npos);
}

TEST_F(Contract, ListKeysGivesEachRuleAndSetSaysWhatItLimitedOrRefused) {
    const Outcome listed = cli({"--list-keys", "downlink.ovr"});
    ASSERT_EQ(listed.code, exit_ok);
    EXPECT_EQ(listed.out, "downlink.ovr=4\tan index 0 to 8: 0 = 4, 1 = 8, 2 = 12, 3 = 16, 4 = 20, 5 = 32, "
                          "6 = 48, 7 = 64, 8 = 80\n");
    const Outcome fch = cli({"--list-keys=F_FCH_Gain_", "--set", "F_FCH_Gain_485=-150"});
    EXPECT_EQ(fch.err, "varnika-cli: warning: F_FCH_Gain_485=-150 limited to -100.00\n");
    const std::vector<std::string> lines = words_of(fch.out);
    EXPECT_EQ(std::count(fch.out.begin(), fch.out.end(), '\n'), 128);
    EXPECT_TRUE(fch.out.starts_with("F_FCH_Gain_485=-100\ta number in dB, limited to -100 to 100\n"))
        << fch.out.substr(0, 200);

    // The same as an array, after the same --set.
    const json object =
        json::parse(cli({"--list-keys", "F_FCH_Gain_48", "--set", "F_FCH_Gain_485=-150", "--json"}).out);
    ASSERT_EQ(object.at("keys").size(), 5u); // rows 485 to 489
    EXPECT_EQ(object.at("keys")[0], json({{"key", "F_FCH_Gain_485"},
                                          {"value", "-100"},
                                          {"rule", "a number in dB, limited to -100 to 100"}}));
    EXPECT_EQ(object.at("warnings"), json({"F_FCH_Gain_485=-150 limited to -100.00"}));

    // Every key of the three files, each with a rule.
    const json all = json::parse(cli({"--list-keys", "--json"}).out);
    EXPECT_GT(all.at("keys").size(), 2900u);
    for (const json& key : all.at("keys")) {
        EXPECT_FALSE(key.at("rule").get<std::string>().empty()) << key.dump();
    }

    const Outcome refused = cli({"--set", "downlink.ovr=80", "--list-keys"});
    EXPECT_EQ(refused.code, exit_usage);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(
        refused.err.find("bad value '80' for the setting downlink.ovr: it takes an index 0 to 8: 0 = 4"),
        std::string::npos)
        << refused.err;
}

TEST_F(Contract, DescriptionsNameATestModelOnlyForItsExactChannels) {
    auto description = [&](std::vector<std::string> words) {
        words.insert(words.begin(),
                     {"make-sigmf", in_output("d"), "--link", "downlink", "--ratio", "4", "--json"});
        const Outcome made = cli(words);
        EXPECT_EQ(made.code, exit_ok) << made.out;
        std::string said = json::parse(made.out).at("description");
        const json meta = json::parse(file_text(output / "d.sigmf-meta"));
        EXPECT_EQ(meta.at("global").at("core:description"), said);
        return said;
    };
    EXPECT_EQ(description({}), "cdma2000 1xEV-DV forward link, custom: F-PICH, ratio 4");
    EXPECT_EQ(description({"--test-model", "2"}),
              "cdma2000 1xEV-DV forward link, Test Model1  FCH 2, ratio 4");
    // One power changed: no longer the model. Single-row types go by name, the others with the number
    // the channel table shows.
    EXPECT_EQ(description({"--test-model", "2", "--set", "F_FCH_Gain_486=-20"}),
              "cdma2000 1xEV-DV forward link, custom: F-PICH, SYNCH, PCH 2, F-FCH 3, F-FCH 4, ratio 4");
}

TEST_F(Contract, NothingIsCreatedByHelpVersionOrListKeys) {
    // A program folder it may not write to keeps its settings under XDG_CONFIG_HOME.
    const TemporaryFolder home;
    const fs::path program = home / "missing" / "bin";
    const char* before = std::getenv("XDG_CONFIG_HOME");
    const std::string kept = before != nullptr ? before : "";
    ::setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    for (const std::vector<std::string>& words :
         {std::vector<std::string>{"--help"}, {"--version"}, {"--list-keys", "HostName"}}) {
        const Outcome outcome = testing::cli(words, program);
        EXPECT_EQ(outcome.code, exit_ok) << words.front() << outcome.err;
    }
    EXPECT_FALSE(fs::exists(home / "config"));
    before != nullptr ? ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1) : ::unsetenv("XDG_CONFIG_HOME");
}

// Lowercase words without roff's escapes and quotes, colons and brackets at their ends.
std::vector<std::string> plain_words(const std::string& text, bool roff) {
    std::vector<std::string> words;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (roff && line.starts_with(".\\\"")) {
            continue;
        }
        if (roff && line.starts_with(".")) {
            line = line.substr(std::min(line.size(), line.find(' ')));
        }
        if (roff) {
            for (const char* escape : {"\\fB", "\\fR", "\\fI", "\\fP", "\\,", "\\/"}) {
                for (std::size_t at = line.find(escape); at != std::string::npos; at = line.find(escape)) {
                    line.erase(at, std::string(escape).size());
                }
            }
            for (std::size_t at = line.find("\\-"); at != std::string::npos; at = line.find("\\-")) {
                line.erase(at, 1);
            }
        }
        for (std::string word : words_of(line)) {
            std::erase_if(word, [](char c) { return c == '"' || c == '[' || c == ']'; });
            while (!word.empty() && word.back() == ':') {
                word.pop_back();
            }
            std::transform(word.begin(), word.end(), word.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (!word.empty() && word != "usage" && word != "or") {
                words.push_back(word);
            }
        }
    }
    return words;
}

TEST(ManualPage, SaysWhatHelpSaysInTheSameOrder) {
    const std::string help = testing::cli({"--help"}).out;
    const std::string page = file_text(VARNIKA_CLI_MAN_PAGE);
    const std::vector<std::string> said =
        plain_words(help.substr(0, help.find("\nSettings folder in use:")), false);
    const std::vector<std::string> written = plain_words(page, true);
    // Every word of --help, in order, in the page (which adds its headings).
    std::size_t at = 0;
    for (std::size_t k = 0; k < said.size(); ++k) {
        const auto found =
            std::find(written.begin() + static_cast<std::ptrdiff_t>(at), written.end(), said[k]);
        ASSERT_NE(found, written.end())
            << "word " << k << " of --help, '" << said[k] << "', is not in the page";
        at = static_cast<std::size_t>(found - written.begin()) + 1;
    }
    for (const char* needed :
         {"analyze", "--set", "--list-keys", "--analyze", "--quiet", "f_fch_gain_485=-12.5"}) {
        EXPECT_NE(std::find(written.begin(), written.end(), std::string(needed)), written.end()) << needed;
    }
    for (const char* code : {"\n.TP\n6\n", "\n.TP\n7\n"}) {
        EXPECT_NE(page.find(code), std::string::npos) << code;
    }
}

// The command lines of `text` that start with varnika-cli (the README's ./build/bin/varnika-cli too),
// without a trailing comment; "| jq .NAME" becomes the member to look for.
struct Example {
    std::vector<std::string> words;
    std::string member;
};

std::vector<Example> examples_in(const std::string& text) {
    std::vector<Example> examples;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const std::size_t start = line.find_first_not_of(' ');
        if (start == std::string::npos || start < 4) {
            continue;
        }
        line.erase(0, start);
        for (const char* program : {"./build/bin/varnika-cli ", "varnika-cli "}) {
            if (line.starts_with(program)) {
                Example example;
                std::string command = line.substr(std::string(program).size());
                command = command.substr(0, command.find('#'));
                if (const std::size_t pipe = command.find("| jq ."); pipe != std::string::npos) {
                    example.member = words_of(command.substr(pipe + 6)).at(0);
                    command.erase(pipe);
                }
                example.words = words_of(command);
                examples.push_back(example);
                break;
            }
        }
    }
    return examples;
}

TEST_F(Contract, EveryExampleOfHelpAndReadmeRunsAsWritten) {
    const std::vector<Example> from_help = examples_in(testing::cli({"--help"}).out);
    const std::vector<Example> from_readme = examples_in(file_text(VARNIKA_README));
    EXPECT_GE(from_help.size(), 4u);
    EXPECT_GE(from_readme.size(), 6u);
    // In a folder of their own, with the settings files of a fresh start.
    const fs::path was = fs::current_path();
    fs::current_path(output.path());
    for (const std::vector<Example>* examples : {&from_help, &from_readme}) {
        for (const Example& example : *examples) {
            std::string line;
            for (const std::string& word : example.words) {
                line += word + " ";
            }
            SCOPED_TRACE(line);
            const Outcome outcome = cli(example.words);
            EXPECT_EQ(outcome.code, exit_ok) << outcome.err;
            if (!example.member.empty()) {
                EXPECT_TRUE(json::parse(outcome.out).contains(example.member)) << outcome.out;
            }
        }
    }
    fs::current_path(was);
}

} // namespace
} // namespace varnika::cli
