// The signal check's measurements against signals whose answers are known in closed form or by a direct,
// independent computation.
#include "analysis/signal_check.h"
#include "analysis/waveform_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numbers>
#include <random>

namespace varnika::analysis {
namespace {

std::vector<Complex> gaussian_noise(std::size_t count, double power, unsigned seed) {
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal(0.0, std::sqrt(power / 2.0));
    std::vector<Complex> samples(count);
    for (Complex& s : samples) {
        s = {normal(random), normal(random)};
    }
    return samples;
}

TEST(Ccdf, LevelsAndPaprEqualADirectSortAndGaussianNoiseFollowsItsClosedForm) {
    const std::vector<Complex> noise = gaussian_noise(1 << 20, 3.0, 7);
    const CcdfResult ccdf = measure_ccdf(noise);

    std::vector<double> powers;
    double mean = 0.0;
    for (const Complex& s : noise) {
        powers.push_back(std::norm(s));
        mean += powers.back();
    }
    mean /= static_cast<double>(powers.size());
    std::sort(powers.begin(), powers.end(), std::greater<>());
    EXPECT_NEAR(ccdf.papr_db, 10.0 * std::log10(powers.front() / mean), 0.01);
    for (std::size_t k = 0; k < ccdf_percents.size(); ++k) {
        const auto rank =
            static_cast<std::size_t>(ccdf_percents[k] / 100.0 * static_cast<double>(powers.size()));
        EXPECT_NEAR(ccdf.levels_db[k], 10.0 * std::log10(powers[rank] / mean), 0.01)
            << ccdf_percents[k] << " %";
    }
    // Complex Gaussian noise: P(power > mean * g) = exp(-g). 2^20 samples keep the count's spread well
    // under 2 % of the expected count down to 1e-3.
    for (int k = 0; k <= 80; k += 10) {
        const double expected = std::exp(-std::pow(10.0, k * ccdf_step_db / 10.0));
        EXPECT_NEAR(ccdf.curve[static_cast<std::size_t>(k)] / expected, 1.0, 0.03)
            << k * ccdf_step_db << " dB";
        const auto direct = std::count_if(powers.begin(), powers.end(), [&](double p) {
            return p > mean * std::pow(10.0, k * ccdf_step_db / 10.0);
        });
        EXPECT_DOUBLE_EQ(ccdf.curve[static_cast<std::size_t>(k)],
                         static_cast<double>(direct) / static_cast<double>(powers.size()));
    }
}

TEST(Ccdf, AConstantEnvelopeHasNoPeakAboveItsMean) {
    std::vector<Complex> tone(4096);
    for (std::size_t n = 0; n < tone.size(); ++n) {
        tone[n] = std::polar(2.0, 0.01 * static_cast<double>(n));
    }
    const CcdfResult ccdf = measure_ccdf(tone);
    EXPECT_NEAR(ccdf.papr_db, 0.0, 1e-9);
    EXPECT_LT(ccdf.curve[1], 1e-12);
    EXPECT_NEAR(ccdf.levels_db[0], 0.0, 1e-9);
}

// Tones on exact bins: their powers are the line spectrum.
std::vector<Complex> tones(std::size_t count, const std::vector<std::pair<long, double>>& bin_powers) {
    std::vector<Complex> samples(count);
    for (const auto& [bin, power] : bin_powers) {
        for (std::size_t n = 0; n < count; ++n) {
            const double phase = 2.0 * std::numbers::pi * static_cast<double>(bin) * static_cast<double>(n) /
                                 static_cast<double>(count);
            samples[n] += std::polar(std::sqrt(power), phase + static_cast<double>(bin));
        }
    }
    return samples;
}

TEST(Spectrum, AdjacentChannelRatiosAndOccupiedBandwidthOfTonesOnKnownBins) {
    const double rate = 4 * chip_rate_hz;
    const std::size_t count = 4 * frame_chips; // 37.5 Hz bins
    const long adjacent = 33333;               // 1.2499875 MHz, inside the adjacent band
    const long edge = 16384;                   // 614.4 kHz: the main band's closed edge
    // Main band: 1 + 0.5 + 0.5; upper: 0.02 (-20 dB); lower: 0.002 (-30 dB); 0.1 at 2 MHz outside both.
    const auto signal = tones(
        count, {{0, 1.0}, {edge, 0.5}, {-edge, 0.5}, {adjacent, 0.02}, {-adjacent, 0.002}, {53333, 0.1}});
    std::vector<Complex> bins = signal;
    forward_dft(bins);
    const SpectrumResult spectrum = measure_spectrum(bins, rate, 0.0, false);
    EXPECT_NEAR(spectrum.aclr_upper_db, 10.0 * std::log10(0.02 / 2.0), 0.001);
    EXPECT_NEAR(spectrum.aclr_lower_db, 10.0 * std::log10(0.002 / 2.0), 0.001);

    // Total 2.122: 0.5 % lies below -edge only with the lower tone (0.002 < 0.0106); the 99 % band runs
    // from -edge to the 2 MHz tone, whose 0.1 is more than the 0.5 % left above it.
    EXPECT_DOUBLE_EQ(spectrum.occupied_bw_hz, static_cast<double>(53333 + edge + 1) * 37.5);

    // The smoothed density peaks at the carrier with the 30 kHz window's share of the total.
    const auto peak = std::max_element(spectrum.psd.begin(), spectrum.psd.end(),
                                       [](const auto& a, const auto& b) { return a.second < b.second; });
    EXPECT_NEAR(peak->first, 0.0, psd_resolution_hz / 2.0);
    EXPECT_NEAR(peak->second, 10.0 * std::log10(1.0 / 2.122), 0.001);
}

TEST(Spectrum, AroundAnIfTheBandsFollowTheCarrierAndARealSignalIsMeasuredOnOneSide) {
    const double rate = 8 * chip_rate_hz;
    const std::size_t count = 8 * frame_chips;
    const long carrier = 80000; // 3 MHz
    auto signal =
        tones(count, {{carrier, 1.0}, {carrier + 33333, 0.02}, {-carrier, 1.0}, {-carrier - 33333, 0.02}});
    for (Complex& s : signal) {
        s = {s.real(), 0.0};
    }
    std::vector<Complex> bins = signal;
    forward_dft(bins);
    const SpectrumResult spectrum = measure_spectrum(bins, rate, carrier * 37.5, true);
    EXPECT_NEAR(spectrum.aclr_upper_db, 10.0 * std::log10(0.02), 0.001);
    EXPECT_LT(spectrum.aclr_lower_db, -200.0);
    EXPECT_DOUBLE_EQ(spectrum.occupied_bw_hz, 33334 * 37.5);
}

// Transform plans are kept between calls and reused on other arrays: every way of calling, at either
// alignment and again with the kept plan, gives the direct DFT, and an out-of-place call leaves its input.
TEST(Dft, KeptPlansGiveTheDirectTransformOnAnyArraysInPlaceOrNot) {
    for (const std::size_t size : {std::size_t{60}, std::size_t{640}}) {
        const std::vector<Complex> x = gaussian_noise(size, 1.0, 11);
        std::vector<Complex> direct(size);
        for (std::size_t k = 0; k < size; ++k) {
            for (std::size_t n = 0; n < size; ++n) {
                const double theta =
                    -2.0 * std::numbers::pi * static_cast<double>((k * n) % size) / static_cast<double>(size);
                direct[k] += x[n] * Complex(std::cos(theta), std::sin(theta));
            }
        }
        for (int round = 0; round < 2; ++round) {
            for (const std::size_t shift : {std::size_t{0}, std::size_t{1}}) {
                std::vector<Complex> input(size + 1);
                std::vector<Complex> output(size + 1);
                std::copy(x.begin(), x.end(), input.begin() + static_cast<std::ptrdiff_t>(shift));
                const std::span<Complex> in(input.data() + shift, size);
                forward_dft(std::span<const Complex>(in),
                            std::span<Complex>(output.data() + 1 - shift, size));
                EXPECT_TRUE(std::equal(x.begin(), x.end(), in.begin()));
                forward_dft(in);
                for (std::size_t k = 0; k < size; ++k) {
                    EXPECT_LT(std::abs(in[k] - direct[k]), 1e-9) << size << " in place, bin " << k;
                    EXPECT_LT(std::abs(output[1 - shift + k] - direct[k]), 1e-9) << size << " bin " << k;
                }
            }
        }
    }
}

// Frames made the way the synthesis makes them, with a filter of our own: symbols on Walsh codes at known
// powers (forward link: QPSK on the complex code; reverse link: BPSK on the I or Q branch, the pilot on
// I), a random complex PN, the chips filtered through a raised-cosine-shaped response. The code powers
// are known in closed form; the file and its reference are made from the same chips.
struct Code {
    int length;
    int number;
    double db; // relative to the pilot
    const char* branch;
};

const std::vector<Code> forward_codes{
    {64, 0, 0.0, ""}, {64, 32, -5.0, ""}, {128, 8, -10.0, ""}, {32, 5, -3.0, ""}, {256, 3, -25.0, ""}};
const std::vector<Code> reverse_codes{
    {64, 0, 0.0, "I"}, {16, 8, -3.0, "I"}, {16, 4, -1.0, "Q"}, {64, 48, -6.0, "Q"}, {8, 2, -9.0, "Q"}};

std::vector<Complex> filtered(const std::vector<Complex>& chips, int ratio) {
    const std::size_t count = static_cast<std::size_t>(ratio) * frame_chips;
    std::vector<Complex> spectrum = chips;
    forward_dft(spectrum);
    std::vector<Complex> waveform(count);
    for (std::size_t k = 0; k < count; ++k) {
        const auto b = k < count - count / 2 ? static_cast<double>(k)
                                             : static_cast<double>(k) - static_cast<double>(count);
        const double f = std::abs(b) / frame_chips; // in chip rates
        const double response = f < 0.4   ? 1.0
                                : f < 0.6 ? 0.5 * (1.0 + std::cos(std::numbers::pi * (f - 0.4) / 0.2))
                                          : 0.0;
        waveform[k] = spectrum[k % frame_chips] * response;
    }
    inverse_dft(waveform);
    for (Complex& s : waveform) {
        s /= static_cast<double>(frame_chips);
    }
    return waveform;
}

struct Made {
    std::vector<Complex> file; // at the file's ratio
    Reference reference;       // at the working ratio
};

Made made_frame(Link link, int ratio, unsigned data_seed = 1) {
    const std::vector<Code>& codes = link == Link::forward ? forward_codes : reverse_codes;
    double total = 0.0;
    for (const Code& c : codes) {
        total += std::pow(10.0, c.db / 10.0);
    }
    std::mt19937 random(data_seed);
    std::mt19937 pn_random(99);
    std::vector<Complex> pn(frame_chips);
    for (Complex& c : pn) {
        c = {pn_random() & 1 ? 1.0 : -1.0, pn_random() & 1 ? 1.0 : -1.0};
    }
    Made made;
    std::vector<Complex> chips(frame_chips);
    int row = 0;
    for (const Code& c : codes) {
        made.reference.channels.push_back({"T", "T " + std::to_string(row), row, c.length, c.number,
                                           c.db - 10.0 * std::log10(total), c.branch});
        ++row;
        Complex symbol;
        for (int n = 0; n < frame_chips; ++n) {
            if (n % c.length == 0) {
                const auto pick = random() % 4;
                const double amplitude = std::pow(10.0, c.db / 20.0);
                if (c.number == 0) {
                    symbol = amplitude; // the pilot
                } else if (link == Link::forward) {
                    symbol = std::polar(amplitude, std::numbers::pi / 4 + std::numbers::pi / 2 * pick);
                } else {
                    symbol = (pick & 1 ? -amplitude : amplitude) *
                             (std::string(c.branch) == "Q" ? Complex(0.0, 1.0) : Complex(1.0, 0.0));
                }
            }
            const double walsh =
                std::popcount(static_cast<unsigned>(c.number & (n % c.length))) & 1 ? -1.0 : 1.0;
            chips[static_cast<std::size_t>(n)] += symbol * walsh;
        }
    }
    for (std::size_t n = 0; n < chips.size(); ++n) {
        chips[n] *= pn[n];
    }
    made.file = filtered(chips, ratio);
    made.reference.link = link;
    made.reference.waveform = filtered(chips, working_ratio);
    made.reference.pilot = filtered(pn, working_ratio);
    made.reference.pn = pn;
    return made;
}

// The samples delayed circularly by any number of samples (through the line spectrum).
std::vector<Complex> delayed_by(std::vector<Complex> samples, double delay) {
    forward_dft(samples);
    const auto count = static_cast<double>(samples.size());
    for (std::size_t k = 0; k < samples.size(); ++k) {
        const double b =
            k < samples.size() - samples.size() / 2 ? static_cast<double>(k) : static_cast<double>(k) - count;
        samples[k] *= std::polar(1.0 / count, -2.0 * std::numbers::pi * b * delay / count);
    }
    inverse_dft(samples);
    return samples;
}

// A capture: multiplied by gain * exp(j (2 pi f t + theta)), t from the first sample.
void impair(std::vector<Complex>& samples, double rate, double gain, double frequency_hz, double phase_deg) {
    for (std::size_t n = 0; n < samples.size(); ++n) {
        samples[n] *= std::polar(gain, 2.0 * std::numbers::pi * frequency_hz * static_cast<double>(n) / rate +
                                           phase_deg * std::numbers::pi / 180.0);
    }
}

Result checked(const std::vector<Complex>& samples, int ratio, const Reference& reference) {
    return analyse({samples, ratio * chip_rate_hz}, &reference, 0.0, false);
}

void expect_set_powers(const Result& result, double tolerance_db) {
    ASSERT_TRUE(result.code_domain) << result.reference_problem;
    for (const CodePower& code : result.code_domain->channels) {
        EXPECT_NEAR(code.measured_db, *code.channel.set_db, tolerance_db) << code.channel.name;
    }
}

TEST(Receiver, FindsFrameStartFrequencyPhaseAndAmplitudeOfAnImpairedFrameAndMeasuresItAsIfUntouched) {
    constexpr int ratio = 8;
    const Made made = made_frame(Link::forward, ratio);
    struct Case {
        double delay_samples;
        double frequency_hz;
        double phase_deg;
        double gain;
    };
    for (const Case& c :
         {Case{0.0, 0.0, 0.0, 1.0}, Case{1000.0, 0.0, 0.0, 1.0}, Case{12345.37, 50.0, 40.0, 0.5},
          Case{200001.8, 2000.0, -135.0, 3.0}, Case{77.5, -4900.0, 170.0, 1.0}}) {
        SCOPED_TRACE(c.delay_samples);
        std::vector<Complex> file = delayed_by(made.file, c.delay_samples);
        impair(file, ratio * chip_rate_hz, c.gain, c.frequency_hz, c.phase_deg);
        const Result result = checked(file, ratio, made.reference);
        ASSERT_TRUE(result.acquisition) << result.reference_problem;
        EXPECT_NEAR(result.acquisition->time_offset_chips, c.delay_samples / ratio, 0.01);
        EXPECT_NEAR(result.acquisition->frequency_error_hz, c.frequency_hz, 0.1);
        EXPECT_NEAR(result.acquisition->phase_deg, c.phase_deg, 0.1);
        EXPECT_NEAR(result.acquisition->amplitude_db, 20.0 * std::log10(c.gain), 0.01);
        ASSERT_TRUE(result.quality);
        EXPECT_GT(result.quality->rho, 0.99999);
        expect_set_powers(result, 0.05);
        EXPECT_LT(*result.code_domain->noise_floor_db, -40.0);
    }
}

TEST(Receiver, NoiseInTheChannelGivesTheRhoItsSignalToNoiseRatioAllows) {
    constexpr int ratio = 4;
    const Made made = made_frame(Link::forward, ratio);
    // The signal's power within the 1.2288 MHz channel; white noise puts 1/ratio of its power there.
    std::vector<Complex> bins = made.file;
    forward_dft(bins);
    double in_channel = 0.0;
    for (std::size_t k = 0; k < bins.size(); ++k) {
        const long b = k < bins.size() / 2 ? static_cast<long>(k)
                                           : static_cast<long>(k) - static_cast<long>(bins.size());
        in_channel += std::abs(b) < frame_chips / 2 ? std::norm(bins[k]) : 0.0;
    }
    in_channel /= static_cast<double>(bins.size()) * static_cast<double>(bins.size());
    for (const double snr_db : {30.0, 15.0}) {
        const double snr = std::pow(10.0, snr_db / 10.0);
        const std::vector<Complex> noise = gaussian_noise(made.file.size(), ratio * in_channel / snr, 5);
        std::vector<Complex> file = delayed_by(made.file, 999.25);
        for (std::size_t n = 0; n < file.size(); ++n) {
            file[n] += noise[n];
        }
        const Result result = checked(file, ratio, made.reference);
        ASSERT_TRUE(result.quality) << result.reference_problem;
        EXPECT_NEAR(result.quality->rho, 1.0 / (1.0 + 1.0 / snr), 0.003) << snr_db;
        EXPECT_NEAR(result.acquisition->time_offset_chips, 999.25 / ratio, 0.02);
        expect_set_powers(result, snr_db > 20.0 ? 0.1 : 0.6);
    }
}

TEST(Receiver, AnAmplifierCompressionRaisesThe885KilohertzEmissionAndLowersRho) {
    constexpr int ratio = 8;
    const Made made = made_frame(Link::forward, ratio);
    const Result clean = checked(made.file, ratio, made.reference);
    double mean = 0.0;
    for (const Complex& s : made.file) {
        mean += std::norm(s) / static_cast<double>(made.file.size());
    }
    // A soft limiter (Rapp, smoothness 2) saturating 3 dB above the mean power.
    std::vector<Complex> compressed = made.file;
    const double saturation = std::sqrt(2.0 * mean);
    for (Complex& s : compressed) {
        const double r = std::abs(s) / saturation;
        s /= std::pow(1.0 + std::pow(r, 4.0), 0.25);
    }
    const Result hot = checked(compressed, ratio, made.reference);
    for (const std::size_t k : {std::size_t{1}, std::size_t{4}}) {
        EXPECT_LT(clean.spectrum.emissions_dbc[k], -70.0) << emission_names[k];
        EXPECT_GT(hot.spectrum.emissions_dbc[k], clean.spectrum.emissions_dbc[k] + 20.0) << emission_names[k];
    }
    EXPECT_FALSE(clean.spectrum.welch);
    ASSERT_TRUE(hot.quality);
    EXPECT_LT(hot.quality->rho, 0.999);
    EXPECT_GT(clean.quality->rho, 0.999999);
}

TEST(Receiver, ReverseLinkChannelsOnTheirBranchesAndTheFirstWholeFrameOfALongerCapture) {
    constexpr int ratio = 4;
    const Made made = made_frame(Link::reverse, ratio);
    const Result result = checked(delayed_by(made.file, 4321.0), ratio, made.reference);
    expect_set_powers(result, 0.05);
    const CodeDomainResult& codes = *result.code_domain;
    EXPECT_EQ(codes.walsh_length, reverse_walsh_length);
    EXPECT_TRUE(codes.code_active[0] && codes.code_active[8] && codes.q_active[4] && codes.q_active[48]);
    EXPECT_FALSE(codes.q_active[0] || codes.code_active[4]);
    EXPECT_LT(*codes.noise_floor_db, -40.0);

    // Two and a half frames of the repeated frame, starting 3000.5 samples into one: the first whole
    // frame starts (frame - 3000.5) samples in; the spectrum is an averaged one.
    const std::vector<Complex> frame = delayed_by(made.file, -3000.5);
    std::vector<Complex> capture;
    for (int k = 0; k < 3; ++k) {
        capture.insert(capture.end(), frame.begin(), frame.end());
    }
    capture.resize(capture.size() * 5 / 6);
    const Result long_capture = checked(capture, ratio, made.reference);
    ASSERT_TRUE(long_capture.acquisition) << long_capture.reference_problem;
    EXPECT_NEAR(long_capture.acquisition->time_offset_chips, frame_chips - 3000.5 / ratio, 0.01);
    EXPECT_TRUE(long_capture.spectrum.welch);
    expect_set_powers(long_capture, 0.05);
}

TEST(Receiver, DetectionWithoutSettingsFindsTheActiveCodesAndWrongFilesAreSaid) {
    constexpr int ratio = 4;
    Made made = made_frame(Link::forward, ratio);
    Reference pilot_only = made.reference;
    pilot_only.waveform.clear();
    pilot_only.channels.clear();
    pilot_only.detect = true;
    std::vector<Complex> file = delayed_by(made.file, 5.5);
    impair(file, ratio * chip_rate_hz, 1.0, 700.0, 10.0);
    const Result result = checked(file, ratio, pilot_only);
    ASSERT_TRUE(result.code_domain) << result.reference_problem;
    EXPECT_FALSE(result.quality);
    EXPECT_NEAR(result.acquisition->frequency_error_hz, 700.0, 1.0);
    std::vector<std::string> found;
    for (const CodePower& code : result.code_domain->channels) {
        found.push_back(std::to_string(code.channel.walsh_length) + "/" +
                        std::to_string(code.channel.walsh_number));
        EXPECT_FALSE(code.channel.set_db);
    }
    // The W256 code at -25 dB relative to the pilot is below the detection's -27 dB of the total.
    EXPECT_EQ(found, (std::vector<std::string>{"128/0", "32/5", "128/8", "64/32"}));

    // Noise alone, and a file shorter than a frame, say why nothing is measured.
    const Result noise = checked(gaussian_noise(made.file.size(), 1.0, 8), ratio, made.reference);
    EXPECT_FALSE(noise.acquisition);
    EXPECT_EQ(noise.reference_problem, "no frame of the link was found in the file");
    const Result short_file =
        checked(std::vector<Complex>(made.file.begin(), made.file.begin() + 1000), ratio, made.reference);
    EXPECT_NE(short_file.reference_problem.find("less than one frame"), std::string::npos);
}

TEST(WaveformFile, AwgWordsAndTextLinesReadBackAndBrokenFilesSayWhy) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("analysis_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    {
        std::ofstream awg(folder / "a.awv", std::ios::binary);
        awg << "{COMMENT:EVDOWaveform}\n{SAMPLINGFREQ:2.457600E+07}\n{IQOUTPUT:FIX}\n{WAVEDATA:16;";
        for (const std::uint32_t word : {16383u, 1u, 8192u, 0xffff0000u | 12288u}) {
            for (int b = 0; b < 4; ++b) {
                awg.put(static_cast<char>(word >> (8 * b)));
            }
        }
        awg << "}";
        std::ofstream(folder / "t.txt") << "1.00000000000000E+000,-2.50000000000000E-001\r\n0.5,0\r\n";
        std::ofstream(folder / "bad.txt") << "1.0,2.0\r\nnonsense\r\n";
        std::ofstream(folder / "short.awv") << "{SAMPLINGFREQ:2.457600E+07}\n{WAVEDATA:800;abc}";
    }
    const WaveformFile awg = read_waveform_file(folder / "a.awv", 1.0);
    ASSERT_TRUE(awg.waveform) << awg.error;
    EXPECT_EQ(awg.waveform->sample_rate_hz, 24576000.0);
    ASSERT_EQ(awg.waveform->samples.size(), 2u);
    EXPECT_EQ(awg.waveform->samples[0], Complex(1.0, -1.0));
    EXPECT_EQ(awg.waveform->samples[1], Complex(0.0, 4096.0 / 8191.0));
    const WaveformFile text = read_waveform_file(folder / "t.txt", 5e6);
    ASSERT_TRUE(text.waveform) << text.error;
    EXPECT_EQ(text.waveform->samples, (std::vector<Complex>{{1.0, -0.25}, {0.5, 0.0}}));
    EXPECT_EQ(text.waveform->sample_rate_hz, 5e6);
    EXPECT_NE(read_waveform_file(folder / "bad.txt", 5e6).error.find("line 2"), std::string::npos);
    EXPECT_NE(read_waveform_file(folder / "short.awv", 5e6).error.find("shorter"), std::string::npos);
    EXPECT_NE(read_waveform_file(folder / "missing.awv", 5e6).error.find("cannot be opened"),
              std::string::npos);
    std::filesystem::remove_all(folder);
}

// The samples of a large file are read a chunk at a time after its header: every sample must come back
// whatever the header's length, including samples split between chunks and a header too long to stream.
TEST(WaveformFile, LargeAwgFilesReadBackWordForWordWhateverTheHeaderLength) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("analysis_test_large_" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    constexpr std::uint32_t count = 300001;
    auto word = [](std::uint32_t n, int part) { return part == 0 ? n % 16384 : (n * 7919u + 0xabc00000u); };
    for (const std::size_t comment : {std::size_t{3}, std::size_t{70000}}) {
        const auto file = folder / ("big" + std::to_string(comment) + ".awv");
        {
            std::ofstream awg(file, std::ios::binary);
            awg << "{COMMENT:" << std::string(comment, 'x')
                << "}\n{SAMPLINGFREQ:9.8304E+07}\n{WAVEDATA:" << 8 * count << ";";
            for (std::uint32_t n = 0; n < count; ++n) {
                for (int part = 0; part < 2; ++part) {
                    for (int b = 0; b < 4; ++b) {
                        awg.put(static_cast<char>(word(n, part) >> (8 * b)));
                    }
                }
            }
            awg << "}";
        }
        const WaveformFile read = read_waveform_file(file, 1.0);
        ASSERT_TRUE(read.waveform) << read.error;
        EXPECT_EQ(read.waveform->sample_rate_hz, 98304000.0);
        ASSERT_EQ(read.waveform->samples.size(), count);
        std::size_t wrong = 0;
        for (std::uint32_t n = 0; n < count; ++n) {
            const Complex expected((static_cast<double>(word(n, 0) & 0x3fff) - 8192.0) / 8191.0,
                                   (static_cast<double>(word(n, 1) & 0x3fff) - 8192.0) / 8191.0);
            wrong += read.waveform->samples[n] != expected ? 1 : 0;
        }
        EXPECT_EQ(wrong, 0u) << "header comment of " << comment;
    }
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace varnika::analysis
