#include "check/signal_check.h"

#include "analysis/large_buffer.h"
#include "analysis/waveform_file.h"
#include "downlink/dl_channel_list.h"
#include "downlink/dl_channel_types.h"
#include "downlink/dl_row.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <future>
#include <memory>

namespace varnika {

namespace {

// The Walsh code a forward-link channel type is spread with: some types fix the length (and the sync
// channel its number), the others take the row's.
WalshCode spreading_code(const DlChannel& channel) {
    switch (channel.type) {
    case SYNCH:
        return {256, 32};
    case PCH:
    case F_ACKCH:
    case F_PDCCH:
    case F_DCCH:
    case F_SCCH:
        return {64, channel.walsh_index};
    case CPCCH:
    case F_RCCH:
        return {128, channel.walsh_index};
    case F_GCH:
        return {256, channel.walsh_index};
    case F_PDCH:
        return {32, channel.walsh_index};
    case F_PICH:
        return {64, 0};
    default:
        return {channel.walsh_length, channel.walsh_index};
    }
}

// Code channels with their set powers relative to the total. The synthesis sends the pilot at 0 dB and
// every other channel at its power relative to the pilot, each on its own code.
std::vector<analysis::CodeChannel> code_channels(const DlChannelList& list, const DownlinkChannelPage& page) {
    std::vector<int> rows;
    if (page.built()) {
        page.for_each_instance_row([&](int r) {
            if (!page.row(r).marked()) {
                rows.push_back(r);
            }
        });
    }
    double total = 0.0;
    for (const DlChannel& channel : list.channels) {
        total += std::pow(10.0, (channel.type == F_PICH ? 0.0 : channel.power_db) / 10.0);
    }
    std::vector<analysis::CodeChannel> channels;
    for (std::size_t k = 0; k < list.channels.size() && k < rows.size(); ++k) {
        const DlChannel& channel = list.channels[k];
        const WalshCode code = spreading_code(channel);
        const double relative_db = channel.type == F_PICH ? 0.0 : channel.power_db;
        channels.push_back({dl_type_info(channel.type).name, rows[k], code.length, code.number,
                            relative_db - 10.0 * std::log10(total)});
    }
    return channels;
}

template <class Function>
Function* bound(ProgramLibraries& libraries, const char* name, std::string& missing) {
    return libraries.kestra.find<Function>(name, missing);
}

} // namespace

SignalCheckSetup signal_check_setup(const MainForm& form, ProgramLibraries& libraries) {
    const SettingsModel& model = form.model;
    SignalCheckSetup setup;
    setup.link = model.link_flag == 0 ? uplink_item : downlink_item;
    setup.forward = setup.link == downlink_item;
    setup.sample_rate_hz = model.sampling_rate(setup.link);
    if (setup.forward) {
        const DlChannelList list = collect_dl_channels(model, form.downlink_general, form.downlink_channels);
        setup.oversampling = list.params.oversampling;
        setup.offset_mode = list.params.offset_mode;
        setup.offset_hz = list.params.offset_mode == 2 ? list.params.if_freq_hz : list.params.freq_error_hz;
        setup.iq_inverse = list.params.iq_inverse != 0;
        setup.channels = code_channels(list, form.downlink_channels);
        auto* actual = bound<decltype(KESTRA_DL_Actual)>(libraries, "KESTRA_DL_Actual", setup.missing);
        if (actual == nullptr) {
            return setup;
        }
        setup.synthesise = [actual, list](IqSample* waveform, IqSample* chips, void* work) {
            actual(waveform, chips, work, &list.params, list.channels.data(), list.ack_user_gains.data());
        };
        setup.synthesise_pilot = [actual](IqSample* waveform, IqSample* chips, void* work) {
            DlParams params{};
            params.oversampling = 4;
            params.channel_count = 1;
            const DlChannel pilot{0.0, F_PICH, 0, 64, 0};
            actual(waveform, chips, work, &params, &pilot, nullptr);
        };
        return setup;
    }
    const UplinkPanel& uplink = form.uplink;
    setup.oversampling = uplink.oversampling();
    setup.offset_mode = model.ul_df_flag;
    setup.offset_hz = model.ul_df_flag == 2 ? uplink.offset.ifconv.number() : uplink.offset.freqerr.number();
    setup.iq_inverse = uplink.UL_Filter_IQinverse_Combo.selected() > 0;
    switch (model.UL_CH_flag) {
    case 1: {
        auto* actual =
            bound<decltype(KESTRA_UL_Actual_RC34)>(libraries, "KESTRA_UL_Actual_RC34", setup.missing);
        Rc34Params params{};
        uplink.fill(params);
        if (actual != nullptr) {
            setup.synthesise = [actual, params](IqSample* w, IqSample* c, void* work) {
                actual(w, c, work, &params);
            };
        }
        break;
    }
    case 2: {
        auto* actual =
            bound<decltype(KESTRA_UL_Actual_RC7)>(libraries, "KESTRA_UL_Actual_RC7", setup.missing);
        Rc7Params params{};
        uplink.fill(params);
        if (actual != nullptr) {
            setup.synthesise = [actual, params](IqSample* w, IqSample* c, void* work) {
                actual(w, c, work, &params);
            };
        }
        break;
    }
    default: {
        auto* actual =
            bound<decltype(KESTRA_UL_Actual_RC12)>(libraries, "KESTRA_UL_Actual_RC12", setup.missing);
        if (actual != nullptr) {
            const int ratio = setup.oversampling;
            const int inverse = std::max(0, uplink.UL_Filter_IQinverse_Combo.selected());
            const int mode = model.ul_df_flag;
            const double error_hz = uplink.offset.freqerr.number();
            const double if_hz = uplink.offset.ifconv.number();
            setup.synthesise = [=](IqSample* w, IqSample* c, void* work) {
                actual(w, c, work, ratio, inverse, mode, error_hz, if_hz);
            };
        }
        break;
    }
    }
    return setup;
}

namespace {

// The ideal waveform of the settings, `count` samples, as the synthesis makes it.
analysis::Reference make_reference(const SignalCheckSetup& setup, std::size_t count) {
    analysis::Reference made;
    made.oversampling = setup.oversampling;
    made.offset_mode = setup.offset_mode;
    made.offset_hz = setup.offset_hz;
    made.iq_inverse = setup.iq_inverse;
    made.waveform = analysis::large_vector<analysis::Complex>(count);
    std::vector<analysis::Complex> chips(analysis::frame_chips);
    const auto work = std::make_unique_for_overwrite<std::uint8_t[]>(KESTRA_WORK_BYTES);
    analysis::advise_huge_pages(work.get(), KESTRA_WORK_BYTES);
    // std::complex<double> is laid out as I then Q, as IqSample is.
    auto as_samples = [](std::vector<analysis::Complex>& v) { return reinterpret_cast<IqSample*>(v.data()); };
    if (setup.forward && setup.synthesise_pilot) {
        setup.synthesise_pilot(as_samples(made.waveform), as_samples(chips), work.get());
        made.pn = chips;
    }
    setup.synthesise(as_samples(made.waveform), as_samples(chips), work.get());
    if (setup.forward) {
        made.chips = std::move(chips);
        made.channels = setup.channels;
    }
    return made;
}

} // namespace

SignalCheckOutcome run_signal_check(const std::filesystem::path& file, const SignalCheckSetup& setup,
                                    const analysis::Progress& progress) {
    SignalCheckOutcome outcome;
    try {
        const std::size_t count =
            setup.oversampling > 0 ? static_cast<std::size_t>(setup.oversampling) * analysis::frame_chips : 0;
        // The ideal waveform depends on the settings alone: it is made on a thread of its own while the file
        // is read, and left unused when the file turns out not to be the settings' frame.
        std::future<analysis::Reference> ideal;
        if (setup.synthesise && count > 0) {
            ideal = std::async(std::launch::async, [&setup, count] { return make_reference(setup, count); });
        }
        analysis::ReadOptions reading;
        reading.sample_rate_hz = setup.file_sample_rate_hz;
        reading.text_sample_rate_hz = setup.sample_rate_hz;
        const analysis::WaveformFile read = analysis::read_waveform_file(file, reading);
        if (!read.waveform) {
            outcome.error = read.error + ".";
            return outcome;
        }
        const analysis::Waveform& waveform = *read.waveform;
        const bool real_signal = setup.offset_mode == 2;
        const double carrier_hz = real_signal ? setup.offset_hz : 0.0;
        std::optional<analysis::Reference> reference;
        std::string problem;
        if (!setup.synthesise) {
            problem = "the ideal waveform cannot be made: " + setup.missing;
        } else if (std::abs(waveform.sample_rate_hz - setup.sample_rate_hz) > 1e-6 * setup.sample_rate_hz) {
            problem = "the file's sampling rate differs from the settings'";
        } else if (waveform.samples.size() != count || !ideal.valid()) {
            problem = "the file holds " + std::to_string(waveform.samples.size()) +
                      " samples, the settings make " + std::to_string(count);
        } else {
            if (progress) {
                progress(5);
            }
            reference = ideal.get();
        }
        auto scaled = [&progress](int percent) {
            if (progress) {
                progress(10 + percent * 9 / 10);
            }
        };
        outcome.result =
            reference ? analysis::analyse(waveform, std::move(*reference), carrier_hz, real_signal, scaled)
                      : analysis::analyse(waveform, nullptr, carrier_hz, real_signal, scaled);
        if (!problem.empty()) {
            outcome.result->reference_problem = problem;
        }
    } catch (const std::exception& error) {
        outcome.error = std::string("The signal check failed: ") + error.what() + ".";
    }
    return outcome;
}

namespace {

// Locale-independent fixed-point text.
std::string fixed(double value, int decimals) {
    char text[64];
    const auto [end, error] =
        std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

const std::array<const char*, 5> ccdf_keys{"10", "1", "0.1", "0.01", "0.001"};

std::string json_string(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
        }
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

std::optional<bool> matches_settings(const analysis::Result& result) {
    constexpr double least_rho = 0.9999;
    constexpr double channel_tolerance_db = 0.5;
    if (!result.quality) {
        return std::nullopt;
    }
    bool channels_match = true;
    if (result.code_domain) {
        for (const analysis::CodePower& code : result.code_domain->channels) {
            channels_match =
                channels_match && std::abs(code.measured_db - code.channel.set_db) <= channel_tolerance_db;
        }
    }
    return result.quality->rho >= least_rho && channels_match;
}

std::string signal_check_text(const analysis::Result& result) {
    std::string text;
    if (const std::optional<bool> matches = matches_settings(result)) {
        text += *matches ? "Verdict: the file is the waveform the settings make\n"
                         : "Verdict: the file differs from the waveform the settings make\n";
    }
    text += "Samples: " + std::to_string(result.sample_count) + " at " +
            fixed(result.sample_rate_hz / 1e6, 4) + " MHz\n";
    text += "PAPR: " + fixed(result.ccdf.papr_db, 2) + " dB\n";
    for (std::size_t k = 0; k < ccdf_keys.size(); ++k) {
        text += "CCDF " + std::string(ccdf_keys[k]) + " %: " + fixed(result.ccdf.levels_db[k], 2) + " dB\n";
    }
    text += "Occupied bandwidth (99 %): " + fixed(result.spectrum.occupied_bw_hz / 1e6, 4) + " MHz\n";
    text += "ACLR -1.25 MHz: " + fixed(result.spectrum.aclr_lower_db, 2) + " dB\n";
    text += "ACLR +1.25 MHz: " + fixed(result.spectrum.aclr_upper_db, 2) + " dB\n";
    if (result.quality) {
        text += "rho: " + fixed(result.quality->rho, 6) + "\n";
        text += "EVM: " + fixed(result.quality->evm_percent, 3) + " %\n";
    } else {
        text += "rho, EVM: not measured (" + result.reference_problem + ")\n";
    }
    if (result.code_domain) {
        text += "Code-domain power (dB relative to the total):\n";
        for (const analysis::CodePower& code : result.code_domain->channels) {
            const analysis::CodeChannel& c = code.channel;
            text += "  " + c.type + " row " + std::to_string(c.row) + " W" + std::to_string(c.walsh_length) +
                    "(" + std::to_string(c.walsh_number) + "): set " + fixed(c.set_db, 2) + ", measured " +
                    fixed(code.measured_db, 2) + "\n";
        }
        if (result.code_domain->noise_floor_db) {
            text += "Noise floor: " + fixed(*result.code_domain->noise_floor_db, 2) + " dB\n";
        }
    }
    return text;
}

std::string signal_check_json(const analysis::Result& result) {
    std::string json = "{\"papr_db\": " + fixed(result.ccdf.papr_db, 4) + ", \"ccdf\": {";
    for (std::size_t k = 0; k < ccdf_keys.size(); ++k) {
        json += (k == 0 ? "\"" : ", \"") + std::string(ccdf_keys[k]) +
                "\": " + fixed(result.ccdf.levels_db[k], 4);
    }
    json += "}, \"occupied_bw_hz\": " + fixed(result.spectrum.occupied_bw_hz, 1);
    json += ", \"aclr_db\": {\"-1.25MHz\": " + fixed(result.spectrum.aclr_lower_db, 4) +
            ", \"+1.25MHz\": " + fixed(result.spectrum.aclr_upper_db, 4) + "}";
    json += ", \"rho\": " + (result.quality ? fixed(result.quality->rho, 8) : "null");
    json += ", \"evm_percent\": " + (result.quality ? fixed(result.quality->evm_percent, 4) : "null");
    json += ", \"code_domain\": [";
    if (result.code_domain) {
        bool first = true;
        for (const analysis::CodePower& code : result.code_domain->channels) {
            const analysis::CodeChannel& c = code.channel;
            json += std::string(first ? "" : ", ") + "{\"type\": " + json_string(c.type) +
                    ", \"row\": " + std::to_string(c.row) +
                    ", \"walsh_length\": " + std::to_string(c.walsh_length) +
                    ", \"walsh_number\": " + std::to_string(c.walsh_number) +
                    ", \"set_db\": " + fixed(c.set_db, 4) +
                    ", \"measured_db\": " + fixed(code.measured_db, 4) + "}";
            first = false;
        }
    }
    json += "], \"noise_floor_db\": ";
    json += result.code_domain && result.code_domain->noise_floor_db
                ? fixed(*result.code_domain->noise_floor_db, 4)
                : "null";
    return json + "}";
}

MadeFileWatch::MadeFileWatch(MainForm& form, GenerationDesktop& desktop) : desktop_(desktop) {
    watch(form.MakeAWGFile_Button);
    watch(form.MakeFloatingFile_Button);
}

SaveFileAnswer MadeFileWatch::ask_save_file(const SaveFileRequest& request) {
    SaveFileAnswer answer = desktop_.ask_save_file(request);
    answered_ = answer.file_name;
    return answer;
}

void MadeFileWatch::watch(const form::Button& button) {
    connections_.push_back(button.on_change([this, &button] {
        if (!button.enabled() && !running_) {
            running_ = true;
            answered_.clear();
            started_ = std::filesystem::file_time_type::clock::now();
            return;
        }
        if (button.enabled() && running_) {
            running_ = false;
            std::error_code error;
            const std::filesystem::path file = answered_;
            if (answered_.empty() || !std::filesystem::is_regular_file(file, error)) {
                return;
            }
            // Coarse file-system clocks: allow the run's start a second's grace.
            const auto written = std::filesystem::last_write_time(file, error);
            if (!error && written + std::chrono::seconds(1) >= started_) {
                made_file_ = file;
                if (on_made) {
                    on_made();
                }
            }
        }
    }));
}

} // namespace varnika
