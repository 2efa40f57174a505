// libFuzzer target for the system_def.ini reader, through start-up (settings_fuzz.h). The channel table is
// built, since the file may choose the downlink, whose waveform is then made.
#include "settings_fuzz.h"
#include "window/settings_files.h"

using namespace varnika;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzing::prepare_scratch_folder();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzzing::FileUnderTest file{system_file_name,
                                             [](MainForm& form) { return system_settings_lines(form.model); },
                                             read_system_settings, &StartupSteps::read_system_settings, true};
    fuzzing::start_from_input(file, data, size);
    return 0;
}
