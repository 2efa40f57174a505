#include "output_file.h"

#include <safewrite/quiet_thread.h>
#include <safewrite/safe_file.h>

#include <cerrno>
#include <memory>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace wavesave {

namespace {

// The disk starts on every 2 MB as soon as they are written.
constexpr long long write_back_step = 2ll << 20;
// And every 4 MB the file written so far is flushed, on a helper thread (see start_write_back).
constexpr long long flush_step = 4ll << 20;

} // namespace

EarlyFlush::EarlyFlush(int descriptor) : descriptor_(descriptor) {
    // The helper takes no signals: they are handled where the file's owner expects them.
    helper_ = safewrite::start_quiet_thread([this] { serve(); });
}

EarlyFlush::~EarlyFlush() {
    finish();
}

void EarlyFlush::request() {
    std::lock_guard lock(mutex_);
    requested_ = true;
    changed_.notify_all();
}

int EarlyFlush::finish() {
    if (helper_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
            changed_.notify_all();
        }
        helper_.join();
    }
    return error_;
}

void EarlyFlush::serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [&] { return requested_ || stop_; });
        if (stop_) {
            return; // the owner's own flush at the end covers whatever is left
        }
        requested_ = false;
        lock.unlock();
        const int failed = ::fdatasync(descriptor_) == 0 ? 0 : errno;
        lock.lock();
        if (failed != 0 && failed != EINVAL && failed != EROFS && error_ == 0) {
            error_ = failed;
        }
    }
}

OutputFile::OutputFile(const char* file_name) {
    if (file_name == nullptr) {
        return;
    }
    // Through the safe write: a named file is written beside its target and replaces it only when
    // complete, so a full disk leaves the earlier file; a descriptor handed over by name, a FIFO or a
    // device is written directly.
    safe_ = std::make_unique<safewrite::SafeFile>(file_name);
    if (auto failed = safe_->open()) {
        error_ = failed->error != 0 ? failed->error : EINVAL;
        safe_.reset();
        return;
    }
    const int descriptor = ::fcntl(safe_->descriptor(), F_DUPFD_CLOEXEC, 0);
    file_ = descriptor >= 0 ? ::fdopen(descriptor, "wb") : nullptr;
    if (file_ == nullptr) {
        error_ = errno;
        if (descriptor >= 0) {
            ::close(descriptor);
        }
        safe_.reset();
        return;
    }
    // A file without a name (a scratch copy on its way elsewhere) is never kept on this disk, so it
    // is not flushed early.
    struct stat status {};
    flush_early_ = ::fstat(fileno(file_), &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink > 0;
}

OutputFile::~OutputFile() {
    flush_.reset();
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void OutputFile::fail(int error) {
    if (!failed_) {
        failed_ = true;
        error_ = error;
    }
}

void OutputFile::write(std::string_view bytes) {
    if (file_ == nullptr || failed_ || bytes.empty()) {
        return;
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        fail(errno);
        return;
    }
    written_ += static_cast<long long>(bytes.size());
    start_write_back();
}

// A waveform file runs to 120 MB, and whoever keeps it flushes it to the disk when it is complete. The
// disk starts on every few megabytes as soon as they are written, so that it works while the rest is
// formatted. A started write may still wait in a cache below (a virtual machine's disk keeps it in the
// host's memory until asked to flush), so the file is also flushed every few megabytes on a helper
// thread, and the final flush waits only for the tail. Where the file is not a disk file (a pipe, say)
// these requests simply fail and are ignored.
void OutputFile::start_write_back() {
    if (written_ - written_back_ < write_back_step) {
        return;
    }
    if (std::fflush(file_) != 0) {
        fail(errno);
        return;
    }
#ifdef __linux__
    ::sync_file_range(fileno(file_), written_back_, written_ - written_back_, SYNC_FILE_RANGE_WRITE);
#endif
    written_back_ = written_;
    if (!flush_early_ || written_ - flushed_ < flush_step) {
        return;
    }
    if (!flush_) {
        try {
            flush_ = std::make_unique<EarlyFlush>(fileno(file_));
        } catch (const std::system_error&) {
            flushed_ = written_; // no helper: the final flush does it all
            return;
        }
    }
    flush_->request();
    flushed_ = written_;
}

bool OutputFile::close() {
    if (file_ == nullptr) {
        errno = error_;
        return false;
    }
    if (flush_) {
        if (const int failed = flush_->finish(); failed != 0) {
            fail(failed);
        }
        flush_.reset();
    }
    const bool closed = std::fclose(file_) == 0;
    if (!closed && error_ == 0) {
        error_ = errno;
    }
    file_ = nullptr;
    if (!closed || failed_) {
        safe_.reset(); // the temporary goes; the earlier file stays
        errno = error_;
        return false;
    }
    if (auto failed = safe_->commit()) {
        error_ = failed->error;
        errno = error_;
        return false;
    }
    return true;
}

} // namespace wavesave
