// Signal check of a finished waveform file: CCDF and PAPR, the line spectrum with its occupied bandwidth
// and adjacent channel power ratios, forward-link code-domain power, and rho / EVM against the ideal
// waveform made again from the same settings. Plain C++ on FFTW; no toolkit.
#pragma once

#include <kestra/air_interface.h>

#include <array>
#include <complex>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace varnika::analysis {

using Complex = std::complex<double>;

inline constexpr int frame_chips = kestra::air::frame_chips;
inline constexpr double chip_rate_hz = kestra::air::chip_rate_hz;
// Probabilities of the CCDF table, in percent.
inline constexpr std::array<double, 5> ccdf_percents{10.0, 1.0, 0.1, 0.01, 0.001};
// The CCDF curve runs from 0 dB to 15 dB above the mean power in 0.1 dB steps.
inline constexpr int ccdf_points = 151;
inline constexpr double ccdf_step_db = 0.1;
// Adjacent channels: 1.2288 MHz wide, centred 1.25 MHz either side of the carrier.
inline constexpr double channel_bandwidth_hz = 1228800.0;
inline constexpr double adjacent_offset_hz = 1250000.0;
inline constexpr double psd_resolution_hz = 30000.0;
// Inactive codes are looked for at this Walsh length.
inline constexpr int noise_floor_walsh_length = 128;

// The samples of one waveform file, at the file's sampling rate.
struct Waveform {
    std::vector<Complex> samples;
    double sample_rate_hz = 0.0;
};

// One forward-link code channel as the settings set it up.
struct CodeChannel {
    std::string type; // "F-FCH"
    int row = 0;      // the channel table's row
    int walsh_length = 0;
    int walsh_number = 0;
    double set_db = 0.0; // set power relative to the total power
};

// What the synthesis makes from the same settings as the file.
struct Reference {
    std::vector<Complex> waveform; // the ideal samples, as many as the file holds
    // Forward link only (empty otherwise): the chip-rate frame the waveform was filtered from, as the
    // synthesis hands it back (PN-spread, I/Q exchanged when that is set), and the complex short PN of
    // the frame (the pilot's chips alone).
    std::vector<Complex> chips;
    std::vector<Complex> pn;
    std::vector<CodeChannel> channels;
    int oversampling = 0;
    int offset_mode = 0;    // 1 frequency error, 2 IF conversion (a real signal), other: none
    double offset_hz = 0.0; // the frequency error or the IF of offset_mode
    bool iq_inverse = false;
};

struct CcdfResult {
    double mean_power = 0.0;
    double papr_db = 0.0;
    // Fraction of samples whose power exceeds the mean by k * 0.1 dB, k = 0 .. 150.
    std::array<double, ccdf_points> curve{};
    // dB above the mean power exceeded by ccdf_percents of the samples.
    std::array<double, ccdf_percents.size()> levels_db{};
};

struct SpectrumResult {
    double carrier_hz = 0.0;
    double occupied_bw_hz = 0.0;
    double aclr_lower_db = 0.0; // -1.25 MHz
    double aclr_upper_db = 0.0; // +1.25 MHz
    // The power spectral density smoothed to a 30 kHz resolution bandwidth: frequency, dB relative to
    // the total power, around the carrier.
    std::vector<std::pair<double, double>> psd;
};

struct CodePower {
    CodeChannel channel;
    double measured_db = 0.0; // relative to the total power
};

struct CodeDomainResult {
    std::vector<CodePower> channels;
    // Every code at length noise_floor_walsh_length, dB relative to the total; and the largest on a code
    // no active channel covers (nothing when all are covered).
    std::vector<double> code_powers_db;
    std::vector<bool> code_active;
    std::optional<double> noise_floor_db;
};

struct QualityResult {
    double rho = 0.0;
    double evm_percent = 0.0;
};

struct Result {
    double sample_rate_hz = 0.0;
    std::size_t sample_count = 0;
    CcdfResult ccdf;
    SpectrumResult spectrum;
    std::optional<QualityResult> quality;        // when a reference was given
    std::optional<CodeDomainResult> code_domain; // forward link with a reference
    std::string reference_problem;               // why the reference could not be used
};

// 0 .. 100 as the analysis goes on.
using Progress = std::function<void(int percent)>;

// The whole analysis. `carrier_hz` is the frequency the adjacent channels are taken around (the IF when
// the file was IF-converted); `real_signal` says the file carries only I (IF conversion).
Result analyse(const Waveform& waveform, const Reference* reference, double carrier_hz, bool real_signal,
               const Progress& progress = {});
// The same with a reference the analysis may use up: the ideal waveform's storage is taken over for its
// line spectrum, which saves a buffer of the frame's size.
Result analyse(const Waveform& waveform, Reference&& reference, double carrier_hz, bool real_signal,
               const Progress& progress = {});

// The single measurements, on samples or on the frame's line spectrum.
CcdfResult measure_ccdf(std::span<const Complex> samples);
// `bins`: the DFT of the whole frame, as FFTW orders it.
SpectrumResult measure_spectrum(std::span<const Complex> bins, double sample_rate_hz, double carrier_hz,
                                bool real_signal);
QualityResult measure_quality(std::span<const Complex> samples, std::span<const Complex> ideal);
// Code-domain power of `samples` against `reference` (a forward-link reference of the same length);
// `samples_dft`, when given, is the samples' DFT already made.
CodeDomainResult measure_code_domain(std::span<const Complex> samples, const Reference& reference,
                                     double sample_rate_hz, std::span<const Complex> samples_dft = {});

// In-place DFT of any length (FFTW), unnormalised.
void forward_dft(std::span<Complex> data);
void inverse_dft(std::span<Complex> data);
// The DFT of `input` into `output` of the same length, leaving `input` as it was.
void forward_dft(std::span<const Complex> input, std::span<Complex> output);

// dB of a power ratio; a ratio of zero gives -300 dB rather than minus infinity.
double power_db(double ratio);

} // namespace varnika::analysis
