#include "code_domain.h"

#include "analysis/large_buffer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <future>
#include <numbers>
#include <stdexcept>

namespace varnika::analysis {

namespace {

// I and Q exchanged: z -> j conj(z).
Complex swapped(Complex z) {
    return {z.imag(), z.real()};
}

// In-place fast Walsh-Hadamard transform of a block whose length is a power of two; output k is the
// correlation with Walsh function k (element j = (-1)^popcount(k & j)).
void walsh_hadamard(std::span<Complex> block) {
    for (std::size_t h = 1; h < block.size(); h *= 2) {
        for (std::size_t i = 0; i < block.size(); i += 2 * h) {
            for (std::size_t j = i; j < i + h; ++j) {
                const Complex a = block[j];
                const Complex b = block[j + h];
                block[j] = a + b;
                block[j + h] = a - b;
            }
        }
    }
}

// Mean power of the symbols of Walsh code (length, number) in the despread chips.
double code_power(std::span<const Complex> despread, int length, int number) {
    const std::size_t symbols = despread.size() / static_cast<std::size_t>(length);
    double sum = 0.0;
    for (std::size_t s = 0; s < symbols; ++s) {
        Complex symbol{};
        for (int j = 0; j < length; ++j) {
            const double sign = (std::popcount(static_cast<unsigned>(number & j)) & 1) != 0 ? -1.0 : 1.0;
            symbol += sign * despread[s * static_cast<std::size_t>(length) + static_cast<std::size_t>(j)];
        }
        sum += std::norm(symbol) / (static_cast<double>(length) * length);
    }
    return symbols > 0 ? sum / static_cast<double>(symbols) : 0.0;
}

bool covers(const CodeChannel& channel, int code) {
    const int length = channel.walsh_length;
    if (length <= noise_floor_walsh_length) {
        return code % length == channel.walsh_number % length;
    }
    return channel.walsh_number % noise_floor_walsh_length == code;
}

bool usable_code(const CodeChannel& channel) {
    return channel.walsh_length >= 1 && channel.walsh_length <= 256 &&
           std::has_single_bit(static_cast<unsigned>(channel.walsh_length)) && channel.walsh_number >= 0 &&
           channel.walsh_number < channel.walsh_length;
}

} // namespace

namespace {

bool mixed(const Reference& reference) {
    return reference.offset_mode == 1 || reference.offset_mode == 2;
}

// `from` taken down by the frequency offset or IF of `reference` into `to` (which may be `from`).
void mix_down(std::span<const Complex> from, std::span<Complex> to, const Reference& reference,
              double sample_rate_hz) {
    const double step = -2.0 * std::numbers::pi * reference.offset_hz / sample_rate_hz;
    const double gain = reference.offset_mode == 2 ? 2.0 : 1.0;
    for (std::size_t n = 0; n < to.size(); ++n) {
        const double theta = step * static_cast<double>(n);
        to[n] = from[n] * (gain * Complex(std::cos(theta), std::sin(theta)));
    }
}

// The line spectrum `x` of the mixed-down samples made the chip streams': the image of a real IF signal
// cut off, I and Q exchanged back.
void finish_baseband(std::vector<Complex>& x, const Reference& reference, double sample_rate_hz) {
    const auto count = static_cast<std::ptrdiff_t>(x.size());
    if (reference.offset_mode == 2) {
        const double cut_hz = std::abs(reference.offset_hz);
        for (std::ptrdiff_t k = 0; k < count; ++k) {
            const auto b = k < count - count / 2 ? k : k - count;
            if (std::abs(static_cast<double>(b)) * sample_rate_hz / static_cast<double>(count) >= cut_hz) {
                x[static_cast<std::size_t>(k)] = 0.0;
            }
        }
    }
    if (reference.iq_inverse) {
        // The DFT of j conj(z[n]) is j conj(Z[-k]): pairs k and -k exchange.
        for (std::ptrdiff_t k = 0; k <= count / 2; ++k) {
            const auto a = static_cast<std::size_t>(k);
            const auto b = static_cast<std::size_t>((count - k) % count);
            const Complex xa = x[a];
            const Complex xb = x[b];
            x[a] = Complex(0.0, 1.0) * std::conj(xb);
            x[b] = Complex(0.0, 1.0) * std::conj(xa);
        }
    }
}

} // namespace

// The samples brought back to the chip streams' own baseband: the frequency offset or IF conversion taken
// away, then I and Q exchanged back. A real IF signal keeps its upper image only (twice its samples,
// mixed down); the image left at twice the IF is cut off in the spectrum. Without an offset the samples'
// own line spectrum serves, when the caller has it already.
std::vector<Complex> baseband_bins(std::span<const Complex> samples, std::span<const Complex> samples_dft,
                                   const Reference& reference, double sample_rate_hz) {
    std::vector<Complex> x = large_vector<Complex>(samples.size());
    if (!mixed(reference) && !samples_dft.empty()) {
        std::copy(samples_dft.begin(), samples_dft.end(), x.begin());
    } else if (!mixed(reference)) {
        forward_dft(samples, x);
    } else {
        mix_down(samples, x, reference, sample_rate_hz);
        forward_dft(x);
    }
    finish_baseband(x, reference, sample_rate_hz);
    return x;
}

std::vector<Complex> baseband_bins(std::vector<Complex>&& samples, const Reference& reference,
                                   double sample_rate_hz) {
    std::vector<Complex> x = std::move(samples);
    if (mixed(reference)) {
        mix_down(x, x, reference, sample_rate_hz);
    }
    forward_dft(x);
    finish_baseband(x, reference, sample_rate_hz);
    return x;
}

// The file's chips are recovered by projecting its line spectrum onto the ideal waveform's, one chip-rate
// frequency at a time. The waveform is the chip frame filtered: at bin k it is H(k) C(k mod N), the aliases
// of chip bin m sharing the chips' C(m). For each m the file's aliases are fitted to the ideal's in the
// least-squares sense and the fit scales the ideal chips' C(m); this undoes the transmit filter exactly
// wherever it passes anything, without knowing it, and is blind to which data the ideal carries.
CodeDomainResult measure_code_domain(std::span<const Complex> samples, const Reference& reference,
                                     double sample_rate_hz, std::span<const Complex> samples_dft) {
    if (reference.waveform.size() != samples.size()) {
        throw std::invalid_argument("the reference does not match the file's frame");
    }
    // Both transforms at once, one per core.
    auto ideal_bins = std::async(
        std::launch::async, [&] { return baseband_bins(reference.waveform, {}, reference, sample_rate_hz); });
    const std::vector<Complex> file_bins = baseband_bins(samples, samples_dft, reference, sample_rate_hz);
    return code_domain_from_bins(file_bins, ideal_bins.get(), reference);
}

CodeDomainResult code_domain_from_bins(std::span<const Complex> file_bins,
                                       std::span<const Complex> ideal_bins, const Reference& reference) {
    CodeDomainResult result;
    const std::size_t count = file_bins.size();
    if (reference.chips.size() != frame_chips || reference.pn.size() != frame_chips ||
        ideal_bins.size() != count || count % frame_chips != 0 || count == 0) {
        throw std::invalid_argument("the reference does not match the file's frame");
    }
    std::vector<Complex> chips(reference.chips.begin(), reference.chips.end());
    if (reference.iq_inverse) {
        std::transform(chips.begin(), chips.end(), chips.begin(), swapped);
    }
    forward_dft(chips);
    double chip_energy = 0.0;
    for (const Complex& c : chips) {
        chip_energy += std::norm(c);
    }
    const double negligible = 1e-24 * chip_energy / frame_chips;
    const std::size_t aliases = count / frame_chips;
    // Summed alias by alias, each a run of consecutive bins: the spectra are read in order.
    std::vector<double> fit_re(frame_chips, 0.0);
    std::vector<double> fit_im(frame_chips, 0.0);
    std::vector<double> ideal_energy(frame_chips, 0.0);
    for (std::size_t r = 0; r < aliases; ++r) {
        const Complex* ideal = ideal_bins.data() + r * frame_chips;
        const Complex* file = file_bins.data() + r * frame_chips;
        for (std::size_t m = 0; m < frame_chips; ++m) {
            // conj(ideal) * file, and |ideal|^2
            const double a = ideal[m].real();
            const double b = ideal[m].imag();
            const double c = file[m].real();
            const double d = file[m].imag();
            fit_re[m] += a * c + b * d;
            fit_im[m] += a * d - b * c;
            ideal_energy[m] += a * a + b * b;
        }
    }
    for (std::size_t m = 0; m < frame_chips; ++m) {
        chips[m] = ideal_energy[m] > 0.0 && std::norm(chips[m]) > negligible
                       ? chips[m] * Complex(fit_re[m], fit_im[m]) / ideal_energy[m]
                       : Complex{};
    }
    inverse_dft(chips);

    // Remove the quadrature PN spreading; every PN chip is (+-1 +- j) times the same size.
    std::vector<Complex> despread(frame_chips);
    double total = 0.0;
    for (std::size_t n = 0; n < frame_chips; ++n) {
        const Complex pn = reference.pn[n];
        const double size = std::norm(pn);
        despread[n] = size > 0.0 ? chips[n] * std::conj(pn) / size : Complex{};
        total += std::norm(despread[n]);
    }
    total /= frame_chips;
    if (!(total > 0.0)) {
        return result;
    }

    for (const CodeChannel& channel : reference.channels) {
        CodePower power{channel, -300.0};
        if (usable_code(channel)) {
            power.measured_db =
                power_db(code_power(despread, channel.walsh_length, channel.walsh_number) / total);
        }
        result.channels.push_back(power);
    }

    constexpr int length = noise_floor_walsh_length;
    std::vector<double> sums(length, 0.0);
    std::vector<Complex> block(length);
    for (std::size_t s = 0; s < frame_chips / length; ++s) {
        std::copy_n(despread.begin() + static_cast<std::ptrdiff_t>(s * length), length, block.begin());
        walsh_hadamard(block);
        for (int k = 0; k < length; ++k) {
            sums[static_cast<std::size_t>(k)] +=
                std::norm(block[static_cast<std::size_t>(k)]) / (double{length} * length);
        }
    }
    for (int k = 0; k < length; ++k) {
        const double db = power_db(sums[static_cast<std::size_t>(k)] / (frame_chips / length) / total);
        const bool active = std::any_of(reference.channels.begin(), reference.channels.end(),
                                        [k](const CodeChannel& c) { return usable_code(c) && covers(c, k); });
        result.code_powers_db.push_back(db);
        result.code_active.push_back(active);
        if (!active) {
            result.noise_floor_db = std::max(result.noise_floor_db.value_or(-300.0), db);
        }
    }
    return result;
}

} // namespace varnika::analysis
