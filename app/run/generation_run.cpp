#include "run/generation_run.h"

#include "downlink/dl_channel_list.h"
#include "run/file_naming.h"
#include "run/sigmf_export.h"
#include "run/used_channels.h"

#include <kestra/kestra.h>
#include <wavesave/wavesave.h>

#include <safewrite/safe_file.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
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
    HostLookup lookup{bound("Get_Host_Name"), bound("Get_IP_Address"), {}};
    // A worker's copy binds both exports here and holds its own reference to the library, so that the
    // library stays loaded while a look-up runs, even past the end of the program's objects.
    lookup.detached = [&libraries] {
        std::string missing;
        auto* host_name = libraries.wavesave.find<decltype(Get_Host_Name)>("Get_Host_Name", missing);
        auto* ip_address = libraries.wavesave.find<decltype(Get_IP_Address)>("Get_IP_Address", missing);
        const std::shared_ptr<void> held(
            dlopen(libraries.wavesave.file().c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NOLOAD), [](void* handle) {
                if (handle != nullptr) {
                    dlclose(handle);
                }
            });
        HostLookup own;
        if (held && host_name != nullptr) {
            own.host_name = [held, host_name](const char* query, char* result) {
                return host_name(query, result);
            };
        }
        if (held && ip_address != nullptr) {
            own.ip_address = [held, ip_address](const char* query, char* result) {
                return ip_address(query, result);
            };
        }
        return own;
    };
    return lookup;
}

GenerationRun::GenerationRun(MainForm& form, GenerationDesktop& desktop, ProgramLibraries& libraries,
                             TesterShare& share, std::filesystem::path program_folder)
    : form_(form), desktop_(desktop), libraries_(libraries), share_(share),
      program_folder_(std::move(program_folder)) {
    form_.MakeAWGFile_Button.set_press_rule([this] { make_awg_file(); });
    form_.MakeFloatingFile_Button.set_press_rule([this] { make_floating_file(); });
    form_.network.set_lookup(bound_host_lookup(libraries_));
}

RunResult GenerationRun::make_awg_file() {
    return run(Output::Awg);
}

RunResult GenerationRun::make_floating_file() {
    return run(Output::Floating);
}

template <class Function> Function* GenerationRun::bind(LibraryBinding& library, const char* name) {
    return library.find<Function>(name, missing_);
}

std::optional<ShareName> GenerationRun::tester_share(std::string& why) {
    const std::string& folder = form_.model.TesterFolder;
    if (folder.empty()) {
        why = form_.network.folder_unknown_reason();
        if (why.empty()) {
            why = "the tester's address has not been looked up";
        }
        return std::nullopt;
    }
    auto share = parse_share_path(folder);
    if (!share) {
        why = folder + " is not a network folder";
    }
    return share;
}

std::optional<std::string> GenerationRun::send_to_tester(const ShareName& share, const std::string& file,
                                                         bool& unreachable) {
    const std::string name = std::filesystem::path(file).filename().string();
    const std::string& folder = form_.model.TesterFolder;
    // Only a regular file can be read back; a pipe or a device the waveform was streamed into cannot.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    struct stat seen {};
    if (fd < 0 || ::fstat(fd, &seen) != 0 || !S_ISREG(seen.st_mode)) {
        const int error = fd < 0 ? errno : 0;
        if (fd >= 0) {
            ::close(fd);
        }
        return "The file " + name + " was not copied to " + folder + ": " + file +
               (error != 0 ? " cannot be read back (" + std::string(std::strerror(error)) + ")"
                           : " is not a regular file") +
               ".";
    }
    const auto problem = share_.upload(share, fd, name);
    ::close(fd);
    if (!problem) {
        return std::nullopt;
    }
    unreachable = unreachable || problem->unreachable;
    return "The file " + name + " was saved as " + file + " but not copied to " + folder + ": " +
           (problem->unreachable ? "the share did not answer (" + problem->text + ")" : problem->text) + ".";
}

