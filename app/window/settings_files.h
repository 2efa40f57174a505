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

#include "window/settings_file_common.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace varnika {

struct SettingsModel;
struct WindowPages;

// The start-up notice: every file set aside and every line left out, in one message; empty when all
// files that exist were read whole.
std::string settings_notice(const WindowPages& form);

// system_def.ini. Reading puts the values into the settings model only; start-up then applies them to
// the window.
std::vector<std::string> system_settings_lines(SettingsModel& model);
// The read_* functions apply every good line, leave a bad line's setting at its default and record in
// the form's report of the file (settings_report) the lines left out, or why the whole file was.
bool take_system_settings(std::span<const std::string> lines, SettingsModel& model,
                          SettingsFileReport* report = nullptr);
bool read_system_settings(WindowPages& form);
bool write_system_settings(WindowPages& form);

// uplink_def.ini: filter, radio configuration, frequency offset, the uplink markers and both channel
// groups.
std::vector<std::string> uplink_settings_lines(WindowPages& form);
bool apply_uplink_settings(std::span<const std::string> lines, WindowPages& form,
                           SettingsFileReport* report = nullptr);
// The uplink page as start-up leaves it without uplink_def.ini.
void apply_uplink_defaults(WindowPages& form);
bool read_uplink_settings(WindowPages& form);
bool write_uplink_settings(WindowPages& form);

// The lines of one file after its header, as its reader and writer walk them.
std::vector<SettingsLine> settings_layout(WindowPages& form, SettingsFile file);

// Writes one of the three files from the window as it stands; `cause` says why it was not written.
bool write_settings_file(WindowPages& form, SettingsFile file, std::string* cause = nullptr);

} // namespace varnika
