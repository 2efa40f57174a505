// The names of the three settings files, their sizes, where they are kept, what start-up made of them, and
// the lines that the uplink and downlink files share (settings_files.h, downlink_file.h).
#pragma once

#include "settings/settings_lines.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace varnika {

struct WindowPages;

namespace form {
class ChoiceList;
class TextField;
} // namespace form

enum class SettingsFile { System, Uplink, Downlink };

inline constexpr const char* system_file_name = "system_def.ini";
inline constexpr const char* uplink_file_name = "uplink_def.ini";
inline constexpr const char* downlink_file_name = "downlink_def.ini";

inline constexpr const char* system_file_header = "EV-DV_System_Configuration_File";
inline constexpr const char* uplink_file_header = "EV-DV_Uplink_Configuration_File";
inline constexpr const char* downlink_file_header = "EV-DV_Downlink_Configuration_File";

// Lines of each file, header included.
inline constexpr std::size_t system_file_lines = 11;
inline constexpr std::size_t uplink_file_lines = 51;
inline constexpr std::size_t downlink_file_lines = 2874;

// Line buffers of the readers: the system file's own, and the settings model's FileLines shared by the
// uplink and downlink readers. A longer file is refused like one with a wrong count.
inline constexpr std::size_t system_line_buffer = 31;
inline constexpr std::size_t file_line_buffer = 3001;

const char* settings_file_name(SettingsFile file);
// What start-up made of the file.
SettingsFileReport& settings_report(WindowPages& form, SettingsFile file);
// The file's path in the form's settings folder.
std::filesystem::path settings_file_path(const WindowPages& form, SettingsFile file);

// Lines that the uplink and downlink files share.
// The selected item's index; a list without a selection is stored as its first item. On reading the
// index must lie within a list of `longest` items (the list's own length when 0) and selects that item,
// running the list's rule; an index beyond the list as it stands then selects nothing.
SettingsLine choice_line(std::string key, form::ChoiceList& list, int longest = 0);
// A number field's text as it stands; on reading, a number (as `valid` says) is put in and the field left,
// so the field's own rule limits it to the field's range exactly as for a typed number.
SettingsLine text_line(std::string key, form::TextField& field, SettingsLine::Check valid = field_number());
// The six marker lines of `link`'s column of MarkerTable (Mark1Mod: .. Mark2Hig:). After the last the
// link's marker fields show the column; periods that no window could have produced (odd, or reaching
// beyond the waveform) are repaired as if the user had left the fields.
void append_marker_lines(std::vector<SettingsLine>& lines, WindowPages& form, int link);

// Shows `link`'s column of MarkerTable in the marker fields and repairs periods that no window could have
// produced, as reading the last marker line does.
void settle_markers(WindowPages& form, int link);

} // namespace varnika
