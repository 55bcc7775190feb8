// The exported rdx_ calls of the stand-in reader library: initialisation counted per owner, and each call
// passed to the library object of the current initialisation.
#include "CRdxLibrary.h"
#include "rdx.h"

#include "sim/rdxworld/T57Codec.h"

#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

constexpr uint32_t kApiMajor = 1;

std::mutex g_mutex;
std::shared_ptr<rdxsim::CRdxLibrary> g_library;
uint32_t g_init_count = 0;

std::shared_ptr<rdxsim::CRdxLibrary> library() {
    std::lock_guard lk(g_mutex);
    return g_library;
}

using kind = rdxsim::CHandle::kind;

} // namespace

#define RDX_WITH_LIBRARY(call)                                                                               \
    do {                                                                                                     \
        auto lib = library();                                                                                \
        if (!lib)                                                                                            \
            return RDX_E_NOT_INITIALIZED;                                                                    \
        return lib->call;                                                                                    \
    } while (0)

extern "C" {

RDX_API rdx_status rdx_init(uint32_t version) {
    if ((version >> 24) != kApiMajor)
        return RDX_E_BAD_VERSION;
    std::lock_guard lk(g_mutex);
    if (g_init_count == 0) {
        const char* dir = std::getenv("RDX_SIM_DIR");
        g_library = std::make_shared<rdxsim::CRdxLibrary>(dir ? dir : "");
        g_library->start();
    }
    ++g_init_count;
    return RDX_OK;
}

RDX_API rdx_status rdx_cleanup(void) {
    std::shared_ptr<rdxsim::CRdxLibrary> ending;
    {
        std::lock_guard lk(g_mutex);
        if (g_init_count == 0)
            return RDX_E_NOT_INITIALIZED;
        if (--g_init_count == 0)
            ending = std::move(g_library);
    }
    if (ending)
        ending->stop();
    return RDX_OK;
}

RDX_API rdx_status rdx_set_log_callback(rdx_log_callback cb, void* ctx) {
    RDX_WITH_LIBRARY(set_log_callback(cb, ctx));
}

RDX_API rdx_status rdx_set_log_level(int32_t level) {
    RDX_WITH_LIBRARY(set_log_level(level));
}

RDX_API rdx_status rdx_get_search(rdx_handle* h) {
    RDX_WITH_LIBRARY(new_search(h));
}

RDX_API rdx_status rdx_get_reader(rdx_port_type port_type, const char* port_name, rdx_handle* h) {
    RDX_WITH_LIBRARY(new_reader(port_type, port_name, h));
}

RDX_API rdx_status rdx_close_handle(rdx_handle h) {
    RDX_WITH_LIBRARY(close_handle(h));
}

RDX_API rdx_status rdx_search_set_message_callback(rdx_handle h, rdx_message_callback cb, void* ctx) {
    RDX_WITH_LIBRARY(set_message_callback(h, kind::search, cb, ctx));
}

RDX_API rdx_status rdx_search_enable_message_queue(rdx_handle h, int32_t enable) {
    RDX_WITH_LIBRARY(enable_message_queue(h, kind::search, enable));
}

RDX_API rdx_status rdx_search_get_message(rdx_handle h, uint32_t* msg, const void** data, int32_t* found) {
    RDX_WITH_LIBRARY(get_message(h, kind::search, msg, data, found));
}

RDX_API rdx_status rdx_search_get_options(rdx_handle h, rdx_search_options* opt) {
    RDX_WITH_LIBRARY(search_get_options(h, opt));
}

RDX_API rdx_status rdx_search_set_options(rdx_handle h, const rdx_search_options* opt) {
    RDX_WITH_LIBRARY(search_set_options(h, opt));
}

RDX_API rdx_status rdx_search_set_listen_ports(rdx_handle h, const uint16_t* ports, uint32_t count) {
    RDX_WITH_LIBRARY(search_set_listen_ports(h, ports, count));
}

RDX_API rdx_status rdx_search_set_auto_scan(rdx_handle h, int32_t enable, uint32_t /*flags*/) {
    RDX_WITH_LIBRARY(search_set_auto_scan(h, enable));
}

RDX_API rdx_status rdx_search_get_reader_count(rdx_handle h, uint32_t* count) {
    RDX_WITH_LIBRARY(search_get_reader_count(h, count));
}

RDX_API rdx_status rdx_search_get_reader_info(rdx_handle h, uint32_t index, rdx_reader_info* info) {
    RDX_WITH_LIBRARY(search_get_reader_info(h, index, info));
}

RDX_API rdx_status rdx_reader_set_message_callback(rdx_handle h, rdx_message_callback cb, void* ctx) {
    RDX_WITH_LIBRARY(set_message_callback(h, kind::reader, cb, ctx));
}

RDX_API rdx_status rdx_reader_enable_message_queue(rdx_handle h, int32_t enable) {
    RDX_WITH_LIBRARY(enable_message_queue(h, kind::reader, enable));
}

RDX_API rdx_status rdx_reader_get_message(rdx_handle h, uint32_t* msg, const void** data, int32_t* found) {
    RDX_WITH_LIBRARY(get_message(h, kind::reader, msg, data, found));
}

RDX_API rdx_status rdx_reader_set_auto_scan(rdx_handle h, int32_t enable, uint32_t /*flags*/) {
    RDX_WITH_LIBRARY(reader_set_auto_scan(h, enable));
}

RDX_API rdx_status rdx_reader_get_info(rdx_handle h, rdx_reader_info* info) {
    RDX_WITH_LIBRARY(reader_get_info(h, info));
}

RDX_API rdx_status rdx_reader_begin_connect(rdx_handle h, uint32_t /*flags*/, rdx_handle* cmd) {
    RDX_WITH_LIBRARY(reader_begin_connect(h, cmd));
}

RDX_API rdx_status rdx_reader_connect(rdx_handle h, uint32_t /*flags*/) {
    RDX_WITH_LIBRARY(reader_connect(h));
}

RDX_API rdx_status rdx_reader_get_connection_status(rdx_handle h, int32_t* status) {
    RDX_WITH_LIBRARY(reader_get_connection_status(h, status));
}

RDX_API rdx_status rdx_reader_get_card_info(rdx_handle h, rdx_card_info* ci) {
    RDX_WITH_LIBRARY(reader_get_card_info(h, ci));
}

RDX_API rdx_status rdx_reader_load_mf_ckey(rdx_handle h, const uint64_t* key) {
    RDX_WITH_LIBRARY(reader_load_mf_ckey(h, key));
}

RDX_API rdx_status rdx_reader_auth_mf_card(rdx_handle h, uint32_t block, uint32_t key_type, int32_t* ok) {
    RDX_WITH_LIBRARY(reader_auth_mf_card(h, block, key_type, ok));
}

RDX_API rdx_status rdx_reader_read_mf_classic(rdx_handle h, uint32_t block, void* buf, uint32_t count,
                                              uint32_t /*flags*/) {
    RDX_WITH_LIBRARY(reader_read_mf_classic(h, block, buf, count));
}

RDX_API rdx_status rdx_reader_write_mf_classic(rdx_handle h, uint32_t block, const void* buf, uint32_t count,
                                               uint32_t /*flags*/) {
    RDX_WITH_LIBRARY(reader_write_mf_classic(h, block, buf, count));
}

RDX_API rdx_status rdx_reader_write_temic(rdx_handle h, uint32_t first_block, const uint32_t* words,
                                          uint32_t count, uint32_t /*password_mode*/, uint32_t mode,
                                          uint32_t /*password*/) {
    RDX_WITH_LIBRARY(reader_write_temic(h, first_block, words, count, mode));
}

RDX_API rdx_status rdx_reader_reset_temic(rdx_handle h, int32_t /*mode*/) {
    RDX_WITH_LIBRARY(reader_reset_temic(h));
}

// The encoders need no initialisation: they only compute block words.
RDX_API rdx_status rdx_encode_temic_emmarine(const rdx_card_uid* number, uint32_t* words, uint32_t count) {
    if (!number || !words || count < 3 || number->length > sizeof number->bytes)
        return RDX_E_INVALID_ARG;
    uint64_t value = 0;
    for (unsigned i = 0; i < number->length; ++i) {
        if (i >= 5 && number->bytes[i] != 0)
            return RDX_E_OUT_OF_RANGE; // more than the 40 bits a card carries
        if (i < 5)
            value |= static_cast<uint64_t>(number->bytes[i]) << (8 * i);
    }
    const auto blocks = rdxworld::T57_EmMarineBlocks(value);
    for (size_t i = 0; i < blocks.size(); ++i)
        words[i] = rdxworld::T57_BlockToWord(blocks[i]);
    return RDX_OK;
}

RDX_API rdx_status rdx_encode_temic_hid(const rdx_card_uid* number, uint32_t* words, uint32_t count,
                                        uint32_t bit_count) {
    constexpr uint32_t kH10301Bits = 26;
    if (!number || !words || count < 4 || number->length > sizeof number->bytes)
        return RDX_E_INVALID_ARG;
    if (bit_count != kH10301Bits)
        return RDX_E_NOT_SUPPORTED;
    uint32_t value = 0;
    for (unsigned i = 0; i < number->length; ++i) {
        if (i >= 3 && number->bytes[i] != 0)
            return RDX_E_OUT_OF_RANGE; // facility code and card number are all a 26-bit card carries
        if (i < 3)
            value |= static_cast<uint32_t>(number->bytes[i]) << (8 * i);
    }
    const auto blocks = rdxworld::T57_HidBlocks(value);
    for (size_t i = 0; i < blocks.size(); ++i)
        words[i] = rdxworld::T57_BlockToWord(blocks[i]);
    return RDX_OK;
}

RDX_API const char* rdx_get_error_text(rdx_status status) {
    switch (status) {
    case RDX_OK:
        return "Success";
    case RDX_E_FAIL:
        return "The operation failed";
    case RDX_E_NOT_INITIALIZED:
        return "The reader library is not initialised";
    case RDX_E_INVALID_ARG:
        return "Invalid argument";
    case RDX_E_INVALID_HANDLE:
        return "Invalid handle";
    case RDX_E_NOT_CONNECTED:
        return "The reader is not connected";
    case RDX_E_NO_CARD:
        return "No card on the reader";
    case RDX_E_AUTH:
        return "Authentication failed";
    case RDX_E_NOT_AUTHENTICATED:
        return "The sector is not authenticated";
    case RDX_E_READ_ONLY:
        return "The block is read-only";
    case RDX_E_OUT_OF_RANGE:
        return "Value out of range";
    case RDX_E_PORT_NOT_FOUND:
        return "The device was not found on this port";
    case RDX_E_NOT_SUPPORTED:
        return "Not supported by this reader";
    case RDX_E_BAD_VERSION:
        return "Unsupported library interface version";
    case RDX_E_TIMEOUT:
        return "The device did not answer in time";
    case RDX_E_ACCESS_DENIED:
        return "The sector's access conditions do not allow this";
    case RDX_E_BAD_ACCESS_BITS:
        return "The access bits do not match their complements";
    default:
        return "Unknown error";
    }
}

} // extern "C"
