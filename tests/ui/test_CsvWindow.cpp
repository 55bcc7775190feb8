// CSV export and import driven through the window's actions: the file chooser answered by the test, the
// keys read back into another panel, and failures that must change nothing and be shown to the user.
#include "StoredKeyRows.h"
#include "WindowFixture.h"
#include "common/TestFiles.h"
#include "keys/KeyNumber.h"

namespace {
using test::read_text;
using test::write_text;
} // namespace

class CsvWindowTest : public WindowFixture {
protected:
    CMainWindow& open_two() {
        make_database("a");
        make_database("b");
        CMainWindow& window = open_databases({"a", "b"});
        // The test answers the file chooser: every request gets m_chosen (nothing when empty).
        window.set_file_chooser(
            [this](const CMainWindow::FileRequest& request, CMainWindow::FileChosenSlot chosen) {
                m_requests.push_back(request);
                if (m_chosen.empty())
                    chosen(std::nullopt);
                else
                    chosen(m_chosen);
            });
        window.set_shift_probe([this] { return m_shift; });
        return window;
    }

    void add(CKeyDocument& doc, std::uint8_t low, KeyAttr attr, const Glib::ustring& description) {
        const std::uint8_t bytes[] = {low, 0x22, 0x33, 0x44, 0x55, 0x66};
        auto key =
            doc.add_key(doc.generate_key_id(), CT_DALLAS, CCardUID(bytes, 6), false, attr, description);
        key->set_created(1764950400 + low); // early December 2025
    }

    std::filesystem::path m_chosen;
    bool m_shift = false;
    std::vector<CMainWindow::FileRequest> m_requests;
};

TEST_F(CsvWindowTest, KeysExportedFromOnePanelImportIntoAnotherWithEveryValue) {
    CMainWindow& window = open_two();
    CKeyDocument& source = window.key_document(0);
    add(source, 1, KA_NORMAL, "Front door, left");
    add(source, 2, KA_MASTER, "the \"main\" key");
    add(source, 3, KA_BLOCKING, "two lines\r\nof text");
    add(source, 4, KA_INACTIVE, "Дверь склада");
    window.SetActiveKeyTable(0);

    m_chosen = m_root / "keys"; // no extension: ".csv" is added
    activate("export-csv");
    ASSERT_TRUE(pump_until([&] { return std::filesystem::exists(m_root / "keys.csv"); }));
    ASSERT_EQ(1u, m_requests.size());
    EXPECT_TRUE(m_requests[0].save);
    EXPECT_EQ("Enter the name of the CSV file", m_requests[0].title);
    EXPECT_EQ("4 keys exported", last_history());
    EXPECT_NE(std::string::npos, read_text(m_root / "keys.csv").find("\"the \"\"main\"\" key\""));

    window.SetActiveKeyTable(1);
    m_chosen = m_root / "keys.csv";
    activate("import-csv");
    ASSERT_TRUE(pump_until([&] { return window.key_document(1).get_keys()->get_n_items() == 4; }));
    EXPECT_EQ(stored_rows(source), stored_rows(window.key_document(1)));
    EXPECT_EQ("4 keys imported: 4 added, 0 re-added", last_history());
    EXPECT_TRUE(window.key_document(1).is_modified());
}

TEST_F(CsvWindowTest, ImportReplacesThePanelUnlessShiftIsHeld) {
    struct Case {
        bool shift;
        guint keys_after;
    };
    for (const Case c : {Case{false, 1}, Case{true, 2}}) {
        SCOPED_TRACE(c.shift);
        CMainWindow& window = open_two();
        add(window.key_document(0), 1, KA_NORMAL, "only in the panel");
        add(window.key_document(1), 2, KA_NORMAL, "in the file");
        window.SetActiveKeyTable(1);
        m_chosen = m_root / "file.csv";
        activate("export-csv");
        ASSERT_TRUE(pump_until([&] { return std::filesystem::exists(m_chosen); }));

        window.SetActiveKeyTable(0);
        m_shift = c.shift;
        activate("import-csv");
        EXPECT_TRUE(pump_until([&] { return last_history().find("imported") != std::string::npos; }));
        EXPECT_EQ(c.keys_after, window.key_document(0).get_keys()->get_n_items());
        m_window->destroy();
        pump_until([this] { return m_window == nullptr; });
        std::filesystem::remove(m_chosen);
        std::filesystem::remove(m_db_dir / "a.dbf");
        std::filesystem::remove(m_db_dir / "b.dbf");
    }
}

