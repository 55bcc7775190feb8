#include "keys/CKeyRowBuilder.h"

namespace {

constexpr std::size_t kBatchRecords = 1024;
// The reader waits when it is this many batches ahead, so records do not pile up in memory.
constexpr std::size_t kMaxWaitingBatches = 16;

} // namespace

CKeyRowBuilder::CKeyRowBuilder(std::uint32_t count) : m_keys(count) {
    m_index.reserve(count);
    m_filling.reserve(kBatchRecords);
    CKey::object_type(); // registered here, not by two threads at once
    m_thread = std::thread(&CKeyRowBuilder::run, this);
}

CKeyRowBuilder::~CKeyRowBuilder() {
    if (m_thread.joinable()) {
        {
            std::lock_guard lock(m_mutex);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }
}

void CKeyRowBuilder::add(std::uint32_t k, key_info&& info) {
    m_filling.emplace_back(k, std::move(info));
    if (m_filling.size() == kBatchRecords)
        hand_over();
}

void CKeyRowBuilder::hand_over() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_batches.size() < kMaxWaitingBatches || m_stop; });
    m_batches.push_back(std::move(m_filling));
    lock.unlock();
    m_changed.notify_all();
    m_filling = Batch();
    m_filling.reserve(kBatchRecords);
}

void CKeyRowBuilder::finish(KeyList& keys, Index& index, Repeated& repeated) {
    if (!m_filling.empty())
        hand_over();
    {
        std::lock_guard lock(m_mutex);
        m_done = true;
    }
    m_changed.notify_all();
    m_thread.join();
    if (m_failure)
        std::rethrow_exception(m_failure);
    keys = std::move(m_keys);
    index = std::move(m_index);
    repeated = std::move(m_repeated);
}

void CKeyRowBuilder::run() {
    try {
        for (;;) {
            Batch batch;
            {
                std::unique_lock lock(m_mutex);
                m_changed.wait(lock, [this] { return !m_batches.empty() || m_done || m_stop; });
                if (m_stop || m_batches.empty())
                    return;
                batch = std::move(m_batches.front());
                m_batches.pop_front();
            }
            m_changed.notify_all();
            for (auto& [k, info] : batch) {
                const auto [at, fresh] = m_index.try_emplace(info.id);
                if (!fresh) {
                    m_repeated.emplace_back(k, std::move(info));
                    continue;
                }
                m_keys[k] = CKey::create(std::move(info));
                at->second = m_keys[k];
            }
        }
    } catch (...) {
        std::lock_guard lock(m_mutex);
        m_failure = std::current_exception();
        m_stop = true; // the reader waits no more
    }
    m_changed.notify_all();
}
