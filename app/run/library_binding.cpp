#include "run/library_binding.h"

#include <dlfcn.h>

#include <system_error>

namespace varnika {

std::filesystem::path program_folder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) {
        return std::filesystem::current_path(error);
    }
    return executable.parent_path();
}

LibraryBinding::~LibraryBinding() {
    if (handle_ != nullptr) {
        dlclose(handle_);
    }
}

void* LibraryBinding::find(const char* name, std::string& missing) {
    const std::lock_guard lock(loading_);
    if (handle_ == nullptr) {
        handle_ = dlopen(file_.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle_ == nullptr) {
            const char* reason = dlerror();
            missing = "The library " + file_.filename().string() + " cannot be loaded from " +
                      file_.parent_path().string() +
                      (reason != nullptr ? std::string(" (") + reason + ")" : "") + ".";
            return nullptr;
        }
    }
    dlerror();
    void* address = dlsym(handle_, name);
    if (address == nullptr) {
        missing = "The library " + file_.filename().string() + " has no export " + name + ".";
    }
    return address;
}

} // namespace varnika
