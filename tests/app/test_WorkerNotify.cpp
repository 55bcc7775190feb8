// The notification set both workers share: bits from several threads collapse into one take, and a
// callback may take the bits straight away without deadlocking.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/WorkerNotify.h"

TEST(WorkerNotifierTest, BitsPostedFromManyThreadsAreTakenOnceEach) {
    CWorkerNotifier notifier;
    std::atomic<int> calls{0};
    notifier.set_callback([&] { ++calls; });
    std::vector<std::thread> threads;
    for (uint32_t bit = 0; bit < 8; ++bit)
        threads.emplace_back([&notifier, bit] {
            for (int i = 0; i < 100; ++i)
                notifier.post(1u << bit);
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(notifier.take(), 0xFFu);
    EXPECT_EQ(notifier.take(), 0u) << "taking clears the set";
    EXPECT_EQ(calls.load(), 800) << "every post wakes the window";
}

TEST(WorkerNotifierTest, TheCallbackMayTakeTheBitsItIsToldOf) {
    CWorkerNotifier notifier;
    uint32_t seen = 0;
    notifier.set_callback([&] { seen |= notifier.take(); });
    notifier.post(2);
    notifier.post(16);
    EXPECT_EQ(seen, 18u);
}
