// Whole varnika-cli processes as a user starts them, wall clock from the start of the process to its
// end: start-up, reading the settings files, synthesis, the file written and flushed to the disk. The
// program is the varnika-cli beside this benchmark; files go to a folder of their own in the temporary
// folder. Each run's peak resident memory is reported as a counter.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

fs::path own_folder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

// Runs varnika-cli with `arguments`, its output thrown away; its peak resident memory in MB.
double run_cli(const std::vector<std::string>& arguments) {
    const std::string program = (own_folder() / "varnika-cli").string();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int failed = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        return -1.0;
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1.0;
    }
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

class Folder {
public:
    Folder() : path_(fs::temp_directory_path() / ("varnika-cli-bench-" + std::to_string(getpid()))) {
        fs::create_directories(path_);
    }
    ~Folder() { fs::remove_all(path_); }
    std::string file(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

// `replace`: the file is there from the run before, as when a user makes the same file again;
// otherwise each run writes a new file (removed between runs, outside the timing).
void make_file(benchmark::State& state, const std::string& command, const std::string& name, bool replace) {
    const Folder folder;
    const std::string file = folder.file(name);
    const std::vector<std::string> arguments{command, file,      "--link", "downlink",       "--test-model",
                                             "9",     "--ratio", "80",     "--settings-dir", folder.file("")};
    double peak_mb = 0.0;
    for (auto _ : state) {
        if (!replace) {
            state.PauseTiming();
            fs::remove(file);
            state.ResumeTiming();
        }
        peak_mb = run_cli(arguments);
        if (peak_mb < 0.0) {
            state.SkipWithError("varnika-cli failed");
            break;
        }
    }
    state.counters["peak_MB"] = peak_mb;
}

void BM_CliMakeAwgRatio80TestModel9(benchmark::State& state) {
    make_file(state, "make-awg", "tm9.awv", state.range(0) != 0);
}
void BM_CliMakeFloatingRatio80TestModel9(benchmark::State& state) {
    make_file(state, "make-floating", "tm9.txt", state.range(0) != 0);
}
void BM_CliHelp(benchmark::State& state) {
    for (auto _ : state) {
        if (run_cli({"--help"}) < 0.0) {
            state.SkipWithError("varnika-cli --help failed");
            break;
        }
    }
}

// Argument 0: a new file each run; 1: the file of the run before is replaced.
BENCHMARK(BM_CliMakeAwgRatio80TestModel9)
    ->ArgName("replace")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);
BENCHMARK(BM_CliMakeFloatingRatio80TestModel9)
    ->ArgName("replace")
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->MinTime(3.0);
BENCHMARK(BM_CliHelp)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(1.0);

} // namespace

BENCHMARK_MAIN();
