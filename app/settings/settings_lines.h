// The line format the three settings files share, and how they reach the disk. A file is text lines ended
// by CR LF; line 1 names the file's kind, every further line is a key immediately followed by its value.
// Lines are positional: a reader takes the value of line n by removing line n's key from it. Each file is
// described once, as a list of SettingsLine, which both the writer and the reader walk, so the two cannot
// drift apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace varnika {

// Larger files are not settings files this program wrote; they are refused unread.
inline constexpr std::uintmax_t settings_file_max_bytes = 8 * 1024 * 1024;

// One line of a settings file.
struct SettingsLine {
    using Check = std::function<bool(std::string_view value)>;
    using Take = std::function<std::string()>;
    using Apply = std::function<void(const std::string& value)>;
    using Rule = std::function<std::string()>;

    std::string key;
    Check valid; // whether a value read from the file may be applied; empty: any text
    Take value;  // what the writer writes after the key
    Apply apply; // what the reader does with the value; empty: nothing
    Rule rule{}; // what the line takes, in words ("an index 0 to 1: 0 OFF, 1 ON"); empty: told by `valid`
};

// The value of `line` for `key`: the line with every occurrence of the key removed (left to right, as
// found), so a line that lacks its key is taken whole.
std::string value_of(std::string_view line, std::string_view key);

// Splits file text into lines. A line ends at CR LF, and also at a lone LF or CR; a last line without an
// end counts too. Nothing when there are more than `buffer_lines` lines.
std::optional<std::vector<std::string>> split_settings_lines(std::string_view text, std::size_t buffer_lines);

// Whether `folder` holds a regular file named exactly `name` (letter case included).
bool settings_file_exists(const std::filesystem::path& folder, std::string_view name);

// Reads the file `name` of `folder` into `lines`: false when it does not exist by exactly that name,
// cannot be read, is larger than settings_file_max_bytes or has more than `buffer_lines` lines. Where the
// file exists but is not taken, `why` (when given) says why, in words for the user.
bool read_settings_lines(const std::filesystem::path& folder, std::string_view name, std::size_t buffer_lines,
                         std::vector<std::string>& lines, std::string* why = nullptr);

// A line of a settings file that was not applied: its number in the file (the header is line 1) and its
// text as read.
struct IgnoredLine {
    std::size_t number = 0;
    std::string text;
    friend bool operator==(const IgnoredLine&, const IgnoredLine&) = default;
};

// What start-up made of one settings file: nothing to say, the whole file set aside (`whole`, and why),
// or single lines left out.
struct SettingsFileReport {
    std::string whole;
    std::vector<IgnoredLine> lines;

    bool empty() const { return whole.empty() && lines.empty(); }
};

// Checks every value of `lines` against `layout`, then applies the valid ones in line order. The first
// line is the header and is not looked at. A line whose value is not valid is left out and added to
// `ignored` (when given); `before_partial`, when given and some line is left out, runs before anything is
// applied, so the left-out settings keep their defaults rather than whatever stood before. False, with
// nothing applied, when the file has more or fewer lines than the layout; `why` then says so.
bool apply_settings_lines(std::span<const std::string> lines, std::span<const SettingsLine> layout,
                          std::vector<IgnoredLine>* ignored = nullptr,
                          const std::function<void()>& before_partial = {}, std::string* why = nullptr);

// The lines the writer produces from `layout`: key and value, with `header` as line 1. A value never
// holds a line break: one would split the line and make the whole file unreadable.
std::vector<std::string> settings_lines_of(std::string_view header, std::span<const SettingsLine> layout);

// Writes `lines`, each ended by CR LF, to `path` completely or not at all, through the safe-write helper
// (a temporary beside it, renamed over it with its mode kept). On any failure `path` is left as it was,
// the result is false and `cause`, when given, says why in words.
bool write_settings_lines(const std::filesystem::path& path, std::span<const std::string> lines,
                          std::string* cause = nullptr);

// Keeps the file at `path`, as it is, as `path` + ".bak" (replacing an earlier one): a hard link, so
// the copy costs nothing and is whole, or where the file system has none, a copy written exclusively.
// True when there is nothing at `path` or the copy is made.
bool keep_settings_backup(const std::filesystem::path& path);

// Value checks.
// A plain decimal integer: an optional "-" and digits, within the 32-bit range.
std::optional<std::int32_t> settings_integer(std::string_view value);
// An integer in first .. last.
SettingsLine::Check integer_within(std::int32_t first, std::int32_t last);
// The index of an item of a list of `count` items.
SettingsLine::Check index_below(int count);
// A number as a power field takes it ("-7.3", "0", "1e-05"; beyond the range of a double, "1e999", is
// taken too, and limited by the field).
SettingsLine::Check field_number();
// A number as a frequency field takes it: field_number, with the unit letters k, K, m and M.
SettingsLine::Check frequency_number();
// "True" or "False" in any letter case.
SettingsLine::Check true_or_false();
std::optional<bool> settings_truth(std::string_view value);

// The shortest text that reads back as exactly `value` ("-7.3" for -7.30, "0" for 0 and -0).
std::string number_text(double value);

} // namespace varnika
