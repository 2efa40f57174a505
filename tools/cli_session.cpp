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

} // namespace

Session::Session(const fs::path& program_folder, const fs::path& settings_folder, std::ostream& errors,
                 std::optional<RunBuffers> buffers)
    : platform(errors), libraries(library_folder(program_folder)),
      run(form, desktop, libraries, share, settings_home(program_folder)), errors_(errors) {
    form.settings_folder = settings_folder;
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
    // The reference file's temporary is made first: a reference that cannot be written stops the run
    // before the waveform file is replaced.
    std::optional<safewrite::SafeFile> reference;
    if (options.reference_file) {
        reference.emplace(*options.reference_file);
        if (auto failed = reference->open()) {
            return refuse(exit_not_written,
                          "The file " + failed->file + " was not written: " + failed->cause + ".");
        }
    }

    // The window's note beside the offset in use: the waveform is made as set, with its phase step.
    const bool downlink = form.model.link_flag == downlink_item;
    const FrequencyOffsetFrame& offset = downlink ? form.downlink_general.offset : form.uplink.offset;
    if (!offset.note.text().empty()) {
        const form::Label& caption =
            offset.option.selected() == 1 ? offset.freqerr_caption : offset.ifconv_caption;
        errors_ << "varnika-cli: warning: " << caption.text() << ": " << offset.note.text() << '\n';
    }

    desktop.answer_with(options.file, options.file);
    (awg ? form.MakeAWGFile_Button : form.MakeFloatingFile_Button).press();
    const RunResult& result = run.last_result();
    if (result.outcome != RunOutcome::Done) {
        if (result.message.empty()) {
            return refuse(exit_code_for(result.outcome), title + ": no file was written.");
        }
        return exit_code_for(result.outcome);
    }

    if (reference) {
        std::string missing;
        auto* save_ascii =
            libraries.wavesave.find<decltype(save_ASCII_data_file)>("save_ASCII_data_file", missing);
        if (save_ascii == nullptr) {
            return refuse(exit_library_missing, title + ": " + no_file_written_message + missing);
        }
        errno = 0;
        if (save_ascii(reference->descriptor_name().c_str(), form.model.chip_buffer.get(), frame_chips) !=
            WAVESAVE_OK) {
            const safewrite::Failure failed = reference->writer_failed(errno);
            return refuse(exit_not_written,
                          "The file " + failed.file + " was not written: " + failed.cause + ".");
        }
        if (auto failed = reference->commit()) {
            return refuse(exit_not_written,
                          "The file " + failed->file + " was not written: " + failed->cause + ".");
        }
    }
    if (!run.left_out.empty()) {
        errors_ << "varnika-cli: " << left_out_text(run.left_out) << '\n';
    }
    if (awg) {
        for (std::size_t k = 0; k < run.papr.PAPR.size(); ++k) {
            out << run.papr.captions[k].text() << ": " << run.papr.PAPR[k].text() << " dB\n";
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

std::vector<std::string> error_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        constexpr std::string_view prefix = "varnika-cli: ";
        lines.push_back(line.starts_with(prefix) ? line.substr(prefix.size()) : line);
    }
    return lines;
}

// The session of a process that ends with its command.
std::unique_ptr<Session>& kept_session() {
    static std::unique_ptr<Session> kept;
    return kept;
}

// The whole program with its text output; `report`, when given, receives the JSON object of the run, with
// the errors written to `error_text` by then.
int run_command(std::span<const std::string> arguments, const fs::path& program_folder, std::ostream& out,
                std::ostream& errors, std::string* report, const std::ostringstream* error_text,
                SessionEnd end) {
    const ParsedArguments parsed = parse_arguments(arguments);
    if (!parsed.options) {
        errors << "varnika-cli: " << parsed.error << " (varnika-cli --help lists the options)\n";
        return exit_usage;
    }
    const Options& options = *parsed.options;
    if (options.help) {
        out << help_text(settings_home(program_folder));
        return exit_ok;
    }
    if (options.version) {
        ProgramLibraries libraries(library_folder(program_folder));
        out << version_report("varnika-cli", libraries);
        return exit_ok;
    }
    fs::path settings_folder = settings_home(program_folder);
    if (options.settings_dir) {
        std::error_code error;
        if (!fs::is_directory(*options.settings_dir, error)) {
            errors << "varnika-cli: the settings folder " << options.settings_dir->string()
                   << " does not exist\n";
            return exit_usage;
        }
        settings_folder = *options.settings_dir;
    }
    const bool analyzing = options.command == Command::Analyze || options.analyze;
    const bool making = options.command != Command::None && options.command != Command::Analyze;
    // A run's buffers are made ready on the second core while the settings are read.
    std::optional<RunBuffers> buffers;
    if (making) {
        buffers = make_run_buffers(true);
    }
    auto owned = std::make_unique<Session>(program_folder, settings_folder, errors, std::move(buffers));
    Session& session = *owned;
    if (end == SessionEnd::KeepUntilExit) {
        kept_session() = std::move(owned);
    }
    session.choose(options);
    if (const std::string error = apply_named_settings(session.form, options.settings); !error.empty()) {
        errors << "varnika-cli: --set: " << error << " (varnika-cli --list-keys lists them)\n";
        return exit_usage;
    }
    if (options.list_keys) {
        for (const auto& [key, value] : list_settings(session.form)) {
            out << key << '=' << value << '\n';
        }
    }
    int code = making ? session.make(options, out) : exit_ok;
    // With --json the check's numbers are an object of their own: the whole answer of analyze, or the
    // "analysis" member of a run's answer.
    std::ostringstream check;
    bool checked = false;
    if (code == exit_ok && analyzing) {
        code = check_file(session, options, report != nullptr ? check : out, errors);
        checked = code == exit_ok || code == exit_differs;
    }
    if (code == exit_ok && options.save_settings) {
        code = session.save_settings();
    }
    if (report != nullptr) {
        *report = json_report(options, session.form, session.libraries, code, error_lines(error_text->str()));
        if (checked) {
            nlohmann::ordered_json answer = nlohmann::ordered_json::parse(*report);
            answer["analysis"] = nlohmann::ordered_json::parse(check.str());
            *report = answer.dump(2) + "\n";
        }
    }
    return code;
}

} // namespace

