// The window against the simulated world: the device simulator's adapter registered with the stand-in reader
// library is found by the device search, becomes the adapter port (title and status line), the lamp follows
// the key-reading mode, and the port's disappearance is shown.
#include "WindowFixture.h"

namespace {

class WindowDevicesTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        start_devices();
    }
};

TEST_F(WindowDevicesTest, TheSimulatedAdapterIsFoundConnectedAndLost) {
    CMainWindow& window = open_window();
    const std::string port = m_devices->pty_path();
    ASSERT_TRUE(pump_until([&] { return window.get_title().raw().find("[" + port + "]") == 0; }))
        << window.get_title();
    ASSERT_TRUE(pump_until([&] {
        return window.status_bar().get_status().raw().find("Adapter: Connected.") == 0;
    })) << window.status_bar().get_status();
    ASSERT_TRUE(pump_until([&] {
        return window.status_bar().com_mode_view().mode() == CAdapterThread::COM_SCANNING;
    })) << "the lamp follows the key-reading mode";

    m_devices->vanish();
    ASSERT_TRUE(pump_until([&] {
        return window.status_bar().get_status().raw().find("Adapter: Adapter not found.") == 0;
    })) << window.status_bar().get_status();
    EXPECT_EQ("Kestrix", window.get_title()) << "no adapter port left to show";
}

} // namespace
