#include "cli_session.h"

#include "cli_check.h"

#include "run/file_naming.h"
#include "settings/exit_flow.h"
#include "settings/start_up.h"
#include "staged_output.h"

#include <wavesave/wavesave.h>

#include <optional>
#include <sstream>
#include <string_view>

namespace varnika::cli {

namespace {

namespace fs = std::filesystem;

// How the run's message for a library or export it could not bind begins.
constexpr std::string_view unbound_library_message = no_file_written_message;

// A run shows at most one message before it ends; what it says decides the exit code.
int exit_code_for(const HeadlessPlatform::Message& message) {
    if (message.text == sampling_rate_message) {
        return exit_ratio_refused;
    }
    if (message.text.starts_with(unbound_library_message)) {
        return exit_library_missing;
    }
    return exit_not_written;
}

} // namespace

Session::Session(const fs::path& program_folder, const fs::path& settings_folder, std::ostream& errors)
    : platform(errors), libraries(program_folder), run(form, desktop, libraries, share, program_folder),
      program_folder_(program_folder), errors_(errors) {
    form.settings_folder = settings_folder;
    start_up(form);
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

int Session::make(const Options& options, std::ostream& out) {
    const bool awg = options.command == Command::MakeAwg;
    const std::string title = awg ? awg_run_title : floating_run_title;
    StagedFile waveform(options.file);
    std::optional<StagedFile> reference;
    if (auto error = waveform.prepare()) {
        return refuse(exit_not_written, *error);
    }
    if (options.reference_file) {
        reference.emplace(*options.reference_file);
        if (auto error = reference->prepare()) {
            return refuse(exit_not_written, *error);
        }
    }
    // The run's own temporary files of the tester-save mode go on interrupt as well.
    const bool to_tester = awg && form.network.saves_to_tester();
    std::optional<RemovedOnInterrupt> waveform_temporary;
    std::optional<RemovedOnInterrupt> reference_temporary;
    if (to_tester) {
        waveform_temporary.emplace(program_folder_ / awg_temporary_name);
        reference_temporary.emplace(program_folder_ / reference_temporary_name);
    }

    // Messages name the user's files, not their staged names.
    platform.aliases = {{waveform.staging().string(), waveform.destination().string()}};
    desktop.answer_with(waveform.staging().string(), options.file);
    const std::size_t earlier_messages = platform.messages().size();
    (awg ? form.MakeAWGFile_Button : form.MakeFloatingFile_Button).press();
    platform.aliases.clear();
    if (platform.messages().size() > earlier_messages) {
        return exit_code_for(platform.messages()[earlier_messages]);
    }
    // In the tester-save mode a share that is not mounted here receives the file by upload, and nothing
    // is left to move into place.
    const bool uploaded = to_tester && !waveform.written();
    if (!waveform.written() && !uploaded) {
        return refuse(exit_not_written, title + ": no file was written.");
    }

    if (reference) {
        std::string missing;
        auto* save_ascii =
            libraries.wavesave.find<decltype(save_ASCII_data_file)>("save_ASCII_data_file", missing);
        if (save_ascii == nullptr) {
            return refuse(exit_library_missing,
                          title + ": " + std::string(unbound_library_message) + missing);
        }
        if (save_ascii(reference->staging().c_str(), form.model.chip_buffer.get(), frame_chips) !=
            WAVESAVE_OK) {
            return refuse(exit_not_written, reference->destination().string() + " cannot be written.");
        }
    }
    if (waveform.written()) {
        if (auto error = waveform.commit()) {
            return refuse(exit_not_written, *error);
        }
    }
    if (reference) {
        if (auto error = reference->commit()) {
            return refuse(exit_not_written, *error);
        }
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

int run_cli(std::span<const std::string> arguments, const fs::path& program_folder, std::ostream& out,
            std::ostream& errors) {
    try {
        const ParsedArguments parsed = parse_arguments(arguments);
        if (!parsed.options) {
            errors << "varnika-cli: " << parsed.error << " (varnika-cli --help lists the options)\n";
            return exit_usage;
        }
        const Options& options = *parsed.options;
        if (options.help) {
            out << help_text();
            return exit_ok;
        }
        fs::path settings_folder = program_folder;
        if (options.settings_dir) {
            std::error_code error;
            if (!fs::is_directory(*options.settings_dir, error)) {
                errors << "varnika-cli: the settings folder " << options.settings_dir->string()
                       << " does not exist\n";
                return exit_usage;
            }
            settings_folder = *options.settings_dir;
        }
        Session session(program_folder, settings_folder, errors);
        session.choose(options);
        // With --json the standard output is the JSON object alone.
        std::ostringstream made_lines;
        const bool making = options.command == Command::MakeAwg || options.command == Command::MakeFloating;
        int code = making ? session.make(options, options.json ? made_lines : out) : exit_ok;
        if (code == exit_ok && (options.command == Command::Analyze || options.analyze)) {
            code = check_file(session, options, out, errors);
        }
        if (code == exit_ok && options.save_settings) {
            code = session.save_settings();
        }
        return code;
    } catch (const std::exception& error) {
        errors << "varnika-cli: " << error.what() << '\n';
        return exit_internal_error;
    }
}

} // namespace varnika::cli
