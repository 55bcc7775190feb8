// The key edit modes and the adapter buttons of the key editor: keys handed to the active table by number,
// read by the simulated adapter (devsim) and put on a simulated reader (the stand-in reader library), and the
// emulation of the editor's number towards a controller.
#include <fstream>

#include "KeyPanelsFixture.h"
#include "WorldCards.h"
#include "sim/devsim/CWorld.h"

namespace {

class KeyModesTest : public KeyPanelsFixture {};

struct ModeCase {
    const char* name;
    const char* mode; // toggle action
    KeyPanelsFixture::StoredKey stored;
    CCardUID read;
    CardType read_type;
    const char* report;       // last status line; "" when nothing is reported
    const char* stored_after; // the stored key's number afterwards ("" when it is gone)
    bool short_after;
    unsigned keys_after;
    const char* selected; // the key selected afterwards ("" for none)
};

TEST_F(KeyModesTest, EachModeFindsAddsOrRemovesTheKeyRead) {
    const std::uint8_t full[] = {0xAA, 0x00, 0x00, 0x34, 0x12, 0x00};
    const std::uint8_t three[] = {0xAA, 0x00, 0x00};
    const std::uint8_t other[] = {0xBB, 0x00, 0x00, 0x00, 0x00, 0x00};
    const std::uint8_t seven[] = {0xAA, 0x00, 0x00, 0x34, 0x12, 0x00, 0x77};
    const ModeCase cases[] = {
        {"add new",
         "mode_add",
         {"0000000000AA"},
         CCardUID(other, 6),
         CT_DALLAS,
         "Key \"0000000000BB\" added",
         "0000000000AA",
         false,
         2,
         "0000000000BB"},
        {"add three bytes matching a short key",
         "mode_add",
         {"0000000000AA", true},
         CCardUID(three, 3),
         CT_DALLAS,
         "",
         "0000000000AA",
         true,
         1,
         "0000000000AA"},
        {"add full number to a short key",
         "mode_add",
         {"0000000000AA", true},
         CCardUID(full, 6),
         CT_DALLAS,
         "The key \"0012340000AA\" has been updated",
         "0012340000AA",
         false,
         1,
         "0012340000AA"},
        {"add seven bytes cut to six",
         "mode_add",
         {"0012340000AA"},
         CCardUID(seven, 7),
         CT_DALLAS,
         "",
         "0012340000AA",
         false,
         1,
         "0012340000AA"},
        {"add sets another type",
         "mode_add",
         {"0000000000AA"},
         CCardUID(three, 3),
         CT_EM_MARINE,
         "The key \"0000000000AA\" has been updated",
         "0000000000AA",
         false,
         1,
         "0000000000AA"},
        {"search found",
         "mode_search",
         {"0000000000AA"},
         CCardUID(three, 3),
         CT_DALLAS,
         "Key \"0000000000AA\" found",
         "0000000000AA",
         false,
         1,
         "0000000000AA"},
        {"search not found",
         "mode_search",
         {"0000000000AA"},
         CCardUID(other, 6),
         CT_DALLAS,
         "Key \"0000000000BB\" not found",
         "0000000000AA",
         false,
         1,
         ""},
        {"delete found",
         "mode_delete",
         {"0000000000AA"},
         CCardUID(three, 3),
         CT_DALLAS,
         "Key \"0000000000AA\" removed",
         "",
         false,
         0,
         ""},
        {"delete not found",
         "mode_delete",
         {"0000000000AA"},
         CCardUID(other, 6),
         CT_DALLAS,
         "Key \"0000000000BB\" not found",
         "0000000000AA",
         false,
         1,
         ""},
    };
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(c.name);
        make_keys("a", {c.stored});
        CMainWindow& window = open_databases({"a"});
        window.key_panel(0).unselect_all();
        window.main_actions()->activate_action(c.mode);
        const auto before = history().size();
        window.ProcessKeyModeKey(c.read_type, c.read);
        if (*c.report == 0)
            EXPECT_EQ(before, history().size()) << history().back();
        else
            EXPECT_EQ(c.report, history().back());
        const auto& keys = window.key_document(0).get_keys();
        EXPECT_EQ(c.keys_after, keys->get_n_items());
        if (*c.stored_after != 0) {
            ASSERT_GE(keys->get_n_items(), 1u);
            EXPECT_EQ(c.stored_after, keys->get_item(0)->number().ToString());
            EXPECT_EQ(c.short_after, keys->get_item(0)->is_short());
        }
        const auto selected = selected_numbers(window.key_panel(0));
        EXPECT_EQ(*c.selected == 0 ? std::vector<std::string>{} : std::vector<std::string>{c.selected},
                  selected);
        EXPECT_EQ(*c.report != 0 && std::string(c.mode) != "mode_search" &&
                      std::string(c.report).find("not found") == std::string::npos,
                  window.key_document(0).is_modified());
        window.key_document(0).set_modified_flag(false);
        window.main_actions()->activate_action(c.mode); // off again
        TearDown();
        SetUp();
    }
}

