// wavesave: waveform files for the AWG, floating-point text files, crest factor and PAPR,
// a configuration-file reader and writer, and host-name / address look-up.
//
// Plain C interface over caller-owned memory. Every export returns an int32 status, 0 for success;
// no exception ever leaves the library. File names are 8-bit zero-terminated strings.
#ifndef WAVESAVE_WAVESAVE_H
#define WAVESAVE_WAVESAVE_H

#include <stddef.h>
#include <stdint.h>

#if defined(WAVESAVE_BUILDING)
#define WAVESAVE_API __attribute__((visibility("default")))
#else
#define WAVESAVE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Status codes. */
#define WAVESAVE_OK 0
#define WAVESAVE_CANNOT_CREATE 6 /* the output file could not be created (or not completely written) */
#define WAVESAVE_CANNOT_OPEN 5   /* the configuration file could not be opened */
#define WAVESAVE_WRONG_HEADER 4  /* the first line is not the header of the requested link */
#define WAVESAVE_BAD_LINE 3      /* a later line is missing, has no ':' or is too long */
#define WAVESAVE_EMPTY 1         /* the configuration file is empty */
#define WAVESAVE_LOOKUP_FAILED 1 /* the host name or address could not be resolved */

/* Size of the caller's result buffer of the two look-up exports, terminating zero included. */
#define WAVESAVE_HOST_TEXT_BYTES 256

/* One complex sample: I first, then Q (16 bytes). The same type, with the same layout, is the
   sample of the synthesis library; whichever header comes first defines it. */
#if !defined(VARNIKA_IQ_SAMPLE_DEFINED) && !defined(KESTRA_KESTRA_H)
#define VARNIKA_IQ_SAMPLE_DEFINED
typedef struct IqSample {
    double i;
    double q;
} IqSample;
#endif

#pragma pack(push, 1)

/* Common output settings of one link (52 bytes). */
typedef struct ConfigLinkBlock {
    double freq_error;
    double if_conversion;
    int16_t filter_type;
    int16_t filter_len;
    int16_t over_sample;
    int16_t signal_length;
    int16_t iq_inverse;
    int16_t freq_offset_type;
    int16_t marker1_sw;
    uint8_t unused0[2];
    int32_t marker1_st;
    int32_t marker1_hi;
    int16_t marker2_sw;
    uint8_t unused1[2];
    int32_t marker2_st;
    int32_t marker2_hi;
} ConfigLinkBlock;

/* State and multiplicity of one channel type (4 bytes). */
typedef struct ConfigChannelType {
    int16_t state;
    int16_t multiples;
} ConfigChannelType;

/* One uplink channel (28 bytes). */
typedef struct UlConfigChannel {
    double power;
    int16_t type;
    int16_t rate;
    int16_t no;
    int16_t iq;
    int16_t data;
    uint8_t unused0[2];
    int32_t seed;
    int16_t stat;
    uint8_t unused1[2];
} UlConfigChannel;

/* One downlink channel (32 bytes). */
typedef struct DlConfigChannel {
    double power;
    int16_t type;
    int16_t rate;
    int16_t no;
    int16_t timing;
    int16_t data;
    uint8_t unused0[2];
    int32_t seed;
    int16_t mod;
    int16_t orth;
    int16_t stat;
    uint8_t unused1[2];
} DlConfigChannel;

#define WAVESAVE_UL_CHANNEL_TYPES 3
#define WAVESAVE_UL_CHANNELS 8
#define WAVESAVE_DL_CHANNEL_TYPES 8
#define WAVESAVE_DL_CHANNELS 153

