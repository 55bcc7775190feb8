// Device discovery in the window against the stand-in reader library: a world folder whose device list the
// tests rewrite, the library's messages drained as the window's dispatcher would, and the adapter worker
// (not started) receiving the resolved port.
#include <gtest/gtest.h>

#include <giomm/init.h>
#include <giomm/settings.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "DevicesFeed.h"
#include "adapter/CAdapterThread.h"
#include "common/TestFiles.h"
#include "settings/CAppSettings.h"
#include "ui/CDevicePorts.h"
#include "widgets_TestSupport.h"

namespace {

constexpr auto kDeadline = std::chrono::seconds(10);

class DevicePortsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Gio::init(); }

    void SetUp() override {
        write_devices("");
        m_settings = widgets_test::reset_settings();
        g_AppSet = std::make_unique<CAppSettings>();
        m_ports = std::make_unique<CDevicePorts>(m_adapter, [this] {
            std::lock_guard lock(m_mutex);
            m_woken = true;
            m_cond.notify_all();
        });
        m_ports->signal_adapter_port_changed().connect([this] { ++m_port_changes; });
        m_ports->StartSearch();
    }

    void TearDown() override {
        m_ports.reset();
        g_AppSet.reset();
    }

    void write_devices(const std::string& lines) { test::replace_text(m_world / "devices", lines); }

    // Drains the library's messages, as the window's dispatcher does, until cond holds.
    bool pump_until(const std::function<bool()>& cond) {
        const auto end = std::chrono::steady_clock::now() + kDeadline;
        m_ports->ProcessMessages();
        while (!cond()) {
            std::unique_lock lock(m_mutex);
            if (!m_cond.wait_until(lock, end, [this] { return m_woken; }))
                return false;
            m_woken = false;
            lock.unlock();
            m_ports->ProcessMessages();
        }
        return true;
    }

    Glib::ustring adapter_port() const {
        rdx_port_type type = RDX_PORT_NONE;
        Glib::ustring name;
        m_adapter.get_port_name(type, name);
        return name;
    }
    unsigned device_count() const { return m_ports->devices()->get_n_items(); }

    test::CSimWorldDir m_world;
    Glib::RefPtr<Gio::Settings> m_settings;
    CAdapterThread m_adapter;
    std::unique_ptr<CDevicePorts> m_ports;
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_woken = false;
    int m_port_changes = 0;
};

constexpr const char* kTwoAdapters = "COM\t/dev/ttyM6a\t4\nCOM\t/dev/ttyM6b\t5\nCOM\tdesk1\t2\n";

TEST_F(DevicePortsTest, AutoAdapterTakesTheFirstAdapterUnlessTheReaderSettingNamesIt) {
    write_devices(kTwoAdapters);
    ASSERT_TRUE(pump_until([this] { return device_count() == 3; }));
    EXPECT_EQ(adapter_port(), "/dev/ttyM6a");
    EXPECT_TRUE(m_adapter.GetPortExist());

    m_settings->set_string("reader-port-type", "COM");
    m_settings->set_string("reader-port-name", "/dev/ttyM6a");
    m_ports->UpdateAutoAPort();
    m_ports->UpdateDevicePort();
    EXPECT_EQ(adapter_port(), "/dev/ttyM6b");
}

// The window's dispatcher runs for every notification of the adapter worker as well. While the library is
// busy (here: reading its device list) and has reported nothing, neither on the search nor on the key-mode
// reader, those runs must not wait for it.
TEST_F(DevicePortsTest, ABusyLibraryWithNothingToReportDoesNotHoldUpTheDispatcher) {
    m_settings->set_string("adapter-port-type", "");
    m_settings->set_string("adapter-port-name", "");
    const std::string devices = "COM\tdesk1\t2\n";
    write_devices(devices);
    ASSERT_TRUE(pump_until([this] { return device_count() == 1; }));
    m_ports->set_key_mode(true);
    ASSERT_TRUE(pump_until([this] { return m_ports->is_key_reader_connected(); }));
    DevicesFeed feed(m_world.path(), devices, kDeadline);
    ASSERT_TRUE(feed.wait_served());
    // Whatever the library reported before is taken now, while it is free.
    m_ports->ProcessMessages();

    ASSERT_TRUE(feed.hold());
    m_ports->ProcessMessages();
    EXPECT_TRUE(feed.release()) << "the dispatcher waited for the busy library";
    EXPECT_EQ(device_count(), 1u);
    EXPECT_TRUE(m_ports->is_key_reader_open());
}

