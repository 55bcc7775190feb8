/* The reader library's C interface: device search, reader connection, Mifare Classic access, Temic tags and
 * logging. Every call returns an rdx_status; 0 is success. */
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(RDX_BUILDING_LIBRARY)
#define RDX_API __attribute__((visibility("default")))
#else
#define RDX_API
#endif

typedef int32_t rdx_status;
typedef void* rdx_handle;

enum {
    RDX_OK = 0,
    RDX_E_FAIL = 1,
    RDX_E_NOT_INITIALIZED = 2,
    RDX_E_INVALID_ARG = 3,
    RDX_E_INVALID_HANDLE = 4,
    RDX_E_NOT_CONNECTED = 5,
    RDX_E_NO_CARD = 6,
    RDX_E_AUTH = 7,
    RDX_E_NOT_AUTHENTICATED = 8,
    RDX_E_READ_ONLY = 9,
    RDX_E_OUT_OF_RANGE = 10,
    RDX_E_PORT_NOT_FOUND = 11,
    RDX_E_NOT_SUPPORTED = 12,
    RDX_E_BAD_VERSION = 13,
    RDX_E_TIMEOUT = 14,
    RDX_E_ACCESS_DENIED = 15,
    RDX_E_BAD_ACCESS_BITS = 16,
};

typedef enum rdx_port_type {
    RDX_PORT_NONE = 0,
    RDX_PORT_COM = 1,
    RDX_PORT_CCID = 2,
    RDX_PORT_SERVER = 3,
    RDX_PORT_CLIENT = 4,
    RDX_PORT_PROXY = 5,
} rdx_port_type;

/* Device models, 0 = none. 4 and 5 are programming adapters; 2, 3 and 12 desktop Mifare readers; 8, 9 and 11
 * other Mifare-capable readers; 1 and 4 can write Temic tags. */
typedef int32_t rdx_reader_model;
enum { RDX_MODEL_NONE = 0, RDX_MODEL_COUNT = 13 };

/* Card types as the library reports them. */
typedef enum rdx_card_type {
    RDX_CARD_NONE = 0,
    RDX_CARD_EM_MARINE = 1,
    RDX_CARD_HID = 2,
    RDX_CARD_ICODE = 3,
    RDX_CARD_COD433 = 4,
    RDX_CARD_COD433_FIX = 5,
    RDX_CARD_CAME = 6,
    RDX_CARD_DALLAS = 7,
    RDX_CARD_TEMIC = 8,
    RDX_CARD_MF_ULTRALIGHT = 9,
    RDX_CARD_MF_ULTRALIGHT_C = 10,
    RDX_CARD_MF_MINI = 11,
    RDX_CARD_MF_CLASSIC_1K = 12,
    RDX_CARD_MF_CLASSIC_2K = 13,
    RDX_CARD_MF_CLASSIC_4K = 14,
    RDX_CARD_MF_PLUS = 15,
    RDX_CARD_MF_PLUS_1K = 16,
    RDX_CARD_MF_PLUS_2K = 17,
    RDX_CARD_MF_PLUS_4K = 18,
    RDX_CARD_SMART_MX_1K = 19,
    RDX_CARD_SMART_MX_4K = 20,
    RDX_CARD_MF_DESFIRE = 21,
    RDX_CARD_MF_PROX = 22,
} rdx_card_type;

/* Mifare Plus security level; 0 = unknown or not a Mifare Plus card. */
typedef int32_t rdx_mf_plus_sl;

/* A card number: a length byte (0-15, 0 = no card) and 15 bytes, least significant first. */
typedef struct rdx_card_uid {
    uint8_t length;
    uint8_t bytes[15];
} rdx_card_uid;

typedef struct rdx_reader_info {
    rdx_port_type port_type;
    char port_name[64];
    rdx_reader_model model;
    int32_t serial_number;     /* -1 = none */
    uint32_t firmware_version; /* 0 = none */
    int64_t time;
} rdx_reader_info;

typedef struct rdx_card_info {
    rdx_card_type type;
    rdx_card_uid uid;
    uint32_t memory_size;
    rdx_mf_plus_sl sl;
} rdx_card_info;

/* First word: which kinds of device the search looks for. */
enum {
    RDX_SEARCH_USB = 0x01,
    RDX_SEARCH_SERVER = 0x04,
    RDX_SEARCH_CLIENT = 0x08,
    RDX_SEARCH_CCID = 0x10,
};
typedef struct rdx_search_options {
    uint32_t flags;
    uint32_t reserved[7];
} rdx_search_options;

/* Messages: reader 1 = connection changed (data points to the new int32_t status), 2 = card changed (data
 * points to an rdx_card_info; UID length 0 = the card was taken off); search 3 = device list changed (data is
 * null). The callback runs on the library's own thread; data is valid while it runs. A message fetched from
 * the queue keeps its data valid until the next fetch from that handle or its closing. After rdx_close_handle
 * or the last rdx_cleanup returns, no callback of that handle runs any more. */
enum {
    RDX_MSG_READER_CONNECTION = 1,
    RDX_MSG_READER_CARD = 2,
    RDX_MSG_SEARCH_LIST = 3,
};

/* Connection status. */
enum { RDX_DISCONNECTED = 0, RDX_CONNECTED = 1, RDX_CONNECTING = 2 };

