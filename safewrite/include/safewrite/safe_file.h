// One way to write a file safely, shared by the program, varnika-cli and the file library.
//
// A file is written under a temporary name beside its target, created exclusively (O_CREAT | O_EXCL, so
// a planted symbolic link or file of that name makes the creation fail instead of being followed) under
// a short name that cannot be guessed: ".vnk" + the writer's process id + "." + six random characters.
// The temporary is flushed to the disk, given the mode of the file it replaces (a new file gets the
// usual mode under the umask), and renamed over the target in one step, so the target is either the
// earlier file or the complete new one. Every failure removes the temporary, and so do SIGINT, SIGTERM
// and SIGHUP once `install_signal_cleanup` has run. Temporaries left by a writer that died without
// cleaning up (SIGKILL, power loss) are removed by the next write into the same folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace safewrite {

// Why a write failed: the file named in the user's terms and the real cause in words.
struct Failure {
    std::string file;  // the target
    std::string cause; // "No space left on device", "Permission denied", "File name too long", ...
    int error = 0;     // the errno value behind `cause`; 0 when the cause is not a system error

    // "<file>: <cause>".
    std::string text() const { return file + ": " + cause; }
};

// The prefix every temporary's name starts with.
inline constexpr std::string_view temporary_prefix = ".vnk";

class SafeFile {
public:
    explicit SafeFile(std::filesystem::path target);
    ~SafeFile(); // removes the temporary unless it was committed
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Checks the target (not a folder, not a file the user may not write) and creates the temporary.
    std::optional<Failure> open();
    const std::filesystem::path& target() const { return target_; }
    const std::filesystem::path& temporary() const { return temporary_; }
    int descriptor() const { return fd_; }
    // A name that opens exactly the temporary, whatever happens to its folder entry meanwhile: for a
    // writer that takes a file name ("/proc/self/fd/N").
    std::string descriptor_name() const;

    // Appends `bytes`.
    std::optional<Failure> write(std::string_view bytes);
    // Turns a failure of a writer that wrote through `descriptor_name()` into its cause: `error` when
    // it is set, otherwise what the temporary's file system says (full, or the cause unknown).
    Failure writer_failed(int error) const;
    // Flushes, sets the mode and renames the temporary over the target.
    std::optional<Failure> commit();
    // Removes the temporary.
    void discard();

private:
    Failure failure(int error) const;

    std::filesystem::path target_;
    std::filesystem::path temporary_;
    int fd_ = -1;
    int slot_ = -1;
    unsigned mode_ = 0;
};

// A file without a name, for data that goes elsewhere once complete (an upload to a share): no name
// can be planted or met by a parallel run, and it vanishes with its descriptor, whatever ends the
// program.
class ScratchFile {
public:
    ScratchFile() = default;
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Creates it in `folder`.
    std::optional<Failure> open(const std::filesystem::path& folder);
    int descriptor() const { return fd_; }
    std::string descriptor_name() const;

private:
    int fd_ = -1;
};

// Writes `bytes` to `target` through a SafeFile.
std::optional<Failure> write_file(const std::filesystem::path& target, std::string_view bytes);

// A name for a temporary beside a file elsewhere (a share): the prefix, the process id and `random`
// characters that cannot be guessed.
std::string temporary_name(std::size_t random = 6);

// Removes, from `folder`, temporaries this user's writers left behind when they died: regular files
// named like a temporary whose process no longer exists. The number removed.
int remove_leftovers(const std::filesystem::path& folder);

// On SIGINT, SIGTERM and SIGHUP: removes every open temporary of this process, then ends the program by
// the same signal, unless a section that cleans up after itself is running (see InterruptibleSection).
void install_signal_cleanup();
// What the signal handler removes; safe to call from a signal handler.
void remove_open_temporaries();

// A stretch of work that must clean up something the handler cannot reach (a temporary on a network
// share): while one is open, a signal only removes the local temporaries and is remembered; the work
// asks `interrupted()` between steps, cleans up, and the signal takes effect when the section ends.
class InterruptibleSection {
public:
    InterruptibleSection();
    ~InterruptibleSection(); // re-raises a remembered signal
    InterruptibleSection(const InterruptibleSection&) = delete;
    InterruptibleSection& operator=(const InterruptibleSection&) = delete;
    static bool interrupted();
};

} // namespace safewrite
