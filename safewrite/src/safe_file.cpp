#include "safewrite/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

namespace safewrite {

namespace {

namespace fs = std::filesystem;

// The temporaries the signal handler removes: fixed buffers, claimed with one atomic step and filled
// before they count.
struct Slot {
    std::array<char, PATH_MAX> path{};
    std::atomic<int> state{0}; // 0 free, 1 being filled, 2 in use
};
std::array<Slot, 32> registry;

std::atomic<int> open_sections{0};
volatile std::sig_atomic_t pending_signal = 0;

constexpr std::array<int, 4> cleanup_signals{SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Blocks the clean-up signals while a temporary is created and registered, so no signal falls between.
class SignalsHeld {
public:
    SignalsHeld() {
        sigset_t set;
        sigemptyset(&set);
        for (const int s : cleanup_signals) {
            sigaddset(&set, s);
        }
        pthread_sigmask(SIG_BLOCK, &set, &previous_);
    }
    ~SignalsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t previous_;
};

int register_temporary(const fs::path& path) {
    const std::string& text = path.native();
    if (text.size() >= PATH_MAX) {
        return -1;
    }
    for (std::size_t k = 0; k < registry.size(); ++k) {
        int expected = 0;
        if (registry[k].state.compare_exchange_strong(expected, 1)) {
            std::memcpy(registry[k].path.data(), text.c_str(), text.size() + 1);
            registry[k].state.store(2);
            return static_cast<int>(k);
        }
    }
    return -1; // only the clean-up on a signal is lost; the next write removes the leftover
}

void unregister_temporary(int slot) {
    if (slot >= 0) {
        registry[static_cast<std::size_t>(slot)].state.store(0);
    }
}

extern "C" void remove_and_end(int signal_number) {
    remove_open_temporaries();
    if (open_sections.load() > 0) {
        pending_signal = signal_number;
        return;
    }
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// The process's file-creation mask, read without changing it.
mode_t current_umask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
        }
    }
    return 022;
}

fs::path folder_of(const fs::path& target) {
    return target.has_parent_path() ? target.parent_path() : fs::path(".");
}

// "<pid>.XXXXXX" after the prefix: the owning process, or 0 when the name is not a temporary's.
pid_t owner_of(std::string_view name) {
    if (!name.starts_with(temporary_prefix)) {
        return 0;
    }
    name.remove_prefix(temporary_prefix.size());
    const std::size_t dot = name.find('.');
    if (dot == 0 || dot == std::string_view::npos || name.size() - dot - 1 < 6 || dot > 10) {
        return 0;
    }
    long pid = 0;
    for (const char c : name.substr(0, dot)) {
        if (c < '0' || c > '9') {
            return 0;
        }
        pid = pid * 10 + (c - '0');
    }
    return pid > 0 && pid <= INT_MAX ? static_cast<pid_t>(pid) : 0;
}

// N of a name that opens a descriptor of this process ("/proc/self/fd/N", "/dev/fd/N"); -1 otherwise.
int descriptor_of(const std::string& name) {
    for (const std::string_view prefix : {std::string_view("/proc/self/fd/"), std::string_view("/dev/fd/")}) {
        if (!name.starts_with(prefix)) {
            continue;
        }
        const std::string_view digits = std::string_view(name).substr(prefix.size());
        if (digits.empty() || digits.size() > 9) {
            return -1;
        }
        int number = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9') {
                return -1;
            }
            number = number * 10 + (c - '0');
        }
        return number;
    }
    return -1;
}

// Where a name leads once every symbolic link on the way is followed.
struct Resolved {
    fs::path path;       // the final name: not a link
    bool linked = false; // the name was a link
    bool exists = false; // something stands at `path`
    int error = 0;       // why it could not be followed (ELOOP, EACCES, ...)
    struct stat seen {}; // what stands there
};

