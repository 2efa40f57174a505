// downlink_def.ini: the whole state of the downlink pages. The filter and frequency-offset settings, the
// test-model choice, the downlink markers, the status and multiplicity of the sixteen switchable channel
// types, and every field of all 807 channel rows, shown or not, warning marks included: values of rows
// that are hidden survive a restart too.
//
// Row lines are keyed by the type's prefix, the entry name and the row's index in the whole table
// ("PCH_WNo_2:"). Powers are written as plain numbers ("-7.3"), not as the two-decimal field text, and
// shown with two decimals again when read. Reading runs while loading_flag is set, so no Walsh number is
// tested line by line; once every line is in, the shown rows' codes are tested against each other and
// the warning marks follow from them.
#pragma once

#include "window/settings_file_common.h"

#include <span>
#include <string>
#include <vector>

namespace varnika {

struct WindowPages;

// The key prefix of a channel type's row lines: its name with "_" for "-", and "_" ("F_PICH_").
std::string downlink_row_prefix(int type);

// The file's lines after the header; nothing before the channel table is built.
std::vector<SettingsLine> downlink_layout(WindowPages& form);
std::vector<std::string> downlink_settings_lines(WindowPages& form);
// Needs the channel table built; false, with nothing applied, when the lines do not make a whole,
// undamaged file.
bool apply_downlink_settings(std::span<const std::string> lines, WindowPages& form,
                             SettingsFileReport* report = nullptr);
// The downlink pages as start-up leaves them without downlink_def.ini (the channel table built).
void apply_downlink_defaults(WindowPages& form);

// Reads downlink_def.ini from the form's settings folder into the downlink pages; true when it was read.
bool load_downlink_settings(WindowPages& form);

} // namespace varnika
