// The key tables and the key editor driven as a user would: databases made on disk, opened in the real
// window, controls found by their names, results read from the tables, the status history, the message
// dialogs and the files written back.
#include <gtkmm/messagedialog.h>

#include "KeyPanelsFixture.h"
#include "ui/CKeyPanelCells.h"

namespace {

class KeyPanelsTest : public KeyPanelsFixture {};

TEST_F(KeyPanelsTest, TablesShowTheSevenColumnsWithTheirTitles) {
    make_keys("a", {{"0000000000AA"}});
    CMainWindow& window = open_databases({"a"});
    std::vector<std::string> ids;
    std::vector<std::string> titles;
    for (const auto& column : window.key_panel(0).columns()) {
        ids.push_back(column.id);
        titles.push_back(column.column->get_title());
    }
    EXPECT_EQ((std::vector<std::string>{"ID", "Type", "Attr", "Number", "Short", "Created", "Description"}),
              ids);
    EXPECT_EQ((std::vector<std::string>{"ID", "Type", "Attr", "Number", "Short", "Added", "Description"}),
              titles);
}

TEST_F(KeyPanelsTest, CellsShowTheKeyAsTheTableDescribesIt) {
    make_keys("a", {{"00000000ABCD", true, KA_MASTER, "Front <door>", CT_EM_MARINE}});
    CMainWindow& window = open_databases({"a"});
    CKeyPanel& panel = window.key_panel(0);
    std::vector<std::string> texts;
    ASSERT_TRUE(pump_until([&] {
        texts = cell_texts(panel);
        return texts.size() >= 7;
    }));
    EXPECT_EQ("1", texts[0]);
    EXPECT_EQ("EM", texts[1]);
    EXPECT_EQ("Master", texts[2]);
    EXPECT_EQ("00000000ABCD", texts[3]);
    EXPECT_EQ("*", texts[4]);
    const auto key = window.key_document(0).get_keys()->get_item(0);
    EXPECT_EQ(key_cells::created_text(key->created()).raw(), texts[5]);
    EXPECT_EQ(16u, texts[5].size()) << texts[5];
    EXPECT_EQ("Front <door>", texts[6]) << "descriptions are shown as text, not markup";
    EXPECT_TRUE(highlighted_parts(cells(panel)[6]).empty());
    EXPECT_EQ(1, cells_with_class(panel, "attr-master"));

    // A key read from a file without the time it was added shows none, not the start of 1970.
    key->set_created(0);
    EXPECT_TRUE(pump_until([&] { return cell_texts(panel).at(5).empty(); }));
}

struct SortCase {
    const char* column;
    const char* first_ascending;
    const char* first_descending;
};

TEST_F(KeyPanelsTest, EachColumnSortsItsOwnWay) {
    make_keys("a", {{"0000000000AA", false, KA_MASTER, "Delta", CT_DALLAS},
                    {"000000000011", true, KA_NORMAL, "alpha", CT_EM_MARINE},
                    {"0000000000FF", false, KA_BLOCKING, "charlie", CT_COD433}});
    CMainWindow& window = open_databases({"a"});
    CKeyDocument& doc = window.key_document(0);
    const std::int64_t created[] = {3000, 2000, 1000};
    for (guint i = 0; i < 3; ++i)
        doc.get_keys()->get_item(i)->set_created(created[i]);
    CKeyPanel& panel = window.key_panel(0);
    const SortCase cases[] = {
        {"ID", "0000000000AA", "0000000000FF"},          {"Type", "000000000011", "0000000000AA"},
        {"Attr", "000000000011", "0000000000AA"},        {"Number", "000000000011", "0000000000FF"},
        {"Short", "0000000000AA", "000000000011"},       {"Created", "0000000000FF", "0000000000AA"},
        {"Description", "000000000011", "0000000000AA"},
    };
    for (const SortCase& c : cases) {
        SCOPED_TRACE(c.column);
        panel.sort_by_column_id(c.column, false);
        EXPECT_EQ(c.first_ascending, shown_numbers(panel).front());
        panel.sort_by_column_id(c.column, true);
        EXPECT_EQ(c.first_descending, shown_numbers(panel).front());
    }

    // Another number form sorts the numbers again as it shows them: in the keypad form the nibble A is the
    // digit 0, before 1.
    panel.sort_by_column_id("Number", false);
    m_settings->set_string("key-format", "keypad");
    EXPECT_TRUE(pump_until([&] { return shown_numbers(panel).front() == "0000000000AA"; }));
}

// A click on a column title, as the view takes it (the previous column's arrow taken off first, as a click
// does).
void click_title(CKeyPanel& panel, const char* id, Gtk::SortType order = Gtk::SortType::ASCENDING) {
    gtk_column_view_sort_by_column(panel.view().gobj(), nullptr, GTK_SORT_ASCENDING);
    for (const auto& column : panel.columns())
        if (column.id == id)
            panel.view().sort_by_column(column.column, order);
}

std::vector<Glib::ustring> column_titles(CKeyPanel& panel) {
    std::vector<Glib::ustring> titles;
    const auto columns = panel.view().get_columns();
    for (guint i = 0; i < columns->get_n_items(); ++i)
        titles.push_back(
            std::dynamic_pointer_cast<Gtk::ColumnViewColumn>(columns->get_object(i))->get_title());
    return titles;
}

TEST_F(KeyPanelsTest, StoredSortingAndColumnOrderApplyToBothTablesAndOnlyUserChangesAreStored) {
    m_settings->set_string("keys-sort-column", "Description");
    m_settings->set_boolean("keys-sort-descending", true);
    m_settings->set_string_array("keys-column-order",
                                 {"Number", "ID", "Type", "Attr", "Short", "Created", "Description"});
    make_keys("a", {{"0000000000AA", false, KA_NORMAL, "alpha"},
                    {"000000000011", false, KA_NORMAL, "charlie"},
                    {"0000000000FF", false, KA_NORMAL, "bravo"}});
    make_keys("b", {{"000000000022", false, KA_NORMAL, "delta"}, {"000000000033", false, KA_NORMAL, "echo"}});
    int writes = 0;
    auto watch = m_settings->signal_changed().connect([&](const Glib::ustring& key) {
        if (key.find("keys-") == 0)
            ++writes;
    });
    CMainWindow& window = open_databases({"a", "b"});
    pump_pending();
    EXPECT_EQ((std::vector<std::string>{"000000000011", "0000000000FF", "0000000000AA"}),
              shown_numbers(window.key_panel(0)));
    EXPECT_EQ((std::vector<std::string>{"000000000033", "000000000022"}), shown_numbers(window.key_panel(1)));
    for (int table : {0, 1})
        EXPECT_EQ("Number", column_titles(window.key_panel(table)).front());
    EXPECT_EQ(0, writes) << "restoring is not a change to store";

    click_title(window.key_panel(1), "Description");
    EXPECT_TRUE(pump_until([&] { return !m_settings->get_boolean("keys-sort-descending"); }));
    EXPECT_EQ("Description", m_settings->get_string("keys-sort-column"));

    // A comparison orders the tables its own way; that order is not stored.
    click(labelled<Gtk::Button>("Comparison", "Compare"));
    answer(Gtk::ResponseType::OK);
    pump_pending();
    EXPECT_EQ("Description", m_settings->get_string("keys-sort-column"));
    EXPECT_FALSE(m_settings->get_boolean("keys-sort-descending"));

    // Closing both brings the first table back to the stored sorting.
    window.DoClose(false, {});
    window.OpenDatabases({"a"});
    EXPECT_EQ((std::vector<std::string>{"0000000000AA", "0000000000FF", "000000000011"}),
              shown_numbers(window.key_panel(0)));
    watch.disconnect();
}

TEST_F(KeyPanelsTest, FilterAppliesAfterThePauseToNumberAsShownOrDescription) {
    make_keys("a", {{"0000000A1B2C", false, KA_NORMAL, "Front door"},
                    {"000000000011", false, KA_NORMAL, "back gate"},
                    {"000000000022", false, KA_NORMAL, "garage"}});
    CMainWindow& window = open_databases({"a"});
    CKeyPanel& panel = window.key_panel(0);

    window.search_entry().set_text("DOOR");
    EXPECT_EQ(3u, panel.shown_count()) << "typing is not held up by filtering";
    ASSERT_TRUE(pump_until([&] { return panel.shown_count() == 1; }));
    EXPECT_EQ("0000000A1B2C", shown_numbers(panel).front());
    ASSERT_TRUE(pump_until([&] {
        for (GtkWidget* cell : cells(panel))
            if (cell_text(cell) == "Front door" &&
                highlighted_parts(cell) == std::vector<std::string>{"door"})
                return true;
        return false;
    })) << "the match is highlighted";

    m_settings->set_string("key-format", "em-marine");
    window.search_entry().set_text("010,0695");
    ASSERT_TRUE(pump_until([&] { return panel.shown_count() == 1; }))
        << "the number is matched as the table shows it";

    window.search_entry().set_text("");
    EXPECT_EQ(3u, panel.shown_count()) << "an emptied filter shows every key at once";
}

TEST_F(KeyPanelsTest, FilterTextNarrowsWidensAndFollowsTheNumberFormat) {
    make_keys("a", {{"0000000A1B2C", false, KA_NORMAL, "Склад ВОРОТА"},
                    {"000000000011", false, KA_NORMAL, "склад"},
                    {"000000000022", false, KA_NORMAL, "Garage"}});
    CMainWindow& window = open_databases({"a"});
    CKeyPanel& panel = window.key_panel(0);
    const struct {
        const char* text;
        std::vector<std::string> shown;
    } steps[] = {
        {"СКЛ", {"0000000A1B2C", "000000000011"}}, // Cyrillic without regard to case
        {"склад в", {"0000000A1B2C"}},             // a longer text only hides
        {"с", {"0000000A1B2C", "000000000011"}},   // a shorter one shows again
        {"gar", {"000000000022"}},                 // another text altogether
        {"a1b", {"0000000A1B2C"}},                 // the number as shown, case ignored
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.text);
        panel.set_filter_text(step.text);
        EXPECT_EQ(step.shown, shown_numbers(panel));
    }
    // The same key shown in another format is found by that form only.
    m_settings->set_string("key-format", "em-marine");
    pump_pending();
    EXPECT_TRUE(shown_numbers(panel).empty());
    panel.set_filter_text("010,0695");
    EXPECT_EQ(1u, panel.shown_count());
}

