#include "analysis/waveform_file.h"

#include <charconv>
#include <cstdint>
#include <fstream>
#include <string_view>

namespace varnika::analysis {

namespace {

constexpr double awg_mid_scale = 8192.0;
constexpr double awg_full_scale = 8191.0;
constexpr std::uint32_t awg_word_mask = 0x3fff; // 14 bits; the bits above are not part of the sample

std::optional<std::string> read_all(const std::filesystem::path& file, std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    std::error_code error;
    const auto size = std::filesystem::file_size(file, error);
    if (!in || error) {
        return "the file " + file.string() + " cannot be opened";
    }
    bytes.resize(size);
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    if (in.gcount() != static_cast<std::streamsize>(size)) {
        return "the file " + file.string() + " cannot be read";
    }
    return std::nullopt;
}

// The value of a header line "{KEY:value}" or "{KEY:value;"; nothing when the key is missing.
std::optional<std::string_view> header_value(std::string_view header, std::string_view key) {
    std::string opening(1, '{');
    opening.append(key).push_back(':');
    const std::size_t at = header.find(opening);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::size_t start = at + opening.size();
    const std::size_t stop = header.find_first_of(";}\n", start);
    return header.substr(start, stop == std::string_view::npos ? std::string_view::npos : stop - start);
}

std::optional<double> number_of(std::optional<std::string_view> text) {
    if (!text) {
        return std::nullopt;
    }
    double value = 0.0;
    const auto [stop, error] = std::from_chars(text->data(), text->data() + text->size(), value);
    if (error != std::errc() || stop == text->data()) {
        return std::nullopt;
    }
    return value;
}

WaveformFile read_awg(const std::filesystem::path& file, const std::string& bytes) {
    WaveformFile result;
    result.awg = true;
    auto fail = [&](const std::string& why) {
        result.error = "the AWG file " + file.string() + " " + why;
        return result;
    };
    const std::string_view text(bytes);
    const std::string_view marker = "{WAVEDATA:";
    const std::size_t data_line = text.find(marker);
    if (data_line == std::string_view::npos) {
        return fail("has no WAVEDATA line");
    }
    const std::string_view header = text.substr(0, data_line + marker.size() + 24);
    const auto rate = number_of(header_value(header, "SAMPLINGFREQ"));
    if (!rate || !(*rate > 0.0)) {
        return fail("has no usable SAMPLINGFREQ line");
    }
    const auto declared = number_of(header_value(header, "WAVEDATA"));
    const std::size_t start = text.find(';', data_line);
    if (!declared || start == std::string_view::npos || *declared < 0.0) {
        return fail("has no usable WAVEDATA line");
    }
    const auto data_bytes = static_cast<std::size_t>(*declared);
    if (data_bytes % 8 != 0 || data_bytes == 0) {
        return fail("declares " + std::to_string(data_bytes) +
                    " bytes of samples, not a whole number of samples");
    }
    if (text.size() - (start + 1) < data_bytes) {
        return fail("is shorter than its WAVEDATA line declares");
    }
    const auto* data = reinterpret_cast<const unsigned char*>(text.data() + start + 1);
    auto word = [data](std::size_t k) {
        const unsigned char* p = data + 4 * k;
        const std::uint32_t w = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                std::uint32_t{p[3]} << 24;
        return (static_cast<double>(w & awg_word_mask) - awg_mid_scale) / awg_full_scale;
    };
    Waveform waveform;
    waveform.sample_rate_hz = *rate;
    waveform.samples.resize(data_bytes / 8);
    for (std::size_t n = 0; n < waveform.samples.size(); ++n) {
        waveform.samples[n] = {word(2 * n), word(2 * n + 1)};
    }
    result.waveform = std::move(waveform);
    return result;
}

WaveformFile read_text(const std::filesystem::path& file, const std::string& bytes, double rate_hz) {
    WaveformFile result;
    Waveform waveform;
    waveform.sample_rate_hz = rate_hz;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    std::size_t line = 0;
    while (p < end) {
        ++line;
        double i = 0.0;
        double q = 0.0;
        auto first = std::from_chars(p, end, i);
        if (first.ec != std::errc() || first.ptr == end || *first.ptr != ',') {
            result.error =
                "the text file " + file.string() + " has no \"I,Q\" pair on line " + std::to_string(line);
            return result;
        }
        auto second = std::from_chars(first.ptr + 1, end, q);
        if (second.ec != std::errc()) {
            result.error =
                "the text file " + file.string() + " has no \"I,Q\" pair on line " + std::to_string(line);
            return result;
        }
        waveform.samples.emplace_back(i, q);
        p = second.ptr;
        while (p < end && (*p == '\r' || *p == '\n' || *p == ' ')) {
            ++p;
        }
    }
    if (waveform.samples.empty()) {
        result.error = "the text file " + file.string() + " holds no samples";
        return result;
    }
    result.waveform = std::move(waveform);
    return result;
}

} // namespace

WaveformFile read_waveform_file(const std::filesystem::path& file, double text_sample_rate_hz) {
    std::string bytes;
    if (auto error = read_all(file, bytes)) {
        WaveformFile result;
        result.error = *error;
        return result;
    }
    if (!bytes.empty() && bytes.front() == '{') {
        return read_awg(file, bytes);
    }
    return read_text(file, bytes, text_sample_rate_hz);
}

} // namespace varnika::analysis
