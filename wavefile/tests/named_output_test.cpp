// The file-name writers called by any program with a plain name: the new file replaces the earlier one
// only when complete (a full disk keeps the earlier file whole), a link is written through, and a FIFO
// is written to, never replaced.
#include "wavesave/wavesave.h"

#include "temp_folder.h"

#include <sys/mount.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

class NamedOutput : public TempFolderTest {
protected:
    NamedOutput() : samples(262144, IqSample{0.5, -0.25}) {}
    int32_t awg(const std::string& name) const {
        return save_AWG_data_file(name.c_str(), samples.data(), 0, 0, 0, 1e7,
                                  static_cast<int32_t>(samples.size()), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0);
    }
    int32_t ascii(const std::string& name) const {
        return save_ASCII_data_file(name.c_str(), samples.data(), static_cast<int32_t>(samples.size()));
    }
    std::vector<std::string> names() const {
        std::vector<std::string> found = folder_.names();
        std::sort(found.begin(), found.end());
        return found;
    }

    std::vector<IqSample> samples;
};

TEST_F(NamedOutput, AFullDiskKeepsTheEarlierFileWhole) {
    const fs::path small = path("small");
    fs::create_directory(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=1m") != 0) {
        GTEST_SKIP() << "cannot mount a small file system here (needs root)";
    }
    for (const bool text : {false, true}) {
        SCOPED_TRACE(text);
        write_all((small / "kept").string(), "earlier good file");
        EXPECT_EQ(text ? ascii((small / "kept").string()) : awg((small / "kept").string()),
                  WAVESAVE_CANNOT_CREATE);
        EXPECT_EQ(read_all((small / "kept").string()), "earlier good file");
        EXPECT_EQ(std::distance(fs::directory_iterator(small), fs::directory_iterator()), 1)
            << "a temporary stayed";
    }
    umount2(small.c_str(), MNT_DETACH);
}

TEST_F(NamedOutput, LinksAreWrittenThroughAndFifosStreamedTo) {
    fs::create_directory(path("real"));
    fs::create_symlink("real/wave.awv", path("link.awv"));
    ASSERT_EQ(awg(path("link.awv")), WAVESAVE_OK);
    ASSERT_EQ(awg(path("direct.awv")), WAVESAVE_OK);
    EXPECT_TRUE(fs::is_symlink(path("link.awv")));
    EXPECT_EQ(fs::file_size(path("real/wave.awv")), fs::file_size(path("direct.awv")));

    ASSERT_EQ(mkfifo(path("pipe.txt").c_str(), 0600), 0);
    std::string streamed;
    std::thread reader([&] { streamed = read_all(path("pipe.txt")); });
    EXPECT_EQ(ascii(path("pipe.txt")), WAVESAVE_OK);
    reader.join();
    ASSERT_EQ(ascii(path("plain.txt")), WAVESAVE_OK);
    EXPECT_TRUE(streamed == read_all(path("plain.txt")));
    EXPECT_TRUE(fs::is_fifo(path("pipe.txt")));

    // A folder is refused, and stays.
    fs::create_directory(path("folder"));
    EXPECT_EQ(ascii(path("folder")), WAVESAVE_CANNOT_CREATE);
    EXPECT_TRUE(fs::is_directory(path("folder")));
    EXPECT_EQ(names(), (std::vector<std::string>{"direct.awv", "folder", "link.awv", "pipe.txt", "plain.txt",
                                                 "real"}));
}

} // namespace
