#include "run/tester_share.h"

#include <libsmbclient.h>
#include <safewrite/safe_file.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
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

std::string reason(int error) {
    return error != 0 ? std::strerror(error) : "unknown failure";
}

bool is_unreachable(int error) {
    return error == ECONNREFUSED || error == ETIMEDOUT || error == EHOSTUNREACH || error == ENETUNREACH ||
           error == EHOSTDOWN || error == ECONNRESET;
}

// The SMB client library's functions, bound by name on the first upload; the library stays loaded for
// the rest of the process (it keeps process-wide state of its own).
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
    decltype(&smbc_getFunctionRename) rename = nullptr;
    decltype(&smbc_getFunctionOpendir) opendir = nullptr;
    decltype(&smbc_getFunctionReaddir) readdir = nullptr;
    decltype(&smbc_getFunctionClosedir) closedir = nullptr;
    decltype(&smbc_getFunctionStat) stat = nullptr;
    std::string why_not; // empty when bound
};

template <class Function>
void bind_smb(void* handle, const char* name, Function& function, std::string& why_not) {
    function = std::bit_cast<Function>(dlsym(handle, name));
    if (function == nullptr && why_not.empty()) {
        why_not = std::string("it has no ") + name;
    }
}

const SmbClient& smb_client(const std::string& library) {
    static std::mutex guard;
    static std::map<std::string, SmbClient> loaded;
    const std::lock_guard lock(guard);
    const auto found = loaded.find(library);
    if (found != loaded.end()) {
        return found->second;
    }
    SmbClient& smb = loaded[library];
    void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* error = dlerror();
        smb.why_not = error != nullptr ? error : "it cannot be loaded";
        return smb;
    }
    bind_smb(handle, "smbc_new_context", smb.new_context, smb.why_not);
    bind_smb(handle, "smbc_free_context", smb.free_context, smb.why_not);
    bind_smb(handle, "smbc_setDebug", smb.set_debug, smb.why_not);
    bind_smb(handle, "smbc_setTimeout", smb.set_timeout, smb.why_not);
    bind_smb(handle, "smbc_setPort", smb.set_port, smb.why_not);
    bind_smb(handle, "smbc_setFunctionAuthDataWithContext", smb.set_auth, smb.why_not);
    bind_smb(handle, "smbc_init_context", smb.init_context, smb.why_not);
    bind_smb(handle, "smbc_getFunctionOpen", smb.open, smb.why_not);
    bind_smb(handle, "smbc_getFunctionWrite", smb.write, smb.why_not);
    bind_smb(handle, "smbc_getFunctionClose", smb.close, smb.why_not);
    bind_smb(handle, "smbc_getFunctionUnlink", smb.unlink, smb.why_not);
    bind_smb(handle, "smbc_getFunctionRename", smb.rename, smb.why_not);
    bind_smb(handle, "smbc_getFunctionOpendir", smb.opendir, smb.why_not);
    bind_smb(handle, "smbc_getFunctionReaddir", smb.readdir, smb.why_not);
    bind_smb(handle, "smbc_getFunctionClosedir", smb.closedir, smb.why_not);
    bind_smb(handle, "smbc_getFunctionStat", smb.stat, smb.why_not);
    return smb;
}

// Removes from the share's folder `folder` ("smb://host/share/") the temporaries that uploads killed
// before they could clean up (SIGKILL, a power cut) left behind: files named as this program names an
// upload's temporary and untouched for longer than any upload takes. A temporary of an upload under way
// elsewhere is younger and stays. Failures only leave a leftover in place.
void remove_upload_leftovers(const SmbClient& smb, SMBCCTX* context, const std::string& folder) {
    SMBCFILE* listing = smb.opendir(context)(context, folder.c_str());
    if (listing == nullptr) {
        return;
    }
    std::vector<std::string> leftovers;
    while (const smbc_dirent* entry = smb.readdir(context)(context, listing)) {
        if (entry->smbc_type == SMBC_FILE && is_upload_temporary_name(entry->name)) {
            leftovers.emplace_back(entry->name);
        }
    }
    smb.closedir(context)(context, listing);
    const auto now = std::chrono::system_clock::now();
    for (const std::string& name : leftovers) {
        const std::string url = folder + url_encoded(name);
        struct stat seen {};
        if (smb.stat(context)(context, url.c_str(), &seen) != 0) {
            continue;
        }
        const auto modified = std::chrono::system_clock::from_time_t(seen.st_mtime);
        if (now - modified >= upload_leftover_age) {
            smb.unlink(context)(context, url.c_str());
        }
    }
}

} // namespace

