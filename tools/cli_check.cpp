#include "cli_check.h"

#include "check/signal_check.h"
#include "cli_session.h"

namespace varnika::cli {

int check_file(Session& session, const Options& options, std::ostream& out, std::ostream& errors) {
    SignalCheckSetup setup = signal_check_setup(session.form, session.libraries);
    setup.detect = options.detect;
    setup.file_sample_rate_hz = options.sample_rate_hz;
    const SignalCheckOutcome outcome = run_signal_check(options.file, setup);
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
