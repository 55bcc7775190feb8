// Find in files driven through its dialog: criteria set in the controls, the search run on its worker and
// its hits listed, the open document searched with its unsaved keys, a hit opened in the window with its
// key selected, a search stopped, and the criteria remembered from one use of the dialog to the next.
#include "WindowFixture.h"
#include "keys/dbf_LocalZone.h"
#include "ui/CSearchDialog.h"

namespace {
struct StoredKey {
    std::uint8_t low;
    std::int64_t created;
    const char* description;
};

// A local wall time, day first as the cases read.
std::int64_t local_time(int day, int month, int year, int hour, int minute, int second) {
    return dbftest::local_time(year, month, day, hour, minute, second);
}
} // namespace

class SearchDialogTest : public WindowFixture {
protected:
    void make_keys(const std::string& name, const std::vector<StoredKey>& keys) {
        make_database_with(name, [&](CKeyDocument& doc) {
            doc.set_description("about " + name);
            for (const StoredKey& k : keys) {
                const std::uint8_t bytes[] = {k.low, 0x10, 0x20, 0x30, 0x40, 0x50};
                doc.add_key(doc.generate_key_id(), CT_DALLAS, CCardUID(bytes, 6), false, KA_NORMAL,
                            k.description)
                    ->set_created(k.created);
            }
        });
    }

    // The usual folder: two databases whose keys the cases tell apart.
    void make_usual_databases() {
        make_keys("front", {{1, local_time(5, 12, 2026, 23, 59, 59), "Front door, left"},
                            {2, local_time(6, 12, 2026, 0, 0, 0), "doorway"},
                            {3, 0, "undated"}});
        make_keys("store", {{4, local_time(1, 12, 2026, 12, 0, 0), "Store room"}});
    }

    CSearchDialog& open_dialog() {
        activate("find-in-files");
        EXPECT_TRUE(pump_until([this] { return m_window->search_dialog() != nullptr; }));
        return *m_window->search_dialog();
    }

    // Runs the search and waits for its end; the message it showed.
    Glib::ustring find(CSearchDialog& dialog) {
        dialog.controls().find.activate();
        EXPECT_TRUE(pump_until([&] { return !dialog.is_searching() && dialog.message_dialog() != nullptr; }));
        Glib::ustring text = dialog.message_dialog() != nullptr
                                 ? dialog.message_dialog()->property_text().get_value()
                                 : Glib::ustring();
        if (dialog.message_dialog() != nullptr)
            dialog.message_dialog()->response(Gtk::ResponseType::OK);
        pump_until([&] { return dialog.message_dialog() == nullptr; });
        return text;
    }

    static std::vector<std::string> hits(CSearchDialog& dialog) {
        std::vector<std::string> found;
        const auto& results = dialog.results();
        for (guint i = 0; i < results->get_n_items(); ++i) {
            const auto rec = results->get_item(i);
            found.push_back(rec->database() + "#" + std::to_string(rec->record()));
        }
        return found;
    }

    static void uncheck_all(CSearchDialog& dialog) {
        auto& c = dialog.controls();
        for (Gtk::CheckButton* check : {&c.number_check, &c.date_check, &c.attr_check, &c.description_check})
            check->set_active(false);
    }
    // Only the description is looked at, for this text.
    static void search_description(CSearchDialog& dialog, const char* text) {
        uncheck_all(dialog);
        dialog.controls().description_check.set_active(true);
        dialog.controls().description_entry.set_text(text);
    }
};

