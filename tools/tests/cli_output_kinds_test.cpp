// varnika-cli meeting output names that are not plain files, as a user gives them: links are written
// through, FIFOs, devices and standard output are streamed to, folders and block devices are refused by
// name; the files of one run replace their earlier files together or not at all; parallel writers of one
// SigMF recording never mix their pairs; settings files that are not files are named and left alone.
#include "cli_outcome.h"
#include "run/installation.h"
#include "run/sigmf_export.h"
#include "run_support.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <thread>

namespace varnika::cli {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using testing::cli;
using testing::file_text;
using testing::files_in;
using testing::Outcome;
using testing::TemporaryFolder;
using testing::without_date_line;

// varnika-cli as its own process; its standard output is read whole through a pipe.
struct Piped {
    int code = -1;
    std::string out;
};

Piped run_piped(const std::vector<std::string>& words, const fs::path& errors) {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) {
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipe_ends[1], STDOUT_FILENO);
        const int err = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(err, STDERR_FILENO);
        close(pipe_ends[0]);
        std::vector<char*> argv{const_cast<char*>(VARNIKA_CLI_PROGRAM)};
        for (const std::string& word : words) {
            argv.push_back(const_cast<char*>(word.c_str()));
        }
        argv.push_back(nullptr);
        execv(VARNIKA_CLI_PROGRAM, argv.data());
        _exit(127);
    }
    close(pipe_ends[1]);
    Piped piped;
    char chunk[65536];
    for (ssize_t got; (got = read(pipe_ends[0], chunk, sizeof chunk)) > 0;) {
        piped.out.append(chunk, static_cast<std::size_t>(got));
    }
    close(pipe_ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    piped.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return piped;
}

class OutputKinds : public ::testing::Test {
protected:
    Outcome make(std::vector<std::string> words) const {
        for (const char* more : {"--settings-dir", "", "--ratio", "12"}) {
            words.emplace_back(*more != '\0' ? more : settings.path().c_str());
        }
        return cli(words);
    }
    // Names in `folder` that are a writer's temporaries or locks.
    static std::vector<std::string> leftovers(const fs::path& folder) {
        std::vector<std::string> found;
        for (const std::string& name : files_in(folder)) {
            if (name.starts_with(".")) {
                found.push_back(name);
            }
        }
        return found;
    }

    TemporaryFolder settings;
    TemporaryFolder output;
    TemporaryFolder elsewhere;
};

