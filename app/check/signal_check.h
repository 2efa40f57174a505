// The signal check of the file a generation run made: the settings it needs are taken from the window's
// models on the window's thread; the ideal waveform is then made again by the synthesis library and the
// file is measured against it on any thread. The report is written as text and as JSON.
#pragma once

#include "analysis/signal_check.h"
#include "run/generation_desktop.h"
#include "run/library_binding.h"
#include "window/main_form.h"

#include <kestra/kestra.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace varnika {

inline constexpr const char* signal_check_title = "Signal Check";

// Everything a check needs from the settings, copied so that it can run away from the window's thread.
struct SignalCheckSetup {
    int link = 0;
    bool forward = false;
    int oversampling = 0;
    double sample_rate_hz = 0.0;
    int offset_mode = 0;
    double offset_hz = 0.0;
    bool iq_inverse = false;
    // Makes the ideal frame of these settings into (waveform, chips, work); empty when an export is missing.
    std::function<void(IqSample*, IqSample*, void*)> synthesise;
    // Forward link: the pilot alone, whose chips are the frame's complex short PN.
    std::function<void(IqSample*, IqSample*, void*)> synthesise_pilot;
    std::vector<analysis::CodeChannel> channels;
    std::string missing; // the library or export that could not be bound
    // The rate the file's samples were taken at, when the user gives it: it overrides the file's own.
    std::optional<double> file_sample_rate_hz;
};

SignalCheckSetup signal_check_setup(const MainForm& form, ProgramLibraries& libraries);

struct SignalCheckOutcome {
    std::optional<analysis::Result> result;
    std::string error; // why there is no result
};

// Reads `file` (an AWG file takes its own sampling rate, a text file the settings'), makes the ideal
// waveform and measures. Never throws.
SignalCheckOutcome run_signal_check(const std::filesystem::path& file, const SignalCheckSetup& setup,
                                    const analysis::Progress& progress = {});

// Whether the file is the one the settings make: rho of at least 0.9999 (EVM up to 1 %; a sound file's
// 14-bit words leave a few hundredths of a percent) and every channel within 0.5 dB of its set power.
// Nothing when the file could not be compared with the ideal waveform.
std::optional<bool> matches_settings(const analysis::Result& result);

// The numbers, one per line, as the window copies them and varnika-cli prints them.
std::string signal_check_text(const analysis::Result& result);
// One JSON object with the keys papr_db, ccdf, occupied_bw_hz, aclr_db, rho, evm_percent, code_domain,
// noise_floor_db.
std::string signal_check_json(const analysis::Result& result);

// The file the last successful run made, learnt from the save dialog's answer and the run's button: a run
// disables its button while it works, and a file whose time is not older than the run's start was written
// by it.
class MadeFileWatch : public GenerationDesktop {
public:
    MadeFileWatch(MainForm& form, GenerationDesktop& desktop);
    MadeFileWatch(const MadeFileWatch&) = delete;
    MadeFileWatch& operator=(const MadeFileWatch&) = delete;

    const std::optional<std::filesystem::path>& made_file() const { return made_file_; }
    // Called once a run has made a file.
    std::function<void()> on_made;

    SaveFileAnswer ask_save_file(const SaveFileRequest& request) override;
    void show_busy_pointer(bool busy) override { desktop_.show_busy_pointer(busy); }
    void let_pending_messages_through() override { desktop_.let_pending_messages_through(); }

private:
    void watch(const form::Button& button);

    GenerationDesktop& desktop_;
    std::optional<std::filesystem::path> made_file_;
    std::string answered_;
    std::filesystem::file_time_type started_{};
    bool running_ = false;
    std::vector<form::Connection> connections_;
};

} // namespace varnika
