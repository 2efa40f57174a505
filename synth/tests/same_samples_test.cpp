// The same samples everywhere: every kernel variant this processor runs, every thread count and two
// exports at once give the bytes recorded below. The digests were taken on x86-64 (AVX2 with FMA);
// the arm64 cross build runs this same test under emulation, so a difference between the two
// architectures fails it too. Also: every export refuses null buffers and arguments it cannot meet.
//
// Digest recipe: 64-bit FNV-1a over the waveform's bytes, then the chip copy's bytes.
#include "fft.h"
#include "forward_link.h"
#include "interpolation.h"
#include "worker_pool.h"

#include "kestra/kestra.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

uint64_t fnv1a(const void* data, size_t size, uint64_t hash = 0xcbf29ce484222325ULL) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t k = 0; k < size; ++k) {
        hash = (hash ^ bytes[k]) * 0x100000001b3ULL;
    }
    return hash;
}

struct Frame {
    std::vector<IqSample> waveform;
    std::vector<IqSample> chips = std::vector<IqSample>(FRAME_CHIPS);
    std::unique_ptr<unsigned char[]> work = std::make_unique<unsigned char[]>(KESTRA_WORK_BYTES);
    int32_t status = -100;
    explicit Frame(int32_t ratio) : waveform(static_cast<size_t>(ratio) * FRAME_CHIPS) {}
    uint64_t digest() const {
        return fnv1a(chips.data(), chips.size() * sizeof(IqSample),
                     fnv1a(waveform.data(), waveform.size() * sizeof(IqSample)));
    }
};

struct Case {
    const char* name;
    int32_t ratio;
    std::function<int32_t(Frame&)> run;
    uint64_t digest;
};

const std::vector<double> kAckGains(kestra::kAckUserGains, -2.0);

DlParams dl_params(int32_t ratio, int32_t count) {
    DlParams p{};
    p.oversampling = ratio;
    p.channel_count = count;
    return p;
}

// The golden export cases: each export, short and long ratios, both offset stages, I/Q exchange.
const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"RC1/RC2 ratio 8", 8,
         [](Frame& f) {
             return KESTRA_UL_Actual_RC12(f.waveform.data(), f.chips.data(), f.work.get(), 8, 0, 0, 0, 0);
         },
         0x074774e3202a64a7ULL},
        {"RC1/RC2 ratio 80, frequency error, I/Q exchanged", 80,
         [](Frame& f) {
             return KESTRA_UL_Actual_RC12(f.waveform.data(), f.chips.data(), f.work.get(), 80, 1, 1, 1234.5,
                                          0);
         },
         0x457be40df1703606ULL},
        {"RC3/RC4 every channel ratio 12", 12,
         [](Frame& f) {
             Rc34Params p{};
             p.dcch_on = p.sch2_on = p.fch_on = p.sch1_on = 1;
             p.dcch_gain_db = -3.0;
             p.sch2_gain_db = 1.0;
             p.sch2_repetition = 2;
             p.sch1_repetition = 1;
             p.oversampling = 12;
             return KESTRA_UL_Actual_RC34(f.waveform.data(), f.chips.data(), f.work.get(), &p);
         },
         0xaa6a6e0dfe2e65e0ULL},
        {"RC7 every channel ratio 48, IF conversion", 48,
         [](Frame& f) {
             Rc7Params p{};
             p.spich_on = p.each_on = p.pdcch_on = p.reqch_on = p.dcch_on = p.ackch_on = 1;
             p.cqich_on = p.fch_on = p.sch1_on = p.sch2_on = p.pdch_on = 1;
             p.sch1_gain_db = 1.5;
             p.pdch_gain_db = 2.0;
             p.sch1_repetition = 1;
             p.sch2_repetition = 1;
             p.pdch_modulation = 2;
             p.oversampling = 48;
             p.offset_mode = 2;
             p.if_freq_hz = 2.5e6;
             return KESTRA_UL_Actual_RC7(f.waveform.data(), f.chips.data(), f.work.get(), &p);
         },
         0xa61e6702b37b3cb5ULL},
        {"forward link Test Model 1, phase equaliser, ratio 16", 16,
         [](Frame& f) {
             std::vector<DlChannel> tm1 = {{0.0, 0, 0, 64, 0}, {-6.3, 1, 32, 64, 0}, {-0.3, 2, 1, 64, 0}};
             for (int32_t w : {6, 17, 20, 41, 49, 58}) {
                 tm1.push_back({-3.26, kestra::kFFch, w, 64, 0});
             }
             DlParams p = dl_params(16, static_cast<int32_t>(tm1.size()));
             p.phase_equalizer = 1;
             return KESTRA_DL_Actual(f.waveform.data(), f.chips.data(), f.work.get(), &p, tm1.data(),
                                     kAckGains.data());
         },
         0xcdf7b61df320236bULL},
        {"forward link 16QAM F-PDCH, ratio 32", 32,
         [](Frame& f) {
             const std::vector<DlChannel> tm2 = {{-10.0, 0, 0, 64, 0},
                                                 {-13.0, 1, 32, 64, 0},
                                                 {-10.0, 2, 1, 64, 0},
                                                 {-2.6, kestra::kFPdch, 2, 32, 3}};
             DlParams p = dl_params(32, static_cast<int32_t>(tm2.size()));
             p.iq_inverse = 1;
             return KESTRA_DL_Actual(f.waveform.data(), f.chips.data(), f.work.get(), &p, tm2.data(),
                                     kAckGains.data());
         },
         0x50608c3a22a1de9eULL},
    };
    return all;
}

