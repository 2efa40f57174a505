// The "Common System Settings" pages: octet fields, host-name fields, the option pairs of both pages,
// "Apply" and its look-ups, "Set Default", and start-up with stored network settings.
#include "fake_platform.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace varnika {
namespace {

using testing::FakePlatform;

// A resolver that knows a fixed set of names and records every query and the buffer it was handed.
struct FakeResolver {
    std::vector<std::pair<std::string, std::string>> names; // address, host name
    std::vector<std::string> queries;
    bool buffers_were_blank = true;

    HostLookup lookup() {
        auto answer = [this](bool by_address) {
            return [this, by_address](const char* query, char* result) -> std::int32_t {
                queries.emplace_back(query);
                for (int k = 0; k < 256; ++k) {
                    buffers_were_blank = buffers_were_blank && result[k] == ' ';
                }
                for (const auto& [address, name] : names) {
                    if (query == (by_address ? address : name)) {
                        const std::string& found = by_address ? name : address;
                        std::memcpy(result, found.c_str(), found.size() + 1);
                        return 0;
                    }
                }
                return 1;
            };
        };
        return {answer(true), answer(false), {}};
    }
};

class NetworkPage : public ::testing::Test {
protected:
    NetworkPage() {
        network.set_lookup(resolver.lookup());
        start_up(form);
    }

    void type_octets(int item, const std::vector<std::string>& texts) {
        for (int n = 1; n <= 4; ++n) {
            network.octet(n, item).set_text(texts[static_cast<std::size_t>(n - 1)]);
            network.octet(n, item).commit();
        }
    }
    bool apply_enabled() const {
        EXPECT_EQ(network.Apply_NetConfig[0].enabled(), network.Apply_NetConfig[1].enabled());
        return network.Apply_NetConfig[0].enabled();
    }

