// The three settings files in the program's folder: system_def.ini (link, tab pages, tester address, save
// mode), uplink_def.ini (the whole uplink page) and downlink_def.ini (the downlink pages, downlink_file.h).
// They are read once at start-up and written when the user leaves with "Save and Quit".
//
// A file is used only when it exists by exactly its name and has exactly its number of lines; every
// value is then checked before the first is applied, so a damaged file (a value that is not a number
// where one belongs, an index outside its list) is set aside as a whole and the defaults apply. The
// values of a file that passes are applied to the window in line order, each running the rules that the
// same choice by the user runs.
#pragma once

#include "settings/settings_lines.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace varnika {

class MainForm;
struct SettingsModel;

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
// The file's path in the form's settings folder.
std::filesystem::path settings_file_path(const MainForm& form, SettingsFile file);

// system_def.ini. Reading puts the values into the settings model only; start-up then applies them to
// the window.
std::vector<std::string> system_settings_lines(SettingsModel& model);
bool take_system_settings(std::span<const std::string> lines, SettingsModel& model);
bool read_system_settings(MainForm& form);
bool write_system_settings(MainForm& form);

// uplink_def.ini: filter, radio configuration, frequency offset, the uplink markers and both channel
// groups. Power texts go into their fields as written, without the power field's repair.
std::vector<std::string> uplink_settings_lines(MainForm& form);
bool apply_uplink_settings(std::span<const std::string> lines, MainForm& form);
bool read_uplink_settings(MainForm& form);
bool write_uplink_settings(MainForm& form);

// Writes one of the three files from the window as it stands; `cause` says why it was not written.
bool write_settings_file(MainForm& form, SettingsFile file, std::string* cause = nullptr);

// Lines that the uplink and downlink files share.
// The selected item's index; a list without a selection is stored as its first item. On reading the
// index must lie within a list of `longest` items (the list's own length when 0) and selects that item,
// running the list's rule; an index beyond the list as it stands then selects nothing.
SettingsLine choice_line(std::string key, form::ChoiceList& list, int longest = 0);
// A field's text as it stands, put back as written, without the field's repair.
SettingsLine text_line(std::string key, form::TextField& field);
// The six marker lines of `link`'s column of MarkerTable (Mark1Mod: .. Mark2Hig:). After the last the
// link's marker fields show the column; periods that no window could have produced (odd, or reaching
// beyond the waveform) are repaired as if the user had left the fields.
void append_marker_lines(std::vector<SettingsLine>& lines, MainForm& form, int link);

} // namespace varnika