// Rows stand for positions: after a sort or a filter the same row widgets show other keys, and the
// selection goes with its keys, not with the rows.
TEST_F(KeyPanelsTest, SelectionAndCellsFollowTheirKeysThroughSortsAndFilters) {
    make_keys("a", {{"0000000000AA", false, KA_NORMAL, "delta"},
                    {"000000000011", false, KA_NORMAL, "alpha"},
                    {"0000000000FF", false, KA_NORMAL, "charlie"},
                    {"000000000022", false, KA_NORMAL, "bravo"}});
    CMainWindow& window = open_databases({"a"});
    CKeyPanel& panel = window.key_panel(0);
    select_numbers(panel, {"000000000011", "0000000000FF"});
    const auto first_cell_shows = [&](const std::string& number) {
        return pump_until([&] {
            const auto texts = cell_texts(panel);
            return texts.size() > 3 && texts[3] == number;
        });
    };

    panel.sort_by_column_id("Number", true);
    EXPECT_EQ((std::vector<std::string>{"0000000000FF", "000000000011"}), selected_numbers(panel));
    EXPECT_TRUE(first_cell_shows("0000000000FF"));

    panel.set_filter_text("ha"); // alpha and charlie
    EXPECT_EQ((std::vector<std::string>{"0000000000FF", "000000000011"}), selected_numbers(panel));
    panel.set_filter_text("alpha");
    EXPECT_EQ((std::vector<std::string>{"000000000011"}), selected_numbers(panel));
    EXPECT_TRUE(first_cell_shows("000000000011"));

    panel.set_filter_text("");
    EXPECT_EQ((std::vector<std::string>{"000000000011"}), selected_numbers(panel))
        << "a key the filter hid is no longer selected";
    EXPECT_TRUE(first_cell_shows("0000000000FF"));

    // A key sorted in front moves the selected row down.
    panel.sort_by_column_id("Description", false);
    window.key_document(0).add_key(window.key_document(0).generate_key_id(), CT_DALLAS, hex("0000000000FE"),
                                   false, KA_NORMAL, "aardvark");
    EXPECT_EQ((std::vector<std::string>{"000000000011"}), selected_numbers(panel));
    EXPECT_EQ(5u, panel.shown_count());
}