TEST_F(KeyModesTest, ModeTogglesAreExclusiveAndSwitchOffWhenActivatedAgain) {
    CMainWindow& window = open_window();
    auto state = [&](const char* name) {
        bool on = false;
        window.main_actions()->get_action_state(name, on);
        return on;
    };
    window.main_actions()->activate_action("mode_add");
    EXPECT_TRUE(state("mode_add"));
    window.main_actions()->activate_action("mode_search");
    EXPECT_FALSE(state("mode_add"));
    EXPECT_TRUE(state("mode_search"));
    EXPECT_EQ(CMainWindow::KEY_MODE_SEARCH, window.GetKeyMode());
    window.main_actions()->activate_action("mode_search");
    EXPECT_FALSE(state("mode_search"));
    EXPECT_EQ(CMainWindow::KEY_MODE_NONE, window.GetKeyMode());
}

// With the simulated adapter and reader registered in the stand-in library's world.
class KeyModesDevicesTest : public KeyPanelsFixture {
protected:
    static constexpr const char* kReaderPort = "sim-mifare-0";

    void SetUp() override {
        KeyPanelsFixture::SetUp();
        m_world_dir = m_root / "world";
        std::filesystem::create_directories(m_world_dir / "readers");
        std::filesystem::create_directories(m_world_dir / "cards");
        setenv("RDX_SIM_DIR", m_world_dir.c_str(), 1);
        devsim::WorldOptions options;
        options.devices_file = (m_world_dir / "devices").string();
        m_devices = std::make_unique<devsim::CWorld>(options);
    }
    void TearDown() override {
        KeyPanelsFixture::TearDown();
        m_devices.reset();
        unsetenv("RDX_SIM_DIR");
    }

    void write(const std::filesystem::path& path, const std::string& text) {
        const auto temporary = path.string() + ".tmp";
        std::ofstream(temporary) << text;
        std::filesystem::rename(temporary, path);
    }
    // A Mifare reader the automatic reader port finds, with a 1K card whose UID reads 04A1B2C3.
    void add_reader_with_card() {
        write(m_world_dir / "cards" / "04A1B2C3", blank_card_text("04A1B2C3"));
        write(m_world_dir / "readers" / kReaderPort, "card -\n");
        std::ofstream(m_world_dir / "devices", std::ios::app) << "1\t" << kReaderPort << "\t2\t77\t1.1.0\n";
    }

    CMainWindow& wait_for_scanning_adapter(CMainWindow& window) {
        EXPECT_TRUE(pump_until(
            [&] { return window.status_bar().com_mode_view().mode() == CAdapterThread::COM_SCANNING; }));
        return window;
    }

    std::filesystem::path m_world_dir;
    std::unique_ptr<devsim::CWorld> m_devices;
};

TEST_F(KeyModesDevicesTest, AKeyTouchedToTheAdapterIsAddedInAddMode) {
    make_keys("a", {});
    CMainWindow& window = wait_for_scanning_adapter(open_databases({"a"}));
    window.main_actions()->activate_action("mode_add");
    std::array<std::uint8_t, 8> rom{0x01, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0};
    rom[7] = get_dallas_cs(rom.data());
    m_devices->touch_dallas(rom);
    ASSERT_TRUE(pump_until([&] { return window.key_document(0).get_keys()->get_n_items() == 1; }));
    const auto key = window.key_document(0).get_keys()->get_item(0);
    EXPECT_EQ("665544332211", key->number().ToString());
    EXPECT_EQ(CT_DALLAS, key->card_type());
    EXPECT_EQ("# 1", key->description());
    EXPECT_TRUE(history_has("Key \"665544332211\" added"));
}

TEST_F(KeyModesDevicesTest, ACardPutOnTheReaderIsFoundInSearchMode) {
    add_reader_with_card();
    make_keys("a", {{"000004A1B2C3"}, {"000000000011"}});
    CMainWindow& window = open_databases({"a"});
    window.key_panel(0).unselect_all();
    ASSERT_TRUE(pump_until([&] { return window.device_ports().devices()->get_n_items() >= 2; }))
        << "the search finds the adapter and the reader";
    window.main_actions()->activate_action("mode_search");
    // A card already lying on the reader when it connects is no news: the card comes after.
    ASSERT_TRUE(pump_until([&] { return window.device_ports().is_key_reader_connected(); }))
        << window.status_bar().get_status();
    write(m_world_dir / "readers" / kReaderPort, "card 04A1B2C3\n");
    ASSERT_TRUE(pump_until([&] { return history_has("Key \"000004A1B2C3\" found"); }));
    EXPECT_EQ((std::vector<std::string>{"000004A1B2C3"}), selected_numbers(window.key_panel(0)));
}

TEST_F(KeyModesDevicesTest, EmulateSendsTheNumberAsADallasRomWhileHeld) {
    make_keys("a", {});
    CMainWindow& window = wait_for_scanning_adapter(open_databases({"a"}));
    type_into(number_entry(), "00000000ABCD");
    std::array<std::uint8_t, 8> expected{0x01, 0xCD, 0xAB, 0x00, 0x00, 0x00, 0x00, 0};
    expected[7] = get_dallas_cs(expected.data());
    press_and_release(key_button("Emulate"), [&] {
        EXPECT_TRUE(pump_until(
            [&] { return m_devices->with_adapter([](devsim::CAdapterSim& a) { return a.emulating(); }); }));
        EXPECT_EQ(CAdapterThread::CMD_EMU_DALLAS, window.adapter().GetCurrentCmd());
    });
    EXPECT_EQ(expected, m_devices->with_adapter([](devsim::CAdapterSim& a) { return a.emulated_dallas(); }));
    EXPECT_TRUE(pump_until([&] { return window.adapter().GetCurrentCmd() == CAdapterThread::CMD_NONE; }))
        << "releasing the button ends the emulation";
}

} // namespace
