#include "run/used_channels.h"

#include "downlink/dl_channel_list.h"
#include "downlink/dl_channel_types.h"
#include "form/platform.h"
#include "window/start_up.h"

#include <kestra/kestra.h>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace varnika {

namespace {

std::string walsh_text(std::int32_t length, std::int32_t number) {
    std::string text(1, 'W');
    text.append(std::to_string(length)).append(1, '(').append(std::to_string(number)).append(1, ')');
    return text;
}

// The uplink covers of the synthesis library: the supplemental channels' covers grow with repetition.
std::string repeated_walsh(std::int32_t length, std::int32_t number, std::int32_t repetition) {
    return walsh_text(length * std::max(1, repetition), number);
}

std::vector<UsedChannel> downlink_channels(const MainForm& form) {
    const DlChannelList list = collect_dl_channels(form.model, form.downlink_general, form.downlink_channels);
    // The library gets the pilot's power as it is and every other power relative to it; the window
    // shows each row's power as typed, and so do reports.
    const double pilot_db = form.downlink_channels.row(0).DL_CH_POWER_Text.number();
    std::vector<UsedChannel> used;
    for (const DlChannel& channel : list.channels) {
        const std::string walsh =
            channel.walsh_length > 0 ? walsh_text(channel.walsh_length, channel.walsh_index) : std::string();
        const bool pilot = channel.type == F_PICH;
        used.push_back(
            {dl_type_info(channel.type).name, walsh, pilot ? channel.power_db : channel.power_db + pilot_db});
    }
    return used;
}

std::vector<UsedChannel> rc34_channels(const Rc34Params& p) {
    std::vector<UsedChannel> used{{"R-PICH", walsh_text(32, 0), 0.0}};
    if (p.dcch_on != 0) {
        used.push_back({"R-DCCH", walsh_text(16, 8), p.dcch_gain_db});
    }
    if (p.sch2_on != 0) {
        used.push_back({"R-SCH2",
                        p.sch2_walsh_alt == 0 ? repeated_walsh(4, 2, p.sch2_repetition)
                                              : repeated_walsh(8, 6, p.sch2_repetition),
                        p.sch2_gain_db});
    }
    if (p.fch_on != 0) {
        used.push_back({"R-FCH", walsh_text(16, 4), p.fch_gain_db});
    }
    if (p.sch1_on != 0) {
        used.push_back({"R-SCH1",
                        p.sch1_walsh_alt == 0 ? repeated_walsh(2, 1, p.sch1_repetition)
                                              : repeated_walsh(4, 2, p.sch1_repetition),
                        p.sch1_gain_db});
    }
    return used;
}

std::vector<UsedChannel> rc7_channels(const Rc7Params& p) {
    std::vector<UsedChannel> used{{"R-PICH", walsh_text(32, 0), 0.0}};
    auto add = [&used](std::int32_t on, const char* type, std::string walsh, double power_db) {
        if (on != 0) {
            used.push_back({type, std::move(walsh), power_db});
        }
    };
    add(p.spich_on, "R-SPICH", walsh_text(64, 32), p.spich_gain_db);
    add(p.dcch_on, "R-DCCH", walsh_text(16, 8), p.dcch_gain_db);
    add(p.sch2_on, "R-SCH2",
        p.sch2_walsh_alt == 0 ? repeated_walsh(4, 2, p.sch2_repetition)
                              : repeated_walsh(8, 6, p.sch2_repetition),
        p.sch2_gain_db);
    add(p.each_on, "R-EACH", walsh_text(8, 2), p.each_gain_db);
    add(p.pdcch_on, "R-PDCCH", walsh_text(64, 48), p.pdcch_gain_db);
    add(p.reqch_on, "R-REQCH", walsh_text(16, 8), p.reqch_gain_db);
    add(p.ackch_on, "R-ACKCH", walsh_text(64, 16), p.ackch_gain_db);
    add(p.fch_on, "R-FCH", walsh_text(16, 4), p.fch_gain_db);
    add(p.sch1_on, "R-SCH1",
        p.sch1_walsh_alt == 0 ? repeated_walsh(2, 1, p.sch1_repetition)
                              : repeated_walsh(4, 2, p.sch1_repetition),
        p.sch1_gain_db);
    add(p.cqich_on, "R-CQICH", walsh_text(16, 12), p.cqich_gain_db);
    if (p.pdch_on != 0) {
        // BPSK takes the long cover alone; 8-PSK and QPSK on both covers take two streams.
        const bool two_streams =
            p.pdch_modulation != 0 &&
            (p.pdch_modulation != 1 || (p.pdch_walsh_select != 0 && p.pdch_walsh_select != 1));
        std::string walsh = p.pdch_modulation == 0 || (!two_streams && p.pdch_walsh_select == 1)
                                ? walsh_text(4, 2)
                                : walsh_text(2, 1);
        if (two_streams) {
            walsh.append(1, '+').append(walsh_text(4, 2));
        }
        add(1, "R-PDCH", walsh, p.pdch_gain_db);
    }
    return used;
}

} // namespace

