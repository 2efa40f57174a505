// The program-wide settings model: what the window's fields do not hold themselves. Selections that
// several handlers need, values derived from the fields, the marker table, the tester address, transient
// flags, the parameter records handed to the synthesis library and the generation buffers.
#pragma once

#include <kestra/kestra.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace varnika {

// The two links, numbered as the items of the two-item field groups and the columns of MarkerTable.
inline constexpr int uplink_item = 0;
inline constexpr int downlink_item = 1;

// Rows of MarkerTable.
enum MarkerEntry : int { Mark1Mod = 0, Mark1Sta, Mark1Hig, Mark2Mod, Mark2Sta, Mark2Hig };

inline constexpr double chip_rate_hz = 1.2288e6;
inline constexpr std::int32_t frame_chips = FRAME_CHIPS;

// The oversampling ratios offered by both links' oversampling lists, in list order.
inline const std::vector<std::string> oversampling_items{"4", "8", "12", "16", "20", "32", "48", "64", "80"};
inline constexpr int default_oversampling_item = 4; // "20"

inline constexpr int max_oversampling = 80;
inline constexpr std::size_t waveform_buffer_samples = max_oversampling * FRAME_CHIPS + 1;
inline constexpr std::size_t chip_buffer_samples = FRAME_CHIPS + 1;
inline constexpr std::size_t work_area_bytes = KESTRA_WORK_BYTES;

// Frees a generation buffer.
struct RunBufferFree {
    void operator()(void* memory) const noexcept;
};
template <class T> using RunBuffer = std::unique_ptr<T[], RunBufferFree>;

// Touches the pages of fresh run buffers on a helper thread while the program starts up, so that the
// first run does not stop for their page faults (tens of milliseconds for the ratio-80 buffers on a
// virtual machine). Stops at the next 2 MiB step when destroyed; what it has not reached is faulted in
// by the run as usual.
class RunBufferWarmUp {
public:
    RunBufferWarmUp(IqSample* waveform, IqSample* chips, std::uint8_t* work);
    ~RunBufferWarmUp();
    RunBufferWarmUp(const RunBufferWarmUp&) = delete;
    RunBufferWarmUp& operator=(const RunBufferWarmUp&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The three buffers every generation run works in: the waveform, the chip copy and the synthesis
// library's work area. Not zeroed (every run overwrites what it uses), and aligned to 2 MiB so that
// huge pages can back all of the two large ones.
struct RunBuffers {
    RunBuffer<IqSample> waveform;
    RunBuffer<IqSample> chips;
    RunBuffer<std::uint8_t> work;
    // Set while a warm-up runs over them; it is stopped before the buffers are freed.
    std::unique_ptr<RunBufferWarmUp> warm_up;
};
// With `warm`, a helper thread starts touching their pages at once (RunBufferWarmUp).
RunBuffers make_run_buffers(bool warm = false);

struct SettingsModel {
    std::int32_t link_flag = 0;    // 0 "Uplink(Reverse)", 1 "Downlink(Forward)"
    std::int32_t Uplink_Tab = 0;   // selected page of the uplink tab set
    std::int32_t Downlink_Tab = 0; // selected page of the downlink tab set
    std::string HostName;
    std::string IPadress1;
    std::string IPadress2;
    std::string IPadress3;
    std::string IPadress4;
    std::int32_t SaveMode = 0;    // 0 this computer, 1 the tester's waveform folder
    std::int32_t IPaddressUL = 0; // 0 tester given by IP address, 1 by host name
    std::int32_t UL_CH_flag = 0;  // 0 RC1/RC2, 1 RC3/RC4 group, 2 RC3/RC4/RC7 group
    std::int32_t ul_df_flag = 0;  // uplink frequency offset: 0 none, 1 frequency error, 2 IF conversion
    std::int32_t dl_df_flag = 0;  // the downlink twin

    // [entry][link]: mode, start and high period of both markers for the uplink (0) and downlink (1).
    std::array<std::array<std::int32_t, 2>, 6> MarkerTable{};

    double UL_SamplingRate = 0.0; // Hz
    std::int32_t UL_DataSize = 0; // samples
    double DL_SamplingRate = 0.0;
    std::int32_t DL_DataSize = 0;

    std::int16_t tester_mode_flag = 0;
    bool loading_flag = false;
    bool save_flag = false;
    bool quit_flag = false;
    std::array<std::int16_t, 4> IpOctets{};
    std::string TesterFolder;
    std::vector<std::string> FileLines; // line buffer of the uplink and downlink settings-file readers

    // Filled from the uplink panel just before a reverse-link generation.
    Rc34Params rc34_params{};
    Rc7Params rc7_params{};
    // Filled from the downlink panel just before a forward-link generation.
    DlParams dl_params{};

    // The generation buffers, allocated once at start-up and reused by every run.
    RunBuffer<IqSample> waveform_buffer;
    RunBuffer<IqSample> chip_buffer;
    RunBuffer<std::uint8_t> work_area;
    std::unique_ptr<RunBufferWarmUp> buffer_warm_up; // stopped before a run uses the buffers

    void allocate_buffers() { adopt_buffers(make_run_buffers()); }
    void adopt_buffers(RunBuffers buffers);

    double sampling_rate(int link) const { return link == downlink_item ? DL_SamplingRate : UL_SamplingRate; }
    std::int32_t data_size(int link) const { return link == downlink_item ? DL_DataSize : UL_DataSize; }
    // Sets the link's sampling rate and data size for `ratio` samples per chip.
    void set_oversampling(int link, int ratio);
};

} // namespace varnika
