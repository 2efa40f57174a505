// The AWG waveform file: a header of brace lines, then the samples as 14-bit offset-binary words.
#include "wavesave/wavesave.h"

#include "boundary.h"
#include "number_text.h"
#include "output_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <span>
#include <string>
#include <vector>

namespace wavesave {
namespace {

// Offset binary: 8192 is zero, 8192 +- 8191 the full scale.
constexpr double mid_scale = 8192.0;
constexpr double full_scale = 8191.0;
constexpr std::uint32_t mid_scale_word = 8192;
constexpr std::size_t bytes_per_sample = 8; // two 32-bit little-endian words, I then Q
constexpr std::size_t samples_per_chunk = 16384;

struct Marker {
    std::int32_t enable;
    std::int32_t start;
    std::int32_t high;
    std::int32_t tail;
    std::int32_t mode; // 1 positive, 2 negative pulse
};

void append_marker_line(std::string& header, int number, const Marker& marker) {
    if (marker.enable <= 0 || (marker.mode != 1 && marker.mode != 2)) {
        return;
    }
    char line[96];
    std::snprintf(line, sizeof line, "{MARKER%d:ON;%s;%d;%d;%d;1}\n", number,
                  marker.mode == 1 ? "POS" : "NEG", static_cast<int>(marker.start),
                  static_cast<int>(marker.high), static_cast<int>(marker.tail));
    header += line;
}

std::string header_text(const std::tm& now, double papr_db, double crest_i_db, double crest_q_db,
                        double sampling_freq_hz, long long data_bytes, const Marker& marker1,
                        const Marker& marker2) {
    std::string header = "{COMMENT:EVDOWaveform}\n";
    char date[64];
    std::snprintf(date, sizeof date, "{DATE:%4d/%02d/%02d;%02d:%02d:%02d}\n", now.tm_year + 1900,
                  now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
    header += date;
    header += "{PAPR:" + fixed_text(papr_db, 6) + ";" + fixed_text(crest_i_db, 6) + ";" +
              fixed_text(crest_q_db, 6) + "}\n";
    header += "{IQFILTER:FLT50M}\n{IQGAIN:1.0;1.0}\n{IQOFFSET:0.0;0.0}\n";
    const bool any_mode = marker1.mode != 0 || marker2.mode != 0;
    const bool any_enabled = marker1.enable > 0 || marker2.enable > 0;
    if (any_mode && any_enabled) {
        header += "{MARKERMODE:SEQ}\n";
        append_marker_line(header, 1, marker1);
        append_marker_line(header, 2, marker2);
    }
    char frequency[scientific_max_chars(6)];
    header += "{SAMPLINGFREQ:";
    header.append(frequency, write_scientific(frequency, sampling_freq_hz, 6, false));
    header += "}\n{IQOUTPUT:FIX}\n{WAVEDATA:" + std::to_string(data_bytes) + ";";
    return header;
}

// The two passes over the samples are built for each vector width the processor may have; the
// loader picks the widest it offers. The results do not depend on the choice. Other processors
// (arm64) have one vector width: one build.
#if defined(__x86_64__)
#define WAVESAVE_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define WAVESAVE_VECTOR_CLONES
#endif

// Largest |I| or |Q|; NaN components are passed over (a comparison with NaN is false). Eight running
// maxima let the compiler keep them in vector registers.
WAVESAVE_VECTOR_CLONES double peak_component(const double* values, std::size_t count) {
    constexpr std::size_t lanes = 8;
    std::array<double, lanes> peaks{};
    std::size_t k = 0;
    for (; k + lanes <= count; k += lanes) {
        for (std::size_t lane = 0; lane < lanes; ++lane) {
            const double magnitude = std::abs(values[k + lane]);
            peaks[lane] = magnitude > peaks[lane] ? magnitude : peaks[lane];
        }
    }
    for (; k < count; ++k) {
        const double magnitude = std::abs(values[k]);
        peaks[0] = magnitude > peaks[0] ? magnitude : peaks[0];
    }
    return *std::ranges::max_element(peaks);
}

// The sample is divided by the peak before scaling, so that +peak gives 16383 and -peak gives 1
// exactly. A component that is not a number writes mid-scale rather than an undefined conversion.
// Written without branches so that the compiler turns the loop into vector instructions.
WAVESAVE_VECTOR_CLONES void put_words(std::uint32_t* words, const double* values, std::size_t count,
                                      double peak) {
    for (std::size_t k = 0; k < count; ++k) {
        double level = values[k] / peak * full_scale + mid_scale;
        level = level == level ? level : mid_scale;
        level = level > 0.0 ? level : 0.0;
        level = level < mid_scale + full_scale ? level : mid_scale + full_scale;
        words[k] = static_cast<std::uint32_t>(static_cast<std::int32_t>(level));
    }
}

void write_words(OutputFile& file, std::span<std::uint32_t> words) {
    if constexpr (std::endian::native != std::endian::little) {
        for (std::uint32_t& word : words) {
            const std::uint32_t native = word;
            auto* bytes = reinterpret_cast<unsigned char*>(&word);
            for (int n = 0; n < 4; ++n) {
                bytes[n] = static_cast<unsigned char>(native >> (8 * n));
            }
        }
    }
    file.write({reinterpret_cast<const char*>(words.data()), words.size_bytes()});
}

void write_samples(OutputFile& file, std::span<const IqSample> samples, std::size_t pad_count) {
    const double peak = samples.empty() ? 0.0 : peak_component(&samples.data()->i, 2 * samples.size());
    std::vector<std::uint32_t> chunk(2 * samples_per_chunk);
    while (!samples.empty()) {
        const auto part = samples.first(std::min(samples.size(), samples_per_chunk));
        const std::span<std::uint32_t> words(chunk.data(), 2 * part.size());
        if (peak > 0.0) {
            put_words(words.data(), &part.data()->i, words.size(), peak);
        } else { // zero throughout: no peak, mid-scale words
            std::ranges::fill(words, mid_scale_word);
        }
        write_words(file, words);
        samples = samples.subspan(part.size());
    }
    while (pad_count > 0) {
        const std::size_t part = std::min(pad_count, samples_per_chunk);
        const std::span<std::uint32_t> words(chunk.data(), 2 * part);
        std::ranges::fill(words, mid_scale_word);
        write_words(file, words);
        pad_count -= part;
    }
}

std::size_t count_or_zero(std::int32_t count) {
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

} // namespace
} // namespace wavesave

extern "C" int32_t save_AWG_data_file(const char* file_name, const IqSample* samples, double crest_i_db,
                                      double crest_q_db, double papr_db, double sampling_freq_hz,
                                      int32_t sample_count, int32_t pad_count, int32_t marker1_enable,
                                      int32_t marker1_start, int32_t marker1_high, int32_t marker1_tail,
                                      int32_t marker1_mode, int32_t marker2_enable, int32_t marker2_start,
                                      int32_t marker2_high, int32_t marker2_tail, int32_t marker2_mode) {
    using namespace wavesave;
    return guarded(WAVESAVE_CANNOT_CREATE, [&] {
        // The date line tells when the writing started.
        const std::time_t started = std::time(nullptr);
        std::tm now{};
        localtime_r(&started, &now);

        if (samples == nullptr && sample_count > 0) {
            return WAVESAVE_CANNOT_CREATE;
        }
        const std::size_t count = count_or_zero(sample_count);
        const std::size_t pads = count_or_zero(pad_count);
        const Marker marker1{marker1_enable, marker1_start, marker1_high, marker1_tail, marker1_mode};
        const Marker marker2{marker2_enable, marker2_start, marker2_high, marker2_tail, marker2_mode};
        const std::size_t bytes = (count + pads) * bytes_per_sample;
        const auto data_bytes = static_cast<long long>(bytes);
        const std::string header =
            header_text(now, papr_db, crest_i_db, crest_q_db, sampling_freq_hz, data_bytes, marker1, marker2);

        OutputFile file(file_name);
        if (!file.is_open()) {
            return WAVESAVE_CANNOT_CREATE;
        }
        file.write(header);
        write_samples(file, {samples, count}, pads);
        file.write("}");
        return file.close() ? WAVESAVE_OK : WAVESAVE_CANNOT_CREATE;
    });
}
