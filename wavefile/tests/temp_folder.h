// A private temporary folder per test, removed with everything in it when the test ends.
#ifndef WAVESAVE_TESTS_TEMP_FOLDER_H
#define WAVESAVE_TESTS_TEMP_FOLDER_H

#include "temporary_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class TempFolderTest : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (folder_ / name).string(); }

    static std::string read_all(const std::string& file) { return varnika::testing::file_text(file); }
    static void write_all(const std::string& file, const std::string& bytes) {
        varnika::testing::write_file(file, bytes);
    }

    varnika::testing::TemporaryFolder folder_{"wavesave-test"};
};

#endif
