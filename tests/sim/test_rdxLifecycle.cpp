// Initialisation, handles and shutdown of the stand-in reader library: owners counted, and
// closing handles or cleaning up while the library's thread delivers callbacks (run under ASan and TSan).
#include "test_rdxFixture.h"

#include <atomic>

using namespace rdxtest;

class RdxLifecycle : public ::testing::Test {
protected:
    CTempWorld world;
};

namespace {

// A callback that takes its time and counts its calls; the context must be alive whenever it runs.
struct slow_ctx {
    std::atomic<int> calls{0};
    std::atomic<bool> alive{true};
    static void cb(uint32_t, const void*, void* ctx) {
        auto* self = static_cast<slow_ctx*>(ctx);
        EXPECT_TRUE(self->alive.load());
        self->calls.fetch_add(1);
        std::this_thread::sleep_for(std::chrono::milliseconds(20)); // keeps the callback running during close
    }
};

} // namespace

TEST_F(RdxLifecycle, ClosingAHandleWaitsForItsRunningCallback) {
    world.add_reader();
    CLibraryOwner owner;
    for (int round = 0; round < 5; ++round) {
        auto ctx = std::make_unique<slow_ctx>();
        rdx_handle r = nullptr;
        ASSERT_EQ(rdx_get_reader(RDX_PORT_COM, kReaderPort, &r), RDX_OK);
        ASSERT_EQ(rdx_reader_set_message_callback(r, &slow_ctx::cb, ctx.get()), RDX_OK);
        ASSERT_EQ(rdx_reader_begin_connect(r, 0, nullptr), RDX_OK); // queues callbacks on the library thread
        ASSERT_TRUE(wait_for([&] { return ctx->calls.load() > 0; }));
        ASSERT_EQ(rdx_close_handle(r), RDX_OK);
        const int calls = ctx->calls.load();
        ctx->alive = false;
        ctx.reset(); // freed at once: any later callback would use freed memory
        EXPECT_GE(calls, 1);
    }
}

TEST_F(RdxLifecycle, CleanupWhileCallbacksArePendingStopsThem) {
    world.add_reader();
    for (int round = 0; round < 5; ++round) {
        auto ctx = std::make_unique<slow_ctx>();
        ASSERT_EQ(rdx_init(kApiVersion), RDX_OK);
        std::vector<rdx_handle> readers(4);
        for (auto& r : readers) {
            ASSERT_EQ(rdx_get_reader(RDX_PORT_COM, kReaderPort, &r), RDX_OK);
            ASSERT_EQ(rdx_reader_set_message_callback(r, &slow_ctx::cb, ctx.get()), RDX_OK);
            ASSERT_EQ(rdx_reader_begin_connect(r, 0, nullptr), RDX_OK);
        }
        if (round % 2) {
            ASSERT_TRUE(wait_for([&] { return ctx->calls.load() > 0; })); // a callback may be running now
        }
        ASSERT_EQ(rdx_cleanup(), RDX_OK);
        ctx->alive = false;
        ctx.reset();
    }
}

TEST_F(RdxLifecycle, CallbackMayCloseItsOwnHandle) {
    world.add_reader();
    CLibraryOwner owner;
    struct closer {
        rdx_handle h = nullptr;
        std::atomic<int> closed{0};
        static void cb(uint32_t, const void*, void* ctx) {
            auto* self = static_cast<closer*>(ctx);
            if (self->h && rdx_close_handle(self->h) == RDX_OK)
                self->closed.fetch_add(1);
        }
    } c;
    ASSERT_EQ(rdx_get_reader(RDX_PORT_COM, kReaderPort, &c.h), RDX_OK);
    ASSERT_EQ(rdx_reader_set_message_callback(c.h, &closer::cb, &c), RDX_OK);
    ASSERT_EQ(rdx_reader_begin_connect(c.h, 0, nullptr), RDX_OK);
    ASSERT_TRUE(wait_for([&] { return c.closed.load() == 1; }));
}

TEST_F(RdxLifecycle, ManyThreadsCallingAtOnce) {
    world.add_reader();
    const std::string uid = world.add_card(rdxworld::mf_size::k1, {1, 2, 3, 4});
    world.put(uid);
    CLibraryOwner owner;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 20; ++i) {
                COpenReader r;
                CRecorder rec;
                rdx_reader_set_message_callback(r.get(), &CRecorder::callback, &rec);
                rdx_reader_set_auto_scan(r.get(), 1, 0);
                if (rdx_reader_connect(r.get(), 0) != RDX_OK || !r.auth(4 * (t + 1), kTransportKey))
                    failures.fetch_add(1);
                rdx_handle s = nullptr;
                uint32_t n = 0;
                if (rdx_get_search(&s) != RDX_OK || rdx_search_get_reader_count(s, &n) != RDX_OK ||
                    rdx_close_handle(s) != RDX_OK)
                    failures.fetch_add(1);
                rdx_reader_set_message_callback(r.get(), nullptr, nullptr); // rec ends with this iteration
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures.load(), 0);
}

TEST_F(RdxLifecycle, CallbackMayCleanUpTheLastOwner) {
    world.add_reader();
    ASSERT_EQ(rdx_init(kApiVersion), RDX_OK);
    struct cleaner {
        std::atomic<int> done{0};
        static void cb(uint32_t, const void*, void* ctx) {
            auto* self = static_cast<cleaner*>(ctx);
            if (self->done.load() == 0 && rdx_cleanup() == RDX_OK)
                self->done.store(1);
        }
    } c;
    rdx_handle r = nullptr;
    ASSERT_EQ(rdx_get_reader(RDX_PORT_COM, kReaderPort, &r), RDX_OK);
    ASSERT_EQ(rdx_reader_set_message_callback(r, &cleaner::cb, &c), RDX_OK);
    ASSERT_EQ(rdx_reader_begin_connect(r, 0, nullptr), RDX_OK);
    ASSERT_TRUE(wait_for([&] { return c.done.load() == 1; }));
    int32_t s = 0;
    EXPECT_EQ(rdx_reader_get_connection_status(r, &s), RDX_E_NOT_INITIALIZED);
    // The library's thread ends by itself; a new initialisation starts afresh.
    ASSERT_EQ(rdx_init(kApiVersion), RDX_OK);
    EXPECT_EQ(rdx_cleanup(), RDX_OK);
}
