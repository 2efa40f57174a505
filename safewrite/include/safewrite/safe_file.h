// One way to write a file safely, shared by the program, varnika-cli and the file library.
//
// A plain file is written under a temporary name beside its target, created exclusively (O_CREAT |
// O_EXCL | O_NOFOLLOW, so a planted symbolic link or file of that name makes the creation fail instead of
// being followed) under a short name that cannot be guessed: ".vnk" + the writer's process id + "." + six
// random characters. The temporary is flushed to the disk, given the mode (and, where the writer may, the
// owner) of the file it replaces (a new file gets the usual mode under the umask), and renamed over the
// target in one step, so the target is either the earlier file or the complete new one. Every failure
// removes the temporary, and so do SIGINT, SIGTERM, SIGHUP and SIGPIPE once `install_signal_cleanup` has
// run. Temporaries left by a writer that died without cleaning up (SIGKILL, power loss) are removed by the
// next write into the same folder.
//
// Names that are not plain files are met as their kind asks:
// - a symbolic link is written through: its final target is replaced in the target's own folder, and the
//   link stays a link;
// - a FIFO or a character device (and "-", standard output, where the caller asks for it) is written to
//   directly: it is never replaced and gets no temporary;
// - a name that opens a descriptor of this process ("/proc/self/fd/N", "/dev/fd/N") is written through
//   that descriptor, as its owner handed it over;
// - a folder, a block device, a socket, or a link that leads into a folder that does not exist is refused,
//   with a message that names it.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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

// What a writer accepts besides plain files.
struct Accepts {
    bool streams = true;          // a FIFO or a character device is written to directly; else refused
    bool standard_output = false; // "-" is standard output rather than a file of that name
};

// How a target is written: through a temporary that replaces it, or directly.
enum class Way { Replaced, Streamed };

class SafeFile {
public:
    explicit SafeFile(std::filesystem::path target, Accepts accepts = {});
    ~SafeFile(); // removes the temporary unless it was committed
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Looks at the target (its kind, whether the user may write it) and creates the temporary, or opens
    // the stream.
    std::optional<Failure> open();
    const std::filesystem::path& target() const { return target_; }
    // The file a replacement takes the place of: the target, or the final target of a link.
    const std::filesystem::path& destination() const { return destination_; }
    const std::filesystem::path& temporary() const { return temporary_; }
    Way way() const { return way_; }
    int descriptor() const { return fd_; }
    // A name that opens exactly the temporary, whatever happens to its folder entry meanwhile: for a
    // writer that takes a file name ("/proc/self/fd/N").
    std::string descriptor_name() const;

    // Appends `bytes`.
    std::optional<Failure> write(std::string_view bytes);
    // Turns a failure of a writer that wrote through `descriptor_name()` into its cause: `error` when
    // it is set, otherwise what the temporary's file system says (full, or the cause unknown).
    Failure writer_failed(int error) const;
    // Flushes, sets the mode and renames the temporary over the target: finish(), then replace().
    std::optional<Failure> commit();
    // Flushes the temporary to the disk, gives it the mode and owner it keeps, and closes it; a stream is
    // only closed. The target is not touched yet.
    std::optional<Failure> finish();
    // Renames the finished temporary over the target (nothing for a stream).
    std::optional<Failure> replace();
    // Removes the temporary.
    void discard();

private:
    Failure failure(int error) const;
    std::optional<Failure> open_stream(const std::filesystem::path& path, unsigned kind);
    std::optional<Failure> open_temporary();

    std::filesystem::path target_;
    Accepts accepts_;
    std::filesystem::path destination_;
    std::filesystem::path temporary_;
    Way way_ = Way::Replaced;
    int fd_ = -1;
    int slot_ = -1;
    unsigned mode_ = 0;
    long owner_ = -1; // the replaced file's user and group, kept where they differ from the writer's
    long group_ = -1;
    bool finished_ = false;
};

// Several files that replace their targets together: every one is opened first (so a refused target
// stops the lot before anything is written), then written and finished; only when all are complete do
// they replace their targets, one after another in the order added. A failure on the way leaves every
// target as it was.
class FileSet {
public:
    // Writes the file's contents; a failure in words, or nothing.
    using Writer = std::function<std::optional<Failure>(SafeFile& file)>;

    void add(std::filesystem::path target, Writer writer, Accepts accepts = {});
    // Opens, writes and finishes every file. The first failure, after which nothing is replaced.
    std::optional<Failure> prepare();
    // Replaces the targets in order; the first failure (the files before it are replaced already).
    std::optional<Failure> replace();
    // prepare(), then replace().
    std::optional<Failure> write();
    std::size_t size() const { return files_.size(); }

private:
    std::vector<std::pair<std::unique_ptr<SafeFile>, Writer>> files_;
};

// An exclusive lock on a name, for writers of files that belong together (a recording's two files): a
// lock file beside them, locked with flock and removed when the lock is let go. A writer that waits sees
// the lock file it locked still in place before it goes on, so removing it never lets two in at once.
class NameLock {
public:
    NameLock() = default;
    ~NameLock(); // lets go
    NameLock(const NameLock&) = delete;
    NameLock& operator=(const NameLock&) = delete;

    // Waits for the lock on `lock_file`, creating it (never through a link) when it is not there.
    std::optional<Failure> take(const std::filesystem::path& lock_file);
    void release();

private:
    std::filesystem::path path_;
    int fd_ = -1;
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
std::optional<Failure> write_file(const std::filesystem::path& target, std::string_view bytes,
                                  Accepts accepts = {});

// A file type that is not a regular file, in words for a message: "a folder", "a FIFO", "a character
// device", "a block device", "a socket" ("not a regular file" for any other).
std::string kind_words(mode_t mode);

// What stands at `path`, in words for a message ("a folder", "a FIFO", "a symbolic link to ..."), when
// it is not a plain file (or a link to one, or nothing at all); empty otherwise.
std::string odd_kind(const std::filesystem::path& path);

// A name for a temporary beside a file elsewhere (a share): the prefix, the process id and `random`
// characters that cannot be guessed.
std::string temporary_name(std::size_t random = 6);

// Removes, from `folder`, temporaries this user's writers left behind when they died: regular files
// named like a temporary whose process no longer exists. The number removed.
int remove_leftovers(const std::filesystem::path& folder);

// On SIGINT, SIGTERM, SIGHUP and SIGPIPE (where that is not ignored): removes every open temporary of this
// process, then ends the program by the same signal, unless a section that cleans up after itself is running
// (see InterruptibleSection).
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
