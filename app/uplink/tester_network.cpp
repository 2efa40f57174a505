#include "uplink/tester_network.h"

#include "form/number_text.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

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
}

void TesterNetwork::octet_left(int n, int item) {
    const auto index = static_cast<std::size_t>(n - 1);
    std::int16_t value = model_.IpOctets[index];
    if (const auto number = form::parse_number(octet(n, item).text())) {
        value = static_cast<std::int16_t>(std::clamp(std::trunc(*number), 0.0, 255.0));
    }
    const std::string text = std::to_string(value);
    octet(n, uplink_item).set_text(text);
    octet(n, downlink_item).set_text(text);
    std::string* stored[] = {&model_.IPadress1, &model_.IPadress2, &model_.IPadress3, &model_.IPadress4};
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

void TesterNetwork::apply() {
    resolved_ = true;
    if (model_.IPaddressUL == 0) {
        look_up_host_name();
        for (form::Label& info : ip_address_info) {
            info.set_text({});
        }
    } else {
        look_up_address();
        for (form::Label& info : host_name_info) {
            info.set_text({});
        }
    }
    enable_apply(false);
}

void TesterNetwork::look_up_host_name() {
    const auto& o = model_.IpOctets;
    const std::string address = std::to_string(o[0]) + "." + std::to_string(o[1]) + "." +
                                std::to_string(o[2]) + "." + std::to_string(o[3]);
    const auto name = look_up(lookup_.host_name, address);
    for (form::Label& info : host_name_info) {
        info.set_text(name.value_or(std::string()));
    }
    // The share is named by the host's own name: the first label of the name found.
    const std::size_t dot = name ? name->find('.') : std::string::npos;
    model_.TesterFolder = dot != std::string::npos ? tester_folder_path(name->substr(0, dot)) : std::string();
}

void TesterNetwork::look_up_address() {
    model_.TesterFolder = tester_folder_path(Q4410_Host_Name[uplink_item].text());
    const auto address = look_up(lookup_.ip_address, Q4410_Host_Name[uplink_item].text());
    if (!address) {
        model_.TesterFolder.clear();
    }
    for (form::Label& info : ip_address_info) {
        info.set_text(address.value_or(std::string()));
    }
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
    resolved_ = false;
    if (resolve) {
        apply();
    } else {
        model_.TesterFolder.clear();
    }
}

void TesterNetwork::resolve_in_background(Deliver deliver) {
    const bool by_address = model_.IPaddressUL == 0;
    const auto& o = model_.IpOctets;
    const std::string query = by_address ? std::to_string(o[0]) + "." + std::to_string(o[1]) + "." +
                                               std::to_string(o[2]) + "." + std::to_string(o[3])
                                         : Q4410_Host_Name[uplink_item].text();
    const HostLookup::Function function = by_address ? lookup_.host_name : lookup_.ip_address;
    resolver_ = std::jthread([this, by_address, query, function, deliver = std::move(deliver)] {
        const std::optional<std::string> answer = look_up(function, query);
        deliver([this, by_address, query, answer] {
            if (resolved_) {
                return;
            }
            // "Apply" with the answer found, for the query it was found for.
            const HostLookup own = lookup_;
            const HostLookup::Function real = by_address ? own.host_name : own.ip_address;
            HostLookup::Function known = [query, answer, real](const char* asked,
                                                               char* result) -> std::int32_t {
                if (asked != query) {
                    return real ? real(asked, result) : 1;
                }
                if (!answer) {
                    return 1;
                }
                std::memcpy(result, answer->c_str(), answer->size() + 1);
                return 0;
            };
            lookup_ = by_address ? HostLookup{known, own.ip_address} : HostLookup{own.host_name, known};
            apply();
            lookup_ = own;
        });
    });
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
