// Pending notification bits shared by a worker thread and the window.
#include "app/WorkerNotify.h"

void CWorkerNotifier::set_callback(std::function<void()> callback) {
    std::lock_guard lock(m_mutex);
    m_callback = std::move(callback);
}

void CWorkerNotifier::post(uint32_t bits) {
    std::function<void()> callback;
    {
        std::lock_guard lock(m_mutex);
        m_pending |= bits;
        callback = m_callback;
    }
    // Outside the lock: a callback that takes the bits at once (as tests do) must not deadlock.
    if (callback)
        callback();
}

uint32_t CWorkerNotifier::take() {
    std::lock_guard lock(m_mutex);
    const uint32_t bits = m_pending;
    m_pending = 0;
    return bits;
}
