#include "analysis/waveform_file.h"

#include "analysis/large_buffer.h"
#include "regular_file.h"
#include "sigmf_file.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string_view>

namespace varnika::analysis {

namespace {

constexpr double awg_mid_scale = 8192.0;
constexpr double awg_full_scale = 8191.0;
constexpr std::uint32_t awg_word_mask = 0x3fff; // 14 bits; the bits above are not part of the sample
constexpr std::size_t awg_sample_bytes = 8;

std::string cannot_be_read(const std::filesystem::path& file) {
    return "the file " + file.string() + " cannot be read";
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

// A header number that is all of its text; nothing otherwise ("1e30x", "", a number out of double's range).
std::optional<double> whole_number_of(std::string_view text) {
    double value = 0.0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || stop != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

// A byte count written as decimal digits; nothing for anything else ("1e30", "-8", one too large).
std::optional<std::uint64_t> byte_count_of(std::string_view text) {
    std::uint64_t value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || stop != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::string quoted(std::string_view text) {
    constexpr std::size_t longest = 40;
    std::string shown(text.substr(0, longest));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) {
            c = '?';
        }
    }
    return "\"" + shown + (text.size() > longest ? "...\"" : "\"");
}

// Where an AWG file's samples lie, from its header.
struct AwgLayout {
    double sample_rate_hz = 0.0;
    std::size_t data_start = 0; // the byte after the WAVEDATA line's ';'
    std::size_t data_bytes = 0;
    std::string error; // what is wrong with the header, when something is
};

// The layout of an AWG file of `file_size` bytes from `text`, its first bytes; nothing when `text` ends
// before the header does and the whole file is longer. `rate_hz`, when given, stands for SAMPLINGFREQ.
std::optional<AwgLayout> awg_layout(std::string_view text, std::size_t file_size,
                                    std::optional<double> rate_hz) {
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
    const std::string_view header = text.substr(0, std::min(header_end, text.size()));
    if (!rate_hz) {
        const auto line = header_value(header, "SAMPLINGFREQ");
        if (!line) {
            layout.error = "has no SAMPLINGFREQ line";
            return layout;
        }
        rate_hz = whole_number_of(*line);
        if (!rate_hz) {
            layout.error = "has SAMPLINGFREQ " + quoted(*line) + ", not a number";
            return layout;
        }
        if (auto problem = sample_rate_problem(*rate_hz)) {
            layout.error = "has SAMPLINGFREQ " + quoted(*line) + ": " + *problem;
            return layout;
        }
    }
    if (start == std::string_view::npos) {
        layout.error = "has no ';' after its WAVEDATA byte count";
        return layout;
    }
    const std::string_view count_text =
        text.substr(data_line + marker.size(), start - data_line - marker.size());
    const auto declared = byte_count_of(count_text);
    if (!declared) {
        layout.error = "has WAVEDATA " + quoted(count_text) + ", not a byte count";
        return layout;
    }
    if (*declared % awg_sample_bytes != 0 || *declared == 0) {
        layout.error =
            "declares " + std::to_string(*declared) + " bytes of samples, not a whole number of samples";
        return layout;
    }
    if (file_size - (start + 1) < *declared) {
        layout.error = "is shorter than its WAVEDATA line declares";
        return layout;
    }
    if (*declared / awg_sample_bytes > most_file_samples) {
        layout.error = "holds " + std::to_string(*declared / awg_sample_bytes) + " samples, more than the " +
                       std::to_string(most_file_samples) + " that can be read";
        return layout;
    }
    layout.sample_rate_hz = *rate_hz;
    layout.data_start = start + 1;
    layout.data_bytes = static_cast<std::size_t>(*declared);
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

// The samples of an AWG file whose first bytes `head` have been read: those in `head` first, then the rest
// straight from the file a chunk at a time, so that the file's bytes are never all held.
WaveformFile read_awg(const std::filesystem::path& file, RegularFile& in, std::string_view head,
                      const AwgLayout& layout) {
    WaveformFile result;
    result.awg = true;
    result.format = FileFormat::Awg;
    if (!layout.error.empty()) {
        result.error = "the AWG file " + file.string() + " " + layout.error;
        return result;
    }
    Waveform waveform;
    waveform.sample_rate_hz = layout.sample_rate_hz;
    waveform.samples = large_vector<Complex>(layout.data_bytes / awg_sample_bytes);
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
        if (!in.read_exactly(chunk.data() + held, wanted)) {
            result.error = cannot_be_read(file);
            return result;
        }
        held += wanted;
        unread -= wanted;
        const std::size_t whole = held / awg_sample_bytes;
        decode_awg_words(chunk.data(), whole, waveform.samples.data() + decoded);
        decoded += whole;
        // A sample split between two chunks is finished with the next.
        std::copy(chunk.begin() + static_cast<std::ptrdiff_t>(whole * awg_sample_bytes),
                  chunk.begin() + static_cast<std::ptrdiff_t>(held), chunk.begin());
        held -= whole * awg_sample_bytes;
        if (unread == 0) {
            break;
        }
    }
    result.waveform = std::move(waveform);
    return result;
}

WaveformFile read_text(const std::filesystem::path& file, const std::string& bytes, double rate_hz) {
    WaveformFile result;
    if (auto problem = sample_rate_problem(rate_hz)) {
        result.error = "the text file " + file.string() +
                       " carries no sampling rate of its own; the rate given "
                       "for it is " +
                       *problem;
        return result;
    }
    Waveform waveform;
    waveform.sample_rate_hz = rate_hz;
    const char* p = bytes.data();
    const char* end = p + bytes.size();
    std::size_t line = 0;
    auto no_pair = [&] {
        result.error = "the text file " + file.string() + " has no \"I,Q\" pair of finite numbers on line " +
                       std::to_string(line);
        return result;
    };
    while (p < end) {
        ++line;
        double i = 0.0;
        double q = 0.0;
        auto first = std::from_chars(p, end, i);
        if (first.ec != std::errc() || first.ptr == end || *first.ptr != ',') {
            return no_pair();
        }
        auto second = std::from_chars(first.ptr + 1, end, q);
        if (second.ec != std::errc() || !std::isfinite(i) || !std::isfinite(q)) {
            return no_pair();
        }
        if (waveform.samples.size() == most_file_samples) {
            result.error = "the text file " + file.string() + " holds more than the " +
                           std::to_string(most_file_samples) + " samples that can be read";
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

std::optional<std::string> sample_rate_problem(double hz) {
    if (!std::isfinite(hz)) {
        return std::string("not a finite number");
    }
    if (hz < lowest_sample_rate_hz || hz > highest_sample_rate_hz) {
        return std::string("outside 1 kHz to 100 GHz");
    }
    return std::nullopt;
}

bool is_sigmf_name(const std::filesystem::path& file) {
    const std::string extension = file.extension().string();
    return extension == sigmf_meta_suffix || extension == sigmf_data_suffix;
}

WaveformFile read_waveform_file(const std::filesystem::path& file, double text_sample_rate_hz) {
    ReadOptions options;
    options.text_sample_rate_hz = text_sample_rate_hz;
    return read_waveform_file(file, options);
}

WaveformFile read_waveform_file(const std::filesystem::path& file, const ReadOptions& options) {
    WaveformFile result;
    if (options.sample_rate_hz) {
        if (auto problem = sample_rate_problem(*options.sample_rate_hz)) {
            result.error = "the sampling rate given for " + file.string() + " is " + *problem;
            return result;
        }
    }
    if (is_sigmf_name(file)) {
        return read_sigmf(file, options);
    }
    RegularFile in(file);
    if (!in.is_open()) {
        result.error = in.error();
        return result;
    }
    const std::size_t size = in.size();
    // An AWG file's header is small: with the whole of it in the first bytes the samples are streamed.
    constexpr std::size_t head_bytes = std::size_t{64} << 10;
    std::string bytes(std::min(size, head_bytes), '\0');
    if (!in.read_exactly(bytes.data(), bytes.size())) {
        result.error = cannot_be_read(file);
        return result;
    }
    const bool awg = !bytes.empty() && bytes.front() == '{';
    if (awg) {
        if (const std::optional<AwgLayout> layout = awg_layout(bytes, size, options.sample_rate_hz)) {
            return read_awg(file, in, bytes, *layout);
        }
    }
    // A text file of the most samples has lines of at most about 48 characters.
    constexpr std::size_t longest_text = most_file_samples * 48;
    if (size > longest_text) {
        result.error =
            "the file " + file.string() + " is too large to be read (" + std::to_string(size) + " bytes)";
        return result;
    }
    const std::size_t head = bytes.size();
    bytes.resize(size);
    if (!in.read_exactly(bytes.data() + head, size - head)) {
        result.error = cannot_be_read(file);
        return result;
    }
    if (awg) {
        return read_awg(file, in, bytes, *awg_layout(bytes, size, options.sample_rate_hz));
    }
    return read_text(file, bytes, options.sample_rate_hz.value_or(options.text_sample_rate_hz));
}

} // namespace varnika::analysis
