// Column sorting and order of a column view, kept in the settings.
#include "ui/ColumnViewState.h"

#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <gtkmm/label.h>
#include <gtkmm/sorter.h>

#include <algorithm>
#include <cstring>
#include <utility>

#include "settings/CAppSettings.h"

namespace {
// Where a column's id is kept on the column object (GTK 4.8 columns have no id of their own).
constexpr const char* kIdKey = "kestrix-column-id";

// GTK before 4.10 does not tell the sorting of a column view; the column titles do show it: each title's
// sort indicator carries the class "ascending" or "descending" while its column is the primary one. A title
// is known by its text (a moved column's title need not move among its siblings).
struct TitleSort {
    Glib::ustring title;
    bool ascending = false;
    bool descending = false;
};

bool has_css_name(Gtk::Widget& widget, const char* name) {
    return std::strcmp(gtk_widget_get_css_name(widget.gobj()), name) == 0;
}

void collect_title_sorts(Gtk::Widget& top, std::vector<TitleSort>& found, TitleSort* title) {
    for (Gtk::Widget* child = top.get_first_child(); child != nullptr; child = child->get_next_sibling()) {
        if (has_css_name(*child, "listview"))
            continue; // rows hold no titles
        if (title != nullptr && has_css_name(*child, "sort-indicator")) {
            title->ascending = child->has_css_class("ascending");
            title->descending = child->has_css_class("descending");
        } else if (auto* label = dynamic_cast<Gtk::Label*>(child); title != nullptr && label != nullptr) {
            title->title = label->get_text();
        }
        if (title == nullptr && has_css_name(*child, "button")) {
            TitleSort own;
            collect_title_sorts(*child, found, &own);
            found.push_back(own);
        } else {
            collect_title_sorts(*child, found, title);
        }
    }
}
} // namespace

CColumnViewState::Storage CColumnViewState::bases_storage() {
    return {
        [] { return g_AppSet->get_bases_sort_column(); },
        [] { return g_AppSet->get_bases_sort_descending(); },
        [](const Glib::ustring& column, bool descending) { g_AppSet->set_bases_sort(column, descending); },
        [] { return g_AppSet->get_bases_column_order(); },
        [](const std::vector<Glib::ustring>& order) { g_AppSet->set_bases_column_order(order); },
    };
}

CColumnViewState::Storage CColumnViewState::keys_storage() {
    return {
        [] { return g_AppSet->get_keys_sort_column(); },
        [] { return g_AppSet->get_keys_sort_descending(); },
        [](const Glib::ustring& column, bool descending) { g_AppSet->set_keys_sort(column, descending); },
        [] { return g_AppSet->get_keys_column_order(); },
        [](const std::vector<Glib::ustring>& order) { g_AppSet->set_keys_column_order(order); },
    };
}

CColumnViewState::CColumnViewState(Gtk::ColumnView& view, const std::vector<Glib::ustring>& ids,
                                   Storage storage)
    : m_view(view), m_expected(static_cast<guint>(ids.size())), m_storage(std::move(storage)) {
    auto columns = m_view.get_columns();
    for (guint i = 0; i < columns->get_n_items() && i < ids.size(); ++i) {
        g_object_set_data_full(G_OBJECT(columns->get_object(i)->gobj()), kIdKey, g_strdup(ids[i].c_str()),
                               g_free);
    }
    restore_order(m_storage.column_order());
    restore_sorting();
    // Connected only now: the restoring above is not a change to store.
    m_conn_sorter =
        m_view.get_sorter()->signal_changed().connect([this](Gtk::Sorter::Change) { on_sorter_changed(); });
    m_conn_columns =
        columns->signal_items_changed().connect([this](guint, guint, guint) { on_columns_changed(); });
}

CColumnViewState::~CColumnViewState() {
    m_conn_sorter.disconnect();
    m_conn_columns.disconnect();
    m_conn_store_sort.disconnect();
}

Glib::ustring CColumnViewState::column_id(const Glib::RefPtr<Gtk::ColumnViewColumn>& column) {
    const auto* id = static_cast<const char*>(g_object_get_data(G_OBJECT(column->gobj()), kIdKey));
    return id != nullptr ? Glib::ustring(id) : Glib::ustring();
}

Glib::RefPtr<Gtk::ColumnViewColumn> CColumnViewState::find_column(const Glib::ustring& id) const {
    auto columns = m_view.get_columns();
    for (guint i = 0; i < columns->get_n_items(); ++i) {
        auto column = std::dynamic_pointer_cast<Gtk::ColumnViewColumn>(columns->get_object(i));
        if (column && column_id(column).raw() == id.raw())
            return column;
    }
    return {};
}

