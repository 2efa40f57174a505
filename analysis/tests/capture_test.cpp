// Captures read back and brought to a whole number of samples per chip: SigMF recordings in each sample
// format, the refusal of files that are not regular files or whose headers carry impossible numbers, and
// the resampler's round trip through a rate that is not a multiple of the chip rate.
#include "analysis/resample.h"
#include "analysis/waveform_file.h"

#include <gtest/gtest.h>
#include <samplerate.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <limits>
#include <numbers>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace varnika::analysis {
namespace {

namespace fs = std::filesystem;

class Folder {
public:
    Folder() : path_(fs::temp_directory_path() / ("capture_test_" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~Folder() { fs::remove_all(path_); }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

void write_bytes(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

// Little-endian bytes of `word`.
template <typename Word> void put(std::string& bytes, Word word) {
    for (std::size_t b = 0; b < sizeof(Word); ++b) {
        bytes.push_back(static_cast<char>((word >> (8 * b)) & 0xff));
    }
}

// A band-limited test signal: complex tones of random amplitude and phase within +/-700 kHz.
std::vector<Complex> tones(std::size_t count, double rate_hz, unsigned seed) {
    std::mt19937_64 random(seed);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<Complex> samples(count);
    for (int tone = 0; tone < 40; ++tone) {
        const double f = (2.0 * uniform(random) - 1.0) * 700e3;
        const Complex a = std::polar(0.05 + uniform(random), 2.0 * std::numbers::pi * uniform(random));
        for (std::size_t n = 0; n < count; ++n) {
            samples[n] += a * std::polar(1.0, 2.0 * std::numbers::pi * f * static_cast<double>(n) / rate_hz);
        }
    }
    return samples;
}

std::string meta_text(const std::string& datatype, const std::string& rate, const std::string& extra = "") {
    return "{\"global\": {\"core:datatype\": \"" + datatype + "\", \"core:sample_rate\": " + rate +
           ", \"core:version\": \"1.0.0\"" + extra +
           "}, \"captures\": [{\"core:sample_start\": 0}], "
           "\"annotations\": []}";
}

TEST(Capture, SigmfRecordingsOfEachSampleFormatReadBackByEitherName) {
    const Folder folder;
    const std::vector<Complex> made = tones(1000, 15.36e6, 1);
    std::string cf32;
    std::string ci16;
    std::string cf64;
    for (const Complex& s : made) {
        for (const double v : {s.real(), s.imag()}) {
            put(cf32, std::bit_cast<std::uint32_t>(static_cast<float>(v)));
            put(ci16, static_cast<std::uint16_t>(static_cast<std::int16_t>(std::lround(v / 64.0 * 32767.0))));
            put(cf64, std::bit_cast<std::uint64_t>(v));
        }
    }
    struct Case {
        std::string type;
        std::string data;
        double scale;
        double tolerance;
    };
    for (const Case& c :
         {Case{"cf32_le", cf32, 1.0, 1e-5}, Case{"ci16_le", ci16, 32767.0 / 64.0 / 32768.0, 2e-3},
          Case{"cf64_le", cf64, 1.0, 0.0}}) {
        SCOPED_TRACE(c.type);
        write_bytes(folder / (c.type + ".sigmf-data"), c.data);
        write_bytes(folder / (c.type + ".sigmf-meta"), meta_text(c.type, "15360000"));
        for (const char* half : {".sigmf-meta", ".sigmf-data"}) {
            const WaveformFile read = read_waveform_file(folder / (c.type + half), 0.0);
            ASSERT_TRUE(read.waveform) << read.error;
            EXPECT_EQ(read.format, FileFormat::Sigmf);
            EXPECT_EQ(read.waveform->sample_rate_hz, 15.36e6);
            ASSERT_EQ(read.waveform->samples.size(), made.size());
            double worst = 0.0;
            for (std::size_t n = 0; n < made.size(); ++n) {
                worst = std::max(worst, std::abs(read.waveform->samples[n] / c.scale - made[n]));
            }
            EXPECT_LE(worst, c.tolerance);
        }
    }
    // A given rate overrides the meta's; a header of bytes before the samples is skipped.
    write_bytes(folder / "h.sigmf-data", "HEADER" + cf64);
    write_bytes(folder / "h.sigmf-meta",
                "{\"global\": {\"core:datatype\": \"cf64_le\"}, \"captures\": [{\"core:header_bytes\": 6}]}");
    ReadOptions options;
    options.sample_rate_hz = 10e6;
    const WaveformFile headed = read_waveform_file(folder / "h.sigmf-meta", options);
    ASSERT_TRUE(headed.waveform) << headed.error;
    EXPECT_EQ(headed.waveform->sample_rate_hz, 10e6);
    EXPECT_EQ(headed.waveform->samples, made);
    EXPECT_NE(read_waveform_file(folder / "h.sigmf-meta", 0.0).error.find("no core:sample_rate"),
              std::string::npos);
}

TEST(Capture, FilesThatAreNotRegularOrCarryImpossibleNumbersAreRefusedWithTheirReason) {
    const Folder folder;
    // A FIFO without a writer: opening it for reading would wait for ever.
    ASSERT_EQ(::mkfifo((folder / "pipe.awv").c_str(), 0600), 0);
    EXPECT_NE(read_waveform_file(folder / "pipe.awv", 1e6).error.find("pipe.awv is a FIFO"),
              std::string::npos);
    ASSERT_EQ(::mkfifo((folder / "p.sigmf-data").c_str(), 0600), 0);
    write_bytes(folder / "p.sigmf-meta", meta_text("cf32_le", "1e6"));
    EXPECT_NE(read_waveform_file(folder / "p.sigmf-meta", 0.0).error.find("is a FIFO"), std::string::npos);
    fs::create_directories(folder / "dir.awv");
    EXPECT_NE(read_waveform_file(folder / "dir.awv", 1e6).error.find("is a folder"), std::string::npos);

    const std::string rate = "{SAMPLINGFREQ:9.830400e+007}\n";
    const std::string eight(8, '\x20');
    const std::vector<std::pair<std::string, std::string>> awg{
        {"{WAVEDATA:1e30;" + eight + "}", "WAVEDATA \"1e30\", not a byte count"},
        {"{WAVEDATA:-8;" + eight + "}", "not a byte count"},
        {"{WAVEDATA:99999999999999999999999;" + eight + "}", "not a byte count"},
        {"{WAVEDATA:80;" + eight + "}", "shorter than"},
        {"{WAVEDATA:12;" + eight + "}", "not a whole number of samples"},
    };
    for (const auto& [line, reason] : awg) {
        write_bytes(folder / "bad.awv", rate + line);
        EXPECT_NE(read_waveform_file(folder / "bad.awv", 0.0).error.find(reason), std::string::npos) << line;
    }
    for (const std::string value : {"inf", "nan", "1e-300", "-9.8304e7", "1e400", "9.8x"}) {
        write_bytes(folder / "bad.awv", "{SAMPLINGFREQ:" + value + "}\n{WAVEDATA:8;" + eight + "}");
        EXPECT_NE(read_waveform_file(folder / "bad.awv", 0.0).error.find("SAMPLINGFREQ \"" + value + "\""),
                  std::string::npos)
            << value;
    }
    write_bytes(folder / "nan.txt", "1.0,0.5\r\nnan,0\r\n");
    EXPECT_NE(read_waveform_file(folder / "nan.txt", 1e6).error.find("line 2"), std::string::npos);
    write_bytes(folder / "t.txt", "1.0,0.5\r\n");
    EXPECT_NE(read_waveform_file(folder / "t.txt", 0.0).error.find("no sampling rate of its own"),
              std::string::npos);

    const std::vector<std::pair<std::string, std::string>> metas{
        {meta_text("ri8", "1e6"), "\"ri8\"; only cf32_le"},
        {meta_text("cf32_le", "1e-300"), "core:sample_rate outside"},
        {meta_text("cf32_le", "\"fast\""), "not a number"},
        {meta_text("cf32_le", "1e6", ", \"core:num_channels\": 2"), "more than one channel"},
        {"{\"global\": ", "not a JSON object"},
    };
    write_bytes(folder / "m.sigmf-data", std::string(12, '\0'));
    for (const auto& [meta, reason] : metas) {
        write_bytes(folder / "m.sigmf-meta", meta);
        EXPECT_NE(read_waveform_file(folder / "m.sigmf-data", 0.0).error.find(reason), std::string::npos)
            << meta;
    }
    write_bytes(folder / "m.sigmf-meta", meta_text("cf32_le", "1e6"));
    EXPECT_NE(read_waveform_file(folder / "m.sigmf-data", 0.0).error.find("not a whole number of cf32_le"),
              std::string::npos);
    std::string not_finite;
    put(not_finite, std::bit_cast<std::uint32_t>(1.0f));
    put(not_finite, std::bit_cast<std::uint32_t>(std::numeric_limits<float>::infinity()));
    write_bytes(folder / "m.sigmf-data", not_finite);
    EXPECT_NE(read_waveform_file(folder / "m.sigmf-data", 0.0).error.find("not a finite number (sample 0)"),
              std::string::npos);
}

TEST(Capture, ResamplingTo15_36MHzAndBackKeepsTheSamplesAndRatesSnapToWholeChipMultiples) {
    EXPECT_EQ(chip_multiple_at_or_above(15.36e6), 13);
    EXPECT_EQ(chip_multiple_at_or_above(10e6), 9);
    EXPECT_EQ(chip_multiple_at_or_above(30.72e6), 25);
    EXPECT_EQ(chip_multiple_at_or_above(1e6), 1);
    EXPECT_TRUE(is_chip_multiple(9.830400e+007));
    EXPECT_FALSE(is_chip_multiple(15.36e6));

    // Eight samples per chip to 15.36 MHz (12.5 per chip) and back. Away from the converter's start and
    // end, the error vector against the made samples is the float arithmetic's and the filter's ripple:
    // under -120 dB with the best converter (-141 dB seen), under -90 dB with the fastest (-104 dB seen).
    const double rate = 8 * chip_rate_hz;
    const Waveform made{tones(60000, rate, 2), rate};
    Waveform there;
    for (const auto& [quality, limit] :
         {std::pair{ResampleQuality::best, 1e-6}, {ResampleQuality::fastest, 3e-5}}) {
        there = resample(made, 15.36e6, quality);
        EXPECT_EQ(there.samples.size(), 93750u);
        const Waveform back = resample(there, rate, quality);
        ASSERT_EQ(back.samples.size(), made.samples.size());
        double error = 0.0;
        double power = 0.0;
        for (std::size_t n = 2000; n + 2000 < made.samples.size(); ++n) {
            error += std::norm(back.samples[n] - made.samples[n]);
            power += std::norm(made.samples[n]);
        }
        EXPECT_LT(std::sqrt(error / power), limit);
    }

    // A capture at 15.36 MHz comes to 13 samples per chip; one at a whole multiple is left as it was.
    const Waveform snapped = resample_to_chip_multiple(there);
    EXPECT_EQ(snapped.sample_rate_hz, 13 * chip_rate_hz);
    EXPECT_EQ(snapped.samples.size(), 97500u);
    EXPECT_EQ(resample_to_chip_multiple(made).samples, made.samples);
    EXPECT_THROW(resample(Waveform{{}, rate}, 15.36e6), std::invalid_argument);
}

// libsamplerate's own one-call conversion of the whole capture, in floats.
std::vector<Complex> converted_at_once(const Waveform& capture, double rate_hz, int converter) {
    std::vector<float> in;
    for (const Complex& s : capture.samples) {
        in.push_back(static_cast<float>(s.real()));
        in.push_back(static_cast<float>(s.imag()));
    }
    const double ratio = rate_hz / capture.sample_rate_hz;
    const auto wanted =
        static_cast<std::size_t>(std::llround(static_cast<double>(capture.samples.size()) * ratio));
    std::vector<float> out(2 * wanted);
    SRC_DATA data{};
    data.data_in = in.data();
    data.data_out = out.data();
    data.input_frames = static_cast<long>(capture.samples.size());
    data.output_frames = static_cast<long>(wanted);
    data.src_ratio = ratio;
    EXPECT_EQ(src_simple(&data, converter, 2), 0);
    std::vector<Complex> samples(static_cast<std::size_t>(data.output_frames_gen));
    for (std::size_t n = 0; n < samples.size(); ++n) {
        samples[n] = {out[2 * n], out[2 * n + 1]};
    }
    return samples;
}

TEST(Capture, ALongCaptureResampledInPartsOnThreadsIsTheWholeConvertersOutput) {
    // White noise at rates whose aligned part starts are 25 input samples apart (15.36 MHz up to 13 per chip)
    // and 3125 apart (10 MHz up to 9 per chip), and at a rate lowered (40 MHz down to 15.36 MHz, 125 apart).
    // Parts are cut where the processors allow; the outputs agree to the converter's float arithmetic.
    struct Case {
        double from_hz;
        double to_hz;
        std::size_t count;
    };
    for (const Case& c : {Case{15.36e6, 13 * chip_rate_hz, 200000}, Case{10e6, 9 * chip_rate_hz, 200000},
                          Case{40e6, 15.36e6, 500000}}) {
        SCOPED_TRACE(c.from_hz);
        std::mt19937_64 random(3);
        std::normal_distribution<double> normal;
        Waveform capture{std::vector<Complex>(c.count), c.from_hz};
        for (Complex& s : capture.samples) {
            s = {normal(random), normal(random)};
        }
        const Waveform parted = resample(capture, c.to_hz, ResampleQuality::medium);
        const std::vector<Complex> whole = converted_at_once(capture, c.to_hz, SRC_SINC_MEDIUM_QUALITY);
        ASSERT_EQ(parted.samples.size(), whole.size());
        double worst = 0.0;
        double power = 0.0;
        for (std::size_t n = 0; n < whole.size(); ++n) {
            worst = std::max(worst, std::abs(parted.samples[n] - whole[n]));
            power += std::norm(whole[n]);
        }
        EXPECT_LT(worst, 1e-6 * std::sqrt(power / static_cast<double>(whole.size())));
    }
}

} // namespace
} // namespace varnika::analysis
