// Device search of the stand-in reader library: the world's device list as the search reports it, filtered by
// the search options, with message 3 when the list changes.
#include "test_rdxFixture.h"

using namespace rdxtest;

class RdxSearch : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(owner.status(), RDX_OK);
        ASSERT_EQ(rdx_get_search(&h), RDX_OK);
    }
    void TearDown() override { EXPECT_EQ(rdx_close_handle(h), RDX_OK); }

    uint32_t count() const {
        uint32_t n = 99;
        EXPECT_EQ(rdx_search_get_reader_count(h, &n), RDX_OK);
        return n;
    }
    void append(const std::string& line) const {
        rdxworld::append_line_locked(world.world().devices_path(), line);
    }

    CTempWorld world;
    CLibraryOwner owner;
    CRecorder recorder;
    rdx_handle h = nullptr;
};

TEST_F(RdxSearch, BackgroundScanReportsNewDevicesWithMessage3) {
    ASSERT_EQ(rdx_search_set_message_callback(h, &CRecorder::callback, &recorder), RDX_OK);
    ASSERT_EQ(rdx_search_enable_message_queue(h, 1), RDX_OK);
    const uint16_t ports[] = {25000};
    ASSERT_EQ(rdx_search_set_listen_ports(h, ports, 1), RDX_OK);
    ASSERT_EQ(rdx_search_set_auto_scan(h, 1, 0), RDX_OK);
    EXPECT_EQ(count(), 0u);

    append("COM\t/dev/pts/7\t4\t-1\t0");
    append("Server\t127.0.0.1:4001\t5\t123\t1.2.3");
    ASSERT_TRUE(wait_for([&] { return count() == 2; }));
    ASSERT_TRUE(wait_for([&] { return recorder.count(RDX_MSG_SEARCH_LIST) >= 1; }));
    const auto queued = drain(h, false);
    ASSERT_GE(queued.size(), 1u);
    EXPECT_EQ(queued[0].msg, RDX_MSG_SEARCH_LIST);

    rdx_reader_info info{};
    ASSERT_EQ(rdx_search_get_reader_info(h, 0, &info), RDX_OK);
    EXPECT_EQ(info.port_type, RDX_PORT_COM);
    EXPECT_STREQ(info.port_name, "/dev/pts/7");
    EXPECT_EQ(info.model, 4);
    EXPECT_EQ(info.serial_number, -1);
    EXPECT_EQ(info.firmware_version, 0u);
    ASSERT_EQ(rdx_search_get_reader_info(h, 1, &info), RDX_OK);
    EXPECT_EQ(info.port_type, RDX_PORT_SERVER);
    EXPECT_EQ(info.serial_number, 123);
    EXPECT_EQ(info.firmware_version, 0x01020300u);
    EXPECT_GT(info.time, 0);
    EXPECT_EQ(rdx_search_get_reader_info(h, 2, &info), RDX_E_OUT_OF_RANGE);
}

TEST_F(RdxSearch, RemovedDeviceChangesTheListAgain) {
    ASSERT_EQ(rdx_search_set_message_callback(h, &CRecorder::callback, &recorder), RDX_OK);
    ASSERT_EQ(rdx_search_set_auto_scan(h, 1, 0), RDX_OK);
    append("COM\tusb-a\t2\t1\t0");
    ASSERT_TRUE(wait_for([&] { return recorder.count(RDX_MSG_SEARCH_LIST) == 1; }));
    rdxworld::write_text_file_atomic(world.world().devices_path(), "# nothing attached\n");
    ASSERT_TRUE(wait_for([&] { return recorder.count(RDX_MSG_SEARCH_LIST) == 2; }));
    EXPECT_EQ(count(), 0u);
}

TEST_F(RdxSearch, OptionsChooseTheKindsOfDevice) {
    append("COM\tusb-a\t2\t1\t0");
    append("CCID\tccid-b\t3\t2\t0");
    append("Client\t10.0.0.5:25000\t5\t3\t0");
    EXPECT_EQ(count(), 3u) << "every kind by default";
    rdx_search_options opt{};
    ASSERT_EQ(rdx_search_get_options(h, &opt), RDX_OK);
    opt.flags = RDX_SEARCH_CCID;
    ASSERT_EQ(rdx_search_set_options(h, &opt), RDX_OK);
    ASSERT_EQ(count(), 1u);
    rdx_reader_info info{};
    ASSERT_EQ(rdx_search_get_reader_info(h, 0, &info), RDX_OK);
    EXPECT_STREQ(info.port_name, "ccid-b");
    rdx_search_options back{};
    ASSERT_EQ(rdx_search_get_options(h, &back), RDX_OK);
    EXPECT_EQ(back.flags, static_cast<uint32_t>(RDX_SEARCH_CCID));
}

TEST_F(RdxSearch, BadLinesAreSkipped) {
    append("COM\tgood\t2\t1\t0x0102");
    append("garbage without tabs");
    append("COM\tbad-model\t99\t1\t0");
    append("Nowhere\tx\t1\t1\t0");
    append("COM\t" + std::string(80, 'x') + "\t2\t1\t0");
    EXPECT_EQ(count(), 1u);
}
