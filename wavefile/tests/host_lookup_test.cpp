// Look-ups that need no network: the loop-back address, localhost, and names under the reserved
// "invalid" domain, which never resolve.
#include "wavesave/wavesave.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The caller's buffer as the program passes it: 255 blanks and a zero.
struct Buffer {
    Buffer() {
        std::memset(bytes, ' ', sizeof bytes - 1);
        bytes[sizeof bytes - 1] = '\0';
    }
    bool untouched() const { return std::string(bytes) == std::string(WAVESAVE_HOST_TEXT_BYTES - 1, ' '); }
    char bytes[WAVESAVE_HOST_TEXT_BYTES];
};

// "127.a.b.c" with every octet a plain decimal number below 256.
bool is_dotted_loopback(const char* text) {
    unsigned octet[4];
    int used = 0;
    if (std::sscanf(text, "%3u.%3u.%3u.%3u%n", &octet[0], &octet[1], &octet[2], &octet[3], &used) != 4 ||
        text[used] != '\0' || text[0] < '0' || text[0] > '9') {
        return false;
    }
    return octet[0] == 127 && octet[1] < 256 && octet[2] < 256 && octet[3] < 256;
}

TEST(HostLookup, AddressOfLocalhostIsALoopbackAddress) {
    Buffer address;
    ASSERT_EQ(Get_IP_Address("localhost", address.bytes), 0);
    EXPECT_TRUE(is_dotted_loopback(address.bytes)) << address.bytes;

    Buffer numeric;
    ASSERT_EQ(Get_IP_Address("127.0.0.1", numeric.bytes), 0);
    EXPECT_STREQ(numeric.bytes, "127.0.0.1");
}

TEST(HostLookup, LoopbackAddressHasAHostNameThatResolvesBack) {
    Buffer name;
    ASSERT_EQ(Get_Host_Name("127.0.0.1", name.bytes), 0);
    const std::string host = name.bytes;
    EXPECT_FALSE(host.empty());
    EXPECT_EQ(host.find(' '), std::string::npos);

    Buffer address;
    ASSERT_EQ(Get_IP_Address(host.c_str(), address.bytes), 0) << host;
    EXPECT_TRUE(is_dotted_loopback(address.bytes)) << address.bytes;
}

TEST(HostLookup, FailureReturnsOneAndLeavesTheBufferAlone) {
    for (const char* name : {"no-such-tester.invalid", "tester.lab.INVALID.", "invalid", ""}) {
        Buffer address;
        EXPECT_EQ(Get_IP_Address(name, address.bytes), 1) << name;
        EXPECT_TRUE(address.untouched()) << name;
    }
    for (const char* text : {"not an address", "", "1.2.3.4.5", "300.1.1.1"}) {
        Buffer name;
        EXPECT_EQ(Get_Host_Name(text, name.bytes), 1) << text;
        EXPECT_TRUE(name.untouched()) << text;
    }
    Buffer unused;
    EXPECT_EQ(Get_IP_Address(nullptr, unused.bytes), 1);
    EXPECT_EQ(Get_Host_Name(nullptr, unused.bytes), 1);
    EXPECT_TRUE(unused.untouched());
}

} // namespace
