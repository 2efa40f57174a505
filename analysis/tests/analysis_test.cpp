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

// A forward-link frame made the way the synthesis makes one, but with a filter of our own: QPSK symbols
// on Walsh codes at known powers, a random complex PN, the chips interpolated through a raised-cosine
// response with a delay. The code powers are known in closed form.
struct SyntheticFrame {
    std::vector<CodeChannel> channels;
    Reference reference;
};

SyntheticFrame synthetic_frame(int ratio, unsigned data_seed, double delay_samples) {
    const std::vector<std::tuple<int, int, double>> codes{
        {64, 0, 0.0}, {64, 32, -5.0}, {128, 8, -10.0}, {32, 5, -3.0}, {256, 3, -25.0}};
    SyntheticFrame frame;
    double total = 0.0;
    for (const auto& [length, number, db] : codes) {
        total += std::pow(10.0, db / 10.0);
    }
    std::mt19937 random(data_seed);
    std::mt19937 pn_random(99); // the PN is the frame's, not the data's
    std::vector<Complex> pn(frame_chips);
    for (Complex& c : pn) {
        c = {pn_random() & 1 ? 1.0 : -1.0, pn_random() & 1 ? 1.0 : -1.0};
    }
    std::vector<Complex> chips(frame_chips);
    int row = 0;
    for (const auto& [length, number, db] : codes) {
        frame.channels.push_back({"F-TEST", row++, length, number, db - 10.0 * std::log10(total)});
        Complex symbol;
        for (int n = 0; n < frame_chips; ++n) {
            if (n % length == 0) {
                symbol = std::polar(std::pow(10.0, db / 20.0),
                                    std::numbers::pi / 4 + std::numbers::pi / 2 * (random() % 4));
            }
            const double walsh = std::popcount(static_cast<unsigned>(number & (n % length))) & 1 ? -1.0 : 1.0;
            chips[static_cast<std::size_t>(n)] += symbol * walsh;
        }
    }
    for (std::size_t n = 0; n < chips.size(); ++n) {
        chips[n] *= pn[n];
    }
    const std::size_t count = static_cast<std::size_t>(ratio) * frame_chips;
    std::vector<Complex> spectrum = chips;
    forward_dft(spectrum);
    std::vector<Complex> waveform(count);
    for (std::size_t k = 0; k < count; ++k) {
        const auto b = static_cast<double>(k < count / 2 ? static_cast<long>(k)
                                                         : static_cast<long>(k) - static_cast<long>(count));
        const double f = std::abs(b) / frame_chips; // in chip rates
        const double response = f < 0.4   ? 1.0
                                : f < 0.6 ? 0.5 * (1.0 + std::cos(std::numbers::pi * (f - 0.4) / 0.2))
                                          : 0.0;
        waveform[k] =
            spectrum[k % frame_chips] * response *
            std::polar(1.0, -2.0 * std::numbers::pi * b * delay_samples / static_cast<double>(count));
    }
    inverse_dft(waveform);
    frame.reference = {waveform, chips, pn, frame.channels, ratio, 0, 0.0, false};
    return frame;
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

TEST(CodeDomain, EveryCodePowerOfASyntheticFrameWhateverDataTheReferenceCarries) {
    const SyntheticFrame file = synthetic_frame(4, 1, 3.3);
    // The reference has other data on the same codes: the measurement must not depend on it.
    const SyntheticFrame ideal = synthetic_frame(4, 2, 3.3);
    std::vector<Complex> samples = file.reference.waveform;
    const auto noise = gaussian_noise(samples.size(), 1e-6, 3);
    double power = 0.0;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        power += std::norm(samples[n]);
    }
    power /= static_cast<double>(samples.size());
    for (std::size_t n = 0; n < samples.size(); ++n) {
        samples[n] = 0.3 * std::polar(1.0, 1.0) * samples[n] + 0.3 * std::sqrt(power) * noise[n];
    }
    const CodeDomainResult result = measure_code_domain(samples, ideal.reference, 4 * chip_rate_hz);
    ASSERT_EQ(result.channels.size(), file.channels.size());
    for (const CodePower& code : result.channels) {
        EXPECT_NEAR(code.measured_db, code.channel.set_db, 0.02)
            << "W" << code.channel.walsh_length << "(" << code.channel.walsh_number << ")";
    }
    // White noise 60 dB under the signal: a quarter of it lies in the chip band at ratio 4, spread over
    // 128 codes; a covered code is not noise.
    ASSERT_TRUE(result.noise_floor_db);
    EXPECT_NEAR(*result.noise_floor_db, -60.0 - 10.0 * std::log10(4.0 * 128.0), 3.0);
    EXPECT_TRUE(result.code_active[0] && result.code_active[32] && result.code_active[8] &&
                result.code_active[5] && result.code_active[37] && result.code_active[3]);
    EXPECT_EQ(std::count(result.code_active.begin(), result.code_active.end(), true), 2 + 2 + 1 + 4 + 1);

    const QualityResult quality = measure_quality(samples, ideal.reference.waveform);
    EXPECT_LT(quality.rho, 0.5); // other data: the waveform is not the one the reference makes
    const QualityResult own = measure_quality(samples, file.reference.waveform);
    EXPECT_NEAR(own.rho, 1.0 / (1.0 + 1e-6), 1e-7);
    EXPECT_NEAR(own.evm_percent, 0.1, 0.002);
}

TEST(CodeDomain, AnIqExchangedFileIsMeasuredAgainstAnIqExchangedReferenceAndCaughtAgainstAPlainOne) {
    SyntheticFrame frame = synthetic_frame(8, 4, 0.0);
    std::vector<Complex> swapped = frame.reference.waveform;
    for (Complex& s : swapped) {
        s = {s.imag(), s.real()};
    }
    const QualityResult plain = measure_quality(swapped, frame.reference.waveform);
    EXPECT_LT(plain.rho, 0.1);
    const CodeDomainResult wrong = measure_code_domain(swapped, frame.reference, 8 * chip_rate_hz);
    EXPECT_GT(std::abs(wrong.channels[1].measured_db - wrong.channels[1].channel.set_db), 1.0);

    Reference inverted = frame.reference;
    inverted.waveform = swapped;
    for (Complex& c : inverted.chips) {
        c = {c.imag(), c.real()};
    }
    inverted.iq_inverse = true;
    const CodeDomainResult right = measure_code_domain(swapped, inverted, 8 * chip_rate_hz);
    for (const CodePower& code : right.channels) {
        EXPECT_NEAR(code.measured_db, code.channel.set_db, 0.01);
    }
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