TEST_F(KeyPanelsTest, EditorShowsOneKeyAndMixesSeveral) {
    make_keys("a", {{"00000000ABCD", true, KA_MASTER, "one"}, {"000000000011", true, KA_BLOCKING, "two"}});
    CMainWindow& window = open_databases({"a"});
    CKeyPanel& panel = window.key_panel(0);
    select_numbers(panel, {"00000000ABCD"});
    EXPECT_EQ("00000000ABCD", number_entry().get_text());
    EXPECT_EQ("one", description_entry().get_text());
    EXPECT_TRUE(key_check("Master").get_active());
    EXPECT_TRUE(key_check("Short").get_active());

    select_numbers(panel, {"00000000ABCD", "000000000011"});
    for (const char* attr : {"Normal", "Blocking", "Master", "Inactive"})
        EXPECT_FALSE(key_check(attr).get_active()) << attr;
    EXPECT_EQ("", number_entry().get_text());
    EXPECT_FALSE(number_entry().get_sensitive());
    EXPECT_EQ("*", description_entry().get_text());

    click(key_button("Apply"));
    EXPECT_EQ(KA_MASTER, stored(0, "00000000ABCD")->attr()) << "a mixed selection leaves attributes alone";
    EXPECT_EQ(KA_BLOCKING, stored(0, "000000000011")->attr());
    EXPECT_FALSE(window.key_document(0).is_modified());
}

