#include "cli_check.h"

#include "check/signal_check.h"
#include "cli_session.h"

namespace varnika::cli {

int check_file(Session& session, const Options& options, std::ostream& out, std::ostream& errors) {
    std::filesystem::path file = options.file;
    SignalCheckSetup setup;
    if (options.analyze) {
        // After a run: the file it wrote, against the settings it handed the synthesis.
        const std::optional<MadeWaveform>& made = session.run.last_result().made;
        if (!made) {
            errors << "varnika-cli: " << options.file
                   << " cannot be checked: the waveform was streamed, not saved as a file that can be "
                      "read back\n";
            return exit_check_failed;
        }
        file = made->file;
        setup = signal_check_setup(made->settings, session.libraries);
    } else {
        setup = signal_check_setup(session.form, session.libraries);
    }
    setup.detect = options.detect;
    setup.file_sample_rate_hz = options.sample_rate_hz;
    const SignalCheckOutcome outcome = run_signal_check(file, setup);
    if (!outcome.result) {
        errors << "varnika-cli: " << outcome.error << '\n';
        return exit_check_failed;
    }
    if (!outcome.result->reference_problem.empty()) {
        errors << "varnika-cli: rho, EVM and code-domain power not measured: "
               << outcome.result->reference_problem << '\n';
    }
    out << (options.json ? signal_check_json(outcome) + "\n" : signal_check_text(outcome));
    const Verdict verdict = judge(outcome);
    return verdict.matches && !*verdict.matches ? exit_differs : exit_ok;
}

} // namespace varnika::cli
