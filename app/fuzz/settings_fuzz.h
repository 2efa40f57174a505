// What the three settings-file fuzz targets share. Each input is written into a scratch program folder
// under the file's own name, and a window model starts up from that folder, reading the file exactly as
// the program does, and the chosen link's waveform is made at ratio 4 by the synthesis library (linked,
// no file written). Besides the sanitizers' checks the targets insist that a file set aside whole leaves
// the page as it was, that every sample is a finite number, and that a page read from a file is written
// out as a file that the reader takes again, every line, and that comes back as it was.
#pragma once

#include "form/silent_platform.h"
#include "window/main_form.h"
#include "window/start_up.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace varnika::fuzzing {

using form::SilentPlatform;

// One settings file under test.
struct FileUnderTest {
    const char* name;
    // The file as the page stands.
    std::function<std::vector<std::string>(MainForm&)> lines;
    // Reads the file from the form's settings folder into the form.
    std::function<bool(MainForm&)> read;
    // The start-up step that reads it.
    std::function<bool(MainForm&)> StartupSteps::*step;
    // Whether start-up needs the downlink channel table.
    bool needs_channel_table;
    // The link whose waveform is made; -1: the link the page chose.
    int link = -1;
};

// Makes the scratch folder and registers its removal at exit.
void prepare_scratch_folder();

// Writes the input as the file and starts a window model from the scratch folder with the checks above.
void start_from_input(const FileUnderTest& file, const std::uint8_t* data, std::size_t size);

} // namespace varnika::fuzzing
