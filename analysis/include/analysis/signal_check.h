// Signal check of a waveform file or a capture, done as a test receiver does it: the frame is found by
// correlation with the link's pilot, the frequency error, carrier phase and amplitude are measured and
// taken away, then rho / EVM / origin offset at the chip decision points after the receive filter,
// code-domain power per code (and per branch on the reverse link), the emissions at the conducted
// emission offsets, the channel power ratios, CCDF and PAPR. Plain C++ on FFTW; no toolkit.
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
// Inactive codes are looked for at this Walsh length (forward link) and at reverse_walsh_length on
// each branch of the reverse link.
inline constexpr int noise_floor_walsh_length = 128;
inline constexpr int reverse_walsh_length = 64;
// Emissions: power in 30 kHz at these offsets from the carrier, relative to the total power.
inline constexpr std::array<double, 6> emission_offsets_hz{-1.98e6, -885e3, -750e3, 750e3, 885e3, 1.98e6};
inline constexpr std::array<const char*, 6> emission_names{"-1.98MHz", "-885kHz", "-750kHz",
                                                           "+750kHz",  "+885kHz", "+1.98MHz"};
// A code is taken as active by the detection when its power is at least this far below the total.
inline constexpr double detect_threshold_db = -27.0;
// The samples per chip the receiver works at (fewer when the file has fewer).
inline constexpr int working_ratio = 4;

// The samples of one waveform file, at the file's sampling rate.
struct Waveform {
    std::vector<Complex> samples;
    double sample_rate_hz = 0.0;
};

enum class Link {
    forward,
    reverse,          // RC3/RC4 and RC7: channels on the I or Q branch, each with its Walsh cover
    reverse_no_codes, // RC1/RC2: no code channels
};

// One code channel as the settings set it up, or as the detection found it.
struct CodeChannel {
    std::string type; // "F-FCH"
    std::string name; // as the channel table names it: "F-FCH 1"
    int row = 0;      // the channel table's row
    int walsh_length = 0;
    int walsh_number = 0;
    std::optional<double> set_db; // set power relative to the total power; nothing when detected
    std::string branch;           // "I" or "Q" on the reverse link, empty on the forward link
};

// What the synthesis makes from the settings, at baseband (no frequency error, no IF), at
// `oversampling` samples per chip; the receiver brings it to the file's rate itself.
struct Reference {
    Link link = Link::forward;
    // The ideal frame; empty when only the codes are to be detected.
    std::vector<Complex> waveform;
    // The pilot alone, filtered as the link filters it, and its chips (the frame's complex short PN,
    // I and Q exchanged when that is set). The frame is found with them and the transmit filter learnt.
    std::vector<Complex> pilot;
    std::vector<Complex> pn;
    std::vector<CodeChannel> channels;
    int oversampling = working_ratio;
    int offset_mode = 0;    // 1 frequency error, 2 IF conversion (a real signal), other: none
    double offset_hz = 0.0; // the frequency error or the IF of offset_mode
    bool iq_inverse = false;
    bool detect = false; // find the active codes instead of measuring the set channels
};

// Where the frame starts and how the carrier is found, measured against the ideal (or the pilot).
struct Acquisition {
    double time_offset_chips = 0.0;  // the first whole frame starts this many chips after sample 0
    double frequency_error_hz = 0.0; // against the nominal carrier (0 Hz, or the IF of an IF file)
    double phase_deg = 0.0;          // carrier phase at sample 0
    double amplitude_db = 0.0;       // the file's amplitude against the ideal's
    double peak_ratio = 0.0;         // correlation peak against the mean correlation
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
    double aclr_lower_db = 0.0; // channel power ratio at -1.25 MHz
    double aclr_upper_db = 0.0; // +1.25 MHz
    std::array<double, emission_offsets_hz.size()> emissions_dbc{};
    bool welch = false; // an averaged, windowed spectrum rather than the line spectrum of one frame
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
    // Every code at length `walsh_length`, dB relative to the total (forward link: the complex code; the
    // reverse link: its I branch, and `q_powers_db` its Q branch); and the largest on a code no active
    // channel covers (nothing when all are covered).
    int walsh_length = 0;
    std::vector<double> code_powers_db;
    std::vector<bool> code_active;
    std::vector<double> q_powers_db;
    std::vector<bool> q_active;
    // Forward link: every code at length 64 as well.
    std::vector<double> powers_64_db;
    std::optional<double> noise_floor_db;
};

struct QualityResult {
    double rho = 0.0;
    double evm_percent = 0.0;
    double origin_offset_db = -300.0;
};

struct Result {
    double sample_rate_hz = 0.0;
    std::size_t sample_count = 0;
    CcdfResult ccdf;
    SpectrumResult spectrum;
    std::optional<Acquisition> acquisition;      // when the frame was found
    std::optional<QualityResult> quality;        // when the frame was found against the ideal
    std::optional<CodeDomainResult> code_domain; // when the frame was found on a link with codes
    std::string reference_problem;               // why the reference could not be used
    std::string code_domain_note;                // why there is no code-domain power
};

// 0 .. 100 as the analysis goes on.
using Progress = std::function<void(int percent)>;

// The whole analysis. `carrier_hz` is the nominal carrier (the IF when the file was IF-converted);
// `real_signal` says the file carries only I (IF conversion). Without a reference (or when the file
// cannot be compared) only the CCDF and the spectrum are measured.
Result analyse(const Waveform& waveform, const Reference* reference, double carrier_hz, bool real_signal,
               const Progress& progress = {});

// The receiver's own steps, for the whole analysis and for tests.
struct Reception {
    Acquisition acquisition;
    std::optional<QualityResult> quality;
    std::optional<CodeDomainResult> code_domain;
    std::string problem; // why nothing was measured
};
// `samples`: the file's first frame's worth of samples (ratio x frame_chips), `bins` their DFT.
Reception receive(std::span<const Complex> samples, std::span<const Complex> bins, int ratio,
                  const Reference& reference, double carrier_hz, bool real_signal);

// Fraction of samples of Gaussian noise whose power exceeds the mean by `db` (complex, or real for an
// IF signal).
double gaussian_ccdf(double db, bool real_signal);

// The single measurements, on samples or on the frame's line spectrum.
CcdfResult measure_ccdf(std::span<const Complex> samples);
// `bins`: the DFT of the whole frame, as FFTW orders it.
SpectrumResult measure_spectrum(std::span<const Complex> bins, double sample_rate_hz, double carrier_hz,
                                bool real_signal);
// The same from the power of each bin, as FFTW orders them (a line spectrum or an averaged one).
SpectrumResult measure_spectrum_power(std::span<const double> power, double sample_rate_hz, double carrier_hz,
                                      bool real_signal);
// Welch's averaged spectrum of a capture that is not one periodic frame: Hann-windowed segments of a
// power-of-two length fine enough for the 30 kHz resolution, half overlapping. Power per bin, FFTW order.
std::vector<double> welch_power(std::span<const Complex> samples, double sample_rate_hz);
// Normalised correlation at matched points: rho, EVM and the error's mean (origin offset).
QualityResult measure_quality(std::span<const Complex> samples, std::span<const Complex> ideal);

// In-place DFT of any length (FFTW), unnormalised.
void forward_dft(std::span<Complex> data);
void inverse_dft(std::span<Complex> data);
// The DFT of `input` into `output` of the same length, leaving `input` as it was.
void forward_dft(std::span<const Complex> input, std::span<Complex> output);

// dB of a power ratio; a ratio of zero gives -300 dB rather than minus infinity.
double power_db(double ratio);

} // namespace varnika::analysis
