// The world the run command starts (tools/world.sh: the device simulator as a process of its own on a
// pseudo-terminal, the stand-in reader library's Mifare reader with blank cards, the sample databases),
// used through the window as a person would: a sample database written to the controller and read back into
// an empty database, then written to a set of Mifare cards and read back the same way.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "test_DeviceFlowFixture.h"
#include "ui/CMifareDialog.h"

namespace {

constexpr const char* kReader = "mifare1";
constexpr const char* kNextCard = "Ready. Swipe the following card Mifare Classic 4K/1K.";
constexpr const char* kDone = "Ready.";
// The blank cards the world lays out.
const std::vector<std::string> kCards = {"04A1B201", "04A1B202", "04A1B203"};

class DemoWorldTest : public DeviceFlowTest {
protected:
    void SetUp() override {
        // The devices come from the world's own processes, not from a simulator inside the test.
        WindowFixture::SetUp();
        const std::filesystem::path source = std::getenv("KESTRIX_SOURCE_DIR");
        const std::filesystem::path binary = std::getenv("KESTRIX_BINARY_DIR");
        m_binary = binary;
        const auto ready = m_root / "world-ready";
        const std::string script = "top='" + source.string() + "'; build='" +
                                   std::filesystem::relative(binary, source).string() +
                                   "'; source \"$top/tools/world.sh\" >/dev/null; "
                                   "trap 'world_stop; exit 0' TERM; echo \"$RDX_SIM_DIR\" > '" +
                                   ready.string() + "'; wait";
        m_world_pid = fork();
        ASSERT_GE(m_world_pid, 0);
        if (m_world_pid == 0) {
            execl("/bin/bash", "bash", "-c", script.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        ASSERT_TRUE(pump_until([&] {
            std::error_code error;
            return std::filesystem::exists(ready, error) && std::filesystem::file_size(ready, error) > 1;
        })) << "the world did not start";
        std::ifstream(ready) >> m_world_dir;
        setenv("RDX_SIM_DIR", m_world_dir.c_str(), 1);
        // The sample databases were copied where the run command puts them for a new user.
        m_db_dir = m_root / "config" / "kestrix" / "bases";
        m_settings->set_string("db-dir", m_db_dir.string());
        // The questions before writing are tested elsewhere; here the lists go through as they are.
        m_settings->set_boolean("lock-time-confirm", false);
        m_settings->set_boolean("key-list-confirm", false);
    }
    void TearDown() override {
        WindowFixture::TearDown();
        if (m_world_pid > 0) {
            kill(m_world_pid, SIGTERM);
            waitpid(m_world_pid, nullptr, 0);
        }
    }

    void cards(const std::string& command) {
        const std::string line =
            (m_binary / "kestrix-cards").string() + " --world '" + m_world_dir.string() + "' " + command;
        ASSERT_EQ(0, std::system((line + " >/dev/null").c_str())) << line;
    }

    CMifareDialog* dialog() { return m_window->mifare_dialog(); }

    // Opens the Mifare dialog of `action` with no card on the reader, then lays the cards on it one after
    // the other until the dialog says it is done (or asks for a card that is not there). How many cards
    // were used.
    std::size_t run_card_set(const char* action) {
        cards(std::string("take ") + kReader);
        activate(action);
        EXPECT_TRUE(pump_until([&] { return dialog() != nullptr; }));
        std::size_t used = 0;
        for (const std::string& uid : kCards) {
            cards("put " + uid + " " + kReader);
            ++used;
            EXPECT_TRUE(pump_until([&] {
                const std::string status = dialog() != nullptr ? dialog()->get_status_text().raw() : "";
                return dialog() != nullptr && dialog()->card_rows()->get_n_items() >= used &&
                       (status == kNextCard || status == kDone);
            })) << uid
                << ": " << (dialog() != nullptr ? dialog()->get_status_text().raw() : "no dialog");
            if (dialog() == nullptr || dialog()->get_status_text().raw() == kDone)
                break;
        }
        return used;
    }
    void close_dialog() {
        if (dialog() != nullptr)
            dialog()->set_visible(false);
        EXPECT_TRUE(pump_until([&] { return dialog() == nullptr; }));
    }

    std::vector<KeyRow> sample_rows(const std::string& name) {
        CKeyDocument sample;
        sample.set_filename(m_db_dir / (name + ".dbf"));
        sample.open();
        auto rows = rows_of(sample);
        sample.close(false);
        return rows;
    }

    pid_t m_world_pid = -1;
    std::filesystem::path m_binary;
    std::filesystem::path m_world_dir;
};

TEST_F(DemoWorldTest, ASampleDatabaseGoesThroughTheControllerAndThroughMifareCardsUnchanged) {
    const std::string sample = "Подъезд 1";
    ASSERT_TRUE(std::filesystem::exists(m_db_dir / (sample + ".dbf")));
    const auto expected = sample_rows(sample);
    ASSERT_FALSE(expected.empty());

    open_connected(sample);
    ASSERT_TRUE(run_action("q4t_from_db", CAdapterThread::CMD_Q4T_FROM_DB));
    ASSERT_EQ(0u, last_history().find("Recording has completed successfully (")) << last_history();
    make_database("from the controller");
    reopen("from the controller");
    ASSERT_TRUE(run_action("q4t_to_db", CAdapterThread::CMD_Q4T_TO_DB));
    // The keys reach the document after the command has ended.
    EXPECT_TRUE(pump_until([&] { return doc().get_keys()->get_n_items() == expected.size(); }))
        << window_status();
    EXPECT_TRUE(rows_of(doc()) == expected);

    activate("save");
    EXPECT_FALSE(doc().is_modified());

    // The blank cards become a set, carry the sample and give it back.
    reopen(sample);
    EXPECT_EQ(kCards.size(), run_card_set("mf_prepare"));
    close_dialog();
    const std::size_t written = run_card_set("mf_from_db");
    EXPECT_EQ(kDone, dialog()->get_status_text().raw());
    close_dialog();
    make_database("from the cards");
    reopen("from the cards");
    EXPECT_EQ(written, run_card_set("mf_to_db"));
    ASSERT_TRUE(pump_until([&] { return doc().get_keys()->get_n_items() == expected.size(); }))
        << doc().get_keys()->get_n_items() << " keys read";
    EXPECT_TRUE(rows_of(doc()) == expected);
    close_dialog();
}

} // namespace
