// Both libraries' version exports as a release of another major version reports them (this project's
// major version + 3, minor 2, patch 1), and nothing else: what a program finds when a newer, incompatible
// library was installed under the SONAME it loads.
#include <varnika_version.h>

#include <cstdint>

extern "C" __attribute__((visibility("default"))) std::int32_t KESTRA_Version() {
    return (VARNIKA_VERSION_MAJOR + 3) * 10000 + 2 * 100 + 1;
}

extern "C" __attribute__((visibility("default"))) std::int32_t WAVESAVE_Version() {
    return KESTRA_Version();
}
