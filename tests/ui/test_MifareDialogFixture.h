// The window in a simulated reader world: a temporary world folder for the stand-in reader library with
// its device list, Mifare readers, cards (written in the world's text format, as the kestrix-cards helper
// writes them) and armed faults, and the Mifare dialog the window opens.
#pragma once

#include <string>
#include <vector>

#include "WindowFixture.h"
#include "readers/ReaderWorldFiles.h"
#include "ui/CMifareDialog.h"

class MifareWorldFixture : public WindowFixture {
protected:
    using Bytes = reader_world::Bytes;
    static unsigned trailer_block(unsigned sector) { return reader_world::trailer_block(sector); }

    void SetUp() override {
        WindowFixture::SetUp();
        m_world = make_world({"readers", "cards", "faults", "temic"});
        test::replace_text(m_world / "devices", "");
    }

    // A Mifare reader on a COM port (model 2: a desktop Mifare reader) with no card on it.
    void add_reader(const std::string& name, int model = 2, bool listed = true) {
        test::replace_text(m_world / "readers" / name, "card -\n");
        if (listed)
            list_device(name, model);
    }
    void list_device(const std::string& name, int model) {
        test::replace_text(m_world / "devices", test::read_text(m_world / "devices") + "COM\t" + name + "\t" +
                                                    std::to_string(model) + "\t-1\t0\n");
    }

    void blank_card(const std::string& uid, const char* size = "1k") {
        test::replace_text(m_world / "cards" / uid, reader_world::blank_card_text(uid, size));
    }
    Bytes card_block(const std::string& uid, unsigned index) const {
        return reader_world::card_block(m_world / "cards" / uid, index);
    }
    void put_card(const std::string& reader, const std::string& uid) {
        test::replace_text(m_world / "readers" / reader,
                           "card " + (uid.empty() ? std::string("-") : uid) + "\n");
    }
    void arm_fault(const std::string& reader, const std::string& line) {
        test::replace_text(m_world / "faults" / reader, line + "\n");
    }
    void set_reader_port(const char* type, const char* name) {
        m_settings->set_string("reader-port-type", type);
        m_settings->set_string("reader-port-name", name);
    }

    // A database of `count` keys with distinct full numbers.
    void make_distinct_database(const std::string& name, unsigned count) {
        make_database_with(name, [count](CKeyDocument& doc) {
            for (unsigned i = 0; i < count; ++i) {
                const std::uint8_t bytes[] = {std::uint8_t(i), std::uint8_t(i >> 8), 0x5A, 0x3C, 0x01, 0x00};
                doc.add_key(doc.generate_key_id(), CT_DALLAS, CCardUID(bytes, 6), false, KA_NORMAL, "key");
            }
        });
    }

    CMifareDialog* wait_for_dialog() {
        pump_until([this] { return m_window->mifare_dialog() != nullptr; });
        return m_window->mifare_dialog();
    }
    bool wait_status(const char* text) {
        return pump_until([&] {
            CMifareDialog* dialog = m_window->mifare_dialog();
            return dialog != nullptr && dialog->get_status_text().raw() == text;
        });
    }
    Glib::ustring dialog_status() const {
        CMifareDialog* dialog = m_window->mifare_dialog();
        return dialog != nullptr ? dialog->get_status_text() : Glib::ustring("(no dialog)");
    }
    // Lays each card on the reader in turn, waiting until the dialog shows it done (its row and the status
    // that ends a card): a status alone could still be the previous card's.
    void present_set(const std::string& reader, const std::vector<std::string>& cards,
                     const char* last_status) {
        for (size_t i = 0; i < cards.size(); ++i) {
            put_card(reader, cards[i]);
            const char* expected = i + 1 == cards.size() ? last_status : kNextCard;
            ASSERT_TRUE(pump_until([&] {
                CMifareDialog* dialog = m_window->mifare_dialog();
                return dialog != nullptr && dialog->card_rows()->get_n_items() >= i + 1 &&
                       dialog->get_status_text().raw() == expected;
            })) << "card "
                << cards[i] << ": " << dialog_status();
        }
    }
    void close_dialog() {
        if (CMifareDialog* dialog = m_window->mifare_dialog())
            dialog->set_visible(false);
        ASSERT_TRUE(pump_until([this] { return m_window->mifare_dialog() == nullptr; }));
    }

    static constexpr const char* kNextCard = "Ready. Swipe the following card Mifare Classic 4K/1K.";
    std::filesystem::path m_world;
};
