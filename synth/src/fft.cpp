#include "fft.h"

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>
#include <vector>

namespace kestra {
namespace {

constexpr int32_t kMaxPow2Length = 4194304;
constexpr int32_t kMaxDftLength = 2097152;

// Bit-reversal permutation and a quarter-extended sine table of one length.
struct Pow2Tables {
    std::vector<int32_t> bit_reverse;
    std::vector<double> sine; // sine[k] = sin(2*pi*k/n), k < 5n/4; cos(x) = sine[k + n/4]
};

bool is_pow2(int32_t n) {
    return n > 0 && (n & (n - 1)) == 0;
}

int log2_of(int32_t n) {
    int bits = 0;
    while ((1 << bits) < n) {
        ++bits;
    }
    return bits;
}

Pow2Tables make_tables(int32_t n) {
    Pow2Tables t;
    t.bit_reverse.resize(static_cast<size_t>(n));
    t.sine.resize(static_cast<size_t>(n) * 5 / 4);
    const int bits = log2_of(n);
    for (int32_t i = 0; i < n; ++i) {
        int32_t r = 0;
        for (int b = 0; b < bits; ++b) {
            r |= ((i >> b) & 1) << (bits - 1 - b);
        }
        t.bit_reverse[static_cast<size_t>(i)] = r;
    }
    for (size_t k = 0; k < t.sine.size(); ++k) {
        t.sine[k] = std::sin(2.0 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(n));
    }
    return t;
}

// The tables of every length used so far, each built once (std::call_once), so transforms may run on
// several threads at once. Kept for the life of the process; a failed build (no memory) is tried
// again by the next call.
struct Pow2Slot {
    std::once_flag once;
    std::unique_ptr<const Pow2Tables> tables;
};

const Pow2Tables* tables_for(int32_t n) {
    static std::array<Pow2Slot, 32> slots;
    Pow2Slot& slot = slots[static_cast<size_t>(log2_of(n))];
    try {
        std::call_once(slot.once, [&] { slot.tables = std::make_unique<const Pow2Tables>(make_tables(n)); });
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    return slot.tables.get();
}

} // namespace

int32_t fft_pow2(int32_t n, double* re, double* im, int32_t direction) {
    if (n < 4 || n > kMaxPow2Length || !is_pow2(n)) {
        return 1;
    }
    if (direction != 0 && direction != 1) {
        return 2;
    }
    const Pow2Tables* tables = tables_for(n);
    if (tables == nullptr) {
        return -1;
    }
    const Pow2Tables& t = *tables;
    for (int32_t i = 0; i < n; ++i) {
        const int32_t r = t.bit_reverse[static_cast<size_t>(i)];
        if (r > i) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
    // Forward uses e^{-j2pi k/n}; the inverse the opposite sign.
    const double sign = direction == 1 ? -1.0 : 1.0;
    const int32_t quarter = n / 4;
    for (int32_t size = 2; size <= n; size *= 2) {
        const int32_t half = size / 2;
        const int32_t stride = n / size;
        for (int32_t start = 0; start < n; start += size) {
            for (int32_t k = 0; k < half; ++k) {
                const size_t idx = static_cast<size_t>(k) * static_cast<size_t>(stride);
                const double wr = t.sine[idx + static_cast<size_t>(quarter)];
                const double wi = sign * t.sine[idx];
                const int32_t a = start + k;
                const int32_t b = a + half;
                const double tr = re[b] * wr - im[b] * wi;
                const double ti = re[b] * wi + im[b] * wr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
    if (direction == 0) {
        const double scale = 1.0 / static_cast<double>(n);
        for (int32_t i = 0; i < n; ++i) {
            re[i] *= scale;
            im[i] *= scale;
        }
    }
    return 0;
}

int32_t dft_any_length(int32_t n, double* re, double* im, int32_t direction) {
    if (n < 4 || n > kMaxDftLength) {
        return 1;
    }
    if (direction != 0 && direction != 1) {
        return 2;
    }
    int32_t m = 4;
    while (m < 2 * n) {
        m *= 2;
    }
    try {
        // Chirp-z: X[k] = w[k] * sum_i (x[i] w[i]) conj(w[k - i]), w[i] = e^{-+j pi i^2 / n}.
        std::vector<std::complex<double>> chirp(static_cast<size_t>(n));
        std::vector<double> a_re(static_cast<size_t>(m), 0.0), a_im(static_cast<size_t>(m), 0.0);
        std::vector<double> b_re(static_cast<size_t>(m), 0.0), b_im(static_cast<size_t>(m), 0.0);
        const double sign = direction == 1 ? -1.0 : 1.0;
        const int64_t two_n = 2 * static_cast<int64_t>(n);
        for (int64_t i = 0; i < n; ++i) {
            // i^2 mod 2n keeps the angle small and exact for long transforms.
            const int64_t q = (i * i) % two_n;
            const double angle = std::numbers::pi * static_cast<double>(q) / static_cast<double>(n);
            chirp[static_cast<size_t>(i)] = {std::cos(angle), sign * std::sin(angle)};
        }
        for (int32_t i = 0; i < n; ++i) {
            const std::complex<double> v = std::complex<double>(re[i], im[i]) * chirp[static_cast<size_t>(i)];
            a_re[static_cast<size_t>(i)] = v.real();
            a_im[static_cast<size_t>(i)] = v.imag();
        }
        b_re[0] = chirp[0].real();
        b_im[0] = -chirp[0].imag();
        for (int32_t i = 1; i < n; ++i) {
            const std::complex<double> c = std::conj(chirp[static_cast<size_t>(i)]);
            b_re[static_cast<size_t>(i)] = c.real();
            b_im[static_cast<size_t>(i)] = c.imag();
            b_re[static_cast<size_t>(m - i)] = c.real();
            b_im[static_cast<size_t>(m - i)] = c.imag();
        }
        if (fft_pow2(m, a_re.data(), a_im.data(), 1) != 0 || fft_pow2(m, b_re.data(), b_im.data(), 1) != 0) {
            return -1;
        }
        for (int32_t k = 0; k < m; ++k) {
            const std::complex<double> p =
                std::complex<double>(a_re[static_cast<size_t>(k)], a_im[static_cast<size_t>(k)]) *
                std::complex<double>(b_re[static_cast<size_t>(k)], b_im[static_cast<size_t>(k)]);
            a_re[static_cast<size_t>(k)] = p.real();
            a_im[static_cast<size_t>(k)] = p.imag();
        }
        if (fft_pow2(m, a_re.data(), a_im.data(), 0) != 0) {
            return -1;
        }
        const double scale = direction == 0 ? 1.0 / static_cast<double>(n) : 1.0;
        for (int32_t k = 0; k < n; ++k) {
            const std::complex<double> v =
                std::complex<double>(a_re[static_cast<size_t>(k)], a_im[static_cast<size_t>(k)]) *
                chirp[static_cast<size_t>(k)];
            re[k] = v.real() * scale;
            im[k] = v.imag() * scale;
        }
        return 0;
    } catch (const std::bad_alloc&) {
        return -1;
    }
}

} // namespace kestra