TEST_F(SearchDialogTest, DescriptionsMatchAsWordsOrAsText) {
    struct Case {
        const char* text;
        bool whole_word;
        bool match_case;
        std::vector<std::string> hits;
    };
    const Case cases[] = {
        {"door", true, false, {"front#0"}},  {"door", false, false, {"front#0", "front#1"}},
        {"DOOR", true, false, {"front#0"}},  {"DOOR", true, true, {}},
        {"room", false, false, {"store#0"}},
    };
    make_usual_databases();
    open_window();
    CSearchDialog& dialog = open_dialog();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text) + (c.whole_word ? " word" : "") + (c.match_case ? " case" : ""));
        auto& controls = dialog.controls();
        search_description(dialog, c.text);
        controls.whole_word.set_active(c.whole_word);
        controls.match_case.set_active(c.match_case);
        controls.regex.set_active(false);
        const Glib::ustring message = find(dialog);
        EXPECT_EQ(c.hits, hits(dialog));
        const std::string expected =
            c.hits.empty() ? "Search completed. Nothing found."
                           : "Search completed. Found " + std::to_string(c.hits.size()) + " keys.";
        EXPECT_EQ(expected, message.raw());
    }
}

TEST_F(SearchDialogTest, TheDateRangeTakesTheWholeLastDayAndNeverUndatedKeys) {
    struct Case {
        unsigned from_day;
        unsigned to_day;
        std::vector<std::string> hits;
    };
    const Case cases[] = {
        {5, 5, {"front#0"}},
        {6, 6, {"front#1"}},
        {0, 5, {"front#0", "store#0"}}, // no "from": an open bound
        {2, 0, {"front#0", "front#1"}},
    };
    make_usual_databases();
    open_window();
    CSearchDialog& dialog = open_dialog();
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.from_day) + ".." + std::to_string(c.to_day));
        auto& controls = dialog.controls();
        uncheck_all(dialog);
        controls.date_check.set_active(true);
        if (c.from_day != 0)
            controls.from.set_date(c.from_day, 12, 2026);
        else
            controls.from.entry().set_text("");
        if (c.to_day != 0)
            controls.to.set_date(c.to_day, 12, 2026);
        else
            controls.to.entry().set_text("");
        find(dialog);
        EXPECT_EQ(c.hits, hits(dialog));
    }
}

TEST_F(SearchDialogTest, TheOpenDatabaseIsSearchedWithItsUnsavedKeys) {
    make_usual_databases();
    CMainWindow& window = open_databases({"store"});
    const std::uint8_t bytes[] = {9, 9, 9, 9, 9, 9};
    CKeyDocument& doc = window.key_document(0);
    doc.add_key(doc.generate_key_id(), CT_DALLAS, CCardUID(bytes, 6), false, KA_NORMAL, "Back door, unsaved");
    CSearchDialog& dialog = open_dialog();
    search_description(dialog, "door");
    dialog.controls().whole_word.set_active(true);
    find(dialog);
    EXPECT_EQ((std::vector<std::string>{"front#0", "store#1"}), hits(dialog));
    EXPECT_EQ("about store", dialog.results()->get_item(1)->description().raw());
}

TEST_F(SearchDialogTest, AnActivatedHitOpensItsDatabaseWithTheKeySelected) {
    make_usual_databases();
    CMainWindow& window = open_window();
    CSearchDialog& dialog = open_dialog();
    search_description(dialog, "doorway");
    find(dialog);
    ASSERT_EQ((std::vector<std::string>{"front#1"}), hits(dialog));

    g_signal_emit_by_name(dialog.controls().view.gobj(), "activate", 0u);
    ASSERT_TRUE(pump_until([&] { return window.GetViewMode() == CMainWindow::VIEW_ONE_DB; }));
    EXPECT_EQ("front", window.key_document(0).extract_db_name());
    // The row is selected once the table has been drawn.
    ASSERT_TRUE(pump_until([&] { return window.key_panel(0).selected_keys().size() == 1; }));
    EXPECT_EQ("doorway", window.key_panel(0).selected_keys()[0]->description());
}

