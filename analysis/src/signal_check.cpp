#include "analysis/signal_check.h"

#include "analysis/large_buffer.h"
#include "code_domain.h"

#include <future>
#include <stdexcept>

namespace varnika::analysis {

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
    const bool comparable = reference != nullptr && reference->waveform.size() == waveform.samples.size();
    if (reference != nullptr && !comparable) {
        result.reference_problem = "the file holds " + std::to_string(waveform.samples.size()) +
                                   " samples, the settings make " +
                                   std::to_string(reference->waveform.size());
    }
    const bool code_domain = comparable && !reference->chips.empty();
    // The two large transforms, the file's and the ideal waveform's, run beside the CCDF.
    std::vector<Complex> bins;
    auto spectrum = std::async(std::launch::async, [&] {
        bins = large_vector<Complex>(waveform.samples.size());
        forward_dft(waveform.samples, bins);
        return measure_spectrum(bins, waveform.sample_rate_hz, carrier_hz, real_signal);
    });
    std::future<std::vector<Complex>> ideal_bins;
    if (code_domain) {
        ideal_bins = std::async(std::launch::async, [&] {
            return baseband_bins(reference->waveform, {}, *reference, waveform.sample_rate_hz);
        });
    }
    result.ccdf = measure_ccdf(waveform.samples);
    if (comparable) {
        result.quality = measure_quality(waveform.samples, reference->waveform);
    }
    report(30);
    result.spectrum = spectrum.get();
    report(60);
    if (code_domain) {
        // Without an offset or exchanged I and Q the file's own line spectrum is already at baseband.
        const bool at_baseband =
            reference->offset_mode != 1 && reference->offset_mode != 2 && !reference->iq_inverse;
        std::vector<Complex> file_bins;
        if (!at_baseband) {
            file_bins = baseband_bins(waveform.samples, bins, *reference, waveform.sample_rate_hz);
        }
        result.code_domain =
            code_domain_from_bins(at_baseband ? bins : file_bins, ideal_bins.get(), *reference);
    }
    report(100);
    return result;
}

} // namespace varnika::analysis