RunResult GenerationRun::run(Output output) {
    const bool awg = output == Output::Awg;
    const char* title = awg ? awg_run_title : floating_run_title;
    SettingsModel& model = form_.model;
    const int link = model.link_flag == 0 ? uplink_item : downlink_item;
    std::optional<MadeWaveform> made;
    auto end = [&](RunOutcome outcome, std::string message = {}) {
        if (!message.empty()) {
            form_.platform.show_message(message, title,
                                        outcome == RunOutcome::SamplingRateRefused
                                            ? form::MessageIcon::Exclamation
                                            : form::MessageIcon::Critical,
                                        form::MessageButtons::Ok);
        }
        result_ = {outcome, std::move(message), std::move(made)};
        if (on_finished) {
            on_finished(result_);
        }
        return result_;
    };
    result_ = {};
    warnings_.clear();
    if (awg) {
        const double rate = model.sampling_rate(link);
        if (rate < awg_min_sampling_rate_hz || rate > awg_max_sampling_rate_hz) {
            return end(RunOutcome::SamplingRateRefused, sampling_rate_message);
        }
    }

    RunGuard guard(awg ? form_.MakeAWGFile_Button : form_.MakeFloatingFile_Button, desktop_);
    // The tester-save mode concerns the AWG run only. The files always go to the file the user chose; a
    // mounted share is where the save dialog opens, and a share that is not mounted receives a copy of
    // each file once it is written. A tester whose folder is unknown only leaves the dialog at its own
    // default folder, and the user is told why.
    const bool to_tester = awg && form_.network.saves_to_tester();
    std::filesystem::path mounted_share;
    std::optional<ShareName> upload_share;
    std::string folder_unknown;
    if (to_tester) {
        if (model.TesterFolder.empty() && !form_.network.resolved()) {
            guard.show_busy_pointer();
            form_.network.resolve_now();
            guard.restore_pointer();
        }
        upload_share = tester_share(folder_unknown);
        if (upload_share) {
            mounted_share = share_.mounted_folder(model.TesterFolder);
            if (!mounted_share.empty()) {
                upload_share.reset(); // a mounted share takes the files as a local folder
            }
        }
    }
    SaveFileRequest request;
    request.title = awg ? awg_save_title : floating_save_title;
    request.filter = awg ? awg_filter : floating_filter;
    request.initial_folder = mounted_share.string();
    const SaveFileAnswer answer = desktop_.ask_save_file(request);
    if (answer.file_name.empty()) {
        return end(RunOutcome::Cancelled);
    }

    guard.show_busy_pointer();
    desktop_.let_pending_messages_through();
    Measured measured;
    left_out.clear();
    std::optional<Written> written = generate(output, answer, std::nullopt, measured);
    // Figures of an earlier file never stay on show beside a run that failed.
    if (!written || !written->waveform) {
        papr.withdraw();
    }
    if (!written) {
        guard.restore_pointer();
        return end(result_.outcome, result_.message);
    }
    if (written->waveform && !written->made.empty()) {
        made = MadeWaveform{std::move(written->settings), written->made};
    }
    if (upload_share && written->waveform) {
        std::vector<std::string> sent{answer.file_name};
        if (written->reference) {
            sent.push_back(reference_file_name(answer.file_name, answer.filter_index, awg_named_filters));
        }
        for (const std::string& file : sent) {
            if (auto problem = send_to_tester(*upload_share, file, written->unreachable)) {
                written->problems.push_back(*problem);
            }
        }
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
    if (to_tester && !upload_share && mounted_share.empty() && written->waveform) {
        warnings_.push_back("The tester's waveform folder is unknown: " + folder_unknown +
                            ". The file was saved as " + answer.file_name + ".");
    }
    for (const std::string& warning : warnings_) {
        if (warn) {
            warn(warning);
        } else {
            form_.platform.show_message(warning, title, form::MessageIcon::Exclamation,
                                        form::MessageButtons::Ok);
        }
    }
    std::string text;
    for (const std::string& problem : written->problems) {
        text += (text.empty() ? "" : "\n") + problem;
    }
    const RunOutcome outcome = written->problems.empty() ? RunOutcome::Done
                               : written->unreachable    ? RunOutcome::TesterUnreachable
                                                         : RunOutcome::NotWritten;
    return end(outcome, text);
}

std::optional<std::int32_t> GenerationRun::synthesise(const RunSettings& settings) {
    SettingsModel& model = form_.model;
    IqSample* waveform = model.waveform_buffer.get();
    IqSample* chips = model.chip_buffer.get();
    void* work = model.work_area.get();
    if (settings.forward()) {
        auto* actual = bind<decltype(KESTRA_DL_Actual)>(libraries_.kestra, "KESTRA_DL_Actual");
        if (actual == nullptr) {
            return std::nullopt;
        }
        const DlChannelList& list = settings.downlink;
        model.dl_params = list.params;
        left_out = list.left_out;
        return actual(waveform, chips, work, &list.params, list.channels.data(), list.ack_user_gains.data());
    }
    switch (settings.radio_configuration) {
    case 1: {
        auto* actual = bind<decltype(KESTRA_UL_Actual_RC34)>(libraries_.kestra, "KESTRA_UL_Actual_RC34");
        if (actual == nullptr) {
            return std::nullopt;
        }
        model.rc34_params = settings.rc34;
        return actual(waveform, chips, work, &settings.rc34);
    }
    case 2: {
        auto* actual = bind<decltype(KESTRA_UL_Actual_RC7)>(libraries_.kestra, "KESTRA_UL_Actual_RC7");
        if (actual == nullptr) {
            return std::nullopt;
        }
        model.rc7_params = settings.rc7;
        return actual(waveform, chips, work, &settings.rc7);
    }
    default: {
        auto* actual = bind<decltype(KESTRA_UL_Actual_RC12)>(libraries_.kestra, "KESTRA_UL_Actual_RC12");
        if (actual == nullptr) {
            return std::nullopt;
        }
        return actual(waveform, chips, work, settings.oversampling, settings.iq_inverse, settings.offset_mode,
                      settings.freq_error_hz, settings.if_freq_hz);
    }
    }
}

namespace {

// Why a waveform cannot be a waveform: every sample zero, or a sample that is not a finite number (a
// setting that overflowed on its way through the synthesis). Empty when it is usable.
std::string unusable_waveform(const IqSample* samples, std::int32_t count) {
    bool any = false;
    for (std::int32_t k = 0; k < count; ++k) {
        const double i = samples[k].i;
        const double q = samples[k].q;
        if (!std::isfinite(i) || !std::isfinite(q)) {
            return "The waveform is not usable: it holds values that are not finite numbers (a setting too "
                   "large for the synthesis?). No file was written.";
        }
        any = any || i != 0.0 || q != 0.0;
    }
    return any ? std::string() : "The waveform is not usable: every sample is zero. No file was written.";
}

// Whether a written file can be read back: a regular file, or a link to one. Standard output ("-"), a FIFO
// or a device the waveform was streamed into cannot.
bool readable_back(const std::filesystem::path& file) {
    std::error_code error;
    return !file.empty() && file != "-" && std::filesystem::is_regular_file(file, error);
}

} // namespace

std::optional<GenerationRun::Written> GenerationRun::generate(Output output, const SaveFileAnswer& answer,
                                                              const std::optional<ShareName>& upload_share,
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
    auto* save_ascii = (!awg || tester_mode || requested_reference)
                           ? bind<decltype(save_ASCII_data_file)>(libraries_.wavesave, "save_ASCII_data_file")
                           : nullptr;
    if (!missing_.empty()) {
        result_ = {RunOutcome::LibraryMissing, no_file_written_message + missing_, {}};
        return std::nullopt;
    }
    if (!model.waveform_buffer) {
        model.allocate_buffers();
    }
    model.buffer_warm_up.reset(); // the run takes its buffers over from here
    // The settings are read once: the synthesis gets these records, and the run's result keeps them.
    RunSettings settings = run_settings(form_);
    const std::optional<std::int32_t> status = synthesise(settings);
    if (!status) {
        result_ = {RunOutcome::LibraryMissing, no_file_written_message + missing_, {}};
        return std::nullopt;
    }
    if (*status < 0) {
        result_ = {RunOutcome::SynthesisRefused, {}, {}};
        return std::nullopt;
    }

    const std::int32_t size = model.data_size(link);
    const double rate = model.sampling_rate(link);
    const IqSample* waveform = model.waveform_buffer.get();
    // An AWG run's crest factors vouch for the waveform when its PAPR is a finite number other than
    // exactly 0 dB: a NaN sample makes the mean power NaN, which reads as 0 dB; an infinite one makes the
    // PAPR NaN; a waveform zero throughout reads as 0 dB. Only otherwise are the samples looked through,
    // which saves a pass over 40 MB.
    if (awg) {
        crest_factor(waveform, size, &measured.crest_i_db, &measured.crest_q_db, &measured.papr_db);
    }
    if (!awg || !std::isfinite(measured.papr_db) || measured.papr_db == 0.0) {
        if (std::string why = unusable_waveform(waveform, size); !why.empty()) {
            result_ = {RunOutcome::BadWaveform, why, {}};
            return std::nullopt;
        }
    }
    const std::string& chosen = answer.file_name;
    // A floating run may write a SigMF recording (two files under one base name) instead of text.
    const bool sigmf = !awg && (answer.filter_index == floating_sigmf_filter ||
                                sigmf_base(chosen) != std::filesystem::path(chosen));
    const std::string reference = sigmf
                                      ? sigmf_base(chosen).string() + ".ref"
                                      : reference_file_name(chosen, answer.filter_index,
                                                            awg ? awg_named_filters : floating_named_filters);

    // Every local file of the run is written whole beside its target first; only when all are complete
    // (and any upload has succeeded) do they replace their earlier files, so a failure of any one leaves
    // every earlier file as it was. Standard output ("-"), a FIFO or a device is written directly.
    const safewrite::Accepts accepts{.streams = true, .standard_output = true};
    auto through_library = [](std::function<bool(const char*)> call) -> safewrite::FileSet::Writer {
        return [call = std::move(call)](safewrite::SafeFile& file) -> std::optional<safewrite::Failure> {
            errno = 0;
            if (!call(file.descriptor_name().c_str())) {
                return file.writer_failed(errno);
            }
            return std::nullopt;
        };
    };
    const MarkerArguments m1 = marker_arguments(model, link, 0, size);
    const MarkerArguments m2 = marker_arguments(model, link, 1, size);
    auto write_awg = [&](const char* name) {
        return save_awg(name, waveform, measured.crest_i_db, measured.crest_q_db, measured.papr_db, rate,
                        size, 0, m1.enable, m1.start, m1.high, m1.tail, m1.mode, m2.enable, m2.start, m2.high,
                        m2.tail, m2.mode) == WAVESAVE_OK;
    };
    const IqSample* chips = model.chip_buffer.get();
    auto write_chips = [&](const char* name) { return save_ascii(name, chips, frame_chips) == WAVESAVE_OK; };

    Written written;
    written.settings = std::move(settings);
    // Pending window messages are let through once the files are written, or have failed.
    auto done = [&] {
        desktop_.let_pending_messages_through();
        return written;
    };
    safewrite::FileSet files;
    std::vector<std::string> references;
    if (tester_mode && !upload_share) {
        references.push_back(reference);
    }
    if (requested_reference && std::ranges::find(references, *requested_reference) == references.end()) {
        references.push_back(*requested_reference);
    }
    safewrite::NameLock recording_lock;
    std::optional<SigmfRecording> recording;
    if (awg && !upload_share) {
        files.add(chosen, through_library(write_awg), accepts);
    } else if (!awg && !sigmf) {
        files.add(chosen, through_library([&](const char* name) {
                      return save_ascii(name, waveform, size) == WAVESAVE_OK;
                  }),
                  accepts);
    }
    for (const std::string& name : references) {
        files.add(name, through_library(write_chips), accepts);
    }
    std::string failed_what = "The file ";
    if (sigmf) {
        // The pair is written under the recording's lock, data first and meta last, so parallel writers
        // of one recording never leave the data of one beside the meta of another.
        const std::filesystem::path base = sigmf_base(chosen);
        failed_what = "The recording " + base.string() + " was not written: ";
        if (auto failed = recording_lock.take(sigmf_lock_file(base))) {
            written.problems.push_back(failed_what + "its lock " + failed->text() + ".");
            return done();
        }
        recording = SigmfRecording{std::span(waveform, static_cast<std::size_t>(size)), rate,
                                   waveform_description(form_, link), used_channels(form_, link)};
        recording->recorder = recorder;
        recording->made = std::chrono::system_clock::now();
        recording->offset_hz = carrier_offset_hz(link);
        add_sigmf(files, base, *recording, accepts);
    }
    auto not_written = [&](const safewrite::Failure& failed) {
        return sigmf ? failed_what + failed.text() + "."
                     : "The file " + failed.file + " was not written: " + failed.cause + ".";
    };
    if (auto failed = files.prepare()) {
        written.problems.push_back(not_written(*failed));
        return done();
    }
    if (upload_share) {
        auto problem = write_file(chosen, write_awg, upload_share, written.unreachable);
        written.waveform = !problem;
        if (problem) {
            written.problems.push_back(*problem);
        }
        if (tester_mode) {
            if (auto failed = write_file(reference, write_chips, upload_share, written.unreachable)) {
                written.problems.push_back(*failed);
            } else {
                written.reference = true;
            }
        }
        if (!written.problems.empty()) {
            return done(); // the local files stay as they were
        }
    }
    if (auto failed = files.replace()) {
        written.waveform = false;
        written.problems.push_back(not_written(*failed));
        return done();
    }
    written.waveform = true;
    written.reference = tester_mode;
    if (sigmf) {
        const std::filesystem::path base = sigmf_base(chosen);
        if (readable_back(base.string() + sigmf_data_extension)) {
            written.made = base.string() + sigmf_meta_extension;
        }
    } else {
        written.made = chosen;
    }
    if (!readable_back(written.made)) {
        written.made.clear();
    }
    return done();
}

double GenerationRun::carrier_offset_hz(int link) const {
    const FrequencyOffsetFrame& offset =
        link == downlink_item ? form_.downlink_general.offset : form_.uplink.offset;
    switch (offset.option.selected()) {
    case 1:
        return offset.freqerr.number();
    case 2:
        return offset.ifconv.number(); // the band above the IF; the real signal has its image below
    default:
        return 0.0;
    }
}

std::optional<std::string> GenerationRun::write_file(const std::string& file,
                                                     const std::function<bool(const char*)>& writer,
                                                     const std::optional<ShareName>& upload_share,
                                                     bool& unreachable) {
    if (upload_share) {
        // Written whole first, into a file without a name, then sent: parallel runs never meet.
        const std::string name = std::filesystem::path(file).filename().string();
        safewrite::ScratchFile scratch;
        std::error_code ignored;
        if (auto failed = scratch.open(std::filesystem::temp_directory_path(ignored))) {
            return "The file " + name + " was not written: the scratch file cannot be created in " +
                   failed->file + " (" + failed->cause + ").";
        }
        errno = 0;
        if (!writer(scratch.descriptor_name().c_str())) {
            const int error = errno;
            return "The file " + name +
                   " was not written: " + (error != 0 ? std::strerror(error) : "the writer failed") + ".";
        }
        if (auto problem = share_.upload(*upload_share, scratch.descriptor(), name)) {
            unreachable = unreachable || problem->unreachable;
            return "The file " + name + " was not copied to " + form_.model.TesterFolder + ": " +
                   problem->text + ".";
        }
        return std::nullopt;
    }
    safewrite::SafeFile safe(file);
    if (auto failed = safe.open()) {
        return "The file " + file + " was not written: " + failed->cause + ".";
    }
    errno = 0;
    if (!writer(safe.descriptor_name().c_str())) {
        return "The file " + file + " was not written: " + safe.writer_failed(errno).cause + ".";
    }
    if (auto failed = safe.commit()) {
        return "The file " + file + " was not written: " + failed->cause + ".";
    }
    return std::nullopt;
}

} // namespace varnika
