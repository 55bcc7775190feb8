// Reader connections and card events of the stand-in reader library: background and blocking connects, the
// device going and coming back, and auto scan noticing cards put on and taken off, seen both through the
// message callback (on the library's thread) and through the message queue.
#include "test_rdxFixture.h"

using namespace rdxtest;
using rdxworld::mf_size;

class RdxReader : public ::testing::Test {
protected:
    void SetUp() override {
        world.add_reader();
        uid = world.add_card(mf_size::k1, {0x11, 0x22, 0x33, 0x44});
        ASSERT_EQ(owner.status(), RDX_OK);
    }

    // Opens the reader the way the program does: callback, queue, auto scan, background connect.
    void open_scanning(COpenReader& r) {
        ASSERT_EQ(rdx_reader_set_message_callback(r.get(), &CRecorder::callback, &recorder), RDX_OK);
        ASSERT_EQ(rdx_reader_enable_message_queue(r.get(), 1), RDX_OK);
        ASSERT_EQ(rdx_reader_set_auto_scan(r.get(), 1, 0), RDX_OK);
        rdx_handle cmd = nullptr;
        ASSERT_EQ(rdx_reader_begin_connect(r.get(), 0, &cmd), RDX_OK);
        ASSERT_NE(cmd, nullptr);
        EXPECT_EQ(rdx_close_handle(cmd), RDX_OK);
    }
    static int32_t status_of(rdx_handle h) {
        int32_t s = -1;
        EXPECT_EQ(rdx_reader_get_connection_status(h, &s), RDX_OK);
        return s;
    }

    CTempWorld world;
    CLibraryOwner owner;
    CRecorder recorder;
    std::string uid;
};

TEST_F(RdxReader, BackgroundConnectGoesThroughConnectingToConnected) {
    COpenReader r;
    EXPECT_EQ(status_of(r.get()), RDX_DISCONNECTED);
    open_scanning(r);
    const int32_t early = status_of(r.get());
    EXPECT_TRUE(early == RDX_CONNECTING || early == RDX_CONNECTED) << early;
    ASSERT_TRUE(wait_for([&] { return status_of(r.get()) == RDX_CONNECTED; }));
    ASSERT_TRUE(wait_for([&] { return recorder.count(RDX_MSG_READER_CONNECTION) == 2; }));
    const auto seen = recorder.entries();
    EXPECT_EQ(seen[0].status, RDX_CONNECTING);
    EXPECT_EQ(seen[1].status, RDX_CONNECTED);
    EXPECT_NE(seen[1].thread, std::this_thread::get_id()) << "callbacks come on the library's thread";
    const auto queued = drain(r.get(), true);
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[1].status, RDX_CONNECTED);
    rdx_reader_info info{};
    ASSERT_EQ(rdx_reader_get_info(r.get(), &info), RDX_OK);
    EXPECT_EQ(info.port_type, RDX_PORT_COM);
    EXPECT_STREQ(info.port_name, kReaderPort);
    EXPECT_EQ(info.model, 2);
    EXPECT_EQ(info.serial_number, 4242);
    EXPECT_EQ(info.firmware_version, 0x01020300u);
}

TEST_F(RdxReader, ConnectToAMissingDeviceFailsAndComesBackWithIt) {
    COpenReader blocking("desk2");
    EXPECT_EQ(rdx_reader_connect(blocking.get(), 0), RDX_E_PORT_NOT_FOUND);
    COpenReader r("desk2");
    open_scanning(r);
    ASSERT_TRUE(wait_for([&] { return recorder.count(RDX_MSG_READER_CONNECTION) == 2; }));
    EXPECT_EQ(status_of(r.get()), RDX_DISCONNECTED);
    world.add_reader("desk2");
    ASSERT_TRUE(wait_for([&] { return status_of(r.get()) == RDX_CONNECTED; }))
        << "a scanning reader reconnects when its device appears";
    EXPECT_EQ(rdx_reader_connect(blocking.get(), 0), RDX_OK);
}

TEST_F(RdxReader, DeviceLeavingTheListDisconnects) {
    COpenReader r;
    open_scanning(r);
    ASSERT_TRUE(wait_for([&] { return status_of(r.get()) == RDX_CONNECTED; }));
    rdxworld::write_text_file_atomic(world.world().devices_path(), "");
    ASSERT_TRUE(wait_for([&] { return status_of(r.get()) == RDX_DISCONNECTED; }));
    EXPECT_EQ(recorder.entries().back().status, RDX_DISCONNECTED);
}

