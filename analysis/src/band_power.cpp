#include "analysis/signal_check.h"

#include "analysis/large_buffer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>

namespace varnika::analysis {

namespace {

// Half the span the smoothed density is shown over, either side of the carrier.
constexpr double psd_half_span_hz = 2.5e6;
constexpr double occupied_fraction = 0.99;

} // namespace

SpectrumResult measure_spectrum(std::span<const Complex> bins, double sample_rate_hz, double carrier_hz,
                                bool real_signal) {
    std::vector<double> power = large_vector<double>(bins.size());
    std::transform(bins.begin(), bins.end(), power.begin(), [](const Complex& b) { return std::norm(b); });
    return measure_spectrum_power(power, sample_rate_hz, carrier_hz, real_signal);
}

std::vector<double> welch_power(std::span<const Complex> samples, double sample_rate_hz) {
    // Bins a quarter of the resolution bandwidth wide at most.
    std::size_t length = 16;
    while (static_cast<double>(length) < 4.0 * sample_rate_hz / psd_resolution_hz &&
           length < samples.size()) {
        length *= 2;
    }
    length = std::min(length, std::bit_floor(std::max<std::size_t>(samples.size(), 1)));
    std::vector<double> power(length, 0.0);
    if (samples.size() < length || length < 2) {
        return power;
    }
    std::vector<double> window(length);
    for (std::size_t n = 0; n < length; ++n) {
        window[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(n) /
                                         static_cast<double>(length));
    }
    std::vector<Complex> segment(length);
    const std::size_t hop = length / 2;
    std::size_t segments = 0;
    for (std::size_t start = 0; start + length <= samples.size(); start += hop) {
        for (std::size_t n = 0; n < length; ++n) {
            segment[n] = samples[start + n] * window[n];
        }
        forward_dft(segment);
        for (std::size_t k = 0; k < length; ++k) {
            power[k] += std::norm(segment[k]);
        }
        ++segments;
    }
    for (double& p : power) {
        p /= static_cast<double>(segments);
    }
    return power;
}

double gaussian_ccdf(double db, bool real_signal) {
    const double level = std::pow(10.0, db / 10.0);
    // Complex noise: the power is exponential. Real noise: x^2 / mean exceeds g with erfc(sqrt(g / 2)).
    return real_signal ? std::erfc(std::sqrt(level / 2.0)) : std::exp(-level);
}

SpectrumResult measure_spectrum_power(std::span<const double> bins, double sample_rate_hz, double carrier_hz,
                                      bool real_signal) {
    SpectrumResult result;
    result.carrier_hz = carrier_hz;
    const auto count = static_cast<std::ptrdiff_t>(bins.size());
    if (count == 0 || !(sample_rate_hz > 0.0)) {
        return result;
    }
    const double bin_hz = sample_rate_hz / static_cast<double>(count);
    // The bins in frequency order: ordered index j is bin j - half, from the lowest frequency up.
    const std::ptrdiff_t half_count = count / 2;
    // The negative frequencies are FFTW's upper bins, count - half_count on.
    std::vector<double> cumulative = large_vector<double>(static_cast<std::size_t>(count) + 1);
    const auto negative = static_cast<std::size_t>(half_count);
    const auto first_negative = static_cast<std::size_t>(count - half_count);
    double running = 0.0;
    for (std::size_t j = 0; j < negative; ++j) {
        running += bins[first_negative + j];
        cumulative[j + 1] = running;
    }
    for (std::size_t j = negative; j < static_cast<std::size_t>(count); ++j) {
        running += bins[j - negative];
        cumulative[j + 1] = running;
    }
    const double total = cumulative.back();
    if (!(total > 0.0)) {
        return result;
    }
    // Power of the bins whose frequency lies within [low, high].
    auto band_power = [&](double low_hz, double high_hz) {
        const auto shift = static_cast<double>(half_count);
        const auto lo = std::clamp<std::ptrdiff_t>(
            static_cast<std::ptrdiff_t>(std::ceil(low_hz / bin_hz + shift - 1e-9)), 0, count);
        const auto hi = std::clamp<std::ptrdiff_t>(
            static_cast<std::ptrdiff_t>(std::floor(high_hz / bin_hz + shift + 1e-9)) + 1, 0, count);
        return hi > lo ? cumulative[static_cast<std::size_t>(hi)] - cumulative[static_cast<std::size_t>(lo)]
                       : 0.0;
    };
    const double half = channel_bandwidth_hz / 2.0;
    const double main = band_power(carrier_hz - half, carrier_hz + half);
    result.aclr_lower_db = power_db(
        band_power(carrier_hz - adjacent_offset_hz - half, carrier_hz - adjacent_offset_hz + half) / main);
    result.aclr_upper_db = power_db(
        band_power(carrier_hz + adjacent_offset_hz - half, carrier_hz + adjacent_offset_hz + half) / main);

    // Emissions in 30 kHz at the conducted-emission offsets, against the total power (of the positive
    // frequencies for a real signal, whose other half is its mirror image).
    const double carried = real_signal ? total - cumulative[static_cast<std::size_t>(half_count + 1)] : total;
    for (std::size_t k = 0; k < emission_offsets_hz.size(); ++k) {
        const double centre = carrier_hz + emission_offsets_hz[k];
        result.emissions_dbc[k] = power_db(
            band_power(centre - psd_resolution_hz / 2.0, centre + psd_resolution_hz / 2.0) / carried);
    }

    // Occupied bandwidth: the band that leaves 0.5 % of the power below it and 0.5 % above it. A real
    // (IF) signal is measured on its positive frequencies.
    const std::ptrdiff_t from = real_signal ? half_count + 1 : 0;
    const double base = cumulative[static_cast<std::size_t>(from)];
    const double power = total - base;
    const double tail = power * (1.0 - occupied_fraction) / 2.0;
    auto crossing = [&](double level) {
        const auto at = std::lower_bound(cumulative.begin() + from + 1, cumulative.end(), base + level);
        return std::min<std::ptrdiff_t>(at - cumulative.begin() - 1, count - 1);
    };
    const std::ptrdiff_t low = crossing(tail);
    const std::ptrdiff_t high = crossing(power - tail);
    result.occupied_bw_hz = static_cast<double>(high - low + 1) * bin_hz;

    // Density for the plot: power in a 30 kHz window around each point, relative to the total.
    const auto window = std::max<std::ptrdiff_t>(1, std::llround(psd_resolution_hz / bin_hz));
    const auto step = std::max<std::ptrdiff_t>(1, window / 4);
    const double span = std::min(psd_half_span_hz, sample_rate_hz / 2.0);
    for (double f = carrier_hz - span; f <= carrier_hz + span; f += static_cast<double>(step) * bin_hz) {
        const double lowest = -static_cast<double>(half_count) * bin_hz;
        if (f < lowest || f >= -lowest) {
            continue;
        }
        const double p = band_power(f - static_cast<double>(window) * bin_hz / 2.0,
                                    f + static_cast<double>(window - 1) * bin_hz / 2.0);
        result.psd.emplace_back(f, power_db(p / total));
    }
    return result;
}

} // namespace varnika::analysis
