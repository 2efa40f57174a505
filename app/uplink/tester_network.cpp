#include "uplink/tester_network.h"

#include "form/number_text.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstring>
#include <optional>
#include <thread>

namespace varnika {

namespace {

// The look-ups write at most 255 characters and a terminating zero; the extra byte keeps the buffer
// terminated whatever the callee does.
constexpr std::size_t host_text_bytes = 256;

// Calls a look-up with a buffer of blanks; the result up to its first zero byte, or nothing.
std::optional<std::string> look_up(const HostLookup::Function& function, const std::string& query) {
    if (!function) {
        return std::nullopt;
    }
    std::array<char, host_text_bytes + 1> buffer{};
    std::fill(buffer.begin(), buffer.end() - 1, ' ');
    if (function(query.c_str(), buffer.data()) != 0) {
        return std::nullopt;
    }
    return std::string(buffer.data(), strnlen(buffer.data(), host_text_bytes));
}

} // namespace

std::string tester_folder_path(const std::string& host) {
    return "\\\\" + host + "\\waveform";
}

TesterNetwork::TesterNetwork(SettingsModel& model) : model_(model) {
    for (int item = 0; item < 2; ++item) {
        address_mode(item).set_change_rule([this, item] { address_mode_changed(item); });
        save_mode(item).set_change_rule([this, item] { save_mode_changed(item); });
        for (int n = 1; n <= 4; ++n) {
            form::TextField& field = octet(n, item);
            field.set_commit_rule([this, n, item](form::TextField&) { octet_left(n, item); });
            field.set_enter_rule([this, n, item](form::TextField&) { octet_enter(n, item); });
        }
        // The host-name rule runs on every change of the text, typed or written by the program.
        host_name_watch_[static_cast<std::size_t>(item)] = Q4410_Host_Name[item].on_change([this, item] {
            const std::string& text = Q4410_Host_Name[item].text();
            std::string& seen = host_name_seen_[static_cast<std::size_t>(item)];
            if (text != seen) {
                seen = text;
                host_name_changed(item);
            }
        });
        Apply_NetConfig[item].set_press_rule([this] { apply(); });
        NetWorkDef_Button[item].set_press_rule([this] { apply_default(); });
        lookup_busy[item].set_visible(false);
    }
    // The page shows the state the program starts in: saving on this computer, the tester given by its
    // address, nothing to look up yet. Stored settings select their own modes later.
    SaveMode_dl_Option.select(model_.SaveMode);
    IP_address_DL.select(model_.IPaddressUL);
    enable_apply(false);
}

TesterNetwork::~TesterNetwork() {
    if (courier_) {
        const std::lock_guard lock(courier_->guard);
        courier_->deliver = nullptr;
    }
}

form::TextField& TesterNetwork::octet(int n, int item) {
    switch (n) {
    case 1:
        return IP_ADDRESS1[item];
    case 2:
        return IP_ADDRESS2[item];
    case 3:
        return IP_ADDRESS3[item];
    default:
        return IP_ADDRESS4[item];
    }
}

void TesterNetwork::enable_apply(bool enabled) {
    for (form::Button& button : Apply_NetConfig) {
        button.set_enabled(enabled);
    }
}

void TesterNetwork::address_mode_changed(int item) {
    const int mode = address_mode(item).selected();
    bool any_zero = false;
    for (int page = 0; page < 2; ++page) {
        for (int n = 1; n <= 4; ++n) {
            octet(n, page).set_enabled(mode == 0);
            any_zero = any_zero || octet(n, page).text() == "0";
        }
        Q4410_Host_Name[page].set_enabled(mode != 0);
    }
    if (mode == 0) {
        enable_apply(!any_zero);
    } else {
        enable_apply(!Q4410_Host_Name[0].text().empty() && !Q4410_Host_Name[1].text().empty());
    }
    model_.IPaddressUL = mode;
    form::OptionGroup& other = address_mode(1 - item);
    if (other.selected() != mode) {
        other.select(mode);
    }
}

void TesterNetwork::save_mode_changed(int item) {
    const int mode = save_mode(item).selected();
    model_.SaveMode = mode;
    form::OptionGroup& other = save_mode(1 - item);
    if (other.selected() != mode) {
        other.select(mode);
    }
}

void TesterNetwork::host_name_changed(int item) {
    Apply_NetConfig[item].set_enabled(true);
    const std::string text = Q4410_Host_Name[item].text();
    Q4410_Host_Name[1 - item].set_text(text);
    model_.HostName = text;
    forget_results();
}

void TesterNetwork::octet_left(int n, int item) {
    const auto index = static_cast<std::size_t>(n - 1);
    std::int16_t value = model_.IpOctets[index];
    if (const auto number = form::parse_number(octet(n, item).text())) {
        value = static_cast<std::int16_t>(std::clamp(std::trunc(*number), 0.0, 255.0));
    }
    const std::string text = std::to_string(value);
    std::string* stored[] = {&model_.IPadress1, &model_.IPadress2, &model_.IPadress3, &model_.IPadress4};
    if (*stored[index] != text || model_.IpOctets[index] != value) {
        forget_results();
    }
    octet(n, uplink_item).set_text(text);
    octet(n, downlink_item).set_text(text);
    *stored[index] = text;
    model_.IpOctets[index] = value;
    enable_apply(true);
}

void TesterNetwork::octet_enter(int n, int item) {
    octet_left(n, item);
    if (n < 4 && focus_wanted) {
        focus_wanted(octet(n + 1, item));
    }
}

TesterNetwork::Query TesterNetwork::query() const {
    Query asked;
    asked.by_address = model_.IPaddressUL == 0;
    if (asked.by_address) {
        const auto& o = model_.IpOctets;
        asked.text = std::to_string(o[0]) + "." + std::to_string(o[1]) + "." + std::to_string(o[2]) + "." +
                     std::to_string(o[3]);
        if (std::ranges::all_of(o, [](std::int16_t octet) { return octet == 0; })) {
            asked.unset = "no tester address is set";
        }
    } else {
        asked.text = Q4410_Host_Name[uplink_item].text();
        if (asked.text.empty()) {
            asked.unset = "no tester host name is set";
        }
    }
    return asked;
}

void TesterNetwork::apply() {
    if (!courier_) {
        resolve_now();
        return;
    }
    // The answer comes back through the courier; the page may be gone by then, and the program with it.
    const Query asked = query();
    const std::uint64_t serial = ++serial_;
    resolved_ = false;
    looking_up_ = true;
    enable_apply(false);
    show_busy(true);
    show_note("Looking up " + asked.text + " ...");
    HostLookup own = lookup_.detached ? lookup_.detached() : lookup_;
    const HostLookup::Function function = asked.by_address ? own.host_name : own.ip_address;
    std::thread([courier = courier_, weak = std::weak_ptr<Courier>(courier_), function, asked, serial, this] {
        const std::optional<std::string> answer =
            asked.unset.empty() ? look_up(function, asked.text) : std::nullopt;
        const std::lock_guard lock(courier->guard);
        if (!courier->deliver) {
            return;
        }
        courier->deliver([weak, asked, answer, serial, this] {
            const auto alive = weak.lock();
            if (!alive || !alive->deliver || serial != serial_) {
                return; // the page is gone, or the address changed meanwhile
            }
            looking_up_ = false;
            show_busy(false);
            take_answer(asked, answer);
        });
    }).detach();
}

void TesterNetwork::resolve_now() {
    const Query asked = query();
    ++serial_;
    looking_up_ = false;
    show_busy(false);
    const std::optional<std::string> answer =
        asked.unset.empty() ? look_up(asked.by_address ? lookup_.host_name : lookup_.ip_address, asked.text)
                            : std::nullopt;
    take_answer(asked, answer);
}

void TesterNetwork::take_answer(const Query& asked, const std::optional<std::string>& answer) {
    resolved_ = true;
    std::string& why = folder_unknown_;
    if (asked.by_address) {
        for (form::Label& info : host_name_info) {
            info.set_text(answer.value_or(std::string()));
        }
        for (form::Label& info : ip_address_info) {
            info.set_text({});
        }
        // The share is named by the host's own name: the first label of a name with a domain part.
        const std::size_t dot = answer ? answer->find('.') : std::string::npos;
        model_.TesterFolder =
            dot != std::string::npos ? tester_folder_path(answer->substr(0, dot)) : std::string();
        why = !asked.unset.empty() ? asked.unset
              : !answer            ? "no host name was found for " + asked.text
              : dot == std::string::npos
                  ? "the name \"" + *answer + "\" found for " + asked.text + " has no domain part"
                  : std::string();
    } else {
        for (form::Label& info : ip_address_info) {
            info.set_text(answer.value_or(std::string()));
        }
        for (form::Label& info : host_name_info) {
            info.set_text({});
        }
        model_.TesterFolder = answer ? tester_folder_path(asked.text) : std::string();
        why = !asked.unset.empty() ? asked.unset
              : !answer            ? "the host name \"" + asked.text + "\" was not found"
                                   : std::string();
    }
    if (why.empty()) {
        show_note({});
    } else {
        std::string note = why + ", so the tester's waveform folder is unknown.";
        note[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(note[0])));
        show_note(note);
    }
    enable_apply(false);
}

