// The tester's waveform folder "\\host\waveform" is an SMB share. When this computer has it mounted (a CIFS
// mount of //host/waveform, or the desktop's GVFS mount) the share is a local folder and files reach it by
// a plain copy; otherwise a file is uploaded to the share itself with the SMB client library.
#pragma once

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

class TesterShare {
public:
    struct Options {
        std::filesystem::path mount_table = "/proc/mounts";
        std::filesystem::path gvfs_folder; // empty: the user's runtime folder's "gvfs"
        int port = 0;                      // 0: the SMB default port
        int timeout_ms = 15000;            // bound on each network operation
    };

    TesterShare();
    explicit TesterShare(Options options);

    // The local folder of the share named by `tester_folder` ("\\host\waveform"); empty when the path is
    // empty or malformed, or the share is not mounted here.
    std::filesystem::path mounted_folder(const std::string& tester_folder) const;

    // Uploads `file` into `share` under `file_name`, replacing a file of that name. Nothing on success,
    // otherwise what went wrong, in words.
    std::optional<std::string> upload(const ShareName& share, const std::filesystem::path& file,
                                      const std::string& file_name) const;

private:
    Options options_;
};

} // namespace varnika
