// The database list in the real window against a real database folder: listing, following the folder
// behind the program's back, the editor (create, describe, rename), deleting with its questions, filtering
// and opening. Every result is read where the user sees it: the list, the entries, the message boxes, the
// status history and the files themselves.
#include <gtkmm/entry.h>

#include "WindowFixture.h"
#include "common/TestFiles.h"
#include "keys/CKeyDb.h"
#include "ui/Highlight.h"

namespace {
using Names = std::vector<std::string>;

using test::read_text;
using test::write_text;
} // namespace

class DbListPanelTest : public WindowFixture {
protected:
    void make_described(const std::string& name, const std::string& description, int keys = 0) {
        make_database(name, keys);
        CKeyDb db;
        db.Connect(m_db_dir / (name + ".dbf"), false);
        db.SetComment(description);
        db.Close();
    }

    Names listed() const {
        Names names;
        auto store = m_window->db_store();
        for (guint i = 0; i < store->get_n_items(); ++i)
            names.push_back(store->get_item(i)->name());
        std::sort(names.begin(), names.end());
        return names;
    }

    Names shown() {
        Names names;
        auto model = m_window->db_panel().selection();
        for (guint i = 0; i < model->get_n_items(); ++i)
            names.push_back(std::dynamic_pointer_cast<CDbInfo>(model->get_object(i))->name());
        return names;
    }

    Glib::RefPtr<CDbInfo> row(const std::string& name) {
        const guint position = m_window->FindBaseByName(name);
        return position == CMainWindow::kNoBase ? Glib::RefPtr<CDbInfo>()
                                                : m_window->db_store()->get_item(position);
    }

    void select(const Names& names) {
        auto model = m_window->db_panel().selection();
        model->unselect_all();
        for (guint i = 0; i < model->get_n_items(); ++i) {
            auto item = std::dynamic_pointer_cast<CDbInfo>(model->get_object(i));
            if (std::find(names.begin(), names.end(), item->name().raw()) != names.end())
                model->select_item(i, false);
        }
        pump_pending(); // the editor follows the selection
    }

    Gtk::Entry& name_entry() { return labelled<Gtk::Entry>("Database", "Database name"); }
    Gtk::Entry& description_entry() { return labelled<Gtk::Entry>("Database", "Database description"); }
    Gtk::Button& editor_button(const char* label) { return button("Database", label); }
    void click(const char* label) { WindowFixture::click(editor_button(label)); }

    size_t files_in_folder() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(m_db_dir), {}));
    }
};

// ---- Listing ----

TEST_F(DbListPanelTest, ListsOnlyRegularFilesWithLowerCaseExtension) {
    make_database("a");
    std::filesystem::copy_file(m_db_dir / "a.dbf", m_db_dir / "A.DBF");
    std::filesystem::copy_file(m_db_dir / "a.dbf", m_db_dir / "b.Dbf");
    std::filesystem::copy_file(m_db_dir / "a.dbf", m_db_dir / "c.txt");
    std::filesystem::create_directory(m_db_dir / "d.dbf");
    open_window();
    EXPECT_EQ((Names{"a"}), listed());
}

struct UnreadableCase {
    const char* what;
    std::string bytes;
};

TEST_F(DbListPanelTest, UnreadableDatabaseIsListedWithItsReasonAndTheOthersStillAre) {
    const UnreadableCase cases[] = {
        {"empty file", ""},
        {"short header", "\x03\x7a\x01"},
        {"header length past the end",
         std::string("\x03\x7a\x01\x01\x05\0\0\0\xff\x7f\x10\0", 12) + std::string(40, ' ')},
    };
    make_described("good", "fine", 2);
    make_database("plain", 3); // no description
    for (size_t i = 0; i < std::size(cases); ++i)
        write_text(m_db_dir / ("bad" + std::to_string(i) + ".dbf"), cases[i].bytes);
    open_window();
    ASSERT_TRUE(row("good"));
    EXPECT_EQ("", row("good")->error());
    EXPECT_EQ("fine", row("good")->description());
    EXPECT_EQ(2, row("good")->keys());
    ASSERT_TRUE(row("plain"));
    EXPECT_EQ("", row("plain")->error());
    EXPECT_EQ(3, row("plain")->keys());
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].what);
        auto bad = row("bad" + std::to_string(i));
        ASSERT_TRUE(bad);
        EXPECT_EQ("Bad database format.", bad->error());
    }
}

