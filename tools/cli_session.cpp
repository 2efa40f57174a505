#include "cli_session.h"

#include "cli_check.h"
#include "cli_report.h"
#include "run/file_naming.h"
#include "run/installation.h"
#include "run/sigmf_export.h"
#include "window/exit_flow.h"
#include "window/named_settings.h"
#include "window/settings_files.h"
#include "window/start_up.h"

#include <nlohmann/json.hpp>
#include <safewrite/safe_file.h>
#include <wavesave/wavesave.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <optional>
#include <sstream>
#include <string_view>

namespace varnika::cli {

namespace {

namespace fs = std::filesystem;

// The exit code of each way a run ends.
int exit_code_for(RunOutcome outcome) {
    switch (outcome) {
    case RunOutcome::Done:
        return exit_ok;
    case RunOutcome::SamplingRateRefused:
        return exit_ratio_refused;
    case RunOutcome::LibraryMissing:
        return exit_library_missing;
    case RunOutcome::BadWaveform:
        return exit_bad_waveform;
    case RunOutcome::Cancelled:
    case RunOutcome::SynthesisRefused:
    case RunOutcome::NotWritten:
    case RunOutcome::TesterUnreachable:
        break;
    }
    return exit_not_written;
}

// Start-up as the window's, except that the tester's address is looked up only by a run that saves there.
// Buffers made before start-up are taken instead of new ones.
StartupSteps cli_start_up(std::optional<RunBuffers>& buffers) {
    StartupSteps steps;
    steps.apply_network_settings = [](MainForm& form) { form.network.apply_settings(false); };
    if (buffers) {
        steps.allocate_buffers = [&buffers](MainForm& form) {
            form.model.adopt_buffers(std::move(*buffers));
        };
    }
    return steps;
}

// Whether a file name is standard output: "-", or a name of the file standard output is (/dev/stdout).
bool names_standard_output(const std::string& name) {
    struct stat out {};
    struct stat named {};
    return name == "-" || (::fstat(STDOUT_FILENO, &out) == 0 && ::stat(name.c_str(), &named) == 0 &&
                           out.st_dev == named.st_dev && out.st_ino == named.st_ino);
}

} // namespace

Session::Session(const fs::path& program_folder, const fs::path& settings_folder, std::ostream& errors,
                 std::optional<RunBuffers> buffers)
    : platform(errors), libraries(library_folder(program_folder)),
      run(form, desktop, libraries, share, settings_home_path(program_folder)), errors_(errors) {
    form.settings_folder = settings_folder;
    run.recorder = "varnika-cli";
    // A run's warnings (the tester's folder unknown) are notices beside its files, not failures.
    run.warn = [this](const std::string& warning) {
        errors_ << "varnika-cli: warning: " << one_line(warning) << '\n';
    };
    start_up(form, cli_start_up(buffers));
}

void Session::choose(const Options& options) {
    if (options.link) {
        form.Link_Selection_Option.select(*options.link);
    }
    if (options.configuration) {
        form.uplink.UL_CH_Selection_Option.select(*options.configuration);
    }
    if (options.test_model) {
        DownlinkChannelPage& page = form.downlink_channels;
        page.DL_CH_TestModel_Combo.select(*options.test_model);
        page.DL_CH_TestModel_Command.press();
    }
    const bool downlink = form.model.link_flag == downlink_item;
    if (options.ratio) {
        (downlink ? form.downlink_general.DL_Filter_Over_Combo : form.uplink.UL_Filter_Over_Combo)
            .select_text(*options.ratio);
    }
    if (options.iq_inverse) {
        (downlink ? form.downlink_general.DL_Filter_IQinverse_Combo : form.uplink.UL_Filter_IQinverse_Combo)
            .select(*options.iq_inverse);
    }
}

int Session::refuse(int code, const std::string& text) {
    errors_ << "varnika-cli: " << text << '\n';
    return code;
}

int Session::make_sigmf(const Options& options) {
    // The run writes both files of the recording itself, each whole or not at all.
    const std::string meta = options.file + sigmf_meta_extension;
    desktop.answer_with(meta, meta);
    form.MakeFloatingFile_Button.press();
    const RunResult& result = run.last_result();
    if (result.outcome != RunOutcome::Done && result.message.empty()) {
        return refuse(exit_code_for(result.outcome),
                      std::string(floating_run_title) + ": no file was written.");
    }
    return exit_code_for(result.outcome);
}

int Session::make(const Options& options, std::ostream& out) {
    if (options.command == Command::MakeSigmf) {
        return make_sigmf(options);
    }
    const bool awg = options.command == Command::MakeAwg;
    const std::string title = awg ? awg_run_title : floating_run_title;
    // The window's note beside the offset in use: the waveform is made as set, with its phase step.
    const bool downlink = form.model.link_flag == downlink_item;
    const FrequencyOffsetFrame& offset = downlink ? form.downlink_general.offset : form.uplink.offset;
    if (!offset.note.text().empty()) {
        const form::Label& caption =
            offset.option.selected() == 1 ? offset.freqerr_caption : offset.ifconv_caption;
        errors_ << "varnika-cli: warning: " << caption.text() << ": " << offset.note.text() << '\n';
    }

    // The reference file is written by the run, so that it replaces its earlier file together with the
    // waveform file, or neither does.
    run.requested_reference = options.reference_file;
    desktop.answer_with(options.file, options.file);
    (awg ? form.MakeAWGFile_Button : form.MakeFloatingFile_Button).press();
    run.requested_reference.reset();
    const RunResult& result = run.last_result();
    if (result.outcome != RunOutcome::Done) {
        if (result.message.empty()) {
            return refuse(exit_code_for(result.outcome), title + ": no file was written.");
        }
        return exit_code_for(result.outcome);
    }

    if (!run.left_out.empty()) {
        errors_ << "varnika-cli: warning: " << left_out_text(run.left_out) << '\n';
    }
    if (awg) {
        // A waveform sent to standard output keeps it to itself: the figures go with the messages.
        const bool streamed_out = names_standard_output(options.file) ||
                                  (options.reference_file && names_standard_output(*options.reference_file));
        std::ostream& figures = streamed_out ? errors_ : out;
        for (std::size_t k = 0; k < run.papr.PAPR.size(); ++k) {
            figures << run.papr.captions[k].text() << ": " << run.papr.PAPR[k].text() << " dB\n";
        }
    }
    return exit_ok;
}

int Session::save_settings() {
    ExitDialog& dialog = form.exit_flow.dialog;
    platform.answer_modal = [&dialog](form::Dialog& shown) {
        if (&shown == &dialog.Form2) {
            dialog.ExitPara_Button[ExitDialog::save_and_quit].press();
        }
    };
    const bool saved = form.exit_flow.close_requested();
    platform.answer_modal = nullptr;
    return saved ? exit_ok : exit_not_written;
}

namespace {

// The session of a process that ends with its command.
std::unique_ptr<Session>& kept_session() {
    static std::unique_ptr<Session> kept;
    return kept;
}

// Where a command's output goes: `data` what was asked for (analyze's numbers, --list-keys), `text` the
// run's report lines (the PAPR), `errors` notices and errors.
struct Streams {
    std::ostream& data;
    std::ostream& text;
    std::ostream& errors;
};

// The whole program; `parts`, when given, receives what the JSON object needs besides the models
// (`report`, the object itself, is made once the session's work is done).
int run_command(const Options& options, const fs::path& program_folder, const Streams& to,
                std::string* report, const std::ostringstream* error_text, SessionEnd end) {
    if (options.help) {
        to.data << help_text(settings_home_path(program_folder));
        return exit_ok;
    }
    if (options.version) {
        ProgramLibraries libraries(library_folder(program_folder));
        to.data << version_report("varnika-cli", libraries);
        return exit_ok;
    }
    const bool analyzing = options.command == Command::Analyze || options.analyze;
    const bool making = options.command != Command::None && options.command != Command::Analyze;
    // Only a command that writes makes the settings folder: one that reads or lists leaves none behind.
    fs::path settings_folder =
        making || options.save_settings ? settings_home(program_folder) : settings_home_path(program_folder);
    if (options.settings_dir) {
        std::error_code error;
        if (!fs::is_directory(*options.settings_dir, error)) {
            to.errors << "varnika-cli: the settings folder " << options.settings_dir->string()
                      << " does not exist\n";
            return exit_usage;
        }
        settings_folder = *options.settings_dir;
    }
    // A run's buffers are made ready on the second core while the settings are read.
    std::optional<RunBuffers> buffers;
    if (making) {
        buffers = make_run_buffers(true);
    }
    auto owned = std::make_unique<Session>(program_folder, settings_folder, to.errors, std::move(buffers));
    Session& session = *owned;
    if (end == SessionEnd::KeepUntilExit) {
        kept_session() = std::move(owned);
    }
    ReportParts parts;
    auto finish = [&](int code) {
        if (report != nullptr) {
            sort_messages(error_text->str(), parts);
            if (code == exit_ok) {
                // A command that succeeded had notes, not errors.
                parts.warnings.insert(parts.warnings.end(), parts.errors.begin(), parts.errors.end());
                parts.errors.clear();
            }
            *report = json_report(options, session.form, session.libraries, code, parts);
        }
        return code;
    };
    session.choose(options);
    // A system_def.ini key sets the tester's address as the file would, but the tester is looked up only
    // by a run that saves there.
    const NamedSettingsOutcome set = apply_named_settings(
        session.form, options.settings, [](MainForm& form) { form.network.apply_settings(false); });
    for (const std::string& warning : set.warnings) {
        to.errors << "varnika-cli: warning: " << warning << '\n';
    }
    if (!set.error.empty()) {
        to.errors << "varnika-cli: --set: " << set.error << " (varnika-cli --list-keys lists the keys)\n";
        return finish(exit_usage);
    }
    if (options.list_keys) {
        std::vector<NamedSetting> keys = list_settings(session.form);
        std::erase_if(
            keys, [&options](const NamedSetting& key) { return !key.name.starts_with(options.list_prefix); });
        for (const NamedSetting& key : keys) {
            to.data << key.name << '=' << key.value << '\t' << key.rule << '\n';
        }
        parts.keys = std::move(keys);
    }
    int code = making ? session.make(options, to.text) : exit_ok;
    // With --json the check's numbers are an object of their own: the whole answer of analyze, or the
    // "analysis" member of a run's answer.
    std::ostringstream check;
    if (code == exit_ok && analyzing) {
        code = check_file(session, options, report != nullptr ? check : to.data, to.errors);
        // A file that differs from the settings was still measured: its numbers are the answer.
        parts.analysis = code == exit_ok || code == exit_differs ? check.str() : std::string();
    }
    if (code == exit_ok && options.save_settings) {
        code = session.save_settings();
    }
    return finish(code);
}

// Keeps a stream's lines that are not notices ("varnika-cli: warning: ...").
std::string without_notices(const std::string& text) {
    std::istringstream in(text);
    std::string kept;
    for (std::string line; std::getline(in, line);) {
        if (!line.starts_with("varnika-cli: warning: ")) {
            kept += line + '\n';
        }
    }
    return kept;
}

bool has_word(std::span<const std::string> arguments, const char* word) {
    return std::ranges::find(arguments, std::string(word)) != arguments.end();
}

} // namespace

int run_cli(std::span<const std::string> arguments, const fs::path& program_folder, std::ostream& out,
            std::ostream& errors, SessionEnd end) {
    const ParsedArguments parsed = parse_arguments(arguments);
    const bool asks_help =
        has_word(arguments, "--help") || has_word(arguments, "-h") || has_word(arguments, "--version");
    // With --json the text a run prints is held back: the one object on standard output says it all, the
    // notices under "warnings" and the errors under "error". With --quiet the notices are dropped.
    const bool json = parsed.options
                          ? parsed.options->json && !parsed.options->help && !parsed.options->version
                          : has_word(arguments, "--json") && !asks_help;
    const bool quiet = parsed.options ? parsed.options->quiet : has_word(arguments, "--quiet");
    std::ostringstream held_out;
    std::ostringstream held_errors;
    std::ostringstream dropped;
    std::ostream& error_stream = json || quiet ? static_cast<std::ostream&>(held_errors) : errors;
    std::ostream& data = json ? static_cast<std::ostream&>(held_out) : out;
    // A waveform written to standard output ("-") has it to itself: the run's report lines go with the
    // messages then.
    const bool streamed =
        parsed.options && (parsed.options->file == "-" || parsed.options->reference_file == "-");
    const Streams to{data, quiet ? dropped : (streamed ? error_stream : data), error_stream};
    std::string report;
    int code = exit_internal_error;
    try {
        if (!parsed.options) {
            error_stream << "varnika-cli: " << parsed.error << " (varnika-cli --help lists the options)\n";
            code = exit_usage;
        } else {
            code =
                run_command(*parsed.options, program_folder, to, json ? &report : nullptr, &held_errors, end);
        }
    } catch (const std::exception& error) {
        error_stream << "varnika-cli: " << error.what() << '\n';
        code = exit_internal_error;
        report.clear();
    }
    if (json) {
        if (report.empty()) {
            ReportParts parts;
            sort_messages(held_errors.str(), parts);
            report = json_error(parsed.options ? command_name(*parsed.options) : "usage", code, parts);
        }
        out << report;
    } else if (quiet) {
        errors << without_notices(held_errors.str());
    }
    return code;
}

} // namespace varnika::cli
