// Shared pieces of the stand-in reader library tests: a temporary world folder named by RDX_SIM_DIR for the
// length of a test, a library initialisation owner, a message recorder fed by the library's callbacks, and
// waiting for a condition with a generous deadline instead of sleeping.
#pragma once
#include "common/TestFiles.h"
#include "common/WaitFor.h"
#include "rdx.h"
#include "sim/rdxworld/CWorld.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace rdxtest {

constexpr uint32_t kApiVersion = 0x010103C0;
constexpr uint64_t kTransportKey = 0xFFFFFFFFFFFFull;
constexpr const char* kReaderPort = "desk1";

using test::wait_for;

// A fresh world folder, named by RDX_SIM_DIR while it exists.
class CTempWorld {
public:
    CTempWorld() : m_dir(m_scope.path().string()) {
        m_world.emplace(m_dir);
        m_world->create();
    }

    const rdxworld::CWorld& world() const { return *m_world; }
    const std::string& dir() const { return m_dir; }

    // A Mifare reader of model 2 on a COM port, empty.
    void add_reader(const std::string& name = kReaderPort, int model = 2) const {
        rdxworld::world_device d;
        d.port_type = RDX_PORT_COM;
        d.port_name = name;
        d.model = model;
        d.serial = 4242;
        d.firmware = 0x01020300;
        m_world->create_reader(name);
        m_world->add_device(d);
    }
    std::string add_card(rdxworld::mf_size size, std::vector<uint8_t> uid) const {
        rdxworld::CMifareCard card(size, std::move(uid));
        m_world->save_card(card);
        return card.uid_text();
    }
    void put(const std::string& uid, const std::string& reader = kReaderPort) const {
        m_world->set_card_on_reader(reader, uid);
    }
    void take(const std::string& reader = kReaderPort) const { m_world->set_card_on_reader(reader, ""); }

private:
    test::CSimWorldDir m_scope;
    std::string m_dir;
    std::optional<rdxworld::CWorld> m_world;
};

// One owner's rdx_init / rdx_cleanup.
class CLibraryOwner {
public:
    CLibraryOwner() { m_status = rdx_init(kApiVersion); }
    ~CLibraryOwner() {
        if (m_status == RDX_OK)
            rdx_cleanup();
    }
    CLibraryOwner(const CLibraryOwner&) = delete;
    CLibraryOwner& operator=(const CLibraryOwner&) = delete;
    rdx_status status() const { return m_status; }

private:
    rdx_status m_status;
};

// Records what the library's message callback delivers, with the thread it came on.
class CRecorder {
public:
    struct entry {
        uint32_t msg;
        int32_t status;
        rdx_card_info card;
        std::thread::id thread;
    };

    static void callback(uint32_t msg, const void* data, void* ctx) {
        auto* self = static_cast<CRecorder*>(ctx);
        entry e{msg, 0, {}, std::this_thread::get_id()};
        if (msg == RDX_MSG_READER_CONNECTION && data)
            e.status = *static_cast<const int32_t*>(data);
        if (msg == RDX_MSG_READER_CARD && data)
            e.card = *static_cast<const rdx_card_info*>(data);
        std::lock_guard lk(self->m_mutex);
        self->m_entries.push_back(e);
    }

    std::vector<entry> entries() const {
        std::lock_guard lk(m_mutex);
        return m_entries;
    }
    size_t count(uint32_t msg) const {
        std::lock_guard lk(m_mutex);
        size_t n = 0;
        for (const auto& e : m_entries)
            n += e.msg == msg;
        return n;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<entry> m_entries;
};

inline std::string uid_hex(const rdx_card_uid& uid) {
    std::string s;
    char b[3];
    for (int i = uid.length - 1; i >= 0; --i) {
        std::snprintf(b, sizeof b, "%02X", uid.bytes[i]);
        s += b;
    }
    return s;
}

// A reader handle opened, connected (blocking) and scanning, closed at the end.
class COpenReader {
public:
    explicit COpenReader(const std::string& port = kReaderPort) {
        EXPECT_EQ(rdx_get_reader(RDX_PORT_COM, port.c_str(), &m_h), RDX_OK);
    }
    ~COpenReader() {
        if (m_h)
            rdx_close_handle(m_h);
    }
    COpenReader(const COpenReader&) = delete;
    COpenReader& operator=(const COpenReader&) = delete;
    rdx_handle get() const { return m_h; }

    bool auth(uint32_t block, uint64_t key) const {
        int32_t ok = -1;
        EXPECT_EQ(rdx_reader_load_mf_ckey(m_h, &key), RDX_OK);
        EXPECT_EQ(rdx_reader_auth_mf_card(m_h, block, 0, &ok), RDX_OK);
        return ok != 0;
    }

private:
    rdx_handle m_h = nullptr;
};

} // namespace rdxtest