TEST_F(OutputKinds, LinksAreWrittenThroughAndStayLinks) {
    // The waveform by an absolute link into another folder, the reference by a relative one.
    testing::write_file(elsewhere / "target.awv", "old");
    fs::permissions(elsewhere / "target.awv", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(elsewhere / "target.awv", output / "sig.awv");
    fs::create_directory(output / "refs");
    fs::create_symlink("refs/real.ref", output / "sig.ref");
    const Outcome made =
        make({"make-awg", (output / "sig.awv").string(), "--reference", (output / "sig.ref").string()});
    ASSERT_EQ(made.code, exit_ok) << made.err;
    EXPECT_TRUE(fs::is_symlink(output / "sig.awv"));
    EXPECT_TRUE(fs::is_symlink(output / "sig.ref"));
    EXPECT_TRUE(file_text(elsewhere / "target.awv").starts_with("{COMMENT:"));
    EXPECT_EQ(fs::status(elsewhere / "target.awv").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(fs::file_size(output / "refs" / "real.ref"), fs::file_size(output / "sig.ref"));
    EXPECT_GT(fs::file_size(output / "sig.ref"), 32768u * 40);
    EXPECT_TRUE(leftovers(output.path()).empty());
    EXPECT_TRUE(leftovers(elsewhere.path()).empty());
}

TEST_F(OutputKinds, StreamsAreWrittenDirectlyAndNeverReplaced) {
    const Outcome plain = make({"make-awg", (output / "plain.awv").string()});
    ASSERT_EQ(plain.code, exit_ok) << plain.err;
    const std::string expected = without_date_line(file_text(output / "plain.awv"));

    // "-": standard output carries the waveform alone, the figures go to standard error.
    const Piped piped = run_piped(
        {"make-awg", "-", "--settings-dir", settings.path().string(), "--ratio", "12"}, elsewhere / "err");
    EXPECT_EQ(piped.code, exit_ok) << file_text(elsewhere / "err");
    EXPECT_TRUE(without_date_line(piped.out) == expected) << "standard output is not the waveform alone";
    EXPECT_NE(file_text(elsewhere / "err").find("PAPR: "), std::string::npos);
    EXPECT_FALSE(fs::exists("-"));

    // A FIFO, read by a reader of its own; it stays a FIFO and nothing is made beside it.
    const fs::path fifo = output / "fifo.awv";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    std::string read_back;
    std::thread reader([&] { read_back = file_text(fifo); });
    const Outcome streamed = make({"make-awg", fifo.string()});
    reader.join();
    EXPECT_EQ(streamed.code, exit_ok) << streamed.err;
    EXPECT_TRUE(without_date_line(read_back) == expected);
    EXPECT_TRUE(fs::is_fifo(fifo));
    // A streamed waveform cannot be read back to be checked: --analyze says so instead of reading the FIFO.
    std::thread second_reader([&] { read_back = file_text(fifo); });
    const Outcome analyzed = make({"make-awg", fifo.string(), "--analyze"});
    second_reader.join();
    EXPECT_EQ(analyzed.code, exit_check_failed);
    EXPECT_NE(analyzed.err.find("cannot be checked: the waveform was streamed"), std::string::npos)
        << analyzed.err;

    // A character device (the null device, made here), as the waveform and as the reference.
    if (geteuid() == 0) {
        const fs::path device = output / "null";
        for (const char* name : {"null", "null-ref"}) {
            ASSERT_EQ(mknod((output / name).c_str(), S_IFCHR, makedev(1, 3)), 0);
            ASSERT_EQ(chmod((output / name).c_str(), 0666), 0);
        }
        for (const char* command : {"make-awg", "make-floating"}) {
            const Outcome nulled = make({command, device.string(), "--reference", device.string() + "-ref"});
            EXPECT_EQ(nulled.code, exit_ok) << nulled.err;
        }
        for (const char* name : {"null", "null-ref"}) {
            struct stat seen {};
            ASSERT_EQ(lstat((output / name).c_str(), &seen), 0);
            EXPECT_TRUE(S_ISCHR(seen.st_mode)) << name << " was replaced";
            EXPECT_EQ(seen.st_mode & 07777, 0666u);
        }
    }
    EXPECT_TRUE(leftovers(output.path()).empty());
}

TEST_F(OutputKinds, FoldersBlockDevicesAndLinksIntoNothingAreRefusedByName) {
    fs::create_directory(output / "folder.awv");
    fs::create_symlink(output / "gone" / "x.awv", output / "dangling.awv");
    fs::create_symlink(output / "folder.awv", output / "to-folder.awv");
    std::vector<std::pair<std::string, std::string>> cases{
        {"folder.awv", "it is a folder"},
        {"dangling.awv", "it is a symbolic link to " + (output / "gone" / "x.awv").string() +
                             ", in a folder that does not exist"},
        {"to-folder.awv",
         "it is a symbolic link to " + (output / "folder.awv").string() + ", which is a folder"}};
    if (geteuid() == 0) {
        ASSERT_EQ(mknod((output / "disk").c_str(), S_IFBLK | 0600, makedev(7, 200)), 0);
        cases.emplace_back("disk", "it is a block device");
    }
    testing::write_file(output / "kept.awv", "old");
    for (const auto& [name, why] : cases) {
        SCOPED_TRACE(name);
        for (const bool as_reference : {false, true}) {
            const Outcome refused = as_reference ? make({"make-awg", (output / "kept.awv").string(),
                                                         "--reference", (output / name).string()})
                                                 : make({"make-awg", (output / name).string()});
            EXPECT_EQ(refused.code, exit_not_written);
            EXPECT_NE(refused.err.find((output / name).string() + " was not written: " + why),
                      std::string::npos)
                << refused.err;
            EXPECT_EQ(file_text(output / "kept.awv"), "old");
        }
    }
    EXPECT_TRUE(fs::is_directory(output / "folder.awv"));
    EXPECT_FALSE(fs::exists(output / "gone"));
    EXPECT_TRUE(leftovers(output.path()).empty());
}

TEST_F(OutputKinds, AFailingOutputLeavesEveryEarlierFileOfTheRunAsItWas) {
    const fs::path wave = output / "sig.awv";
    const fs::path reference = output / "sig.ref";
    testing::write_file(wave, "old wave");
    testing::write_file(reference, "old ref");
    fs::permissions(reference, fs::perms::owner_read);
    const Outcome failed = make({"make-awg", wave.string(), "--reference", reference.string()});
    EXPECT_EQ(failed.code, exit_not_written);
    EXPECT_NE(failed.err.find(reference.string() + " was not written: Permission denied"), std::string::npos)
        << failed.err;
    EXPECT_EQ(file_text(wave), "old wave");
    EXPECT_EQ(file_text(reference), "old ref");

    // A recording whose meta file is read-only keeps its earlier data beside it.
    const fs::path base = output / "rec";
    testing::write_file(output / "rec.sigmf-data", "old data");
    testing::write_file(output / "rec.sigmf-meta", "old meta");
    fs::permissions(output / "rec.sigmf-meta", fs::perms::owner_read);
    const Outcome recording = make({"make-sigmf", base.string()});
    EXPECT_EQ(recording.code, exit_not_written);
    EXPECT_NE(recording.err.find("rec.sigmf-meta: Permission denied"), std::string::npos) << recording.err;
    EXPECT_EQ(file_text(output / "rec.sigmf-data"), "old data");
    EXPECT_EQ(file_text(output / "rec.sigmf-meta"), "old meta");
    EXPECT_EQ(files_in(output.path()),
              (std::vector<std::string>{"rec.sigmf-data", "rec.sigmf-meta", "sig.awv", "sig.ref"}));
}

TEST_F(OutputKinds, ParallelRecordingsToOneBaseLeaveOneWholeMatchingPair) {
    // Eight runs at different ratios: a data file of one beside the meta of another shows in its size.
    const fs::path base = output / "same";
    std::vector<pid_t> runs;
    const std::vector<std::string> ratios{"4", "8", "12", "16", "20", "32", "4", "8"};
    for (std::size_t k = 0; k < ratios.size(); ++k) {
        const pid_t child = fork();
        if (child == 0) {
            const int quiet =
                open((elsewhere / ("err" + std::to_string(k))).c_str(), O_WRONLY | O_CREAT, 0644);
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
            execl(VARNIKA_CLI_PROGRAM, VARNIKA_CLI_PROGRAM, "make-sigmf", base.c_str(), "--settings-dir",
                  settings.path().c_str(), "--link", "downlink", "--ratio", ratios[k].c_str(), "--set",
                  "dl_df_flag=1", "--set", "DL_Freqerr=1000", static_cast<char*>(nullptr));
            _exit(127);
        }
        runs.push_back(child);
    }
    for (const pid_t child : runs) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == exit_ok);
    }
    const json meta = json::parse(file_text(output / "same.sigmf-meta"));
    const double rate = meta.at("global").at("core:sample_rate");
    const auto samples = static_cast<std::uintmax_t>(std::lround(rate / 1228800.0)) * FRAME_CHIPS;
    EXPECT_EQ(fs::file_size(output / "same.sigmf-data"), samples * 8) << "the data of another run";
    EXPECT_EQ(meta.at("global").at("core:recorder"), "varnika-cli " + program_version());
    const std::string made = meta.at("captures")[0].at("core:datetime");
    // ISO 8601 in UTC to the millisecond: "2026-12-08T04:33:12.345Z".
    const std::string shape = "dddd-dd-ddTdd:dd:dd.dddZ";
    bool iso = made.size() == shape.size();
    for (std::size_t k = 0; iso && k < shape.size(); ++k) {
        iso = shape[k] == 'd' ? std::isdigit(static_cast<unsigned char>(made[k])) != 0 : made[k] == shape[k];
    }
    EXPECT_TRUE(iso) << made;
    for (const json& annotation : meta.at("annotations")) {
        EXPECT_EQ(annotation.at("core:sample_count"), samples);
        EXPECT_EQ(annotation.at("core:freq_lower_edge").get<double>(), 1000.0 - 614400.0);
        EXPECT_EQ(annotation.at("core:freq_upper_edge").get<double>(), 1000.0 + 614400.0);
    }
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{"same.sigmf-data", "same.sigmf-meta"}))
        << "a temporary or the lock stayed";

    // A writer of the pair waits while another holds its lock, and goes on when that one lets go.
    const std::string earlier = file_text(output / "same.sigmf-meta");
    safewrite::NameLock held;
    ASSERT_FALSE(held.take(sigmf_lock_file(base)));
    const pid_t waiting = fork();
    if (waiting == 0) {
        const int quiet = open((elsewhere / "err-waiting").c_str(), O_WRONLY | O_CREAT, 0644);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execl(VARNIKA_CLI_PROGRAM, VARNIKA_CLI_PROGRAM, "make-sigmf", base.c_str(), "--settings-dir",
              settings.path().c_str(), "--ratio", "4", static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    int status = 0;
    EXPECT_EQ(waitpid(waiting, &status, WNOHANG), 0) << "the writer did not wait for the lock";
    EXPECT_TRUE(file_text(output / "same.sigmf-meta") == earlier);
    held.release();
    waitpid(waiting, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == exit_ok);
    EXPECT_EQ(fs::file_size(output / "same.sigmf-data"), 8u * 4 * FRAME_CHIPS);
    EXPECT_EQ(files_in(output.path()), (std::vector<std::string>{"same.sigmf-data", "same.sigmf-meta"}));
}

TEST_F(OutputKinds, SettingsFilesThatAreNotFilesAreNamedAndLeftAlone) {
    fs::create_directory(settings / "system_def.ini");
    ASSERT_EQ(mkfifo((settings / "uplink_def.ini").c_str(), 0644), 0); // never opened: nothing blocks
    // A damaged file behind a link: written through, its earlier text kept as the backup.
    testing::write_file(elsewhere / "downlink.ini", "damaged\r\n");
    fs::create_symlink(elsewhere / "downlink.ini", settings / "downlink_def.ini");
    const Outcome saved = cli({"--save-settings", "--settings-dir", settings.path().string()});
    EXPECT_EQ(saved.code, exit_not_written);
    EXPECT_NE(saved.err.find("system_def.ini was ignored as a whole: it is a folder"), std::string::npos)
        << saved.err;
    EXPECT_NE(saved.err.find("uplink_def.ini was ignored as a whole: it is a FIFO"), std::string::npos)
        << saved.err;
    EXPECT_TRUE(fs::is_directory(settings / "system_def.ini"));
    EXPECT_TRUE(fs::is_fifo(settings / "uplink_def.ini"));
    EXPECT_TRUE(fs::is_symlink(settings / "downlink_def.ini"));
    EXPECT_TRUE(file_text(elsewhere / "downlink.ini").starts_with("EV-DV_Downlink_Configuration_File"));
    EXPECT_EQ(file_text(settings / "downlink_def.ini.bak"), "damaged\r\n");
    EXPECT_EQ(files_in(settings.path()), (std::vector<std::string>{"downlink_def.ini", "downlink_def.ini.bak",
                                                                   "system_def.ini", "uplink_def.ini"}));
}

// The helper itself: a refused member stops the whole set before anything is replaced, and a replaced
// file keeps its mode and, where the writer may give it, its owner.
TEST(SafeFileSet, ARefusedMemberStopsTheSetAndAReplacedFileKeepsItsOwner) {
    const TemporaryFolder folder;
    testing::write_file(folder / "a", "old a");
    ASSERT_EQ(chmod((folder / "a").c_str(), 0640), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown((folder / "a").c_str(), 12345, 23456), 0);
    }
    fs::create_directory(folder / "b");
    auto writes = [](const std::string& text) {
        return [text](safewrite::SafeFile& file) { return file.write(text); };
    };
    safewrite::FileSet refused;
    refused.add(folder / "a", writes("new a"));
    refused.add(folder / "b", writes("new b"));
    const auto failed = refused.write();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->text(), (folder / "b").string() + ": it is a folder");
    EXPECT_EQ(file_text(folder / "a"), "old a");
    EXPECT_EQ(folder.names().size(), 2u) << "a temporary stayed";

    fs::remove(folder / "b");
    safewrite::FileSet both;
    both.add(folder / "a", writes("new a"));
    both.add(folder / "b", writes("new b"));
    ASSERT_FALSE(both.write());
    EXPECT_EQ(file_text(folder / "a") + file_text(folder / "b"), "new anew b");
    struct stat seen {};
    ASSERT_EQ(stat((folder / "a").c_str(), &seen), 0);
    EXPECT_EQ(seen.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(seen.st_uid, 12345u);
        EXPECT_EQ(seen.st_gid, 23456u);
    }
}

} // namespace
} // namespace varnika::cli
