#include "settings/settings_lines.h"

#include "form/number_text.h"

#include <safewrite/safe_file.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnika {

namespace {} // namespace

std::string value_of(std::string_view line, std::string_view key) {
    if (key.empty()) {
        return std::string(line);
    }
    std::string value;
    value.reserve(line.size());
    std::size_t from = 0;
    for (std::size_t found = line.find(key); found != std::string_view::npos; found = line.find(key, from)) {
        value.append(line.substr(from, found - from));
        from = found + key.size();
    }
    value.append(line.substr(from));
    return value;
}

std::optional<std::vector<std::string>> split_settings_lines(std::string_view text,
                                                             std::size_t buffer_lines) {
    std::vector<std::string> lines;
    while (!text.empty()) {
        if (lines.size() == buffer_lines) {
            return std::nullopt;
        }
        const std::size_t end = text.find_first_of("\r\n");
        lines.emplace_back(text.substr(0, end));
        if (end == std::string_view::npos) {
            break;
        }
        const bool crlf = text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n';
        text.remove_prefix(end + (crlf ? 2 : 1));
    }
    return lines;
}

bool settings_file_exists(const std::filesystem::path& folder, std::string_view name) {
    // Looked up by listing the folder, so a file whose name differs only in letter case is not taken
    // for it, whatever the file system's view of letter case.
    std::error_code error;
    for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
         it.increment(error)) {
        if (it->path().filename() == name) {
            return it->is_regular_file(error) && !error;
        }
    }
    return false;
}

bool read_settings_lines(const std::filesystem::path& folder, std::string_view name, std::size_t buffer_lines,
                         std::vector<std::string>& lines, std::string* why) {
    auto refuse = [why](std::string reason) {
        if (why != nullptr) {
            *why = std::move(reason);
        }
        return false;
    };
    if (folder.empty()) {
        return false;
    }
    if (!settings_file_exists(folder, name)) {
        // Something by the name that is not a file (a folder, a FIFO, a link to either or into a folder
        // that is gone) is named, so that the user knows why the defaults apply; it is never read.
        const std::filesystem::path path = folder / name;
        std::error_code error;
        const bool present =
            std::filesystem::symlink_status(path, error).type() != std::filesystem::file_type::not_found;
        if (present && !error) {
            if (std::string odd = safewrite::odd_kind(path); !odd.empty()) {
                return refuse("it is " + odd + ", not a settings file");
            }
        }
        return false;
    }
    // Opened without blocking, so a file swapped for a pipe after the look-up cannot hang the start.
    const int fd = ::open((folder / name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return refuse(std::string("it cannot be read (") + std::strerror(errno) + ")");
    }
    std::string text;
    std::array<char, 65536> chunk{};
    bool failed = false;
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            failed = got < 0;
            break;
        }
        text.append(chunk.data(), static_cast<std::size_t>(got));
        if (text.size() > settings_file_max_bytes) {
            ::close(fd);
            return refuse("it is larger than " + std::to_string(settings_file_max_bytes / (1024 * 1024)) +
                          " MB");
        }
    }
    const int read_error = errno;
    ::close(fd);
    if (failed) {
        return refuse(std::string("it cannot be read (") + std::strerror(read_error) + ")");
    }
    auto split = split_settings_lines(text, buffer_lines);
    if (!split) {
        return refuse("it has more than " + std::to_string(buffer_lines) + " lines");
    }
    lines = std::move(*split);
    return true;
}

bool apply_settings_lines(std::span<const std::string> lines, std::span<const SettingsLine> layout,
                          std::vector<IgnoredLine>* ignored, const std::function<void()>& before_partial,
                          std::string* why) {
    if (lines.size() != layout.size() + 1) {
        if (why != nullptr) {
            *why = "it has " + std::to_string(lines.size()) + (lines.size() == 1 ? " line" : " lines") +
                   " where " + std::to_string(layout.size() + 1) + " belong";
        }
        return false;
    }
    std::vector<std::string> values(layout.size());
    std::vector<bool> valid(layout.size(), true);
    bool partial = false;
    for (std::size_t n = 0; n < layout.size(); ++n) {
        values[n] = value_of(lines[n + 1], layout[n].key);
        if (layout[n].valid && !layout[n].valid(values[n])) {
            valid[n] = false;
            partial = true;
            if (ignored != nullptr) {
                ignored->push_back({n + 2, lines[n + 1]});
            }
        }
    }
    if (partial && before_partial) {
        before_partial();
    }
    for (std::size_t n = 0; n < layout.size(); ++n) {
        if (valid[n] && layout[n].apply) {
            layout[n].apply(values[n]);
        }
    }
    return true;
}

