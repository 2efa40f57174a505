// The configuration file of one link: a header line, then one "key:value" line per record field in a
// fixed order. The order is listed once, in link_fields(), and both the writer and the reader walk it.
#include "wavesave/wavesave.h"

#include "boundary.h"
#include "number_text.h"

#include <safewrite/safe_file.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace wavesave {
namespace {

enum class FieldKind { Double, Int16, Int32 };

struct ConfigField {
    std::string key;
    std::size_t offset; // from the start of ConfigRecord
    FieldKind kind;
};

// Where one link's fields lie in ConfigRecord.
struct LinkLayout {
    const char* header;
    std::size_t common;
    std::size_t sample_rate;
    std::size_t scrambling_no;
    std::size_t data_num;
    std::size_t total_multiples;
    std::size_t channel_index;
    std::size_t channel_types;
    int channel_type_count;
    std::size_t channels;
    int channel_count;
    bool downlink;
};

constexpr LinkLayout uplink_layout{"3GPP_Uplink_Configuration_File",
                                   offsetof(ConfigRecord, ul_common),
                                   offsetof(ConfigRecord, ul_sample_rate),
                                   offsetof(ConfigRecord, ul_scrambling_no),
                                   offsetof(ConfigRecord, ul_data_num),
                                   offsetof(ConfigRecord, ul_total_multiples),
                                   offsetof(ConfigRecord, ul_channel_index),
                                   offsetof(ConfigRecord, ul_channel_types),
                                   WAVESAVE_UL_CHANNEL_TYPES,
                                   offsetof(ConfigRecord, ul_channels),
                                   WAVESAVE_UL_CHANNELS,
                                   false};

constexpr LinkLayout downlink_layout{"3GPP_Downlink_Configuration_File",
                                     offsetof(ConfigRecord, dl_common),
                                     offsetof(ConfigRecord, dl_sample_rate),
                                     offsetof(ConfigRecord, dl_scrambling_no),
                                     offsetof(ConfigRecord, dl_data_num),
                                     offsetof(ConfigRecord, dl_total_multiples),
                                     offsetof(ConfigRecord, dl_channel_index),
                                     offsetof(ConfigRecord, dl_channel_types),
                                     WAVESAVE_DL_CHANNEL_TYPES,
                                     offsetof(ConfigRecord, dl_channels),
                                     WAVESAVE_DL_CHANNELS,
                                     true};

// Only the low 16 bits of the link argument count: 1 is the uplink, anything else the downlink.
const LinkLayout& layout_of(std::int32_t link) {
    return static_cast<std::int16_t>(link) == 1 ? uplink_layout : downlink_layout;
}

std::string indexed(const char* name, int index, const char* suffix = "") {
    return std::string(name) + "[" + std::to_string(index) + "]" + suffix;
}

// Every line after the header, in file order.
std::vector<ConfigField> link_fields(const LinkLayout& link) {
    using K = FieldKind;
    std::vector<ConfigField> fields;
    const auto add = [&fields](std::string key, std::size_t offset, FieldKind kind) {
        fields.push_back({std::move(key), offset, kind});
    };
    const std::size_t c = link.common;
    add("freq_error", c + offsetof(ConfigLinkBlock, freq_error), K::Double);
    add("if_conversion", c + offsetof(ConfigLinkBlock, if_conversion), K::Double);
    add("filter_type", c + offsetof(ConfigLinkBlock, filter_type), K::Int16);
    add("filter_len", c + offsetof(ConfigLinkBlock, filter_len), K::Int16);
    add("over_sample", c + offsetof(ConfigLinkBlock, over_sample), K::Int16);
    add("signal_length", c + offsetof(ConfigLinkBlock, signal_length), K::Int16);
    add("iq_inverse", c + offsetof(ConfigLinkBlock, iq_inverse), K::Int16);
    add("freq_offset_type", c + offsetof(ConfigLinkBlock, freq_offset_type), K::Int16);
    add("marker1_sw", c + offsetof(ConfigLinkBlock, marker1_sw), K::Int16);
    add("marker1_st", c + offsetof(ConfigLinkBlock, marker1_st), K::Int32);
    add("marker1_hi", c + offsetof(ConfigLinkBlock, marker1_hi), K::Int32);
    add("marker2_sw", c + offsetof(ConfigLinkBlock, marker2_sw), K::Int16);
    add("marker2_st", c + offsetof(ConfigLinkBlock, marker2_st), K::Int32);
    add("marker2_hi", c + offsetof(ConfigLinkBlock, marker2_hi), K::Int32);

    add("sample_rate", link.sample_rate, K::Double);
    add("scrambling_no", link.scrambling_no, K::Int32);
    add("data_num", link.data_num, K::Int32);
    add("total_multiples", link.total_multiples, K::Int16);
    for (int n = 0; n < link.channel_count; ++n) {
        add(indexed("channel_index", n), link.channel_index + sizeof(std::int16_t) * n, K::Int16);
    }
    for (int t = 0; t < link.channel_type_count; ++t) {
        const std::size_t type = link.channel_types + sizeof(ConfigChannelType) * t;
        add(indexed("channel_type", t, "_state"), type + offsetof(ConfigChannelType, state), K::Int16);
        add(indexed("channel_type", t, "_multiples"), type + offsetof(ConfigChannelType, multiples),
            K::Int16);
    }
    for (int n = 0; n < link.channel_count; ++n) {
        if (link.downlink) {
            const std::size_t ch = link.channels + sizeof(DlConfigChannel) * n;
            add(indexed("channel", n, "_power"), ch + offsetof(DlConfigChannel, power), K::Double);
            add(indexed("channel", n, "_type"), ch + offsetof(DlConfigChannel, type), K::Int16);
            add(indexed("channel", n, "_rate"), ch + offsetof(DlConfigChannel, rate), K::Int16);
            add(indexed("channel", n, "_no"), ch + offsetof(DlConfigChannel, no), K::Int16);
            add(indexed("channel", n, "_timing"), ch + offsetof(DlConfigChannel, timing), K::Int16);
            add(indexed("channel", n, "_data"), ch + offsetof(DlConfigChannel, data), K::Int16);
            add(indexed("channel", n, "_seed"), ch + offsetof(DlConfigChannel, seed), K::Int32);
            add(indexed("channel", n, "_mod"), ch + offsetof(DlConfigChannel, mod), K::Int16);
            add(indexed("channel", n, "_orth"), ch + offsetof(DlConfigChannel, orth), K::Int16);
            add(indexed("channel", n, "_stat"), ch + offsetof(DlConfigChannel, stat), K::Int16);
        } else {
            const std::size_t ch = link.channels + sizeof(UlConfigChannel) * n;
            add(indexed("channel", n, "_power"), ch + offsetof(UlConfigChannel, power), K::Double);
            add(indexed("channel", n, "_type"), ch + offsetof(UlConfigChannel, type), K::Int16);
            add(indexed("channel", n, "_rate"), ch + offsetof(UlConfigChannel, rate), K::Int16);
            add(indexed("channel", n, "_no"), ch + offsetof(UlConfigChannel, no), K::Int16);
            add(indexed("channel", n, "_iq"), ch + offsetof(UlConfigChannel, iq), K::Int16);
            add(indexed("channel", n, "_data"), ch + offsetof(UlConfigChannel, data), K::Int16);
            add(indexed("channel", n, "_seed"), ch + offsetof(UlConfigChannel, seed), K::Int32);
            add(indexed("channel", n, "_stat"), ch + offsetof(UlConfigChannel, stat), K::Int16);
        }
    }
    return fields;
}

// The record is packed and its doubles are not aligned, so fields are copied byte-wise.
template <class T> T load_field(const unsigned char* record, std::size_t offset) {
    T value;
    std::memcpy(&value, record + offset, sizeof value);
    return value;
}

template <class T> void store_field(unsigned char* record, std::size_t offset, T value) {
    std::memcpy(record + offset, &value, sizeof value);
}

std::string value_text(const unsigned char* record, const ConfigField& field) {
    switch (field.kind) {
    case FieldKind::Double:
        return fixed_text(load_field<double>(record, field.offset), 32);
    case FieldKind::Int16:
        return std::to_string(load_field<std::int16_t>(record, field.offset));
    case FieldKind::Int32:
        return std::to_string(load_field<std::int32_t>(record, field.offset));
    }
    return {};
}

void store_value(unsigned char* record, const ConfigField& field, std::string_view text) {
    switch (field.kind) {
    case FieldKind::Double:
        store_field(record, field.offset, leading_double(text));
        break;
    case FieldKind::Int16:
        store_field(record, field.offset, static_cast<std::int16_t>(leading_int32(text)));
        break;
    case FieldKind::Int32:
        store_field(record, field.offset, leading_int32(text));
        break;
    }
}

// Reads the file line by line. A line may be as long as the longest one the writer produces (a
// double near its largest value written with 32 decimals, about 370 characters); a longer line is
// refused as a whole instead of being cut into pieces that would shift every following field.
class LineReader {
public:
    static constexpr std::size_t max_line_chars = 511;
    enum class Result { Line, End, ReadError, TooLong };

