#include "wavesave/wavesave.h"

#include "temp_folder.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Distinct, awkward values for every field: doubles with many significant digits, integers near
// their limits now and then.
class Values {
public:
    double real() {
        ++n_;
        return (n_ % 2 ? -1.0 : 1.0) * n_ / 7.0 * std::pow(10.0, n_ % 9 - 3);
    }
    int16_t short_value() {
        return ++n_ % 50 == 0 ? std::numeric_limits<int16_t>::min() : int16_t(n_ * 37 - 3000);
    }
    int32_t long_value() { return ++n_ % 20 == 0 ? std::numeric_limits<int32_t>::min() : n_ * 1000003 - 7; }

private:
    int n_ = 0;
};

void set_block(ConfigLinkBlock& b, Values& v) {
    b.freq_error = -1.5e300; // written with 32 decimals this line is about 340 characters long
    b.if_conversion = 1.0 / 3.0;
    b.filter_type = -3000;
    b.filter_len = v.short_value();
    b.over_sample = v.short_value();
    b.signal_length = v.short_value();
    b.iq_inverse = v.short_value();
    b.freq_offset_type = v.short_value();
    b.marker1_sw = v.short_value();
    b.marker1_st = std::numeric_limits<int32_t>::max();
    b.marker1_hi = v.long_value();
    b.marker2_sw = v.short_value();
    b.marker2_st = v.long_value();
    b.marker2_hi = v.long_value();
}

void set_uplink(ConfigRecord& r) {
    Values v;
    set_block(r.ul_common, v);
    r.ul_sample_rate = 98304000.123456789;
    r.ul_scrambling_no = v.long_value();
    r.ul_data_num = v.long_value();
    r.ul_total_multiples = v.short_value();
    for (int n = 0; n < WAVESAVE_UL_CHANNELS; ++n) {
        r.ul_channel_index[n] = v.short_value();
    }
    for (ConfigChannelType& t : r.ul_channel_types) {
        t.state = v.short_value();
        t.multiples = v.short_value();
    }
    for (UlConfigChannel& c : r.ul_channels) {
        c.power = v.real();
        c.type = v.short_value();
        c.rate = v.short_value();
        c.no = v.short_value();
        c.iq = v.short_value();
        c.data = v.short_value();
        c.seed = v.long_value();
        c.stat = v.short_value();
    }
}

void set_downlink(ConfigRecord& r) {
    Values v;
    set_block(r.dl_common, v);
    r.dl_sample_rate = v.real();
    r.dl_scrambling_no = v.long_value();
    r.dl_data_num = v.long_value();
    r.dl_total_multiples = v.short_value();
    for (int n = 0; n < WAVESAVE_DL_CHANNELS; ++n) {
        r.dl_channel_index[n] = v.short_value();
    }
    for (ConfigChannelType& t : r.dl_channel_types) {
        t.state = v.short_value();
        t.multiples = v.short_value();
    }
    for (DlConfigChannel& c : r.dl_channels) {
        c.power = v.real();
        c.type = v.short_value();
        c.rate = v.short_value();
        c.no = v.short_value();
        c.timing = v.short_value();
        c.data = v.short_value();
        c.seed = v.long_value();
        c.mod = v.short_value();
        c.orth = v.short_value();
        c.stat = v.short_value();
    }
}

ConfigRecord background(unsigned char pattern) {
    ConfigRecord r;
    std::memset(&r, pattern, sizeof r);
    return r;
}

// Fields of the packed record may be misaligned: read them by value, never bind a reference to them.
template <class T> T value_of(T field) {
    return field;
}

