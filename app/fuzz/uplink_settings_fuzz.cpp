// libFuzzer target for the uplink_def.ini reader, through start-up (settings_fuzz.h).
#include "settings_fuzz.h"
#include "window/settings_files.h"

using namespace varnika;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::prepare_scratch_folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzzing::FileUnderTest file{uplink_file_name,
                                             uplink_settings_lines,
                                             read_uplink_settings,
                                             &StartupSteps::read_uplink_settings,
                                             false,
                                             uplink_item};
    fuzzing::start_from_input(file, data, size);
    return 0;
}
