#include "settings/settings_model.h"

#include <sys/mman.h>

#include <cstdint>

namespace varnika {
namespace {

// Asks for huge pages over the whole 2 MiB extents of a large buffer: its first run then takes a few
// dozen page faults instead of ten thousand. A kernel without them simply ignores the advice.
void advise_huge_pages(void* buffer, std::size_t bytes) {
    constexpr std::uintptr_t huge = std::uintptr_t{2} << 20;
    const auto begin = (reinterpret_cast<std::uintptr_t>(buffer) + huge - 1) & ~(huge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(buffer) + bytes) & ~(huge - 1);
    if (end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
}

} // namespace

void SettingsModel::allocate_buffers() {
    // Not zeroed: every run overwrites what it uses, and untouched pages cost nothing at start-up.
    waveform_buffer = std::make_unique_for_overwrite<IqSample[]>(waveform_buffer_samples);
    chip_buffer = std::make_unique_for_overwrite<IqSample[]>(chip_buffer_samples);
    work_area = std::make_unique_for_overwrite<std::uint8_t[]>(work_area_bytes);
    advise_huge_pages(waveform_buffer.get(), waveform_buffer_samples * sizeof(IqSample));
    advise_huge_pages(work_area.get(), work_area_bytes);
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
