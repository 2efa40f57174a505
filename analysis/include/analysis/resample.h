// Bringing a capture to a whole number of samples per chip, the rate the signal check measures at. A
// recording from an analyser or a software radio is often taken at a rate of its own (10 MHz, 15.36 MHz);
// it is resampled with one of libsamplerate's sinc converters.
#pragma once

#include "analysis/signal_check.h"

namespace varnika::analysis {

// libsamplerate's sinc converters. On the 2-core test machine a four-frame capture at 15.36 MHz (1.6 million
// samples) takes about 1.7 s of processor time with `best` (flat over 97 % of the band, 144 dB down beyond),
// 0.56 s with `medium` (90 %, 121 dB) and 0.24 s with `fastest` (80 %, 97 dB); a cdma2000 carrier and its
// emission offsets up to 1.98 MHz lie well inside the flat band of each at any rate above 5 MHz. What each
// leaves in the signal check of a noise-free four-frame capture of Test Model 2 at 15.36 MHz: EVM 0.0001 %
// (best), 0.0005 % (medium), 0.0013 % (fastest), the origin offset below -140 dB and the +/-1.98 MHz
// emissions near -132 dBc (0.3 dB higher with `fastest`), the other figures alike to their printed digits;
// a capture of 14-bit AWG words measures EVM 0.0257 % and rho 0.99999993 with each.
enum class ResampleQuality { best, medium, fastest };

// Whether `rate_hz` is a whole multiple of the chip rate, to one part in 10^7 (an AWG header writes its
// rate with seven digits).
bool is_chip_multiple(double rate_hz);

// The samples per chip a capture at `rate_hz` is brought to: the nearest whole number at or above the
// capture's own, so that nothing of the captured band is lost (15.36 MHz, 12.5 samples per chip, becomes
// 13; 10 MHz becomes 9; below the chip rate, 1). A whole multiple keeps its number.
int chip_multiple_at_or_above(double rate_hz);

// The capture at chip_multiple_at_or_above(its rate) x the chip rate, its sampling rate set exactly so;
// a capture already at a whole multiple comes back as it is. The first and last few hundred output samples
// carry the converter's start and end (the capture is not taken as periodic). Throws std::invalid_argument
// for a capture without samples or with a rate outside 1 kHz to 100 GHz, and std::runtime_error when the
// converter fails.
Waveform resample_to_chip_multiple(const Waveform& capture, ResampleQuality quality = ResampleQuality::best);

// The capture resampled to `rate_hz` (at most 256 times above or below its own rate), the same converter;
// round(count x rate_hz / its rate) samples. A long capture at a rate of whole hertz is converted in parts
// on a thread per processor (up to four), each part's converter started on an input sample where the whole
// converter's outputs fall on whole output samples, so the parts give the samples one converter gives.
// Throws as above.
Waveform resample(const Waveform& capture, double rate_hz, ResampleQuality quality = ResampleQuality::best);

} // namespace varnika::analysis
