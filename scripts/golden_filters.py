#!/usr/bin/python3
"""Golden taps of the pulse-shaping filters, computed independently of the library with numpy.

    /usr/bin/python3 scripts/golden_filters.py > synth/tests/golden/filters.txt

Writes one block per filter: a line "name count", then the taps (in filter order, before the
reversal the interpolator applies), one per line, with 17 significant digits.

Recipe:
  * base filter: 128 taps at four samples per chip, the stored first half (taps 0..64) mirrored
    about tap 64 (tap 64 + k = tap 64 - k);
  * forward-link phase equaliser (optional): the all-pass
        H(w) = (w^2 - j a w0 w - w0^2) / (w^2 + j a w0 w - w0^2),  a = 1.36, w0 = 2 pi 315 kHz,
    applied to bins 1..64 of the base filter's 128-point DFT (bin spacing 4 x 1.2288 MHz / 128 =
    38.4 kHz), bins 65..127 set to the conjugates of bins 63..1, the inverse DFT's real part kept;
  * stretch to R = 4K samples per chip: zero-stuff by K, convolve with a 701-tap raised cosine of
    roll-off 0.1 at K samples per symbol (taps summing to 2), keep 128K + 1 taps from index 350,
    scale to unit sum (K = 1: the prototype itself, scaled to unit sum, plus a zero tap 128);
  * second stage above ratio 20: a raised cosine of roll-off 0.2, 64 x sps + 1 taps at
    sps = ratio / 4 samples per symbol, scaled to unit sum.
"""
import numpy as np

BASE_HALF = [
    2.8911969344e-06, 1.0598704748e-06, -3.0093458807e-06, -1.1452725779e-06, 2.7736818514e-06,
    1.1072295663e-06, -2.0518106150e-06, -8.9699968930e-07, 6.9280154520e-07, 4.6027116380e-07,
    1.4741400329e-06, 2.6259392250e-07, -4.6424527583e-06, -1.3367073560e-06, 9.0335843265e-06,
    2.8335587505e-06, -1.4906789234e-05, -4.8332244908e-06, 2.2576502478e-05, 7.4287371352e-06,
    -3.2442910861e-05, -1.0734005207e-05, 4.5046356857e-05, 1.4897633049e-05, -6.1167006111e-05,
    -2.0126726881e-05, 8.2016218850e-05, 2.6727778434e-05, -1.0962932702e-04, -3.5175777702e-05,
    1.4774801989e-04, 4.6219857638e-05, -2.0406020124e-04, -6.0954086421e-05, 2.9694075804e-04,
    8.0008013330e-05, -4.8162178920e-04, -9.2224600018e-05, 1.0086990033e-03, -1.5837320052e-04,
    -6.0537139593e-03, -1.4511277943e-02, -1.9259743744e-02, -1.4593585718e-02, 6.5145297831e-04,
    2.2049694866e-02, 4.0541034345e-02, 4.5652161285e-02, 3.1699219706e-02, 3.6682527517e-03,
    -2.3147619341e-02, -3.1454714781e-02, -1.3196751439e-02, 2.3523052144e-02, 5.6475285576e-02,
    6.0626769149e-02, 2.4114830276e-02, -4.0098324762e-02, -9.5554513509e-02, -9.8417572537e-02,
    -2.0969810204e-02, 1.3007819774e-01, 3.1113207190e-01, 4.5806644601e-01, 5.1449416690e-01,
]


def base_filter():
    half = np.array(BASE_HALF)
    return np.concatenate([half, half[63:0:-1]])


def equalised(base):
    spectrum = np.fft.fft(base)
    k = np.arange(1, 65)
    w = 2 * np.pi * 38.4e3 * k
    w0 = 2 * np.pi * 315e3
    a = 1.36
    spectrum[1:65] *= (w**2 - 1j * a * w0 * w - w0**2) / (w**2 + 1j * a * w0 * w - w0**2)
    spectrum[65:] = np.conj(spectrum[63:0:-1])
    return np.fft.ifft(spectrum).real


def raised_cosine(rolloff, sps, ntaps, total):
    t = np.arange(-(ntaps // 2), ntaps // 2 + 1) / sps
    singular = np.isclose(np.abs(2 * rolloff * t), 1.0, rtol=0, atol=1e-12)
    h = np.sinc(t) * np.cos(np.pi * rolloff * t) / np.where(singular, 1.0, 1 - (2 * rolloff * t) ** 2)
    h[singular] = np.pi / 4 * np.sinc(1 / (2 * rolloff))
    return h * (total / h.sum())


def link_filter(ratio, equalise):
    proto = base_filter()
    if equalise:
        proto = equalised(proto)
    k = ratio // 4
    ntaps = 128 * k + 1
    if k == 1:
        taps = np.append(proto, 0.0)
    else:
        stuffed = np.zeros(127 * k + 1)
        stuffed[::k] = proto
        taps = np.convolve(stuffed, raised_cosine(0.1, k, 701, 2.0))[350:350 + ntaps]
    return taps / taps.sum()


def main():
    blocks = []
    for ratio in (4, 8, 16):
        blocks.append((f"link_{ratio}", link_filter(ratio, False)))
        blocks.append((f"link_equalised_{ratio}", link_filter(ratio, True)))
    for ratio in (32, 80):
        sps = ratio // 4
        blocks.append((f"second_stage_{ratio}", raised_cosine(0.2, sps, 64 * sps + 1, 1.0)))
    for name, taps in blocks:
        print(name, len(taps))
        for v in taps:
            print(f"{v:.17g}")


if __name__ == "__main__":
    main()
