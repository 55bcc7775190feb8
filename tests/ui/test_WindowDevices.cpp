// The window against the simulated world: the device simulator's adapter registered with the stand-in reader
// library is found by the device search, becomes the adapter port (title and status line), the lamp follows
// the key-reading mode, and the port's disappearance is shown.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "WindowFixture.h"
#include "sim/devsim/CWorld.h"

namespace {

class WindowDevicesTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        m_world_dir = m_root / "world";
        std::filesystem::create_directories(m_world_dir);
        setenv("RDX_SIM_DIR", m_world_dir.c_str(), 1);
        devsim::WorldOptions options;
        options.devices_file = (m_world_dir / "devices").string();
        m_devices = std::make_unique<devsim::CWorld>(options);
    }
    void TearDown() override {
        WindowFixture::TearDown();
        m_devices.reset();
        unsetenv("RDX_SIM_DIR");
    }

    std::filesystem::path m_world_dir;
    std::unique_ptr<devsim::CWorld> m_devices;
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
