// The floating text file: one line "I,Q" per sample in "%0.14E" form, lines ended by CR LF.
// At the highest oversampling ratio the file is about 120 MB, so lines are formatted straight into
// blocks of text, by two threads, instead of going through printf one value at a time.
#include "wavesave/wavesave.h"

#include "boundary.h"
#include "number_text.h"
#include "output_file.h"

#include <safewrite/quiet_thread.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <span>
#include <system_error>
#include <thread>
#include <vector>

namespace wavesave {
namespace {

constexpr int decimals = 14;
constexpr std::size_t max_line_chars = 2 * scientific_max_chars(decimals) + 3; // I, comma, Q, CR LF
constexpr std::size_t block_samples = 16384;                                   // about 750 kB of text
constexpr std::size_t block_bytes = block_samples * max_line_chars;
constexpr std::size_t slots = 4; // blocks in flight between the two formatters and the writer

// Formats one block of lines into `out`; returns the end of the text.
char* format_lines(char* out, std::span<const IqSample> samples) {
    for (const IqSample& s : samples) {
        out = write_scientific(out, s.i, decimals, true);
        *out++ = ',';
        out = write_scientific(out, s.q, decimals, true);
        *out++ = '\r';
        *out++ = '\n';
    }
    return out;
}

// The text of a large waveform is formatted by two threads: a helper formats the odd blocks ahead,
// the calling thread the even ones, and the calling thread writes every block in order. The text is the
// same as one thread makes; a helper that cannot be started leaves the work to the calling thread.
class BlockFormatter {
public:
    BlockFormatter(OutputFile& file, std::span<const IqSample> samples)
        : file_(file), samples_(samples), blocks_((samples.size() + block_samples - 1) / block_samples),
          text_(slots * block_bytes) {}

    void run() {
        start_helper();
        for (std::size_t block = 0; block < blocks_ && file_.ok(); ++block) {
            if (block % 2 == 0 || !helper_.joinable()) {
                format(block);
            } else {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return formatted_odd_ > block; });
            }
            file_.write({slot(block), ends_[block % slots]});
            std::lock_guard lock(mutex_);
            written_ = block + 1;
            changed_.notify_all();
        }
        if (helper_.joinable()) {
            {
                std::lock_guard lock(mutex_);
                stop_ = true;
                changed_.notify_all();
            }
            helper_.join();
        }
    }

private:
    char* slot(std::size_t block) { return text_.data() + (block % slots) * block_bytes; }

    void format(std::size_t block) {
        const auto part = samples_.subspan(block * block_samples,
                                           std::min(block_samples, samples_.size() - block * block_samples));
        ends_[block % slots] = static_cast<std::size_t>(format_lines(slot(block), part) - slot(block));
    }

    void start_helper() {
        if (blocks_ < 2 * slots) {
            return;
        }
        // The helper takes no signals: they are handled where the file's owner expects them.
        try {
            helper_ = safewrite::start_quiet_thread([this] { format_odd_blocks(); });
        } catch (const std::system_error&) {
            // One thread does it all.
        }
    }

    void format_odd_blocks() {
        for (std::size_t block = 1; block < blocks_; block += 2) {
            {
                // The slot is free once the block that used it last has been written.
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return stop_ || written_ + slots > block; });
                if (stop_) {
                    return;
                }
            }
            format(block);
            std::lock_guard lock(mutex_);
            formatted_odd_ = block + 1;
            changed_.notify_all();
        }
    }

    OutputFile& file_;
    std::span<const IqSample> samples_;
    std::size_t blocks_;
    std::vector<char> text_;
    std::array<std::size_t, slots> ends_{};
    std::thread helper_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t written_ = 0;       // blocks written to the file
    std::size_t formatted_odd_ = 0; // one past the last odd block the helper has formatted
    bool stop_ = false;
};

} // namespace
} // namespace wavesave

extern "C" int32_t save_ASCII_data_file(const char* file_name, const IqSample* samples,
                                        int32_t sample_count) {
    using namespace wavesave;
    return guarded(WAVESAVE_CANNOT_CREATE, [&] {
        if (samples == nullptr && sample_count > 0) {
            return WAVESAVE_CANNOT_CREATE;
        }
        OutputFile file(file_name);
        if (!file.is_open()) {
            return WAVESAVE_CANNOT_CREATE;
        }
        if (sample_count > 0) {
            BlockFormatter(file, {samples, static_cast<std::size_t>(sample_count)}).run();
        }
        return file.close() ? WAVESAVE_OK : WAVESAVE_CANNOT_CREATE;
    });
}
