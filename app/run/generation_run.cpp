#include "run/generation_run.h"

#include "downlink/dl_channel_list.h"
#include "run/file_naming.h"

#include <kestra/kestra.h>
#include <wavesave/wavesave.h>

#include <algorithm>
#include <system_error>

namespace varnika {

namespace {

// One marker's five arguments of the AWG writer: enable, start, high, tail, mode; all 0 while it is off.
struct MarkerArguments {
    std::int32_t enable = 0;
    std::int32_t start = 0;
    std::int32_t high = 0;
    std::int32_t tail = 0;
    std::int32_t mode = 0;
};

MarkerArguments marker_arguments(const SettingsModel& model, int link, int marker, std::int32_t data_size) {
    const auto column = static_cast<std::size_t>(link);
    const auto row = static_cast<std::size_t>(marker == 0 ? Mark1Mod : Mark2Mod);
    const std::int32_t mode = model.MarkerTable[row][column];
    if (mode == 0) {
        return {};
    }
    const std::int32_t start = model.MarkerTable[row + 1][column];
    const std::int32_t high = model.MarkerTable[row + 2][column];
    return {mode, start, high, data_size - (start + high), mode};
}

// Restores the run's button and the pointer however the run ends.
class RunGuard {
public:
    RunGuard(form::Button& button, GenerationDesktop& desktop) : button_(button), desktop_(desktop) {
        button_.set_enabled(false);
    }
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;
    ~RunGuard() {
        restore_pointer();
        button_.set_enabled(true);
    }
    void show_busy_pointer() {
        desktop_.show_busy_pointer(true);
        busy_ = true;
    }
    void restore_pointer() {
        if (busy_) {
            desktop_.show_busy_pointer(false);
            busy_ = false;
        }
    }

private:
    form::Button& button_;
    GenerationDesktop& desktop_;
    bool busy_ = false;
};

} // namespace

HostLookup bound_host_lookup(ProgramLibraries& libraries) {
    auto bound = [&libraries](const char* name) {
        return [&libraries, name](const char* query, char* result) -> std::int32_t {
            std::string missing;
            auto* function = libraries.wavesave.find<decltype(Get_Host_Name)>(name, missing);
            return function != nullptr ? function(query, result) : WAVESAVE_LOOKUP_FAILED;
        };
    };
    return {bound("Get_Host_Name"), bound("Get_IP_Address")};
}

GenerationRun::GenerationRun(MainForm& form, GenerationDesktop& desktop, ProgramLibraries& libraries,
                             TesterShare& share, std::filesystem::path program_folder)
    : form_(form), desktop_(desktop), libraries_(libraries), share_(share),
      program_folder_(std::move(program_folder)) {
    form_.MakeAWGFile_Button.set_press_rule([this] { make_awg_file(); });
    form_.MakeFloatingFile_Button.set_press_rule([this] { make_floating_file(); });
    form_.network.set_lookup(bound_host_lookup(libraries_));
}

void GenerationRun::make_awg_file() {
    run(Output::Awg);
}

void GenerationRun::make_floating_file() {
    run(Output::Floating);
}

template <class Function> Function* GenerationRun::bind(LibraryBinding& library, const char* name) {
    return library.find<Function>(name, missing_);
}

void GenerationRun::run(Output output) {
    const bool awg = output == Output::Awg;
    const char* title = awg ? awg_run_title : floating_run_title;
    SettingsModel& model = form_.model;
    const int link = model.link_flag == 0 ? uplink_item : downlink_item;
    if (awg) {
        const double rate = model.sampling_rate(link);
        if (rate < awg_min_sampling_rate_hz || rate > awg_max_sampling_rate_hz) {
            form_.platform.show_message(sampling_rate_message, title, form::MessageIcon::Exclamation,
                                        form::MessageButtons::Ok);
            return;
        }
    }

    RunGuard guard(awg ? form_.MakeAWGFile_Button : form_.MakeFloatingFile_Button, desktop_);
    // The tester-save mode concerns the AWG run only.
    const bool to_tester = awg && form_.network.saves_to_tester();
    const std::filesystem::path mounted_share =
        to_tester ? share_.mounted_folder(model.TesterFolder) : std::filesystem::path();
    SaveFileRequest request;
    request.title = awg ? awg_save_title : floating_save_title;
    request.filter = awg ? awg_filter : floating_filter;
    request.initial_folder = mounted_share.string();
    const SaveFileAnswer answer = desktop_.ask_save_file(request);
    if (answer.file_name.empty()) {
        return;
    }

    guard.show_busy_pointer();
    desktop_.let_pending_messages_through();
    Measured measured;
    left_out.clear();
    const std::optional<Written> written = generate(output, answer, to_tester, mounted_share, measured);
    // Figures of an earlier file never stay on show beside a run that failed.
    if (!written || !written->waveform) {
        papr.withdraw();
    }
    if (!written) {
        guard.restore_pointer();
        if (!missing_.empty()) {
            form_.platform.show_message(no_file_written_message + missing_, title,
                                        form::MessageIcon::Critical, form::MessageButtons::Ok);
        }
        return;
    }
    // The dialog reports a waveform that was written, never one that was lost.
    if (awg && written->waveform) {
        papr.show_values(measured.papr_db, measured.crest_i_db, measured.crest_q_db);
        const int ratio =
            link == downlink_item ? form_.downlink_general.oversampling() : form_.uplink.oversampling();
        papr.describe(answer.file_name,
                      form_.Link_Selection_Option.captions()[static_cast<std::size_t>(link)], ratio,
                      left_out);
        papr.bring_to_front();
    }
    guard.restore_pointer();
    if (!written->problems.empty()) {
        std::string text;
        for (const std::string& problem : written->problems) {
            text += (text.empty() ? "" : "\n") + problem;
        }
        form_.platform.show_message(text, title, form::MessageIcon::Critical, form::MessageButtons::Ok);
    }
}

std::optional<std::int32_t> GenerationRun::synthesise(int link) {
    SettingsModel& model = form_.model;
    IqSample* waveform = model.waveform_buffer.get();
    IqSample* chips = model.chip_buffer.get();
    void* work = model.work_area.get();
    if (link == downlink_item) {
        auto* actual = bind<decltype(KESTRA_DL_Actual)>(libraries_.kestra, "KESTRA_DL_Actual");
        if (actual == nullptr) {
            return std::nullopt;
        }
        const DlChannelList list =
            collect_dl_channels(model, form_.downlink_general, form_.downlink_channels);
        model.dl_params = list.params;
        left_out = list.left_out;
        return actual(waveform, chips, work, &model.dl_params, list.channels.data(),
                      list.ack_user_gains.data());
    }
    const UplinkPanel& uplink = form_.uplink;
    switch (model.UL_CH_flag) {
    case 1: {
        auto* actual = bind<decltype(KESTRA_UL_Actual_RC34)>(libraries_.kestra, "KESTRA_UL_Actual_RC34");
        if (actual == nullptr) {
            return std::nullopt;
        }
        uplink.fill(model.rc34_params);
        return actual(waveform, chips, work, &model.rc34_params);
    }
    case 2: {
        auto* actual = bind<decltype(KESTRA_UL_Actual_RC7)>(libraries_.kestra, "KESTRA_UL_Actual_RC7");
        if (actual == nullptr) {
            return std::nullopt;
        }
        uplink.fill(model.rc7_params);
        return actual(waveform, chips, work, &model.rc7_params);
    }
    default: {
        auto* actual = bind<decltype(KESTRA_UL_Actual_RC12)>(libraries_.kestra, "KESTRA_UL_Actual_RC12");
        if (actual == nullptr) {
            return std::nullopt;
        }
        return actual(waveform, chips, work, uplink.oversampling(),
                      std::max(0, uplink.UL_Filter_IQinverse_Combo.selected()), model.ul_df_flag,
                      uplink.offset.freqerr.number(), uplink.offset.ifconv.number());
    }
    }
}

std::optional<GenerationRun::Written> GenerationRun::generate(Output output, const SaveFileAnswer& answer,
                                                              bool to_tester,
                                                              const std::filesystem::path& mounted_share,
                                                              Measured& measured) {
    const bool awg = output == Output::Awg;
    SettingsModel& model = form_.model;
    const int link = model.link_flag == 0 ? uplink_item : downlink_item;
    const bool tester_mode = model.tester_mode_flag != 0;
    missing_.clear();

    // Every export this run calls is bound before anything is computed or written.
    auto* crest_factor =
        awg ? bind<decltype(CalcCrestFactor)>(libraries_.wavesave, "CalcCrestFactor") : nullptr;
    auto* save_awg =
        awg ? bind<decltype(save_AWG_data_file)>(libraries_.wavesave, "save_AWG_data_file") : nullptr;
    auto* save_ascii = (!awg || tester_mode)
                           ? bind<decltype(save_ASCII_data_file)>(libraries_.wavesave, "save_ASCII_data_file")
                           : nullptr;
    if (!missing_.empty()) {
        return std::nullopt;
    }
    if (!model.waveform_buffer) {
        model.allocate_buffers();
    }
    const std::optional<std::int32_t> status = synthesise(link);
    if (!status || *status < 0) {
        return std::nullopt;
    }

    const std::int32_t size = model.data_size(link);
    const double rate = model.sampling_rate(link);
    const IqSample* waveform = model.waveform_buffer.get();
    const std::string& chosen = answer.file_name;
    const std::string reference =
        reference_file_name(chosen, answer.filter_index, awg ? awg_named_filters : floating_named_filters);
    const std::filesystem::path waveform_temporary = program_folder_ / awg_temporary_name;
    const std::filesystem::path reference_temporary = program_folder_ / reference_temporary_name;
    // Outside tester-save mode each file is written under a staging name beside the chosen one and then
    // renamed over it: a write that fails part-way (a full disk) leaves no truncated waveform under the
    // chosen name, and a file of that name from an earlier run stays as it was.
    const std::string waveform_target = to_tester ? waveform_temporary.string() : staging_name(chosen);
    const std::string reference_target = to_tester ? reference_temporary.string() : staging_name(reference);

    Written written;
    auto not_written = [&written, to_tester](const std::string& file, const std::string& target) {
        written.problems.push_back(
            "The file " + file + " was not written: " + (to_tester ? "the temporary file " + target : file) +
            " cannot be created.");
    };
    // Puts a staged file in place, or removes what a failed write left of it.
    auto finish_staged = [&](bool& ok, const std::string& staged, const std::string& file) {
        std::error_code error;
        if (ok) {
            std::filesystem::rename(staged, file, error);
            if (error) {
                ok = false;
                not_written(file, staged);
            }
        }
        if (!ok) {
            std::filesystem::remove(staged, error);
        }
    };
    bool waveform_ok = false;
    if (awg) {
        const MarkerArguments m1 = marker_arguments(model, link, 0, size);
        const MarkerArguments m2 = marker_arguments(model, link, 1, size);
        crest_factor(waveform, size, &measured.crest_i_db, &measured.crest_q_db, &measured.papr_db);
        waveform_ok = save_awg(waveform_target.c_str(), waveform, measured.crest_i_db, measured.crest_q_db,
                               measured.papr_db, rate, size, 0, m1.enable, m1.start, m1.high, m1.tail,
                               m1.mode, m2.enable, m2.start, m2.high, m2.tail, m2.mode) == WAVESAVE_OK;
    } else {
        waveform_ok = save_ascii(waveform_target.c_str(), waveform, size) == WAVESAVE_OK;
    }
    if (!waveform_ok) {
        not_written(chosen, waveform_target);
    }
    bool reference_ok = false;
    if (tester_mode) {
        reference_ok =
            save_ascii(reference_target.c_str(), model.chip_buffer.get(), frame_chips) == WAVESAVE_OK;
        if (!reference_ok) {
            not_written(reference, reference_target);
        }
    }
    if (!to_tester) {
        finish_staged(waveform_ok, waveform_target, chosen);
        if (tester_mode) {
            finish_staged(reference_ok, reference_target, reference);
        }
    }
    desktop_.let_pending_messages_through();

    written.waveform = waveform_ok;
    if (to_tester) {
        // A share that is not mounted here gets the files by upload, under the names chosen in the dialog.
        const std::optional<ShareName> upload_share =
            mounted_share.empty() ? parse_share_path(model.TesterFolder) : std::nullopt;
        if (waveform_ok) {
            if (auto problem = deliver(waveform_temporary, chosen, upload_share)) {
                written.problems.push_back(*problem);
                written.waveform = false;
            }
        }
        if (reference_ok) {
            if (auto problem = deliver(reference_temporary, reference, upload_share)) {
                written.problems.push_back(*problem);
            }
        }
        // Whatever happened, no temporary file stays behind.
        std::error_code ignored;
        std::filesystem::remove(waveform_temporary, ignored);
        std::filesystem::remove(reference_temporary, ignored);
    }
    return written;
}

std::optional<std::string> GenerationRun::deliver(const std::filesystem::path& temporary,
                                                  const std::string& destination,
                                                  const std::optional<ShareName>& upload_share) {
    if (upload_share) {
        const std::string name = std::filesystem::path(destination).filename().string();
        if (auto problem = share_.upload(*upload_share, temporary, name)) {
            return "The file " + name + " was not copied to " + form_.model.TesterFolder + ": " + *problem +
                   ".";
        }
        return std::nullopt;
    }
    std::error_code error;
    std::filesystem::copy_file(temporary, destination, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) {
        return "The file " + destination + " was not written: " + error.message() + ".";
    }
    return std::nullopt;
}

} // namespace varnika