TEST_F(RdxReader, CardPutOnAndTakenOffArriveThroughCallbackAndQueue) {
    COpenReader r;
    open_scanning(r);
    ASSERT_TRUE(wait_for([&] { return status_of(r.get()) == RDX_CONNECTED; }));
    drain(r.get(), true);
    world.put(uid);
    ASSERT_TRUE(wait_for([&] { return recorder.count(RDX_MSG_READER_CARD) == 1; }));
    world.take();
    ASSERT_TRUE(wait_for([&] { return recorder.count(RDX_MSG_READER_CARD) == 2; }));

    std::vector<rdx_card_info> cards;
    for (const auto& e : recorder.entries())
        if (e.msg == RDX_MSG_READER_CARD)
            cards.push_back(e.card);
    EXPECT_EQ(uid_hex(cards[0].uid), "44332211");
    EXPECT_EQ(cards[0].type, RDX_CARD_MF_CLASSIC_1K);
    EXPECT_EQ(cards[0].memory_size, 1024u);
    EXPECT_EQ(cards[1].uid.length, 0) << "taking the card off is a card message without a UID";

    const auto queued = drain(r.get(), true);
    ASSERT_EQ(queued.size(), 2u);
    EXPECT_EQ(queued[0].msg, RDX_MSG_READER_CARD);
    EXPECT_EQ(uid_hex(queued[0].card.uid), "44332211");
    EXPECT_EQ(queued[1].card.uid.length, 0);
}

TEST_F(RdxReader, CardAlreadyOnTheReaderIsReportedAfterConnecting) {
    world.put(uid);
    COpenReader r;
    open_scanning(r);
    ASSERT_TRUE(wait_for([&] { return recorder.count(RDX_MSG_READER_CARD) == 1; }));
}

TEST_F(RdxReader, WithoutAutoScanNoCardMessagesButCardInfoStillScans) {
    COpenReader r;
    open_scanning(r);
    ASSERT_EQ(rdx_reader_set_auto_scan(r.get(), 0, 0), RDX_OK);
    ASSERT_TRUE(wait_for([&] { return status_of(r.get()) == RDX_CONNECTED; }));
    world.put(uid);
    rdx_card_info ci{};
    ASSERT_TRUE(wait_for([&] {
        EXPECT_EQ(rdx_reader_get_card_info(r.get(), &ci), RDX_OK);
        return ci.uid.length == 4;
    }));
    EXPECT_EQ(recorder.count(RDX_MSG_READER_CARD), 0u);
    // Switching it back on reports the card that came meanwhile.
    ASSERT_EQ(rdx_reader_set_auto_scan(r.get(), 1, 0), RDX_OK);
    ASSERT_TRUE(wait_for([&] { return recorder.count(RDX_MSG_READER_CARD) == 1; }));
}

TEST_F(RdxReader, EmptyQueueSaysNotFound) {
    COpenReader r;
    uint32_t msg = 99;
    const void* data = &msg;
    int32_t found = 7;
    ASSERT_EQ(rdx_reader_get_message(r.get(), &msg, &data, &found), RDX_OK);
    EXPECT_EQ(found, 0);
    EXPECT_EQ(data, nullptr);
}

TEST_F(RdxReader, HandlesOfTheWrongKindOrClosedAreRefused) {
    rdx_handle search = nullptr;
    ASSERT_EQ(rdx_get_search(&search), RDX_OK);
    int32_t s = 0;
    EXPECT_EQ(rdx_reader_get_connection_status(search, &s), RDX_E_INVALID_HANDLE);
    EXPECT_EQ(rdx_close_handle(search), RDX_OK);
    EXPECT_EQ(rdx_close_handle(search), RDX_E_INVALID_HANDLE);
    EXPECT_EQ(rdx_reader_get_connection_status(nullptr, &s), RDX_E_INVALID_HANDLE);
    rdx_handle h = nullptr;
    EXPECT_EQ(rdx_get_reader(RDX_PORT_NONE, "x", &h), RDX_E_INVALID_ARG);
    EXPECT_EQ(rdx_get_reader(RDX_PORT_COM, "", &h), RDX_E_INVALID_ARG);
}
