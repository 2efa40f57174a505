#include "analysis/signal_check.h"

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
    // The line spectrum on the second core while the first sorts out the CCDF.
    auto spectrum = std::async(std::launch::async, [&] {
        std::vector<Complex> bins(waveform.samples.begin(), waveform.samples.end());
        forward_dft(bins);
        return measure_spectrum(bins, waveform.sample_rate_hz, carrier_hz, real_signal);
    });
    result.ccdf = measure_ccdf(waveform.samples);
    report(20);
    result.spectrum = spectrum.get();
    report(45);

    if (reference != nullptr) {
        if (reference->waveform.size() != waveform.samples.size()) {
            result.reference_problem = "the file holds " + std::to_string(waveform.samples.size()) +
                                       " samples, the settings make " + std::to_string(reference->waveform.size());
        } else {
            result.quality = measure_quality(waveform.samples, reference->waveform);
            report(55);
            if (!reference->chips.empty()) {
                result.code_domain = measure_code_domain(waveform.samples, *reference, waveform.sample_rate_hz);
            }
        }
    }
    report(100);
    return result;
}

} // namespace varnika::analysis