bool same_bytes(const ConfigRecord& a, const ConfigRecord& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// The keys of one link's file in order, straight from the file layout.
std::vector<std::string> expected_keys(bool uplink) {
    std::vector<std::string> keys{
        "freq_error", "if_conversion",    "filter_type", "filter_len",    "over_sample", "signal_length",
        "iq_inverse", "freq_offset_type", "marker1_sw",  "marker1_st",    "marker1_hi",  "marker2_sw",
        "marker2_st", "marker2_hi",       "sample_rate", "scrambling_no", "data_num",    "total_multiples"};
    const int channels = uplink ? 8 : 153;
    const int types = uplink ? 3 : 8;
    const std::vector<std::string> per_channel =
        uplink ? std::vector<std::string>{"power", "type", "rate", "no", "iq", "data", "seed", "stat"}
               : std::vector<std::string>{"power", "type", "rate", "no",   "timing",
                                          "data",  "seed", "mod",  "orth", "stat"};
    for (int n = 0; n < channels; ++n) {
        keys.push_back("channel_index[" + std::to_string(n) + "]");
    }
    for (int t = 0; t < types; ++t) {
        keys.push_back("channel_type[" + std::to_string(t) + "]_state");
        keys.push_back("channel_type[" + std::to_string(t) + "]_multiples");
    }
    for (int n = 0; n < channels; ++n) {
        for (const std::string& field : per_channel) {
            keys.push_back("channel[" + std::to_string(n) + "]_" + field);
        }
    }
    return keys;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

class ConfigFileTest : public TempFolderTest {
protected:
    std::string file() const { return path("set-up.cfg"); }
    std::string saved_uplink() {
        ConfigRecord r = background(0x5a);
        set_uplink(r);
        EXPECT_EQ(save_Config(file().c_str(), &r, 1), 0);
        return read_all(file());
    }
};

TEST_F(ConfigFileTest, UplinkFileListsEveryFieldInOrder) {
    const std::string text = saved_uplink();
    const std::vector<std::string> lines = lines_of(text);
    const std::vector<std::string> keys = expected_keys(true);
    ASSERT_EQ(lines.size(), keys.size() + 1);
    EXPECT_EQ(lines[0], "3GPP_Uplink_Configuration_File");
    for (std::size_t n = 0; n < keys.size(); ++n) {
        EXPECT_EQ(lines[n + 1].substr(0, lines[n + 1].find(':')), keys[n]);
    }
    EXPECT_EQ(lines[2], "if_conversion:0.33333333333333331482961625624739");
    EXPECT_EQ(lines[3], "filter_type:-3000");
    EXPECT_EQ(lines[10], "marker1_st:2147483647");
    EXPECT_EQ(lines[1].size(), std::string("freq_error:-15").size() + 299 + 33);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    EXPECT_EQ(text.back(), '\n');
}

TEST_F(ConfigFileTest, DownlinkFileListsEveryFieldInOrder) {
    ConfigRecord r = background(0);
    set_downlink(r);
    ASSERT_EQ(save_Config(file().c_str(), &r, 0), 0);
    const std::vector<std::string> lines = lines_of(read_all(file()));
    const std::vector<std::string> keys = expected_keys(false);
    ASSERT_EQ(lines.size(), keys.size() + 1);
    EXPECT_EQ(lines[0], "3GPP_Downlink_Configuration_File");
    for (std::size_t n = 0; n < keys.size(); ++n) {
        EXPECT_EQ(lines[n + 1].substr(0, lines[n + 1].find(':')), keys[n]);
    }
}

TEST_F(ConfigFileTest, RoundTripRestoresOnlyTheChosenLink) {
    // Link 1 in the low 16 bits is the uplink; any other value the downlink.
    for (const int32_t link : {1, 0x10001}) {
        saved_uplink();
        ConfigRecord loaded = background(0xa5);
        ASSERT_EQ(load_Config(file().c_str(), &loaded, link), 0);
        ConfigRecord expected = background(0xa5);
        set_uplink(expected);
        EXPECT_TRUE(same_bytes(loaded, expected)) << "link " << link;
    }
    for (const int32_t link : {0, 2, -1}) {
        ConfigRecord original = background(0x5a);
        set_downlink(original);
        ASSERT_EQ(save_Config(file().c_str(), &original, link), 0);
        ConfigRecord loaded = background(0xa5);
        ASSERT_EQ(load_Config(file().c_str(), &loaded, 0), 0);
        ConfigRecord expected = background(0xa5);
        set_downlink(expected);
        EXPECT_TRUE(same_bytes(loaded, expected)) << "link " << link;
    }
}

TEST_F(ConfigFileTest, OpenEmptyAndHeaderFailures) {
    ConfigRecord r = background(0xa5);
    EXPECT_EQ(load_Config(path("absent.cfg").c_str(), &r, 1), 5);
    EXPECT_EQ(load_Config(folder_.c_str(), &r, 1), 5); // a folder opens but cannot be read
    write_all(file(), "");
    EXPECT_EQ(load_Config(file().c_str(), &r, 1), 1);
    saved_uplink();
    EXPECT_EQ(load_Config(file().c_str(), &r, 0), 4);
    write_all(file(), "3GPP_Uplink_Configuration_File"); // no line feed after the header
    EXPECT_EQ(load_Config(file().c_str(), &r, 1), 4);
    write_all(file(), std::string(100000, '3'));
    EXPECT_EQ(load_Config(file().c_str(), &r, 1), 4);
    EXPECT_TRUE(same_bytes(r, background(0xa5)));
}

TEST_F(ConfigFileTest, CutFileFailsWithThreeAfterFillingTheLinesRead) {
    const std::vector<std::string> lines = lines_of(saved_uplink());
    std::string cut;
    for (std::size_t n = 0; n < 1 + 14 + 4 + 8; ++n) { // header, common block, four values, channel indices
        cut += lines[n] + "\n";
    }
    write_all(file(), cut);
    ConfigRecord loaded = background(0xa5);
    ASSERT_EQ(load_Config(file().c_str(), &loaded, 1), 3);

    ConfigRecord full = background(0xa5);
    set_uplink(full);
    ConfigRecord expected = background(0xa5);
    expected.ul_common = full.ul_common;
    std::memset(expected.ul_common.unused0, 0xa5, 2);
    std::memset(expected.ul_common.unused1, 0xa5, 2);
    expected.ul_sample_rate = full.ul_sample_rate;
    expected.ul_scrambling_no = full.ul_scrambling_no;
    expected.ul_data_num = full.ul_data_num;
    expected.ul_total_multiples = full.ul_total_multiples;
    std::memcpy(expected.ul_channel_index, full.ul_channel_index, sizeof full.ul_channel_index);
    EXPECT_TRUE(same_bytes(loaded, expected));
}

TEST_F(ConfigFileTest, LineWithoutColonOrTooLongFailsWithThree) {
    const std::vector<std::string> lines = lines_of(saved_uplink());
    ConfigRecord full = background(0xa5);
    set_uplink(full);
    for (const std::string& bad :
         {std::string("total_multiples 5"), std::string(), std::string(300000, '7')}) {
        std::string text;
        for (std::size_t n = 0; n < lines.size(); ++n) {
            text += (n == 18 ? bad : lines[n]) + "\n"; // line 18 holds total_multiples
        }
        write_all(file(), text);
        ConfigRecord loaded = background(0xa5);
        EXPECT_EQ(load_Config(file().c_str(), &loaded, 1), 3);
        EXPECT_EQ(value_of(loaded.ul_data_num), value_of(full.ul_data_num));
        EXPECT_EQ(value_of(loaded.ul_total_multiples), value_of(background(0xa5).ul_total_multiples));
        EXPECT_EQ(value_of(loaded.ul_channel_index[0]), value_of(background(0xa5).ul_channel_index[0]));
    }
}

TEST_F(ConfigFileTest, ValuesAreTakenByPositionFromTheirLeadingNumber) {
    std::string text = "3GPP_Uplink_Configuration_File\r\n"; // CR LF line ends read as in text mode
    const std::vector<std::string> values{
        " \t-1.25e3junk", "any:key:5",    "70000", "-12abc", "+7", "x",    "  -0", "", "",
        "99999999999",    "-99999999999", "",      "",       "",   "1e999"};
    for (const std::string& v : values) {
        text += "ignored key:" + v + "\r\n";
    }
    write_all(file(), text);
    ConfigRecord r = background(0xa5);
    EXPECT_EQ(load_Config(file().c_str(), &r, 1), 3); // the file ends after sample_rate
    EXPECT_EQ(value_of(r.ul_common.freq_error), -1250.0);
    EXPECT_EQ(value_of(r.ul_common.if_conversion), 0.0); // the value is "key:5"
    EXPECT_EQ(value_of(r.ul_common.filter_type), 4464);  // 70000 cut to 16 bits
    EXPECT_EQ(value_of(r.ul_common.filter_len), -12);
    EXPECT_EQ(value_of(r.ul_common.over_sample), 7);
    EXPECT_EQ(value_of(r.ul_common.signal_length), 0);
    EXPECT_EQ(value_of(r.ul_common.iq_inverse), 0);
    EXPECT_EQ(value_of(r.ul_common.marker1_st), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(value_of(r.ul_common.marker1_hi), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(value_of(r.ul_sample_rate), std::numeric_limits<double>::infinity());
}

TEST_F(ConfigFileTest, UncreatableFileGivesSix) {
    const ConfigRecord r = background(0);
    EXPECT_EQ(save_Config(path("missing/set-up.cfg").c_str(), &r, 1), 6);
    EXPECT_FALSE(std::filesystem::exists(path("missing")));
}

} // namespace
