#include "sigmf_file.h"

#include "analysis/large_buffer.h"
#include "regular_file.h"

#include <nlohmann/json.hpp>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

namespace varnika::analysis {

namespace {

// A meta file is a few kilobytes; anything far larger is not one.
constexpr std::size_t largest_meta_bytes = std::size_t{16} << 20;

// The sample formats read: complex samples, I then Q, little-endian.
enum class SampleType { cf32, ci16, cf64 };

struct DataType {
    const char* name;
    SampleType type;
    std::size_t bytes; // per complex sample
};

constexpr std::array<DataType, 3> data_types{{
    {"cf32_le", SampleType::cf32, 8},
    {"ci16_le", SampleType::ci16, 4},
    {"cf64_le", SampleType::cf64, 16},
}};

template <typename Word> Word little_endian(const unsigned char* p) {
    Word word = 0;
    for (std::size_t b = 0; b < sizeof(Word); ++b) {
        word |= static_cast<Word>(static_cast<Word>(p[b]) << (8 * b));
    }
    return word;
}

template <SampleType type> double component(const unsigned char* p) {
    if constexpr (type == SampleType::cf32) {
        return static_cast<double>(std::bit_cast<float>(little_endian<std::uint32_t>(p)));
    } else if constexpr (type == SampleType::ci16) {
        // Full scale of a 16-bit integer is 1.0.
        return std::bit_cast<std::int16_t>(little_endian<std::uint16_t>(p)) / 32768.0;
    } else {
        return std::bit_cast<double>(little_endian<std::uint64_t>(p));
    }
}

// The `count` samples of `bytes` into `out`, the format chosen once for the whole block; the position of
// the first sample that is not a pair of finite numbers, or `count`.
template <SampleType type>
std::size_t convert_samples(const unsigned char* bytes, std::size_t count, Complex* out) {
    constexpr std::size_t half = type == SampleType::ci16 ? 2 : type == SampleType::cf32 ? 4 : 8;
    for (std::size_t n = 0; n < count; ++n) {
        const unsigned char* p = bytes + 2 * half * n;
        const double i = component<type>(p);
        const double q = component<type>(p + half);
        if (!std::isfinite(i) || !std::isfinite(q)) {
            return n;
        }
        out[n] = {i, q};
    }
    return count;
}

std::size_t convert_samples(SampleType type, const unsigned char* bytes, std::size_t count, Complex* out) {
    switch (type) {
    case SampleType::cf32:
        return convert_samples<SampleType::cf32>(bytes, count, out);
    case SampleType::ci16:
        return convert_samples<SampleType::ci16>(bytes, count, out);
    case SampleType::cf64:
        break;
    }
    return convert_samples<SampleType::cf64>(bytes, count, out);
}

struct Meta {
    const DataType* data_type = nullptr;
    std::optional<double> sample_rate_hz;
    std::size_t header_bytes = 0; // bytes before the first sample in the data file
    std::string error;
};

Meta read_meta(const std::filesystem::path& file) {
    Meta meta;
    auto refuse = [&meta, &file](const std::string& why) {
        meta.error = "the SigMF meta file " + file.string() + " " + why;
        return meta;
    };
    RegularFile in(file);
    if (!in.is_open()) {
        meta.error = in.error();
        return meta;
    }
    if (in.size() > largest_meta_bytes) {
        return refuse("is too large to be a meta file (" + std::to_string(in.size()) + " bytes)");
    }
    std::string text(in.size(), '\0');
    if (!in.read_exactly(text.data(), text.size())) {
        return refuse("cannot be read");
    }
    const nlohmann::json json = nlohmann::json::parse(text, nullptr, false);
    if (json.is_discarded() || !json.is_object()) {
        return refuse("is not a JSON object");
    }
    const auto global = json.find("global");
    if (global == json.end() || !global->is_object()) {
        return refuse("has no \"global\" object");
    }
    const auto datatype = global->find("core:datatype");
    if (datatype == global->end() || !datatype->is_string()) {
        return refuse("has no core:datatype");
    }
    const std::string name = datatype->get<std::string>();
    for (const DataType& known : data_types) {
        if (name == known.name) {
            meta.data_type = &known;
        }
    }
    if (!meta.data_type) {
        return refuse("stores samples as \"" + name.substr(0, 40) +
                      "\"; only cf32_le, ci16_le and cf64_le recordings can be read");
    }
    if (const auto channels = global->find("core:num_channels"); channels != global->end()) {
        if (!channels->is_number_unsigned() || channels->get<std::uint64_t>() != 1) {
            return refuse("holds more than one channel; only a single-channel recording can be read");
        }
    }
    if (const auto rate = global->find("core:sample_rate"); rate != global->end()) {
        if (!rate->is_number()) {
            return refuse("has a core:sample_rate that is not a number");
        }
        meta.sample_rate_hz = rate->get<double>();
    }
    // The first capture may say that the data file starts with bytes that are not samples.
    if (const auto captures = json.find("captures"); captures != json.end() && captures->is_array()) {
        for (std::size_t k = 0; k < captures->size(); ++k) {
            const nlohmann::json& capture = (*captures)[k];
            const auto header = capture.is_object() ? capture.find("core:header_bytes") : capture.end();
            if (!capture.is_object() || header == capture.end()) {
                continue;
            }
            if (!header->is_number_unsigned() || (k > 0 && header->get<std::uint64_t>() != 0)) {
                return refuse("has core:header_bytes this reader cannot follow (only in the first capture)");
            }
            const auto bytes = header->get<std::uint64_t>();
            if (bytes > std::numeric_limits<std::uint32_t>::max()) {
                return refuse("has a core:header_bytes beyond any data file");
            }
            meta.header_bytes = static_cast<std::size_t>(bytes);
        }
    }
    return meta;
}

} // namespace

WaveformFile read_sigmf(const std::filesystem::path& file, const ReadOptions& options) {
    WaveformFile result;
    result.format = FileFormat::Sigmf;
    std::filesystem::path meta_file = file;
    meta_file.replace_extension(sigmf_meta_suffix);
    std::filesystem::path data_file = file;
    data_file.replace_extension(sigmf_data_suffix);

    const Meta meta = read_meta(meta_file);
    if (!meta.error.empty()) {
        result.error = meta.error;
        return result;
    }
    const double rate_hz =
        options.sample_rate_hz ? *options.sample_rate_hz : meta.sample_rate_hz.value_or(0.0);
    if (!options.sample_rate_hz) {
        if (!meta.sample_rate_hz) {
            result.error = "the SigMF meta file " + meta_file.string() +
                           " has no core:sample_rate; give the recording's sampling rate";
            return result;
        }
        if (auto problem = sample_rate_problem(rate_hz)) {
            result.error =
                "the SigMF meta file " + meta_file.string() + " has a core:sample_rate " + *problem;
            return result;
        }
    }

    RegularFile in(data_file);
    if (!in.is_open()) {
        result.error = in.error();
        return result;
    }
    const std::size_t sample_bytes = meta.data_type->bytes;
    const std::string data_name = "the SigMF data file " + data_file.string();
    if (in.size() < meta.header_bytes) {
        result.error = data_name + " is shorter than the meta's core:header_bytes";
        return result;
    }
    const std::size_t bytes = in.size() - meta.header_bytes;
    if (bytes % sample_bytes != 0) {
        result.error = data_name + " holds " + std::to_string(bytes) + " bytes, not a whole number of " +
                       meta.data_type->name + " samples";
        return result;
    }
    const std::size_t count = bytes / sample_bytes;
    if (count == 0) {
        result.error = data_name + " holds no samples";
        return result;
    }
    if (count > most_file_samples) {
        result.error = data_name + " holds " + std::to_string(count) + " samples, more than the " +
                       std::to_string(most_file_samples) + " that can be read";
        return result;
    }
    std::vector<unsigned char> skipped(std::min<std::size_t>(meta.header_bytes, std::size_t{1} << 20));
    for (std::size_t left = meta.header_bytes; left > 0;) {
        const std::size_t step = std::min(left, skipped.size());
        if (!in.read_exactly(skipped.data(), step)) {
            result.error = data_name + " cannot be read";
            return result;
        }
        left -= step;
    }

    Waveform waveform;
    waveform.sample_rate_hz = rate_hz;
    waveform.samples = large_vector<Complex>(count);
    const std::size_t chunk_samples = (std::size_t{1} << 20) / sample_bytes;
    std::vector<unsigned char> chunk(chunk_samples * sample_bytes);
    for (std::size_t done = 0; done < count;) {
        const std::size_t step = std::min(chunk_samples, count - done);
        if (!in.read_exactly(chunk.data(), step * sample_bytes)) {
            result.error = data_name + " cannot be read";
            return result;
        }
        const std::size_t finite =
            convert_samples(meta.data_type->type, chunk.data(), step, waveform.samples.data() + done);
        if (finite < step) {
            result.error = data_name + " has a sample that is not a finite number (sample " +
                           std::to_string(done + finite) + ")";
            return result;
        }
        done += step;
    }
    result.waveform = std::move(waveform);
    return result;
}

} // namespace varnika::analysis