// SAME_SAMPLES_MAX_RATIO keeps the cases up to that ratio: under emulation (the arm64 cross build) the
// long ratios take many minutes each.
bool within_ratio_limit(const Case& c) {
    const char* limit = std::getenv("SAME_SAMPLES_MAX_RATIO");
    return limit == nullptr || c.ratio <= std::atoi(limit);
}

uint64_t run_case(const Case& c) {
    Frame f(c.ratio);
    EXPECT_EQ(c.run(f), KESTRA_OK) << c.name;
    return f.digest();
}

class SameSamples : public testing::Test {
protected:
    void TearDown() override {
        kestra::force_interpolation_kernel(nullptr);
        EXPECT_EQ(KESTRA_Set_Threads(0), KESTRA_OK);
    }
};

// Every variant this processor runs, forced in turn (the others are skipped and named).
TEST_F(SameSamples, EveryKernelVariantGivesTheRecordedBytes) {
    std::string skipped;
    for (const auto& kernel : kestra::interpolation_kernels()) {
        if (!kernel.available()) {
            skipped += std::string(" ") + kernel.name;
            continue;
        }
        kestra::force_interpolation_kernel(&kernel);
        for (const Case& c : cases()) {
            if (!within_ratio_limit(c)) {
                continue;
            }
            const uint64_t digest = run_case(c);
            EXPECT_EQ(digest, c.digest) << kernel.name << ", " << c.name << ": 0x" << std::hex << digest;
        }
    }
    if (!skipped.empty()) {
        std::printf("variants this processor lacks, not run:%s\n", skipped.c_str());
    }
}

