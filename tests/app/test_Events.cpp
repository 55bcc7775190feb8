// Wake-up events on real eventfd descriptors, with a real worker thread waiting in poll (this suite also
// runs under ThreadSanitizer).
#include <gtest/gtest.h>

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

#include "app/Events.h"

namespace {
constexpr int kDeadlineMs = 10000;

// Closes the descriptor when the test ends.
struct EventFd {
    explicit EventFd(bool signalled) : fd(create_event(signalled)) {}
    ~EventFd() {
        if (fd >= 0)
            close(fd);
    }
    int fd;
};

bool is_signalled(int fd) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, 0) == 1 && (p.revents & POLLIN) != 0;
}
} // namespace

class EventsTest : public ::testing::Test {};

TEST_F(EventsTest, CreatedSignalledOrNot) {
    EventFd on(true);
    EventFd off(false);
    ASSERT_GE(on.fd, 0);
    ASSERT_GE(off.fd, 0);
    EXPECT_TRUE(is_signalled(on.fd));
    EXPECT_FALSE(is_signalled(off.fd));
}

TEST_F(EventsTest, TwoSetsCollapseIntoOneWakeUp) {
    EventFd ev(false);
    EXPECT_TRUE(set_event(ev.fd));
    EXPECT_TRUE(set_event(ev.fd));
    EXPECT_TRUE(is_signalled(ev.fd));
    EXPECT_TRUE(reset_event(ev.fd));
    EXPECT_FALSE(is_signalled(ev.fd));
}

TEST_F(EventsTest, WorkerWaitingInPollIsWokenBySet) {
    EventFd ev(false);
    std::atomic<bool> waiting{false};
    std::atomic<int> wake_ups{0};
    std::thread worker([&] {
        waiting = true;
        pollfd p{ev.fd, POLLIN, 0};
        if (poll(&p, 1, kDeadlineMs) == 1 && (p.revents & POLLIN) && reset_event(ev.fd))
            ++wake_ups;
    });
    while (!waiting)
        std::this_thread::yield();
    EXPECT_TRUE(set_event(ev.fd));
    worker.join();
    EXPECT_EQ(wake_ups, 1);
    EXPECT_FALSE(is_signalled(ev.fd));
}
