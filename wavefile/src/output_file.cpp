#include "output_file.h"

#include <cerrno>

#include <fcntl.h>

namespace wavesave {

OutputFile::OutputFile(const char* file_name) {
    if (file_name != nullptr) {
        file_ = std::fopen(file_name, "wb");
        error_ = file_ == nullptr ? errno : 0;
    }
}

OutputFile::~OutputFile() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void OutputFile::write(std::string_view bytes) {
    if (file_ == nullptr || failed_ || bytes.empty()) {
        return;
    }
    failed_ = std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size();
    if (failed_) {
        error_ = errno;
        return;
    }
    written_ += static_cast<long long>(bytes.size());
    start_write_back();
}

// A waveform file runs to 120 MB, and whoever keeps it flushes it to the disk when it is complete. The
// disk starts on every few megabytes as soon as they are written, so that it works while the rest is
// formatted and the final flush waits only for the tail. Nothing is waited for here; where the file is
// not a disk file (a pipe, say) the request simply fails and is ignored.
void OutputFile::start_write_back() {
    constexpr long long write_back_step = 2ll << 20;
    if (written_ - written_back_ < write_back_step) {
        return;
    }
    if (std::fflush(file_) != 0) {
        failed_ = true;
        error_ = errno;
        return;
    }
#ifdef __linux__
    ::sync_file_range(fileno(file_), written_back_, written_ - written_back_, SYNC_FILE_RANGE_WRITE);
#endif
    written_back_ = written_;
}

bool OutputFile::close() {
    if (file_ == nullptr) {
        errno = error_;
        return false;
    }
    const bool closed = std::fclose(file_) == 0;
    if (!closed && error_ == 0) {
        error_ = errno;
    }
    file_ = nullptr;
    if (!closed || failed_) {
        errno = error_;
        return false;
    }
    return true;
}

} // namespace wavesave
