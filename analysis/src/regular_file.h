// Opening a file for reading only when it is a regular file, and reading it whole or not at all.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace varnika::analysis {

// A regular file open for reading; closed when it goes.
class RegularFile {
public:
    // Opens `file` when it is a regular file (a symbolic link to one is followed). Anything else, a FIFO,
    // a device, a socket or a folder, is refused without being opened for reading, and the open itself
    // never blocks; `error()` then names the file and what it is.
    explicit RegularFile(const std::filesystem::path& file);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool is_open() const { return fd_ >= 0; }
    const std::string& error() const { return error_; }
    std::size_t size() const { return size_; }
    // Reads the next `size` bytes; false when the file gives fewer or a read fails.
    bool read_exactly(void* into, std::size_t size);

private:
    int fd_ = -1;
    std::size_t size_ = 0;
    std::string error_;
};

} // namespace varnika::analysis