    explicit LineReader(std::FILE* file) : file_(file) {}

    // The next line without its line feed; a CR before the line feed is dropped, as a text-mode
    // read does. `terminated` tells whether a line feed ended the line.
    Result next(std::string& line, bool& terminated) {
        line.clear();
        terminated = false;
        for (;;) {
            const int c = std::getc(file_);
            if (c == EOF) {
                if (std::ferror(file_)) {
                    return Result::ReadError;
                }
                return line.empty() ? Result::End : Result::Line;
            }
            if (c == '\n') {
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                terminated = true;
                return Result::Line;
            }
            if (line.size() == max_line_chars) {
                return Result::TooLong;
            }
            line.push_back(static_cast<char>(c));
        }
    }

private:
    std::FILE* file_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

std::int32_t read_link(std::FILE* file, unsigned char* record, const LinkLayout& link) {
    LineReader reader(file);
    std::string line;
    bool terminated = false;
    switch (reader.next(line, terminated)) {
    case LineReader::Result::End:
        return WAVESAVE_EMPTY;
    case LineReader::Result::ReadError:
        return WAVESAVE_CANNOT_OPEN;
    case LineReader::Result::TooLong:
        return WAVESAVE_WRONG_HEADER;
    case LineReader::Result::Line:
        if (!terminated || line != link.header) {
            return WAVESAVE_WRONG_HEADER;
        }
        break;
    }
    for (const ConfigField& field : link_fields(link)) {
        if (reader.next(line, terminated) != LineReader::Result::Line) {
            return WAVESAVE_BAD_LINE;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string::npos) {
            return WAVESAVE_BAD_LINE;
        }
        store_value(record, field, std::string_view(line).substr(colon + 1));
    }
    return WAVESAVE_OK;
}

} // namespace
} // namespace wavesave

