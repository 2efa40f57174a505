#include "check/signal_check.h"

#include "analysis/large_buffer.h"
#include "analysis/resample.h"
#include "analysis/waveform_file.h"
#include "downlink/dl_channel_list.h"
#include "downlink/dl_channel_types.h"
#include "downlink/dl_row.h"

#include <kestra/air_interface.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <future>
#include <map>
#include <memory>

namespace varnika {

namespace {

// The air interface's codes as the check uses them, in one place: the Walsh code each forward-link
// type is spread with (some types fix the length, the sync channel its number too), and the reverse
// link's covers and branches.
WalshCode spreading_code(const DlChannel& channel) {
    // The pilot is Walsh 0 at any length: it is measured as code 0 of the code-domain axes.
    if (channel.type == F_PICH) {
        return {64, 0};
    }
    const kestra::air::WalshCode code =
        kestra::air::forward_spreading_code(channel.type, channel.walsh_length, channel.walsh_index);
    return {code.length, code.number};
}

constexpr int max_cover_length = 256;

// A reverse-link cover lengthened by the repetition: W(L r, i) repeats W(L, i) r times. A length the
// synthesis cannot write leaves the channel empty (length 0).
analysis::CodeChannel cover(const char* type, int length, int number, int repetition, const char* branch) {
    const long lengthened = static_cast<long>(length) * repetition;
    analysis::CodeChannel channel;
    channel.type = type;
    channel.name = type;
    channel.walsh_length =
        lengthened >= 1 && lengthened <= max_cover_length ? static_cast<int>(lengthened) : 0;
    channel.walsh_number = number;
    channel.branch = branch;
    return channel;
}

// A reverse-link channel with its power relative to the pilot's (gains are amplitudes on unit-power
// symbols; a channel on both branches puts half its power on each).
struct ReverseChannel {
    analysis::CodeChannel channel;
    double power = 0.0;
};

std::vector<analysis::CodeChannel> relative_to_total(std::vector<ReverseChannel> channels) {
    double total = 0.0;
    for (const ReverseChannel& c : channels) {
        total += c.power;
    }
    std::vector<analysis::CodeChannel> out;
    for (ReverseChannel& c : channels) {
        if (c.channel.walsh_length > 0) {
            c.channel.set_db = 10.0 * std::log10(c.power / total);
            out.push_back(c.channel);
        }
    }
    return out;
}

double from_db(double db) {
    return std::pow(10.0, db / 10.0);
}

std::vector<analysis::CodeChannel> rc34_code_channels(const Rc34Params& p) {
    std::vector<ReverseChannel> channels{{cover("R-PICH", 64, 0, 1, "I"), 1.0}};
    if (p.dcch_on != 0) {
        channels.push_back({cover("R-DCCH", 16, 8, 1, "I"), from_db(p.dcch_gain_db)});
    }
    if (p.sch2_on != 0) {
        channels.push_back({p.sch2_walsh_alt == 0 ? cover("R-SCH2", 4, 2, p.sch2_repetition, "I")
                                                  : cover("R-SCH2", 8, 6, p.sch2_repetition, "I"),
                            from_db(p.sch2_gain_db)});
    }
    if (p.fch_on != 0) {
        channels.push_back({cover("R-FCH", 16, 4, 1, "Q"), from_db(p.fch_gain_db)});
    }
    if (p.sch1_on != 0) {
        channels.push_back({p.sch1_walsh_alt == 0 ? cover("R-SCH1", 2, 1, p.sch1_repetition, "Q")
                                                  : cover("R-SCH1", 4, 2, p.sch1_repetition, "Q"),
                            from_db(p.sch1_gain_db)});
    }
    return relative_to_total(channels);
}

std::vector<analysis::CodeChannel> rc7_code_channels(const Rc7Params& p) {
    std::vector<ReverseChannel> channels{{cover("R-PICH", 64, 0, 1, "I"), 1.0}};
    auto add = [&channels](std::int32_t on, analysis::CodeChannel channel, double gain_db) {
        if (on != 0) {
            channels.push_back({std::move(channel), from_db(gain_db)});
        }
    };
    add(p.spich_on, cover("R-SPICH", 64, 32, 1, "I"), p.spich_gain_db);
    add(p.dcch_on, cover("R-DCCH", 16, 8, 1, "I"), p.dcch_gain_db);
    add(p.sch2_on,
        p.sch2_walsh_alt == 0 ? cover("R-SCH2", 4, 2, p.sch2_repetition, "I")
                              : cover("R-SCH2", 8, 6, p.sch2_repetition, "I"),
        p.sch2_gain_db);
    add(p.each_on, cover("R-EACH", 8, 2, 1, "Q"), p.each_gain_db);
    add(p.pdcch_on, cover("R-PDCCH", 64, 48, 1, "Q"), p.pdcch_gain_db);
    add(p.reqch_on, cover("R-REQCH", 16, 8, 1, "Q"), p.reqch_gain_db);
    add(p.ackch_on, cover("R-ACKCH", 64, 16, 1, "Q"), p.ackch_gain_db);
    add(p.fch_on, cover("R-FCH", 16, 4, 1, "Q"), p.fch_gain_db);
    add(p.sch1_on,
        p.sch1_walsh_alt == 0 ? cover("R-SCH1", 2, 1, p.sch1_repetition, "Q")
                              : cover("R-SCH1", 4, 2, p.sch1_repetition, "Q"),
        p.sch1_gain_db);
    add(p.cqich_on, cover("R-CQICH", 16, 12, 1, p.cqich_on_q == 0 ? "I" : "Q"), p.cqich_gain_db);
    if (p.pdch_on != 0) {
        const double power = from_db(p.pdch_gain_db);
        if (p.pdch_modulation == 0) {
            // BPSK has one form only: the long cover on I.
            channels.push_back({cover("R-PDCH", 4, 2, 1, "I"), power});
        } else {
            const bool two_streams =
                p.pdch_modulation != 1 || (p.pdch_walsh_select != 0 && p.pdch_walsh_select != 1);
            const bool short_cover = two_streams || p.pdch_walsh_select == 0;
            for (const char* branch : {"I", "Q"}) {
                channels.push_back(
                    {short_cover ? cover("R-PDCH", 2, 1, 1, branch) : cover("R-PDCH", 4, 2, 1, branch),
                     power / 2.0});
                if (two_streams) {
                    channels.push_back({cover("R-PDCH", 4, 2, 1, branch), power / 2.0});
                }
            }
        }
    }
    return relative_to_total(channels);
}

// Code channels with their set powers relative to the total, named as the table showed them when the
// list was taken. The synthesis sends the pilot at 0 dB and every other channel at its power relative to
// the pilot, each on its own code.
std::vector<analysis::CodeChannel> code_channels(const DlChannelList& list) {
    double total = 0.0;
    for (const DlChannel& channel : list.channels) {
        total += std::pow(10.0, (channel.type == F_PICH ? 0.0 : channel.power_db) / 10.0);
    }
    std::vector<analysis::CodeChannel> channels;
    for (std::size_t k = 0; k < list.channels.size(); ++k) {
        const DlChannel& channel = list.channels[k];
        const WalshCode code = spreading_code(channel);
        const double relative_db = channel.type == F_PICH ? 0.0 : channel.power_db;
        const std::string type = dl_type_info(channel.type).name;
        analysis::CodeChannel c;
        c.type = type;
        c.name = k < list.names.size() ? list.names[k] : type;
        c.row = k < list.rows.size() ? list.rows[k] : -1;
        c.walsh_length = code.length;
        c.walsh_number = code.number;
        c.set_db = relative_db - 10.0 * std::log10(total);
        channels.push_back(c);
    }
    return channels;
}

template <class Function>
Function* bound(ProgramLibraries& libraries, const char* name, std::string& missing) {
    return libraries.kestra.find<Function>(name, missing);
}

} // namespace

SignalCheckSetup signal_check_setup(const RunSettings& made, ProgramLibraries& libraries) {
    SignalCheckSetup setup;
    setup.link = made.link;
    setup.forward = made.forward();
    setup.sample_rate_hz = made.sample_rate_hz;
    setup.oversampling = made.oversampling;
    setup.offset_mode = made.offset_mode;
    setup.offset_hz = made.offset_hz();
    setup.iq_inverse = made.iq_inverse != 0;
    if (setup.forward) {
        const DlChannelList& list = made.downlink;
        setup.channels = code_channels(list);
        auto* actual = bound<decltype(KESTRA_DL_Actual)>(libraries, "KESTRA_DL_Actual", setup.missing);
        if (actual == nullptr) {
            return setup;
        }
        DlParams baseband = list.params;
        baseband.oversampling = analysis::working_ratio;
        baseband.offset_mode = 0;
        setup.synthesise = [actual, channels = list.channels, gains = list.ack_user_gains,
                            baseband](IqSample* waveform, IqSample* chips, void* work) {
            actual(waveform, chips, work, &baseband, channels.data(), gains.data());
        };
        setup.synthesise_pilot = [actual, baseband](IqSample* waveform, IqSample* chips, void* work) {
            DlParams params = baseband;
            params.channel_count = 1;
            const DlChannel pilot{0.0, F_PICH, 0, 64, 0};
            actual(waveform, chips, work, &params, &pilot, nullptr);
        };
        return setup;
    }
    switch (made.radio_configuration) {
    case 1: {
        auto* actual =
            bound<decltype(KESTRA_UL_Actual_RC34)>(libraries, "KESTRA_UL_Actual_RC34", setup.missing);
        Rc34Params params = made.rc34;
        params.oversampling = analysis::working_ratio;
        params.offset_mode = 0;
        setup.code_link = analysis::Link::reverse;
        setup.channels = rc34_code_channels(params);
        if (actual != nullptr) {
            setup.synthesise = [actual, params](IqSample* w, IqSample* c, void* work) {
                actual(w, c, work, &params);
            };
            Rc34Params pilot = params;
            pilot.dcch_on = pilot.sch2_on = pilot.fch_on = pilot.sch1_on = 0;
            setup.synthesise_pilot = [actual, pilot](IqSample* w, IqSample* c, void* work) {
                actual(w, c, work, &pilot);
            };
        }
        break;
    }
    case 2: {
        auto* actual =
            bound<decltype(KESTRA_UL_Actual_RC7)>(libraries, "KESTRA_UL_Actual_RC7", setup.missing);
        Rc7Params params = made.rc7;
        params.oversampling = analysis::working_ratio;
        params.offset_mode = 0;
        setup.code_link = analysis::Link::reverse;
        setup.channels = rc7_code_channels(params);
        if (actual != nullptr) {
            setup.synthesise = [actual, params](IqSample* w, IqSample* c, void* work) {
                actual(w, c, work, &params);
            };
            Rc7Params pilot = params;
            pilot.spich_on = pilot.each_on = pilot.pdcch_on = pilot.reqch_on = pilot.dcch_on = 0;
            pilot.ackch_on = pilot.cqich_on = pilot.fch_on = pilot.sch1_on = pilot.sch2_on = pilot.pdch_on =
                0;
            setup.synthesise_pilot = [actual, pilot](IqSample* w, IqSample* c, void* work) {
                actual(w, c, work, &pilot);
            };
        }
        break;
    }
    default: {
        auto* actual =
            bound<decltype(KESTRA_UL_Actual_RC12)>(libraries, "KESTRA_UL_Actual_RC12", setup.missing);
        setup.code_link = analysis::Link::reverse_no_codes;
        if (actual != nullptr) {
            const std::int32_t inverse = made.iq_inverse;
            setup.synthesise = [=](IqSample* w, IqSample* c, void* work) {
                actual(w, c, work, analysis::working_ratio, inverse, 0, 0.0, 0.0);
            };
            // The short-PN pair is all the frame holds: it is its own pilot.
            setup.synthesise_pilot = setup.synthesise;
        }
        break;
    }
    }
    return setup;
}

SignalCheckSetup signal_check_setup(const MainForm& form, ProgramLibraries& libraries) {
    return signal_check_setup(run_settings(form), libraries);
}

namespace {

// The ideal frame of the settings and their pilot, at the working ratio and at baseband.
analysis::Reference make_reference(const SignalCheckSetup& setup) {
    analysis::Reference made;
    made.link = setup.code_link;
    made.oversampling = analysis::working_ratio;
    made.offset_mode = setup.offset_mode;
    made.offset_hz = setup.offset_hz;
    made.iq_inverse = setup.iq_inverse;
    made.detect = setup.detect;
    const std::size_t count = static_cast<std::size_t>(analysis::working_ratio) * analysis::frame_chips;
    std::vector<analysis::Complex> chips(analysis::frame_chips);
    const auto work = std::make_unique_for_overwrite<std::uint8_t[]>(KESTRA_WORK_BYTES);
    analysis::advise_huge_pages(work.get(), KESTRA_WORK_BYTES);
    // std::complex<double> is laid out as I then Q, as IqSample is.
    auto as_samples = [](std::vector<analysis::Complex>& v) { return reinterpret_cast<IqSample*>(v.data()); };
    made.pilot.resize(count);
    setup.synthesise_pilot(as_samples(made.pilot), as_samples(chips), work.get());
    made.pn = chips;
    if (!setup.detect) {
        made.waveform.resize(count);
        setup.synthesise(as_samples(made.waveform), as_samples(chips), work.get());
        made.channels = setup.channels;
    }
    return made;
}

} // namespace

std::string walsh_display(int length, int number) {
    return std::to_string(length) + "/" + std::to_string(number);
}

SignalCheckOutcome run_signal_check(const std::filesystem::path& file, const SignalCheckSetup& setup,
                                    const analysis::Progress& progress) {
    SignalCheckOutcome outcome;
    outcome.set_sample_rate_hz = setup.sample_rate_hz;
    outcome.detect = setup.detect;
    outcome.real_signal = setup.offset_mode == 2;
    if (!setup.detect) {
        outcome.set_frequency_error_hz = setup.offset_mode == 1 ? setup.offset_hz : 0.0;
    }
    try {
        // The ideal frame depends on the settings alone: it is made on a thread of its own while the file
        // is read.
        std::future<analysis::Reference> ideal;
        if (setup.synthesise && setup.synthesise_pilot) {
            ideal = std::async(std::launch::async, [&setup] { return make_reference(setup); });
        }
        analysis::ReadOptions reading;
        reading.sample_rate_hz = setup.file_sample_rate_hz;
        reading.text_sample_rate_hz = setup.sample_rate_hz;
        const analysis::WaveformFile read = analysis::read_waveform_file(file, reading);
        if (!read.waveform) {
            outcome.error = read.error + ".";
            return outcome;
        }
        // A capture taken at a rate of its own is brought to a whole number of samples per chip first; its
        // rate then says nothing of the settings, so it is not compared with theirs.
        std::optional<analysis::Waveform> resampled;
        if (!analysis::is_chip_multiple(read.waveform->sample_rate_hz)) {
            resampled =
                analysis::resample_to_chip_multiple(*read.waveform, analysis::ResampleQuality::medium);
            outcome.set_sample_rate_hz = 0.0;
            outcome.resampled_from_hz = read.waveform->sample_rate_hz;
        }
        const analysis::Waveform& waveform = resampled ? *resampled : *read.waveform;
        const bool real_signal = setup.offset_mode == 2;
        const double carrier_hz = real_signal ? setup.offset_hz : 0.0;
        std::optional<analysis::Reference> reference;
        if (ideal.valid()) {
            reference = ideal.get();
        }
        if (progress) {
            progress(5);
        }
        auto scaled = [&progress](int percent) {
            if (progress) {
                progress(10 + percent * 9 / 10);
            }
        };
        outcome.result =
            analysis::analyse(waveform, reference ? &*reference : nullptr, carrier_hz, real_signal, scaled);
        if (!reference) {
            outcome.result->reference_problem = "the ideal waveform cannot be made: " + setup.missing;
        } else if (setup.code_link == analysis::Link::reverse_no_codes) {
            outcome.result->code_domain_note = "RC1/RC2 has no code channels";
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

// A number rounded to `decimals` places, for JSON.
double rounded(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

const std::array<const char*, 5> ccdf_keys{"10", "1", "0.1", "0.01", "0.001"};

constexpr double least_rho = 0.9999;
constexpr double channel_tolerance_db = 0.5;
constexpr double frequency_tolerance_hz = 10.0;

std::string channel_label(const analysis::CodeChannel& c) {
    std::string label = c.name.empty() ? c.type : c.name;
    // The sync channel's 256-chip symbols repeat W64(32), the code the window shows for it.
    const kestra::air::WalshCode shown = c.type == "SYNCH"
                                             ? kestra::air::synch_shown_code
                                             : kestra::air::WalshCode{c.walsh_length, c.walsh_number};
    label += " (" + walsh_display(shown.length, shown.number);
    if (!c.branch.empty()) {
        label += " " + c.branch;
    }
    return label + ")";
}

} // namespace

Verdict judge(const SignalCheckOutcome& outcome) {
    Verdict verdict;
    if (!outcome.result || outcome.detect) {
        return verdict;
    }
    const analysis::Result& result = *outcome.result;
    if (outcome.set_sample_rate_hz > 0.0 &&
        std::abs(result.sample_rate_hz - outcome.set_sample_rate_hz) > 1e-6 * outcome.set_sample_rate_hz) {
        verdict.reasons.push_back("the sampling rate is " + fixed(result.sample_rate_hz / 1e6, 4) +
                                  " MHz, the settings make " + fixed(outcome.set_sample_rate_hz / 1e6, 4) +
                                  " MHz");
    }
    if (!result.quality) {
        verdict.reasons.push_back("not compared with the ideal waveform: " + result.reference_problem);
    } else if (result.quality->rho < least_rho) {
        verdict.reasons.push_back("rho " + fixed(result.quality->rho, 6) + " is below " +
                                  fixed(least_rho, 4));
    }
    if (result.acquisition && outcome.set_frequency_error_hz &&
        std::abs(result.acquisition->frequency_error_hz - *outcome.set_frequency_error_hz) >
            frequency_tolerance_hz) {
        verdict.reasons.push_back("frequency error " + fixed(result.acquisition->frequency_error_hz, 1) +
                                  " Hz, set " + fixed(*outcome.set_frequency_error_hz, 1) + " Hz");
    }
    if (result.code_domain) {
        for (const analysis::CodePower& code : result.code_domain->channels) {
            if (!code.channel.set_db) {
                continue;
            }
            const double off = code.measured_db - *code.channel.set_db;
            if (std::abs(off) > channel_tolerance_db) {
                verdict.reasons.push_back(
                    channel_label(code.channel) + " measured " + fixed(code.measured_db, 2) + " dB, set " +
                    fixed(*code.channel.set_db, 2) + " dB (" + fixed(std::abs(off), 1) + " dB off)");
            }
        }
    }
    verdict.matches = verdict.reasons.empty();
    return verdict;
}

std::optional<bool> matches_settings(const SignalCheckOutcome& outcome) {
    return judge(outcome).matches;
}

std::string signal_check_text(const SignalCheckOutcome& outcome) {
    const analysis::Result& result = *outcome.result;
    const Verdict verdict = judge(outcome);
    std::string text;
    if (verdict.matches) {
        text += *verdict.matches ? "Verdict: the file is the waveform the settings make\n"
                                 : "Verdict: the file differs from the waveform the settings make\n";
        for (const std::string& reason : verdict.reasons) {
            text += "  - " + reason + "\n";
        }
    }
    text += "Samples: " + std::to_string(result.sample_count) + " at " +
            fixed(result.sample_rate_hz / 1e6, 4) + " MHz\n";
    if (result.acquisition) {
        const analysis::Acquisition& a = *result.acquisition;
        text += "Frame start: " + fixed(a.time_offset_chips, 3) + " chips\n";
        text += "Frequency error: " + fixed(a.frequency_error_hz, 2) + " Hz";
        if (outcome.set_frequency_error_hz) {
            text += " (set " + fixed(*outcome.set_frequency_error_hz, 2) + " Hz)";
        }
        text += "\nCarrier phase: " + fixed(a.phase_deg, 2) + " deg\n";
        text += "Amplitude: " + fixed(a.amplitude_db, 2) + " dB against the ideal\n";
    }
    text += "PAPR: " + fixed(result.ccdf.papr_db, 2) + " dB\n";
    for (std::size_t k = 0; k < ccdf_keys.size(); ++k) {
        text += "CCDF " + std::string(ccdf_keys[k]) + " %: " + fixed(result.ccdf.levels_db[k], 2) + " dB\n";
    }
    text += std::string("Spectrum: ") +
            (result.spectrum.welch ? "averaged (Welch)" : "line spectrum of one frame") + "\n";
    text += "Occupied bandwidth (99 %): " + fixed(result.spectrum.occupied_bw_hz / 1e6, 4) + " MHz\n";
    for (std::size_t k = 0; k < analysis::emission_names.size(); ++k) {
        text += std::string("Emission ") + analysis::emission_names[k] +
                " (30 kHz): " + fixed(result.spectrum.emissions_dbc[k], 2) + " dBc\n";
    }
    text += "Channel power ratio -1.25 MHz: " + fixed(result.spectrum.aclr_lower_db, 2) + " dB\n";
    text += "Channel power ratio +1.25 MHz: " + fixed(result.spectrum.aclr_upper_db, 2) + " dB\n";
    if (result.quality) {
        text += "rho: " + fixed(result.quality->rho, 6) + "\n";
        text += "EVM: " + fixed(result.quality->evm_percent, 3) + " %\n";
        text += "Origin offset: " + fixed(result.quality->origin_offset_db, 2) + " dB\n";
    } else if (!outcome.detect) {
        text += "rho, EVM: not measured (" + result.reference_problem + ")\n";
    }
    if (result.code_domain) {
        text += "Code-domain power (dB relative to the total):\n";
        for (const analysis::CodePower& code : result.code_domain->channels) {
            const analysis::CodeChannel& c = code.channel;
            text += "  " + channel_label(c) + ": ";
            if (c.set_db) {
                text += "set " + fixed(*c.set_db, 2) + ", ";
            }
            text += "measured " + fixed(code.measured_db, 2) + "\n";
        }
        if (result.code_domain->noise_floor_db) {
            text += "Largest inactive code: " + fixed(*result.code_domain->noise_floor_db, 2) + " dB\n";
        }
    } else if (!result.code_domain_note.empty()) {
        text += "Code-domain power: " + result.code_domain_note + "\n";
    }
    return text;
}

std::string signal_check_json(const SignalCheckOutcome& outcome) {
    using Json = nlohmann::ordered_json;
    const analysis::Result& result = *outcome.result;
    Json json;
    json["papr_db"] = rounded(result.ccdf.papr_db, 4);
    Json ccdf = Json::object();
    for (std::size_t k = 0; k < ccdf_keys.size(); ++k) {
        ccdf[ccdf_keys[k]] = rounded(result.ccdf.levels_db[k], 4);
    }
    json["ccdf"] = ccdf;
    json["occupied_bw_hz"] = rounded(result.spectrum.occupied_bw_hz, 1);
    const Json ratios = {{"-1.25MHz", rounded(result.spectrum.aclr_lower_db, 4)},
                         {"+1.25MHz", rounded(result.spectrum.aclr_upper_db, 4)}};
    json["channel_power_ratio_db"] = ratios;
    json["aclr_db"] = ratios;
    Json emissions = Json::object();
    for (std::size_t k = 0; k < analysis::emission_names.size(); ++k) {
        emissions[analysis::emission_names[k]] = rounded(result.spectrum.emissions_dbc[k], 4);
    }
    json["emissions_dbc"] = emissions;
    json["spectrum_method"] = result.spectrum.welch ? "welch" : "line";
    json["resampled_from_hz"] =
        outcome.resampled_from_hz > 0.0 ? Json(outcome.resampled_from_hz) : Json(nullptr);
    const auto& a = result.acquisition;
    json["time_offset_chips"] = a ? Json(rounded(a->time_offset_chips, 4)) : Json(nullptr);
    json["frequency_error_hz"] = a ? Json(rounded(a->frequency_error_hz, 3)) : Json(nullptr);
    json["set_frequency_error_hz"] =
        outcome.set_frequency_error_hz ? Json(*outcome.set_frequency_error_hz) : Json(nullptr);
    json["phase_deg"] = a ? Json(rounded(a->phase_deg, 3)) : Json(nullptr);
    json["amplitude_db"] = a ? Json(rounded(a->amplitude_db, 4)) : Json(nullptr);
    const auto& q = result.quality;
    json["rho"] = q ? Json(rounded(q->rho, 8)) : Json(nullptr);
    json["evm_percent"] = q ? Json(rounded(q->evm_percent, 4)) : Json(nullptr);
    json["origin_offset_db"] = q ? Json(rounded(q->origin_offset_db, 2)) : Json(nullptr);
    Json codes = Json::array();
    Json axis = nullptr;
    if (result.code_domain) {
        const analysis::CodeDomainResult& cd = *result.code_domain;
        for (const analysis::CodePower& code : cd.channels) {
            const analysis::CodeChannel& c = code.channel;
            codes.push_back({{"type", c.type},
                             {"name", c.name},
                             {"row", c.row},
                             {"walsh_length", c.walsh_length},
                             {"walsh_number", c.walsh_number},
                             {"branch", c.branch.empty() ? Json(nullptr) : Json(c.branch)},
                             {"set_db", c.set_db ? Json(rounded(*c.set_db, 4)) : Json(nullptr)},
                             {"measured_db", rounded(code.measured_db, 4)}});
        }
        auto powers = [](const std::vector<double>& values) {
            Json list = Json::array();
            for (double v : values) {
                list.push_back(rounded(v, 3));
            }
            return list;
        };
        axis = {{"walsh_length", cd.walsh_length}, {"powers_db", powers(cd.code_powers_db)}};
        if (!cd.q_powers_db.empty()) {
            axis["branch"] = "I";
            axis["q_powers_db"] = powers(cd.q_powers_db);
        }
        if (!cd.powers_64_db.empty()) {
            axis["powers_64_db"] = powers(cd.powers_64_db);
        }
    }
    json["code_domain"] = codes;
    json["code_axis"] = axis;
    json["code_domain_note"] =
        result.code_domain_note.empty() ? Json(nullptr) : Json(result.code_domain_note);
    json["noise_floor_db"] = result.code_domain && result.code_domain->noise_floor_db
                                 ? Json(rounded(*result.code_domain->noise_floor_db, 4))
                                 : Json(nullptr);
    const Verdict verdict = judge(outcome);
    json["verdict"] = verdict.matches ? Json(*verdict.matches ? "matches" : "differs") : Json(nullptr);
    json["reasons"] = verdict.reasons;
    return json.dump();
}

} // namespace varnika