TEST_F(KeyPanelsTest, AddAsksForANumberAddsNewKeysAndCompletesShortOnes) {
    make_keys("a", {{"0000000000AA", true, KA_NORMAL, "short one"}});
    CMainWindow& window = open_databases({"a"});
    CKeyPanel& panel = window.key_panel(0);
    panel.unselect_all();

    click(key_button("Add"));
    EXPECT_EQ("Field must be filled in.", message_text());
    answer(Gtk::ResponseType::OK);

    type_into(number_entry(), "0000000000CC");
    type_into(description_entry(), "new");
    click(key_button("Add"));
    EXPECT_TRUE(history_has("Key 0000000000CC added"));
    ASSERT_TRUE(stored(0, "0000000000CC"));
    EXPECT_EQ(CT_DALLAS, stored(0, "0000000000CC")->card_type()) << "the key type selection";
    EXPECT_EQ((std::vector<std::string>{"0000000000CC"}), selected_numbers(panel));

    panel.unselect_all();
    type_into(number_entry(), "0012340000AA");
    key_check("Short").set_active(false);
    click(key_button("Add"));
    EXPECT_TRUE(history_has("Key 0012340000AA updated"));
    EXPECT_EQ("0012340000AA", window.key_document(0).get_keys()->get_item(0)->number().ToString())
        << "a full number completes the short key";
    EXPECT_EQ(2u, window.key_document(0).get_keys()->get_n_items());
}

