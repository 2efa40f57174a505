#include "staged_output.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include <climits>
#include <signal.h>
#include <unistd.h>

namespace varnika::cli {

namespace {

namespace fs = std::filesystem;

// The registry the signal handler reads: fixed buffers, filled before a slot is marked used.
struct Slot {
    std::array<char, PATH_MAX> file{};
    std::array<char, PATH_MAX> folder{}; // empty: no folder to remove
    volatile std::sig_atomic_t used = 0;
};

std::array<Slot, 8> registry;

bool copy_path(const fs::path& path, std::array<char, PATH_MAX>& buffer) {
    const std::string& text = path.native();
    if (text.size() >= buffer.size()) {
        return false;
    }
    std::memcpy(buffer.data(), text.c_str(), text.size() + 1);
    return true;
}

// A slot for `file` (and the `folder` that holds it); -1 when the registry is full or a path too long,
// which only costs the clean-up on interrupt.
int register_output(const fs::path& file, const fs::path& folder) {
    for (std::size_t k = 0; k < registry.size(); ++k) {
        Slot& slot = registry[k];
        if (slot.used != 0) {
            continue;
        }
        if (!copy_path(file, slot.file) || !copy_path(folder, slot.folder)) {
            return -1;
        }
        slot.used = 1;
        return static_cast<int>(k);
    }
    return -1;
}

void unregister_output(int slot) {
    if (slot >= 0) {
        registry[static_cast<std::size_t>(slot)].used = 0;
    }
}

extern "C" void remove_and_end(int signal_number) {
    remove_registered_outputs();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

} // namespace

StagedFile::StagedFile(fs::path destination) : destination_(std::move(destination)) {}

StagedFile::~StagedFile() {
    discard();
}

std::optional<std::string> StagedFile::prepare() {
    if (!destination_.has_filename()) {
        return destination_.string() + " is not a file name";
    }
    std::error_code error;
    if (fs::is_directory(destination_, error)) {
        return destination_.string() + " is a folder";
    }
    const fs::path parent = destination_.has_parent_path() ? destination_.parent_path() : fs::path(".");
    std::string pattern = (parent / ".varnika-cli-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        return destination_.string() + " cannot be written: " + std::strerror(errno);
    }
    folder_ = pattern;
    staging_ = folder_ / destination_.filename();
    slot_ = register_output(staging_, folder_);
    return std::nullopt;
}

bool StagedFile::written() const {
    std::error_code error;
    return !staging_.empty() && fs::is_regular_file(staging_, error);
}

std::optional<std::string> StagedFile::commit() {
    if (std::rename(staging_.c_str(), destination_.c_str()) != 0) {
        return destination_.string() + " cannot be written: " + std::strerror(errno);
    }
    return std::nullopt;
}

void StagedFile::discard() {
    unregister_output(slot_);
    slot_ = -1;
    if (!folder_.empty()) {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
        folder_.clear();
    }
}

RemovedOnInterrupt::RemovedOnInterrupt(const fs::path& file) : slot_(register_output(file, {})) {}

RemovedOnInterrupt::~RemovedOnInterrupt() {
    unregister_output(slot_);
}

void remove_registered_outputs() {
    for (Slot& slot : registry) {
        if (slot.used == 0) {
            continue;
        }
        ::unlink(slot.file.data());
        if (slot.folder[0] != '\0') {
            ::rmdir(slot.folder.data());
        }
    }
}

void install_interrupt_cleanup() {
    struct sigaction action {};
    action.sa_handler = remove_and_end;
    sigemptyset(&action.sa_mask);
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal_number, &action, nullptr);
    }
}

} // namespace varnika::cli
