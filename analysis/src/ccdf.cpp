#include "analysis/signal_check.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

namespace varnika::analysis {

CcdfResult measure_ccdf(std::span<const Complex> samples) {
    CcdfResult result;
    if (samples.empty()) {
        return result;
    }
    double sum = 0.0;
    double peak = 0.0;
    for (const Complex& sample : samples) {
        const double p = std::norm(sample);
        sum += p;
        peak = std::max(peak, p);
    }
    const double mean = sum / static_cast<double>(samples.size());
    result.mean_power = mean;
    if (!(mean > 0.0)) {
        return result;
    }
    result.papr_db = power_db(peak / mean);

    // Thresholds ascending; a sample above `thresholds[k]` counts towards every point up to k. The
    // logarithm only guesses how many thresholds a power passes; the comparisons decide.
    std::array<double, ccdf_points> thresholds{};
    for (int k = 0; k < ccdf_points; ++k) {
        thresholds[static_cast<std::size_t>(k)] = mean * std::pow(10.0, k * ccdf_step_db / 10.0);
    }
    const double steps_per_log2 = 10.0 * std::log10(2.0) / ccdf_step_db;
    std::array<std::size_t, ccdf_points + 1> above_count{};
    for (const Complex& sample : samples) {
        const double p = std::norm(sample);
        std::ptrdiff_t passed = 0;
        if (p > mean) {
            const double guess = std::log2(p / mean) * steps_per_log2;
            passed = std::clamp<std::ptrdiff_t>(static_cast<std::ptrdiff_t>(guess), 0, ccdf_points);
            while (passed > 0 && !(p > thresholds[static_cast<std::size_t>(passed - 1)])) {
                --passed;
            }
            while (passed < ccdf_points && p > thresholds[static_cast<std::size_t>(passed)]) {
                ++passed;
            }
        }
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
    // ranked (all of them when even the mean is exceeded by fewer). The samples above the lowest of these
    // bounds are gathered once; each level ranks those of them above its own bound.
    std::array<std::size_t, ccdf_percents.size()> ranks{};
    std::array<std::optional<double>, ccdf_percents.size()> bounds{};
    std::optional<double> lowest_bound;
    bool every_sample = false;
    for (std::size_t k = 0; k < ccdf_percents.size(); ++k) {
        ranks[k] = std::min(static_cast<std::size_t>(
                                std::floor(ccdf_percents[k] / 100.0 * static_cast<double>(samples.size()))),
                            samples.size() - 1);
        for (int t = ccdf_points - 1; t >= 0; --t) {
            if (exceeding[static_cast<std::size_t>(t)] > ranks[k]) {
                bounds[k] = thresholds[static_cast<std::size_t>(t)];
                break;
            }
        }
        if (bounds[k]) {
            lowest_bound = std::min(lowest_bound.value_or(*bounds[k]), *bounds[k]);
        } else {
            every_sample = true;
        }
    }
    std::vector<double> gathered;
    gathered.reserve(every_sample ? samples.size() : exceeding[0]);
    for (const Complex& sample : samples) {
        const double p = std::norm(sample);
        if (every_sample || p > *lowest_bound) {
            gathered.push_back(p);
        }
    }
    std::vector<double> candidates;
    candidates.reserve(gathered.size());
    for (std::size_t k = 0; k < ccdf_percents.size(); ++k) {
        candidates.clear();
        std::copy_if(gathered.begin(), gathered.end(), std::back_inserter(candidates),
                     [bound = bounds[k]](double p) { return !bound || p > *bound; });
        const auto nth = candidates.begin() + static_cast<std::ptrdiff_t>(ranks[k]);
        std::nth_element(candidates.begin(), nth, candidates.end(), std::greater<>());
        result.levels_db[k] = power_db(*nth / mean);
    }
    return result;
}

} // namespace varnika::analysis
