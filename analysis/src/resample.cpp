#include "analysis/resample.h"

#include "analysis/large_buffer.h"
#include "analysis/waveform_file.h"

#include <samplerate.h>

#include <cmath>
#include <memory>
#include <stdexcept>

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

void check_capture(const Waveform& capture) {
    if (capture.samples.empty()) {
        throw std::invalid_argument("a capture without samples cannot be resampled");
    }
    if (auto problem = sample_rate_problem(capture.sample_rate_hz)) {
        throw std::invalid_argument("a capture whose sampling rate is " + *problem + " cannot be resampled");
    }
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
    int error = 0;
    const std::unique_ptr<SRC_STATE, ConverterDeleter> converter(src_new(converter_of(quality), 2, &error));
    if (!converter) {
        throw std::runtime_error(std::string("the resampler cannot start: ") + src_strerror(error));
    }
    const std::size_t count = capture.samples.size();
    const auto wanted = static_cast<std::size_t>(std::llround(static_cast<double>(count) * ratio));
    Waveform out;
    out.sample_rate_hz = rate_hz;
    out.samples = large_vector<Complex>(wanted);
    std::vector<float> in_frames(2 * chunk_frames);
    const auto out_room = static_cast<std::size_t>(std::ceil(static_cast<double>(chunk_frames) * ratio)) + 64;
    std::vector<float> out_frames(2 * out_room);
    std::size_t consumed = 0; // input samples handed over
    std::size_t made = 0;     // output samples kept
    std::size_t held = 0;     // input frames in in_frames not yet taken by the converter
    while (made < wanted) {
        // Top the input up.
        const std::size_t fresh = std::min(chunk_frames - held, count - consumed);
        for (std::size_t n = 0; n < fresh; ++n) {
            const Complex& s = capture.samples[consumed + n];
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
        data.end_of_input = consumed == count ? 1 : 0;
        data.src_ratio = ratio;
        if (const int failed = src_process(converter.get(), &data)) {
            throw std::runtime_error(std::string("the resampler failed: ") + src_strerror(failed));
        }
        const auto used = static_cast<std::size_t>(data.input_frames_used);
        const auto gen = static_cast<std::size_t>(data.output_frames_gen);
        for (std::size_t n = 0; n < gen && made < wanted; ++n, ++made) {
            out.samples[made] = {static_cast<double>(out_frames[2 * n]),
                                 static_cast<double>(out_frames[2 * n + 1])};
        }
        std::copy(in_frames.begin() + static_cast<std::ptrdiff_t>(2 * used),
                  in_frames.begin() + static_cast<std::ptrdiff_t>(2 * held), in_frames.begin());
        held -= used;
        if (gen == 0 && used == 0 && data.end_of_input != 0) {
            break; // the converter has given everything it holds
        }
    }
    out.samples.resize(made);
    return out;
}

} // namespace varnika::analysis
