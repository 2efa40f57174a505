// The AWG waveform file: a header of brace lines, then the samples as 14-bit offset-binary words.
#include "wavesave/wavesave.h"

#include "boundary.h"
#include "number_text.h"
#include "output_file.h"

#include <algorithm>
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
constexpr std::size_t bytes_per_sample = 8;
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

// Largest |I| or |Q|; NaN components are passed over.
double peak_component(std::span<const IqSample> samples) {
    double peak = 0.0;
    for (const IqSample& s : samples) {
        peak = std::max({peak, std::abs(s.i), std::abs(s.q)});
    }
    return peak;
}

// The sample is divided by the peak before scaling, so that +peak gives 16383 and -peak gives 1
// exactly. A buffer that is zero throughout has no peak and writes mid-scale; a component that is
// not a number writes mid-scale too rather than an undefined conversion.
std::uint32_t offset_binary_word(double value, double peak) {
    if (!(peak > 0.0)) {
        return mid_scale_word;
    }
    const double level = value / peak * full_scale + mid_scale;
    if (std::isnan(level)) {
        return mid_scale_word;
    }
    return static_cast<std::uint32_t>(std::clamp(level, 0.0, mid_scale + full_scale));
}

char* put_le32(char* out, std::uint32_t word) {
    for (int byte = 0; byte < 4; ++byte) {
        *out++ = static_cast<char>((word >> (8 * byte)) & 0xffu);
    }
    return out;
}

void write_samples(OutputFile& file, std::span<const IqSample> samples, std::size_t pad_count) {
    const double peak = peak_component(samples);
    std::vector<char> chunk(samples_per_chunk * bytes_per_sample);
    while (!samples.empty()) {
        const auto part = samples.first(std::min(samples.size(), samples_per_chunk));
        char* out = chunk.data();
        for (const IqSample& s : part) {
            out = put_le32(out, offset_binary_word(s.i, peak));
            out = put_le32(out, offset_binary_word(s.q, peak));
        }
        file.write({chunk.data(), static_cast<std::size_t>(out - chunk.data())});
        samples = samples.subspan(part.size());
    }
    char* out = chunk.data();
    for (std::size_t n = 0; n < samples_per_chunk; ++n) {
        out = put_le32(put_le32(out, mid_scale_word), mid_scale_word);
    }
    while (pad_count > 0) {
        const std::size_t part = std::min(pad_count, samples_per_chunk);
        file.write({chunk.data(), part * bytes_per_sample});
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
        const auto data_bytes = static_cast<long long>((count + pads) * bytes_per_sample);
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
