// The stand-in reader library's thread, handles, messages and log.
#include "CRdxLibrary.h"

#include <atomic>

namespace rdxsim {

namespace {

constexpr const char* kLogContext = "sim";
// Handle values are numbers that are never reused, so a stale handle is recognised instead of dereferenced.
std::atomic<uintptr_t> g_next_handle{0x52D10010};
constexpr uintptr_t kHandleStep = 0x10;

uintptr_t key_of(rdx_handle h) {
    return reinterpret_cast<uintptr_t>(h);
}

} // namespace

CRdxLibrary::CRdxLibrary(const std::string& world_dir) {
    if (!world_dir.empty())
        m_world.emplace(world_dir);
}

CRdxLibrary::~CRdxLibrary() {
    stop();
}

void CRdxLibrary::start() {
    std::lock_guard lk(m_mutex);
    update_search_list(load_devices());
    // The thread keeps the library alive while it runs: a cleanup from inside a callback lets it go instead
    // of destroying the object under it.
    m_thread = std::thread([self = shared_from_this()] { self->run(); });
    m_thread_id = m_thread.get_id();
}

void CRdxLibrary::stop() {
    {
        std::lock_guard lk(m_mutex);
        m_stopping = true;
        for (auto& [id, h] : m_handles) {
            h->closed = true;
            h->outbox.clear();
        }
        m_log_outbox.clear();
    }
    m_wake.notify_all();
    if (!m_thread.joinable())
        return;
    if (on_library_thread())
        m_thread.detach();
    else
        m_thread.join();
}

void CRdxLibrary::run() {
    std::unique_lock lk(m_mutex);
    auto next_poll = std::chrono::steady_clock::now();
    while (!m_stopping) {
        m_wake.wait_until(lk, next_poll, [this] { return m_stopping || has_outgoing(); });
        if (m_stopping)
            break;
        if (std::chrono::steady_clock::now() >= next_poll) {
            poll_world();
            next_poll = std::chrono::steady_clock::now() + kPollPeriod;
        }
        deliver(lk);
    }
    m_handles.clear();
}

bool CRdxLibrary::has_outgoing() const {
    if (!m_log_outbox.empty())
        return true;
    for (const auto& [id, h] : m_handles)
        if (!h->outbox.empty())
            return true;
    return false;
}

// Runs the callbacks of everything posted so far without holding the library mutex, so a callback may call
// the library. Each callback runs under its handle's callback mutex, which closing the handle waits for.
void CRdxLibrary::deliver(std::unique_lock<std::mutex>& lk) {
    std::vector<std::pair<std::shared_ptr<CHandle>, message_rec>> calls;
    for (auto& [id, h] : m_handles) {
        while (!h->outbox.empty()) {
            calls.emplace_back(h, h->outbox.front());
            h->outbox.pop_front();
        }
    }
    std::vector<log_rec> logs = std::move(m_log_outbox);
    m_log_outbox.clear();
    lk.unlock();
    for (const log_rec& rec : logs) {
        std::lock_guard running(m_log_callback_mutex);
        rdx_log_callback cb;
        void* ctx;
        {
            std::lock_guard g(m_mutex);
            cb = m_stopping ? nullptr : m_log_callback;
            ctx = m_log_ctx;
        }
        if (cb)
            cb(rec.level, rec.context.c_str(), rec.text.c_str(), ctx);
    }
    for (auto& [h, rec] : calls) {
        std::lock_guard running(h->callback_mutex);
        rdx_message_callback cb;
        void* ctx;
        {
            std::lock_guard g(m_mutex);
            cb = h->closed || m_stopping ? nullptr : h->callback;
            ctx = h->callback_ctx;
        }
        if (cb)
            cb(rec.msg, rec.data(), ctx);
    }
    lk.lock();
}

void CRdxLibrary::log(int32_t level, const std::string& text) {
    if (level > m_log_level || !m_log_callback || m_stopping)
        return;
    m_log_outbox.push_back({level, kLogContext, text});
    m_wake.notify_all();
}

void CRdxLibrary::post(CHandle& h, const message_rec& rec) {
    if (h.closed)
        return;
    if (h.queue_enabled) {
        if (h.queue.size() >= CHandle::kMaxQueued)
            h.queue.pop_front();
        h.queue.push_back(rec);
    }
    if (h.callback) {
        h.outbox.push_back(rec);
        m_wake.notify_all();
    }
}

rdx_handle CRdxLibrary::add_handle(std::shared_ptr<CHandle> h) {
    const uintptr_t id = g_next_handle.fetch_add(kHandleStep);
    m_handles.emplace(id, std::move(h));
    return reinterpret_cast<rdx_handle>(id);
}

std::shared_ptr<CHandle> CRdxLibrary::find(rdx_handle h, CHandle::kind k) const {
    auto it = m_handles.find(key_of(h));
    if (it == m_handles.end() || it->second->closed || it->second->handle_kind() != k)
        return nullptr;
    return it->second;
}

CReaderHandle* CRdxLibrary::find_reader(rdx_handle h) const {
    return static_cast<CReaderHandle*>(find(h, CHandle::kind::reader).get());
}

rdx_status CRdxLibrary::set_log_callback(rdx_log_callback cb, void* ctx) {
    {
        std::lock_guard lk(m_mutex);
        m_log_callback = cb;
        m_log_ctx = ctx;
    }
    // After this returns the old callback is not running and will not run again.
    if (!on_library_thread()) {
        std::lock_guard wait(m_log_callback_mutex);
    }
    return RDX_OK;
}

rdx_status CRdxLibrary::set_log_level(int32_t level) {
    if (level < 0 || level > 4)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    m_log_level = level;
    return RDX_OK;
}

rdx_status CRdxLibrary::new_search(rdx_handle* h) {
    if (!h)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    *h = add_handle(std::make_shared<CSearchHandle>());
    log(4, "search handle opened");
    return RDX_OK;
}

rdx_status CRdxLibrary::new_reader(rdx_port_type type, const char* name, rdx_handle* h) {
    if (!h || !name || type <= RDX_PORT_NONE || type > RDX_PORT_PROXY || name[0] == '\0' ||
        std::string(name).size() >= sizeof(rdx_reader_info::port_name))
        return RDX_E_INVALID_ARG;
    auto reader = std::make_shared<CReaderHandle>(type, name);
    reader->info.port_type = type;
    std::string(name).copy(reader->info.port_name, sizeof reader->info.port_name - 1);
    reader->info.serial_number = -1;
    std::lock_guard lk(m_mutex);
    *h = add_handle(reader);
    log(4, std::string("reader handle opened on ") + name);
    return RDX_OK;
}

rdx_status CRdxLibrary::close_handle(rdx_handle h) {
    std::shared_ptr<CHandle> handle;
    {
        std::lock_guard lk(m_mutex);
        auto it = m_handles.find(key_of(h));
        if (it == m_handles.end())
            return RDX_E_INVALID_HANDLE;
        handle = std::move(it->second);
        m_handles.erase(it);
        handle->closed = true;
        handle->callback = nullptr;
        handle->outbox.clear();
    }
    // Wait for a callback of this handle that is running now; from inside that callback there is nothing to
    // wait for, and the object lives on until the callback returns.
    if (!on_library_thread()) {
        std::lock_guard wait(handle->callback_mutex);
    }
    return RDX_OK;
}

rdx_status CRdxLibrary::set_message_callback(rdx_handle h, CHandle::kind k, rdx_message_callback cb,
                                             void* ctx) {
    std::shared_ptr<CHandle> handle;
    {
        std::lock_guard lk(m_mutex);
        handle = find(h, k);
        if (!handle)
            return RDX_E_INVALID_HANDLE;
        handle->callback = cb;
        handle->callback_ctx = ctx;
        if (!cb)
            handle->outbox.clear();
    }
    if (!on_library_thread()) {
        std::lock_guard wait(handle->callback_mutex);
    }
    return RDX_OK;
}

rdx_status CRdxLibrary::enable_message_queue(rdx_handle h, CHandle::kind k, int32_t enable) {
    std::lock_guard lk(m_mutex);
    auto handle = find(h, k);
    if (!handle)
        return RDX_E_INVALID_HANDLE;
    handle->queue_enabled = enable != 0;
    if (!enable)
        handle->queue.clear();
    return RDX_OK;
}

rdx_status CRdxLibrary::get_message(rdx_handle h, CHandle::kind k, uint32_t* msg, const void** data,
                                    int32_t* found) {
    if (!found)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    auto handle = find(h, k);
    if (!handle)
        return RDX_E_INVALID_HANDLE;
    if (handle->queue.empty()) {
        *found = 0;
        if (msg)
            *msg = 0;
        if (data)
            *data = nullptr;
        return RDX_OK;
    }
    handle->taken = handle->queue.front();
    handle->queue.pop_front();
    *found = 1;
    if (msg)
        *msg = handle->taken.msg;
    if (data)
        *data = handle->taken.data();
    return RDX_OK;
}

} // namespace rdxsim
