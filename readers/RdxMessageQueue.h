// The reader library's message queues as the main thread reads them. The library serialises its calls:
// while it works a card for the Mifare worker or re-reads its device list, a call from the main thread waits
// for it. A handle's message callback raises a flag (on a library thread, where it must not call the
// library); the main thread reads the queue only when it takes the flag, so a main loop woken for anything
// else never waits on a library that has nothing to report.
#pragma once

#include <atomic>

#include "rdx.h"

namespace rdx {

class CMessageFlag {
public:
    // Called by the message callback after the library has queued the message.
    void raise() noexcept { m_raised.store(true, std::memory_order_release); }
    // True once per raise (or run of raises): the caller then reads the queue to its end. A message queued
    // while it reads raises the flag again and is taken at the next turn at the latest.
    bool take() noexcept { return m_raised.exchange(false, std::memory_order_acq_rel); }

private:
    std::atomic<bool> m_raised{false};
};

// Reads the search's queue to its end if `flag` has been raised since the last read. list_changed tells
// whether one of the messages said the device list changed. A failing read stops there and is tried again
// at the next call; its status is returned (RDX_OK otherwise).
rdx_status take_search_messages(rdx_handle search, CMessageFlag& flag, bool& list_changed);

} // namespace rdx
