// What the two worker threads (adapter and Mifare) tell the window, in one vocabulary: their connection
// state, and a pending set of notification bits with a callback that wakes the window's main loop.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

enum ConnectionStatus : int32_t {
    CONNECTION_DISCONNECTED = 0,
    CONNECTION_CONNECTED = 1,
    CONNECTION_CONNECTING = 2,
};

// The pending notification bits of one worker. The worker posts bits after it has stored what they announce;
// the window takes and clears them all at once on its own thread and then reads the worker's getters.
class CWorkerNotifier {
public:
    // The callback runs on the posting thread after the bits are stored; it must only wake the main loop.
    void set_callback(std::function<void()> callback);
    // Ors bits into the pending set, then calls the callback outside the lock.
    void post(uint32_t bits);
    // The pending bits, cleared.
    uint32_t take();

private:
    std::mutex m_mutex;
    uint32_t m_pending = 0;           // guarded
    std::function<void()> m_callback; // guarded
};
