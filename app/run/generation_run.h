// The generation runs of "Make AWG File" and "Make Floating File": ask for a file name, gather the chosen
// link's settings into one call of the synthesis library, and write the result through the output library.
// The AWG run also measures the waveform for the PAPR dialog and, in tester-save mode, writes through
// temporary files in the program's folder that then go into the tester's waveform folder. Tester Mode adds
// the chip-rate reference file. Both runs hold the window's thread while the library computes.
#pragma once

#include "form/platform.h"
#include "run/generation_desktop.h"
#include "run/library_binding.h"
#include "run/papr_dialog.h"
#include "run/tester_share.h"
#include "settings/main_form.h"

#include <filesystem>
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
inline constexpr double awg_max_sampling_rate_hz = 200e6;

// The network page's look-ups through the output library, bound when first used. A library or export
// that cannot be found makes the look-up fail.
HostLookup bound_host_lookup(ProgramLibraries& libraries);

class GenerationRun {
public:
    // Wires the two buttons of `form` to the runs and the network page's look-ups to the output library.
    // Temporary files of the tester-save mode go into `program_folder`.
    GenerationRun(MainForm& form, GenerationDesktop& desktop, ProgramLibraries& libraries, TesterShare& share,
                  std::filesystem::path program_folder);
    GenerationRun(const GenerationRun&) = delete;
    GenerationRun& operator=(const GenerationRun&) = delete;

    PaprDialog papr;
    // The rows the last forward-link run left out of its waveform for a Walsh-code clash ("F-SCH 2").
    std::vector<std::string> left_out;

    void make_awg_file();
    void make_floating_file();

private:
    enum class Output { Awg, Floating };
    // What the writing steps left behind.
    struct Written {
        bool waveform = false; // the waveform file reached its destination
        std::vector<std::string> problems;
    };
    struct Measured {
        double crest_i_db = 0.0;
        double crest_q_db = 0.0;
        double papr_db = 0.0;
    };

    void run(Output output);
    // Steps from the synthesis to the delivery of the files; nothing when the run ended early (a missing
    // library or export, or the library refused the parameters).
    std::optional<Written> generate(Output output, const SaveFileAnswer& answer, bool to_tester,
                                    const std::filesystem::path& mounted_share, Measured& measured);
    // Calls the synthesis export of the chosen link and radio configuration; nothing when it cannot be bound.
    std::optional<std::int32_t> synthesise(int link);
    // Copies a temporary file to `destination`, or uploads it to the tester's share when that is not
    // mounted here; then deletes it.
    std::optional<std::string> deliver(const std::filesystem::path& temporary, const std::string& destination,
                                       const std::optional<ShareName>& upload_share);
    template <class Function> Function* bind(LibraryBinding& library, const char* name);

    MainForm& form_;
    GenerationDesktop& desktop_;
    ProgramLibraries& libraries_;
    TesterShare& share_;
    std::filesystem::path program_folder_;
    std::string missing_; // what the last failed binding could not find
};

} // namespace varnika
