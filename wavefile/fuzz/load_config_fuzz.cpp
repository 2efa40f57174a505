// libFuzzer target for the configuration-file reader. Each input is written to a scratch file and
// read back as an uplink and as a downlink file. Besides the sanitizers' checks, the target insists
// that a read returns one of the documented codes and never touches the other link's bytes.
#include "wavesave/wavesave.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <unistd.h>

namespace {

const std::string& scratch_file() {
    static const std::string name = [] {
        const char* folder = std::getenv("TMPDIR");
        std::string pattern =
            std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/wavesave-fuzz-XXXXXX";
        const int fd = mkstemp(pattern.data());
        if (fd < 0) {
            std::perror("mkstemp");
            std::abort();
        }
        close(fd);
        return pattern;
    }();
    return name;
}

void remove_scratch_file() {
    std::remove(scratch_file().c_str());
}

struct ByteRange {
    std::size_t begin;
    std::size_t end;
};

// Checks that the bytes of `ranges` still hold `pattern`.
void require_untouched(const ConfigRecord& record, unsigned char pattern,
                       std::initializer_list<ByteRange> ranges) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    for (const ByteRange& range : ranges) {
        for (std::size_t n = range.begin; n < range.end; ++n) {
            if (bytes[n] != pattern) {
                std::fprintf(stderr, "load_Config wrote byte %zu outside the link it reads\n", n);
                std::abort();
            }
        }
    }
}

void require_documented(int32_t result) {
    if (result != 0 && result != 1 && result != 3 && result != 4 && result != 5) {
        std::fprintf(stderr, "load_Config returned undocumented code %d\n", static_cast<int>(result));
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    scratch_file();
    std::atexit(remove_scratch_file);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    std::FILE* out = std::fopen(scratch_file().c_str(), "wb");
    if (out == nullptr) {
        std::abort();
    }
    if (size > 0 && std::fwrite(data, 1, size, out) != size) {
        std::abort();
    }
    std::fclose(out);

    constexpr unsigned char pattern = 0xa5;
    ConfigRecord record;

    std::memset(&record, pattern, sizeof record);
    require_documented(load_Config(scratch_file().c_str(), &record, 1));
    require_untouched(
        record, pattern,
        {{0, offsetof(ConfigRecord, ul_common)}, {offsetof(ConfigRecord, unused0), sizeof record}});

    std::memset(&record, pattern, sizeof record);
    require_documented(load_Config(scratch_file().c_str(), &record, 0));
    require_untouched(record, pattern,
                      {{offsetof(ConfigRecord, ul_common), offsetof(ConfigRecord, dl_sample_rate)},
                       {offsetof(ConfigRecord, unused1), offsetof(ConfigRecord, dl_scrambling_no)}});
    return 0;
}
