#include "output_file.h"

#include <cerrno>

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
    }
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
