// The floating text file: one line "I,Q" per sample in "%0.14E" form, lines ended by CR LF.
// At the highest oversampling ratio the file is about 120 MB, so lines are formatted straight into a
// large buffer instead of going through printf one value at a time.
#include "wavesave/wavesave.h"

#include "boundary.h"
#include "number_text.h"
#include "output_file.h"

#include <span>
#include <vector>

namespace wavesave {
namespace {

constexpr int decimals = 14;
constexpr std::size_t max_line_chars = 2 * scientific_max_chars(decimals) + 3; // I, comma, Q, CR LF
constexpr std::size_t chunk_bytes = std::size_t{1} << 20;

void write_lines(OutputFile& file, std::span<const IqSample> samples) {
    std::vector<char> chunk(chunk_bytes + max_line_chars);
    char* const flush_mark = chunk.data() + chunk_bytes;
    char* out = chunk.data();
    for (const IqSample& s : samples) {
        out = write_scientific(out, s.i, decimals, true);
        *out++ = ',';
        out = write_scientific(out, s.q, decimals, true);
        *out++ = '\r';
        *out++ = '\n';
        if (out >= flush_mark) {
            file.write({chunk.data(), static_cast<std::size_t>(out - chunk.data())});
            out = chunk.data();
        }
    }
    file.write({chunk.data(), static_cast<std::size_t>(out - chunk.data())});
}

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
            write_lines(file, {samples, static_cast<std::size_t>(sample_count)});
        }
        return file.close() ? WAVESAVE_OK : WAVESAVE_CANNOT_CREATE;
    });
}
