#include "analysis/large_buffer.h"
#include "analysis/signal_check.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>
#include <optional>
#include <string>
#include <utility>

namespace varnika::analysis {

namespace {

constexpr std::size_t chips_per_frame = frame_chips;
constexpr double two_pi = 2.0 * std::numbers::pi;

// FFTW's order: bin k is frequency k below the middle, k - n from it on.
long signed_bin(std::size_t k, std::size_t n) {
    return k < n - n / 2 ? static_cast<long>(k) : static_cast<long>(k) - static_cast<long>(n);
}

std::size_t bin_index(long b, std::size_t n) {
    const auto count = static_cast<long>(n);
    return static_cast<std::size_t>(((b % count) + count) % count);
}

// The band of `bins` (the DFT of one frame at bins.size() / frame samples per chip) around bin `shift`,
// made the DFT of the same frame at m / frame samples per chip: the frame band-limited, resampled and
// brought to baseband at once. `image_cut`, when not 0, clears every bin that far from the middle or
// further (the other image of a real IF signal).
std::vector<Complex> cut_band(std::span<const Complex> bins, long shift, std::size_t m, double scale,
                              long image_cut) {
    std::vector<Complex> out(m);
    const std::size_t n = bins.size();
    const auto lowest = -static_cast<long>(n / 2);
    const auto highest = static_cast<long>(n - n / 2) - 1;
    for (std::size_t j = 0; j < m; ++j) {
        const long b = signed_bin(j, m);
        const long source = b + shift;
        if (source < lowest || source > highest || (image_cut > 0 && std::labs(b) >= image_cut)) {
            continue;
        }
        out[j] = scale * bins[bin_index(source, n)];
    }
    return out;
}

std::vector<Complex> dft_of(std::span<const Complex> samples) {
    std::vector<Complex> out(samples.size());
    forward_dft(samples, out);
    return out;
}

// The time samples of a DFT, with the transform's gain taken out.
std::vector<Complex> samples_of(std::span<const Complex> bins) {
    std::vector<Complex> out(bins.begin(), bins.end());
    inverse_dft(out);
    const double scale = 1.0 / static_cast<double>(out.size());
    for (Complex& s : out) {
        s *= scale;
    }
    return out;
}

// The unit phasors e^(i step n), n = 0 .. count - 1, each the product of two values worked out exactly: one
// for n's multiple of 512 and one for the rest. A multiplication per sample instead of a sine and a cosine,
// and the same phasor to within a few units in the last place.
class Phasors {
public:
    Phasors(double step, std::size_t count) : coarse_((count >> fine_bits) + 1) {
        for (std::size_t k = 0; k < coarse_.size(); ++k) {
            coarse_[k] = std::polar(1.0, step * static_cast<double>(k << fine_bits));
        }
        for (std::size_t j = 0; j < fine_.size(); ++j) {
            fine_[j] = std::polar(1.0, step * static_cast<double>(j));
        }
    }
    Complex operator[](std::size_t n) const {
        return coarse_[n >> fine_bits] * fine_[n & (fine_.size() - 1)];
    }

private:
    static constexpr unsigned fine_bits = 9;
    std::vector<Complex> coarse_;
    std::array<Complex, std::size_t{1} << fine_bits> fine_{};
};

// The phasors e^(i step b) of the signed bins b of a transform of `count` points, in FFTW's order.
class BinPhasors {
public:
    BinPhasors(double step, std::size_t count)
        : count_(count), up_(step, count - count / 2), down_(-step, count / 2 + 1) {}
    Complex operator[](std::size_t k) const { return k < count_ - count_ / 2 ? up_[k] : down_[count_ - k]; }

private:
    std::size_t count_;
    Phasors up_;   // bins 0 and above
    Phasors down_; // bins below 0, by their distance from 0
};

// `bins` delayed by `delay` samples (circularly, by any fraction).
std::vector<Complex> delayed(std::span<const Complex> bins, double delay) {
    std::vector<Complex> out(bins.size());
    const BinPhasors turn(-two_pi * delay / static_cast<double>(bins.size()), bins.size());
    for (std::size_t k = 0; k < bins.size(); ++k) {
        out[k] = bins[k] * turn[k];
    }
    return out;
}

// The samples turned back by `omega` radians per sample, into `out` (of the same length).
void derotate(std::span<const Complex> samples, double omega, std::span<Complex> out) {
    const Phasors turn(-omega, samples.size());
    for (std::size_t n = 0; n < samples.size(); ++n) {
        out[n] = samples[n] * turn[n];
    }
}

std::vector<Complex> derotated(std::span<const Complex> samples, double omega) {
    std::vector<Complex> out(samples.size());
    derotate(samples, omega, out);
    return out;
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

// Mean symbol power of every code at `length` in the despread chips, relative to `total`, in dB.
std::vector<double> code_axis(std::span<const Complex> despread, int length, double total) {
    const auto n = static_cast<std::size_t>(length);
    std::vector<double> sums(n, 0.0);
    std::vector<Complex> block(n);
    const std::size_t symbols = despread.size() / n;
    for (std::size_t s = 0; s < symbols; ++s) {
        std::copy_n(despread.begin() + static_cast<std::ptrdiff_t>(s * n), n, block.begin());
        walsh_hadamard(block);
        for (std::size_t k = 0; k < n; ++k) {
            sums[k] += std::norm(block[k]) / (static_cast<double>(n) * static_cast<double>(n));
        }
    }
    std::vector<double> db(n);
    for (std::size_t k = 0; k < n; ++k) {
        db[k] = power_db(sums[k] / static_cast<double>(symbols) / total);
    }
    return db;
}

// Mean power of the symbols of Walsh code (length, number) in the despread chips.
double code_power(std::span<const Complex> despread, int length, int number) {
    const auto n = static_cast<std::size_t>(length);
    const std::size_t symbols = despread.size() / n;
    double sum = 0.0;
    for (std::size_t s = 0; s < symbols; ++s) {
        Complex symbol{};
        for (std::size_t j = 0; j < n; ++j) {
            const double sign = (std::popcount(static_cast<unsigned>(number) & j) & 1) != 0 ? -1.0 : 1.0;
            symbol += sign * despread[s * n + j];
        }
        sum += std::norm(symbol) / (static_cast<double>(n) * static_cast<double>(n));
    }
    return symbols > 0 ? sum / static_cast<double>(symbols) : 0.0;
}

bool usable_code(const CodeChannel& channel) {
    return channel.walsh_length >= 1 && channel.walsh_length <= 512 &&
           std::has_single_bit(static_cast<unsigned>(channel.walsh_length)) && channel.walsh_number >= 0 &&
           channel.walsh_number < channel.walsh_length;
}

bool covers(const CodeChannel& channel, int code, int axis_length) {
    if (!usable_code(channel)) {
        return false;
    }
    const int length = channel.walsh_length;
    if (length <= axis_length) {
        return code % length == channel.walsh_number % length;
    }
    return channel.walsh_number % axis_length == code;
}

// Codes found on an axis: codes with some power whose sibling at the next shorter length also has some
// are one code of that shorter length, their powers summed; what is left at or above the threshold is
// active.
std::vector<CodeChannel> detect_codes(std::span<const double> axis_db, const std::string& branch) {
    const auto length = static_cast<int>(axis_db.size());
    std::vector<double> sorted(axis_db.begin(), axis_db.end());
    std::nth_element(sorted.begin(), sorted.begin() + length / 2, sorted.end());
    const double some_power_db = std::max(-40.0, sorted[static_cast<std::size_t>(length / 2)] + 6.0);
    struct Code {
        int length;
        int number;
        double power;
    };
    std::vector<Code> codes;
    for (int k = 0; k < length; ++k) {
        if (axis_db[static_cast<std::size_t>(k)] >= some_power_db) {
            codes.push_back({length, k, std::pow(10.0, axis_db[static_cast<std::size_t>(k)] / 10.0)});
        }
    }
    for (int l = length; l >= 2; l /= 2) {
        for (int k = 0; k < l / 2; ++k) {
            auto low = std::find_if(codes.begin(), codes.end(),
                                    [&](const Code& c) { return c.length == l && c.number == k; });
            auto high = std::find_if(codes.begin(), codes.end(),
                                     [&](const Code& c) { return c.length == l && c.number == k + l / 2; });
            if (low != codes.end() && high != codes.end()) {
                low->length = l / 2;
                low->power += high->power;
                codes.erase(high);
            }
        }
    }
    std::vector<CodeChannel> found;
    for (const Code& c : codes) {
        if (power_db(c.power) >= detect_threshold_db) {
            CodeChannel channel;
            channel.type = "detected";
            channel.walsh_length = c.length;
            channel.walsh_number = c.number;
            channel.branch = branch;
            found.push_back(channel);
        }
    }
    return found;
}

// The frame's chips from its aligned baseband spectrum `aligned` (m bins), with the transmit filter
// `filter` undone: each chip-rate frequency gathers its aliases, weighted as the filter passed them
// (least squares, blind to the data).
std::vector<Complex> chips_of(std::span<const Complex> aligned, std::span<const Complex> filter) {
    const std::size_t m = aligned.size();
    std::vector<Complex> fit(chips_per_frame);
    std::vector<double> weight(chips_per_frame, 0.0);
    for (std::size_t j = 0; j < m; ++j) {
        const std::size_t k = bin_index(signed_bin(j, m), chips_per_frame);
        fit[k] += std::conj(filter[j]) * aligned[j];
        weight[k] += std::norm(filter[j]);
    }
    double largest = 0.0;
    for (double w : weight) {
        largest = std::max(largest, w);
    }
    for (std::size_t k = 0; k < chips_per_frame; ++k) {
        fit[k] = weight[k] > 1e-12 * largest ? fit[k] / weight[k] : Complex{};
    }
    inverse_dft(fit);
    return fit;
}

CodeDomainResult measure_codes(std::span<const Complex> chips, const Reference& reference) {
    CodeDomainResult result;
    const bool forward = reference.link == Link::forward;
    std::vector<Complex> despread(chips_per_frame);
    double total = 0.0;
    for (std::size_t n = 0; n < chips_per_frame; ++n) {
        const Complex pn = reference.pn[n];
        const double size = std::norm(pn);
        despread[n] = size > 0.0 ? chips[n] * std::conj(pn) / size : Complex{};
        total += std::norm(despread[n]);
    }
    total /= static_cast<double>(chips_per_frame);
    if (!(total > 0.0)) {
        return result;
    }
    // The reverse link's branches: I carries the pilot, each channel is on one of them.
    std::vector<Complex> branch_i(chips_per_frame);
    std::vector<Complex> branch_q(chips_per_frame);
    for (std::size_t n = 0; n < chips_per_frame; ++n) {
        branch_i[n] = despread[n].real();
        branch_q[n] = despread[n].imag();
    }
    if (forward) {
        result.walsh_length = noise_floor_walsh_length;
        result.code_powers_db = code_axis(despread, noise_floor_walsh_length, total);
        result.powers_64_db = code_axis(despread, 64, total);
    } else {
        result.walsh_length = reverse_walsh_length;
        result.code_powers_db = code_axis(branch_i, reverse_walsh_length, total);
        result.q_powers_db = code_axis(branch_q, reverse_walsh_length, total);
    }
    std::vector<CodeChannel> channels = reference.channels;
    if (reference.detect) {
        channels = detect_codes(result.code_powers_db, forward ? "" : "I");
        if (!forward) {
            const std::vector<CodeChannel> q = detect_codes(result.q_powers_db, "Q");
            channels.insert(channels.end(), q.begin(), q.end());
        }
    }
    for (const CodeChannel& channel : channels) {
        CodePower power{channel, -300.0};
        if (usable_code(channel)) {
            const std::span<const Complex> on = forward                 ? std::span<const Complex>(despread)
                                                : channel.branch == "Q" ? std::span<const Complex>(branch_q)
                                                                        : std::span<const Complex>(branch_i);
            power.measured_db = power_db(code_power(on, channel.walsh_length, channel.walsh_number) / total);
        }
        result.channels.push_back(power);
    }
    auto mark = [&](const std::vector<double>& axis, std::vector<bool>& active, const std::string& branch) {
        for (std::size_t k = 0; k < axis.size(); ++k) {
            const bool on = std::any_of(channels.begin(), channels.end(), [&](const CodeChannel& c) {
                return (forward || c.branch == branch) &&
                       covers(c, static_cast<int>(k), static_cast<int>(axis.size()));
            });
            active.push_back(on);
            if (!on) {
                result.noise_floor_db = std::max(result.noise_floor_db.value_or(-300.0), axis[k]);
            }
        }
    };
    mark(result.code_powers_db, result.code_active, forward ? "" : "I");
    if (!forward) {
        mark(result.q_powers_db, result.q_active, "Q");
    }
    return result;
}

// Weighted least-squares slope of the unwrapped phases of `sums` against their positions.
double phase_slope(std::span<const Complex> sums, double spacing) {
    double sw = 0.0;
    double sx = 0.0;
    double sy = 0.0;
    double sxx = 0.0;
    double sxy = 0.0;
    double phase = 0.0;
    for (std::size_t b = 0; b < sums.size(); ++b) {
        if (b > 0) {
            phase += std::arg(sums[b] * std::conj(sums[b - 1]));
        } else {
            phase = std::arg(sums[0]);
        }
        const double w = std::abs(sums[b]);
        const double x = static_cast<double>(b) * spacing;
        sw += w;
        sx += w * x;
        sy += w * phase;
        sxx += w * x * x;
        sxy += w * x * phase;
    }
    const double denominator = sw * sxx - sx * sx;
    return denominator > 0.0 ? (sw * sxy - sx * sy) / denominator : 0.0;
}

// What is left of the delay of a cross spectrum `cross` once advanced by `tau` samples: the weighted
// least-squares slope of its phase, -2 pi (delay left) / bins, each bin weighted by its size.
double delay_left(std::span<const Complex> cross, double tau) {
    const std::size_t m = cross.size();
    const BinPhasors turn(two_pi * tau / static_cast<double>(m), m);
    double numerator = 0.0;
    double denominator = 0.0;
    for (long b = -static_cast<long>(m / 2) + 1; b < static_cast<long>(m - m / 2); ++b) {
        const std::size_t k = bin_index(b, m);
        const Complex g = cross[k] * turn[k];
        const double weight = std::abs(g);
        const auto x = static_cast<double>(b);
        numerator += weight * x * std::arg(g);
        denominator += weight * x * x;
    }
    return denominator > 0.0 ? -numerator / denominator * static_cast<double>(m) / two_pi : 0.0;
}

// The delay of `file` against the reference spectrum `wanted` by plain correlation, trying carrier
// offsets from 0 outwards; with the correlation peak's ratio to the mean. Nothing when no offset shows
// a clear peak.
std::optional<std::pair<double, double>> search_carrier(std::span<const Complex> file,
                                                        std::span<const Complex> wanted) {
    const std::size_t m = file.size();
    constexpr double largest_offset_hz = 6000.0;
    const double bin_hz = chip_rate_hz / static_cast<double>(chips_per_frame);
    const double rate = chip_rate_hz * static_cast<double>(m) / static_cast<double>(chips_per_frame);
    const int steps = static_cast<int>(largest_offset_hz / (bin_hz / 2.0));
    for (int k = 0; k <= 2 * steps; ++k) {
        const int step = (k + 1) / 2 * (k % 2 == 0 ? -1 : 1);
        const double omega = two_pi * step * (bin_hz / 2.0) / rate;
        std::vector<Complex> c = derotated(file, omega);
        forward_dft(c);
        for (std::size_t j = 0; j < m; ++j) {
            c[j] *= std::conj(wanted[j]);
        }
        inverse_dft(c);
        std::size_t peak = 0;
        double mean = 0.0;
        for (std::size_t n = 0; n < m; ++n) {
            mean += std::abs(c[n]);
            if (std::abs(c[n]) > std::abs(c[peak])) {
                peak = n;
            }
        }
        mean /= static_cast<double>(m);
        const double ratio = mean > 0.0 ? std::abs(c[peak]) / mean : 0.0;
        if (ratio >= 12.0) {
            // The peak placed between its neighbours.
            const double below = std::abs(c[(peak + m - 1) % m]);
            const double at = std::abs(c[peak]);
            const double above = std::abs(c[(peak + 1) % m]);
            const double curvature = below - 2.0 * at + above;
            const double between =
                curvature < 0.0 ? std::clamp(0.5 * (below - above) / curvature, -0.5, 0.5) : 0.0;
            return std::pair{static_cast<double>(peak) + between, ratio};
        }
    }
    return std::nullopt;
}

} // namespace

Reception receive(std::span<const Complex> samples, std::span<const Complex> bins, int ratio,
                  const Reference& reference, double carrier_hz, bool real_signal) {
    Reception out;
    const int ref_ratio = reference.oversampling;
    if (ratio < 1 || bins.size() != static_cast<std::size_t>(ratio) * chips_per_frame) {
        out.problem = "the file holds less than one frame";
        return out;
    }
    if (ref_ratio < 1 || reference.pilot.size() != static_cast<std::size_t>(ref_ratio) * chips_per_frame ||
        reference.pn.size() != chips_per_frame ||
        (!reference.waveform.empty() && reference.waveform.size() != reference.pilot.size())) {
        out.problem = "the pilot of the link could not be made";
        return out;
    }
    const int w = std::min({ratio, working_ratio, ref_ratio});
    const std::size_t m = static_cast<std::size_t>(w) * chips_per_frame;
    const double bin_hz = chip_rate_hz / static_cast<double>(chips_per_frame);
    const long shift = std::lround(carrier_hz / bin_hz);
    const long image = real_signal ? std::max(1L, std::labs(shift)) : 0;
    const double file_scale =
        (real_signal ? 2.0 : 1.0) * static_cast<double>(m) / static_cast<double>(bins.size());
    const double ref_scale = static_cast<double>(m) / static_cast<double>(reference.pilot.size());

    std::vector<Complex> file = samples_of(cut_band(bins, shift, m, file_scale, image));
    const std::vector<Complex> pilot = cut_band(dft_of(reference.pilot), 0, m, ref_scale, 0);
    const bool ideal = !reference.waveform.empty();
    const std::vector<Complex> wanted =
        ideal ? cut_band(dft_of(reference.waveform), 0, m, ref_scale, 0) : pilot;
    const std::vector<Complex> wanted_samples = samples_of(wanted);

    // Where the frame starts, whatever the frequency error: the correlation of the products of samples
    // one chip apart, in which the carrier is a constant phase.
    const auto d = static_cast<std::size_t>(std::max(1, w / 2));
    std::vector<Complex> file_products(m);
    std::vector<Complex> wanted_products(m);
    for (std::size_t n = 0; n < m; ++n) {
        file_products[n] = file[(n + d) % m] * std::conj(file[n]);
        wanted_products[n] = wanted_samples[(n + d) % m] * std::conj(wanted_samples[n]);
    }
    forward_dft(file_products);
    forward_dft(wanted_products);
    for (std::size_t k = 0; k < m; ++k) {
        file_products[k] *= std::conj(wanted_products[k]);
    }
    const std::vector<Complex> cross_spectrum = file_products;
    // Without the products' means, which would lift every delay alike.
    file_products[0] = {};
    inverse_dft(file_products);
    std::size_t peak = 0;
    double mean = 0.0;
    for (std::size_t n = 0; n < m; ++n) {
        mean += std::abs(file_products[n]);
        if (std::abs(file_products[n]) > std::abs(file_products[peak])) {
            peak = n;
        }
    }
    mean /= static_cast<double>(m);
    out.acquisition.peak_ratio = mean > 0.0 ? std::abs(file_products[peak]) / mean : 0.0;
    double tau = static_cast<double>(peak);
    if (out.acquisition.peak_ratio >= 8.0) {
        // The fraction of a sample from the slope of the products' cross spectrum, which no frequency
        // error moves.
        for (int round = 0; round < 3; ++round) {
            tau += delay_left(cross_spectrum, tau);
        }
    } else if (ideal) {
        out.problem = "no frame of the link was found in the file";
        return out;
    } else {
        // The products square what is not the reference: against the pilot alone, under a tenth of the
        // power, they hide the frame. The file is then correlated with the pilot itself, one carrier
        // offset after another (half a frame bin apart, nearest first), up to the largest offset sought.
        const std::optional<std::pair<double, double>> found = search_carrier(file, wanted);
        if (!found) {
            out.problem = "no frame of the link was found in the file";
            return out;
        }
        tau = found->first;
        out.acquisition.peak_ratio = found->second;
    }
    // The carrier: the file despread by the delayed ideal (or pilot) leaves a tone at the frequency
    // error; the strongest bin of its spectrum, placed between its neighbours.
    const std::vector<Complex> aligned_wanted = samples_of(delayed(wanted, tau));
    std::vector<Complex> tone(m);
    for (std::size_t n = 0; n < m; ++n) {
        tone[n] = file[n] * std::conj(aligned_wanted[n]);
    }
    forward_dft(tone);
    std::size_t strongest = 0;
    for (std::size_t j = 0; j < m; ++j) {
        if (std::norm(tone[j]) > std::norm(tone[strongest])) {
            strongest = j;
        }
    }
    const double below = std::abs(tone[(strongest + m - 1) % m]);
    const double at = std::abs(tone[strongest]);
    const double above = std::abs(tone[(strongest + 1) % m]);
    const double curvature = below - 2.0 * at + above;
    const double between = curvature < 0.0 ? std::clamp(0.5 * (below - above) / curvature, -0.5, 0.5) : 0.0;
    double omega =
        two_pi * (static_cast<double>(signed_bin(strongest, m)) + between) / static_cast<double>(m);
    // A frequency error off the frame's bins breaks the frame's period: the file is turned back at its own
    // rate before it is band-limited, or the band's edges would ring around the break.
    double turned = 0.0;
    if (samples.size() == bins.size() && ratio > w && std::abs(omega) > 1e-9) {
        turned = omega;
        const double per_sample = omega * static_cast<double>(w) / static_cast<double>(ratio);
        std::vector<Complex> turned_bins = large_vector<Complex>(samples.size());
        derotate(samples, per_sample, turned_bins);
        forward_dft(turned_bins);
        file = samples_of(cut_band(turned_bins, shift, m, file_scale, image));
        omega = 0.0;
    }

    std::vector<Complex> corrected;
    // The frequency refined from the phase drift against the delayed ideal, block by block. (The delay
    // stays the products': the frequency error cannot move it.)
    for (int round = 0; round < 4; ++round) {
        corrected = derotated(file, omega);
        // Short blocks first, whose phases follow a frequency error of several kilohertz unambiguously.
        const std::size_t blocks = round == 0 ? 512 : round == 1 ? 128 : 64;
        std::vector<Complex> sums(blocks);
        const std::size_t block = m / blocks;
        for (std::size_t n = 0; n < m; ++n) {
            sums[n / block] += corrected[n] * std::conj(aligned_wanted[n]);
        }
        omega += phase_slope(sums, static_cast<double>(block));
    }
    corrected = derotated(file, omega);
    std::vector<Complex> aligned = delayed(dft_of(corrected), -tau);
    Complex cross{};
    double wanted_energy = 0.0;
    for (std::size_t j = 0; j < m; ++j) {
        cross += aligned[j] * std::conj(wanted[j]);
        wanted_energy += std::norm(wanted[j]);
    }
    if (!(wanted_energy > 0.0) || std::abs(cross) == 0.0) {
        out.problem = "no frame of the link was found in the file";
        return out;
    }
    const Complex gain = cross / wanted_energy;
    for (Complex& a : aligned) {
        a /= gain;
    }
    Acquisition& acquisition = out.acquisition;
    const double frame_samples = static_cast<double>(m);
    const double start = std::fmod(std::fmod(tau, frame_samples) + frame_samples, frame_samples);
    acquisition.time_offset_chips = start / static_cast<double>(w);
    if (acquisition.time_offset_chips > static_cast<double>(chips_per_frame) - 1e-6) {
        acquisition.time_offset_chips = 0.0;
    }
    omega += turned;
    acquisition.frequency_error_hz = omega * static_cast<double>(w) * chip_rate_hz / two_pi +
                                     static_cast<double>(shift) * bin_hz - carrier_hz;
    acquisition.phase_deg = std::arg(gain) * 180.0 / std::numbers::pi;
    acquisition.amplitude_db = 20.0 * std::log10(std::abs(gain));

    // The chip decision points after the receive filter, the 1.2288 MHz channel filter: the bins within
    // half the chip rate, sampled once a chip.
    auto chip_points = [&](std::span<const Complex> spectrum) {
        std::vector<Complex> points(chips_per_frame);
        const auto half = static_cast<long>(chips_per_frame / 2);
        for (long b = -half + 1; b < half; ++b) {
            points[bin_index(b, chips_per_frame)] = spectrum[bin_index(b, m)];
        }
        inverse_dft(points);
        return points;
    };
    if (ideal) {
        out.quality = measure_quality(chip_points(aligned), chip_points(wanted));
    }
    if (reference.link != Link::reverse_no_codes) {
        // The transmit filter, learnt from the pilot: its spectrum over the pilot's chips'.
        std::vector<Complex> pn_bins = dft_of(reference.pn);
        std::vector<Complex> filter(m);
        double largest = 0.0;
        for (const Complex& c : pn_bins) {
            largest = std::max(largest, std::norm(c));
        }
        for (std::size_t j = 0; j < m; ++j) {
            const Complex c = pn_bins[bin_index(signed_bin(j, m), chips_per_frame)];
            filter[j] = std::norm(c) > 1e-20 * largest ? pilot[j] / c : Complex{};
        }
        out.code_domain = measure_codes(chips_of(aligned, filter), reference);
    }
    return out;
}

} // namespace varnika::analysis