/* Both links of one generator set-up (5630 bytes). A configuration file holds one link. */
typedef struct ConfigRecord {
    ConfigLinkBlock dl_common;
    ConfigLinkBlock ul_common;
    double ul_sample_rate;
    ConfigChannelType ul_channel_types[WAVESAVE_UL_CHANNEL_TYPES];
    UlConfigChannel ul_channels[WAVESAVE_UL_CHANNELS];
    int16_t ul_channel_index[WAVESAVE_UL_CHANNELS];
    int32_t ul_scrambling_no;
    int32_t ul_data_num;
    int16_t ul_total_multiples;
    uint8_t unused0[2];
    double dl_sample_rate;
    ConfigChannelType dl_channel_types[WAVESAVE_DL_CHANNEL_TYPES];
    DlConfigChannel dl_channels[WAVESAVE_DL_CHANNELS];
    int16_t dl_channel_index[WAVESAVE_DL_CHANNELS];
    uint8_t unused1[2];
    int32_t dl_scrambling_no;
    int32_t dl_data_num;
    int16_t dl_total_multiples;
} ConfigRecord;

#pragma pack(pop)

/* Crest factors of I and Q alone and the peak-to-average power ratio of I + jQ, all in dB, over
   `count` samples. A component that is zero throughout gives 0 dB. Always returns 0. */
WAVESAVE_API int32_t CalcCrestFactor(const IqSample* samples, int32_t count, double* crest_i_db,
                                     double* crest_q_db, double* papr_db);

/* Writes an AWG waveform file: a header of brace lines, then `sample_count` samples as 14-bit
   offset-binary words (I, Q; 32-bit little-endian) scaled to the buffer's peak, then `pad_count`
   mid-scale samples. A marker is written when its enable is > 0 and its mode is 1 (positive) or
   2 (negative). Returns 0, or 6 when the file could not be created or written. */
WAVESAVE_API int32_t save_AWG_data_file(const char* file_name, const IqSample* samples, double crest_i_db,
                                        double crest_q_db, double papr_db, double sampling_freq_hz,
                                        int32_t sample_count, int32_t pad_count, int32_t marker1_enable,
                                        int32_t marker1_start, int32_t marker1_high, int32_t marker1_tail,
                                        int32_t marker1_mode, int32_t marker2_enable, int32_t marker2_start,
                                        int32_t marker2_high, int32_t marker2_tail, int32_t marker2_mode);

/* Writes one line "I,Q" per sample, each value "%0.14E" with a three-digit exponent, lines ended by
   CR LF. Returns 0, or 6 when the file could not be created or written. */
WAVESAVE_API int32_t save_ASCII_data_file(const char* file_name, const IqSample* samples,
                                          int32_t sample_count);

/* Writes the uplink part of `config` when the low 16 bits of `link` are 1, the downlink part otherwise.
   Returns 0, or 6 when the file could not be created or written. */
WAVESAVE_API int32_t save_Config(const char* file_name, const ConfigRecord* config, int32_t link);

/* Fills the chosen link's fields of `config` from a file written by save_Config; other bytes are left
   alone, and fields read before a failure stay filled. Returns 0, 5 (cannot open), 1 (empty),
   4 (wrong header) or 3 (a line missing, without ':' or too long). */
WAVESAVE_API int32_t load_Config(const char* file_name, ConfigRecord* config, int32_t link);

/* Reverse look-up of a dotted IPv4 address. On success writes the host name (cut to 255 bytes) and a
   terminating zero into `host_name` (256 bytes) and returns 0; otherwise returns 1 and leaves it alone. */
WAVESAVE_API int32_t Get_Host_Name(const char* host_address, char* host_name);

/* Forward look-up of a host name. On success writes its first IPv4 address as "%d.%d.%d.%d" and a
   terminating zero into `address_text` (256 bytes) and returns 0; otherwise returns 1 and leaves it alone. */
WAVESAVE_API int32_t Get_IP_Address(const char* host_name, char* address_text);

/* The library's version as one number: major * 10000 + minor * 100 + patch (version 1.2.3 gives 10203).
   wavesave, kestra and the Varnika programs share one version. */
WAVESAVE_API int32_t WAVESAVE_Version(void);

#ifdef __cplusplus
} /* extern "C" */

static_assert(sizeof(IqSample) == 16 && offsetof(IqSample, i) == 0 && offsetof(IqSample, q) == 8);