TEST_F(KeyPanelsTest, ApplyChangesReportsAndLeavesUnchangedKeysAlone) {
    make_keys("a", {{"0000000000AA", false, KA_NORMAL, "old"}});
    CMainWindow& window = open_databases({"a"});
    CKeyPanel& panel = window.key_panel(0);
    select_numbers(panel, {"0000000000AA"});

    const auto before = history().size();
    click(key_button("Apply"));
    EXPECT_EQ(before, history().size()) << "nothing changed, nothing reported";
    EXPECT_FALSE(window.key_document(0).is_modified());

    type_into(description_entry(), "new");
    key_check("Master").set_active(true);
    click(key_button("Apply"));
    EXPECT_EQ("Key \"0000000000AA\" changed: Normal -> Master, \"old\" -> \"new\"", history().back());
    EXPECT_TRUE(window.key_document(0).is_modified());
    EXPECT_EQ("new", stored(0, "0000000000AA")->description());
}

TEST_F(KeyPanelsTest, ApplyingAnotherKeysNumberReplacesItAfterTheQuestion) {
    make_keys("a",
              {{"0000000000AA", false, KA_NORMAL, "first"}, {"000000000011", false, KA_NORMAL, "second"}});
    CMainWindow& window = open_databases({"a"});
    select_numbers(window.key_panel(0), {"0000000000AA"});
    type_into(number_entry(), "000000000011");
    click(key_button("Apply"));
    EXPECT_EQ("Key 000000000011 already exists in the database. Replace?", message_text());
    answer(Gtk::ResponseType::OK);

    const auto lines = history();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ("Key \"000000000011\" replaced", lines[lines.size() - 2]);
    EXPECT_EQ("Key \"0000000000AA\" changed: 000000000011", lines.back());
    ASSERT_EQ(1u, window.key_document(0).get_keys()->get_n_items());
    EXPECT_EQ("first", window.key_document(0).get_keys()->get_item(0)->description());
}

TEST_F(KeyPanelsTest, DeleteAsksThenRemovesTheSelection) {
    make_keys("a", {{"0000000000AA"}, {"000000000011"}, {"000000000022"}});
    CMainWindow& window = open_databases({"a"});
    CKeyPanel& panel = window.key_panel(0);
    select_numbers(panel, {"0000000000AA", "000000000011"});

    window.DeleteKeys();
    EXPECT_EQ("Delete 2 keys?", message_text());
    answer(Gtk::ResponseType::CANCEL);
    EXPECT_EQ(3u, panel.shown_count());

    window.DeleteKeys();
    answer(Gtk::ResponseType::OK);
    EXPECT_EQ((std::vector<std::string>{"000000000022"}), shown_numbers(panel));
    EXPECT_EQ("2 keys removed", history().back());
    EXPECT_TRUE(history_has("Key 0000000000AA removed"));

    m_settings->set_boolean("delete-key-confirm", false);
    select_numbers(panel, {"000000000022"});
    window.DeleteKeys();
    EXPECT_EQ(nullptr, find_question()) << "no question when the setting is off";
    EXPECT_EQ(0u, panel.shown_count());
}

TEST_F(KeyPanelsTest, FindSelectsByNumberOrByEveryWordOfTheDescription) {
    make_keys("a", {{"0000000000AA", false, KA_NORMAL, "Front door, main"},
                    {"000000000011", false, KA_NORMAL, "front door"},
                    {"000000000022", false, KA_NORMAL, "main-door Front"}});
    CMainWindow& window = open_databases({"a"});
    CKeyPanel& panel = window.key_panel(0);
    panel.unselect_all();

    type_into(number_entry(), "000000000011");
    click(key_button("Find"));
    EXPECT_EQ((std::vector<std::string>{"000000000011"}), selected_numbers(panel));

    panel.unselect_all();
    type_into(description_entry(), "door Front");
    click(key_button("Find"));
    EXPECT_EQ((std::vector<std::string>{"0000000000AA", "000000000022"}), selected_numbers(panel))
        << "whole words, case counts, any order";
}