Resolved resolve(const fs::path& target) {
    Resolved resolved{target};
    for (int hop = 0;; ++hop) {
        // A link to one of this process's descriptors ("/dev/stdout") ends at the descriptor: what the
        // descriptor's own link names may be no file at all ("pipe:[123]").
        if (hop > 0 && descriptor_of(resolved.path.native()) >= 0) {
            resolved.exists = true;
            return resolved;
        }
        if (::lstat(resolved.path.c_str(), &resolved.seen) != 0) {
            resolved.error = errno == ENOENT ? 0 : errno;
            return resolved;
        }
        if (!S_ISLNK(resolved.seen.st_mode)) {
            resolved.exists = true;
            return resolved;
        }
        std::array<char, PATH_MAX> text{};
        const ssize_t length = hop < 40 ? ::readlink(resolved.path.c_str(), text.data(), text.size()) : -1;
        if (length < 0 || static_cast<std::size_t>(length) >= text.size()) {
            resolved.error = hop < 40 ? (length < 0 ? errno : ENAMETOOLONG) : ELOOP;
            return resolved;
        }
        const fs::path next(std::string(text.data(), static_cast<std::size_t>(length)));
        resolved.path = next.is_absolute() ? next : resolved.path.parent_path() / next;
        resolved.linked = true;
    }
}

bool folder_exists(const fs::path& file) {
    struct stat seen {};
    return ::stat(folder_of(file).c_str(), &seen) == 0 && S_ISDIR(seen.st_mode);
}

// What `resolved` is in words, for a name that is not a plain file: "a folder", "a symbolic link to X,
// which is a FIFO", "a symbolic link to X, in a folder that does not exist".
std::string odd_words(const Resolved& resolved) {
    const std::string link = "a symbolic link to " + resolved.path.string();
    if (!resolved.exists) {
        return resolved.linked ? link + ", in a folder that does not exist" : std::string();
    }
    const std::string kind = kind_words(resolved.seen.st_mode);
    return resolved.linked ? link + ", which is " + kind : kind;
}

} // namespace

std::string kind_words(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "a folder";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "not a regular file";
}

SafeFile::SafeFile(fs::path target, Accepts accepts) : target_(std::move(target)), accepts_(accepts) {}

SafeFile::~SafeFile() {
    discard();
}

Failure SafeFile::failure(int error) const {
    return {target_.string(), std::strerror(error), error};
}

std::optional<Failure> SafeFile::open() {
    destination_ = target_;
    finished_ = false;
    if (accepts_.standard_output && target_ == "-") {
        fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
        way_ = Way::Streamed;
        if (fd_ < 0) {
            return Failure{"standard output", "it is closed", errno};
        }
        return std::nullopt;
    }
    // A descriptor handed over by name (a temporary or a stream its owner opened) is written as it is.
    if (const int handed = descriptor_of(target_.native()); handed >= 0) {
        fd_ = ::fcntl(handed, F_DUPFD_CLOEXEC, 0);
        way_ = Way::Streamed;
        return fd_ < 0 ? std::optional(failure(errno)) : std::nullopt;
    }
    if (!target_.has_filename()) {
        return Failure{target_.string(), "not a file name", EISDIR};
    }
    if (target_.filename().native().size() > NAME_MAX) {
        return failure(ENAMETOOLONG);
    }
    const Resolved resolved = resolve(target_);
    destination_ = resolved.path;
    if (resolved.error != 0) {
        return failure(resolved.error);
    }
    if (const int handed = descriptor_of(destination_.native()); handed >= 0) {
        if (!accepts_.streams) {
            return Failure{target_.string(), "it is " + odd_words(resolved), EINVAL};
        }
        fd_ = ::fcntl(handed, F_DUPFD_CLOEXEC, 0);
        way_ = Way::Streamed;
        return fd_ < 0 ? std::optional(failure(errno)) : std::nullopt;
    }
    if (!resolved.exists) {
        if (resolved.linked && !folder_exists(destination_)) {
            return Failure{target_.string(), "it is " + odd_words(resolved), ENOENT};
        }
        // A new file; a missing folder makes the temporary's creation fail with its own cause.
        mode_ = 0666 & ~current_umask();
        return open_temporary();
    }
    const mode_t kind = resolved.seen.st_mode;
    if (S_ISREG(kind)) {
        // A file the user may not write is not replaced behind their back, even where the folder would
        // allow the rename (and even for the superuser, who may write anything, when it is marked
        // read-only for its owner).
        const bool read_only_for_owner =
            resolved.seen.st_uid == ::geteuid() && (resolved.seen.st_mode & S_IWUSR) == 0;
        if (::access(destination_.c_str(), W_OK) != 0 || read_only_for_owner) {
            return Failure{target_.string(), "Permission denied (the file is read-only)", EACCES};
        }
        mode_ = resolved.seen.st_mode & 07777;
        owner_ = resolved.seen.st_uid != ::geteuid() ? static_cast<long>(resolved.seen.st_uid) : -1;
        group_ = resolved.seen.st_gid != ::getegid() ? static_cast<long>(resolved.seen.st_gid) : -1;
        return open_temporary();
    }
    if ((S_ISFIFO(kind) || S_ISCHR(kind)) && accepts_.streams) {
        return open_stream(destination_, kind);
    }
    return Failure{target_.string(), "it is " + odd_words(resolved), S_ISDIR(kind) ? EISDIR : EINVAL};
}