extern "C" int32_t save_Config(const char* file_name, const ConfigRecord* config, int32_t link) {
    using namespace wavesave;
    return guarded(WAVESAVE_CANNOT_CREATE, [&] {
        if (config == nullptr) {
            return WAVESAVE_CANNOT_CREATE;
        }
        const LinkLayout& layout = layout_of(link);
        const auto* record = reinterpret_cast<const unsigned char*>(config);
        std::string text = std::string(layout.header) + "\n";
        for (const ConfigField& field : link_fields(layout)) {
            text += field.key;
            text += ':';
            text += value_text(record, field);
            text += '\n';
        }
        // Through a temporary beside the file, renamed over it: a full disk leaves the earlier file.
        if (file_name == nullptr || *file_name == '\0') {
            return WAVESAVE_CANNOT_CREATE;
        }
        return safewrite::write_file(file_name, text) ? WAVESAVE_CANNOT_CREATE : WAVESAVE_OK;
    });
}

extern "C" int32_t load_Config(const char* file_name, ConfigRecord* config, int32_t link) {
    using namespace wavesave;
    return guarded(WAVESAVE_CANNOT_OPEN, [&] {
        if (file_name == nullptr || config == nullptr) {
            return WAVESAVE_CANNOT_OPEN;
        }
        // Only a regular file is read: opening does not wait for a writer (a FIFO) or a device.
        const int fd = ::open(file_name, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            return WAVESAVE_CANNOT_OPEN;
        }
        struct stat seen {};
        if (::fstat(fd, &seen) != 0 || !S_ISREG(seen.st_mode) ||
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
            ::close(fd);
            return WAVESAVE_CANNOT_OPEN;
        }
        const std::unique_ptr<std::FILE, FileCloser> file(::fdopen(fd, "r"));
        if (!file) {
            ::close(fd);
            return WAVESAVE_CANNOT_OPEN;
        }
        return read_link(file.get(), reinterpret_cast<unsigned char*>(config), layout_of(link));
    });
}
