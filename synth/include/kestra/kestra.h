// kestra: one frame (32768 chips) of cdma2000 1xEV-DV baseband I/Q per call.
//
// Plain C interface over caller-owned memory. The caller passes an oversampling ratio from
// {4, 8, 12, 16, 20, 32, 48, 64, 80}, a waveform buffer of ratio x 32768 samples, a chip buffer of
// 32768 samples and a work area of the documented size. A synthesis export returns KESTRA_OK, or a
// negative KESTRA_ERROR_* code with nothing written: a null pointer, a ratio no filter can make (so
// no buffer length can be meant), a channel list that is missing or of a negative length, or memory
// the library could not get. The lengths of the buffers themselves a pointer cannot tell.
//
// The samples are the same, byte for byte, on every processor the library runs on (x86-64 with or
// without AVX2 or AVX-512, arm64) and whatever the thread count.
#ifndef KESTRA_KESTRA_H
#define KESTRA_KESTRA_H

#include <stddef.h>
#include <stdint.h>

#if defined(KESTRA_BUILDING)
#define KESTRA_API __attribute__((visibility("default")))
#else
#define KESTRA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Chips per frame: one period of the short PN sequences (26.667 ms at 1.2288 Mcps). */
#define FRAME_CHIPS 32768
/* Chip rate in chips per second. */
#define KESTRA_CHIP_RATE_HZ 1228800.0

/* What the synthesis exports return. */
#define KESTRA_OK 0
#define KESTRA_ERROR_NULL_POINTER (-1) /* a buffer, the work area or the parameters are null */
#define KESTRA_ERROR_BAD_ARGUMENT (-2) /* a ratio no filter makes, a bad channel list or thread count */
#define KESTRA_ERROR_NO_MEMORY (-3)    /* the library could not get memory for its tables */
/* Most threads KESTRA_Set_Threads takes. */
#define KESTRA_MAX_THREADS 64

/* Smallest work area the forward-link export needs, in bytes. */
#define KESTRA_DL_WORK_BYTES 13207560
/* The work area the program allocates once and passes to every export: enough for all of them. */
#define KESTRA_WORK_BYTES 41943041

/* One complex sample: I first, then Q. The same layout is declared by the wavesave header; whichever
   header comes first defines it. */
#ifndef VARNIKA_IQ_SAMPLE_DEFINED
#define VARNIKA_IQ_SAMPLE_DEFINED
typedef struct IqSample {
    double i;
    double q;
} IqSample;
#endif

#pragma pack(push, 1)

/* Forward-link parameters (36 bytes). */
typedef struct DlParams {
    double freq_error_hz;    /* used when offset_mode = 1 */
    double if_freq_hz;       /* used when offset_mode = 2 */
    int32_t offset_mode;     /* 1 frequency error, 2 IF conversion, other: none */
    int32_t oversampling;    /* samples per chip */
    int32_t iq_inverse;      /* non-zero: exchange I and Q */
    int32_t phase_equalizer; /* 1: forward-link filter with phase equaliser */
    int32_t channel_count;   /* number of DlChannel records */
} DlParams;

/* One forward-link code channel (24 bytes). */
typedef struct DlChannel {
    double power_db;      /* power relative to the pilot, dB */
    int32_t type;         /* channel type 0..16 (F-PICH .. F-PDCH) */
    int32_t walsh_index;  /* Walsh code number, where the type uses it */
    int32_t walsh_length; /* chips per modulation symbol, where the type uses it */
    int32_t option;       /* F-FCH: 0 BPSK, 1 QPSK; F-PDCH: 0 BPSK, 1 QPSK, 2 8-PSK, 3 16-QAM */
} DlChannel;

/* Reverse-link RC3/RC4 parameters (92 bytes). Gains in dB relative to the pilot. */
typedef struct Rc34Params {
    double freq_error_hz;
    double if_freq_hz;
    double dcch_gain_db;
    double sch2_gain_db;
    double fch_gain_db;
    double sch1_gain_db;
    int32_t dcch_on;
    int32_t sch2_on;
    int32_t fch_on;
    int32_t sch1_on;
    int32_t sch2_walsh_alt;  /* 0: W4(2); non-zero: W8(6) */
    int32_t sch1_walsh_alt;  /* 0: W2(1); non-zero: W4(2) */
    int32_t sch2_repetition; /* 1, 2, 4, 8, 16 or 32 */
    int32_t sch1_repetition; /* 1, 2, 4, 8, 16 or 32 */
    int32_t oversampling;
    int32_t iq_inverse;
    int32_t offset_mode;
} Rc34Params;

