// The program's two libraries, bound by name: each is loaded from the program's folder when one of its
// exports is first needed, and each export is looked up by its name. A library or export that cannot be
// found is reported in words, so that the caller can end its work cleanly and the program keeps running.
#pragma once

#include <bit>
#include <filesystem>
#include <mutex>
#include <string>

namespace varnika {

inline constexpr const char* kestra_file_name = "libkestra.so";
inline constexpr const char* wavesave_file_name = "libwavesave.so";

// The folder of the running executable: settings files, temporary files and the libraries live there.
std::filesystem::path program_folder();

class LibraryBinding {
public:
    explicit LibraryBinding(std::filesystem::path file) : file_(std::move(file)) {}
    ~LibraryBinding();
    LibraryBinding(const LibraryBinding&) = delete;
    LibraryBinding& operator=(const LibraryBinding&) = delete;

    const std::filesystem::path& file() const { return file_; }

    // The export `name`; nullptr when the library cannot be loaded or has no such export, with `missing`
    // then saying which. A library that failed to load is tried again on the next look-up.
    void* find(const char* name, std::string& missing);
    template <class Function> Function* find(const char* name, std::string& missing) {
        return std::bit_cast<Function*>(find(name, missing));
    }

private:
    std::filesystem::path file_;
    std::mutex loading_; // the window's background look-up and a run may bind at the same moment
    void* handle_ = nullptr;
};

struct ProgramLibraries {
    // Both libraries under their own names in `folder`.
    explicit ProgramLibraries(const std::filesystem::path& folder)
        : ProgramLibraries(folder / kestra_file_name, folder / wavesave_file_name) {}
    ProgramLibraries(std::filesystem::path kestra_file, std::filesystem::path wavesave_file)
        : kestra(std::move(kestra_file)), wavesave(std::move(wavesave_file)) {}

    LibraryBinding kestra;
    LibraryBinding wavesave;
};

} // namespace varnika
