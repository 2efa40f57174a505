#include "output_file.h"

namespace wavesave {

OutputFile::OutputFile(const char* file_name) {
    if (file_name != nullptr) {
        file_ = std::fopen(file_name, "wb");
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
}

bool OutputFile::close() {
    if (file_ == nullptr) {
        return false;
    }
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    return closed && !failed_;
}

} // namespace wavesave