/* Reverse-link RC7 parameters (188 bytes). Gains in dB relative to the pilot. */
typedef struct Rc7Params {
    double freq_error_hz;
    double if_freq_hz;
    double spich_gain_db;
    double each_gain_db;
    double pdcch_gain_db;
    double reqch_gain_db;
    double dcch_gain_db;
    double ackch_gain_db;
    double cqich_gain_db;
    double fch_gain_db;
    double sch1_gain_db;
    double sch2_gain_db;
    double pdch_gain_db;
    int32_t spich_on;
    int32_t each_on;
    int32_t pdcch_on;
    int32_t reqch_on;
    int32_t dcch_on;
    int32_t ackch_on;
    int32_t cqich_on;
    int32_t fch_on;
    int32_t sch1_on;
    int32_t sch2_on;
    int32_t pdch_on;
    int32_t sch1_walsh_alt;    /* 0: W2(1); non-zero: W4(2) */
    int32_t sch2_walsh_alt;    /* 0: W4(2); non-zero: W8(6) */
    int32_t pdch_walsh_select; /* 0: W2(1); 1: W4(2); other: both */
    int32_t sch1_repetition;
    int32_t sch2_repetition;
    int32_t cqich_on_q;      /* 0: CQICH on I; non-zero: on Q */
    int32_t pdch_modulation; /* 0 BPSK, 1 QPSK, other 8PSK */
    int32_t oversampling;
    int32_t iq_inverse;
    int32_t offset_mode;
} Rc7Params;

#pragma pack(pop)

/* Forward link: pilot plus any mix of the seventeen channel types. */
KESTRA_API int32_t KESTRA_DL_Actual(IqSample* waveform, IqSample* chip_copy, void* work,
                                    const DlParams* params, const DlChannel* channels,
                                    const double* ack_user_gains);

/* Reverse link, radio configurations 3 and 4. */
KESTRA_API int32_t KESTRA_UL_Actual_RC34(IqSample* waveform, IqSample* chip_copy, void* work,
                                         const Rc34Params* params);

/* Reverse link, radio configuration 7. */
KESTRA_API int32_t KESTRA_UL_Actual_RC7(IqSample* waveform, IqSample* chip_copy, void* work,
                                        const Rc7Params* params);

/* Reverse link, radio configurations 1 and 2: the offset-QPSK short-PN pair. */
KESTRA_API int32_t KESTRA_UL_Actual_RC12(IqSample* waveform, IqSample* chip_copy, void* work,
                                         int32_t oversampling, int32_t iq_inverse, int32_t offset_mode,
                                         double freq_error_hz, double if_freq_hz);

/* Threads the synthesis uses, the calling thread included: 1 runs everything on the caller, 0 returns
   to the default. The default is the environment variable KESTRA_THREADS (1 to 64) when set, else the
   processor cores this process may run on (its affinity mask or container cpuset, not the host's
   count), at most 16. The samples never depend on it. Returns KESTRA_OK, or KESTRA_ERROR_BAD_ARGUMENT
   (nothing changed) for a count below 0 or above KESTRA_MAX_THREADS. Takes effect from the next call;
   safe to call from any thread. */
KESTRA_API int32_t KESTRA_Set_Threads(int32_t threads);

/* Threads the next synthesis call will use (the setting, or the default it resolves to). */
KESTRA_API int32_t KESTRA_Threads(void);

/* The library's version as one number: major * 10000 + minor * 100 + patch (version 1.2.3 gives 10203).
   kestra, wavesave and the Varnika programs share one version. Unlike the synthesis exports it needs
   no buffers, so a caller can check it before allocating anything. */
KESTRA_API int32_t KESTRA_Version(void);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(IqSample) == 16 && offsetof(IqSample, q) == 8);

