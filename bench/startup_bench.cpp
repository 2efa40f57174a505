// Launch to first paint of the main window, wall clock: from starting the program's process until the X
// server reports the first drawing into the window the program mapped. Each run is a first start: the
// program and its two libraries are copied into a fresh folder without settings files. Needs an X display
// (run under xvfb-run); the time the window is mapped is reported beside it as a counter, and so is the
// processor time the program used until then, which a busy machine inflates far less than the wall clock.
//
//   startup_bench [--program=PATH]... [benchmark flags]
//
// Without --program it times the Varnika built beside it and a bare Qt window of the same size
// (startup_bare_window), the floor the toolkit itself sets. Give --program twice to compare two builds
// (A/B): each repetition runs every program once, in turn, so that both see the same machine.
#include <benchmark/benchmark.h>

#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

fs::path own_folder() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

// A folder of the program's own in the temporary folder, removed at the end.
class Folder {
public:
    explicit Folder(const std::string& name)
        : path_(fs::temp_directory_path() /
                ("varnika-startup-bench-" + std::to_string(getpid()) + "-" + name)) {
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

// The X connection with the DAMAGE extension, watching the windows made on the root window.
class Display {
public:
    Display() : connection_(xcb_connect(nullptr, nullptr)) {
        if (xcb_connection_has_error(connection_) != 0) {
            return;
        }
        const xcb_query_extension_reply_t* damage = xcb_get_extension_data(connection_, &xcb_damage_id);
        if (damage == nullptr || damage->present == 0) {
            return;
        }
        damage_event_ = damage->first_event + XCB_DAMAGE_NOTIFY;
        free(xcb_damage_query_version_reply(
            connection_,
            xcb_damage_query_version(connection_, XCB_DAMAGE_MAJOR_VERSION, XCB_DAMAGE_MINOR_VERSION),
            nullptr));
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
        const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
        xcb_change_window_attributes(connection_, root_, XCB_CW_EVENT_MASK, &mask);
        xcb_flush(connection_);
        usable_ = true;
    }
    ~Display() { xcb_disconnect(connection_); }
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    bool usable() const { return usable_; }

    struct Times {
        double mapped_ms = 0.0;
        double painted_ms = 0.0;
    };

    // Waits until a top-level window made after `start` is mapped and drawn into; nullopt after `limit`.
    std::optional<Times> wait_for_first_paint(Clock::time_point start, std::chrono::seconds limit) {
        std::set<xcb_window_t> made;
        std::set<xcb_window_t> mapped;
        std::optional<double> mapped_ms;
        const auto since_start = [start] {
            return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        };
        while (Clock::now() - start < limit) {
            std::unique_ptr<xcb_generic_event_t, decltype(&free)> event(xcb_poll_for_event(connection_),
                                                                        &free);
            if (!event) {
                if (xcb_connection_has_error(connection_) != 0) {
                    return std::nullopt;
                }
                pollfd wait{xcb_get_file_descriptor(connection_), POLLIN, 0};
                poll(&wait, 1, 50);
                continue;
            }
            const int type = event->response_type & 0x7f;
            if (type == XCB_CREATE_NOTIFY) {
                const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event.get());
                if (created->parent == root_) {
                    made.insert(created->window);
                    xcb_damage_create(connection_, xcb_generate_id(connection_), created->window,
                                      XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
                    xcb_flush(connection_);
                }
            } else if (type == XCB_MAP_NOTIFY) {
                const auto* shown = reinterpret_cast<xcb_map_notify_event_t*>(event.get());
                if (made.contains(shown->window)) {
                    mapped.insert(shown->window);
                    if (!mapped_ms) {
                        mapped_ms = since_start();
                    }
                }
            } else if (type == damage_event_) {
                const auto* drawn = reinterpret_cast<xcb_damage_notify_event_t*>(event.get());
                if (mapped.contains(drawn->drawable)) {
                    return Times{*mapped_ms, since_start()};
                }
            }
        }
        return std::nullopt;
    }

    // Events of windows from an earlier run are not this run's.
    void drain() {
        while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
            free(event);
        }
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = 0;
    int damage_event_ = -1;
    bool usable_ = false;
};

// A program to start: its file, copied with the libraries beside it into a folder of its own.
struct Program {
    std::string name;
    fs::path source;
    std::vector<std::string> arguments;
};

// Runs per program, 11 by default; STARTUP_BENCH_REPETITIONS changes it.
int benchmark_repetitions() {
    const char* given = std::getenv("STARTUP_BENCH_REPETITIONS");
    return given != nullptr ? std::max(1, std::atoi(given)) : 11;
}

std::vector<Program>& programs() {
    static std::vector<Program> list;
    return list;
}

// Time the threads of process `pid` have run on a processor and waited for one, in milliseconds: what the
// program itself spent, which a busy machine does not inflate as it does the wall clock.
struct ProcessorTimes {
    double running_ms = 0.0;
    double waiting_ms = 0.0;
};

ProcessorTimes processor_times(pid_t pid) {
    ProcessorTimes times;
    std::error_code error;
    for (const fs::directory_entry& task :
         fs::directory_iterator("/proc/" + std::to_string(pid) + "/task", error)) {
        std::ifstream stat(task.path() / "schedstat");
        unsigned long long running_ns = 0;
        unsigned long long waiting_ns = 0;
        if (stat >> running_ns >> waiting_ns) {
            times.running_ms += static_cast<double>(running_ns) / 1e6;
            times.waiting_ms += static_cast<double>(waiting_ns) / 1e6;
        }
    }
    return times;
}

pid_t launch(const fs::path& program, const std::vector<std::string>& arguments, const fs::path& log) {
    std::vector<std::string> words{program.string()};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t child = 0;
    const int failed = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed == 0 ? child : -1;
}

void launch_to_first_paint(benchmark::State& state, const Program& program) {
    // One connection for the whole process, as each program's runs follow each other.
    static Display display;
    if (!display.usable()) {
        state.SkipWithError("no X display with the DAMAGE extension (run under xvfb-run)");
        return;
    }
    const Folder folder(program.name);
    // The program and the libraries it binds from its own folder; no settings files: a first start.
    const fs::path copy = folder.path() / program.source.filename();
    fs::copy_file(program.source, copy);
    for (const fs::directory_entry& entry : fs::directory_iterator(program.source.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("libkestra.so") || name.starts_with("libwavesave.so")) {
            fs::copy(entry.path(), folder.path() / name, fs::copy_options::copy_symlinks);
        }
    }
    const fs::path log = folder.path() / "output.txt";
    std::vector<double> mapped_ms;
    std::vector<double> painted_ms;
    std::vector<double> running_ms;
    std::vector<double> waiting_ms;
    for (auto _ : state) {
        display.drain();
        const Clock::time_point start = Clock::now();
        const pid_t child = launch(copy, program.arguments, log);
        const std::optional<Display::Times> seen =
            child > 0 ? display.wait_for_first_paint(start, std::chrono::seconds(20)) : std::nullopt;
        state.PauseTiming();
        const ProcessorTimes used = seen ? processor_times(child) : ProcessorTimes{};
        if (child > 0) {
            kill(child, SIGKILL);
            waitpid(child, nullptr, 0);
        }
        for (const char* settings : {"system_def.ini", "uplink_def.ini", "downlink_def.ini"}) {
            fs::remove(folder.path() / settings);
        }
        state.ResumeTiming();
        if (!seen) {
            state.SkipWithError(("no window painted by " + program.source.string()).c_str());
            break;
        }
        mapped_ms.push_back(seen->mapped_ms);
        painted_ms.push_back(seen->painted_ms);
        running_ms.push_back(used.running_ms);
        waiting_ms.push_back(used.waiting_ms);
    }
    // The median of the runs: one slow start on a busy machine does not move it.
    const auto median = [](std::vector<double> values) {
        if (values.empty()) {
            return 0.0;
        }
        std::sort(values.begin(), values.end());
        const std::size_t half = values.size() / 2;
        return values.size() % 2 != 0 ? values[half] : (values[half - 1] + values[half]) / 2.0;
    };
    state.counters["median_mapped_ms"] = median(mapped_ms);
    state.counters["median_painted_ms"] = median(painted_ms);
    // Processor time up to the first paint: run, and waited for while other work had the processors.
    state.counters["median_cpu_ms"] = median(running_ms);
    state.counters["median_cpu_wait_ms"] = median(waiting_ms);
    state.counters["min_painted_ms"] =
        painted_ms.empty() ? 0.0 : *std::min_element(painted_ms.begin(), painted_ms.end());
}

} // namespace

int main(int argc, char** argv) {
    // Our own flags first; the rest are the benchmark library's.
    std::vector<char*> rest{argv[0]};
    for (int k = 1; k < argc; ++k) {
        const std::string argument = argv[k];
        if (argument.starts_with("--program=")) {
            const fs::path file = fs::absolute(argument.substr(std::strlen("--program=")));
            programs().push_back(
                {std::to_string(programs().size() + 1) + "_" + file.parent_path().filename().string(),
                 file,
                 {}});
        } else {
            rest.push_back(argv[k]);
        }
    }
    if (programs().empty()) {
        programs().push_back({"Varnika", own_folder() / "Varnika", {}});
        programs().push_back({"bare_qt_window", own_folder() / "startup_bare_window", {}});
    }
    int count = static_cast<int>(rest.size());
    benchmark::Initialize(&count, rest.data());
    // One benchmark per program: 11 first starts, their median reported as counters (the time column is
    // their mean). Run the whole benchmark several times to alternate two builds.
    for (const Program& program : programs()) {
        benchmark::RegisterBenchmark(
            ("BM_LaunchToFirstPaint/" + program.name).c_str(),
            [&program](benchmark::State& state) { launch_to_first_paint(state, program); })
            ->Iterations(benchmark_repetitions())
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