static_assert(sizeof(ConfigLinkBlock) == 52);
static_assert(offsetof(ConfigLinkBlock, freq_error) == 0 && offsetof(ConfigLinkBlock, if_conversion) == 8);
static_assert(offsetof(ConfigLinkBlock, filter_type) == 16 && offsetof(ConfigLinkBlock, filter_len) == 18);
static_assert(offsetof(ConfigLinkBlock, over_sample) == 20 && offsetof(ConfigLinkBlock, signal_length) == 22);
static_assert(offsetof(ConfigLinkBlock, iq_inverse) == 24 &&
              offsetof(ConfigLinkBlock, freq_offset_type) == 26);
static_assert(offsetof(ConfigLinkBlock, marker1_sw) == 28 && offsetof(ConfigLinkBlock, unused0) == 30);
static_assert(offsetof(ConfigLinkBlock, marker1_st) == 32 && offsetof(ConfigLinkBlock, marker1_hi) == 36);
static_assert(offsetof(ConfigLinkBlock, marker2_sw) == 40 && offsetof(ConfigLinkBlock, unused1) == 42);
static_assert(offsetof(ConfigLinkBlock, marker2_st) == 44 && offsetof(ConfigLinkBlock, marker2_hi) == 48);

static_assert(sizeof(ConfigChannelType) == 4);
static_assert(offsetof(ConfigChannelType, state) == 0 && offsetof(ConfigChannelType, multiples) == 2);

static_assert(sizeof(UlConfigChannel) == 28);
static_assert(offsetof(UlConfigChannel, power) == 0 && offsetof(UlConfigChannel, type) == 8);
static_assert(offsetof(UlConfigChannel, rate) == 10 && offsetof(UlConfigChannel, no) == 12);
static_assert(offsetof(UlConfigChannel, iq) == 14 && offsetof(UlConfigChannel, data) == 16);
static_assert(offsetof(UlConfigChannel, unused0) == 18 && offsetof(UlConfigChannel, seed) == 20);
static_assert(offsetof(UlConfigChannel, stat) == 24 && offsetof(UlConfigChannel, unused1) == 26);

static_assert(sizeof(DlConfigChannel) == 32);
static_assert(offsetof(DlConfigChannel, power) == 0 && offsetof(DlConfigChannel, type) == 8);
static_assert(offsetof(DlConfigChannel, rate) == 10 && offsetof(DlConfigChannel, no) == 12);
static_assert(offsetof(DlConfigChannel, timing) == 14 && offsetof(DlConfigChannel, data) == 16);
static_assert(offsetof(DlConfigChannel, unused0) == 18 && offsetof(DlConfigChannel, seed) == 20);
static_assert(offsetof(DlConfigChannel, mod) == 24 && offsetof(DlConfigChannel, orth) == 26);
static_assert(offsetof(DlConfigChannel, stat) == 28 && offsetof(DlConfigChannel, unused1) == 30);

static_assert(sizeof(ConfigRecord) == 5630);
static_assert(offsetof(ConfigRecord, dl_common) == 0 && offsetof(ConfigRecord, ul_common) == 52);
static_assert(offsetof(ConfigRecord, ul_sample_rate) == 104 &&
              offsetof(ConfigRecord, ul_channel_types) == 112);
static_assert(offsetof(ConfigRecord, ul_channels) == 124 && offsetof(ConfigRecord, ul_channel_index) == 348);
static_assert(offsetof(ConfigRecord, ul_scrambling_no) == 364 && offsetof(ConfigRecord, ul_data_num) == 368);
static_assert(offsetof(ConfigRecord, ul_total_multiples) == 372 && offsetof(ConfigRecord, unused0) == 374);
static_assert(offsetof(ConfigRecord, dl_sample_rate) == 376 &&
              offsetof(ConfigRecord, dl_channel_types) == 384);
static_assert(offsetof(ConfigRecord, dl_channels) == 416 && offsetof(ConfigRecord, dl_channel_index) == 5312);
static_assert(offsetof(ConfigRecord, unused1) == 5618 && offsetof(ConfigRecord, dl_scrambling_no) == 5620);
static_assert(offsetof(ConfigRecord, dl_data_num) == 5624 &&
              offsetof(ConfigRecord, dl_total_multiples) == 5628);
#endif

#endif /* WAVESAVE_WAVESAVE_H */
