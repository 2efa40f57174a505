#include "analysis/waveform_file.h"

#include "analysis/large_buffer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <fstream>
#include <string_view>

namespace varnika::analysis {

namespace {

constexpr double awg_mid_scale = 8192.0;
constexpr double awg_full_scale = 8191.0;
constexpr std::uint32_t awg_word_mask = 0x3fff; // 14 bits; the bits above are not part of the sample

std::string cannot_be_read(const std::filesystem::path& file) {
    return "the file " + file.string() + " cannot be read";
}

// Reads `size` bytes from `in` to `into`; false when the file gives fewer.
bool read_exactly(std::ifstream& in, char* into, std::size_t size) {
    in.read(into, static_cast<std::streamsize>(size));
    return in.gcount() == static_cast<std::streamsize>(size);
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

// Where an AWG file's samples lie, from its header.
struct AwgLayout {
    double sample_rate_hz = 0.0;
    std::size_t data_start = 0; // the byte after the WAVEDATA line's ';'
    std::size_t data_bytes = 0;
    std::string error; // what is wrong with the header, when something is
};

// The layout of an AWG file of `file_size` bytes from `text`, its first bytes; nothing when `text` ends
// before the header does and the whole file is longer.
std::optional<AwgLayout> awg_layout(std::string_view text, std::size_t file_size) {
    AwgLayout layout;
    const bool whole = text.size() == file_size;
    const std::string_view marker = "{WAVEDATA:";
    const std::size_t data_line = text.find(marker);
    const std::size_t header_end = data_line == std::string_view::npos ? 0 : data_line + marker.size() + 24;
    const std::size_t start =
        data_line == std::string_view::npos ? std::string_view::npos : text.find(';', data_line);
    if (!whole && (data_line == std::string_view::npos || header_end > text.size() ||
                   start == std::string_view::npos)) {
        return std::nullopt;
    }
    if (data_line == std::string_view::npos) {
        layout.error = "has no WAVEDATA line";
        return layout;
    }
    const std::string_view header = text.substr(0, header_end);
    const auto rate = number_of(header_value(header, "SAMPLINGFREQ"));
    if (!rate || !(*rate > 0.0)) {
        layout.error = "has no usable SAMPLINGFREQ line";
        return layout;
    }
    const auto declared = number_of(header_value(header, "WAVEDATA"));
    if (!declared || start == std::string_view::npos || *declared < 0.0) {
        layout.error = "has no usable WAVEDATA line";
        return layout;
    }
    const auto data_bytes = static_cast<std::size_t>(*declared);
    if (data_bytes % 8 != 0 || data_bytes == 0) {
        layout.error =
            "declares " + std::to_string(data_bytes) + " bytes of samples, not a whole number of samples";
        return layout;
    }
    if (file_size - (start + 1) < data_bytes) {
        layout.error = "is shorter than its WAVEDATA line declares";
        return layout;
    }
    layout.sample_rate_hz = *rate;
    layout.data_start = start + 1;
    layout.data_bytes = data_bytes;
    return layout;
}

// `count` samples from their I and Q words.
void decode_awg_words(const unsigned char* data, std::size_t count, Complex* samples) {
    auto word = [data](std::size_t k) {
        const unsigned char* p = data + 4 * k;
        const std::uint32_t w = std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                std::uint32_t{p[3]} << 24;
        return (static_cast<double>(w & awg_word_mask) - awg_mid_scale) / awg_full_scale;
    };
    for (std::size_t n = 0; n < count; ++n) {
        samples[n] = {word(2 * n), word(2 * n + 1)};
    }
}

// The samples of an AWG file whose first bytes `head` the stream has read: those in `head` first, then
// the rest straight from the stream a chunk at a time, so that the file's bytes are never all held.
WaveformFile read_awg(const std::filesystem::path& file, std::ifstream& in, std::string_view head,
                      const AwgLayout& layout) {
    WaveformFile result;
    result.awg = true;
    if (!layout.error.empty()) {
        result.error = "the AWG file " + file.string() + " " + layout.error;
        return result;
    }
    Waveform waveform;
    waveform.sample_rate_hz = layout.sample_rate_hz;
    waveform.samples = large_vector<Complex>(layout.data_bytes / 8);
    constexpr std::size_t chunk_bytes = std::size_t{1} << 20;
    const std::size_t in_head =
        std::min(head.size() - std::min(head.size(), layout.data_start), layout.data_bytes);
    std::vector<unsigned char> chunk(std::max(chunk_bytes, in_head));
    std::copy_n(head.begin() + static_cast<std::ptrdiff_t>(std::min(head.size(), layout.data_start)), in_head,
                chunk.begin());
    std::size_t held = in_head;
    std::size_t unread = layout.data_bytes - in_head;
    std::size_t decoded = 0;
    while (true) {
        const std::size_t wanted = std::min(chunk.size() - held, unread);
        if (!read_exactly(in, reinterpret_cast<char*>(chunk.data() + held), wanted)) {
            result.error = cannot_be_read(file);
            return result;
        }
        held += wanted;
        unread -= wanted;
        const std::size_t whole = held / 8;
        decode_awg_words(chunk.data(), whole, waveform.samples.data() + decoded);
        decoded += whole;
        // A sample split between two chunks is finished with the next.
        std::copy(chunk.begin() + static_cast<std::ptrdiff_t>(whole * 8),
                  chunk.begin() + static_cast<std::ptrdiff_t>(held), chunk.begin());
        held -= whole * 8;
        if (unread == 0) {
            break;
        }
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
    WaveformFile result;
    std::ifstream in(file, std::ios::binary);
    std::error_code error;
    const auto size = static_cast<std::size_t>(std::filesystem::file_size(file, error));
    if (!in || error) {
        result.error = "the file " + file.string() + " cannot be opened";
        return result;
    }
    // An AWG file's header is small: with the whole of it in the first bytes the samples are streamed.
    constexpr std::size_t head_bytes = std::size_t{64} << 10;
    std::string bytes(std::min(size, head_bytes), '\0');
    if (!read_exactly(in, bytes.data(), bytes.size())) {
        result.error = cannot_be_read(file);
        return result;
    }
    const bool awg = !bytes.empty() && bytes.front() == '{';
    if (awg) {
        if (const std::optional<AwgLayout> layout = awg_layout(bytes, size)) {
            return read_awg(file, in, bytes, *layout);
        }
    }
    const std::size_t head = bytes.size();
    bytes.resize(size);
    if (!read_exactly(in, bytes.data() + head, size - head)) {
        result.error = cannot_be_read(file);
        return result;
    }
    if (awg) {
        return read_awg(file, in, bytes, *awg_layout(bytes, size));
    }
    return read_text(file, bytes, text_sample_rate_hz);
}

} // namespace varnika::analysis
