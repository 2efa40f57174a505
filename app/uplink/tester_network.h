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
#include <memory>
#include <mutex>
#include <optional>
#include <string>

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
    // A copy of both look-ups that may run on a worker thread and outlive the objects behind them (the
    // program's libraries, which it keeps loaded while it lives); left empty, the look-ups above are
    // copied as they are.
    std::function<HostLookup()> detached;
};

// "\\" + host + "\waveform": the tester's waveform folder as a network path.
std::string tester_folder_path(const std::string& host);

class TesterNetwork {
public:
    explicit TesterNetwork(SettingsModel& model);
    ~TesterNetwork();
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
    // Beside the read-outs: a look-up under way, or why the last one left the tester's folder unknown.
    form::Pair<form::Label> lookup_note{"Lookup_Note"};
    // The busy mark, visible while a background look-up runs.
    form::Pair<form::Frame> lookup_busy{"Lookup_Busy"};

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
    // Whether the address has been looked up since it was last set.
    bool resolved() const { return resolved_; }
    // Hands a function to the window's thread, to run there later; the view posts it to its event loop.
    using Deliver = std::function<void(std::function<void()> on_window_thread)>;
    // From now on "Apply" looks the address up on a worker thread, so that a slow name server never holds
    // the window: the read-outs say that a look-up is under way and `lookup_busy` shows until `deliver`
    // brings the answer back. An answer for an address edited meanwhile is dropped. The worker is never
    // waited for: a window closed during a look-up ends its program at once.
    void look_up_in_background(Deliver deliver);
    // Whether a background look-up is under way.
    bool looking_up() const { return looking_up_; }
    // Looks the address up now, on the caller's thread: a run about to save into the tester's folder.
    void resolve_now();
    // Why `TesterFolder` is empty, in words ("the name "localhost" found for 127.0.0.1 has no domain part");
    // empty when the folder is known.
    const std::string& folder_unknown_reason() const { return folder_unknown_; }
    // "Set Default".
    void apply_default();
    // "Apply": resolves the other form of the address and the tester folder.
    void apply();

private:
    // Hands answers of background look-ups to the window's thread while the page lives.
    struct Courier {
        std::mutex guard;
        Deliver deliver; // empty once the page is gone
    };
    // One look-up: by address (a host name wanted) or by host name (an address wanted).
    struct Query {
        bool by_address = true;
        std::string text;  // the dotted address or the host name
        std::string unset; // why there is nothing to look up; the look-up is then skipped
    };

    void address_mode_changed(int item);
    void save_mode_changed(int item);
    void host_name_changed(int item);
    void octet_left(int n, int item);
    void octet_enter(int n, int item);
    void enable_apply(bool enabled);
    // The look-up that "Apply" makes for the address mode in use.
    Query query() const;
    // Shows the answer of a look-up as "Apply" does and resolves the tester folder from it.
    void take_answer(const Query& asked, const std::optional<std::string>& answer);
    // The address was edited: the results of an earlier look-up no longer describe it.
    void forget_results();
    void show_note(const std::string& text);
    void show_busy(bool busy);

    SettingsModel& model_;
    HostLookup lookup_;
    bool resolved_ = false;
    bool looking_up_ = false;
    std::string folder_unknown_;
    // Counts the look-ups started and the edits of the address; an answer is taken only for the latest.
    std::uint64_t serial_ = 0;
    std::shared_ptr<Courier> courier_;
    // The text each host-name field had when its change rule last ran: a change rule runs only for a change.
    std::array<std::string, 2> host_name_seen_;
    std::array<form::Connection, 2> host_name_watch_;
};

} // namespace varnika