std::vector<std::string> settings_lines_of(std::string_view header, std::span<const SettingsLine> layout) {
    std::vector<std::string> lines;
    lines.reserve(layout.size() + 1);
    lines.emplace_back(header);
    for (const SettingsLine& line : layout) {
        std::string value = line.value ? line.value() : std::string();
        std::replace_if(
            value.begin(), value.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
        lines.push_back(line.key + value);
    }
    return lines;
}

bool write_settings_lines(const std::filesystem::path& path, std::span<const std::string> lines,
                          std::string* cause) {
    std::string text;
    for (const std::string& line : lines) {
        text.append(line).append("\r\n");
    }
    // Only a plain file (or a link to one) is a settings file: a FIFO or a device is never written to.
    const auto failed = safewrite::write_file(path, text, safewrite::Accepts{.streams = false});
    if (failed && cause != nullptr) {
        *cause = failed->cause;
    }
    return !failed;
}

bool keep_settings_backup(const std::filesystem::path& path) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) != 0) {
        return errno == ENOENT;
    }
    const std::filesystem::path backup = path.string() + ".bak";
    if (::unlink(backup.c_str()) != 0 && errno != ENOENT) {
        return false;
    }
    // A settings file reached through a symbolic link is written through it, so the backup holds the
    // file the link leads to, not the link. linkat() neither follows a link at the backup's name nor
    // replaces anything there.
    if (::linkat(AT_FDCWD, path.c_str(), AT_FDCWD, backup.c_str(), AT_SYMLINK_FOLLOW) == 0) {
        return true;
    }
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return false;
    }
    // Where no hard link can be made, a copy, written as every other file is.
    const int in = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) {
        return false;
    }
    std::string contents;
    std::array<char, 65536> chunk{};
    bool read_whole = false;
    for (;;) {
        const ssize_t got = ::read(in, chunk.data(), chunk.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            read_whole = got == 0;
            break;
        }
        contents.append(chunk.data(), static_cast<std::size_t>(got));
    }
    ::close(in);
    return read_whole && !safewrite::write_file(backup, contents);
}

std::optional<std::int32_t> settings_integer(std::string_view value) {
    const std::size_t digits = value.starts_with('-') ? 1 : 0;
    if (value.size() == digits || !std::all_of(value.begin() + static_cast<std::ptrdiff_t>(digits),
                                               value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::int32_t number = 0;
    const auto result = std::from_chars(value.data(), value.data() + value.size(), number);
    if (result.ec != std::errc() || result.ptr != value.data() + value.size()) {
        return std::nullopt;
    }
    return number;
}

SettingsLine::Check integer_within(std::int32_t first, std::int32_t last) {
    return [first, last](std::string_view value) {
        const auto number = settings_integer(value);
        return number && *number >= first && *number <= last;
    };
}

SettingsLine::Check index_below(int count) {
    return integer_within(0, count - 1);
}

SettingsLine::Check field_number() {
    return [](std::string_view value) { return form::parse_number(value).has_value(); };
}

SettingsLine::Check frequency_number() {
    return [](std::string_view value) {
        std::string number(value);
        std::erase_if(number, [](char c) { return c == 'k' || c == 'K' || c == 'm' || c == 'M'; });
        return form::parse_number(number).has_value();
    };
}

std::optional<bool> settings_truth(std::string_view value) {
    auto equals = [value](std::string_view word) {
        return value.size() == word.size() &&
               std::equal(value.begin(), value.end(), word.begin(), [](char a, char b) {
                   return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
               });
    };
    if (equals("true")) {
        return true;
    }
    if (equals("false")) {
        return false;
    }
    return std::nullopt;
}

SettingsLine::Check true_or_false() {
    return [](std::string_view value) { return settings_truth(value).has_value(); };
}

std::string number_text(double value) {
    if (value == 0.0) {
        return "0";
    }
    std::array<char, 64> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return std::string(buffer.data(), result.ptr);
}

} // namespace varnika
