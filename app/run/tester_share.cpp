#include "run/tester_share.h"

#include <libsmbclient.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

namespace varnika {

namespace {

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

bool same_text(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

// The same host, or a host named once in full and once by its first label.
bool same_host(std::string_view a, std::string_view b) {
    if (same_text(a, b)) {
        return true;
    }
    const auto first_label = [](std::string_view name) { return name.substr(0, name.find('.')); };
    return (a.find('.') == std::string_view::npos && same_text(a, first_label(b))) ||
           (b.find('.') == std::string_view::npos && same_text(first_label(a), b));
}

// A field of /proc/mounts, whose spaces, tabs, newlines and backslashes are written as octal escapes.
std::string unescape_mount_field(std::string_view field) {
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    std::string out;
    for (std::size_t k = 0; k < field.size(); ++k) {
        if (field[k] == '\\' && field.size() - k >= 4 && octal(field[k + 1]) && octal(field[k + 2]) &&
            octal(field[k + 3])) {
            out.push_back(static_cast<char>((field[k + 1] - '0') * 64 + (field[k + 2] - '0') * 8 +
                                            (field[k + 3] - '0')));
            k += 3;
        } else {
            out.push_back(field[k]);
        }
    }
    return out;
}

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    while (true) {
        const std::size_t at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) {
            return parts;
        }
        text.remove_prefix(at + 1);
    }
}

std::filesystem::path find_cifs_mount(const ShareName& share, std::string_view mount_table) {
    for (std::string_view line : split(mount_table, '\n')) {
        std::vector<std::string_view> fields;
        for (std::string_view field : split(line, ' ')) {
            if (!field.empty()) {
                fields.push_back(field);
            }
        }
        if (fields.size() < 3 || (fields[2] != "cifs" && fields[2] != "smb3")) {
            continue;
        }
        const auto device = parse_share_path(unescape_mount_field(fields[0]));
        if (device && same_host(device->host, share.host) && same_text(device->share, share.share)) {
            return unescape_mount_field(fields[1]);
        }
    }
    return {};
}

std::filesystem::path find_gvfs_mount(const ShareName& share, const std::filesystem::path& gvfs_folder) {
    constexpr std::string_view prefix = "smb-share:";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(gvfs_folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) != 0) {
            continue;
        }
        std::string_view server;
        std::string_view share_name;
        const std::string_view keys = std::string_view(name).substr(prefix.size());
        for (std::string_view pair : split(keys, ',')) {
            if (pair.starts_with("server=")) {
                server = pair.substr(7);
            } else if (pair.starts_with("share=")) {
                share_name = pair.substr(6);
            }
        }
        if (same_host(server, share.host) && same_text(share_name, share.share)) {
            return entry.path();
        }
    }
    return {};
}

std::string read_text_file(const std::filesystem::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::filesystem::path default_gvfs_folder() {
    return std::filesystem::path("/run/user") / std::to_string(getuid()) / "gvfs";
}

// Percent-encodes a path segment of an smb:// address.
std::string url_encoded(std::string_view text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~') {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(digits[byte >> 4]);
            out.push_back(digits[byte & 15]);
        }
    }
    return out;
}

// Logs in as a guest: the tester's share is open to the network it sits in.
void guest_login(SMBCCTX*, const char*, const char*, char*, int, char* user, int user_size, char* password,
                 int password_size) {
    if (user_size > 0) {
        user[0] = '\0';
    }
    if (password_size > 0) {
        password[0] = '\0';
    }
}

// The SMB client library, loaded by name when the first upload needs it: the program starts and runs
// without it, and only saving into a tester's share that is not mounted here asks for it.
struct SmbClient {
    decltype(&smbc_new_context) new_context = nullptr;
    decltype(&smbc_free_context) free_context = nullptr;
    decltype(&smbc_setDebug) set_debug = nullptr;
    decltype(&smbc_setTimeout) set_timeout = nullptr;
    decltype(&smbc_setPort) set_port = nullptr;
    decltype(&smbc_setFunctionAuthDataWithContext) set_auth = nullptr;
    decltype(&smbc_init_context) init_context = nullptr;
    decltype(&smbc_getFunctionOpen) open = nullptr;
    decltype(&smbc_getFunctionWrite) write = nullptr;
    decltype(&smbc_getFunctionClose) close = nullptr;
    decltype(&smbc_getFunctionUnlink) unlink = nullptr;
};

constexpr const char* smb_client_file = "libsmbclient.so.0";

