// The generation runs of "Make AWG File" and "Make Floating File": ask for a file name, gather the chosen
// link's settings into one call of the synthesis library, and write the result through the output library.
// The AWG run also measures the waveform for the PAPR dialog and, in tester-save mode, puts the files into
// the tester's waveform folder (a local copy of a mounted share, or an upload). Tester Mode adds the
// chip-rate reference file. Every file goes through the safe-write helper: it appears whole or not at all,
// and the files of one run replace their earlier files together, once every one of them is complete.
// Both runs hold the window's thread while the library computes.
#pragma once

#include "form/platform.h"
#include "run/generation_desktop.h"
#include "run/library_binding.h"
#include "run/papr_dialog.h"
#include "run/run_settings.h"
#include "run/tester_share.h"
#include "window/main_form.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace varnika {

inline constexpr const char* awg_run_title = "Make AWG File";
inline constexpr const char* floating_run_title = "Make Floating File";
inline constexpr const char* sampling_rate_message = "Set the sampling rate from 12.5 MHz to 200 MHz.";
// Begins the message of a run that ended before writing because a library or export is missing.
inline constexpr const char* no_file_written_message = "No file was written. ";
inline constexpr double awg_min_sampling_rate_hz = 12.5e6;

// How a run ended. The window shows its message as a message box; varnika-cli maps it to an exit code.
enum class RunOutcome {
    Done,                // every file was written
    Cancelled,           // the save dialog was cancelled
    SamplingRateRefused, // the AWG run's sampling rate lies outside 12.5 MHz .. 200 MHz
    LibraryMissing,      // a library or one of its exports cannot be bound
    SynthesisRefused,    // the synthesis library refused the parameters
    BadWaveform,         // the waveform came out all zero or not finite
    NotWritten,          // a file could not be written (the message says which and why)
    TesterUnreachable,   // the file was saved, but the tester's share did not answer to take its copy
};

struct RunResult {
    RunOutcome outcome = RunOutcome::Done;
    std::string message; // what the run showed; empty when it showed nothing
    // The waveform file the run wrote and the settings that made it; set only when the file reached its
    // destination as a regular file that can be read back (not standard output, a FIFO or a device).
    // A run whose later steps failed (the tester's copy) still made it.
    std::optional<MadeWaveform> made;
};
inline constexpr double awg_max_sampling_rate_hz = 200e6;

// The network page's look-ups through the output library, bound when first used. A library or export
// that cannot be found makes the look-up fail.
HostLookup bound_host_lookup(ProgramLibraries& libraries);

class GenerationRun {
public:
    // Wires the two buttons of `form` to the runs and the network page's look-ups to the output library.
    // `program_folder` is where the program lives; a run's scratch files go to the system's temporary
    // folder.
    GenerationRun(MainForm& form, GenerationDesktop& desktop, ProgramLibraries& libraries, TesterShare& share,
                  std::filesystem::path program_folder);
    GenerationRun(const GenerationRun&) = delete;
    GenerationRun& operator=(const GenerationRun&) = delete;

    PaprDialog papr;
    // A chip-rate reference file every run also writes (varnika-cli's --reference), besides the one of
    // Tester Mode; it is replaced together with the run's other files.
    std::optional<std::string> requested_reference;
    // The program a recording names as its recorder.
    std::string recorder = "Varnika";
    // The rows the last forward-link run left out of its waveform for a Walsh-code clash ("F-SCH 2").
    std::vector<std::string> left_out;

    RunResult make_awg_file();
    RunResult make_floating_file();
    // How the last run ended.
    const RunResult& last_result() const { return result_; }
    // What the last run had to say beside its files (the tester's folder unknown).
    const std::vector<std::string>& last_warnings() const { return warnings_; }
    // Says each of a run's warnings; left empty, the run shows each in a message box.
    std::function<void(const std::string& warning)> warn;
    // Told how every run ended, once it has shown its messages.
    std::function<void(const RunResult& result)> on_finished;

private:
    enum class Output { Awg, Floating };
    // What the writing steps left behind.
    struct Written {
        bool waveform = false;    // the waveform file reached its destination
        bool reference = false;   // so did the Tester Mode reference file
        bool unreachable = false; // the tester's share could not be reached
        std::vector<std::string> problems;
        RunSettings settings;       // what the synthesis was given
        std::filesystem::path made; // the waveform file to read back; empty when it cannot be
    };
    struct Measured {
        double crest_i_db = 0.0;
        double crest_q_db = 0.0;
        double papr_db = 0.0;
    };

    RunResult run(Output output);
    // Steps from the synthesis to the delivery of the files; nothing when the run ended early (a missing
    // library or export, the library refused the parameters, or an unusable waveform), with `result_` then
    // saying why.
    std::optional<Written> generate(Output output, const SaveFileAnswer& answer,
                                    const std::optional<ShareName>& upload_share, Measured& measured);
    // The tester's share named by `TesterFolder`; nothing, with the reason in `why`, when it is unknown.
    std::optional<ShareName> tester_share(std::string& why);
    // Copies the written `file` into `share` under its own name; the problem in words, or nothing.
    std::optional<std::string> send_to_tester(const ShareName& share, const std::string& file,
                                              bool& unreachable);
    // Calls the synthesis export of the settings' link and radio configuration with their records;
    // nothing when it cannot be bound.
    std::optional<std::int32_t> synthesise(const RunSettings& settings);
    // Writes one file with `writer` (given a file name to write to): through the safe-write helper to
    // `file`, or, with `upload_share`, into an unnamed scratch file that is then uploaded under `file`'s
    // name. The problem in words, or nothing.
    std::optional<std::string> write_file(const std::string& file,
                                          const std::function<bool(const char*)>& writer,
                                          const std::optional<ShareName>& upload_share, bool& unreachable);
    // The offset of the link's carrier that the waveform was made with: the frequency error or the IF.
    double carrier_offset_hz(int link) const;
    template <class Function> Function* bind(LibraryBinding& library, const char* name);

    MainForm& form_;
    GenerationDesktop& desktop_;
    ProgramLibraries& libraries_;
    TesterShare& share_;
    std::filesystem::path program_folder_;
    std::string missing_; // what the last failed binding could not find
    RunResult result_;
    std::vector<std::string> warnings_;
};

} // namespace varnika
