// Host-name and address look-up of the tester, IPv4 only, through the system resolver.
#include "wavesave/wavesave.h"

#include "boundary.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <cstring>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <string_view>
#include <sys/socket.h>

namespace wavesave {
namespace {

// Names under the reserved "invalid" top-level domain never resolve; they are answered at once
// instead of waiting on a name server.
bool is_reserved_invalid_name(std::string_view name) {
    if (!name.empty() && name.back() == '.') {
        name.remove_suffix(1);
    }
    constexpr std::string_view domain = "invalid";
    if (name.size() < domain.size()) {
        return false;
    }
    const std::string_view last = name.substr(name.size() - domain.size());
    const bool matches = std::equal(last.begin(), last.end(), domain.begin(), [](char a, char b) {
        return (a >= 'A' && a <= 'Z' ? static_cast<char>(a - 'A' + 'a') : a) == b;
    });
    return matches && (name.size() == domain.size() || name[name.size() - domain.size() - 1] == '.');
}

// Copies a result into the caller's 256-byte buffer, cut to fit with its terminating zero.
void copy_result(std::string_view text, char* out) {
    const std::size_t length = std::min<std::size_t>(text.size(), WAVESAVE_HOST_TEXT_BYTES - 1);
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
}

struct AddressListDeleter {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

} // namespace
} // namespace wavesave

extern "C" int32_t Get_Host_Name(const char* host_address, char* host_name) {
    using namespace wavesave;
    return guarded(WAVESAVE_LOOKUP_FAILED, [&] {
        if (host_address == nullptr || host_name == nullptr) {
            return WAVESAVE_LOOKUP_FAILED;
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        if (inet_aton(host_address, &address.sin_addr) == 0) {
            return WAVESAVE_LOOKUP_FAILED;
        }
        char name[NI_MAXHOST];
        if (getnameinfo(reinterpret_cast<const sockaddr*>(&address), sizeof address, name, sizeof name,
                        nullptr, 0, NI_NAMEREQD) != 0) {
            return WAVESAVE_LOOKUP_FAILED;
        }
        copy_result(name, host_name);
        return WAVESAVE_OK;
    });
}

extern "C" int32_t Get_IP_Address(const char* host_name, char* address_text) {
    using namespace wavesave;
    return guarded(WAVESAVE_LOOKUP_FAILED, [&] {
        if (host_name == nullptr || address_text == nullptr || *host_name == '\0' ||
            is_reserved_invalid_name(host_name)) {
            return WAVESAVE_LOOKUP_FAILED;
        }
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        if (getaddrinfo(host_name, nullptr, &hints, &found) != 0 || found == nullptr) {
            return WAVESAVE_LOOKUP_FAILED;
        }
        const std::unique_ptr<addrinfo, AddressListDeleter> list(found);
        sockaddr_in address{};
        std::memcpy(&address, list->ai_addr, std::min<std::size_t>(sizeof address, list->ai_addrlen));
        const auto* octets = reinterpret_cast<const unsigned char*>(&address.sin_addr.s_addr);
        char text[16];
        std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{octets[0]}, unsigned{octets[1]},
                      unsigned{octets[2]}, unsigned{octets[3]});
        copy_result(text, address_text);
        return WAVESAVE_OK;
    });
}
