// A file opened for binary writing that remembers whether every byte reached it.
#ifndef WAVESAVE_OUTPUT_FILE_H
#define WAVESAVE_OUTPUT_FILE_H

#include <cstdio>
#include <cstddef>
#include <string_view>

namespace wavesave {

class OutputFile {
public:
    // Creates the file or truncates an existing one.
    explicit OutputFile(const char* file_name);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    bool is_open() const { return file_ != nullptr; }
    // True while every byte so far has reached the file.
    bool ok() const { return file_ != nullptr && !failed_; }
    void write(std::string_view bytes);
    // Closes the file; true when it was opened and every write and the close succeeded. On failure errno
    // holds the first cause (a full disk, say), for the caller to report.
    bool close();

private:
    void start_write_back();

    std::FILE* file_ = nullptr;
    long long written_ = 0;      // bytes handed to the file so far
    long long written_back_ = 0; // bytes whose write to the disk has been started
    bool failed_ = false;
    int error_ = 0;
};

} // namespace wavesave

#endif