bool is_upload_temporary_name(std::string_view name) {
    // The safe-write prefix, the writer's process id, a dot and the random characters.
    if (!name.starts_with(safewrite::temporary_prefix)) {
        return false;
    }
    name.remove_prefix(safewrite::temporary_prefix.size());
    const std::size_t dot = name.find('.');
    if (dot == 0 || dot == std::string_view::npos || name.size() - dot - 1 != upload_temporary_random) {
        return false;
    }
    const auto digit = [](char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; };
    const auto letter_or_digit = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    return std::all_of(name.begin(), name.begin() + static_cast<std::ptrdiff_t>(dot), digit) &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(dot) + 1, name.end(), letter_or_digit);
}

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

TesterShare::TesterShare() : TesterShare(Options{}) {
    // A tester reached through a forwarded port (or a test server) names its SMB port in the environment.
    if (const char* port = std::getenv(smb_port_variable)) {
        const int number = std::atoi(port);
        options_.port = number > 0 && number < 65536 ? number : 0;
    }
}

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
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return "the file " + file.string() + " is missing";
    }
    const auto problem = upload(share, fd, file_name);
    ::close(fd);
    return problem ? std::optional<std::string>(problem->text) : std::nullopt;
}

std::optional<UploadProblem> TesterShare::upload(const ShareName& share, int descriptor,
                                                 const std::string& file_name) const {
    const SmbClient& smb = smb_client(options_.smb_library);
    if (!smb.why_not.empty()) {
        return UploadProblem{"the SMB client library " + options_.smb_library + " is not available (" +
                                 smb.why_not +
                                 "), so saving into the tester's folder is not possible; install it "
                                 "(Debian package libsmbclient) or save on this computer",
                             false};
    }
    const auto free_context = [&smb](SMBCCTX* context) { smb.free_context(context, 1); };
    const std::unique_ptr<SMBCCTX, decltype(free_context)> context(smb.new_context(), free_context);
    if (!context) {
        return UploadProblem{"the SMB client cannot start (" + reason(errno) + ")"};
    }
    smb.set_debug(context.get(), 0);
    smb.set_timeout(context.get(), options_.timeout_ms);
    // Port 0 lets the client's own configuration choose ("smb ports"; 445, then 139, by default).
    smb.set_port(context.get(), static_cast<std::uint16_t>(std::max(options_.port, 0)));
    smb.set_auth(context.get(), guest_login);
    if (smb.init_context(context.get()) == nullptr) {
        return UploadProblem{"the SMB client cannot start (" + reason(errno) + ")"};
    }

    // A signal now only marks the upload as interrupted; the temporary on the share goes first.
    const safewrite::InterruptibleSection section;
    const std::string folder = "smb://" + share.host + "/" + url_encoded(share.share) + "/";
    const std::string url = folder + url_encoded(file_name);
    remove_upload_leftovers(smb, context.get(), folder);
    const std::string temporary = folder + url_encoded(safewrite::temporary_name(upload_temporary_random));
    SMBCFILE* remote =
        smb.open(context.get())(context.get(), temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (remote == nullptr) {
        const int error = errno;
        return UploadProblem{reason(error), is_unreachable(error)};
    }
    std::optional<UploadProblem> failure;
    std::vector<char> chunk(1 << 16);
    for (off_t offset = 0; !failure;) {
        if (safewrite::InterruptibleSection::interrupted()) {
            failure = UploadProblem{"interrupted"};
            break;
        }
        const ssize_t count = ::pread(descriptor, chunk.data(), chunk.size(), offset);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            failure = UploadProblem{"the waveform cannot be read back (" + reason(errno) + ")"};
            break;
        }
        if (count == 0) {
            break;
        }
        offset += count;
        std::size_t written = 0;
        while (written < static_cast<std::size_t>(count)) {
            const ssize_t result = smb.write(context.get())(context.get(), remote, chunk.data() + written,
                                                            static_cast<std::size_t>(count) - written);
            if (result <= 0) {
                const int error = errno;
                failure = UploadProblem{reason(error), is_unreachable(error)};
                break;
            }
            written += static_cast<std::size_t>(result);
        }
    }
    if (smb.close(context.get())(context.get(), remote) < 0 && !failure) {
        failure = UploadProblem{reason(errno)};
    }
    if (!failure &&
        smb.rename(context.get())(context.get(), temporary.c_str(), context.get(), url.c_str()) < 0) {
        failure = UploadProblem{reason(errno)};
    }
    if (failure) {
        // The earlier file of that name is untouched; only the temporary goes.
        smb.unlink(context.get())(context.get(), temporary.c_str());
    }
    return failure;
}

} // namespace varnika
