#include "cli_options.h"

#include "analysis/waveform_file.h"
#include "downlink/dl_channel_types.h"
#include "downlink/downlink_channel_page.h"
#include "settings/settings_model.h"

#include <algorithm>
#include <charconv>
#include <functional>
#include <map>

namespace varnika::cli {

namespace {

std::string joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : separator) + item;
    }
    return text;
}

// A whole decimal number and nothing else.
std::optional<int> whole_number(const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) {
        return std::nullopt;
    }
    return value;
}

// Reads one option's value into `options`; an error text when the value is not one the option takes.
using ValueRule = std::function<std::optional<std::string>(const std::string&, Options&)>;

std::optional<std::string> take_link(const std::string& value, Options& options) {
    if (value == "uplink" || value == "downlink") {
        options.link = value == "uplink" ? uplink_item : downlink_item;
        return std::nullopt;
    }
    return "--link takes uplink or downlink, not '" + value + "'";
}

std::optional<std::string> take_configuration(const std::string& value, Options& options) {
    static const std::map<std::string, int> items{{"12", 0}, {"34", 1}, {"7", 2}};
    const auto found = items.find(value);
    if (found == items.end()) {
        return "--rc takes 12, 34 or 7, not '" + value + "'";
    }
    options.configuration = found->second;
    return std::nullopt;
}

std::optional<std::string> take_test_model(const std::string& value, Options& options) {
    const std::optional<int> number = whole_number(value);
    const int count = static_cast<int>(test_model_items.size());
    if (!number || *number < 1 || *number > count) {
        return "--test-model takes a number from 1 to " + std::to_string(count) + ", not '" + value + "'";
    }
    options.test_model = *number - 1;
    return std::nullopt;
}

std::optional<std::string> take_ratio(const std::string& value, Options& options) {
    if (std::find(oversampling_items.begin(), oversampling_items.end(), value) == oversampling_items.end()) {
        return "--ratio takes one of " + joined(oversampling_items, ", ") + ", not '" + value + "'";
    }
    options.ratio = value;
    return std::nullopt;
}

std::optional<std::string> take_iq_inverse(const std::string& value, Options& options) {
    if (value == "on" || value == "off") {
        options.iq_inverse = value == "on" ? 1 : 0;
        return std::nullopt;
    }
    return "--iq-inverse takes on or off, not '" + value + "'";
}

std::optional<std::string> take_settings_dir(const std::string& value, Options& options) {
    if (value.empty()) {
        return "--settings-dir needs a folder";
    }
    options.settings_dir = value;
    return std::nullopt;
}

std::optional<std::string> take_reference(const std::string& value, Options& options) {
    if (value.empty()) {
        return "--reference needs a file name";
    }
    options.reference_file = value;
    return std::nullopt;
}

std::optional<std::string> take_sample_rate(const std::string& value, Options& options) {
    double hz = 0.0;
    const char* end = value.data() + value.size();
    const auto [stop, error] = std::from_chars(value.data(), end, hz);
    if (value.empty() || error != std::errc() || stop != end) {
        return "--sample-rate takes a sampling rate in Hz, not '" + value + "'";
    }
    if (auto problem = analysis::sample_rate_problem(hz)) {
        return "--sample-rate " + value + " is " + *problem;
    }
    options.sample_rate_hz = hz;
    return std::nullopt;
}

std::optional<std::string> take_setting(const std::string& value, Options& options) {
    const std::size_t equals = value.find('=');
    if (equals == std::string::npos || equals == 0) {
        return "--set takes KEY=VALUE, not '" + value + "'";
    }
    options.settings.emplace_back(value.substr(0, equals), value.substr(equals + 1));
    return std::nullopt;
}

