#include "window/settings_files.h"

#include <safewrite/safe_file.h>

#include "window/downlink_file.h"
#include "window/window_pages.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>

namespace varnika {

namespace {

// A value already checked by its line.
int integer(const std::string& value) {
    return settings_integer(value).value_or(0);
}

SettingsLine integer_line(std::string key, std::int32_t& field, std::int32_t first, std::int32_t last) {
    return {std::move(key), integer_within(first, last), [&field] { return std::to_string(field); },
            [&field](const std::string& value) { field = integer(value); }};
}

SettingsLine string_line(std::string key, std::string& field) {
    return {std::move(key),
            {},
            [&field] { return field; },
            [&field](const std::string& value) { field = value; }};
}

// The PDCH Walsh list under each item of UL_RC7_PDCH_Mod_Combo ("BPSK", "QPSK", "8PSK").
const std::array<const std::vector<std::string>*, 3> pdch_walsh_lists{
    &pdch_walsh_items_bpsk, &pdch_walsh_items_qpsk, &pdch_walsh_items_8psk};

std::vector<SettingsLine> system_layout(SettingsModel& model) {
    return {
        integer_line("link_flag:", model.link_flag, 0, 1),
        integer_line("Uplink_Tab:", model.Uplink_Tab, 0, 1),
        integer_line("Downlink_Tab:", model.Downlink_Tab, 0, 2),
        string_line("HostName:", model.HostName),
        string_line("IPadress1:", model.IPadress1),
        string_line("IPadress2:", model.IPadress2),
        string_line("IPadress3:", model.IPadress3),
        string_line("IPadress4:", model.IPadress4),
        integer_line("SaveMode:", model.SaveMode, 0, 1),
        integer_line("IPaddressUL:", model.IPaddressUL, 0, 1),
    };
}

// The uplink page's lines, in file order.
class UplinkLayout {
public:
    explicit UplinkLayout(WindowPages& form) {
        UplinkPanel& ul = form.uplink;
        SettingsModel& model = form.model;
        choice("ovr:", ul.UL_Filter_Over_Combo);
        choice("IQswap:", ul.UL_Filter_IQinverse_Combo);
        // The window offers no button for the RC3/RC4 group alone (1): a file naming it is damaged.
        lines_.push_back(
            {"UL_CH_flag:",
             [](std::string_view value) {
                 const auto flag = settings_integer(value);
                 return flag && (*flag == 0 || *flag == 2);
             },
             [&model] { return std::to_string(model.UL_CH_flag); },
             [&ul](const std::string& value) { ul.UL_CH_Selection_Option.select(integer(value)); }});
        lines_.push_back({"ul_df_flag:", integer_within(0, 2),
                          [&model] { return std::to_string(model.ul_df_flag); },
                          [&ul](const std::string& value) { ul.offset.option.select(integer(value)); }});
        frequency("UL_Freqerr:", ul.offset.freqerr);
        frequency("UL_IFconv:", ul.offset.ifconv);
        append_marker_lines(lines_, form, uplink_item);

        Rc34Group& rc34 = ul.rc34;
        text("RC34_PICH_Gain:", rc34.PICH.gain);
        channel("RC34_DCCH", rc34.DCCH);
        channel("RC34_FCH", rc34.FCH);
        walsh("RC34_SCH1", rc34.SCH1);
        choice("RC34_SCH1_Repet:", rc34.SCH1_Repetition.list, sch1_repetition_items.size());
        text("RC34_SCH1_Gain:", rc34.SCH1.gain);
        walsh("RC34_SCH2", rc34.SCH2);
        choice("RC34_SCH2_Repet:", rc34.SCH2_Repetition.list, sch2_repetition_items.size());
        text("RC34_SCH2_Gain:", rc34.SCH2.gain);

        Rc7Group& rc7 = ul.rc7;
        text("RC7_PICH_Gain:", rc7.PICH.gain);
        channel("RC7_SPICH", rc7.SPICH);
        channel("RC7_EACH", rc7.EACH);
        channel("RC7_PDCCH", rc7.PDCCH);
        channel("RC7_REQCH", rc7.REQCH);
        channel("RC7_DCCH", rc7.DCCH);
        channel("RC7_ACKCH", rc7.ACKCH);
        walsh("RC7_CQICH", rc7.CQICH);
        choice("RC7_CQICH_Mod:", rc7.CQICH_Mod.list);
        text("RC7_CQICH_Gain:", rc7.CQICH.gain);
        channel("RC7_FCH", rc7.FCH);
        walsh("RC7_SCH1", rc7.SCH1);
        choice("RC7_SCH1_Repet:", rc7.SCH1_Repetition.list, sch1_repetition_items.size());
        text("RC7_SCH1_Gain:", rc7.SCH1.gain);
        walsh("RC7_SCH2", rc7.SCH2);
        choice("RC7_SCH2_Repet:", rc7.SCH2_Repetition.list, sch2_repetition_items.size());
        text("RC7_SCH2_Gain:", rc7.SCH2.gain);
        pdch(rc7);
        text("RC7_PDCH_Gain:", rc7.PDCH.gain);
    }

