// The three settings files in the program's folder: system_def.ini (link, tab pages, tester address, save
// mode), uplink_def.ini (the whole uplink page) and downlink_def.ini (the downlink pages, downlink_file.h).
// They are read once at start-up and written when the user leaves with "Save and Quit".
//
// A file is used only when it exists by exactly its name and has exactly its number of lines; otherwise it
// is set aside whole and the defaults apply. In a file that is used, every value is checked first; the
// good ones are then applied to the window in line order, each running the rules that the same choice by
// the user runs, and a bad line (a value outside its list, not a number where one belongs) is left out,
// its setting keeping its default. Numbers go in as if typed and left, so each is limited to its field's
// range. Start-up tells the user once which files or lines were set aside, and a file set aside is kept as
// NAME.bak before a save replaces it.
#pragma once

#include "settings/settings_lines.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
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
// What start-up made of the file.
SettingsFileReport& settings_report(MainForm& form, SettingsFile file);
// The start-up notice: every file set aside and every line left out, in one message; empty when all
// files that exist were read whole.
std::string settings_notice(const MainForm& form);
// The file's path in the form's settings folder.
std::filesystem::path settings_file_path(const MainForm& form, SettingsFile file);

// system_def.ini. Reading puts the values into the settings model only; start-up then applies them to
// the window.
std::vector<std::string> system_settings_lines(SettingsModel& model);
// The read_* functions apply every good line, leave a bad line's setting at its default and record in
// the form's report of the file (settings_report) the lines left out, or why the whole file was.
bool take_system_settings(std::span<const std::string> lines, SettingsModel& model,
                          SettingsFileReport* report = nullptr);
bool read_system_settings(MainForm& form);
bool write_system_settings(MainForm& form);

// uplink_def.ini: filter, radio configuration, frequency offset, the uplink markers and both channel
// groups.
std::vector<std::string> uplink_settings_lines(MainForm& form);
bool apply_uplink_settings(std::span<const std::string> lines, MainForm& form,
                           SettingsFileReport* report = nullptr);
// The uplink page as start-up leaves it without uplink_def.ini.
void apply_uplink_defaults(MainForm& form);
bool read_uplink_settings(MainForm& form);
bool write_uplink_settings(MainForm& form);

// The lines of one file after its header, as its reader and writer walk them.
std::vector<SettingsLine> settings_layout(MainForm& form, SettingsFile file);

// Every setting of the three files by name (a line's key without its ":", qualified "uplink.ovr" where
// the same key is in more than one file) with its value as the writer would write it now.
std::vector<std::pair<std::string, std::string>> list_settings(MainForm& form);
// Applies settings given by name (as list_settings names them; the qualified form is always taken), each
// by the rules of its line when its file is read, then the rules reading a whole file runs at its end.
// Stops at the first unknown name or bad value and says which, in words for the user; empty when all
// were applied.
std::string apply_named_settings(MainForm& form, std::span<const std::pair<std::string, std::string>> settings);

// Shows `link`'s column of MarkerTable in the marker fields and repairs periods that no window could have
// produced, as reading the last marker line does.
void settle_markers(MainForm& form, int link);

// Writes one of the three files from the window as it stands; `cause` says why it was not written.
bool write_settings_file(MainForm& form, SettingsFile file, std::string* cause = nullptr);

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
void append_marker_lines(std::vector<SettingsLine>& lines, MainForm& form, int link);

} // namespace varnika
