// End to end, per link and radio configuration: the AWG file a run writes is, apart from its DATE line,
// the file that calling the libraries directly with the panels' records writes.
#include "run_support.h"

#include "downlink/dl_channel_list.h"

#include <kestra/kestra.h>
#include <wavesave/wavesave.h>

#include <sstream>

namespace varnika {
namespace {

using testing::file_text;
using testing::without_date_line;
namespace fs = std::filesystem;

class EndToEnd : public testing::RunFixture {
protected:
    EndToEnd() : waveform(80 * FRAME_CHIPS + 1), chips(FRAME_CHIPS + 1), work(KESTRA_WORK_BYTES) {}

    // The AWG file of the samples now in `waveform`, written directly; markers from the link's
    // MarkerTable column, their tail worked out here.
    std::string write_directly(int link, std::int32_t ratio) {
        const std::int32_t size = ratio * FRAME_CHIPS;
        double crest_i = 0, crest_q = 0, papr = 0;
        EXPECT_EQ(CalcCrestFactor(waveform.data(), size, &crest_i, &crest_q, &papr), 0);
        const auto& table = form.model.MarkerTable;
        const auto l = static_cast<std::size_t>(link);
        std::array<std::int32_t, 10> m{};
        for (std::size_t marker = 0; marker < 2; ++marker) {
            const std::int32_t mode = table[3 * marker][l];
            if (mode != 0) {
                const std::int32_t start = table[3 * marker + 1][l];
                const std::int32_t high = table[3 * marker + 2][l];
                m[5 * marker] = mode;
                m[5 * marker + 1] = start;
                m[5 * marker + 2] = high;
                m[5 * marker + 3] = size - start - high;
                m[5 * marker + 4] = mode;
            }
        }
        const fs::path file = output / "direct.awv";
        EXPECT_EQ(save_AWG_data_file(file.c_str(), waveform.data(), crest_i, crest_q, papr, ratio * 1.2288e6,
                                     size, 0, m[0], m[1], m[2], m[3], m[4], m[5], m[6], m[7], m[8], m[9]),
                  0);
        return file_text(file);
    }

    std::string made_by_the_run() {
        const std::string file = answer_with("run.awv");
        form.MakeAWGFile_Button.press();
        EXPECT_TRUE(platform.shown.empty());
        return file_text(file);
    }

    void expect_same_file(const std::string& by_run, const std::string& direct) {
        ASSERT_GT(by_run.size(), 12u * FRAME_CHIPS * 8);
        EXPECT_EQ(by_run.size(), direct.size());
        EXPECT_TRUE(without_date_line(by_run) == without_date_line(direct)) << "files differ";
    }

    void set_marker(int marker, int link, int mode, const char* start, const char* high) {
        MarkerFields& fields = form.markers.marker(marker);
        fields.mode[link].select(mode);
        fields.start[link].set_text(start);
        fields.start[link].commit();
        fields.high[link].set_text(high);
        fields.high[link].commit();
    }

    std::vector<IqSample> waveform;
    std::vector<IqSample> chips;
    std::vector<std::uint8_t> work;
};

TEST_F(EndToEnd, ReverseLinkRc1Rc2WithIqInversionAndAFrequencyError) {
    choose_uplink("12", 0);
    form.uplink.UL_Filter_IQinverse_Combo.select(1);
    form.uplink.offset.option.select(1);
    form.uplink.offset.freqerr.set_text("1500.00");
    form.uplink.offset.freqerr.commit();
    set_marker(1, uplink_item, 2, "1000", "5000");
    const std::string by_run = made_by_the_run();

    KESTRA_UL_Actual_RC12(waveform.data(), chips.data(), work.data(), 12, 1, 1, 1500.0, 0.0);
    expect_same_file(by_run, write_directly(uplink_item, 12));
}

TEST_F(EndToEnd, ReverseLinkRc3Rc4WithItsPanelRecord) {
    choose_uplink("12", 1);
    form.uplink.rc34.DCCH.gain.set_text("-3.00");
    form.uplink.rc34.DCCH.gain.commit();
    set_marker(0, uplink_item, 1, "0", "2000");
    const std::string by_run = made_by_the_run();

    Rc34Params params{};
    form.uplink.fill(params);
    EXPECT_EQ(params.oversampling, 12);
    KESTRA_UL_Actual_RC34(waveform.data(), chips.data(), work.data(), &params);
    expect_same_file(by_run, write_directly(uplink_item, 12));
}

TEST_F(EndToEnd, ReverseLinkRc7WithItsPanelRecord) {
    choose_uplink("12", 2);
    form.uplink.UL_Filter_IQinverse_Combo.select(1);
    form.uplink.offset.option.select(2);
    form.uplink.offset.ifconv.set_text("250000.00");
    form.uplink.offset.ifconv.commit();
    const std::string by_run = made_by_the_run();

    Rc7Params params{};
    form.uplink.fill(params);
    EXPECT_EQ(params.offset_mode, 2);
    KESTRA_UL_Actual_RC7(waveform.data(), chips.data(), work.data(), &params);
    expect_same_file(by_run, write_directly(uplink_item, 12));
}

TEST_F(EndToEnd, ForwardLinkWithTheDownlinkPagesRecords) {
    choose_downlink("12");
    form.downlink_general.DL_Filter_Equa_Combo.select(1);
    form.downlink_channels.DL_CH_TestModel_Combo.select_text("Test Model2  PDCH 8PSK");
    form.downlink_channels.DL_CH_TestModel_Command.press();
    set_marker(0, downlink_item, 1, "400", "800");
    // Markers of the other link stay out of the file.
    set_marker(0, uplink_item, 2, "0", "64");
    const std::string by_run = made_by_the_run();

    const DlChannelList list = collect_dl_channels(form.model, form.downlink_general, form.downlink_channels);
    EXPECT_GT(list.channels.size(), 1u);
    EXPECT_EQ(list.params.phase_equalizer, 1);
    KESTRA_DL_Actual(waveform.data(), chips.data(), work.data(), &list.params, list.channels.data(),
                     list.ack_user_gains.data());
    expect_same_file(by_run, write_directly(downlink_item, 12));
}

} // namespace
} // namespace varnika