std::optional<Failure> SafeFile::open_stream(const fs::path& path, unsigned kind) {
    // A FIFO waits here for its reader, as any writer of one does.
    fd_ = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC);
    if (fd_ < 0) {
        return failure(errno);
    }
    struct stat seen {};
    if (::fstat(fd_, &seen) != 0 || (seen.st_mode & S_IFMT) != (kind & S_IFMT)) {
        ::close(fd_);
        fd_ = -1;
        return Failure{target_.string(), "it changed while it was opened", EAGAIN};
    }
    way_ = Way::Streamed;
    return std::nullopt;
}

std::optional<Failure> SafeFile::open_temporary() {
    way_ = Way::Replaced;
    const fs::path folder = folder_of(destination_);
    remove_leftovers(folder);

    // The name is registered before the file exists, so a signal handled on any thread at any moment
    // finds it: at worst it unlinks a name that was not yet created.
    const SignalsHeld held;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate = folder / temporary_name(6);
        const int slot = register_temporary(candidate);
        fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            temporary_ = candidate;
            slot_ = slot;
            return std::nullopt;
        }
        const int error = errno;
        unregister_temporary(slot);
        if (error != EEXIST) {
            return failure(error);
        }
    }
    return failure(EEXIST);
}

std::string SafeFile::descriptor_name() const {
    return "/proc/self/fd/" + std::to_string(fd_);
}

std::optional<Failure> SafeFile::write(std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t done = ::write(fd_, bytes.data(), bytes.size());
        if (done < 0 && errno == EINTR) {
            continue;
        }
        if (done <= 0) {
            const Failure failed = failure(done < 0 ? errno : ENOSPC);
            discard();
            return failed;
        }
        bytes.remove_prefix(static_cast<std::size_t>(done));
    }
    return std::nullopt;
}

Failure SafeFile::writer_failed(int error) const {
    if (error != 0 && error != EINTR) {
        return failure(error);
    }
    struct statvfs space {};
    if (fd_ >= 0 && ::fstatvfs(fd_, &space) == 0 && space.f_bavail == 0) {
        return failure(ENOSPC);
    }
    return {target_.string(), "the writer failed", EIO};
}

std::optional<Failure> SafeFile::commit() {
    if (auto failed = finish()) {
        return failed;
    }
    return replace();
}