    std::span<const SettingsLine> lines() const { return lines_; }

private:
    void choice(std::string key, form::ChoiceList& list, std::size_t longest = 0) {
        lines_.push_back(choice_line(std::move(key), list, static_cast<int>(longest)));
    }

    // A power or frequency goes in as if typed and left: the field limits it to its range.
    void text(std::string key, form::TextField& field) { lines_.push_back(text_line(std::move(key), field)); }
    void frequency(std::string key, form::TextField& field) {
        lines_.push_back(text_line(std::move(key), field, frequency_number()));
    }

    // The PDCH Walsh index counts in the list of the modulation written on the next line. The list that
    // stands before that line may be another modulation's, where the same index names another code (index
    // 1 is "W4(2)" under BPSK but "W2(1)" under QPSK) and that code may clash where the written one does
    // not. So the Walsh line selects its index in the list as it stands (which is all it can do when the
    // modulation line is left out), and the modulation line then chooses its modulation, which rebuilds
    // the list, and selects the written index again; that selection runs the PDCH Walsh rule against the
    // channels as read. A modulation whose list is too short for the written index is a bad line.
    void pdch(Rc7Group& rc7) {
        auto walsh_index = std::make_shared<int>(-1);
        form::ChoiceList& walsh = rc7.PDCH.walsh;
        form::ChoiceList& modulation = rc7.PDCH_Mod.list;
        const SettingsLine::Check walsh_valid = index_below(static_cast<int>(pdch_walsh_items_qpsk.size()));
        lines_.push_back({"RC7_PDCH_Walsh:",
                          [walsh_index, walsh_valid](std::string_view value) {
                              const bool valid = walsh_valid(value);
                              *walsh_index = valid ? settings_integer(value).value_or(0) : -1;
                              return valid;
                          },
                          [&walsh] { return std::to_string(std::max(walsh.selected(), 0)); },
                          [&walsh](const std::string& value) {
                              if (integer(value) < walsh.count()) {
                                  walsh.select(integer(value));
                              }
                          }});
        lines_.push_back(
            {"RC7_PDCH_Mod:",
             [walsh_index](std::string_view value) {
                 const auto chosen = settings_integer(value);
                 return chosen && *chosen >= 0 && *chosen < static_cast<int>(pdch_walsh_lists.size()) &&
                        *walsh_index <
                            static_cast<int>(pdch_walsh_lists[static_cast<std::size_t>(*chosen)]->size());
             },
             [&modulation] { return std::to_string(std::max(modulation.selected(), 0)); },
             [walsh_index, &walsh, &modulation](const std::string& value) {
                 modulation.select(integer(value));
                 if (*walsh_index >= 0) {
                     walsh.select(*walsh_index);
                 }
                 *walsh_index = -1;
             }});
    }

    void walsh(const std::string& channel_key, UplinkChannel& channel) {
        choice(channel_key + "_Walsh:", channel.walsh);
    }

    void channel(const std::string& channel_key, UplinkChannel& channel) {
        walsh(channel_key, channel);
        text(channel_key + "_Gain:", channel.gain);
    }