TEST_F(CsvWindowTest, AFileThatCannotBeImportedChangesNothingAndIsReported) {
    struct Case {
        const char* name;
        std::function<std::filesystem::path(const std::filesystem::path&)> make;
    };
    const Case cases[] = {
        {"unreadable", [](const std::filesystem::path& root) { return root / "missing.csv"; }},
        {"a folder",
         [](const std::filesystem::path& root) {
             std::filesystem::create_directory(root / "folder.csv");
             return root / "folder.csv";
         }},
        {"foreign header",
         [](const std::filesystem::path& root) {
             write_text(root / "foreign.csv", "Номер,Тип,Описание\n01,DS,ключ\n");
             return root / "foreign.csv";
         }},
    };
    CMainWindow& window = open_two();
    add(window.key_document(0), 1, KA_NORMAL, "kept");
    add(window.key_document(0), 2, KA_NORMAL, "kept too");
    window.key_document(0).set_modified_flag(false);
    window.SetActiveKeyTable(0);
    const auto before = stored_rows(window.key_document(0));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_chosen = c.make(m_root);
        const size_t history_before = history_size();
        activate("import-csv");
        const std::string shown = message_text();
        EXPECT_FALSE(shown.empty());
        EXPECT_EQ(history_before + 1, history_size());
        EXPECT_EQ(shown, last_history());
        EXPECT_EQ(before, stored_rows(window.key_document(0)));
        EXPECT_FALSE(window.key_document(0).is_modified());
        window.ReleaseMessageDialog();
        ASSERT_TRUE(pump_until([&] { return find_question() == nullptr; }));
    }
}

TEST_F(CsvWindowTest, AFailedExportKeepsTheExistingFileAndIsReported) {
    CMainWindow& window = open_two();
    add(window.key_document(0), 1, KA_NORMAL, "new");
    window.SetActiveKeyTable(0);
    m_chosen = m_root / "old.csv";
    write_text(m_chosen, "the old content\n");
    // Something that is not a file stands where the export writes first: the export fails as a whole.
    std::filesystem::create_directory(m_root / "old.csv.tmp");

    activate("export-csv");
    const std::string shown = message_text();
    EXPECT_NE(std::string::npos, shown.find("old.csv")) << shown;
    EXPECT_EQ(shown, last_history());
    EXPECT_EQ("the old content\n", read_text(m_chosen));
}

TEST_F(CsvWindowTest, TheDatabaseListIsExportedInTheListView) {
    make_database("first", 2);
    make_database("second", 0);
    CMainWindow& window = open_window();
    window.set_file_chooser([this](const CMainWindow::FileRequest&, CMainWindow::FileChosenSlot chosen) {
        chosen(m_root / "bases.csv");
    });
    ASSERT_EQ(CMainWindow::VIEW_DATABASES, window.GetViewMode());
    activate("export-csv");
    ASSERT_TRUE(pump_until([&] { return std::filesystem::exists(m_root / "bases.csv"); }));
    const std::string text = read_text(m_root / "bases.csv");
    EXPECT_EQ(0u, text.find("Database,Description,Keys\n")) << text;
    EXPECT_NE(std::string::npos, text.find("first,,2\n")) << text;
    EXPECT_NE(std::string::npos, text.find("second,,0\n")) << text;
}

TEST_F(CsvWindowTest, ADismissedChooserDoesNothing) {
    CMainWindow& window = open_two();
    add(window.key_document(0), 1, KA_NORMAL, "kept");
    window.SetActiveKeyTable(0);
    const size_t history_before = history_size();
    activate("import-csv");
    pump_pending();
    EXPECT_EQ(1u, window.key_document(0).get_keys()->get_n_items());
    EXPECT_EQ(history_before, history_size());
    EXPECT_EQ(nullptr, find_question());
}