TEST_F(DbListPanelTest, FollowsFilesCreatedRemovedAndRenamedBehindItsBack) {
    make_database("a");
    CMainWindow& window = open_window();
    make_described("late", "arrived", 1);
    ASSERT_TRUE(pump_until([&] { return listed() == Names{"a", "late"}; })) << listed().size();
    EXPECT_EQ("arrived", row("late")->description());

    std::filesystem::rename(m_db_dir / "late.dbf", m_db_dir / "moved.dbf");
    ASSERT_TRUE(pump_until([&] { return listed() == Names{"a", "moved"}; }));

    std::filesystem::remove(m_db_dir / "a.dbf");
    ASSERT_TRUE(pump_until([&] { return listed() == Names{"moved"}; }));
    // Other files do not make rows.
    write_text(m_db_dir / "notes.txt", "x");
    make_database("last");
    ASSERT_TRUE(pump_until([&] { return listed() == Names{"last", "moved"}; }));
    EXPECT_EQ(CMainWindow::kNoBase, window.FindBaseByName("notes"));

    // The same letters in another Unicode form (e and a combining accent) name another file: another row.
    make_database("caf\xc3\xa9");
    make_database("cafe\xcc\x81");
    ASSERT_TRUE(pump_until([&] { return listed().size() == 4; })) << listed().size();
}

TEST_F(DbListPanelTest, ChangingTheFolderSettingListsTheNewFolder) {
    make_database("a");
    CMainWindow& window = open_window();
    const auto other = m_root / "other" / "deeper";
    m_settings->set_string("db-dir", other.string());
    ASSERT_TRUE(pump_until([&] { return std::filesystem::is_directory(other); }));
    EXPECT_TRUE(pump_until([&] { return window.db_store()->get_n_items() == 0; }));
    m_db_dir = other;
    make_database("b");
    EXPECT_TRUE(pump_until([&] { return listed() == Names{"b"}; }));
}

// ---- Editor from the selection ----

struct SelectionCase {
    Names selected;
    const char* name;
    const char* description;
    bool name_sensitive;
    bool apply_sensitive;
    bool open_enabled;
};

TEST_F(DbListPanelTest, EditorAndOpenFollowTheSelection) {
    const SelectionCase cases[] = {
        {{}, "", "", true, false, false},
        {{"a"}, "a", "same", true, true, true},
        {{"a", "b"}, "", "same", false, true, true},
        {{"a", "c"}, "", "*", false, true, true},
        {{"a", "b", "c"}, "", "*", false, true, false},
    };
    make_described("a", "same");
    make_described("b", "same");
    make_described("c", "other");
    CMainWindow& window = open_window();
    for (const SelectionCase& c : cases) {
        SCOPED_TRACE(c.selected.size());
        select(c.selected);
        EXPECT_EQ(c.name, name_entry().get_text());
        EXPECT_EQ(c.description, description_entry().get_text());
        EXPECT_EQ(c.name_sensitive, name_entry().get_sensitive());
        EXPECT_EQ(c.name_sensitive, editor_button("Create").get_sensitive());
        EXPECT_EQ(c.apply_sensitive, editor_button("Apply").get_sensitive());
        EXPECT_EQ(c.open_enabled, action_enabled("main", "open"));
        EXPECT_EQ(std::to_string(c.selected.size()) + "/3", window.status_bar().get_count().raw());
    }
    // Three selected: Return does nothing.
    window.DoOpen();
    EXPECT_EQ(CMainWindow::VIEW_DATABASES, window.GetViewMode());
}

// ---- Creating ----

TEST_F(DbListPanelTest, CreateMakesTheDatabaseAndSelectsItsRowWhenItArrives) {
    make_database("a");
    CMainWindow& window = open_window();
    name_entry().set_text("new");
    description_entry().set_text("fresh");
    click("Create");
    EXPECT_EQ("Database \"new\" created", window.status_bar().get_status());
    ASSERT_TRUE(pump_until([&] { return row("new") && window.db_panel().selected_count() == 1; }));
    EXPECT_EQ("new", window.db_panel().selected_items().front()->name());
    EXPECT_EQ("fresh", row("new")->description());
    Glib::ustring description;
    int keys = -1;
    EXPECT_TRUE(CKeyDb::GetKeyDbInfo(m_db_dir / "new.dbf", description, keys));
    EXPECT_EQ("fresh", description);
    EXPECT_EQ(0, keys);
}