    std::vector<SettingsLine> lines_;
};

} // namespace

std::string settings_notice(const WindowPages& form) {
    // A damaged file can have thousands of bad lines, of any bytes: the notice names a few of each file,
    // shortened and with control characters shown as "?", and counts the rest.
    constexpr std::size_t lines_named = 8;
    constexpr std::size_t text_shown = 60;
    auto shown = [](const std::string& text) {
        std::string out = text.substr(0, text_shown);
        std::replace_if(
            out.begin(), out.end(), [](char c) { return static_cast<unsigned char>(c) < 32 || c == 127; },
            '?');
        return text.size() > text_shown ? out + "..." : out;
    };
    std::string notice;
    std::string kept;
    std::string left;
    for (const SettingsFile file : {SettingsFile::System, SettingsFile::Uplink, SettingsFile::Downlink}) {
        const SettingsFileReport& report = form.settings_reports[static_cast<std::size_t>(file)];
        const std::string name = settings_file_name(file);
        if (report.empty()) {
            continue;
        }
        if (!report.whole.empty()) {
            notice += "\n" + name + " was ignored as a whole: " + report.whole + ".";
        }
        for (std::size_t n = 0; n < report.lines.size() && n < lines_named; ++n) {
            notice += "\n" + name + " line " + std::to_string(report.lines[n].number) + " was ignored: \"" +
                      shown(report.lines[n].text) + "\"";
        }
        if (report.lines.size() > lines_named) {
            notice += "\n" + name + ": " + std::to_string(report.lines.size() - lines_named) +
                      " more lines were ignored.";
        }
        // What is not a file is left as it is when the settings are saved: it has nothing to keep.
        if (safewrite::odd_kind(settings_file_path(form, file)).empty()) {
            kept += (kept.empty() ? "" : ", ") + name + ".bak";
        } else {
            left += (left.empty() ? "" : ", ") + name;
        }
    }
    if (notice.empty()) {
        return {};
    }
    return "Some settings could not be read and keep their defaults." + notice +
           (kept.empty() ? std::string()
                         : "\nThe files as they are now will be kept as " + kept +
                               " when the settings are next saved.") +
           (left.empty() ? std::string() : "\n" + left + " will not be saved until it is a file again.");
}

std::vector<std::string> system_settings_lines(SettingsModel& model) {
    return settings_lines_of(system_file_header, system_layout(model));
}

bool take_system_settings(std::span<const std::string> lines, SettingsModel& model,
                          SettingsFileReport* report) {
    return apply_settings_lines(lines, system_layout(model), report != nullptr ? &report->lines : nullptr, {},
                                report != nullptr ? &report->whole : nullptr);
}

bool read_system_settings(WindowPages& form) {
    SettingsFileReport& report = settings_report(form, SettingsFile::System);
    report = {};
    std::vector<std::string> lines;
    return read_settings_lines(form.settings_folder, system_file_name, system_line_buffer, lines,
                               &report.whole) &&
           take_system_settings(lines, form.model, &report);
}

bool write_system_settings(WindowPages& form) {
    return write_settings_file(form, SettingsFile::System);
}

std::vector<SettingsLine> settings_layout(WindowPages& form, SettingsFile file) {
    switch (file) {
    case SettingsFile::System:
        return system_layout(form.model);
    case SettingsFile::Uplink: {
        const UplinkLayout layout(form);
        return {layout.lines().begin(), layout.lines().end()};
    }
    case SettingsFile::Downlink:
        break;
    }
    return downlink_layout(form);
}

std::vector<std::string> uplink_settings_lines(WindowPages& form) {
    return settings_lines_of(uplink_file_header, UplinkLayout(form).lines());
}

void apply_uplink_defaults(WindowPages& form) {
    form.uplink.UL_CH_Selection_Option.select(0);
    form.uplink.apply_default();
    form.uplink.rc34.apply_defaults();
    form.uplink.rc7.apply_defaults();
}

bool apply_uplink_settings(std::span<const std::string> lines, WindowPages& form,
                           SettingsFileReport* report) {
    return apply_settings_lines(
        lines, UplinkLayout(form).lines(), report != nullptr ? &report->lines : nullptr,
        [&form] { apply_uplink_defaults(form); }, report != nullptr ? &report->whole : nullptr);
}

bool read_uplink_settings(WindowPages& form) {
    SettingsFileReport& report = settings_report(form, SettingsFile::Uplink);
    report = {};
    return read_settings_lines(form.settings_folder, uplink_file_name, file_line_buffer, form.model.FileLines,
                               &report.whole) &&
           apply_uplink_settings(form.model.FileLines, form, &report);
}

bool write_uplink_settings(WindowPages& form) {
    return write_settings_file(form, SettingsFile::Uplink);
}

bool write_settings_file(WindowPages& form, SettingsFile file, std::string* cause) {
    // Without a program folder there is nowhere to keep settings: that is a failed write, not a quiet one.
    if (form.settings_folder.empty()) {
        return false;
    }
    // An installed program's folder under $XDG_CONFIG_HOME is made when settings are first saved; one
    // that cannot be made fails the write below with its cause.
    std::error_code not_made;
    std::filesystem::create_directories(form.settings_folder, not_made);
    std::vector<std::string> lines;
    switch (file) {
    case SettingsFile::System:
        lines = system_settings_lines(form.model);
        break;
    case SettingsFile::Uplink:
        lines = uplink_settings_lines(form);
        break;
    case SettingsFile::Downlink:
        lines = downlink_settings_lines(form);
        break;
    }
    // A page that cannot describe itself (no channel table yet) must not replace a good file.
    if (lines.empty()) {
        return false;
    }
    const std::filesystem::path path = settings_file_path(form, file);
    // What is not a settings file (a folder, a FIFO, a link to something that is not a file) stays as it
    // is: it is neither kept as a backup nor replaced.
    if (std::string odd = safewrite::odd_kind(path); !odd.empty()) {
        if (cause != nullptr) {
            *cause = "it is " + odd + ", not a settings file, and was left as it is";
        }
        return false;
    }
    SettingsFileReport& report = settings_report(form, file);
    // A file that start-up set aside, whole or in part, is kept beside as NAME.bak before it is replaced,
    // so nothing the user wrote into it is lost; without that copy it is not replaced.
    if (!report.empty()) {
        if (!keep_settings_backup(path)) {
            if (cause != nullptr) {
                *cause = "its earlier contents could not be kept as " + path.filename().string() + ".bak";
            }
            return false;
        }
    }
    if (!write_settings_lines(path, lines, cause)) {
        return false;
    }
    report = {};
    return true;
}

} // namespace varnika