// The bound library; nullptr, with `missing` saying why, when it or one of its functions is missing. The
// library stays loaded for the life of the process, as its own state expects.
const SmbClient* smb_client(std::string& missing) {
    static const std::pair<SmbClient, std::string> bound = [] {
        SmbClient client;
        void* handle = dlopen(smb_client_file, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = dlerror();
            return std::pair(client, std::string("the SMB client library ") + smb_client_file +
                                         " cannot be loaded" + (why != nullptr ? std::string(" (") + why + ")" : ""));
        }
        std::string absent;
        auto bind = [handle, &absent](auto& function, const char* name) {
            function = std::bit_cast<std::remove_reference_t<decltype(function)>>(dlsym(handle, name));
            if (function == nullptr && absent.empty()) {
                absent = std::string("the SMB client library has no function ") + name;
            }
        };
        bind(client.new_context, "smbc_new_context");
        bind(client.free_context, "smbc_free_context");
        bind(client.set_debug, "smbc_setDebug");
        bind(client.set_timeout, "smbc_setTimeout");
        bind(client.set_port, "smbc_setPort");
        bind(client.set_auth, "smbc_setFunctionAuthDataWithContext");
        bind(client.init_context, "smbc_init_context");
        bind(client.open, "smbc_getFunctionOpen");
        bind(client.write, "smbc_getFunctionWrite");
        bind(client.close, "smbc_getFunctionClose");
        bind(client.unlink, "smbc_getFunctionUnlink");
        return std::pair(client, absent);
    }();
    missing = bound.second;
    return bound.second.empty() ? &bound.first : nullptr;
}

struct ContextDeleter {
    const SmbClient* client = nullptr;
    void operator()(SMBCCTX* context) const { client->free_context(context, 1); }
};

std::string reason(int error) {
    return error != 0 ? std::strerror(error) : "unknown failure";
}

} // namespace

std::optional<ShareName> parse_share_path(std::string_view path) {
    if (path.size() < 2 || !is_separator(path[0]) || !is_separator(path[1])) {
        return std::nullopt;
    }
    path.remove_prefix(2);
    while (!path.empty() && is_separator(path.back())) {
        path.remove_suffix(1);
    }
    const auto separator = std::ranges::find_if(path, is_separator);
    if (separator == path.end()) {
        return std::nullopt;
    }
    ShareName name{std::string(path.begin(), separator), std::string(separator + 1, path.end())};
    if (name.host.empty() || name.share.empty() || std::ranges::any_of(name.share, is_separator)) {
        return std::nullopt;
    }
    return name;
}

std::filesystem::path find_mounted_share(const ShareName& share, std::string_view mount_table,
                                         const std::filesystem::path& gvfs_folder) {
    std::filesystem::path folder = find_cifs_mount(share, mount_table);
    if (folder.empty() && !gvfs_folder.empty()) {
        folder = find_gvfs_mount(share, gvfs_folder);
    }
    return folder;
}

TesterShare::TesterShare() : TesterShare(Options{}) {}

TesterShare::TesterShare(Options options) : options_(std::move(options)) {
    if (options_.gvfs_folder.empty()) {
        options_.gvfs_folder = default_gvfs_folder();
    }
}

std::filesystem::path TesterShare::mounted_folder(const std::string& tester_folder) const {
    const auto share = parse_share_path(tester_folder);
    if (!share) {
        return {};
    }
    return find_mounted_share(*share, read_text_file(options_.mount_table), options_.gvfs_folder);
}

std::optional<std::string> TesterShare::upload(const ShareName& share, const std::filesystem::path& file,
                                               const std::string& file_name) const {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return "the file " + file.string() + " is missing";
    }
    std::string missing;
    const SmbClient* smb = smb_client(missing);
    if (smb == nullptr) {
        return missing;
    }
    const std::unique_ptr<SMBCCTX, ContextDeleter> context(smb->new_context(), ContextDeleter{smb});
    if (!context) {
        return "the SMB client cannot start (" + reason(errno) + ")";
    }
    smb->set_debug(context.get(), 0);
    smb->set_timeout(context.get(), options_.timeout_ms);
    if (options_.port > 0) {
        smb->set_port(context.get(), static_cast<std::uint16_t>(options_.port));
    }
    smb->set_auth(context.get(), guest_login);
    if (smb->init_context(context.get()) == nullptr) {
        return "the SMB client cannot start (" + reason(errno) + ")";
    }

    const std::string url =
        "smb://" + share.host + "/" + url_encoded(share.share) + "/" + url_encoded(file_name);
    SMBCFILE* remote =
        smb->open(context.get())(context.get(), url.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (remote == nullptr) {
        return reason(errno);
    }
    std::optional<std::string> failure;
    std::vector<char> chunk(1 << 16);
    while (!failure && in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto count = static_cast<std::size_t>(in.gcount());
        std::size_t written = 0;
        while (written < count) {
            const ssize_t result = smb->write(context.get())(
                context.get(), remote, chunk.data() + written, count - written);
            if (result <= 0) {
                failure = reason(errno);
                break;
            }
            written += static_cast<std::size_t>(result);
        }
    }
    if (!failure && in.bad()) {
        failure = "the file " + file.string() + " cannot be read";
    }
    if (smb->close(context.get())(context.get(), remote) < 0 && !failure) {
        failure = reason(errno);
    }
    if (failure) {
        // Leave no partial waveform on the tester.
        smb->unlink(context.get())(context.get(), url.c_str());
    }
    return failure;
}

} // namespace varnika
