#include "run/library_binding.h"

#include "run/installation.h"

#include <varnika_version.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <system_error>
#include <vector>

namespace varnika {

const char* const kestra_file_name = "libkestra.so." VARNIKA_KESTRA_SOVERSION;
const char* const wavesave_file_name = "libwavesave.so." VARNIKA_WAVESAVE_SOVERSION;

namespace {

class ReadOnlyFile {
public:
    // Non-blocking, so that a FIFO put in a library's place cannot hold the program.
    explicit ReadOnlyFile(const std::filesystem::path& file)
        : fd_(::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~ReadOnlyFile() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    int fd() const { return fd_; }
    bool read_at(void* into, std::size_t size, std::uint64_t offset) const {
        return ::pread(fd_, into, size, static_cast<off_t>(offset)) == static_cast<ssize_t>(size);
    }

private:
    int fd_;
};

// Whether [offset, offset + size) lies within a file of `length` bytes, without overflow.
bool within(std::uint64_t offset, std::uint64_t size, std::uint64_t length) {
    return offset <= length && size <= length - offset;
}

std::string truncated(std::uint64_t length, std::uint64_t needed) {
    return "is damaged: it holds " + std::to_string(length) + " bytes where its headers describe at least " +
           std::to_string(needed) + " (a truncated copy?)";
}

} // namespace

std::filesystem::path program_folder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error);
    }
    return executable.parent_path();
}

std::string shared_library_fault(const std::filesystem::path& file) {
    const ReadOnlyFile in(file);
    if (in.fd() < 0) {
        return "";
    }
    struct stat status {};
    if (::fstat(in.fd(), &status) != 0) {
        return "";
    }
    if (!S_ISREG(status.st_mode)) {
        return "is not a regular file";
    }
    const auto length = static_cast<std::uint64_t>(status.st_size);
    ElfW(Ehdr) header{};
    if (!in.read_at(&header, sizeof header, 0)) {
        return "is too short to be a shared library (" + std::to_string(length) + " bytes)";
    }
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0) {
        return "is not a shared library (it has no ELF header)";
    }
    // A library of another word size or machine: the loader says which, without mapping anything.
    constexpr unsigned char own_class = sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32;
    if (header.e_ident[EI_CLASS] != own_class || header.e_phentsize != sizeof(ElfW(Phdr))) {
        return "";
    }
    if (header.e_type != ET_DYN) {
        return "is not a shared library (ELF type " + std::to_string(header.e_type) + ")";
    }
    const std::uint64_t table = std::uint64_t{header.e_phnum} * sizeof(ElfW(Phdr));
    if (!within(header.e_phoff, table, length)) {
        return truncated(length, header.e_phoff + table);
    }
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    if (!in.read_at(segments.data(), table, header.e_phoff)) {
        return truncated(length, header.e_phoff + table);
    }
    for (const ElfW(Phdr) & segment : segments) {
        if (!within(segment.p_offset, segment.p_filesz, length)) {
            return truncated(length, segment.p_offset + segment.p_filesz);
        }
    }
    // The section headers come last in the file: a copy cut short loses them first.
    const std::uint64_t sections = std::uint64_t{header.e_shnum} * header.e_shentsize;
    if (header.e_shoff != 0 && !within(header.e_shoff, sections, length)) {
        return truncated(length, header.e_shoff + sections);
    }
    return "";
}

LibraryBinding::~LibraryBinding() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

bool LibraryBinding::load(std::string& missing) {
    const std::string named =
        "The library " + file_.filename().string() + " in " + file_.parent_path().string();
    if (const std::string fault = shared_library_fault(file_); !fault.empty()) {
        missing = named + " " + fault + ".";
        return false;
    }
    handle_ = dlopen(file_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char* reason = dlerror();
        missing = "The library " + file_.filename().string() + " cannot be loaded from " +
                  file_.parent_path().string() + (reason != nullptr ? std::string(" (") + reason + ")" : "") +
                  ".";
        return false;
    }
    dlerror();
    auto* version = std::bit_cast<std::int32_t (*)()>(dlsym(handle_, version_export_.c_str()));
    std::string refusal;
    if (version == nullptr) {
        refusal = named + " has no export " + version_export_ + ": it is not a library this program can use.";
    } else if (const std::int32_t number = version(); number / 10000 != VARNIKA_VERSION_MAJOR) {
        refusal = named + " is version " + version_number_text(number) +
                  "; this program is version " VARNIKA_VERSION
                  " and works only with a library of major version " +
                  std::to_string(VARNIKA_VERSION_MAJOR) + ".";
    }
    if (!refusal.empty()) {
        dlclose(handle_);
        handle_ = nullptr;
        missing = refusal;
        return false;
    }
    return true;
}

void* LibraryBinding::find(const char* name, std::string& missing) {
    const std::lock_guard lock(loading_);
    if (handle_ == nullptr && !load(missing)) {
        return nullptr;
    }
    dlerror();
    void* address = dlsym(handle_, name);
    if (address == nullptr) {
        missing = "The library " + file_.filename().string() + " has no export " + name + ".";
    }
    return address;
}

} // namespace varnika
