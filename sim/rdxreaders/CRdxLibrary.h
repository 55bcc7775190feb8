// The stand-in reader library's state: its handles, the device search, the simulated world it reads, and its
// own thread, which polls the world and delivers every callback (message and log callbacks run nowhere else).
#pragma once
#include "CRdxHandle.h"
#include "rdx.h"
#include "sim/rdxworld/CWorld.h"

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace rdxsim {

class CRdxLibrary : public std::enable_shared_from_this<CRdxLibrary> {
public:
    static constexpr std::chrono::milliseconds kPollPeriod{100};
    static constexpr uint32_t kDefaultSearchFlags =
        RDX_SEARCH_USB | RDX_SEARCH_SERVER | RDX_SEARCH_CLIENT | RDX_SEARCH_CCID;
    static constexpr uint32_t kMaxListenPorts = 16;

    // world_dir empty: no world, the search finds nothing.
    explicit CRdxLibrary(const std::string& world_dir);
    ~CRdxLibrary();
    CRdxLibrary(const CRdxLibrary&) = delete;
    CRdxLibrary& operator=(const CRdxLibrary&) = delete;

    void start();
    // Ends the thread after the callback now running; pending callbacks are dropped. Called on the library's
    // own thread (from a callback), the thread is let go and ends by itself.
    void stop();

    // Library-wide calls.
    rdx_status set_log_callback(rdx_log_callback cb, void* ctx);
    rdx_status set_log_level(int32_t level);
    rdx_status new_search(rdx_handle* h);
    rdx_status new_reader(rdx_port_type type, const char* name, rdx_handle* h);
    rdx_status close_handle(rdx_handle h);

    // Every handle.
    rdx_status set_message_callback(rdx_handle h, CHandle::kind k, rdx_message_callback cb, void* ctx);
    rdx_status enable_message_queue(rdx_handle h, CHandle::kind k, int32_t enable);
    rdx_status get_message(rdx_handle h, CHandle::kind k, uint32_t* msg, const void** data, int32_t* found);

    // Search.
    rdx_status search_get_options(rdx_handle h, rdx_search_options* opt);
    rdx_status search_set_options(rdx_handle h, const rdx_search_options* opt);
    rdx_status search_set_listen_ports(rdx_handle h, const uint16_t* ports, uint32_t count);
    rdx_status search_set_auto_scan(rdx_handle h, int32_t enable);
    rdx_status search_get_reader_count(rdx_handle h, uint32_t* count);
    rdx_status search_get_reader_info(rdx_handle h, uint32_t index, rdx_reader_info* info);

    // Reader.
    rdx_status reader_set_auto_scan(rdx_handle h, int32_t enable);
    rdx_status reader_get_info(rdx_handle h, rdx_reader_info* info);
    rdx_status reader_begin_connect(rdx_handle h, rdx_handle* cmd);
    rdx_status reader_connect(rdx_handle h);
    rdx_status reader_get_connection_status(rdx_handle h, int32_t* status);
    rdx_status reader_get_card_info(rdx_handle h, rdx_card_info* ci);
    rdx_status reader_load_mf_ckey(rdx_handle h, const uint64_t* key);
    rdx_status reader_auth_mf_card(rdx_handle h, uint32_t block, uint32_t key_type, int32_t* ok);
    rdx_status reader_read_mf_classic(rdx_handle h, uint32_t block, void* buf, uint32_t count);
    rdx_status reader_write_mf_classic(rdx_handle h, uint32_t block, const void* buf, uint32_t count);
    rdx_status reader_write_temic(rdx_handle h, uint32_t first_block, const uint32_t* words, uint32_t count,
                                  uint32_t mode);
    rdx_status reader_reset_temic(rdx_handle h);

private:
    struct log_rec {
        int32_t level;
        std::string context;
        std::string text;
    };
    struct search_entry {
        rdxworld::world_device device;
        int64_t time; // when the search first saw it
    };

    // Library thread (CRdxLibrary.cpp).
    void run();
    void deliver(std::unique_lock<std::mutex>& lk);
    bool has_outgoing() const;
    bool on_library_thread() const { return std::this_thread::get_id() == m_thread_id; }

    // Helpers called with m_mutex held.
    void log(int32_t level, const std::string& text);
    void post(CHandle& h, const message_rec& rec);
    rdx_handle add_handle(std::shared_ptr<CHandle> h);
    std::shared_ptr<CHandle> find(rdx_handle h, CHandle::kind k) const;
    CReaderHandle* find_reader(rdx_handle h) const;

    // Search (CRdxLibrarySearch.cpp), m_mutex held.
    std::vector<rdxworld::world_device> load_devices() const;
    bool search_finds(const rdxworld::world_device& d) const;
    void update_search_list(const std::vector<rdxworld::world_device>& devices);
    bool any_search_auto_scan() const;

    // Readers (CRdxLibraryReader.cpp), m_mutex held.
    void poll_world();
    void poll_reader(CReaderHandle& r, const std::vector<rdxworld::world_device>& devices);
    void set_status(CReaderHandle& r, int32_t status);
    void resolve_connection(CReaderHandle& r, const std::vector<rdxworld::world_device>& devices);
    std::optional<rdxworld::CMifareCard> card_on(const CReaderHandle& r) const;
    static rdx_card_info card_info_of(const std::optional<rdxworld::CMifareCard>& card);
    rdx_status check_card_session(CReaderHandle& r, uint32_t block, uint32_t count,
                                  std::optional<rdxworld::CMifareCard>& card);
    rdx_status card_gone(CReaderHandle& r);
    static bool is_temic_writer(const CReaderHandle& r);
    static bool is_mifare_reader(const CReaderHandle& r);
    // Faults armed in the world for this reader (CRdxLibraryFaults.cpp): the index within the next `units`
    // operations of that kind at which the first armed fault of the kind fires, counting them off.
    std::optional<uint32_t> fault_fires(const CReaderHandle& r, const std::string& kind, uint32_t units);
    // A card call that the lose-device fault ends: the reader drops its connection and stays down.
    bool device_lost_now(CReaderHandle& r);
    rdx_status check_mifare_call(CReaderHandle& r);

    std::optional<rdxworld::CWorld> m_world;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
    std::thread::id m_thread_id;

    std::map<uintptr_t, std::shared_ptr<CHandle>> m_handles;

    rdx_log_callback m_log_callback = nullptr;
    void* m_log_ctx = nullptr;
    int32_t m_log_level = 0;
    std::vector<log_rec> m_log_outbox;
    std::mutex m_log_callback_mutex; // held while the log callback runs

    uint32_t m_search_flags = kDefaultSearchFlags;
    std::vector<uint16_t> m_listen_ports;
    std::vector<search_entry> m_search_list;
};

} // namespace rdxsim