std::optional<Failure> SafeFile::finish() {
    if (finished_) {
        return std::nullopt;
    }
    if (fd_ < 0) {
        return failure(EBADF);
    }
    int error = 0;
    if (way_ == Way::Replaced) {
        if (::fsync(fd_) != 0) {
            error = errno;
        }
        // The replaced file's owner and group, where the writer may give them (the superuser may); the
        // mode after them, since a change of owner clears the set-id bits.
        if (error == 0 && (owner_ >= 0 || group_ >= 0)) {
            [[maybe_unused]] const int kept =
                ::fchown(fd_, owner_ >= 0 ? static_cast<uid_t>(owner_) : static_cast<uid_t>(-1),
                         group_ >= 0 ? static_cast<gid_t>(group_) : static_cast<gid_t>(-1));
        }
        if (error == 0 && ::fchmod(fd_, static_cast<mode_t>(mode_)) != 0) {
            error = errno;
        }
    }
    if (::close(fd_) != 0 && error == 0) {
        error = errno;
    }
    fd_ = -1;
    if (error != 0) {
        const Failure failed = failure(error);
        discard();
        return failed;
    }
    finished_ = true;
    return std::nullopt;
}

std::optional<Failure> SafeFile::replace() {
    if (way_ == Way::Streamed) {
        return std::nullopt;
    }
    if (!finished_ || temporary_.empty()) {
        return failure(EBADF);
    }
    if (::rename(temporary_.c_str(), destination_.c_str()) != 0) {
        const Failure failed = failure(errno);
        discard();
        return failed;
    }
    unregister_temporary(slot_);
    slot_ = -1;
    temporary_.clear();
    finished_ = false;
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(folder_of(destination_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return std::nullopt;
}

void SafeFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
    unregister_temporary(slot_);
    slot_ = -1;
    finished_ = false;
}

void FileSet::add(fs::path target, Writer writer, Accepts accepts) {
    files_.emplace_back(std::make_unique<SafeFile>(std::move(target), accepts), std::move(writer));
}

std::optional<Failure> FileSet::prepare() {
    auto fail = [this](Failure failed) {
        for (auto& [file, writer] : files_) {
            file->discard();
        }
        return failed;
    };
    for (auto& [file, writer] : files_) {
        if (auto failed = file->open()) {
            return fail(*failed);
        }
    }
    for (auto& [file, writer] : files_) {
        if (auto failed = writer(*file)) {
            return fail(*failed);
        }
    }
    for (auto& [file, writer] : files_) {
        if (auto failed = file->finish()) {
            return fail(*failed);
        }
    }
    return std::nullopt;
}

std::optional<Failure> FileSet::replace() {
    for (auto& [file, writer] : files_) {
        if (auto failed = file->replace()) {
            return failed;
        }
    }
    return std::nullopt;
}

std::optional<Failure> FileSet::write() {
    if (auto failed = prepare()) {
        return failed;
    }
    return replace();
}

NameLock::~NameLock() {
    release();
}

std::optional<Failure> NameLock::take(const fs::path& lock_file) {
    release();
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int fd =
            ::open(lock_file.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) {
            return Failure{lock_file.string(), std::strerror(errno), errno};
        }
        struct stat held {};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            return Failure{lock_file.string(), "it is not a regular file", EINVAL};
        }
        int locked = ::flock(fd, LOCK_EX);
        while (locked != 0 && errno == EINTR) {
            locked = ::flock(fd, LOCK_EX);
        }
        if (locked != 0) {
            const int error = errno;
            ::close(fd);
            return Failure{lock_file.string(), std::strerror(error), error};
        }
        // The holder before removed the file it locked: this one may be gone too, so look again.
        struct stat named {};
        if (::lstat(lock_file.c_str(), &named) == 0 && named.st_dev == held.st_dev &&
            named.st_ino == held.st_ino) {
            fd_ = fd;
            path_ = lock_file;
            return std::nullopt;
        }
        ::close(fd);
    }
    return Failure{lock_file.string(), "the lock cannot be taken", EAGAIN};
}