std::vector<UsedChannel> used_channels(const MainForm& form, int link) {
    if (link == downlink_item) {
        return downlink_channels(form);
    }
    switch (form.model.UL_CH_flag) {
    case 1: {
        Rc34Params params{};
        form.uplink.fill(params);
        return rc34_channels(params);
    }
    case 2: {
        Rc7Params params{};
        form.uplink.fill(params);
        return rc7_channels(params);
    }
    default:
        // The short-PN pair alone, no code channel.
        return {{"short PN pair", "", 0.0}};
    }
}

std::vector<std::string> run_warnings(const MainForm& form, int link) {
    std::vector<std::string> warnings;
    if (link != downlink_item) {
        return warnings;
    }
    const DownlinkChannelPage& page = form.downlink_channels;
    page.for_each_instance_row([&](int r) {
        const DlRow& row = page.row(r);
        if (row.marked()) {
            warnings.push_back(channel_label(page, r) + " with " +
                               walsh_text(row.code().length, row.code().number) +
                               " is left out: its Walsh code clashes with another row's.");
        }
    });
    return warnings;
}

namespace {

// A desktop that nobody sees: the window's pages of a scratch copy, worked on to compare settings.
class UnseenPlatform : public form::Platform {
public:
    void run_modal(form::Dialog&) override {}
    form::MessageAnswer show_message(const std::string&, const std::string&, form::MessageIcon,
                                     form::MessageButtons) override {
        return form::MessageAnswer::Ok;
    }
    void close_main_window() override {}
    void end_program() override {}
};

// What the synthesis gets of a channel, the power to its hundredth.
auto channel_key(const DlChannel& channel) {
    return std::make_tuple(channel.type, channel.walsh_length, channel.walsh_index,
                           std::lround(channel.power_db * 100.0), channel.option);
}

std::vector<decltype(channel_key(DlChannel{}))> channel_keys(const MainForm& form) {
    const DlChannelList list = collect_dl_channels(form.model, form.downlink_general, form.downlink_channels);
    std::vector<decltype(channel_key(DlChannel{}))> keys;
    for (const DlChannel& channel : list.channels) {
        keys.push_back(channel_key(channel));
    }
    return keys;
}

// Whether the forward channels are exactly those test model `entry` sets: the model applied to the
// defaults of a scratch window, as its "Set" button applies it, gives the same channels.
bool is_test_model(const MainForm& form, int entry) {
    UnseenPlatform platform;
    MainForm model_form(platform);
    StartupSteps steps;
    steps.apply_network_settings = [](MainForm&) {};
    steps.allocate_buffers = [](MainForm&) {};
    start_up(model_form, steps);
    model_form.downlink_channels.DL_CH_TestModel_Combo.select(entry);
    model_form.downlink_channels.DL_CH_TestModel_Command.press();
    return channel_keys(model_form) == channel_keys(form);
}

// "custom: F-PICH, SYNCH, PCH 1, F-FCH 3": the channels the run includes, each type with the number the
// channel table shows for its row, where the type has more than one row.
std::string custom_channels(const MainForm& form) {
    const DownlinkChannelPage& page = form.downlink_channels;
    std::string text = "custom:";
    bool first = true;
    page.for_each_instance_row([&](int r) {
        const DlRow& row = page.row(r);
        if (row.marked()) {
            return; // left out of the waveform for its Walsh clash
        }
        const DlTypeInfo& info = dl_type_info(row.type());
        text.append(first ? " " : ", ").append(info.name);
        if (!info.single()) {
            text.append(1, ' ').append(row.DL_CH_INDEX_Text.text());
        }
        first = false;
    });
    return text;
}

} // namespace

std::string waveform_description(const MainForm& form, int link) {
    const std::string ratio = "ratio " + std::to_string(form.model.data_size(link) / FRAME_CHIPS);
    if (link == downlink_item) {
        const form::ChoiceList& models = form.downlink_channels.DL_CH_TestModel_Combo;
        const int entry = models.selected();
        const std::string channels =
            entry >= 0 && form.downlink_channels.built() && is_test_model(form, entry)
                ? models.text()
                : custom_channels(form);
        return "cdma2000 1xEV-DV forward link, " + channels + ", " + ratio;
    }
    static const char* const configurations[] = {"RC 1,2", "RC 3,4", "RC 3,4,7"};
    const int flag = std::clamp(form.model.UL_CH_flag, 0, 2);
    return std::string("cdma2000 1xEV-DV reverse link, ") + configurations[flag] + ", " + ratio;
}

} // namespace varnika
