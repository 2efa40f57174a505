#include "settings/settings_model.h"

#include <safewrite/quiet_thread.h>

#include <sys/mman.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <system_error>

namespace varnika {
namespace {

constexpr std::size_t huge_page_bytes = std::size_t{2} << 20;

// A buffer of `count` T, its size rounded up to whole huge pages, which the kernel is asked to use:
// its first run then takes a few dozen page faults instead of ten thousand. A kernel without them
// simply ignores the advice.
template <class T> RunBuffer<T> huge_buffer(std::size_t count) {
    const std::size_t bytes = (count * sizeof(T) + huge_page_bytes - 1) / huge_page_bytes * huge_page_bytes;
    void* memory = ::operator new (bytes, std::align_val_t{huge_page_bytes});
    madvise(memory, bytes, MADV_HUGEPAGE);
    return RunBuffer<T>(static_cast<T*>(memory));
}

// The part of the work area the largest export uses; the rest is faulted in only if ever needed.
constexpr std::size_t work_bytes_to_warm = KESTRA_DL_WORK_BYTES;

} // namespace

void RunBufferFree::operator()(void* memory) const noexcept {
    ::operator delete (memory, std::align_val_t{huge_page_bytes});
}

RunBuffers make_run_buffers(bool warm) {
    RunBuffers buffers{huge_buffer<IqSample>(waveform_buffer_samples),
                       huge_buffer<IqSample>(chip_buffer_samples), huge_buffer<std::uint8_t>(work_area_bytes),
                       nullptr};
    if (warm) {
        buffers.warm_up = std::make_unique<RunBufferWarmUp>(buffers.waveform.get(), buffers.chips.get(),
                                                            buffers.work.get());
    }
    return buffers;
}

RunBufferWarmUp::RunBufferWarmUp(IqSample* waveform, IqSample* chips, std::uint8_t* work) {
    const std::array<std::span<std::byte>, 3> parts{
        std::as_writable_bytes(std::span(chips, chip_buffer_samples)),
        std::as_writable_bytes(std::span(work, work_bytes_to_warm)),
        std::as_writable_bytes(std::span(waveform, waveform_buffer_samples))};
    // The helper takes no signals: they are handled on the program's own thread.
    try {
        thread_ = safewrite::start_quiet_thread([this, parts] {
            constexpr std::size_t page = 4096;
            for (const std::span<std::byte> part : parts) {
                for (std::size_t at = 0; at < part.size(); at += page) {
                    if (at % huge_page_bytes == 0 && stop_.load(std::memory_order_relaxed)) {
                        return;
                    }
                    // The contents are not kept: every run overwrites what it uses.
                    reinterpret_cast<volatile std::byte&>(part[at]) = std::byte{0};
                }
            }
        });
    } catch (const std::system_error&) {
        // No helper: the run faults its pages in itself.
    }
}

RunBufferWarmUp::~RunBufferWarmUp() {
    stop_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void SettingsModel::adopt_buffers(RunBuffers buffers) {
    waveform_buffer = std::move(buffers.waveform);
    chip_buffer = std::move(buffers.chips);
    work_area = std::move(buffers.work);
    buffer_warm_up = std::move(buffers.warm_up);
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
