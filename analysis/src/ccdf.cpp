#include "analysis/signal_check.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>

namespace varnika::analysis {

CcdfResult measure_ccdf(std::span<const Complex> samples) {
    CcdfResult result;
    if (samples.empty()) {
        return result;
    }
    std::vector<double> powers(samples.size());
    double sum = 0.0;
    double peak = 0.0;
    for (std::size_t n = 0; n < samples.size(); ++n) {
        powers[n] = std::norm(samples[n]);
        sum += powers[n];
        peak = std::max(peak, powers[n]);
    }
    const double mean = sum / static_cast<double>(samples.size());
    result.mean_power = mean;
    if (!(mean > 0.0)) {
        return result;
    }
    result.papr_db = power_db(peak / mean);

    // Thresholds ascending; a sample above `thresholds[k]` counts towards every point up to k.
    std::array<double, ccdf_points> thresholds{};
    for (int k = 0; k < ccdf_points; ++k) {
        thresholds[k] = mean * std::pow(10.0, k * ccdf_step_db / 10.0);
    }
    std::array<std::size_t, ccdf_points + 1> above_count{};
    for (const double p : powers) {
        const auto passed = std::lower_bound(thresholds.begin(), thresholds.end(), p) - thresholds.begin();
        ++above_count[static_cast<std::size_t>(passed)];
    }
    std::array<std::size_t, ccdf_points> exceeding{};
    std::size_t running = 0;
    for (int k = ccdf_points - 1; k >= 0; --k) {
        running += above_count[static_cast<std::size_t>(k) + 1];
        exceeding[static_cast<std::size_t>(k)] = running;
        result.curve[static_cast<std::size_t>(k)] =
            static_cast<double>(running) / static_cast<double>(samples.size());
    }

    // The level exceeded by a fraction q: the power of rank floor(q * n) from the top. It lies among the
    // samples above the highest curve threshold that at least that many samples exceed, so only those are
    // ranked (all of them when even the mean is exceeded by fewer).
    for (std::size_t k = 0; k < ccdf_percents.size(); ++k) {
        const auto rank = std::min(static_cast<std::size_t>(std::floor(ccdf_percents[k] / 100.0 *
                                                                       static_cast<double>(samples.size()))),
                                   samples.size() - 1);
        double above = 0.0;
        bool bounded = false;
        for (int t = ccdf_points - 1; t >= 0; --t) {
            if (exceeding[static_cast<std::size_t>(t)] > rank) {
                above = thresholds[static_cast<std::size_t>(t)];
                bounded = true;
                break;
            }
        }
        std::vector<double> candidates;
        if (bounded) {
            std::copy_if(powers.begin(), powers.end(), std::back_inserter(candidates),
                         [above](double p) { return p > above; });
        } else {
            candidates = powers;
        }
        const auto nth = candidates.begin() + static_cast<std::ptrdiff_t>(rank);
        std::nth_element(candidates.begin(), nth, candidates.end(), std::greater<>());
        result.levels_db[k] = power_db(*nth / mean);
    }
    return result;
}

} // namespace varnika::analysis