    FakePlatform platform;
    MainForm form{platform};
    TesterNetwork& network = form.network;
    SettingsModel& model = form.model;
    FakeResolver resolver;
};

TEST_F(NetworkPage, OctetsAreClampedWholeNumbersShownOnBothPages) {
    network.IP_address_UL.select(0);
    type_octets(0, {"300", "-4", "12.7", "9"});
    for (int item : {0, 1}) {
        EXPECT_EQ(network.IP_ADDRESS1[item].text(), "255");
        EXPECT_EQ(network.IP_ADDRESS2[item].text(), "0");
        EXPECT_EQ(network.IP_ADDRESS3[item].text(), "12");
        EXPECT_EQ(network.IP_ADDRESS4[item].text(), "9");
    }
    EXPECT_EQ(model.IPadress1, "255");
    EXPECT_EQ(model.IPadress3, "12");
    EXPECT_EQ(model.IpOctets, (std::array<std::int16_t, 4>{255, 0, 12, 9}));
    EXPECT_TRUE(apply_enabled());

    // Text that is not a number gives back the previous octet, typed on either page.
    network.IP_ADDRESS4[1].set_text("x");
    network.IP_ADDRESS4[1].commit();
    EXPECT_EQ(network.IP_ADDRESS4[0].text(), "9");
    EXPECT_EQ(network.IP_ADDRESS4[1].text(), "9");
    EXPECT_EQ(model.IpOctets[3], 9);
}

TEST_F(NetworkPage, AddressModeEnablesItsFieldsAndApplyOnBothPages) {
    type_octets(0, {"10", "0", "0", "5"});
    network.IP_address_DL.select(0);
    EXPECT_EQ(network.IP_address_UL.selected(), 0);
    EXPECT_EQ(model.IPaddressUL, 0);
    EXPECT_FALSE(apply_enabled()) << "two octets hold exactly 0";
    for (int item : {0, 1}) {
        EXPECT_TRUE(network.IP_ADDRESS2[item].enabled());
        EXPECT_FALSE(network.Q4410_Host_Name[item].enabled());
    }
    type_octets(1, {"10", "1", "2", "5"});
    network.IP_address_UL.select(0);
    EXPECT_TRUE(apply_enabled());

    network.IP_address_UL.select(1);
    EXPECT_EQ(network.IP_address_DL.selected(), 1);
    EXPECT_EQ(model.IPaddressUL, 1);
    EXPECT_FALSE(apply_enabled()) << "no host name yet";
    for (int item : {0, 1}) {
        EXPECT_FALSE(network.IP_ADDRESS1[item].enabled());
        EXPECT_TRUE(network.Q4410_Host_Name[item].enabled());
    }
    network.Q4410_Host_Name[0].set_text("tester");
    network.IP_address_DL.select(1);
    EXPECT_TRUE(apply_enabled());
}

TEST_F(NetworkPage, HostNameTypedOnOnePageAppearsOnTheOtherAtOnce) {
    network.Apply_NetConfig[0].set_enabled(false);
    network.Apply_NetConfig[1].set_enabled(false);
    network.Q4410_Host_Name[1].set_text("t");
    EXPECT_EQ(network.Q4410_Host_Name[0].text(), "t");
    network.Q4410_Host_Name[1].set_text("tester");
    EXPECT_EQ(network.Q4410_Host_Name[0].text(), "tester");
    EXPECT_EQ(model.HostName, "tester");
    EXPECT_TRUE(apply_enabled());
}

TEST_F(NetworkPage, SaveModeOptionPairsStayInStep) {
    network.SaveMode_ul_Option.select(1);
    EXPECT_EQ(network.SaveMode_dl_Option.selected(), 1);
    EXPECT_EQ(model.SaveMode, 1);
    EXPECT_TRUE(network.saves_to_tester());
    network.SaveMode_dl_Option.select(0);
    EXPECT_EQ(network.SaveMode_ul_Option.selected(), 0);
    EXPECT_EQ(model.SaveMode, 0);
}

TEST_F(NetworkPage, ApplyByAddressNamesTheTesterFolderAfterTheHostsFirstLabel) {
    resolver.names = {{"10.1.2.3", "q4410.lab.example"}, {"10.1.2.4", "bare"}};
    network.IP_address_UL.select(0);
    type_octets(0, {"10", "1", "2", "3"});
    network.ip_address_info[0].set_text("stale");
    network.Apply_NetConfig[1].press();

    EXPECT_EQ(resolver.queries.back(), "10.1.2.3");
    EXPECT_TRUE(resolver.buffers_were_blank);
    EXPECT_EQ(network.host_name_info[0].text(), "q4410.lab.example");
    EXPECT_EQ(network.host_name_info[1].text(), "q4410.lab.example");
    EXPECT_EQ(network.ip_address_info[0].text(), "");
    EXPECT_EQ(model.TesterFolder, "\\\\q4410\\waveform");
    EXPECT_FALSE(apply_enabled());

    // A name without a dot leaves no folder; a failed look-up clears the read-outs and the folder.
    type_octets(0, {"10", "1", "2", "4"});
    network.apply();
    EXPECT_EQ(network.host_name_info[1].text(), "bare");
    EXPECT_EQ(model.TesterFolder, "");
    type_octets(0, {"10", "1", "2", "3"});
    network.apply();
    type_octets(0, {"10", "1", "2", "9"});
    network.apply();
    EXPECT_EQ(network.host_name_info[0].text(), "");
    EXPECT_EQ(model.TesterFolder, "");
}

TEST_F(NetworkPage, ApplyByHostNameKeepsTheFolderOnlyWhenTheNameResolves) {
    resolver.names = {{"192.0.2.7", "q4410"}};
    network.IP_address_UL.select(1);
    network.Q4410_Host_Name[0].set_text("q4410");
    network.host_name_info[1].set_text("stale");
    network.apply();
    EXPECT_EQ(resolver.queries.back(), "q4410");
    EXPECT_EQ(network.ip_address_info[0].text(), "192.0.2.7");
    EXPECT_EQ(network.ip_address_info[1].text(), "192.0.2.7");
    EXPECT_EQ(network.host_name_info[1].text(), "");
    EXPECT_EQ(model.TesterFolder, "\\\\q4410\\waveform");

    network.Q4410_Host_Name[1].set_text("nowhere");
    network.apply();
    EXPECT_EQ(network.ip_address_info[0].text(), "");
    EXPECT_EQ(model.TesterFolder, "");
}

TEST_F(NetworkPage, EnterInAnOctetAppliesItAndMovesToTheNextField) {
    std::vector<std::string> focused;
    network.focus_wanted = [&](form::TextField& field) { focused.push_back(field.object_name()); };
    network.IP_ADDRESS2[1].set_text("400");
    EXPECT_EQ(network.IP_ADDRESS2[1].press_key(form::TextField::enter_key), form::KeyOutcome::Handled);
    EXPECT_EQ(network.IP_ADDRESS2[0].text(), "255");
    network.IP_ADDRESS4[1].set_text("7");
    network.IP_ADDRESS4[1].press_key(form::TextField::enter_key);
    EXPECT_EQ(model.IpOctets[3], 7);
    EXPECT_EQ(focused, (std::vector<std::string>{"IP_ADDRESS3_1"}));
}

TEST_F(NetworkPage, SetDefaultClearsTheAddressAndChoosesThisComputer) {
    resolver.names = {{"10.1.2.3", "q4410.lab"}};
    network.SaveMode_ul_Option.select(1);
    network.IP_address_UL.select(0);
    type_octets(0, {"10", "1", "2", "3"});
    network.apply();
    network.Q4410_Host_Name[0].set_text("q4410");

    network.NetWorkDef_Button[1].press();
    for (int item : {0, 1}) {
        EXPECT_EQ(network.Q4410_Host_Name[item].text(), "");
        EXPECT_EQ(network.IP_ADDRESS3[item].text(), "0");
        EXPECT_EQ(network.host_name_info[item].text(), "");
        EXPECT_EQ(network.save_mode(item).selected(), 0);
        EXPECT_EQ(network.address_mode(item).selected(), 0);
    }
    EXPECT_EQ(model.SaveMode, 0);
    EXPECT_EQ(model.HostName, "");
    EXPECT_EQ(model.IPadress1, "0");
    EXPECT_EQ(model.IpOctets, (std::array<std::int16_t, 4>{}));
    EXPECT_FALSE(apply_enabled());
}

TEST(NetworkStartUp, StoredAddressIsShownOnBothPagesAndResolvedOnce) {
    FakePlatform platform;
    MainForm form(platform);
    FakeResolver resolver;
    resolver.names = {{"10.20.30.40", "sg.lab.example"}};
    form.network.set_lookup(resolver.lookup());
    StartupSteps steps;
    steps.read_system_settings = [](MainForm& f) {
        f.model.HostName = "sg";
        f.model.IPadress1 = "10";
        f.model.IPadress2 = "20";
        f.model.IPadress3 = "30";
        f.model.IPadress4 = "40";
        f.model.SaveMode = 1;
        f.model.IPaddressUL = 0;
        return true;
    };
    start_up(form, steps);

    const TesterNetwork& network = form.network;
    EXPECT_EQ(resolver.queries, (std::vector<std::string>{"10.20.30.40"}));
    EXPECT_EQ(form.model.TesterFolder, "\\\\sg\\waveform");
    for (int item : {0, 1}) {
        EXPECT_EQ(network.Q4410_Host_Name[item].text(), "sg");
        EXPECT_EQ(network.IP_ADDRESS4[item].text(), "40");
        EXPECT_EQ(network.host_name_info[item].text(), "sg.lab.example");
        EXPECT_FALSE(network.Apply_NetConfig[item].enabled());
        EXPECT_FALSE(network.Q4410_Host_Name[item].enabled());
    }
    EXPECT_EQ(network.SaveMode_ul_Option.selected(), 1);
    EXPECT_EQ(network.IP_address_UL.selected(), 0);
}

// The window's and varnika-cli's start-up: the stored address is shown, nothing is looked up, and "Apply"
// stays ready to do it.
TEST(NetworkStartUp, AStoredAddressIsNotLookedUpAtStartUp) {
    FakePlatform platform;
    MainForm form(platform);
    FakeResolver resolver;
    form.network.set_lookup(resolver.lookup());
    StartupSteps steps;
    steps.read_system_settings = [](MainForm& f) {
        f.model.IPadress1 = "10";
        f.model.IPadress2 = "20";
        f.model.IPadress3 = "30";
        f.model.IPadress4 = "40";
        f.model.SaveMode = 1;
        return true;
    };
    steps.apply_network_settings = [](MainForm& f) { f.network.apply_settings(false); };
    start_up(form, steps);
    EXPECT_EQ(form.network.IP_ADDRESS1[1].text(), "10");
    EXPECT_TRUE(resolver.queries.empty());
    EXPECT_FALSE(form.network.resolved());
    EXPECT_TRUE(form.network.Apply_NetConfig[0].enabled());
}

} // namespace
} // namespace varnika
