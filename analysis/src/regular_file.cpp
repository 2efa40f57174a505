#include "regular_file.h"

#include <safewrite/safe_file.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varnika::analysis {

namespace {

std::string refusal(const std::filesystem::path& file, mode_t mode) {
    return "the file " + file.string() + " is " + safewrite::kind_words(mode) +
           "; only a regular file can be read";
}

} // namespace

RegularFile::RegularFile(const std::filesystem::path& file) {
    // The kind is looked at before opening so that a device is never opened at all; the descriptor is then
    // checked again, in case the name was replaced in between. O_NONBLOCK keeps an open of a FIFO from
    // waiting for a writer.
    struct stat named {};
    if (::stat(file.c_str(), &named) != 0) {
        error_ = "the file " + file.string() + " cannot be opened: " + std::strerror(errno);
        return;
    }
    if (!S_ISREG(named.st_mode)) {
        error_ = refusal(file, named.st_mode);
        return;
    }
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        error_ = "the file " + file.string() + " cannot be opened: " + std::strerror(errno);
        return;
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        error_ = refusal(file, opened.st_mode);
        ::close(fd);
        return;
    }
    fd_ = fd;
    size_ = static_cast<std::size_t>(opened.st_size);
}

RegularFile::~RegularFile() {
    if (fd_ >= 0) {
        ::close(fd_);
    }
}

bool RegularFile::read_exactly(void* into, std::size_t size) {
    auto* at = static_cast<unsigned char*>(into);
    while (size > 0) {
        const ssize_t got = ::read(fd_, at, size);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        at += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
}

} // namespace varnika::analysis
