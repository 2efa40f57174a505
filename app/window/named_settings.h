// Settings by name, as varnika-cli lists and sets them: every line of the three settings files, named by its
// key.
#pragma once

#include <span>
#include <string>
#include <utility>
#include <vector>

namespace varnika {

class MainForm;

// Every setting of the three files by name (a line's key without its ":", qualified "uplink.ovr" where
// the same key is in more than one file) with its value as the writer would write it now.
std::vector<std::pair<std::string, std::string>> list_settings(MainForm& form);
// Applies settings given by name (as list_settings names them; the qualified form is always taken), each
// by the rules of its line when its file is read, then the rules reading a whole file runs at its end.
// Stops at the first unknown name or bad value and says which, in words for the user; empty when all
// were applied.
std::string apply_named_settings(MainForm& form,
                                 std::span<const std::pair<std::string, std::string>> settings);

} // namespace varnika