TEST_F(DevicePortsTest, AFixedAdapterUnpluggedKeepsItsPortButIsNotFound) {
    m_settings->set_string("adapter-port-type", "COM");
    m_settings->set_string("adapter-port-name", "/dev/ttyM6b");
    m_settings->set_string("reader-port-type", "");
    m_settings->set_string("reader-port-name", "");
    write_devices(kTwoAdapters);
    ASSERT_TRUE(pump_until([this] { return device_count() == 3; }));
    EXPECT_EQ(adapter_port(), "/dev/ttyM6b");
    const int changes = m_port_changes;

    write_devices("COM\t/dev/ttyM6a\t4\n");
    ASSERT_TRUE(pump_until([this] { return device_count() == 1; }));
    EXPECT_EQ(adapter_port(), "/dev/ttyM6b");
    EXPECT_FALSE(m_adapter.GetPortExist());
    EXPECT_EQ(m_ports->device_status_text(), "Adapter: Adapter not found. Reader: Port not selected");

    write_devices(kTwoAdapters);
    ASSERT_TRUE(pump_until([this] { return device_count() == 3; }));
    EXPECT_TRUE(m_adapter.GetPortExist());
    EXPECT_EQ(m_port_changes, changes) << "plugging back is no port change";
    EXPECT_EQ(m_ports->device_status_text(), "Adapter: Disconnected. Reader: Port not selected");
}

TEST_F(DevicePortsTest, StatusLineFollowsThePortSettings) {
    struct Row {
        const char* adapter_type;
        const char* adapter_name;
        const char* reader_type;
        const char* reader_name;
        const char* devices;
        const char* status;
    };
    const Row rows[] = {
        {"", "", "", "", "", "Adapter: Port not selected. Reader: Port not selected"},
        {"", "<Auto>", "", "<Auto>", "", "Adapter: Adapter not found. Reader: Reader not found"},
        {"", "<Auto>", "", "<Auto>", "COM\tdesk1\t2\n", "Adapter: Adapter not found. Reader: Not used"},
        {"COM", "/dev/gone", "COM", "desk1", "", "Adapter: Adapter not found. Reader: Not used"},
    };
    for (const Row& row : rows) {
        m_settings->set_string("adapter-port-type", row.adapter_type);
        m_settings->set_string("adapter-port-name", row.adapter_name);
        m_settings->set_string("reader-port-type", row.reader_type);
        m_settings->set_string("reader-port-name", row.reader_name);
        write_devices(row.devices);
        const unsigned expected = std::string(row.devices).empty() ? 0 : 1;
        ASSERT_TRUE(pump_until([&] {
            m_ports->UpdatePorts();
            return device_count() == expected;
        }));
        EXPECT_EQ(m_ports->device_status_text(), row.status) << row.adapter_name << " / " << row.reader_name;
    }
}

TEST_F(DevicePortsTest, KeyModeOpensTheAutoReaderAndYieldsItToTheAdapter) {
    m_settings->set_string("adapter-port-type", "");
    m_settings->set_string("adapter-port-name", "");
    write_devices("COM\tdesk1\t2\n");
    ASSERT_TRUE(pump_until([this] { return device_count() == 1; }));
    EXPECT_FALSE(m_ports->is_key_reader_open());

    m_ports->set_key_mode(true);
    ASSERT_TRUE(m_ports->is_key_reader_open());
    ASSERT_TRUE(pump_until(
        [this] { return m_ports->device_status_text() == "Adapter: Port not selected. Reader: Connected"; }));

    // The adapter setting now names the reader's port: the reader gives it up first.
    m_settings->set_string("adapter-port-type", "COM");
    m_settings->set_string("adapter-port-name", "desk1");
    m_ports->UpdateDevicePort();
    EXPECT_EQ(adapter_port(), "desk1");
    EXPECT_FALSE(m_ports->is_key_reader_open()) << "an auto reader never takes the adapter's port";

    m_ports->set_key_mode(false);
    EXPECT_FALSE(m_ports->is_key_reader_open());
}

TEST(DevicePortsCardTest, DifferentKf300ButtonCodesSwapTwoNibbles) {
    struct Row {
        rdx_card_type type;
        bool different;
        uint8_t b2, b3;
        uint8_t want2, want3;
    };
    const Row rows[] = {
        {RDX_CARD_COD433, true, 0xAB, 0xCD, 0xDB, 0xCA},
        {RDX_CARD_COD433_FIX, true, 0x12, 0x34, 0x42, 0x31},
        {RDX_CARD_COD433, false, 0xAB, 0xCD, 0xAB, 0xCD},
        {RDX_CARD_EM_MARINE, true, 0xAB, 0xCD, 0xAB, 0xCD},
    };
    for (const Row& row : rows) {
        rdx_card_info card{};
        card.type = row.type;
        card.uid.length = 5;
        card.uid.bytes[0] = 0x01;
        card.uid.bytes[2] = row.b2;
        card.uid.bytes[3] = row.b3;
        CardType type = CT_UNKNOWN;
        CCardUID number;
        CDevicePorts::card_to_key(card, row.different, type, number);
        EXPECT_EQ(type, to_card_type(row.type));
        EXPECT_EQ(number.length, 5);
        EXPECT_EQ(number.bytes[0], 0x01);
        EXPECT_EQ(number.bytes[2], row.want2) << int(row.type) << " " << row.different;
        EXPECT_EQ(number.bytes[3], row.want3) << int(row.type) << " " << row.different;
    }
}

} // namespace
