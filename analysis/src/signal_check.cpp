#include "analysis/signal_check.h"

#include "analysis/large_buffer.h"

#include <cmath>
#include <future>
#include <stdexcept>

namespace varnika::analysis {

namespace {

std::string megahertz(double hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%.6g MHz", hz / 1e6);
    return text;
}

} // namespace

Result analyse(const Waveform& waveform, const Reference* reference, double carrier_hz, bool real_signal,
               const Progress& progress) {
    auto report = [&progress](int percent) {
        if (progress) {
            progress(percent);
        }
    };
    Result result;
    result.sample_rate_hz = waveform.sample_rate_hz;
    result.sample_count = waveform.samples.size();
    report(0);
    const double chips_per_sample = waveform.sample_rate_hz / chip_rate_hz;
    const auto ratio = static_cast<long>(std::lround(chips_per_sample));
    const bool whole =
        ratio >= 1 && std::abs(chips_per_sample - static_cast<double>(ratio)) < 1e-9 * chips_per_sample;
    const std::size_t frame = whole ? static_cast<std::size_t>(ratio) * frame_chips : 0;
    const bool one_frame = whole && waveform.samples.size() >= frame;
    if (!whole) {
        result.reference_problem = "the sampling rate " + megahertz(waveform.sample_rate_hz) +
                                   " is not a whole multiple of the chip rate";
    } else if (!one_frame) {
        result.reference_problem = "the file holds " + std::to_string(waveform.samples.size()) +
                                   " samples, less than one frame (" + std::to_string(frame) + ")";
    }
    // The line spectrum of one periodic frame when the file is one frame; otherwise an averaged one.
    const bool line = one_frame && waveform.samples.size() == frame;
    std::vector<Complex> bins;
    auto transform = std::async(std::launch::async, [&] {
        if (one_frame) {
            bins = large_vector<Complex>(frame);
            forward_dft(std::span<const Complex>(waveform.samples).first(frame), bins);
        }
    });
    std::future<std::vector<double>> welch;
    if (!line) {
        welch = std::async(std::launch::async,
                           [&] { return welch_power(waveform.samples, waveform.sample_rate_hz); });
    }
    result.ccdf = measure_ccdf(waveform.samples);
    report(30);
    transform.get();
    report(60);
    double carrier = carrier_hz;
    if (reference != nullptr && one_frame) {
        Reception reception = receive(std::span<const Complex>(waveform.samples).first(frame), bins,
                                      static_cast<int>(ratio), *reference, carrier_hz, real_signal);
        if (reception.problem.empty()) {
            result.acquisition = reception.acquisition;
            result.quality = reception.quality;
            result.code_domain = std::move(reception.code_domain);
            carrier += reception.acquisition.frequency_error_hz;
        } else {
            result.reference_problem = reception.problem;
        }
    }
    report(85);
    if (line) {
        result.spectrum = measure_spectrum(bins, waveform.sample_rate_hz, carrier, real_signal);
    } else {
        result.spectrum = measure_spectrum_power(welch.get(), waveform.sample_rate_hz, carrier, real_signal);
        result.spectrum.welch = true;
    }
    report(100);
    return result;
}

} // namespace varnika::analysis
