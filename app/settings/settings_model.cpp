#include "settings/settings_model.h"

namespace varnika {

void SettingsModel::allocate_buffers() {
    // Not zeroed: every run overwrites what it uses, and untouched pages cost nothing at start-up.
    waveform_buffer = std::make_unique_for_overwrite<IqSample[]>(waveform_buffer_samples);
    chip_buffer = std::make_unique_for_overwrite<IqSample[]>(chip_buffer_samples);
    work_area = std::make_unique_for_overwrite<std::uint8_t[]>(work_area_bytes);
}

void SettingsModel::set_oversampling(int link, int ratio) {
    const double rate = ratio * chip_rate_hz;
    const std::int32_t size = ratio * frame_chips;
    if (link == downlink_item) {
        DL_SamplingRate = rate;
        DL_DataSize = size;
    } else {
        UL_SamplingRate = rate;
        UL_DataSize = size;
    }
}

} // namespace varnika