const std::map<std::string, ValueRule>& value_options() {
    static const std::map<std::string, ValueRule> rules{
        {"--settings-dir", take_settings_dir},
        {"--reference", take_reference},
        {"--link", take_link},
        {"--rc", take_configuration},
        {"--test-model", take_test_model},
        {"--ratio", take_ratio},
        {"--iq-inverse", take_iq_inverse},
        {"--set", take_setting},
        {"--sample-rate", take_sample_rate},
    };
    return rules;
}

const std::map<std::string, Command>& commands() {
    static const std::map<std::string, Command> words{{"make-awg", Command::MakeAwg},
                                                      {"make-floating", Command::MakeFloating},
                                                      {"make-sigmf", Command::MakeSigmf},
                                                      {"analyze", Command::Analyze}};
    return words;
}

// The checks that concern the command line as a whole.
std::optional<std::string> whole_line_error(const Options& options) {
    if (options.command == Command::None && !options.save_settings && !options.list_keys) {
        return "nothing to do: give make-awg FILE, make-floating FILE, make-sigmf BASE, analyze FILE, "
               "--save-settings or --list-keys";
    }
    const bool making = options.command == Command::MakeAwg || options.command == Command::MakeFloating;
    if (!making && options.reference_file) {
        return "--reference needs make-awg or make-floating";
    }
    if (options.sample_rate_hz && options.command != Command::Analyze) {
        return "--sample-rate needs analyze";
    }
    if (!making && options.analyze) {
        return "--analyze needs make-awg or make-floating";
    }
    if (options.detect && options.command != Command::Analyze) {
        return "--detect needs analyze";
    }
    if (options.reference_file && std::filesystem::absolute(*options.reference_file).lexically_normal() ==
                                      std::filesystem::absolute(options.file).lexically_normal()) {
        return "--reference must name another file than the waveform file";
    }
    // "-" is standard output: the waveform's bytes, which nothing else may share.
    const bool to_standard_output = (making && options.file == "-") || options.reference_file == "-";
    if (to_standard_output && options.json) {
        return "--json cannot share standard output with a file written to '-'";
    }
    if (options.file == "-" && options.reference_file == "-") {
        return "the waveform and --reference cannot both go to standard output";
    }
    // The window has no option for the RC3/RC4 group alone and sets aside an uplink_def.ini naming it,
    // so saving it would lose the whole uplink page at the next start.
    if (options.save_settings && options.configuration == 1) {
        return "--rc 34 cannot be saved: the window reads no uplink_def.ini with the RC3/RC4 group";
    }
    return std::nullopt;
}

} // namespace

ParsedArguments parse_arguments(std::span<const std::string> arguments) {
    Options options;
    auto refuse = [](std::string error) { return ParsedArguments{std::nullopt, std::move(error)}; };
    // Asking for help is never an error, whatever else the line holds.
    if (std::any_of(arguments.begin(), arguments.end(),
                    [](const std::string& word) { return word == "-h" || word == "--help"; })) {
        options.help = true;
        return {options, {}};
    }
    if (std::find(arguments.begin(), arguments.end(), "--version") != arguments.end()) {
        options.version = true;
        return {options, {}};
    }
    for (std::size_t k = 0; k < arguments.size(); ++k) {
        const std::string& word = arguments[k];
        if (word == "--save-settings") {
            options.save_settings = true;
            continue;
        }
        if (word == "--json") {
            options.json = true;
            continue;
        }
        if (word == "--analyze") {
            options.analyze = true;
            continue;
        }
        if (word == "--quiet") {
            options.quiet = true;
            continue;
        }
        if (word == "--detect") {
            options.detect = true;
            continue;
        }
        if (word == "--list-keys" || word.starts_with("--list-keys=")) {
            // "--list-keys F_FCH", "--list-keys=F_FCH": the keys that start so.
            options.list_keys = true;
            if (word.size() > 11) {
                options.list_prefix = word.substr(12);
            } else if (k + 1 < arguments.size() && !arguments[k + 1].starts_with("-") &&
                       !commands().contains(arguments[k + 1])) {
                options.list_prefix = arguments[++k];
            }
            continue;
        }
        if (word.starts_with("--")) {
            // "--ratio 20" or "--ratio=20".
            const std::size_t equals = word.find('=');
            const std::string name = word.substr(0, equals);
            const auto rule = value_options().find(name);
            if (rule == value_options().end()) {
                return refuse("unknown option " + name);
            }
            std::string value;
            if (equals != std::string::npos) {
                value = word.substr(equals + 1);
            } else if (k + 1 < arguments.size()) {
                value = arguments[++k];
            } else {
                return refuse(name + " needs a value");
            }
            if (auto error = rule->second(value, options)) {
                return refuse(*error);
            }
            continue;
        }
        if (word.starts_with("-") && word.size() > 1) {
            return refuse("unknown option " + word);
        }
        if (options.command != Command::None) {
            return refuse("unexpected argument '" + word + "'");
        }
        const auto command = commands().find(word);
        if (command == commands().end()) {
            return refuse("unknown command '" + word + "'");
        }
        // "make-awg --ratio 20" lacks the file name; a file whose name starts so is "./--name".
        if (k + 1 >= arguments.size() || arguments[k + 1].empty() ||
            (arguments[k + 1].starts_with("-") && arguments[k + 1].size() > 1)) {
            return refuse(word + " needs a file name");
        }
        options.command = command->second;
        options.file = arguments[++k];
    }
    if (auto error = whole_line_error(options)) {
        return refuse(*error);
    }
    return {options, {}};
}

