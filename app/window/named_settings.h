// Settings by name, as varnika-cli lists and sets them: every line of the three settings files, named by its
// key, with the rule of the values it takes.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace varnika {

class MainForm;

struct NamedSetting {
    std::string name;  // the line's key without its ":", qualified "uplink.ovr" where needed
    std::string value; // as the writer would write it now
    std::string rule;  // what the line takes, in words
};

// Every setting of the three files by name (a line's key without its ":", qualified "uplink.ovr" where
// the same key is in more than one file) with its value as the writer would write it now and its rule.
std::vector<NamedSetting> list_settings(MainForm& form);

// What applying named settings has to say.
struct NamedSettingsOutcome {
    std::string error; // the first unknown name or refused value, in words; empty: all applied
    std::vector<std::string> warnings; // values the line took, but limited ("KEY=VALUE limited to X")
};

// Applies settings given by name (as list_settings names them; the qualified form is always taken), each
// by the rules of its line when its file is read, then the rules reading a whole file runs at its end
// (`apply_network_settings`, when given, in place of the window's own network step). Stops at the first
// unknown name or bad value and says which, and what the line takes.
NamedSettingsOutcome apply_named_settings(MainForm& form,
                                          std::span<const std::pair<std::string, std::string>> settings,
                                          const std::function<void(MainForm&)>& apply_network_settings = {});

} // namespace varnika