struct RefusedNameCase {
    const char* name;
    std::string message;
};

TEST_F(DbListPanelTest, CreateRefusesEmptyInvalidAndTakenNames) {
    make_database("taken");
    const RefusedNameCase cases[] = {
        {"", "Field must be filled in."},
        {"a/b", "Invalid file name"},
        {"wh?t", "Invalid file name"},
        {"taken", "The file \"" + (m_db_dir / "taken.dbf").string() + "\" already exists."},
    };
    open_window();
    for (const RefusedNameCase& c : cases) {
        SCOPED_TRACE(c.name);
        name_entry().set_text(c.name);
        click("Create");
        EXPECT_EQ(c.message, message_text());
        answer(Gtk::ResponseType::OK);
        EXPECT_EQ(1u, files_in_folder());
        // The entry's text part holds the focus.
        Gtk::Widget* focus = m_window->get_focus();
        ASSERT_NE(nullptr, focus);
        EXPECT_TRUE(focus == &name_entry() || focus->is_ancestor(name_entry()));
    }
}

// ---- Describing and renaming ----

TEST_F(DbListPanelTest, SameNameWithNewDescriptionTouchesOnlyTheComment) {
    make_described("a", "old", 3);
    const std::filesystem::path file = m_db_dir / "a.dbf";
    const std::string before = read_text(file);
    CMainWindow& window = open_window();
    select({"a"});
    description_entry().set_text("new words");
    const size_t from = history().size();
    click("Apply");
    EXPECT_EQ((Names{"Database \"a\" description changed: \"old\" -> \"new words\""}), history(from));
    EXPECT_EQ("new words", row("a")->description());
    const std::string after = read_text(file);
    ASSERT_EQ(before.size(), after.size());
    // Everything but the comment of record 0 (and the header's date of last change) is as it was.
    const std::size_t header_length =
        static_cast<unsigned char>(before[8]) | static_cast<unsigned char>(before[9]) << 8;
    const std::size_t comment = header_length + CKeyDb::kCommentOffset;
    for (std::size_t i = 4; i < after.size(); ++i) {
        if (i >= comment && i < comment + CKeyDb::kCommentLength)
            continue;
        ASSERT_EQ(before[i], after[i]) << "byte " << i;
    }
    EXPECT_EQ(3, keys_in_file("a"));
    EXPECT_EQ(CMainWindow::VIEW_DATABASES, window.GetViewMode());
}

TEST_F(DbListPanelTest, RenameMovesTheFileAndKeepsOneRow) {
    make_described("a", "words", 2);
    CMainWindow& window = open_window();
    select({"a"});
    name_entry().set_text("b");
    click("Apply");
    EXPECT_EQ("Database \"a\" has been renamed to \"b\"", window.status_bar().get_status());
    EXPECT_FALSE(std::filesystem::exists(m_db_dir / "a.dbf"));
    EXPECT_EQ(2, keys_in_file("b"));
    // The monitor's reports of the rename change nothing more.
    make_database("marker");
    ASSERT_TRUE(pump_until([&] { return row("marker") != nullptr; }));
    EXPECT_EQ((Names{"b", "marker"}), listed());
    EXPECT_EQ("words", row("b")->description());
}

TEST_F(DbListPanelTest, RenameToATakenNameChangesNothing) {
    make_database("a");
    make_database("b");
    open_window();
    select({"a"});
    name_entry().set_text("b");
    click("Apply");
    EXPECT_EQ("The file \"" + (m_db_dir / "b.dbf").string() + "\" already exists.", message_text());
    answer(Gtk::ResponseType::OK);
    EXPECT_EQ((Names{"a", "b"}), listed());
    EXPECT_TRUE(std::filesystem::exists(m_db_dir / "a.dbf"));
}

// ---- Deleting ----

struct DeleteCase {
    Names selected;
    std::string question;
    Names reports;
};