namespace {

// The first row of each downlink channel type in the row table, and how many rows it reserves: the
// downlink keys are numbered by row.
std::string downlink_rows_table() {
    const DlTypeTable table = initial_type_table();
    std::string text;
    for (int type = 0; type < dl_type_count; ++type) {
        const DlTypeEntry& entry = table[static_cast<std::size_t>(type)];
        std::string line = "    " + dl_type_info(type).name;
        line.resize(14, ' ');
        line += "first row " + std::to_string(entry.first_row);
        line.resize(30, ' ');
        line += std::to_string(entry.capacity) + (entry.capacity == 1 ? " row" : " rows");
        text += line + "\n";
    }
    return text;
}

std::string first_row_of(int type) {
    return std::to_string(initial_type_table()[static_cast<std::size_t>(type)].first_row);
}

} // namespace

std::string command_name(const Options& options) {
    switch (options.command) {
    case Command::MakeAwg:
        return "make-awg";
    case Command::MakeFloating:
        return "make-floating";
    case Command::MakeSigmf:
        return "make-sigmf";
    case Command::Analyze:
        return "analyze";
    case Command::None:
        break;
    }
    return options.save_settings ? "save-settings" : "list-keys";
}

std::string help_text(const std::filesystem::path& settings_folder) {
    std::string models;
    for (std::size_t k = 0; k < test_model_items.size(); ++k) {
        models += "                           " + std::to_string(k + 1) + "  " + test_model_items[k] + "\n";
    }
    const std::string fch_row = first_row_of(F_FCH);
    const std::string fch_third = std::to_string(std::stoi(fch_row) + 2);
    return "Usage: varnika-cli make-awg FILE [options]\n"
           "  or:  varnika-cli make-floating FILE [options]\n"
           "  or:  varnika-cli make-sigmf BASE [options]\n"
           "  or:  varnika-cli analyze FILE [options]\n"
           "  or:  varnika-cli --save-settings [options]\n"
           "  or:  varnika-cli --list-keys [PREFIX] [options]\n"
           "  or:  varnika-cli --version\n"
           "\n"
           "Makes a cdma2000 1xEV-DV test waveform without a display. The program starts up as the Varnika\n"
           "window does, from system_def.ini, uplink_def.ini and downlink_def.ini in its settings folder\n"
           "(the defaults where a file is missing or damaged, and for each bad line of a file; a notice on\n"
           "standard error names them), makes the choices the options ask for through the window's own\n"
           "controls, and runs \"Make AWG File\" (make-awg) or \"Make Floating File\" (make-floating) into\n"
           "FILE. make-awg prints the PAPR and the I and Q crest factors as the PAPR dialog shows them.\n"
           "make-sigmf writes the floating run's samples as a SigMF recording for software radios:\n"
           "BASE.sigmf-data (cf32_le) and BASE.sigmf-meta.\n"
           "\n"
           "analyze checks a waveform file against the settings: CCDF and PAPR, occupied bandwidth and\n"
           "adjacent channel power ratios, forward-link code-domain power against the set powers, and rho\n"
           "and EVM against the ideal waveform the settings make (the same options choose them). FILE is an\n"
           "AWG file, a floating text file or a SigMF recording (BASE.sigmf-meta or BASE.sigmf-data, with\n"
           "samples as cf32_le, ci16_le or cf64_le); only a regular file is read.\n"
           "\n"
           "Options:\n"
           "  --settings-dir DIR     read the settings files from DIR (and save them there) instead of\n"
           "                         the settings folder in use\n"
           "  --link uplink|downlink\n"
           "                         the link choice\n"
           "  --rc 12|34|7           the uplink radio configuration: \"RC 1,2\", the RC3/RC4 group, or\n"
           "                         \"RC 3,4,7\" (the RC3/RC4 group alone cannot be saved)\n"
           "  --test-model N         the downlink test model N, applied as its \"Set\" button does:\n" +
           models + "  --ratio N              the chosen link's oversampling ratio: " +
           joined(oversampling_items, " ") +
           "\n"
           "                         (an AWG file needs a sampling rate of 12.5 MHz to 200 MHz: 12 and up)\n"
           "  --iq-inverse on|off    the chosen link's \"I/Q Inverse\"\n"
           "  --set KEY=VALUE        set one value of a settings-file line by its key, with the rules of\n"
           "                         that line when the file is read (repeatable; after the choices\n"
           "                         above). A number beyond its field's range is limited, with a\n"
           "                         warning; a value the line does not take is refused, naming what it\n"
           "                         takes. A key in more than one file takes the file's name:\n"
           "                         uplink.ovr, downlink.ovr\n"
           "  --list-keys [PREFIX]   print every key (or those starting with PREFIX) with its current\n"
           "                         value (after --set) and its rule: KEY=VALUE, a tab, the rule\n"
           "  --reference FILE       also write the chip-rate reference file, as Tester Mode does\n"
           "  --save-settings        write the three settings files as \"Save and Quit\" does, after the\n"
           "                         run has succeeded\n"
           "  --json                 print one JSON object on standard output instead of text (see JSON\n"
           "                         output below)\n"
           "  --analyze              after make-awg or make-floating, check the file as analyze does\n"
           "  --sample-rate HZ       with analyze, the rate the file's samples were taken at: the rate of a\n"
           "                         text file; it overrides an AWG header's or a SigMF meta's own rate\n"
           "  --quiet                print nothing but errors, and the data asked for (JSON, --list-keys,\n"
           "                         analyze's numbers)\n"
           "  --detect               with analyze: take no channel settings, find the active codes of the\n"
           "                         link --link names (power above -27 dB of the total) and their powers\n"
           "  --version              print the version of the program and of both libraries\n"
           "  -h, --help             show this text\n"
           "\n"
           "The choices are made in this order: link, radio configuration, test model, ratio, I/Q inverse;\n"
           "--ratio and --iq-inverse concern the link chosen by then. A value may also follow an '='.\n"
           "Standard output carries data (the PAPR lines, analyze's numbers, JSON, --list-keys); standard\n"
           "error carries notices and errors. Files are written completely or not at all: each is written\n"
           "under a temporary name beside its destination and replaces an existing file (keeping its mode)\n"
           "only once everything has been written; a read-only file is not replaced. An interrupt (SIGINT,\n"
           "SIGTERM, SIGHUP) removes the temporaries. When the settings choose saving into the tester's\n"
           "waveform folder, the tester is looked up then and the AWG file goes there as the window's run\n"
           "sends it; it is not looked up otherwise.\n"
           "\n"
           "Downlink keys:\n"
           "  The channel table of the downlink has one row per channel instance; the keys of a row end\n"
           "  with the row's number: TYPE_Gain_ROW, TYPE_Gain2_ROW, TYPE_WLen_ROW, TYPE_WNo_ROW,\n"
           "  TYPE_Mod_ROW and TYPE_Warn_ROW, with TYPE the channel type written with '_' for '-'\n"
           "  (F_FCH). Instance N of a type is row FIRST + N - 1, FIRST being the type's first row:\n" +
           downlink_rows_table() + "  The third F-FCH is row " + fch_third + ": F_FCH_Gain_" + fch_third +
           ". A type is switched on with CH_Stat_TYPE=ON and\n"
           "  its instances counted with CH_Multi_TYPE, TYPE being the type's number (the order above, "
           "F-PICH\n"
           "  0); the rows beyond the count are kept but not used.\n"
           "\n"
           "JSON output:\n"
           "  Every command prints one object with \"command\" (make-awg, make-floating, make-sigmf,\n"
           "  analyze, save-settings, list-keys or usage), \"exit_code\", \"error\" (null on success, else\n"
           "  the first error; \"errors\" when there are more) and \"warnings\" (notices: damaged settings\n"
           "  lines, limited values, rows left out). A usage error prints the same object. make-awg,\n"
           "  make-floating and make-sigmf add file, link, description, ratio, sampling_rate_hz,\n"
           "  sample_count, channels (type, walsh, power_db) and, once the file is written, papr_db,\n"
           "  crest_factor_i_db and crest_factor_q_db; --analyze adds \"analysis\". analyze adds file and\n"
           "  the check's numbers; list-keys adds \"keys\", an array of objects with key, value and rule.\n"
           "  Text that is not UTF-8 (a file name, a settings line) is given with U+FFFD in place of each\n"
           "  bad byte.\n"
           "\n"
           "Exit codes:\n"
           "  0  done\n"
           "  1  unexpected internal error\n"
           "  2  usage: unknown option or command, bad or missing value (of --set too), missing settings\n"
           "     folder\n"
           "  3  the AWG run refuses the sampling rate (ratio 4 or 8)\n"
           "  4  a waveform, reference or settings file could not be written, or the tester's waveform\n"
           "     folder could not be reached\n"
           "  5  libkestra.so or libwavesave.so, or one of their exports, is missing\n"
           "  6  the settings give no usable waveform (every sample zero, or not finite numbers)\n"
           "  7  the file to check cannot be read or measured\n"
           "  8  analyze: the file differs from the waveform the settings make (verdict \"differs\")\n"
           "\n"
           "Examples:\n"
           "  Test Model 1 with one F-FCH, at ratio 20, into an AWG file:\n"
           "    varnika-cli make-awg tm1.awv --link downlink --test-model 1 --ratio 20\n"
           "  The first F-FCH at -12.5 dB and the RC 3,4,7 pilot gain at -3 dB:\n"
           "    varnika-cli make-awg fch.awv --link downlink --set F_FCH_Gain_" +
           fch_row +
           "=-12.5 --set RC7_PICH_Gain=-3\n"
           "  The keys of the F-FCH rows, with their values and rules:\n"
           "    varnika-cli --list-keys F_FCH_Gain\n"
           "  The PAPR of a run, from its JSON object:\n"
           "    varnika-cli make-awg tm1.awv --link downlink --test-model 1 --ratio 20 --json\n" +
           (settings_folder.empty() ? std::string()
                                    : "\nSettings folder in use: " + settings_folder.string() +
                                          "\n(the program's folder for a build or portable copy, else "
                                          "$XDG_CONFIG_HOME/varnika)\n");
}

} // namespace varnika::cli
