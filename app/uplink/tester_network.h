// The page "Common System Settings" on both tab sets: the tester's address as four octets or as a host name,
// "Apply" that resolves the other form of the address and with it the tester's waveform folder, the output
// save mode, and the page's "Set Default". Every field, button and read-out is a two-item group (item 0 on
// the uplink page, item 1 on the downlink page) whose items always show the same values; the address-mode
// and save-mode option pairs exist once per page and are kept in step.
#pragma once

#include "form/button.h"
#include "form/element.h"
#include "form/option_group.h"
#include "form/pair.h"
#include "form/text_field.h"
#include "settings/settings_model.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace varnika {

inline const std::vector<std::string> address_mode_items{"IP Address", "Host Name"};
inline const std::vector<std::string> save_mode_items{"Save on This Computer",
                                                      "Save on Waveform file Folder in Q4410 SG Option"};

// The name look-ups of the output library: 0 when found, the result then written zero-terminated into the
// 256-byte buffer; anything else leaves the buffer as it was. An empty function counts as a failed look-up.
struct HostLookup {
    using Function = std::function<std::int32_t(const char* query, char* result)>;
    Function host_name;  // Get_Host_Name: dotted IPv4 address -> host name
    Function ip_address; // Get_IP_Address: host name -> dotted IPv4 address
};

// "\\" + host + "\waveform": the tester's waveform folder as a network path.
std::string tester_folder_path(const std::string& host);

class TesterNetwork {
public:
    explicit TesterNetwork(SettingsModel& model);
    TesterNetwork(const TesterNetwork&) = delete;
    TesterNetwork& operator=(const TesterNetwork&) = delete;

    void set_lookup(HostLookup lookup) { lookup_ = std::move(lookup); }
    // Asked to move the keyboard focus to an octet field and select its whole text (Enter in an octet
    // field); the view sets it.
    std::function<void(form::TextField& field)> focus_wanted;

    form::Pair<form::Frame> network_frame{"Network_Frame", std::string("Q4410 Network Setting")};
    form::OptionGroup IP_address_UL{"IP_address_UL", address_mode_items};
    form::OptionGroup IP_address_DL{"IP_address_DL", address_mode_items};
    form::Pair<form::TextField> IP_ADDRESS1{"IP_ADDRESS1"};
    form::Pair<form::Label> Dotto1{"Dotto1", std::string(".")};
    form::Pair<form::TextField> IP_ADDRESS2{"IP_ADDRESS2"};
    form::Pair<form::Label> Dotto2{"Dotto2", std::string(".")};
    form::Pair<form::TextField> IP_ADDRESS3{"IP_ADDRESS3"};
    form::Pair<form::Label> Dotto3{"Dotto3", std::string(".")};
    form::Pair<form::TextField> IP_ADDRESS4{"IP_ADDRESS4"};
    form::Pair<form::TextField> Q4410_Host_Name{"Q4410_Host_Name"};
    form::Pair<form::Button> Apply_NetConfig{"Apply_NetConfig", std::string("Apply")};
    form::Pair<form::Label> ip_address_info{"ip_address_info"};
    form::Pair<form::Label> host_name_info{"host_name_info"};

    form::Pair<form::Frame> save_frame{"SaveMode_Frame", std::string("Output Save Mode")};
    form::OptionGroup SaveMode_ul_Option{"SaveMode_ul_Option", save_mode_items};
    form::OptionGroup SaveMode_dl_Option{"SaveMode_dl_Option", save_mode_items};

    form::Pair<form::Button> NetWorkDef_Button{"NetWorkDef_Button", std::string("Set Default")};

    // Octet field n (1 to 4) of `item`.
    form::TextField& octet(int n, int item);
    // The address-mode and save-mode option pairs of a page.
    form::OptionGroup& address_mode(int item) { return item == uplink_item ? IP_address_UL : IP_address_DL; }
    form::OptionGroup& save_mode(int item) {
        return item == uplink_item ? SaveMode_ul_Option : SaveMode_dl_Option;
    }
    // The save mode as the downlink page shows it: true for the tester's waveform folder.
    bool saves_to_tester() const { return SaveMode_dl_Option.selected() == 1; }

    // Start-up with system settings read: the stored address and save mode go into the fields, then the
    // host-name change, the four octet leaves and, when `resolve`, "Apply" run, which resolves the tester
    // folder. Without it the folder stays unresolved until "Apply" or a run that saves there.
    void apply_settings(bool resolve = true);
    // Whether "Apply" has resolved the address since it was last set.
    bool resolved() const { return resolved_; }
    // Resolves the stored address away from the window's thread, so that start-up never waits on a slow
    // name server: the look-up runs on a worker thread, and `deliver` hands the answer back to the window's
    // thread, where "Apply" runs with it (and with a fresh look-up if the address changed meanwhile). An
    // "Apply" made before the answer arrives wins. The worker is joined when the page goes.
    using Deliver = std::function<void(std::function<void()> on_window_thread)>;
    void resolve_in_background(Deliver deliver);
    // "Set Default".
    void apply_default();
    // "Apply": resolves the other form of the address and the tester folder.
    void apply();

private:
    void address_mode_changed(int item);
    void save_mode_changed(int item);
    void host_name_changed(int item);
    void octet_left(int n, int item);
    void octet_enter(int n, int item);
    void enable_apply(bool enabled);
    void look_up_host_name();
    void look_up_address();

    SettingsModel& model_;
    HostLookup lookup_;
    bool resolved_ = false;
    std::jthread resolver_;
    // The text each host-name field had when its change rule last ran: a change rule runs only for a change.
    std::array<std::string, 2> host_name_seen_;
    std::array<form::Connection, 2> host_name_watch_;
};

} // namespace varnika
