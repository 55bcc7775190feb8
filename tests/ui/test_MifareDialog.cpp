// The Mifare actions end to end: the real window opens the Mifare dialog, whose worker drives a simulated
// reader of the stand-in library; the test lays blank card files on the reader one after the other, as a
// user swipes cards, and checks what the dialog shows, what the cards hold and what reaches the document.
#include <gtest/gtest.h>

#include <algorithm>

#include <gtkmm/label.h>

#include "test_MifareDialogFixture.h"

namespace {

// 150 keys make a 912-byte image: more than one 1K card carries (736 bytes), so the set has two cards.
constexpr unsigned kSetKeys = 150;

class MifareDialogTest : public MifareWorldFixture {
protected:
    // Writes database "base" (kSetKeys keys, active table 0) onto two cards through the window.
    void write_set(const std::string& first, const std::string& second) {
        m_window->SetActiveKeyTable(0);
        activate("mf_from_db");
        ASSERT_NE(nullptr, wait_for_dialog());
        present_set("desk1", {first, second}, "Ready.");
        close_dialog();
    }
    // Reader "desk1" with these blank cards, and the window with database "base" (kSetKeys keys) and an empty
    // database open.
    CMainWindow& open_set_world(std::initializer_list<const char*> cards) {
        add_reader("desk1");
        make_distinct_database("base", kSetKeys);
        make_database("empty");
        for (const char* uid : cards)
            blank_card(uid);
        return open_databases({"base", "empty"});
    }
    // Every status line the dialog shows from now on.
    void watch_statuses(CMifareDialog& dialog) {
        auto* label = dynamic_cast<Gtk::Label*>(dialog.get_child()->get_first_child());
        EXPECT_NE(nullptr, label);
        auto seen = std::make_shared<std::vector<std::string>>();
        if (label != nullptr)
            label->property_label().signal_changed().connect(
                [label, seen] { seen->push_back(label->get_label().raw()); });
        m_statuses = seen;
    }
    bool status_seen(const std::string& text) const {
        return m_statuses && std::find(m_statuses->begin(), m_statuses->end(), text) != m_statuses->end();
    }

