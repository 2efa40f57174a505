#include "analysis/signal_check.h"

#include "analysis/large_buffer.h"
#include "code_domain.h"

#include <future>
#include <stdexcept>

namespace varnika::analysis {

namespace {

// The whole analysis; with `owned_ideal` (the reference's waveform, given up by the caller) the ideal
// line spectrum is made in the waveform's own storage.
Result analyse_frame(const Waveform& waveform, const Reference* reference, std::vector<Complex>* owned_ideal,
                     double carrier_hz, bool real_signal, const Progress& progress) {
    auto report = [&progress](int percent) {
        if (progress) {
            progress(percent);
        }
    };
    Result result;
    result.sample_rate_hz = waveform.sample_rate_hz;
    result.sample_count = waveform.samples.size();
    report(0);
    const std::span<const Complex> ideal = owned_ideal != nullptr ? std::span<const Complex>(*owned_ideal)
                                           : reference != nullptr
                                               ? std::span<const Complex>(reference->waveform)
                                               : std::span<const Complex>();
    const bool comparable = reference != nullptr && ideal.size() == waveform.samples.size();
    if (reference != nullptr && !comparable) {
        result.reference_problem = "the file holds " + std::to_string(waveform.samples.size()) +
                                   " samples, the settings make " + std::to_string(ideal.size());
    }
    const bool code_domain = comparable && !reference->chips.empty();
    // The file's line spectrum, and beside it the comparison with the ideal waveform and the ideal's line
    // spectrum; the CCDF meanwhile on this thread.
    std::vector<Complex> bins;
    auto spectrum = std::async(std::launch::async, [&] {
        bins = large_vector<Complex>(waveform.samples.size());
        forward_dft(waveform.samples, bins);
        return measure_spectrum(bins, waveform.sample_rate_hz, carrier_hz, real_signal);
    });
    std::vector<Complex> ideal_bins;
    std::future<void> comparison;
    if (comparable) {
        comparison = std::async(std::launch::async, [&] {
            result.quality = measure_quality(waveform.samples, ideal);
            if (!code_domain) {
                return;
            }
            ideal_bins = owned_ideal != nullptr
                             ? baseband_bins(std::move(*owned_ideal), *reference, waveform.sample_rate_hz)
                             : baseband_bins(ideal, {}, *reference, waveform.sample_rate_hz);
        });
    }
    result.ccdf = measure_ccdf(waveform.samples);
    report(30);
    result.spectrum = spectrum.get();
    report(60);
    if (comparison.valid()) {
        comparison.get();
    }
    if (code_domain) {
        // Without an offset or exchanged I and Q the file's own line spectrum is already at baseband.
        const bool at_baseband =
            reference->offset_mode != 1 && reference->offset_mode != 2 && !reference->iq_inverse;
        std::vector<Complex> file_bins;
        if (!at_baseband) {
            file_bins = baseband_bins(waveform.samples, bins, *reference, waveform.sample_rate_hz);
        }
        result.code_domain = code_domain_from_bins(at_baseband ? bins : file_bins, ideal_bins, *reference);
    }
    report(100);
    return result;
}

} // namespace

Result analyse(const Waveform& waveform, const Reference* reference, double carrier_hz, bool real_signal,
               const Progress& progress) {
    return analyse_frame(waveform, reference, nullptr, carrier_hz, real_signal, progress);
}

Result analyse(const Waveform& waveform, Reference&& reference, double carrier_hz, bool real_signal,
               const Progress& progress) {
    std::vector<Complex> ideal = std::move(reference.waveform);
    return analyse_frame(waveform, &reference, &ideal, carrier_hz, real_signal, progress);
}

} // namespace varnika::analysis
