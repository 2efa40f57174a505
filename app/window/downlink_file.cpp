#include "window/downlink_file.h"

#include "form/number_text.h"
#include "link_rules/power_field.h"
#include "window/window_pages.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace varnika {

namespace {

int integer(const std::string& value) {
    return settings_integer(value).value_or(0);
}

// The downlink pages' lines, in file order.
class DownlinkLayout {
public:
    explicit DownlinkLayout(WindowPages& form) {
        DownlinkGeneralPage& general = form.downlink_general;
        SettingsModel& model = form.model;
        DownlinkChannelPage& channels = form.downlink_channels;
        lines_.reserve(downlink_file_lines - 1);

        choice("ovr:", general.DL_Filter_Over_Combo);
        choice("IQswap:", general.DL_Filter_IQinverse_Combo);
        choice("FiltPhaseSw:", general.DL_Filter_Equa_Combo);
        lines_.push_back(
            {"dl_df_flag:", integer_within(0, 2), [&model] { return std::to_string(model.dl_df_flag); },
             [&general](const std::string& value) { general.offset.option.select(integer(value)); }});
        frequency("DL_Freqerr:", general.offset.freqerr);
        frequency("DL_IFconv:", general.offset.ifconv);
        choice("TestModel:", channels.DL_CH_TestModel_Combo);
        append_marker_lines(lines_, form, downlink_item);
        for (int type = 1; type < dl_type_count; ++type) {
            status(channels, type);
        }
        for (int type = 1; type < dl_type_count; ++type) {
            multiplicity(channels, type);
        }
        for (int type = 0; type < dl_type_count; ++type) {
            const DlTypeEntry& entry = channels.type_entry(type);
            for (std::int32_t r = entry.first_row; r <= entry.last_reserved_row(); ++r) {
                row(downlink_row_prefix(type), channels, channels.row(r));
            }
        }
    }

    std::span<const SettingsLine> lines() const { return lines_; }

private:
    void choice(std::string key, form::ChoiceList& list) {
        lines_.push_back(choice_line(std::move(key), list));
    }
    void frequency(std::string key, form::TextField& field) {
        lines_.push_back(text_line(std::move(key), field, frequency_number()));
    }

    // The status button is pressed only where the file's status differs, as the user would press it.
    void status(DownlinkChannelPage& channels, int type) {
        lines_.push_back({"CH_Stat_" + std::to_string(type) + ":",
                          {},
                          [&channels, type] { return channels.DL_CH_Stat_Command(type).caption(); },
                          [&channels, type](const std::string& value) {
                              if ((value == "ON") != channels.type_entry(type).on()) {
                                  channels.DL_CH_Stat_Command(type).press();
                              }
                          },
                          [] { return std::string("ON (any other text: OFF)"); }});
    }

    // Written as the field shows it and committed on reading, which keeps it within 1 .. capacity.
    void multiplicity(DownlinkChannelPage& channels, int type) {
        form::TextField& field = channels.DL_CH_Multi_Text(type);
        lines_.push_back({"CH_Multi_" + std::to_string(type) + ":",
                          {},
                          [&field] { return field.text(); },
                          [&field](const std::string& value) {
                              if (field.enabled()) {
                                  field.set_text(value);
                                  field.commit();
                              }
                          }});
    }

    // A typed power too large for a double (not yet left, so not yet clamped) is written as the limit the
    // field would clamp it to. On reading, the power goes in as if typed and left: the field limits it.
    void power(std::string key, form::TextField& field) {
        lines_.push_back({std::move(key), field_number(),
                          [&field] {
                              const double power_db = field.number();
                              return number_text(std::isfinite(power_db)
                                                     ? power_db
                                                     : std::clamp(power_db, -power_limit_db, power_limit_db));
                          },
                          [&field](const std::string& value) {
                              field.set_text(value);
                              field.commit();
                          },
                          [] {
                              return "a number in dB, limited to " + number_text(-power_limit_db) + " to " +
                                     number_text(power_limit_db);
                          }});
    }

