#include "wavesave/wavesave.h"

#include "temp_folder.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <cmath>
#include <csignal>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Every record is read into this background; the reader must leave the unused bytes and the other
// link's bytes holding it.
constexpr uint8_t fill = 0xa5;

// Distinct, awkward values for every field: doubles with many significant digits, integers near
// their limits now and then. Braced lists evaluate left to right, so the order is the field order.
class Values {
public:
    double real() {
        ++n_;
        return (n_ % 2 ? -1.0 : 1.0) * n_ / 7.0 * std::pow(10.0, n_ % 9 - 3);
    }
    int16_t s() { return ++n_ % 50 == 0 ? std::numeric_limits<int16_t>::min() : int16_t(n_ * 37 - 3000); }
    int32_t l() { return ++n_ % 20 == 0 ? std::numeric_limits<int32_t>::min() : n_ * 1000003 - 7; }

private:
    int n_ = 0;
};

ConfigLinkBlock block(Values& v) {
    // -1.5e300 written with 32 decimals makes a line of about 340 characters.
    return {-1.5e300, 1.0 / 3.0,    -3000,     v.s(), v.s(), v.s(),        v.s(), v.s(),
            v.s(),    {fill, fill}, INT32_MAX, v.l(), v.s(), {fill, fill}, v.l(), v.l()};
}

void set_uplink(ConfigRecord& r) {
    Values v;
    r.ul_common = block(v);
    r.ul_sample_rate = 98304000.123456789;
    r.ul_scrambling_no = v.l();
    r.ul_data_num = v.l();
    r.ul_total_multiples = v.s();
    for (int n = 0; n < WAVESAVE_UL_CHANNELS; ++n) {
        r.ul_channel_index[n] = v.s();
    }
    for (ConfigChannelType& t : r.ul_channel_types) {
        t = {v.s(), v.s()};
    }
    for (UlConfigChannel& c : r.ul_channels) {
        c = {v.real(), v.s(), v.s(), v.s(), v.s(), v.s(), {fill, fill}, v.l(), v.s(), {fill, fill}};
    }
}

void set_downlink(ConfigRecord& r) {
    Values v;
    r.dl_common = block(v);
    r.dl_sample_rate = v.real();
    r.dl_scrambling_no = v.l();
    r.dl_data_num = v.l();
    r.dl_total_multiples = v.s();
    for (int n = 0; n < WAVESAVE_DL_CHANNELS; ++n) {
        r.dl_channel_index[n] = v.s();
    }
    for (ConfigChannelType& t : r.dl_channel_types) {
        t = {v.s(), v.s()};
    }
    for (DlConfigChannel& c : r.dl_channels) {
        c = {v.real(),     v.s(), v.s(), v.s(), v.s(), v.s(),
             {fill, fill}, v.l(), v.s(), v.s(), v.s(), {fill, fill}};
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
        ConfigRecord r = background(0);
        set_uplink(r);
        EXPECT_EQ(save_Config(file().c_str(), &r, 1), 0);
        return read_all(file());
    }
};

TEST_F(ConfigFileTest, FileListsEveryFieldOfTheLinkInOrder) {
    for (const bool uplink : {true, false}) {
        ConfigRecord r = background(0);
        uplink ? set_uplink(r) : set_downlink(r);
        ASSERT_EQ(save_Config(file().c_str(), &r, uplink ? 1 : 0), 0);
        const std::string text = read_all(file());
        const std::vector<std::string> lines = lines_of(text);
        const std::vector<std::string> keys = expected_keys(uplink);
        ASSERT_EQ(lines.size(), keys.size() + 1);
        EXPECT_EQ(lines[0], uplink ? "3GPP_Uplink_Configuration_File" : "3GPP_Downlink_Configuration_File");
        for (std::size_t n = 0; n < keys.size(); ++n) {
            EXPECT_EQ(lines[n + 1].substr(0, lines[n + 1].find(':')), keys[n]);
        }
        EXPECT_EQ(lines[1].size(), std::string("freq_error:-15").size() + 299 + 33);
        EXPECT_EQ(lines[2], "if_conversion:0.33333333333333331482961625624739");
        EXPECT_EQ(lines[3], "filter_type:-3000");
        EXPECT_EQ(lines[10], "marker1_st:2147483647");
        EXPECT_EQ(text.find('\r'), std::string::npos);
        EXPECT_EQ(text.back(), '\n');
    }
}

TEST_F(ConfigFileTest, RoundTripRestoresOnlyTheChosenLink) {
    // Link 1 in the low 16 bits is the uplink; any other value the downlink.
    for (const int32_t link : {1, 0x10001}) {
        saved_uplink();
        ConfigRecord loaded = background(fill);
        ASSERT_EQ(load_Config(file().c_str(), &loaded, link), 0);
        ConfigRecord expected = background(fill);
        set_uplink(expected);
        EXPECT_TRUE(same_bytes(loaded, expected)) << "link " << link;
    }
    for (const int32_t link : {0, 2, -1}) {
        ConfigRecord original = background(0);
        set_downlink(original);
        ASSERT_EQ(save_Config(file().c_str(), &original, link), 0);
        ConfigRecord loaded = background(fill);
        ASSERT_EQ(load_Config(file().c_str(), &loaded, 0), 0);
        ConfigRecord expected = background(fill);
        set_downlink(expected);
        EXPECT_TRUE(same_bytes(loaded, expected)) << "link " << link;
    }
}

