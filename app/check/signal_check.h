// The signal check of the file a generation run made: the settings it needs are those the run handed the
// synthesis (kept in the run's result), or, for a file made elsewhere, those the window's models hold. The
// ideal waveform is then made again by the synthesis library and the file is measured against it on any
// thread. The report is written as text and as JSON.
#pragma once

#include "analysis/signal_check.h"
#include "run/library_binding.h"
#include "run/run_settings.h"
#include "window/main_form.h"

#include <kestra/kestra.h>

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
    analysis::Link code_link = analysis::Link::forward;
    int oversampling = 0;
    double sample_rate_hz = 0.0;
    int offset_mode = 0;
    double offset_hz = 0.0;
    bool iq_inverse = false;
    // Makes the ideal frame of these settings at the receiver's working ratio and at baseband into
    // (waveform, chips, work); empty when an export is missing.
    std::function<void(IqSample*, IqSample*, void*)> synthesise;
    // The pilot alone, likewise: its chips are the frame's complex short PN.
    std::function<void(IqSample*, IqSample*, void*)> synthesise_pilot;
    std::vector<analysis::CodeChannel> channels;
    std::string missing; // the library or export that could not be bound
    // The rate the file's samples were taken at, when the user gives it: it overrides the file's own.
    std::optional<double> file_sample_rate_hz;
    // Find the active codes instead of comparing with the settings' channels.
    bool detect = false;
};

// The setup that measures a file against the settings a run handed the synthesis.
SignalCheckSetup signal_check_setup(const RunSettings& made, ProgramLibraries& libraries);
// The same for the settings the window's models hold now (analyze, without a run).
SignalCheckSetup signal_check_setup(const MainForm& form, ProgramLibraries& libraries);

// A Walsh code as the window writes it: "64/32".
std::string walsh_display(int length, int number);

struct SignalCheckOutcome {
    std::optional<analysis::Result> result;
    std::string error; // why there is no result
    // What the settings set that the result is judged against.
    double set_sample_rate_hz = 0.0;
    // The capture's own rate when it was resampled to a whole number of samples per chip (else 0).
    double resampled_from_hz = 0.0;
    std::optional<double> set_frequency_error_hz; // nothing when detecting
    bool detect = false;
    bool real_signal = false; // an IF file: only I
};

// The verdict on a result: "matches" when the file is the waveform the settings make, "differs" with
// the reasons, nothing when the file was only measured (detection).
struct Verdict {
    std::optional<bool> matches;
    std::vector<std::string> reasons;
};
Verdict judge(const SignalCheckOutcome& outcome);

// Reads `file` (an AWG file takes its own sampling rate, a text file the settings'), makes the ideal
// waveform and measures. Never throws.
SignalCheckOutcome run_signal_check(const std::filesystem::path& file, const SignalCheckSetup& setup,
                                    const analysis::Progress& progress = {});

// Whether the file is the one the settings make: rho of at least 0.9999 (EVM up to 1 %; a sound file's
// 14-bit words leave a few hundredths of a percent), every channel within 0.5 dB of its set power, the
// sampling rate the settings' and the frequency error within 10 Hz of the set one.
std::optional<bool> matches_settings(const SignalCheckOutcome& outcome);

// The numbers, one per line, as the window copies them and varnika-cli prints them.
std::string signal_check_text(const SignalCheckOutcome& outcome);
// One JSON object with the keys papr_db, ccdf, occupied_bw_hz, channel_power_ratio_db (and its alias
// aclr_db), emissions_dbc, time_offset_chips, frequency_error_hz, phase_deg, origin_offset_db, rho,
// evm_percent, code_domain, code_axis, noise_floor_db, spectrum_method, verdict, reasons.
std::string signal_check_json(const SignalCheckOutcome& outcome);

} // namespace varnika
