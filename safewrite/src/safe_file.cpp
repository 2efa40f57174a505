#include "safewrite/safe_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
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

constexpr std::array<int, 3> cleanup_signals{SIGINT, SIGTERM, SIGHUP};

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

} // namespace

SafeFile::SafeFile(fs::path target) : target_(std::move(target)) {}

SafeFile::~SafeFile() {
    discard();
}

Failure SafeFile::failure(int error) const {
    return {target_.string(), std::strerror(error), error};
}

std::optional<Failure> SafeFile::open() {
    if (!target_.has_filename()) {
        return Failure{target_.string(), "not a file name", EISDIR};
    }
    if (target_.filename().native().size() > NAME_MAX) {
        return failure(ENAMETOOLONG);
    }
    struct stat seen {};
    if (::stat(target_.c_str(), &seen) == 0) {
        if (S_ISDIR(seen.st_mode)) {
            return Failure{target_.string(), "it is a folder", EISDIR};
        }
        // A file the user may not write is not replaced behind their back, even where the folder would
        // allow the rename (and even for the superuser, who may write anything, when it is marked
        // read-only for its owner).
        const bool read_only_for_owner = seen.st_uid == ::geteuid() && (seen.st_mode & S_IWUSR) == 0;
        if (::access(target_.c_str(), W_OK) != 0 || read_only_for_owner) {
            return Failure{target_.string(), "Permission denied (the file is read-only)", EACCES};
        }
        mode_ = seen.st_mode & 07777;
    } else if (errno == ENAMETOOLONG) {
        return failure(ENAMETOOLONG);
    } else {
        mode_ = 0666 & ~current_umask();
    }
    const fs::path folder = folder_of(target_);
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
    if (fd_ < 0) {
        return failure(EBADF);
    }
    int error = 0;
    if (::fsync(fd_) != 0 || ::fchmod(fd_, static_cast<mode_t>(mode_)) != 0) {
        error = errno;
    }
    if (::close(fd_) != 0 && error == 0) {
        error = errno;
    }
    fd_ = -1;
    if (error == 0 && ::rename(temporary_.c_str(), target_.c_str()) != 0) {
        error = errno;
    }
    if (error != 0) {
        const Failure failed = failure(error);
        discard();
        return failed;
    }
    unregister_temporary(slot_);
    slot_ = -1;
    temporary_.clear();
    // The rename itself reaches the disk with the folder.
    const int folder = ::open(folder_of(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
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

std::optional<Failure> write_file(const fs::path& target, std::string_view bytes) {
    SafeFile file(target);
    if (auto failed = file.open()) {
        return failed;
    }
    if (auto failed = file.write(bytes)) {
        return failed;
    }
    return file.commit();
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
