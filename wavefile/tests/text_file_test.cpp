#include "wavesave/wavesave.h"

#include "temp_folder.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

// Reference line from the C library: its two-digit exponents widened to three.
std::string reference_value(double v) {
    char text[64];
    std::snprintf(text, sizeof text, "%0.14E", v);
    std::string s = text;
    const std::size_t e = s.find('E');
    if (e != std::string::npos && s.size() - e == 4) {
        s = s.substr(0, e + 2) + "0" + s.substr(e + 2);
    }
    return s;
}

class TextFileTest : public TempFolderTest {
protected:
    std::string written(const std::vector<IqSample>& samples) {
        EXPECT_EQ(
            save_ASCII_data_file(path("f.txt").c_str(), samples.data(), static_cast<int32_t>(samples.size())),
            0);
        return read_all(path("f.txt"));
    }
};

TEST_F(TextFileTest, ValuesHaveFourteenDecimalsAndThreeExponentDigits) {
    constexpr double huge = std::numeric_limits<double>::max();
    constexpr double tiny = std::numeric_limits<double>::denorm_min();
    EXPECT_EQ(written({{1.0, -0.5},
                       {0.0, -0.0},
                       {1e-300, -huge},
                       {tiny, 123456.789},
                       {9.999999999999999, 2.0 / 3.0},
                       {140737488355328.5, -140737488355329.5}}),
              "1.00000000000000E+000,-5.00000000000000E-001\r\n"
              "0.00000000000000E+000,-0.00000000000000E+000\r\n"
              "1.00000000000000E-300,-1.79769313486232E+308\r\n"
              "4.94065645841247E-324,1.23456789000000E+005\r\n"
              "1.00000000000000E+001,6.66666666666667E-001\r\n"
              "1.40737488355328E+014,-1.40737488355330E+014\r\n"); // exact ties round to even
}

TEST_F(TextFileTest, MatchesTheCLibraryOverManyMagnitudes) {
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> binary_exponent(-1074, 1023);
    std::uniform_int_distribution<int> decimal_exponent(-25, 20); // where waveform values lie
    // Enough lines for the text to be formatted in many blocks by two threads, and an odd count so the
    // last block is short.
    std::vector<IqSample> samples(150001);
    std::string expected;
    for (IqSample& s : samples) {
        s = {std::ldexp(mantissa(random), binary_exponent(random)),
             mantissa(random) * std::pow(10.0, decimal_exponent(random))};
        expected += reference_value(s.i) + "," + reference_value(s.q) + "\r\n";
    }
    EXPECT_EQ(written(samples), expected);
}

TEST_F(TextFileTest, EmptyBufferGivesEmptyFileAndExistingFileIsOverwritten) {
    write_all(path("f.txt"), "old contents\r\n");
    EXPECT_EQ(written({}), "");
}

TEST_F(TextFileTest, UncreatableFileGivesSix) {
    const IqSample one{1.0, 1.0};
    EXPECT_EQ(save_ASCII_data_file(path("missing/f.txt").c_str(), &one, 1), 6);
    EXPECT_FALSE(std::filesystem::exists(path("missing")));
    if (std::filesystem::exists("/dev/full")) {
        const std::vector<IqSample> many(300000, one); // both formatting threads stop on the failure
        EXPECT_EQ(save_ASCII_data_file("/dev/full", many.data(), static_cast<int32_t>(many.size())), 6);
    }
}

} // namespace