void TesterNetwork::forget_results() {
    ++serial_;
    resolved_ = false;
    looking_up_ = false;
    folder_unknown_.clear();
    model_.TesterFolder.clear();
    for (int item = 0; item < 2; ++item) {
        ip_address_info[item].set_text({});
        host_name_info[item].set_text({});
    }
    show_note({});
    show_busy(false);
}

void TesterNetwork::show_note(const std::string& text) {
    for (form::Label& note : lookup_note) {
        note.set_text(text);
    }
}

void TesterNetwork::show_busy(bool busy) {
    for (form::Frame& mark : lookup_busy) {
        mark.set_visible(busy);
    }
}

void TesterNetwork::look_up_in_background(Deliver deliver) {
    if (!courier_) {
        courier_ = std::make_shared<Courier>();
    }
    const std::lock_guard lock(courier_->guard);
    courier_->deliver = std::move(deliver);
}

void TesterNetwork::apply_settings(bool resolve) {
    for (int item = 0; item < 2; ++item) {
        Q4410_Host_Name[item].set_text(model_.HostName);
        const std::string* stored[] = {&model_.IPadress1, &model_.IPadress2, &model_.IPadress3,
                                       &model_.IPadress4};
        for (int n = 1; n <= 4; ++n) {
            octet(n, item).set_text(*stored[n - 1]);
        }
    }
    SaveMode_dl_Option.select(model_.SaveMode);
    IP_address_DL.select(model_.IPaddressUL);
    host_name_changed(uplink_item);
    for (int n = 1; n <= 4; ++n) {
        octet_left(n, uplink_item);
    }
    forget_results();
    if (resolve) {
        apply();
    }
}

void TesterNetwork::apply_default() {
    for (int item = 0; item < 2; ++item) {
        Q4410_Host_Name[item].set_text({});
        for (int n = 1; n <= 4; ++n) {
            octet(n, item).set_text("0");
        }
    }
    SaveMode_ul_Option.select(0);
    IP_address_UL.select(0);
    host_name_changed(uplink_item);
    for (int n = 1; n <= 4; ++n) {
        octet_left(n, uplink_item);
    }
    for (int item = 0; item < 2; ++item) {
        ip_address_info[item].set_text({});
        host_name_info[item].set_text({});
    }
    enable_apply(false);
}

} // namespace varnika
