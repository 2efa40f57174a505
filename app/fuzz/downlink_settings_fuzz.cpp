// libFuzzer target for the downlink_def.ini reader, through start-up with the channel table built
// (settings_fuzz.h).
#include "settings_fuzz.h"
#include "window/downlink_file.h"
#include "window/settings_files.h"

using namespace varnika;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::prepare_scratch_folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzzing::FileUnderTest file{downlink_file_name,
                                             downlink_settings_lines,
                                             load_downlink_settings,
                                             &StartupSteps::read_downlink_settings,
                                             true,
                                             downlink_item};
    fuzzing::start_from_input(file, data, size);
    return 0;
}