static_assert(sizeof(DlParams) == 36);
static_assert(offsetof(DlParams, freq_error_hz) == 0 && offsetof(DlParams, if_freq_hz) == 8);
static_assert(offsetof(DlParams, offset_mode) == 16 && offsetof(DlParams, oversampling) == 20);
static_assert(offsetof(DlParams, iq_inverse) == 24 && offsetof(DlParams, phase_equalizer) == 28);
static_assert(offsetof(DlParams, channel_count) == 32);

static_assert(sizeof(DlChannel) == 24);
static_assert(offsetof(DlChannel, power_db) == 0 && offsetof(DlChannel, type) == 8);
static_assert(offsetof(DlChannel, walsh_index) == 12 && offsetof(DlChannel, walsh_length) == 16);
static_assert(offsetof(DlChannel, option) == 20);

static_assert(sizeof(Rc34Params) == 92);
static_assert(offsetof(Rc34Params, freq_error_hz) == 0 && offsetof(Rc34Params, if_freq_hz) == 8);
static_assert(offsetof(Rc34Params, dcch_gain_db) == 16 && offsetof(Rc34Params, sch2_gain_db) == 24);
static_assert(offsetof(Rc34Params, fch_gain_db) == 32 && offsetof(Rc34Params, sch1_gain_db) == 40);
static_assert(offsetof(Rc34Params, dcch_on) == 48 && offsetof(Rc34Params, sch2_on) == 52);
static_assert(offsetof(Rc34Params, fch_on) == 56 && offsetof(Rc34Params, sch1_on) == 60);
static_assert(offsetof(Rc34Params, sch2_walsh_alt) == 64 && offsetof(Rc34Params, sch1_walsh_alt) == 68);
static_assert(offsetof(Rc34Params, sch2_repetition) == 72 && offsetof(Rc34Params, sch1_repetition) == 76);
static_assert(offsetof(Rc34Params, oversampling) == 80 && offsetof(Rc34Params, iq_inverse) == 84);
static_assert(offsetof(Rc34Params, offset_mode) == 88);

static_assert(sizeof(Rc7Params) == 188);
static_assert(offsetof(Rc7Params, freq_error_hz) == 0 && offsetof(Rc7Params, if_freq_hz) == 8);
static_assert(offsetof(Rc7Params, spich_gain_db) == 16 && offsetof(Rc7Params, each_gain_db) == 24);
static_assert(offsetof(Rc7Params, pdcch_gain_db) == 32 && offsetof(Rc7Params, reqch_gain_db) == 40);
static_assert(offsetof(Rc7Params, dcch_gain_db) == 48 && offsetof(Rc7Params, ackch_gain_db) == 56);
static_assert(offsetof(Rc7Params, cqich_gain_db) == 64 && offsetof(Rc7Params, fch_gain_db) == 72);
static_assert(offsetof(Rc7Params, sch1_gain_db) == 80 && offsetof(Rc7Params, sch2_gain_db) == 88);
static_assert(offsetof(Rc7Params, pdch_gain_db) == 96 && offsetof(Rc7Params, spich_on) == 104);
static_assert(offsetof(Rc7Params, each_on) == 108 && offsetof(Rc7Params, pdcch_on) == 112);
static_assert(offsetof(Rc7Params, reqch_on) == 116 && offsetof(Rc7Params, dcch_on) == 120);
static_assert(offsetof(Rc7Params, ackch_on) == 124 && offsetof(Rc7Params, cqich_on) == 128);
static_assert(offsetof(Rc7Params, fch_on) == 132 && offsetof(Rc7Params, sch1_on) == 136);
static_assert(offsetof(Rc7Params, sch2_on) == 140 && offsetof(Rc7Params, pdch_on) == 144);
static_assert(offsetof(Rc7Params, sch1_walsh_alt) == 148 && offsetof(Rc7Params, sch2_walsh_alt) == 152);
static_assert(offsetof(Rc7Params, pdch_walsh_select) == 156 && offsetof(Rc7Params, sch1_repetition) == 160);
static_assert(offsetof(Rc7Params, sch2_repetition) == 164 && offsetof(Rc7Params, cqich_on_q) == 168);
static_assert(offsetof(Rc7Params, pdch_modulation) == 172 && offsetof(Rc7Params, oversampling) == 176);
static_assert(offsetof(Rc7Params, iq_inverse) == 180 && offsetof(Rc7Params, offset_mode) == 184);
#endif

#endif /* KESTRA_KESTRA_H */
