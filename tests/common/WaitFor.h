// Waiting in tests for what another thread or process does: a condition polled until it holds, up to a
// deadline generous enough for a sanitizer build on a loaded machine, so that a stuck test fails instead of
// hanging.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace test {

inline constexpr std::chrono::milliseconds kWaitDeadline{10000};

// Polls done until it holds, calling step between two looks; false when the deadline passes first.
inline bool wait_for(
    const std::function<bool()>& done, const std::function<void()>& step = [] {}) {
    const auto until = std::chrono::steady_clock::now() + kWaitDeadline;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        step();
        std::this_thread::sleep_for(std::chrono::milliseconds(1)); // a poll step, not a wait for an event
    }
    return true;
}

} // namespace test
