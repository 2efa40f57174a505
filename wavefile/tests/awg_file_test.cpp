#include "wavesave/wavesave.h"

#include "temp_folder.h"

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

struct Markers {
    int32_t enable1 = 0, start1 = 0, high1 = 0, tail1 = 0, mode1 = 0;
    int32_t enable2 = 0, start2 = 0, high2 = 0, tail2 = 0, mode2 = 0;
};

struct AwgFile {
    std::vector<std::string> header; // lines before the data, without their line feeds
    long long declared_bytes = -1;
    std::vector<uint32_t> words;
    std::string after_data;
};

AwgFile parse(const std::string& bytes) {
    AwgFile f;
    const std::size_t data_tag = bytes.find("{WAVEDATA:");
    if (data_tag == std::string::npos) {
        ADD_FAILURE() << "no WAVEDATA";
        return f;
    }
    for (std::size_t at = 0; at < data_tag;) {
        const std::size_t end = bytes.find('\n', at);
        f.header.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    const std::size_t semicolon = bytes.find(';', data_tag);
    f.declared_bytes = std::stoll(bytes.substr(data_tag + 10, semicolon - data_tag - 10));
    const std::size_t data = semicolon + 1;
    for (std::size_t at = data; at + 4 <= data + static_cast<std::size_t>(f.declared_bytes); at += 4) {
        uint32_t w = 0;
        for (int b = 3; b >= 0; --b) {
            w = (w << 8) | static_cast<unsigned char>(bytes[at + b]);
        }
        f.words.push_back(w);
    }
    f.after_data = bytes.substr(std::min(bytes.size(), data + static_cast<std::size_t>(f.declared_bytes)));
    return f;
}

// True when `text` has the shape of `pattern`, where '#' stands for any decimal digit.
bool has_shape(const std::string& text, const std::string& pattern) {
    if (text.size() != pattern.size()) {
        return false;
    }
    for (std::size_t n = 0; n < text.size(); ++n) {
        const bool digit = text[n] >= '0' && text[n] <= '9';
        if (pattern[n] == '#' ? !digit : text[n] != pattern[n]) {
            return false;
        }
    }
    return true;
}

class AwgFileTest : public TempFolderTest {
protected:
    int32_t save(const std::string& file, const std::vector<IqSample>& samples, int32_t pads = 0,
                 const Markers& m = {}) {
        return save_AWG_data_file(file.c_str(), samples.data(), 3.25, -1.5, 7.1234567, 4915200.0,
                                  static_cast<int32_t>(samples.size()), pads, m.enable1, m.start1, m.high1,
                                  m.tail1, m.mode1, m.enable2, m.start2, m.high2, m.tail2, m.mode2);
    }
    AwgFile written(const std::vector<IqSample>& samples, int32_t pads = 0, const Markers& m = {}) {
        EXPECT_EQ(save(path("w.awv"), samples, pads, m), 0);
        return parse(read_all(path("w.awv")));
    }
    std::vector<std::string> marker_lines(const Markers& m) {
        const AwgFile f = written({{1.0, 0.0}}, 0, m);
        return {f.header.begin() + 6, f.header.end() - 2}; // between IQOFFSET and SAMPLINGFREQ
    }
};

TEST_F(AwgFileTest, HeaderWithoutMarkersHasTheFixedLines) {
    const AwgFile f = written({{1.0, -1.0}, {0.5, 0.25}, {0.0, 0.0}});
    ASSERT_EQ(f.header.size(), 8u);
    EXPECT_EQ(f.header[0], "{COMMENT:EVDOWaveform}");
    EXPECT_TRUE(has_shape(f.header[1], "{DATE:####/##/##;##:##:##}")) << f.header[1];
    EXPECT_EQ(f.header[2], "{PAPR:7.123457;3.250000;-1.500000}");
    EXPECT_EQ(f.header[3], "{IQFILTER:FLT50M}");
    EXPECT_EQ(f.header[4], "{IQGAIN:1.0;1.0}");
    EXPECT_EQ(f.header[5], "{IQOFFSET:0.0;0.0}");
    EXPECT_EQ(f.header[6], "{SAMPLINGFREQ:4.915200e+006}");
    EXPECT_EQ(f.header[7], "{IQOUTPUT:FIX}");
    EXPECT_EQ(f.declared_bytes, 3 * 8);
    EXPECT_EQ(f.words.size(), 6u);
    EXPECT_EQ(f.after_data, "}");
}

TEST_F(AwgFileTest, WordsAreOffsetBinaryScaledToThePeak) {
    // Peak 2: +2 -> 16383, -2 -> 1, 0 -> 8192; others truncated: 12287.5, 4096.5, 10239.75.
    const AwgFile f = written({{2.0, -2.0}, {0.0, 1.0}, {-1.0, 0.5}});
    EXPECT_EQ(f.words, (std::vector<uint32_t>{16383, 1, 8192, 12287, 4096, 10239}));
    // The peak may lie on either component, with either sign.
    EXPECT_EQ(written({{0.25, -4.0}, {1.0, 0.0}}).words, (std::vector<uint32_t>{8703, 1, 10239, 8192}));
}

TEST_F(AwgFileTest, LongBuffersFollowThePerSampleFormulaAcrossChunksAndVectorLanes) {
    // 40 003 samples span three write chunks and leave a tail after every vector width; the peak sits
    // on the last Q, a NaN on one I. Every word must be the plain formula: value / peak x 8191 + 8192,
    // truncated, NaN at mid-scale.
    std::vector<IqSample> samples(40003);
    for (std::size_t k = 0; k < samples.size(); ++k) {
        samples[k] = {std::sin(0.001 * static_cast<double>(k)), -std::cos(0.0007 * static_cast<double>(k))};
    }
    samples.back().q = -3.5;
    samples[20001].i = std::numeric_limits<double>::quiet_NaN();
    const AwgFile f = written(samples);
    ASSERT_EQ(f.words.size(), 2 * samples.size());
    for (std::size_t k = 0; k < f.words.size(); ++k) {
        const double value = k % 2 == 0 ? samples[k / 2].i : samples[k / 2].q;
        const auto expected =
            std::isnan(value) ? 8192u : static_cast<uint32_t>(value / 3.5 * 8191.0 + 8192.0);
        ASSERT_EQ(f.words[k], expected) << "word " << k;
    }
}

TEST_F(AwgFileTest, SilentBufferWritesMidScale) {
    const AwgFile f = written({{0.0, 0.0}, {0.0, -0.0}}, 1);
    EXPECT_EQ(f.words, std::vector<uint32_t>(6, 8192));
}

TEST_F(AwgFileTest, PaddingAppendsMidScaleSamples) {
    const AwgFile f = written({{1.0, -1.0}}, 3);
    EXPECT_EQ(f.declared_bytes, 4 * 8);
    EXPECT_EQ(f.words, (std::vector<uint32_t>{16383, 1, 8192, 8192, 8192, 8192, 8192, 8192}));
    EXPECT_EQ(f.after_data, "}");
}

TEST_F(AwgFileTest, MarkerLinesFollowModeAndEnable) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(marker_lines({.enable1 = 0, .mode1 = 1}), Lines{}); // mode but not enabled
    EXPECT_EQ(marker_lines({.enable1 = 1, .mode1 = 0, .enable2 = 1, .mode2 = 0}),
              Lines{}); // enabled, no mode
    EXPECT_EQ(marker_lines({.enable1 = 1, .mode1 = 3}), Lines{"{MARKERMODE:SEQ}"});
    EXPECT_EQ(marker_lines({.enable1 = 1,
                            .start1 = 10,
                            .high1 = 20,
                            .tail1 = 30,
                            .mode1 = 1,
                            .enable2 = 2,
                            .start2 = 4,
                            .high2 = 5,
                            .tail2 = 51,
                            .mode2 = 2}),
              (Lines{"{MARKERMODE:SEQ}", "{MARKER1:ON;POS;10;20;30;1}", "{MARKER2:ON;NEG;4;5;51;1}"}));
    // Marker 2's mode opens the block; only marker 1 is enabled, so only marker 1 is written.
    EXPECT_EQ(marker_lines({.enable1 = 1, .start1 = 1, .high1 = 2, .tail1 = 3, .mode1 = 2, .mode2 = 1}),
              (Lines{"{MARKERMODE:SEQ}", "{MARKER1:ON;NEG;1;2;3;1}"}));
    EXPECT_EQ(marker_lines(
                  {.enable1 = -1, .mode1 = 1, .enable2 = 1, .start2 = 7, .high2 = 8, .tail2 = 9, .mode2 = 1}),
              (Lines{"{MARKERMODE:SEQ}", "{MARKER2:ON;POS;7;8;9;1}"}));
}

TEST_F(AwgFileTest, ExistingFileIsOverwritten) {
    write_all(path("w.awv"), std::string(100000, 'x'));
    const AwgFile f = written({{1.0, 1.0}});
    EXPECT_EQ(f.header[0], "{COMMENT:EVDOWaveform}");
    EXPECT_EQ(f.after_data, "}");
}

TEST_F(AwgFileTest, UncreatableFileGivesSixAndWritesNothing) {
    EXPECT_EQ(save(path("missing/w.awv"), {{1.0, 1.0}}), 6);
    EXPECT_FALSE(std::filesystem::exists(path("missing")));
    EXPECT_EQ(save_AWG_data_file(nullptr, nullptr, 0, 0, 0, 1.0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0), 6);
}

TEST_F(AwgFileTest, WriteFailureIsReported) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    EXPECT_EQ(save("/dev/full", std::vector<IqSample>(100000, {1.0, 0.5})), 6);
}

} // namespace
