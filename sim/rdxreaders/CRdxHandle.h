// Handles of the stand-in reader library: what every handle shares (message callback and queue) and what a
// search or a reader handle adds. All fields are guarded by the library mutex except callback_mutex.
#pragma once
#include "rdx.h"

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

namespace rdxsim {

// One message as queued: the message number and the record its data pointer shows.
struct message_rec {
    uint32_t msg = 0;
    int32_t status = 0;   // message 1: the new connection status
    rdx_card_info card{}; // message 2: the card now on the reader (UID length 0 = none)
    const void* data() const {
        if (msg == RDX_MSG_READER_CONNECTION)
            return &status;
        if (msg == RDX_MSG_READER_CARD)
            return &card;
        return nullptr;
    }
};

class CHandle {
public:
    enum class kind { search, reader, command };
    static constexpr size_t kMaxQueued = 1024; // an undrained queue drops its oldest messages beyond this

    explicit CHandle(kind k) : m_kind(k) {}
    virtual ~CHandle() = default;
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;

    kind handle_kind() const { return m_kind; }

    rdx_message_callback callback = nullptr;
    void* callback_ctx = nullptr;
    bool queue_enabled = false;
    std::deque<message_rec> queue;
    message_rec taken;              // the last fetched message; its data stays valid until the next fetch
    std::deque<message_rec> outbox; // waiting for the callback on the library thread
    bool closed = false;
    // Held while the callback runs, so closing the handle can wait until no callback uses its context.
    std::mutex callback_mutex;

private:
    const kind m_kind;
};

class CSearchHandle : public CHandle {
public:
    CSearchHandle() : CHandle(kind::search) {}
    bool auto_scan = false;
};

class CReaderHandle : public CHandle {
public:
    CReaderHandle(rdx_port_type type, std::string name)
        : CHandle(kind::reader), port_type(type), port_name(std::move(name)) {}

    const rdx_port_type port_type;
    const std::string port_name;

    int32_t status = RDX_DISCONNECTED;
    bool want_connection = false; // a connect was asked for: come back when the device returns (auto scan)
    bool connect_pending = false; // a background connect waits for the library thread
    bool device_lost = false;     // lost by a fault: back only when a connect is asked for again
    rdx_reader_info info{};
    bool auto_scan = false;
    std::string reported_card; // UID text of the card in the last card message, "" = none

    bool key_loaded = false;
    uint64_t key = 0;
    std::string auth_uid; // the card and sector the last successful authentication opened
    int64_t auth_sector = -1;
    int auth_key_type = 0;
};

} // namespace rdxsim
