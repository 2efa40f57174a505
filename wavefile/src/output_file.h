// A file opened for binary writing that remembers whether every byte reached it.
#ifndef WAVESAVE_OUTPUT_FILE_H
#define WAVESAVE_OUTPUT_FILE_H

#include <condition_variable>
#include <cstddef>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

namespace safewrite {
class SafeFile;
}

namespace wavesave {

// Flushes a file to the disk on a helper thread, on request, while its writer goes on writing.
class EarlyFlush {
public:
    explicit EarlyFlush(int descriptor);
    EarlyFlush(const EarlyFlush&) = delete;
    EarlyFlush& operator=(const EarlyFlush&) = delete;
    ~EarlyFlush();

    // Asks for the file as written so far to be flushed; returns at once. A request made while a flush
    // runs is served by one more flush after it.
    void request();
    // Waits for the flush under way, if any, and ends the helper. The first failure of a flush, as an
    // errno value (0 when none failed; a file that cannot be flushed at all, a pipe say, is no failure).
    int finish();

private:
    void serve();

    int descriptor_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool requested_ = false;
    bool stop_ = false;
    int error_ = 0;
    std::thread helper_;
};

class OutputFile {
public:
    // Opens the file for writing through the safe write: the new contents replace an existing file only
    // when close() succeeds.
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
    void fail(int error);

    std::unique_ptr<safewrite::SafeFile> safe_;
    std::FILE* file_ = nullptr;
    long long written_ = 0;      // bytes handed to the file so far
    long long written_back_ = 0; // bytes whose write to the disk has been started
    long long flushed_ = 0;      // bytes up to which a flush has been asked for
    bool flush_early_ = false;   // a named file, which is flushed every few megabytes as it is written
    std::unique_ptr<EarlyFlush> flush_;
    bool failed_ = false;
    int error_ = 0;
};

} // namespace wavesave

#endif