void NameLock::release() {
    if (fd_ >= 0) {
        ::unlink(path_.c_str());
        ::close(fd_);
        fd_ = -1;
    }
}

ScratchFile::~ScratchFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

std::optional<Failure> ScratchFile::open(const fs::path& folder) {
    fd_ = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd_ < 0 && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
        // A file system without unnamed files: a temporary's name, removed as soon as it is open.
        std::string pattern = (folder / temporary_name(0)).native() + "XXXXXX";
        const SignalsHeld held;
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd_ >= 0) {
            ::unlink(pattern.c_str());
        }
    }
    if (fd_ < 0) {
        return Failure{folder.string(), std::strerror(errno), errno};
    }
    return std::nullopt;
}

std::string ScratchFile::descriptor_name() const {
    return "/proc/self/fd/" + std::to_string(fd_);
}

std::optional<Failure> write_file(const fs::path& target, std::string_view bytes, Accepts accepts) {
    SafeFile file(target, accepts);
    if (auto failed = file.open()) {
        return failed;
    }
    if (auto failed = file.write(bytes)) {
        return failed;
    }
    return file.commit();
}

std::string odd_kind(const fs::path& path) {
    const Resolved resolved = resolve(path);
    if (resolved.error != 0) {
        return (resolved.error == ELOOP
                    ? std::string("a symbolic link that loops")
                    : "a name that cannot be followed (" + std::string(std::strerror(resolved.error)) + ")");
    }
    if (resolved.exists && S_ISREG(resolved.seen.st_mode)) {
        return {};
    }
    if (!resolved.exists && folder_exists(resolved.path)) {
        return {};
    }
    return odd_words(resolved);
}

std::string temporary_name(std::size_t random) {
    static constexpr std::string_view letters =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = std::string(temporary_prefix) + std::to_string(::getpid()) + ".";
    std::random_device device;
    std::uniform_int_distribution<std::size_t> pick(0, letters.size() - 1);
    for (std::size_t k = 0; k < random; ++k) {
        name.push_back(letters[pick(device)]);
    }
    return name;
}

int remove_leftovers(const fs::path& folder) {
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) {
        return 0;
    }
    int removed = 0;
    const pid_t self = ::getpid();
    while (const dirent* entry = ::readdir(listing)) {
        const pid_t owner = owner_of(entry->d_name);
        if (owner == 0 || owner == self) {
            continue;
        }
        struct stat seen {};
        if (::fstatat(::dirfd(listing), entry->d_name, &seen, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(seen.st_mode) || seen.st_uid != ::geteuid()) {
            continue;
        }
        if (::kill(owner, 0) != 0 && errno == ESRCH && ::unlinkat(::dirfd(listing), entry->d_name, 0) == 0) {
            ++removed;
        }
    }
    ::closedir(listing);
    return removed;
}

void install_signal_cleanup() {
    struct sigaction action {};
    action.sa_handler = remove_and_end;
    sigemptyset(&action.sa_mask);
    for (const int s : cleanup_signals) {
        // A program that ignores a broken pipe (and takes EPIPE instead) keeps doing so.
        struct sigaction current {};
        if (s == SIGPIPE && (sigaction(s, nullptr, &current) != 0 || current.sa_handler != SIG_DFL)) {
            continue;
        }
        sigaction(s, &action, nullptr);
    }
}

void remove_open_temporaries() {
    for (Slot& slot : registry) {
        if (slot.state.load() == 2) {
            ::unlink(slot.path.data());
        }
    }
}

InterruptibleSection::InterruptibleSection() {
    ++open_sections;
}

InterruptibleSection::~InterruptibleSection() {
    if (--open_sections == 0 && pending_signal != 0) {
        const int signal_number = pending_signal;
        pending_signal = 0;
        std::signal(signal_number, SIG_DFL);
        std::raise(signal_number);
    }
}

bool InterruptibleSection::interrupted() {
    return pending_signal != 0;
}

} // namespace safewrite
