// The window in a simulated reader world: a temporary world folder for the stand-in reader library with
// its device list, Mifare readers, cards (written in the world's text format, as the kestrix-cards helper
// writes them) and armed faults, and the Mifare dialog the window opens.
#pragma once

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "WindowFixture.h"
#include "WorldCards.h"
#include "ui/CMifareDialog.h"

class MifareWorldFixture : public WindowFixture {
protected:
    using Bytes = std::vector<std::uint8_t>;

    void SetUp() override {
        WindowFixture::SetUp();
        m_world = m_root / "world";
        for (const char* sub : {"readers", "cards", "faults", "temic"})
            std::filesystem::create_directories(m_world / sub);
        write_file(m_world / "devices", "");
        setenv("RDX_SIM_DIR", m_world.c_str(), 1);
    }
    void TearDown() override {
        WindowFixture::TearDown();
        unsetenv("RDX_SIM_DIR");
    }

    // Every change replaces the whole file, as the library expects from other processes.
    static void write_file(const std::filesystem::path& path, const std::string& text) {
        const auto tmp = path.string() + ".tmp.test";
        std::ofstream(tmp) << text;
        std::filesystem::rename(tmp, path);
    }
    static std::string read_file(const std::filesystem::path& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // A Mifare reader on a COM port (model 2: a desktop Mifare reader) with no card on it.
    void add_reader(const std::string& name, int model = 2, bool listed = true) {
        write_file(m_world / "readers" / name, "card -\n");
        if (listed)
            list_device(name, model);
    }
    void list_device(const std::string& name, int model) {
        write_file(m_world / "devices", read_file(m_world / "devices") + "COM\t" + name + "\t" +
                                            std::to_string(model) + "\t-1\t0\n");
    }
    void unlist_devices() { write_file(m_world / "devices", ""); }

    // A blank card as delivered (zero data blocks, transport trailers); uid is 8 hex digits as people read
    // it.
    void blank_card(const std::string& uid, const char* size = "1k") {
        write_file(m_world / "cards" / uid, blank_card_text(uid, size));
    }
    static unsigned trailer_block(unsigned sector) {
        return CMifareThread::MfSectorFirstBlock(sector) + CMifareThread::MfSectorBlockCount(sector) - 1;
    }
    Bytes card_block(const std::string& uid, unsigned index) const {
        std::istringstream lines(read_file(m_world / "cards" / uid));
        const std::string prefix = "block " + std::to_string(index) + " ";
        for (std::string line; std::getline(lines, line);) {
            if (line.rfind(prefix, 0) != 0)
                continue;
            Bytes data;
            for (size_t i = prefix.size(); i + 1 < line.size(); i += 2)
                data.push_back(static_cast<std::uint8_t>(std::stoul(line.substr(i, 2), nullptr, 16)));
            return data;
        }
        return {};
    }
    void put_card(const std::string& reader, const std::string& uid) {
        write_file(m_world / "readers" / reader, "card " + (uid.empty() ? std::string("-") : uid) + "\n");
    }
    void arm_fault(const std::string& reader, const std::string& line) {
        write_file(m_world / "faults" / reader, line + "\n");
    }
    void set_reader_port(const char* type, const char* name) {
        m_settings->set_string("reader-port-type", type);
        m_settings->set_string("reader-port-name", name);
    }

    // A database of `count` keys with distinct full numbers.
    void make_distinct_database(const std::string& name, unsigned count) {
        CKeyDocument doc;
        doc.set_filename(m_db_dir / (name + ".dbf"));
        doc.open();
        for (unsigned i = 0; i < count; ++i) {
            const std::uint8_t bytes[] = {
                static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8), 0x5A, 0x3C, 0x01, 0x00};
            doc.add_key(doc.generate_key_id(), CT_DALLAS, CCardUID(bytes, sizeof bytes), false, KA_NORMAL,
                        "key");
        }
        doc.save();
        doc.close(false);
    }

    void activate(const char* action) { m_window->main_actions()->activate_action(action); }

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
