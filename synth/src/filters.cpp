#include "filters.h"

#include "fft.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>
#include <vector>

namespace kestra {
namespace {

// First half (taps 0..64) of the 128-tap base filter designed at four samples per chip.
// Taps 65..127 mirror taps 63..1; tap 0 stands alone.
constexpr std::array<double, 65> kBaseHalf = {
    2.8911969344e-06,  1.0598704748e-06,  -3.0093458807e-06, -1.1452725779e-06, 2.7736818514e-06,
    1.1072295663e-06,  -2.0518106150e-06, -8.9699968930e-07, 6.9280154520e-07,  4.6027116380e-07,
    1.4741400329e-06,  2.6259392250e-07,  -4.6424527583e-06, -1.3367073560e-06, 9.0335843265e-06,
    2.8335587505e-06,  -1.4906789234e-05, -4.8332244908e-06, 2.2576502478e-05,  7.4287371352e-06,
    -3.2442910861e-05, -1.0734005207e-05, 4.5046356857e-05,  1.4897633049e-05,  -6.1167006111e-05,
    -2.0126726881e-05, 8.2016218850e-05,  2.6727778434e-05,  -1.0962932702e-04, -3.5175777702e-05,
    1.4774801989e-04,  4.6219857638e-05,  -2.0406020124e-04, -6.0954086421e-05, 2.9694075804e-04,
    8.0008013330e-05,  -4.8162178920e-04, -9.2224600018e-05, 1.0086990033e-03,  -1.5837320052e-04,
    -6.0537139593e-03, -1.4511277943e-02, -1.9259743744e-02, -1.4593585718e-02, 6.5145297831e-04,
    2.2049694866e-02,  4.0541034345e-02,  4.5652161285e-02,  3.1699219706e-02,  3.6682527517e-03,
    -2.3147619341e-02, -3.1454714781e-02, -1.3196751439e-02, 2.3523052144e-02,  5.6475285576e-02,
    6.0626769149e-02,  2.4114830276e-02,  -4.0098324762e-02, -9.5554513509e-02, -9.8417572537e-02,
    -2.0969810204e-02, 1.3007819774e-01,  3.1113207190e-01,  4.5806644601e-01,  5.1449416690e-01,
};

constexpr int kBaseTaps = 128;
constexpr int kSmoothingTaps = 701;
constexpr int kSmoothingCentre = 350;

constexpr std::array<double, kBaseTaps> make_base_filter() {
    std::array<double, kBaseTaps> base{};
    for (int j = 0; j <= 64; ++j) {
        base[static_cast<size_t>(j)] = kBaseHalf[static_cast<size_t>(j)];
    }
    for (int k = 1; k <= 63; ++k) {
        const int above = 64 + k;
        const int below = 64 - k;
        base[static_cast<size_t>(above)] = kBaseHalf[static_cast<size_t>(below)];
    }
    return base;
}

constexpr std::array<double, kBaseTaps> kBaseFilter = make_base_filter();

// Phase equaliser: all-pass (w^2 - j a w0 w - w0^2) / (w^2 + j a w0 w - w0^2), a = 1.36, w0 = 2 pi 315 kHz,
// on the 128-point grid at four samples per chip (38.4 kHz bins).
constexpr double kEqAlphaOmega0 = 2691716.585595735;
constexpr double kEqOmega0Squared = 3917245986792.3667;
constexpr double kEqBinOmega = 241274.3157956961;

// Stretches a 128-tap prototype (at 4 samples per chip) to K = R/4 times the rate: zero-stuffing by K,
// smoothing with a narrow raised cosine, then normalising the taps to sum 1.
void stretch_and_normalize(double* coef, const double* prototype, double* conv_scratch, int32_t K,
                           int32_t ntaps) {
    std::fill(coef, coef + kFilterBufferLength, 0.0);
    for (int j = 0; j < kBaseTaps; ++j) {
        coef[j * K] = prototype[j];
    }
    if (K > 1) {
        std::array<double, kSmoothingTaps> rc{};
        design_raised_cosine(rc.data(), 0.1, 0.0, 2.0, K, kSmoothingTaps);
        const int32_t stuffed = 127 * K + 1;
        convolve_linear(stuffed, coef, kSmoothingTaps, rc.data(), conv_scratch);
        std::fill(coef, coef + stuffed, 0.0);
        for (int32_t i = 0; i < ntaps; ++i) {
            coef[i] = conv_scratch[kSmoothingCentre + i];
        }
    }
    double sum = 0.0;
    for (int32_t i = 0; i < ntaps; ++i) {
        sum += coef[i];
    }
    for (int32_t i = 0; i < ntaps; ++i) {
        coef[i] /= sum;
    }
}

// Passes the base filter through the phase equaliser; false when the transform had no memory.
bool equalize_base(double* re, double* im) {
    if (dft_any_length(kBaseTaps, re, im, 1) != 0) {
        return false;
    }
    for (int k = 1; k <= 64; ++k) {
        const double w = k * kEqBinOmega;
        const double A = w * w - kEqOmega0Squared;
        const double B = kEqAlphaOmega0 * w;
        const double den = A * A + B * B;
        const double mre = (A * A - B * B) / den;
        const double mim = 2.0 * A * B / den;
        const double xr = re[k];
        const double xi = im[k];
        re[k] = xr * mre + xi * mim;
        im[k] = xi * mre - xr * mim;
    }
    for (int k = 1; k <= 63; ++k) {
        re[kBaseTaps - k] = re[k];
        im[kBaseTaps - k] = -im[k];
    }
    return dft_any_length(kBaseTaps, re, im, 0) == 0;
}

} // namespace

int32_t design_raised_cosine(double* coef, double rolloff, double offset, double gain_sum, int32_t sps,
                             int32_t ntaps) {
    if (sps == 0) {
        return -1;
    }
    if (ntaps % 2 == 0) {
        return -2;
    }
    const double a = rolloff;
    const double pi = std::numbers::pi;
    const int32_t half = (ntaps - 1) / 2;
    double sum = 0.0;
    for (int32_t i = -half; i <= half; ++i) {
        const double t = static_cast<double>(i) / static_cast<double>(sps) + offset;
        const double f = 4.0 * a * a * t * t;
        double h;
        if (std::fabs(t) <= 2.220446049250313e-16) {
            h = 1.0;
        } else if (f >= 0.9999999999999998 && f <= 1.0000000000000002) {
            h = (a / 2.0) * std::sin(pi / (2.0 * a));
        } else {
            h = std::sin(pi * t) * std::cos(a * pi * t) / (pi * t * (1.0 - f));
        }
        coef[i + half] = h;
        sum += h;
    }
    if (sum != 0.0 && sum != gain_sum) {
        const double scale = gain_sum / sum;
        for (int32_t i = 0; i < ntaps; ++i) {
            coef[i] *= scale;
        }
    }
    return 0;
}

int32_t convolve_linear(int32_t n1, const double* x, int32_t n2, const double* h, double* out) {
    if (n1 <= 0) {
        return 1;
    }
    if (n2 <= 0) {
        return 2;
    }
    for (int32_t i = 0; i < n1 + n2 - 1; ++i) {
        double acc = 0.0;
        const int32_t lo = std::max(0, i - n2 + 1);
        const int32_t hi = std::min(i, n1 - 1);
        for (int32_t j = lo; j <= hi; ++j) {
            acc += x[j] * h[i - j];
        }
        out[i] = acc;
    }
    return 0;
}

void reverse_taps(double* coef, int32_t n) {
    if (n > 1) {
        std::reverse(coef, coef + n);
    }
}

namespace {

// A filter's taps depend only on the link, the ratio and the equaliser, so each is designed once per
// process and copied from then on: the design's 701-tap smoothing convolution costs a quarter of a
// ratio-20 frame. The whole coefficient buffer is kept, with the zeros after the taps.
struct DesignedFilter {
    std::vector<double> coef;
    int32_t ntaps = 0;
};

template <class Design> void designed_once(int key, double* coef, int32_t* ntaps_out, Design design) {
    static std::mutex mutex;
    static std::map<int, DesignedFilter> designed;
    {
        std::lock_guard lock(mutex);
        if (const auto found = designed.find(key); found != designed.end()) {
            std::copy(found->second.coef.begin(), found->second.coef.end(), coef);
            *ntaps_out = found->second.ntaps;
            return;
        }
    }
    if (!design()) {
        return; // a makeshift design is used for this call only
    }
    std::lock_guard lock(mutex);
    designed.try_emplace(key,
                         DesignedFilter{std::vector<double>(coef, coef + kFilterBufferLength), *ntaps_out});
}

} // namespace

void build_ul_filter(double* coef, int32_t* ntaps_out, double* scratch, int32_t ratio) {
    designed_once(ratio, coef, ntaps_out, [&] {
        const int32_t K = ratio / 4;
        const int32_t ntaps = 128 * K + 1;
        *ntaps_out = ntaps;
        stretch_and_normalize(coef, kBaseFilter.data(), scratch, K, ntaps);
        return true;
    });
}

void build_dl_filter(double* coef, int32_t* ntaps_out, double* scratch_re, double* scratch_im, int32_t ratio,
                     int32_t equalize) {
    const int key = (equalize == 1 ? 1000 : 2000) + ratio;
    designed_once(key, coef, ntaps_out, [&] {
        const int32_t K = ratio / 4;
        const int32_t ntaps = 128 * K + 1;
        *ntaps_out = ntaps;
        const int32_t cleared = std::max(kBaseTaps, 127 * K + 1);
        std::fill(scratch_re, scratch_re + cleared, 0.0);
        std::fill(scratch_im, scratch_im + cleared, 0.0);
        std::copy(kBaseFilter.begin(), kBaseFilter.end(), scratch_re);
        bool equalized = equalize != 1;
        if (!equalized && !(equalized = equalize_base(scratch_re, scratch_im))) {
            // Without memory for the transform the unequalised filter is the sound fallback.
            std::copy(kBaseFilter.begin(), kBaseFilter.end(), scratch_re);
        }
        stretch_and_normalize(coef, scratch_re, scratch_im, K, ntaps);
        return equalized;
    });
}

} // namespace kestra