struct CompareCase {
    const char* name;
    std::vector<KeyPanelsFixture::StoredKey> left;
    std::vector<KeyPanelsFixture::StoredKey> right;
    bool only_number;
    const char* message;
    int error_cells;
};

TEST_F(KeyPanelsTest, CompareMarksKeysWithoutPartner) {
    const char *aa = "0000000000AA", *k11 = "000000000011", *k22 = "000000000022";
    const char* none_match = "The key lists are different (matches 0).";
    const char* one_match = "The key lists are different (matches 1).";
    const CompareCase cases[] = {
        {"same numbers",
         {{aa, false, KA_NORMAL, "x"}, {k11}},
         {{k11, false, KA_MASTER}, {aa, false, KA_NORMAL, "y"}},
         true,
         "The key lists are equal.",
         0},
        {"one table empty", {{aa}}, {}, true, none_match, 1},
        {"one key differs", {{aa}, {k11}}, {{aa}, {k22}}, true, one_match, 2},
        {"attribute differs", {{aa, false, KA_NORMAL}}, {{aa, false, KA_MASTER}}, false, none_match, 2 * 5},
    };
    // One window, as a person would go through the cases: each opens its pair of databases afresh.
    CMainWindow& window = open_window();
    int pair = 0;
    for (const CompareCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string left = "l" + std::to_string(++pair), right = "r" + std::to_string(pair);
        make_keys(left, c.left);
        make_keys(right, c.right);
        window.OpenDatabases({left, right});
        for (const char* label : {"Type", "Attribute", "Short", "Added", "Description"})
            compare_check(label).set_active(!c.only_number && std::string(label) != "Added");
        compare_check("Number").set_active(true);
        click(labelled<Gtk::Button>("Comparison", "Compare"));
        EXPECT_EQ(c.message, message_text());
        answer(Gtk::ResponseType::OK);
        EXPECT_TRUE(pump_until([&] {
            return cells_with_class(window.key_panel(0), "error") +
                       cells_with_class(window.key_panel(1), "error") ==
                   c.error_cells;
        })) << cells_with_class(window.key_panel(0), "error")
            << " + " << cells_with_class(window.key_panel(1), "error");
        ASSERT_TRUE(window.DoClose(true, {}));
    }
}

TEST_F(KeyPanelsTest, LockTimeAndEditsSurviveSavingAndReopening) {
    make_keys("a", {{"0000000000AA"}});
    CMainWindow& window = open_databases({"a"});
    lock_spin().set_value(5.0);
    EXPECT_EQ(TimeToOtc(5.0), window.key_document(0).get_otc());
    window.key_panel(0).unselect_all();
    type_into(number_entry(), "0000000000BB");
    click(key_button("Add"));

    activate("close");
    answer(2); // Yes: save
    ASSERT_TRUE(pump_until([&] { return window.GetViewMode() == CMainWindow::VIEW_DATABASES; }));

    window.OpenDatabases({"a"});
    EXPECT_NEAR(OtcToTime(TimeToOtc(5.0)), lock_spin().get_value(), 0.05);
    EXPECT_EQ((std::vector<std::string>{"0000000000AA", "0000000000BB"}), shown_numbers(window.key_panel(0)));
}

TEST_F(KeyPanelsTest, SelectAllSelectsEveryShownKey) {
    make_keys("a", {{"0000000000AA"}, {"000000000011"}, {"000000000022"}});
    CMainWindow& window = open_databases({"a"});
    activate("select-all");
    EXPECT_EQ(3u, window.key_panel(0).selected_keys().size());
}

} // namespace