TEST_F(DbListPanelTest, DeleteAsksThenDeletesAndSumsUpOnlyForSeveral) {
    const DeleteCase cases[] = {
        {{"a"}, "Delete \"a\"?", {"Database \"a\" has been deleted."}},
        {{"b", "c"},
         "Delete 2 databases?",
         {"Database \"b\" has been deleted.", "Database \"c\" has been deleted.",
          "Databases deleted: 2, failed to delete: 0"}},
    };
    for (const char* name : {"a", "b", "c", "d"})
        make_database(name);
    open_window();
    for (const DeleteCase& c : cases) {
        SCOPED_TRACE(c.question);
        select(c.selected);
        activate("delete");
        EXPECT_EQ(c.question, message_text());
        // Cancel keeps everything.
        answer(Gtk::ResponseType::CANCEL);
        for (const auto& name : c.selected)
            EXPECT_TRUE(std::filesystem::exists(m_db_dir / (name + ".dbf")));
        const size_t from = history().size();
        activate("delete");
        answer(Gtk::ResponseType::OK);
        EXPECT_EQ(c.reports, history(from));
        EXPECT_TRUE(pump_until([&] {
            return std::none_of(c.selected.begin(), c.selected.end(), [&](const auto& n) { return row(n); });
        }));
    }
    EXPECT_EQ((Names{"d"}), listed());
}

TEST_F(DbListPanelTest, ConfirmedOrUnconfirmedByTheSettingsDeletesWithoutAsking) {
    for (const char* name : {"a", "b"})
        make_database(name);
    CMainWindow& window = open_window();
    select({"a"});
    window.DoDeleteDb(true); // Shift+Delete
    EXPECT_EQ(nullptr, find_question());
    EXPECT_FALSE(std::filesystem::exists(m_db_dir / "a.dbf"));
    ASSERT_TRUE(pump_until([&] { return listed() == Names{"b"}; }));

    m_settings->set_boolean("delete-db-confirm", false);
    select({"b"});
    activate("delete");
    EXPECT_EQ(nullptr, find_question());
    EXPECT_TRUE(pump_until([&] { return listed().empty(); }));
}

TEST_F(DbListPanelTest, FileGoneBeforeDeletingIsReportedAsFailed) {
    for (const char* name : {"a", "b"})
        make_database(name);
    m_settings->set_boolean("delete-db-confirm", false);
    CMainWindow& window = open_window();
    select({"a", "b"});
    // Removed by another program after the selection, before the monitor told the window.
    std::filesystem::remove(m_db_dir / "a.dbf");
    const size_t from = history().size();
    window.DoDeleteDb(false);
    const Names lines = history(from);
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ(0u, lines[0].rfind("Error deleting database \"a\": ", 0));
    EXPECT_EQ("Database \"b\" has been deleted.", lines[1]);
    EXPECT_EQ("Databases deleted: 1, failed to delete: 1", lines[2]);
    EXPECT_TRUE(pump_until([&] { return listed().empty(); }));
}

// ---- Filtering ----

struct MarkupCase {
    const char* text;
    const char* filter;
    const char* markup;
};

TEST_F(DbListPanelTest, HighlightWrapsEveryMatchOfTheEscapedText) {
    const MarkupCase cases[] = {
        {"abcAB", "ab",
         "<span background='#FFFF00' foreground='black'>ab</span>c"
         "<span background='#FFFF00' foreground='black'>AB</span>"},
        // The expression runs over the escaped text.
        {"a<b", "<", "a&lt;b"},
        // A match inside an escape would break the markup: the text is shown plain.
        {"a<b", "lt", "a&lt;b"},
        {"1.5", ".", "1<span background='#FFFF00' foreground='black'>.</span>5"},
        {"a&b", "amp", "a&amp;b"},
        {"x<y", "", "x&lt;y"},
        {"", "a", ""},
    };
    for (const MarkupCase& c : cases) {
        SCOPED_TRACE(c.text);
        Glib::RefPtr<Glib::Regex> regex;
        if (*c.filter != '\0')
            regex = Glib::Regex::create(Glib::Regex::escape_string(c.filter),
                                        Glib::Regex::CompileFlags::CASELESS);
        EXPECT_EQ(c.markup, highlight_markup(c.text, regex).raw());
    }
}

TEST_F(DbListPanelTest, FilterMatchesNameOrDescriptionAndClearingReselectsTheEditorName) {
    make_described("alpha", "first");
    make_described("beta", "ALPHABET");
    make_described("gamma", "third");
    CMainWindow& window = open_window();
    select({"gamma"});
    window.search_entry().set_text("Alph");
    ASSERT_TRUE(pump_until([&] { return shown().size() == 2; }));
    EXPECT_EQ((Names{"alpha", "beta"}), shown());
    EXPECT_NE(nullptr, window.db_panel().highlight());
    EXPECT_EQ("0/2", window.status_bar().get_count().raw());

    window.search_entry().set_text("");
    EXPECT_EQ(3u, shown().size());
    EXPECT_EQ(nullptr, window.db_panel().highlight());
    ASSERT_EQ(1u, window.db_panel().selected_count());
    EXPECT_EQ("gamma", window.db_panel().selected_items().front()->name());
}

