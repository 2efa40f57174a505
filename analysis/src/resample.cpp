#include "analysis/resample.h"

#include "analysis/large_buffer.h"
#include "analysis/waveform_file.h"

#include <samplerate.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <numeric>
#include <span>
#include <stdexcept>
#include <thread>
#include <vector>

namespace varnika::analysis {

namespace {

// libsamplerate converts between 1/256 and 256 times the input rate.
constexpr double largest_ratio = 256.0;
// Input frames handed to the converter at a time (I and Q interleaved as floats).
constexpr std::size_t chunk_frames = std::size_t{1} << 16;

struct ConverterDeleter {
    void operator()(SRC_STATE* state) const { src_delete(state); }
};

int converter_of(ResampleQuality quality) {
    switch (quality) {
    case ResampleQuality::medium:
        return SRC_SINC_MEDIUM_QUALITY;
    case ResampleQuality::fastest:
        return SRC_SINC_FASTEST;
    case ResampleQuality::best:
        break;
    }
    return SRC_SINC_BEST_QUALITY;
}

// A capture is converted in parts on threads of their own once each part has at least this many output
// samples; below it one converter does it all.
constexpr std::size_t least_part_samples = std::size_t{1} << 16;
constexpr std::size_t most_parts = 4;
// Input samples a part's converter is given beyond its outputs on either side: more than the longest
// filter's half length (143 input samples for the best converter), and as many times more as the rate is
// lowered, since the converter's filter then widens in the same proportion.
constexpr double part_margin_samples = 512.0;

void check_capture(const Waveform& capture) {
    if (capture.samples.empty()) {
        throw std::invalid_argument("a capture without samples cannot be resampled");
    }
    if (auto problem = sample_rate_problem(capture.sample_rate_hz)) {
        throw std::invalid_argument("a capture whose sampling rate is " + *problem + " cannot be resampled");
    }
}

// One converter over input samples `in_begin` .. `in_end` of `samples`: the first `skip` outputs are
// dropped (the converter's start on zeros), the next up to `out_count` are written to `out`. The converter
// is told the input ends when `in_end` is the capture's end. Gives the number written.
std::size_t convert(std::span<const Complex> samples, std::size_t in_begin, std::size_t in_end, double ratio,
                    int converter_type, std::size_t skip, Complex* out, std::size_t out_count) {
    int error = 0;
    const std::unique_ptr<SRC_STATE, ConverterDeleter> converter(src_new(converter_type, 2, &error));
    if (!converter) {
        throw std::runtime_error(std::string("the resampler cannot start: ") + src_strerror(error));
    }
    std::vector<float> in_frames(2 * chunk_frames);
    const auto out_room = static_cast<std::size_t>(std::ceil(static_cast<double>(chunk_frames) * ratio)) + 64;
    std::vector<float> out_frames(2 * out_room);
    std::size_t consumed = in_begin; // input samples handed over
    std::size_t made = 0;            // output samples kept
    std::size_t held = 0;            // input frames in in_frames not yet taken by the converter
    while (made < out_count) {
        // Top the input up.
        const std::size_t fresh = std::min(chunk_frames - held, in_end - consumed);
        for (std::size_t n = 0; n < fresh; ++n) {
            const Complex& s = samples[consumed + n];
            in_frames[2 * (held + n)] = static_cast<float>(s.real());
            in_frames[2 * (held + n) + 1] = static_cast<float>(s.imag());
        }
        consumed += fresh;
        held += fresh;
        SRC_DATA data{};
        data.data_in = in_frames.data();
        data.data_out = out_frames.data();
        data.input_frames = static_cast<long>(held);
        data.output_frames = static_cast<long>(out_room);
        data.end_of_input = consumed == samples.size() ? 1 : 0;
        data.src_ratio = ratio;
        if (const int failed = src_process(converter.get(), &data)) {
            throw std::runtime_error(std::string("the resampler failed: ") + src_strerror(failed));
        }
        const auto used = static_cast<std::size_t>(data.input_frames_used);
        const auto gen = static_cast<std::size_t>(data.output_frames_gen);
        std::size_t n = std::min(skip, gen);
        skip -= n;
        for (; n < gen && made < out_count; ++n, ++made) {
            out[made] = {static_cast<double>(out_frames[2 * n]), static_cast<double>(out_frames[2 * n + 1])};
        }
        std::copy(in_frames.begin() + static_cast<std::ptrdiff_t>(2 * used),
                  in_frames.begin() + static_cast<std::ptrdiff_t>(2 * held), in_frames.begin());
        held -= used;
        if (gen == 0 && used == 0 && consumed == in_end) {
            break; // the converter has given everything its input allows
        }
    }
    return made;
}

// One converter's share of the output when the capture is converted in parts.
struct Part {
    std::size_t in_begin = 0;  // the input it starts on
    std::size_t in_end = 0;    // and the end of the input it is given
    std::size_t skip = 0;      // outputs it makes before its share
    std::size_t out_begin = 0; // its share of the output
    std::size_t out_end = 0;
};

// The parts of a conversion of `count` samples at `in_rate_hz` into `wanted` samples at `out_rate_hz`, one
// per processor; nothing when one converter is to do it all. A converter started at input sample s puts
// its outputs where the whole capture's converter puts output s x ratio, so a part may only start where
// that is a whole number: on a multiple of in / gcd(in, out) for rates of whole hertz. The sinc filter
// sees the same input samples there, so a part's outputs are the whole converter's up to the rounding of
// the converter's running position (far below the float samples' own precision).
std::vector<Part> parts_of(std::size_t count, std::size_t wanted, double in_rate_hz, double out_rate_hz) {
    const std::size_t processors = std::max(1U, std::thread::hardware_concurrency());
    const std::size_t parts = std::min({most_parts, processors, wanted / least_part_samples});
    constexpr double whole_limit = 1e15;
    if (parts < 2 || in_rate_hz != std::floor(in_rate_hz) || out_rate_hz != std::floor(out_rate_hz) ||
        in_rate_hz > whole_limit || out_rate_hz > whole_limit) {
        return {};
    }
    const auto in = static_cast<std::uint64_t>(in_rate_hz);
    const auto out = static_cast<std::uint64_t>(out_rate_hz);
    const std::uint64_t common = std::gcd(in, out);
    const std::uint64_t in_step = in / common;   // input samples between aligned starts
    const std::uint64_t out_step = out / common; // and the outputs between them
    const double ratio = out_rate_hz / in_rate_hz;
    const double margin = std::ceil(part_margin_samples / std::min(ratio, 1.0));
    // A part may start up to one step early; the outputs it then drops must stay few beside its share.
    if (out_step > wanted / parts / 4) {
        return {};
    }
    std::vector<Part> result(parts);
    for (std::size_t k = 0; k < parts; ++k) {
        Part& part = result[k];
        part.out_begin = wanted * k / parts;
        part.out_end = wanted * (k + 1) / parts;
        if (k > 0) {
            const double start = static_cast<double>(part.out_begin) / ratio - margin;
            if (start < static_cast<double>(in_step)) {
                return {};
            }
            const std::uint64_t steps = static_cast<std::uint64_t>(start) / in_step;
            part.in_begin = static_cast<std::size_t>(steps * in_step);
            part.skip = part.out_begin - static_cast<std::size_t>(steps * out_step);
        }
        const double end = std::ceil(static_cast<double>(part.out_end) / ratio + margin);
        part.in_end = k + 1 == parts ? count : std::min(count, static_cast<std::size_t>(end));
    }
    return result;
}

} // namespace

bool is_chip_multiple(double rate_hz) {
    const double per_chip = rate_hz / chip_rate_hz;
    return std::isfinite(per_chip) && per_chip >= 0.5 &&
           std::abs(per_chip - std::round(per_chip)) <= 1e-7 * per_chip;
}

int chip_multiple_at_or_above(double rate_hz) {
    if (!std::isfinite(rate_hz) || !(rate_hz > 0.0)) {
        return 1;
    }
    const double per_chip = rate_hz / chip_rate_hz;
    if (is_chip_multiple(rate_hz)) {
        return static_cast<int>(std::round(per_chip));
    }
    // Rates are at most 100 GHz, about 81400 samples per chip: the conversion stays in range.
    return std::max(1,
                    static_cast<int>(std::ceil(std::min(per_chip, highest_sample_rate_hz / chip_rate_hz))));
}

Waveform resample_to_chip_multiple(const Waveform& capture, ResampleQuality quality) {
    check_capture(capture);
    if (is_chip_multiple(capture.sample_rate_hz)) {
        return capture;
    }
    return resample(capture, chip_multiple_at_or_above(capture.sample_rate_hz) * chip_rate_hz, quality);
}

Waveform resample(const Waveform& capture, double rate_hz, ResampleQuality quality) {
    check_capture(capture);
    const double ratio = rate_hz / capture.sample_rate_hz;
    if (!std::isfinite(ratio) || ratio > largest_ratio || ratio < 1.0 / largest_ratio) {
        throw std::invalid_argument(
            "a capture can be resampled to at most 256 times above or below its rate");
    }
    const std::size_t count = capture.samples.size();
    const auto wanted = static_cast<std::size_t>(std::llround(static_cast<double>(count) * ratio));
    const int converter_type = converter_of(quality);
    Waveform out;
    out.sample_rate_hz = rate_hz;
    out.samples = large_vector<Complex>(wanted);
    const std::vector<Part> parts = parts_of(count, wanted, capture.sample_rate_hz, rate_hz);
    if (!parts.empty()) {
        auto run = [&](const Part& part) {
            return convert(capture.samples, part.in_begin, part.in_end, ratio, converter_type, part.skip,
                           out.samples.data() + part.out_begin, part.out_end - part.out_begin);
        };
        std::vector<std::future<std::size_t>> others;
        for (std::size_t k = 1; k < parts.size(); ++k) {
            others.push_back(std::async(std::launch::async, run, std::cref(parts[k])));
        }
        std::vector<std::size_t> made{run(parts.front())};
        for (std::future<std::size_t>& other : others) {
            made.push_back(other.get());
        }
        // Every part but the last fills its share; the last may end short, as one converter would.
        bool filled = true;
        for (std::size_t k = 0; k + 1 < parts.size(); ++k) {
            filled = filled && made[k] == parts[k].out_end - parts[k].out_begin;
        }
        if (filled) {
            out.samples.resize(parts.back().out_begin + made.back());
            return out;
        }
    }
    out.samples.resize(
        convert(capture.samples, 0, count, ratio, converter_type, 0, out.samples.data(), wanted));
    return out;
}

} // namespace varnika::analysis
