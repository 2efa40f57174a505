// A private temporary folder for a test, a benchmark or a fuzz target: made under an unguessable name and
// removed, with everything in it, when it goes out of scope.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace varnika::testing {

class TemporaryFolder {
public:
    // Throws when no folder can be made.
    explicit TemporaryFolder(const std::string& prefix = "varnika-test");
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    std::string read(const std::string& name) const;
    void write(const std::string& name, const std::string& bytes) const;
    bool holds(const std::string& name) const { return std::filesystem::exists(path_ / name); }
    // The names of everything in the folder.
    std::vector<std::string> names() const;

private:
    std::filesystem::path path_;
};

std::string file_text(const std::filesystem::path& file);
void write_file(const std::filesystem::path& file, const std::string& bytes);

} // namespace varnika::testing