void CColumnViewState::restore_order(const std::vector<Glib::ustring>& order) {
    ++m_quiet;
    guint position = 0;
    for (const Glib::ustring& id : order) {
        auto column = find_column(id);
        if (!column)
            continue; // an id from another version of the program
        auto columns = m_view.get_columns();
        if (columns->get_object(position) != column) {
            m_view.remove_column(column);
            m_view.insert_column(position, column);
        }
        ++position;
    }
    --m_quiet;
}

void CColumnViewState::sort_by(const Glib::ustring& id, bool descending) {
    ++m_quiet;
    column_view_sort_by(m_view, id.empty() ? Glib::RefPtr<Gtk::ColumnViewColumn>() : find_column(id),
                        descending);
    --m_quiet;
}

void CColumnViewState::restore_sorting() {
    sort_by(m_storage.sort_column(), m_storage.sort_descending());
}

std::pair<Glib::ustring, bool> CColumnViewState::current_sort() const {
#if GTK_CHECK_VERSION(4, 10, 0)
    auto* sorter = GTK_COLUMN_VIEW_SORTER(gtk_column_view_get_sorter(m_view.gobj()));
    GtkColumnViewColumn* primary = gtk_column_view_sorter_get_primary_sort_column(sorter);
    if (primary == nullptr)
        return {};
    auto column = Glib::wrap(primary, true);
    return {column_id(column), gtk_column_view_sorter_get_primary_sort_order(sorter) == GTK_SORT_DESCENDING};
#else
    std::vector<TitleSort> titles;
    collect_title_sorts(m_view, titles, nullptr);
    auto columns = m_view.get_columns();
    for (const TitleSort& title : titles) {
        if (!title.ascending && !title.descending)
            continue;
        for (guint i = 0; i < columns->get_n_items(); ++i) {
            auto column = std::dynamic_pointer_cast<Gtk::ColumnViewColumn>(columns->get_object(i));
            if (column->get_title().raw() == title.title.raw())
                return {column_id(column), title.descending};
        }
    }
    return {};
#endif
}

std::vector<Glib::ustring> CColumnViewState::current_order() const {
    std::vector<Glib::ustring> order;
    auto columns = m_view.get_columns();
    for (guint i = 0; i < columns->get_n_items(); ++i)
        order.push_back(column_id(std::dynamic_pointer_cast<Gtk::ColumnViewColumn>(columns->get_object(i))));
    return order;
}

void CColumnViewState::on_sorter_changed() {
    if (m_quiet != 0 || m_conn_store_sort.connected())
        return;
    // The titles show the new sorting only after the sorter has told its listeners.
    m_conn_store_sort = Glib::signal_idle().connect([this] {
        const auto [column, descending] = current_sort();
        m_storage.store_sort(column, descending);
        return false;
    });
}

void CColumnViewState::on_columns_changed() {
    // A column moved by the user is taken out and put back: only the full set is an order worth storing.
    if (m_quiet != 0 || m_view.get_columns()->get_n_items() != m_expected)
        return;
    m_storage.store_column_order(current_order());
}

void column_view_sort_by(Gtk::ColumnView& view, const Glib::RefPtr<Gtk::ColumnViewColumn>& column,
                         bool descending) {
    // Unsorting first takes the arrow off the previous primary column's title, which sorting by another
    // column alone leaves standing.
    gtk_column_view_sort_by_column(view.gobj(), nullptr, GTK_SORT_ASCENDING);
    if (column && column->get_sorter())
        view.sort_by_column(column, descending ? Gtk::SortType::DESCENDING : Gtk::SortType::ASCENDING);
}

const Gtk::Widget* column_view_list(const Gtk::ColumnView& view) {
    for (const Gtk::Widget* child = view.get_first_child(); child != nullptr;
         child = child->get_next_sibling())
        if (GTK_IS_LIST_VIEW(child->gobj()))
            return child;
    return nullptr;
}

Gtk::Widget* column_view_list(Gtk::ColumnView& view) {
    return const_cast<Gtk::Widget*>(column_view_list(std::as_const(view)));
}

void column_view_scroll_to(Gtk::ColumnView& view, guint position) {
    // GTK before 4.12 scrolls a column view only through its inner list view's action.
    if (Gtk::Widget* list = column_view_list(view))
        list->activate_action("list.scroll-to-item", Glib::Variant<guint>::create(position));
}