    void row(const std::string& prefix, DownlinkChannelPage& channels, DlRow& r) {
        // Built by appending: GCC 12 misreads "_" + std::string&& as an overlapping copy (-Wrestrict).
        std::string index(1, '_');
        index.append(std::to_string(r.row())).append(1, ':');
        const DlTypeInfo& info = r.info();
        lines_.push_back(
            {prefix + "Warn" + index, true_or_false(), [&r] { return r.marked() ? "True" : "False"; },
             [&r](const std::string& value) { r.set_marked(settings_truth(value).value_or(false)); }});
        if (r.DL_CH_WLEN_Combo) {
            choice(prefix + "WLen" + index, *r.DL_CH_WLEN_Combo);
        }
        if (r.DL_CH_WNO_Combo) {
            choice(prefix + "WNo" + index, *r.DL_CH_WNO_Combo);
        } else if (info.number_kind == WalshNumberKind::Typed) {
            // The number the row shows, as a plain integer; on reading it is written into the field
            // without a commit, limited as a commit would limit it, so it is always a code of the row's
            // length.
            lines_.push_back({prefix + "WNo" + index,
                              integer_within(std::numeric_limits<std::int32_t>::min(),
                                             std::numeric_limits<std::int32_t>::max()),
                              [&r] { return std::to_string(r.number()); },
                              [&r, &channels](const std::string& value) {
                                  r.write_walsh_number(
                                      std::to_string(channels.limited_walsh_number(r.row(), integer(value))));
                              }});
        }
        power(prefix + "Gain" + index, r.DL_CH_POWER_Text);
        if (r.DL_CH_POWER2_Text) {
            power(prefix + "Gain2" + index, *r.DL_CH_POWER2_Text);
        }
        if (r.DL_CH_MOD_Combo) {
            choice(prefix + "Mod" + index, *r.DL_CH_MOD_Combo);
        }
    }

    std::vector<SettingsLine> lines_;
};

} // namespace

std::string downlink_row_prefix(int type) {
    std::string prefix = dl_type_info(type).name;
    std::replace(prefix.begin(), prefix.end(), '-', '_');
    return prefix + "_";
}

std::vector<SettingsLine> downlink_layout(WindowPages& form) {
    if (!form.downlink_channels.built()) {
        return {};
    }
    const DownlinkLayout layout(form);
    return {layout.lines().begin(), layout.lines().end()};
}

std::vector<std::string> downlink_settings_lines(WindowPages& form) {
    if (!form.downlink_channels.built()) {
        return {};
    }
    return settings_lines_of(downlink_file_header, DownlinkLayout(form).lines());
}

void apply_downlink_defaults(WindowPages& form) {
    form.downlink_general.apply_default();
    form.downlink_channels.apply_channel_defaults();
}

bool apply_downlink_settings(std::span<const std::string> lines, WindowPages& form,
                             SettingsFileReport* report) {
    if (!form.downlink_channels.built()) {
        return false;
    }
    // No Walsh number is tested while the lines go in and "Total No" waits; start-up has set the flag
    // already. Once all are in, every shown row's code is tested against the others, so the marks are
    // the clashes of the codes as read, whatever the file's "Warn" lines say; for a file the program
    // wrote they are the marks it saved. Any other reader gets the count once at the end.
    SettingsModel& model = form.model;
    const bool was_loading = model.loading_flag;
    model.loading_flag = true;
    const bool applied = apply_settings_lines(
        lines, DownlinkLayout(form).lines(), report != nullptr ? &report->lines : nullptr,
        [&form] { apply_downlink_defaults(form); }, report != nullptr ? &report->whole : nullptr);
    if (applied) {
        form.downlink_channels.retest_shown_codes();
    }
    model.loading_flag = was_loading;
    if (applied && !was_loading) {
        form.downlink_channels.update_total_count();
    }
    return applied;
}

bool load_downlink_settings(WindowPages& form) {
    SettingsFileReport& report = settings_report(form, SettingsFile::Downlink);
    report = {};
    return read_settings_lines(form.settings_folder, downlink_file_name, file_line_buffer,
                               form.model.FileLines, &report.whole) &&
           apply_downlink_settings(form.model.FileLines, form, &report);
}

} // namespace varnika
