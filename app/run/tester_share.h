// The tester's waveform folder "\\host\waveform" is an SMB share. When this computer has it mounted (a CIFS
// mount of //host/waveform, or the desktop's GVFS mount) the share is a local folder and files reach it by
// a plain copy; otherwise a file is uploaded to the share itself with the SMB client library, which is
// loaded only then: without it the program runs, and only saving into an unmounted share is refused.
#pragma once

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace varnika {

struct ShareName {
    std::string host;
    std::string share;
};

// "\\host\share" (backslashes or slashes); nothing for any other text.
std::optional<ShareName> parse_share_path(std::string_view network_path);

// Where `share` is mounted: the mount point of a "cifs" or "smb3" entry for //host/share in `mount_table`
// (the text of /proc/mounts), otherwise a folder "smb-share:server=host,share=share" in `gvfs_folder`.
// Host and share match without regard to case; a host also matches the first label of a longer name.
// Empty when the share is not mounted.
std::filesystem::path find_mounted_share(const ShareName& share, std::string_view mount_table,
                                         const std::filesystem::path& gvfs_folder);

// The SMB client library as the system installs it.
inline constexpr const char* smb_client_library = "libsmbclient.so.0";

// The environment variable that names the tester's SMB port when it is not the standard one.
inline constexpr const char* smb_port_variable = "VARNIKA_SMB_PORT";

// An upload's temporary on the share: the safe-write prefix, the process id, a dot and this many random
// letters and digits. A later upload removes those older than `upload_leftover_age`.
inline constexpr std::size_t upload_temporary_random = 10;
inline constexpr std::chrono::minutes upload_leftover_age{10};
bool is_upload_temporary_name(std::string_view name);

// Why an upload failed.
struct UploadProblem {
    std::string text;         // in words
    bool unreachable = false; // the server could not be reached at all
};

class TesterShare {
public:
    struct Options {
        std::string smb_library = smb_client_library; // the library loaded for an upload
        std::filesystem::path mount_table = "/proc/mounts";
        std::filesystem::path gvfs_folder; // empty: the user's runtime folder's "gvfs"
        int port = 0;                      // 0: the SMB default port
        int timeout_ms = 15000;            // bound on each network operation
    };

    // The default options, with the port from VARNIKA_SMB_PORT when it is set.
    TesterShare();
    explicit TesterShare(Options options);

    // The local folder of the share named by `tester_folder` ("\\host\waveform"); empty when the path is
    // empty or malformed, or the share is not mounted here.
    std::filesystem::path mounted_folder(const std::string& tester_folder) const;

    // Uploads the whole file open as `descriptor` into `share` under `file_name`. The data goes to a
    // temporary of an unguessable name on the share, created exclusively, and is renamed over the name
    // once complete, so a file of that name stays whole until then; the temporary is removed on every
    // failure and on SIGINT, SIGTERM or SIGHUP. Temporaries that killed uploads left on the share are
    // removed first. Nothing on success, otherwise what went wrong.
    std::optional<UploadProblem> upload(const ShareName& share, int descriptor,
                                        const std::string& file_name) const;
    // The same for the file `file`; the problem in words.
    std::optional<std::string> upload(const ShareName& share, const std::filesystem::path& file,
                                      const std::string& file_name) const;

private:
    Options options_;
};

} // namespace varnika