// The default kernel at 1, 2 and 5 threads, set through the export.
TEST_F(SameSamples, TheThreadCountChangesNothing) {
    EXPECT_GE(KESTRA_Threads(), 1);
    EXPECT_LE(KESTRA_Threads(), 16);
    for (int32_t threads : {1, 2, 5}) {
        ASSERT_EQ(KESTRA_Set_Threads(threads), KESTRA_OK);
        EXPECT_EQ(KESTRA_Threads(), threads);
        for (size_t k : {size_t{1}, size_t{4}}) {
            const Case& c = cases()[k];
            EXPECT_EQ(run_case(c), c.digest) << threads << " threads, " << c.name;
        }
    }
    EXPECT_EQ(KESTRA_Set_Threads(-1), KESTRA_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(KESTRA_Set_Threads(KESTRA_MAX_THREADS + 1), KESTRA_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(KESTRA_Threads(), 5); // a refused count changes nothing
}

// Two exports on two threads at once, each a filter design (and so transforms) the process has not
// made yet, and transforms of two lengths at once: the same bytes as one at a time. The sanitizer
// build sees any table built or rebuilt under another thread's feet.
TEST_F(SameSamples, TwoExportsAtOnceGiveWhatEachGivesAlone) {
    const Case& dl = cases()[4];
    const Case& rc7 = cases()[3];
    uint64_t a = 0;
    uint64_t b = 0;
    std::thread other([&] { a = run_case(dl); });
    b = run_case(rc7);
    other.join();
    EXPECT_EQ(a, dl.digest);
    EXPECT_EQ(b, rc7.digest);

    auto transform = [](int32_t n) {
        std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
        for (int32_t k = 0; k < n; ++k) {
            re[static_cast<size_t>(k)] = std::sin(0.37 * k);
            im[static_cast<size_t>(k)] = std::cos(0.11 * k);
        }
        for (int pass = 0; pass < 20; ++pass) {
            EXPECT_EQ(kestra::dft_any_length(n, re.data(), im.data(), pass % 2), 0);
        }
        return fnv1a(re.data(), re.size() * sizeof(double), fnv1a(im.data(), im.size() * sizeof(double)));
    };
    const uint64_t alone_a = transform(3001);
    const uint64_t alone_b = transform(40000);
    uint64_t together_a = 0;
    std::thread first([&] { together_a = transform(3001); });
    const uint64_t together_b = transform(40000);
    first.join();
    EXPECT_EQ(together_a, alone_a);
    EXPECT_EQ(together_b, alone_b);
}

// Null buffers, a ratio no filter makes, and a bad channel list are refused before anything is
// written; the radio configuration 1/2 export used to crash on null buffers.
TEST_F(SameSamples, EveryExportRefusesNullBuffersAndImpossibleArguments) {
    Frame f(4);
    const IqSample mark{7.0, -7.0};
    std::fill(f.waveform.begin(), f.waveform.end(), mark);
    std::fill(f.chips.begin(), f.chips.end(), mark);
    IqSample* w = f.waveform.data();
    IqSample* c = f.chips.data();
    void* area = f.work.get();
    for (int32_t ratio : {4, 0, 24, 96}) {
        const int32_t want = ratio == 4 ? KESTRA_ERROR_NULL_POINTER : KESTRA_ERROR_BAD_ARGUMENT;
        EXPECT_EQ(KESTRA_UL_Actual_RC12(nullptr, c, area, ratio, 0, 0, 0, 0), KESTRA_ERROR_NULL_POINTER);
        EXPECT_EQ(KESTRA_UL_Actual_RC12(w, nullptr, area, ratio, 0, 0, 0, 0), KESTRA_ERROR_NULL_POINTER);
        EXPECT_EQ(KESTRA_UL_Actual_RC12(w, c, nullptr, ratio, 0, 0, 0, 0), KESTRA_ERROR_NULL_POINTER);
        if (ratio != 4) {
            EXPECT_EQ(KESTRA_UL_Actual_RC12(w, c, area, ratio, 0, 0, 0, 0), want) << ratio;
            Rc34Params p34{};
            p34.oversampling = ratio;
            EXPECT_EQ(KESTRA_UL_Actual_RC34(w, c, area, &p34), want) << ratio;
            Rc7Params p7{};
            p7.oversampling = ratio;
            EXPECT_EQ(KESTRA_UL_Actual_RC7(w, c, area, &p7), want) << ratio;
            const DlParams pdl = dl_params(ratio, 0);
            EXPECT_EQ(KESTRA_DL_Actual(w, c, area, &pdl, nullptr, nullptr), want) << ratio;
        }
    }
    EXPECT_EQ(KESTRA_UL_Actual_RC34(w, c, area, nullptr), KESTRA_ERROR_NULL_POINTER);
    EXPECT_EQ(KESTRA_UL_Actual_RC7(w, c, area, nullptr), KESTRA_ERROR_NULL_POINTER);
    DlParams promised = dl_params(4, 3); // three records promised, none passed
    EXPECT_EQ(KESTRA_DL_Actual(w, c, area, &promised, nullptr, nullptr), KESTRA_ERROR_BAD_ARGUMENT);
    EXPECT_EQ(KESTRA_DL_Actual(nullptr, c, area, &promised, nullptr, nullptr), KESTRA_ERROR_NULL_POINTER);
    for (const IqSample& s : f.waveform) {
        ASSERT_TRUE(s.i == mark.i && s.q == mark.q) << "a refused call wrote the waveform";
    }
    for (const IqSample& s : f.chips) {
        ASSERT_TRUE(s.i == mark.i && s.q == mark.q) << "a refused call wrote the chip copy";
    }
}

} // namespace
