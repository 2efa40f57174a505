#include "analysis/signal_check.h"

#include <algorithm>
#include <cmath>

namespace varnika::analysis {

// rho: the normalised correlation power between the samples and the ideal waveform at the same points,
// which leaves out a common gain and phase. The error vector is what remains of the samples
// after the best-fitting multiple of the ideal is taken away, relative to that multiple: EVM^2 = 1/rho - 1.
QualityResult measure_quality(std::span<const Complex> samples, std::span<const Complex> ideal) {
    QualityResult result;
    const std::size_t n = std::min(samples.size(), ideal.size());
    Complex cross{};
    double sample_power = 0.0;
    double ideal_power = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        cross += samples[k] * std::conj(ideal[k]);
        sample_power += std::norm(samples[k]);
        ideal_power += std::norm(ideal[k]);
    }
    if (!(sample_power > 0.0) || !(ideal_power > 0.0)) {
        return result;
    }
    result.rho = std::clamp(std::norm(cross) / (sample_power * ideal_power), 0.0, 1.0);
    // The origin offset: the mean of what is left after the best-fitting multiple of the ideal.
    const Complex scale = cross / ideal_power;
    Complex error_sum{};
    for (std::size_t k = 0; k < n; ++k) {
        error_sum += samples[k] - scale * ideal[k];
    }
    const double fitted_power = std::norm(scale) * ideal_power / static_cast<double>(n);
    result.origin_offset_db = power_db(std::norm(error_sum / static_cast<double>(n)) / fitted_power);
    result.evm_percent = result.rho > 0.0 ? 100.0 * std::sqrt(std::max(0.0, 1.0 / result.rho - 1.0)) : 100.0;
    return result;
}

} // namespace varnika::analysis
