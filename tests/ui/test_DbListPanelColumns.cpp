// The column persister on the real database list: what it restores at construction must not be written
// back, the user's sorting and a moved column are stored, and ids it does not know are passed over. The
// storage is a set of counters here, so that every write is seen.
#include <gtkmm/window.h>

#include "WindowFixture.h"
#include "ui/CDbListPanel.h"
#include "ui/ColumnViewState.h"

namespace {
struct FakeStorage {
    Glib::ustring sort_column;
    bool sort_descending = false;
    std::vector<Glib::ustring> order;
    int sort_writes = 0;
    int order_writes = 0;
    std::vector<std::vector<Glib::ustring>> orders_written;

    CColumnViewState::Storage storage() {
        return {
            [this] { return sort_column; },
            [this] { return sort_descending; },
            [this](const Glib::ustring& column, bool descending) {
                ++sort_writes;
                sort_column = column;
                sort_descending = descending;
            },
            [this] { return order; },
            [this](const std::vector<Glib::ustring>& written) {
                ++order_writes;
                order = written;
                orders_written.push_back(written);
            },
        };
    }
};

using Ids = std::vector<Glib::ustring>;
} // namespace

// What clicks on the column titles leave behind: the view sorted by that column (none: unsorted), and only
// that title showing an arrow (sorting by another column alone leaves the previous arrow standing).
void user_sorts(Gtk::ColumnView& view, const Glib::RefPtr<Gtk::ColumnViewColumn>& column,
                Gtk::SortType direction) {
    gtk_column_view_sort_by_column(view.gobj(), nullptr, GTK_SORT_ASCENDING);
    if (column)
        view.sort_by_column(column, direction);
}

class DbListPanelColumnsTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        m_store = Gio::ListStore<CDbInfo>::create();
        m_store->append(CDbInfo::create("b", "middle", 5));
        m_store->append(CDbInfo::create("a", "zeta", 1));
        m_store->append(CDbInfo::create("c", "alpha", 9));
    }

    // The panel in a shown window, so that its column titles exist as they do for the user.
    CDbListPanel& make_panel(FakeStorage& storage) {
        if (m_host)
            m_host->destroy();
        m_host.reset();
        m_panel.reset();
        m_panel = std::make_unique<CDbListPanel>(m_store, CMyProp::create());
        m_panel->persist_columns(storage.storage());
        m_host = std::make_unique<Gtk::Window>();
        m_host->set_child(*m_panel);
        m_host->present();
        pump_until([this] { return m_host->get_mapped(); });
        return *m_panel;
    }

    void TearDown() override {
        if (m_host)
            m_host->destroy();
        m_host.reset();
        m_panel.reset();
        pump_pending();
        WindowFixture::TearDown();
    }

    Ids shown_names() {
        Ids names;
        auto model = m_panel->selection();
        for (guint i = 0; i < model->get_n_items(); ++i)
            names.push_back(std::dynamic_pointer_cast<CDbInfo>(model->get_object(i))->name());
        return names;
    }

    Glib::RefPtr<Gtk::ColumnViewColumn> column(const Glib::ustring& id) {
        auto columns = m_panel->view().get_columns();
        for (guint i = 0; i < columns->get_n_items(); ++i) {
            auto c = std::dynamic_pointer_cast<Gtk::ColumnViewColumn>(columns->get_object(i));
            if (CColumnViewState::column_id(c).raw() == id.raw())
                return c;
        }
        return {};
    }

    Glib::RefPtr<Gio::ListStore<CDbInfo>> m_store;
    std::unique_ptr<CDbListPanel> m_panel;
    std::unique_ptr<Gtk::Window> m_host;
};

struct RestoreCase {
    const char* column;
    bool descending;
    Ids order;
    // What the view shows afterwards.
    const char* sorted_by;
    bool shown_descending;
    Ids shown_order;
    Ids rows;
};

TEST_F(DbListPanelColumnsTest, RestoresSortingAndOrderWithoutWritingThemBack) {
    const Ids keys_first = {"Keys", "Database", "Description"}, built = {"Database", "Description", "Keys"},
              description_first = {"Description", "Database", "Keys"};
    const Ids by_keys_down = {"c", "b", "a"}, as_stored = {"b", "a", "c"};
    const RestoreCase cases[] = {
        {"Keys", true, keys_first, "Keys", true, keys_first, by_keys_down},
        {"Description", false, {}, "Description", false, built, by_keys_down},
        {"Database", true, {"Description"}, "Database", true, description_first, by_keys_down},
        // Ids of another version of the program are passed over.
        {"Bogus", true, {"Bogus", "Keys"}, "", false, keys_first, as_stored},
        {"", false, {}, "", false, built, as_stored},
    };
    for (const RestoreCase& c : cases) {
        SCOPED_TRACE(c.column);
        FakeStorage storage;
        storage.sort_column = c.column;
        storage.sort_descending = c.descending;
        storage.order = c.order;
        CDbListPanel& panel = make_panel(storage);
        pump_pending();
        const auto [sorted_by, descending] = panel.column_state()->current_sort();
        EXPECT_EQ(c.sorted_by, sorted_by);
        EXPECT_EQ(c.shown_descending, descending);
        EXPECT_EQ(c.shown_order, panel.column_state()->current_order());
        EXPECT_EQ(c.rows, shown_names());
        EXPECT_EQ(0, storage.sort_writes);
        EXPECT_EQ(0, storage.order_writes);
    }
}

TEST_F(DbListPanelColumnsTest, UserSortingIsStoredAsPrimaryColumnAndDirection) {
    FakeStorage storage;
    CDbListPanel& panel = make_panel(storage);
    struct Step {
        const char* column; // nullptr: unsorted
        Gtk::SortType direction;
        const char* stored;
        bool stored_descending;
    };
    const Step steps[] = {
        {"Description", Gtk::SortType::ASCENDING, "Description", false},
        {"Description", Gtk::SortType::DESCENDING, "Description", true},
        {"Keys", Gtk::SortType::ASCENDING, "Keys", false},
        {nullptr, Gtk::SortType::ASCENDING, "", false},
    };
    int writes = 0;
    for (const Step& step : steps) {
        SCOPED_TRACE(step.stored);
        user_sorts(panel.view(), step.column != nullptr ? column(step.column) : nullptr, step.direction);
        ASSERT_TRUE(pump_until([&] { return storage.sort_writes > writes; }));
        writes = storage.sort_writes;
        EXPECT_EQ(step.stored, storage.sort_column);
        EXPECT_EQ(step.stored_descending, storage.sort_descending);
    }
}

TEST_F(DbListPanelColumnsTest, MovedColumnStoresTheFullOrderOnly) {
    FakeStorage storage;
    CDbListPanel& panel = make_panel(storage);
    // A column dragged to the front is taken out and put back in.
    auto keys = column("Keys");
    panel.view().remove_column(keys);
    panel.view().insert_column(0, keys);
    pump_pending();
    ASSERT_EQ(1, storage.order_writes);
    EXPECT_EQ((Ids{"Keys", "Database", "Description"}), storage.order);
    EXPECT_EQ(0, storage.sort_writes);
}

TEST_F(DbListPanelColumnsTest, ProgrammaticSortIsNotStored) {
    FakeStorage storage;
    CDbListPanel& panel = make_panel(storage);
    panel.column_state()->sort_by("Keys", true);
    pump_pending();
    EXPECT_EQ(0, storage.sort_writes);
    EXPECT_EQ((Ids{"c", "b", "a"}), shown_names());
}
