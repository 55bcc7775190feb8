// The key edit modes and the adapter buttons of the key editor: keys handed to the active table by number,
// read by the simulated adapter (devsim) and put on a simulated reader (the stand-in reader library), and the
// emulation of the editor's number towards a controller.
#include <fstream>

#include "KeyPanelsFixture.h"
#include "readers/ReaderWorldFiles.h"

namespace {

class KeyModesTest : public KeyPanelsFixture {};

struct ModeCase {
    const char* mode; // toggle action
    KeyPanelsFixture::StoredKey stored;
    std::vector<std::uint8_t> read; // the bytes read, least significant first
    CardType read_type;
    const char* report;       // last status line; "" when nothing is reported
    const char* stored_after; // the stored key's number afterwards ("" when it is gone)
    bool short_after;
    unsigned keys_after;
    const char* selected; // the key selected afterwards ("" for none)
};

TEST_F(KeyModesTest, EachModeFindsAddsOrRemovesTheKeyRead) {
    const std::vector<std::uint8_t> full = {0xAA, 0, 0, 0x34, 0x12, 0}, three = {0xAA, 0, 0},
                                    other = {0xBB, 0, 0, 0, 0, 0}, seven = {0xAA, 0, 0, 0x34, 0x12, 0, 0x77};
    const char* aa = "0000000000AA";
    const char* bb = "0000000000BB";
    const char* long_aa = "0012340000AA";
    const char* updated = "The key \"0000000000AA\" has been updated";
    const char* completed = "The key \"0012340000AA\" has been updated";
    const ModeCase cases[] = {
        {"mode_add", {aa}, other, CT_DALLAS, "Key \"0000000000BB\" added", aa, false, 2, bb},
        // Three bytes matching a short key.
        {"mode_add", {aa, true}, three, CT_DALLAS, "", aa, true, 1, aa},
        // A full number completes a short key.
        {"mode_add", {aa, true}, full, CT_DALLAS, completed, long_aa, false, 1, long_aa},
        // Seven bytes are cut to six.
        {"mode_add", {long_aa}, seven, CT_DALLAS, "", long_aa, false, 1, long_aa},
        // Another type is taken over.
        {"mode_add", {aa}, three, CT_EM_MARINE, updated, aa, false, 1, aa},
        {"mode_search", {aa}, three, CT_DALLAS, "Key \"0000000000AA\" found", aa, false, 1, aa},
        {"mode_search", {aa}, other, CT_DALLAS, "Key \"0000000000BB\" not found", aa, false, 1, ""},
        {"mode_delete", {aa}, three, CT_DALLAS, "Key \"0000000000AA\" removed", "", false, 0, ""},
        {"mode_delete", {aa}, other, CT_DALLAS, "Key \"0000000000BB\" not found", aa, false, 1, ""},
    };
    // One window, as a person would go through the cases: each opens its database afresh.
    CMainWindow& window = open_window();
    int database = 0;
    for (const ModeCase& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + " " + std::to_string(c.read.size()) + " bytes: " + c.report);
        const std::string name = "a" + std::to_string(++database);
        make_keys(name, {c.stored});
        window.OpenDatabases({name});
        window.key_panel(0).unselect_all();
        activate(c.mode);
        const auto before = history().size();
        window.ProcessKeyModeKey(c.read_type, CCardUID(c.read.data(), c.read.size()));
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
        activate(c.mode); // off again
        ASSERT_TRUE(window.DoClose(true, {}));
    }
}

TEST_F(KeyModesTest, ModeTogglesAreExclusiveAndSwitchOffWhenActivatedAgain) {
    CMainWindow& window = open_window();
    auto state = [&](const char* name) {
        bool on = false;
        window.main_actions()->get_action_state(name, on);
        return on;
    };
    activate("mode_add");
    EXPECT_TRUE(state("mode_add"));
    activate("mode_search");
    EXPECT_FALSE(state("mode_add"));
    EXPECT_TRUE(state("mode_search"));
    EXPECT_EQ(CMainWindow::KEY_MODE_SEARCH, window.GetKeyMode());
    activate("mode_search");
    EXPECT_FALSE(state("mode_search"));
    EXPECT_EQ(CMainWindow::KEY_MODE_NONE, window.GetKeyMode());
}

// With the simulated adapter and reader registered in the stand-in library's world.
class KeyModesDevicesTest : public KeyPanelsFixture {
protected:
    static constexpr const char* kReaderPort = "sim-mifare-0";

    void SetUp() override {
        KeyPanelsFixture::SetUp();
        start_devices({"readers", "cards"});
    }
    // A Mifare reader the automatic reader port finds, with a 1K card whose UID reads 04A1B2C3.
    void add_reader_with_card() {
        test::replace_text(world() / "cards" / "04A1B2C3", reader_world::blank_card_text("04A1B2C3"));
        test::replace_text(world() / "readers" / kReaderPort, "card -\n");
        std::ofstream(world() / "devices", std::ios::app) << "1\t" << kReaderPort << "\t2\t77\t1.1.0\n";
    }

    CMainWindow& wait_for_scanning_adapter(CMainWindow& window) {
        EXPECT_TRUE(pump_until(
            [&] { return window.status_bar().com_mode_view().mode() == CAdapterThread::COM_SCANNING; }));
        return window;
    }

    std::filesystem::path world() const { return m_root / "world"; }
};

TEST_F(KeyModesDevicesTest, AKeyTouchedToTheAdapterIsAddedInAddMode) {
    make_keys("a", {});
    CMainWindow& window = wait_for_scanning_adapter(open_databases({"a"}));
    activate("mode_add");
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
    activate("mode_search");
    // A card already lying on the reader when it connects is no news: the card comes after.
    ASSERT_TRUE(pump_until([&] { return window.device_ports().is_key_reader_connected(); }))
        << window.status_bar().get_status();
    test::replace_text(world() / "readers" / kReaderPort, "card 04A1B2C3\n");
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
