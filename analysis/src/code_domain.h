// Inside the code-domain measurement, for the whole analysis to share the transforms it makes anyway.
#pragma once

#include "analysis/signal_check.h"

#include <vector>

namespace varnika::analysis {

// The line spectrum of `samples` at the chip streams' baseband (offset taken away, I and Q exchanged
// back as `reference` says); `samples_dft`, when given, is the samples' own DFT already made.
std::vector<Complex> baseband_bins(std::span<const Complex> samples, std::span<const Complex> samples_dft,
                                   const Reference& reference, double sample_rate_hz);
// The same for samples the caller gives up: their storage becomes the line spectrum.
std::vector<Complex> baseband_bins(std::vector<Complex>&& samples, const Reference& reference,
                                   double sample_rate_hz);

// Code-domain power from the baseband line spectra of the file and of the ideal waveform.
CodeDomainResult code_domain_from_bins(std::span<const Complex> file_bins,
                                       std::span<const Complex> ideal_bins, const Reference& reference);

} // namespace varnika::analysis