typedef void (*rdx_log_callback)(int32_t level, const char* context, const char* message, void* ctx);
typedef void (*rdx_message_callback)(uint32_t msg, const void* data, void* ctx);

RDX_API rdx_status rdx_init(uint32_t version);
RDX_API rdx_status rdx_cleanup(void);
RDX_API const char* rdx_get_error_text(rdx_status status);
RDX_API rdx_status rdx_set_log_callback(rdx_log_callback cb, void* ctx);
RDX_API rdx_status rdx_set_log_level(int32_t level);

RDX_API rdx_status rdx_get_search(rdx_handle* h);
RDX_API rdx_status rdx_get_reader(rdx_port_type port_type, const char* port_name, rdx_handle* h);
RDX_API rdx_status rdx_close_handle(rdx_handle h);

RDX_API rdx_status rdx_search_set_message_callback(rdx_handle h, rdx_message_callback cb, void* ctx);
RDX_API rdx_status rdx_search_enable_message_queue(rdx_handle h, int32_t enable);
RDX_API rdx_status rdx_search_get_message(rdx_handle h, uint32_t* msg, const void** data, int32_t* found);
RDX_API rdx_status rdx_search_get_options(rdx_handle h, rdx_search_options* opt);
RDX_API rdx_status rdx_search_set_options(rdx_handle h, const rdx_search_options* opt);
RDX_API rdx_status rdx_search_set_listen_ports(rdx_handle h, const uint16_t* ports, uint32_t count);
RDX_API rdx_status rdx_search_set_auto_scan(rdx_handle h, int32_t enable, uint32_t flags);
RDX_API rdx_status rdx_search_get_reader_count(rdx_handle h, uint32_t* count);
RDX_API rdx_status rdx_search_get_reader_info(rdx_handle h, uint32_t index, rdx_reader_info* info);

RDX_API rdx_status rdx_reader_set_message_callback(rdx_handle h, rdx_message_callback cb, void* ctx);
RDX_API rdx_status rdx_reader_enable_message_queue(rdx_handle h, int32_t enable);
RDX_API rdx_status rdx_reader_get_message(rdx_handle h, uint32_t* msg, const void** data, int32_t* found);
RDX_API rdx_status rdx_reader_set_auto_scan(rdx_handle h, int32_t enable, uint32_t flags);
RDX_API rdx_status rdx_reader_get_info(rdx_handle h, rdx_reader_info* info);
RDX_API rdx_status rdx_reader_begin_connect(rdx_handle h, uint32_t flags, rdx_handle* cmd);
RDX_API rdx_status rdx_reader_connect(rdx_handle h, uint32_t flags);
RDX_API rdx_status rdx_reader_get_connection_status(rdx_handle h, int32_t* status);
RDX_API rdx_status rdx_reader_get_card_info(rdx_handle h, rdx_card_info* ci);
/* Mifare Classic: the key's low 6 bytes are the key, key byte 0 (the trailer's byte 0) in the least
 * significant byte. Authentication of any block opens its sector (key_type 0 = key A, 1 = key B); it returns
 * RDX_OK with *ok = 0 when the key is wrong. Reading and writing move count 16-byte blocks from block on, all
 * inside the sector opened last on the card still on the reader, as the sector's access conditions allow; key
 * A reads back as zeros, key B as zeros unless the access bits make it readable; block 0 is read-only; a
 * trailer whose access bits do not match their complements is refused. Only Mifare reader models (2, 3, 8,
 * 9, 11, 12) take these calls. */
RDX_API rdx_status rdx_reader_load_mf_ckey(rdx_handle h, const uint64_t* key);
RDX_API rdx_status rdx_reader_auth_mf_card(rdx_handle h, uint32_t block, uint32_t key_type, int32_t* ok);
RDX_API rdx_status rdx_reader_read_mf_classic(rdx_handle h, uint32_t block, void* buf, uint32_t count,
                                              uint32_t flags);
RDX_API rdx_status rdx_reader_write_mf_classic(rdx_handle h, uint32_t block, const void* buf, uint32_t count,
                                               uint32_t flags);

/* Temic (T5557) block words: a word's bytes in memory are the block's bytes in the order the tag sends them
 * (the configuration block 00 08 80 48 is the word 0x48800800). The Em-Marine encoder fills 3 words (block 0
 * configuration, blocks 1-2) from the number's first 5 bytes; the HID encoder fills 4 words (block 0, blocks
 * 1-3) for a 26-bit H10301 number (bytes 0-1 card number, byte 2 facility). */
RDX_API rdx_status rdx_encode_temic_emmarine(const rdx_card_uid* number, uint32_t* words, uint32_t count);
RDX_API rdx_status rdx_encode_temic_hid(const rdx_card_uid* number, uint32_t* words, uint32_t count,
                                        uint32_t bit_count);
RDX_API rdx_status rdx_reader_write_temic(rdx_handle h, uint32_t first_block, const uint32_t* words,
                                          uint32_t count, uint32_t password_mode, uint32_t mode,
                                          uint32_t password);
RDX_API rdx_status rdx_reader_reset_temic(rdx_handle h, int32_t mode);

#ifdef __cplusplus
}
#endif