// ---- Opening ----

TEST_F(DbListPanelTest, OpenTakesTheSelectedDatabasesInListOrder) {
    make_database("a", 2);
    make_database("b", 1);
    CMainWindow& window = open_window();
    select({"a", "b"});
    activate("open");
    EXPECT_EQ(CMainWindow::VIEW_TWO_DBS, window.GetViewMode());
    EXPECT_EQ("a", window.key_document(0).extract_db_name());
    EXPECT_EQ("b", window.key_document(1).extract_db_name());
}

TEST_F(DbListPanelTest, OpenAndSelectOpensTheDatabaseAndSelectsTheRecord) {
    make_database("a", 5);
    CMainWindow& window = open_window();
    window.DoOpenAndSelect("a", 3, true);
    EXPECT_EQ(CMainWindow::VIEW_ONE_DB, window.GetViewMode());
    auto selection = window.key_panel(0).selection();
    ASSERT_TRUE(pump_until([&] { return selection->is_selected(3); }));
    EXPECT_EQ(1u, selection->get_selection()->get_size());
    // Already open: only the row changes.
    window.DoOpenAndSelect("a", 1, true);
    ASSERT_TRUE(pump_until([&] { return selection->is_selected(1); }));
    EXPECT_TRUE(window.key_document(0).is_open());
}

TEST_F(DbListPanelTest, OpenAndSelectFindsTheRecordInASortedAndFilteredTable) {
    make_database("a", 5);
    // The table shows the keys in reverse order, and its filter hides the key looked for.
    m_settings->set_string("keys-sort-column", "ID");
    m_settings->set_boolean("keys-sort-descending", true);
    CMainWindow& window = open_databases({"a"});
    window.search_entry().set_text("no such key");
    ASSERT_TRUE(pump_until([&] { return window.key_panel(0).shown_count() == 0; }));
    const auto wanted = window.key_document(0).get_keys()->get_item(3);
    window.DoOpenAndSelect("a", 3, true);
    ASSERT_TRUE(pump_until([&] { return window.key_panel(0).selected_keys().size() == 1; }));
    EXPECT_EQ(wanted, window.key_panel(0).selected_keys().front());
    EXPECT_EQ(5u, window.key_panel(0).shown_count()) << "the filter is gone";
}

TEST_F(DbListPanelTest, OpenAndSelectAsksAboutTheModifiedDocumentFirst) {
    make_database("a", 2);
    make_database("b", 4);
    CMainWindow& window = open_databases({"a"});
    add_key(window.key_document(0), 9);
    window.DoOpenAndSelect("b", 2, true);
    EXPECT_EQ("Save changes to database \"a\"?", message_text());
    answer(Gtk::ResponseType::YES);
    ASSERT_TRUE(pump_until([&] { return window.key_document(0).extract_db_name() == "b"; }));
    EXPECT_EQ(3, keys_in_file("a"));
    auto selection = window.key_panel(0).selection();
    EXPECT_TRUE(pump_until([&] { return selection->is_selected(2); }));
}

TEST_F(DbListPanelTest, OpenAndSelectWithoutAskingClosesTheModifiedDocument) {
    make_database("a", 2);
    make_database("b", 4);
    CMainWindow& window = open_databases({"a"});
    add_key(window.key_document(0), 9);
    window.DoOpenAndSelect("b", 0, false);
    EXPECT_EQ(nullptr, find_question());
    EXPECT_EQ("b", window.key_document(0).extract_db_name());
}

TEST_F(DbListPanelTest, OpenAndSelectOfABadDatabaseShowsTheErrorAndTheList) {
    write_text(m_db_dir / "bad.dbf", "not a database at all, not at all, not a database at all");
    CMainWindow& window = open_window();
    window.DoOpenAndSelect("bad", 0, true);
    EXPECT_FALSE(message_text().empty());
    EXPECT_EQ(CMainWindow::VIEW_DATABASES, window.GetViewMode());
}