TEST_F(SearchDialogTest, AStoppedSearchEndsEarlyAndSaysSo) {
    // Enough databases that the scan is still on its first ones when it is stopped.
    constexpr int kDatabases = 150;
    make_keys("db000", {{1, 0, "a key"}, {2, 0, "another key"}});
    for (int i = 1; i < kDatabases; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "db%03d.dbf", i);
        std::filesystem::copy_file(m_db_dir / "db000.dbf", m_db_dir / name);
    }
    open_window();
    CSearchDialog& dialog = open_dialog();
    uncheck_all(dialog);
    // Clicked at once, one after the other (a button's keyboard activation clicks it only later).
    g_signal_emit_by_name(dialog.controls().find.gobj(), "clicked");
    EXPECT_TRUE(dialog.is_searching());
    EXPECT_TRUE(dialog.controls().stop.get_sensitive());
    g_signal_emit_by_name(dialog.controls().stop.gobj(), "clicked");
    ASSERT_TRUE(pump_until([&] { return !dialog.is_searching() && dialog.message_dialog() != nullptr; }));
    const Glib::ustring message = dialog.message_dialog()->property_text().get_value();
    EXPECT_EQ(0u, message.find("Search stopped.")) << message;
    EXPECT_LT(dialog.results()->get_n_items(), 2u * kDatabases);
    EXPECT_TRUE(dialog.controls().find.get_sensitive());
    EXPECT_FALSE(dialog.controls().stop.get_sensitive());
}

TEST_F(SearchDialogTest, AnInvalidExpressionIsReported) {
    make_usual_databases();
    open_window();
    CSearchDialog& dialog = open_dialog();
    search_description(dialog, "door(");
    dialog.controls().regex.set_active(true);
    dialog.controls().find.activate();
    ASSERT_TRUE(pump_until([&] { return dialog.message_dialog() != nullptr; }));
    EXPECT_EQ(Gtk::MessageType::ERROR, dialog.message_dialog()->property_message_type().get_value());
    EXPECT_FALSE(dialog.is_searching());
    EXPECT_EQ(0u, dialog.results()->get_n_items());
}

TEST_F(SearchDialogTest, TheCriteriaAreRememberedForTheNextUse) {
    open_window();
    {
        CSearchDialog& dialog = open_dialog();
        auto& c = dialog.controls();
        uncheck_all(dialog);
        c.number_check.set_active(true);
        c.format.set_selected(KF_HEX);
        c.number_entry.set_text("5040302010A1");
        c.short_check.set_active(true);
        c.date_check.set_active(true);
        c.from.set_date(1, 12, 2026);
        c.to.set_date(5, 12, 2026);
        c.attr_check.set_active(true);
        for (int i = 0; i < 4; ++i)
            c.attrs[i].set_active(i % 2 == 1);
        c.description_check.set_active(true);
        c.description_entry.set_text("door");
        c.whole_word.set_active(true);
        c.match_case.set_active(false);
        c.regex.set_active(true);
        dialog.close();
    }
    ASSERT_TRUE(pump_until([this] { return m_window->search_dialog() == nullptr; }));
    EXPECT_EQ(kSearchNumber | kSearchAdded | kSearchAttribute | kSearchDescription,
              m_settings->get_uint("search-parameters"));
    EXPECT_EQ((1u << KA_BLOCKING) | (1u << KA_INACTIVE), m_settings->get_uint("search-attributes"));

    CSearchDialog& dialog = open_dialog();
    auto& c = dialog.controls();
    EXPECT_TRUE(c.number_check.get_active());
    EXPECT_EQ("5040302010A1", c.number_entry.get_text());
    EXPECT_TRUE(c.short_check.get_active());
    EXPECT_EQ("01.12.2026", c.from.entry().get_text());
    EXPECT_EQ("05.12.2026", c.to.entry().get_text());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(i % 2 == 1, c.attrs[i].get_active()) << "attribute " << i;
    EXPECT_EQ("door", c.description_entry.get_text());
    EXPECT_TRUE(c.whole_word.get_active());
    EXPECT_FALSE(c.match_case.get_active());
    EXPECT_TRUE(c.regex.get_active());
    EXPECT_TRUE(c.number_entry.get_sensitive());
}
