// Output files that appear completely or not at all. A staged file is written under its own name in a
// private folder created beside its destination, on the same file system, and moved onto the destination
// by one rename once everything has been written; whatever stays behind goes with the private folder. A
// program interrupted by a signal removes the staged files and registered temporary files first.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace varnika::cli {

class StagedFile {
public:
    explicit StagedFile(std::filesystem::path destination);
    ~StagedFile();
    StagedFile(const StagedFile&) = delete;
    StagedFile& operator=(const StagedFile&) = delete;

    // Creates the private folder; the reason in words when it cannot, or when the destination is a folder.
    std::optional<std::string> prepare();
    const std::filesystem::path& destination() const { return destination_; }
    // Where the writer writes: the private folder and the destination's own name. Empty until prepared.
    const std::filesystem::path& staging() const { return staging_; }
    bool written() const;
    // Moves the staged file onto the destination, replacing an existing file.
    std::optional<std::string> commit();

private:
    void discard();

    std::filesystem::path destination_;
    std::filesystem::path folder_;
    std::filesystem::path staging_;
    int slot_ = -1;
};

// A file someone else writes and removes, removed on interrupt as well while this lives.
class RemovedOnInterrupt {
public:
    explicit RemovedOnInterrupt(const std::filesystem::path& file);
    ~RemovedOnInterrupt();
    RemovedOnInterrupt(const RemovedOnInterrupt&) = delete;
    RemovedOnInterrupt& operator=(const RemovedOnInterrupt&) = delete;

private:
    int slot_ = -1;
};

// On SIGINT, SIGTERM and SIGHUP: removes what is registered, then ends the program by the same signal.
void install_interrupt_cleanup();
// What the signal handler removes: every registered file, and the private folders of staged files. Safe
// to call from a signal handler.
void remove_registered_outputs();

} // namespace varnika::cli