int run_cli(std::span<const std::string> arguments, const fs::path& program_folder, std::ostream& out,
            std::ostream& errors, SessionEnd end) {
    // With --json the text a run prints is held back: the one object on standard output says it all.
    // analyze --json prints the check's own object, with its notes on standard error as without --json.
    const ParsedArguments parsed = parse_arguments(arguments);
    const bool json = parsed.options
                          ? parsed.options->json && !parsed.options->help && !parsed.options->version &&
                                parsed.options->command != Command::Analyze
                          : std::ranges::find(arguments, std::string("--json")) != arguments.end() &&
                                std::ranges::find(arguments, std::string("--help")) == arguments.end() &&
                                std::ranges::find(arguments, std::string("-h")) == arguments.end() &&
                                std::ranges::find(arguments, std::string("--version")) == arguments.end();
    std::ostringstream held_out;
    std::ostringstream held_errors;
    std::string report;
    int code = exit_internal_error;
    // analyze --json: the check's object, or on failure one object with the exit code and the errors; the
    // notes go to standard error either way.
    if (parsed.options && parsed.options->json && parsed.options->command == Command::Analyze &&
        !parsed.options->help && !parsed.options->version) {
        std::ostringstream check_out;
        try {
            code = run_command(arguments, program_folder, check_out, held_errors, nullptr, nullptr, end);
        } catch (const std::exception& error) {
            held_errors << "varnika-cli: " << error.what() << '\n';
            code = exit_internal_error;
        }
        errors << held_errors.str();
        out << (code == exit_ok || code == exit_differs ? check_out.str()
                                                        : json_error(code, error_lines(held_errors.str())));
        return code;
    }
    try {
        code = json
                   ? run_command(arguments, program_folder, held_out, held_errors, &report, &held_errors, end)
                   : run_command(arguments, program_folder, out, errors, nullptr, nullptr, end);
    } catch (const std::exception& error) {
        (json ? static_cast<std::ostream&>(held_errors) : errors) << "varnika-cli: " << error.what() << '\n';
        code = exit_internal_error;
        report.clear();
    }
    if (json) {
        out << (report.empty() ? json_error(code, error_lines(held_errors.str())) : report);
    }
    return code;
}

} // namespace varnika::cli