TEST_F(ConfigFileTest, OpenEmptyAndHeaderFailures) {
    ConfigRecord r = background(fill);
    EXPECT_EQ(load_Config(path("absent.cfg").c_str(), &r, 1), 5);
    EXPECT_EQ(load_Config(folder_.path().c_str(), &r, 1), 5); // a folder opens but cannot be read
    write_all(file(), "");
    EXPECT_EQ(load_Config(file().c_str(), &r, 1), 1);
    saved_uplink();
    EXPECT_EQ(load_Config(file().c_str(), &r, 0), 4);
    write_all(file(), "3GPP_Uplink_Configuration_File"); // no line feed after the header
    EXPECT_EQ(load_Config(file().c_str(), &r, 1), 4);
    write_all(file(), std::string(100000, '3'));
    EXPECT_EQ(load_Config(file().c_str(), &r, 1), 4);
    EXPECT_TRUE(same_bytes(r, background(fill)));
}

TEST_F(ConfigFileTest, CutFileFailsWithThreeAfterFillingTheLinesRead) {
    const std::vector<std::string> lines = lines_of(saved_uplink());
    std::string cut;
    for (std::size_t n = 0; n < 1 + 14 + 4 + 8; ++n) { // header, common block, four values, channel indices
        cut += lines[n] + "\n";
    }
    write_all(file(), cut);
    ConfigRecord loaded = background(fill);
    ASSERT_EQ(load_Config(file().c_str(), &loaded, 1), 3);

    ConfigRecord full = background(fill);
    set_uplink(full);
    ConfigRecord expected = background(fill);
    const auto copy_from_full = [&](std::size_t begin, std::size_t end) {
        std::memcpy(reinterpret_cast<char*>(&expected) + begin, reinterpret_cast<const char*>(&full) + begin,
                    end - begin);
    };
    copy_from_full(offsetof(ConfigRecord, ul_common), offsetof(ConfigRecord, ul_channel_types));
    copy_from_full(offsetof(ConfigRecord, ul_channel_index), offsetof(ConfigRecord, unused0));
    EXPECT_TRUE(same_bytes(loaded, expected));
}

TEST_F(ConfigFileTest, LineWithoutColonOrTooLongFailsWithThree) {
    const std::vector<std::string> lines = lines_of(saved_uplink());
    ConfigRecord full = background(fill);
    set_uplink(full);
    for (const std::string& bad :
         {std::string("total_multiples 5"), std::string(), std::string(300000, '7')}) {
        std::string text;
        for (std::size_t n = 0; n < lines.size(); ++n) {
            text += (n == 18 ? bad : lines[n]) + "\n"; // line 18 holds total_multiples
        }
        write_all(file(), text);
        ConfigRecord loaded = background(fill);
        EXPECT_EQ(load_Config(file().c_str(), &loaded, 1), 3);
        EXPECT_EQ(value_of(loaded.ul_data_num), value_of(full.ul_data_num));
        EXPECT_EQ(value_of(loaded.ul_total_multiples), value_of(background(fill).ul_total_multiples));
        EXPECT_EQ(value_of(loaded.ul_channel_index[0]), value_of(background(fill).ul_channel_index[0]));
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
    ConfigRecord r = background(fill);
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

// Saving replaces the file in one step: a write that fails part-way (here a file-size limit, as a full
// disk would) leaves the earlier file whole and no temporary beside it; a link at the name is written
// through.
TEST_F(ConfigFileTest, SavingNeverLeavesACutFileAndWritesThroughALink) {
    const std::string earlier = saved_uplink();
    ConfigRecord r = background(0);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit limited = saved;
    limited.rlim_cur = 4096;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const int32_t status = save_Config(file().c_str(), &r, 0); // the downlink: far larger than 4 KB
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    EXPECT_EQ(status, 6);
    EXPECT_EQ(read_all(file()), earlier);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_.path()), {}), 1);

    // A link at the name is written through: the file it leads to is replaced, the link stays.
    write_all(path("target"), "earlier");
    std::filesystem::create_symlink(path("target"), path("linked.cfg"));
    EXPECT_EQ(save_Config(path("linked.cfg").c_str(), &r, 1), 0);
    EXPECT_TRUE(std::filesystem::is_symlink(path("linked.cfg")));
    EXPECT_EQ(load_Config(path("target").c_str(), &r, 1), 0);
}

// Only a regular file is read, and opening never waits: a FIFO without a writer, a folder and a device
// give 5 at once.
TEST_F(ConfigFileTest, LoadingOpensOnlyRegularFilesWithoutWaiting) {
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    ConfigRecord r = background(0);
    EXPECT_EQ(load_Config(path("fifo").c_str(), &r, 1), 5);
    EXPECT_EQ(load_Config(folder_.path().c_str(), &r, 1), 5);
    EXPECT_EQ(load_Config("/dev/zero", &r, 1), 5);
}

} // namespace
