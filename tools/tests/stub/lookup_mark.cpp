// A wavesave that only answers its version and whose host look-ups leave a mark: the file named by
// VARNIKA_LOOKUP_MARK is made on every look-up, which then fails. A test sees by it whether a program
// looked the tester up.
#include <varnika_version.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>

namespace {

std::int32_t leave_mark() {
    if (const char* mark = std::getenv("VARNIKA_LOOKUP_MARK")) {
        std::ofstream(mark) << "looked up\n";
    }
    return 1; // the look-up failed
}

} // namespace

extern "C" __attribute__((visibility("default"))) std::int32_t WAVESAVE_Version() {
    return VARNIKA_VERSION_NUMBER;
}

extern "C" __attribute__((visibility("default"))) std::int32_t Get_Host_Name(const char*, char*) {
    return leave_mark();
}

extern "C" __attribute__((visibility("default"))) std::int32_t Get_IP_Address(const char*, char*) {
    return leave_mark();
}