    std::shared_ptr<std::vector<std::string>> m_statuses;
};

TEST_F(MifareDialogTest, ACardSetIsPreparedWrittenReadBackAndCleared) {
    CMainWindow& window = open_set_world({"C0DE0001", "C0DE0002"});

    activate("mf_prepare");
    CMifareDialog* dialog = wait_for_dialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Mifare: Preparing Cards", dialog->get_title());
    EXPECT_TRUE(dialog->get_modal());
    EXPECT_EQ(&window, dialog->get_transient_for());
    present_set("desk1", {"C0DE0001", "C0DE0002"}, kNextCard);
    EXPECT_EQ("1. C0DE0001 1k - 100%", dialog->card_rows()->get_string(0));
    EXPECT_EQ("2. C0DE0002 1k - 100%", dialog->card_rows()->get_string(1));
    const Bytes empty_set_start = {0x01, 0x00, 0xFF, 0xFF, 0xD1, 0x15};
    EXPECT_TRUE(
        std::equal(empty_set_start.begin(), empty_set_start.end(), card_block("C0DE0001", 2).begin()));
    close_dialog();

    write_set("C0DE0001", "C0DE0002");
    EXPECT_FALSE(window.key_document(0).is_modified()) << "writing leaves the document as it was";

    window.SetActiveKeyTable(1);
    activate("mf_to_db");
    dialog = wait_for_dialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Mifare: card reading", dialog->get_title());
    present_set("desk1", {"C0DE0001", "C0DE0002"}, "Ready.");
    EXPECT_EQ(0u, dialog->card_rows()->get_string(0).raw().find("0. C0DE0001 1k - keys 0 - "))
        << "reading counts cards from 0";
    const auto& read = window.key_document(1).get_keys();
    ASSERT_TRUE(pump_until([&] { return read->get_n_items() == kSetKeys; })) << read->get_n_items();
    EXPECT_EQ("150 keys read: 150 added, 0 repeated", window.status_bar().get_status());
    const auto& written = window.key_document(0).get_keys();
    for (guint i = 0; i < kSetKeys; ++i)
        EXPECT_EQ(written->get_item(i)->number(), read->get_item(i)->number()) << "key " << i;
    EXPECT_EQ("=> # 1", read->get_item(0)->description());
    EXPECT_TRUE(window.key_document(1).is_modified());
    EXPECT_NE(nullptr, window.mifare_dialog()) << "the dialog stays open after reading";
    close_dialog();

    activate("mf_clear");
    dialog = wait_for_dialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Mifare: Cleaning Cards", dialog->get_title());
    present_set("desk1", {"C0DE0001", "C0DE0002"}, kNextCard);
    for (const char* uid : {"C0DE0001", "C0DE0002"}) {
        EXPECT_EQ(Bytes(16, 0), card_block(uid, 1)) << uid;
        EXPECT_EQ(Bytes(16, 0), card_block(uid, 2)) << uid;
        for (unsigned sector = 0; sector < 16; ++sector) {
            const Bytes trailer = card_block(uid, trailer_block(sector));
            EXPECT_EQ(Bytes(6, 0xFF), Bytes(trailer.begin(), trailer.begin() + 6))
                << uid << " sector " << sector;
        }
    }
}

struct AutoCase {
    const char* name;
    // Readers listed before the dialog opens, and one attached while it is open ("" for none).
    std::vector<std::pair<const char*, int>> before;
    std::pair<const char*, int> later;
    const char* chosen;
};

class MifareAutoPortTest : public MifareWorldFixture, public ::testing::WithParamInterface<AutoCase> {};

TEST_P(MifareAutoPortTest, AutoChoosesADesktopReaderAndKeepsOneInUse) {
    const AutoCase& c = GetParam();
    for (const auto& [name, model] : c.before)
        add_reader(name, model);
    CMainWindow& window = open_window();
    activate("mf_prepare");
    CMifareDialog* dialog = wait_for_dialog();
    ASSERT_NE(nullptr, dialog);
    rdx_port_type type = RDX_PORT_NONE;
    Glib::ustring name;
    ASSERT_TRUE(pump_until([&] {
        dialog->get_reader_port(type, name);
        return !name.empty();
    }));
    if (c.later.first[0] != '\0') {
        add_reader(c.later.first, c.later.second);
        const guint listed = static_cast<guint>(c.before.size()) + 1;
        ASSERT_TRUE(pump_until([&] { return window.device_ports().devices()->get_n_items() == listed; }));
        // The dialog's own search hears of the new device as the window's does; give it the time to.
        pump_until(
            [&] {
                dialog->get_reader_port(type, name);
                return name.raw() != c.chosen;
            },
            std::chrono::milliseconds(1500));
    }
    dialog->get_reader_port(type, name);
    EXPECT_EQ(RDX_PORT_COM, type);
    EXPECT_EQ(c.chosen, name.raw());
}

INSTANTIATE_TEST_SUITE_P(
    Readers, MifareAutoPortTest,
    ::testing::Values(AutoCase{"DesktopReaderBeforeOther", {{"other8", 8}, {"desk2", 2}}, {"", 0}, "desk2"},
                      AutoCase{"OtherReaderWhenAlone", {{"adapter4", 4}, {"other9", 9}}, {"", 0}, "other9"},
                      AutoCase{"ReaderInUseKept", {{"other8", 8}}, {"desk2", 2}, "other8"}),
    [](const ::testing::TestParamInfo<AutoCase>& info) { return info.param.name; });

TEST_F(MifareDialogTest, AFixedReaderAttachedLateIsUsedOnceItAppears) {
    set_reader_port("COM", "late1");
    add_reader("late1", 2, false);
    blank_card("C0DE0001");
    open_window();
    activate("mf_prepare");
    ASSERT_NE(nullptr, wait_for_dialog());
    put_card("late1", "C0DE0001");
    EXPECT_FALSE(pump_until([&] { return dialog_status().raw().find("The reader is connected") == 0; },
                            std::chrono::milliseconds(1500)))
        << "a reader not attached stays silent";
    list_device("late1", 2);
    present_set("late1", {"C0DE0001"}, kNextCard);
}

TEST_F(MifareDialogTest, NoReaderPortMeansNoCardIsTouched) {
    set_reader_port("", "");
    add_reader("desk1");
    blank_card("C0DE0001");
    put_card("desk1", "C0DE0001");
    open_window();
    activate("mf_prepare");
    CMifareDialog* dialog = wait_for_dialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Port not selected", dialog->get_status_text());
    EXPECT_FALSE(pump_until([&] { return card_block("C0DE0001", 2) != Bytes(16, 0); },
                            std::chrono::milliseconds(1500)));
    EXPECT_EQ("Port not selected", dialog->get_status_text());
    EXPECT_EQ(0u, dialog->card_rows()->get_n_items());
}

TEST_F(MifareDialogTest, AListAboveTheCardSetLimitIsCutAndTheQuestionNamesTheLimit) {
    add_reader("desk1");
    make_distinct_database("big", 2000);
    CMainWindow& window = open_databases({"big"});

    const auto [keys, lock_code, count, duplicates] = list_for_write(1363);
    ASSERT_EQ(1363u, keys.size());
    EXPECT_EQ(2000u, count);
    EXPECT_EQ(0u, duplicates);
    const auto& store = window.key_document(0).get_keys();
    EXPECT_EQ(store->get_item(0)->number(), keys.front().number);
    EXPECT_EQ(store->get_item(1362)->number(), keys.back().number);

    activate("mf_from_db");
    const std::string text = message_text();
    EXPECT_NE(std::string::npos, text.find("1363")) << text;
    EXPECT_NE(std::string::npos, text.find("Continue?")) << text;
    answer(Gtk::ResponseType::CANCEL);
    EXPECT_FALSE(
        pump_until([&] { return window.mifare_dialog() != nullptr; }, std::chrono::milliseconds(500)))
        << "Cancel writes nothing";

    activate("mf_from_db");
    answer(Gtk::ResponseType::OK);
    CMifareDialog* dialog = wait_for_dialog();
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Mifare: Card Recording", dialog->get_title());
}

TEST_F(MifareDialogTest, CardsOfAnotherSetAreRefusedAndTheReadGoesOn) {
    CMainWindow& window = open_set_world({"C0DE0A01", "C0DE0A02", "C0DE0B01", "C0DE0B02"});
    write_set("C0DE0A01", "C0DE0A02");
    write_set("C0DE0B01", "C0DE0B02");

    window.SetActiveKeyTable(1);
    activate("mf_to_db");
    ASSERT_NE(nullptr, wait_for_dialog());
    present_set("desk1", {"C0DE0A01"}, kNextCard);
    put_card("desk1", "C0DE0B02");
    ASSERT_TRUE(wait_status("Wrong group.")) << dialog_status();
    put_card("desk1", "C0DE0B01");
    ASSERT_TRUE(wait_status("Wrong sequence of ID code.")) << dialog_status();
    EXPECT_EQ(0u, window.key_document(1).get_keys()->get_n_items());
    EXPECT_FALSE(window.key_document(1).is_modified());

    present_set("desk1", {"C0DE0A02"}, "Ready.");
    EXPECT_TRUE(pump_until([&] { return window.key_document(1).get_keys()->get_n_items() == kSetKeys; }));
}

TEST_F(MifareDialogTest, AReaderLostInTheMiddleOfACardLeavesTheDocumentAndTheWindowUsable) {
    CMainWindow& window = open_set_world({"C0DE0001", "C0DE0002"});
    write_set("C0DE0001", "C0DE0002");

    window.SetActiveKeyTable(1);
    // Authentication of sector 0, block 1 and block 2 go through; the next card call loses the device.
    arm_fault("desk1", "lose-device 3");
    activate("mf_to_db");
    CMifareDialog* dialog = wait_for_dialog();
    ASSERT_NE(nullptr, dialog);
    watch_statuses(*dialog);
    put_card("desk1", "C0DE0001");
    ASSERT_TRUE(pump_until([&] { return status_seen("The reader is disconnected"); })) << dialog_status();
    EXPECT_EQ(0u, window.key_document(1).get_keys()->get_n_items());
    EXPECT_FALSE(window.key_document(1).is_modified());
    EXPECT_TRUE(window.get_visible());
    EXPECT_TRUE(dialog->get_visible());

    // The worker connects the reader again and takes the card still lying on it; the read then completes.
    present_set("desk1", {"C0DE0001", "C0DE0002"}, "Ready.");
    EXPECT_TRUE(pump_until([&] { return window.key_document(1).get_keys()->get_n_items() == kSetKeys; }));
    close_dialog();
    EXPECT_TRUE(action_enabled("main", "mf_to_db"));
}

} // namespace
