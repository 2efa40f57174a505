// The program's two libraries, bound by name: each is loaded from the program's folder when one of its
// exports is first needed, and each export is looked up by its name. A library or export that cannot be
// found is reported in words, so that the caller can end its work cleanly and the program keeps running.
//
// A library is loaded under its SONAME (libkestra.so.N, the ABI version N), never through the development
// link libkestra.so. Before it is mapped its file is checked against its own ELF headers, so that a
// truncated or damaged copy gives a message instead of a bus error inside the loader; once loaded, the
// version it reports must have this program's major version, else it is refused and unloaded again.
#pragma once

#include <bit>
#include <filesystem>
#include <mutex>
#include <string>

namespace varnika {

// The libraries' SONAMEs: "libkestra.so.1", "libwavesave.so.1".
extern const char* const kestra_file_name;
extern const char* const wavesave_file_name;

// The folder of the running executable: settings files, temporary files and the libraries live there.
std::filesystem::path program_folder();

// Why the shared library `file` cannot be mapped safely ("" when it can, or when the file cannot be
// opened at all, which the loader then reports itself): not a regular file, not an ELF shared object, or
// shorter than its program and section headers say it is.
std::string shared_library_fault(const std::filesystem::path& file);

class LibraryBinding {
public:
    // `version_export` names the library's version export ("KESTRA_Version"), checked on loading.
    LibraryBinding(std::filesystem::path file, std::string version_export)
        : file_(std::move(file)), version_export_(std::move(version_export)) {}
    ~LibraryBinding();
    LibraryBinding(const LibraryBinding&) = delete;
    LibraryBinding& operator=(const LibraryBinding&) = delete;

    const std::filesystem::path& file() const { return file_; }

    // The export `name`; nullptr when the library cannot be loaded, is damaged, reports another major
    // version or has no such export, with `missing` then saying which. A library that failed to load is
    // tried again on the next look-up.
    void* find(const char* name, std::string& missing);
    template <class Function> Function* find(const char* name, std::string& missing) {
        return std::bit_cast<Function*>(find(name, missing));
    }

private:
    // Loads and checks the library; false with `missing` filled when it is refused.
    bool load(std::string& missing);

    std::filesystem::path file_;
    std::string version_export_;
    std::mutex loading_; // the window's background look-up and a run may bind at the same moment
    void* handle_ = nullptr;
};

struct ProgramLibraries {
    // Both libraries under their own names in `folder`.
    explicit ProgramLibraries(const std::filesystem::path& folder)
        : ProgramLibraries(folder / kestra_file_name, folder / wavesave_file_name) {}
    ProgramLibraries(std::filesystem::path kestra_file, std::filesystem::path wavesave_file)
        : kestra(std::move(kestra_file), "KESTRA_Version"),
          wavesave(std::move(wavesave_file), "WAVESAVE_Version") {}

    LibraryBinding kestra;
    LibraryBinding wavesave;
};

} // namespace varnika
