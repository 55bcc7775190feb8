// A key table with its header: the model chain (keys, sorting, filter, selection), the filter text and its
// highlight, and the focus, selection and Delete-key signals the window listens to.
#include "ui/CKeyPanel.h"

#include <gdk/gdk.h>
#include <gdk/gdkkeysyms.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/gestureclick.h>
#include <sigc++/adaptors/hide.h>

#include "app/i18n.h"
#include "settings/CAppSettings.h"
#include "ui/Accessible.h"
#include "ui/CKeyPanelCells.h"
#include "ui/Highlight.h"
#include "ui/KeyTextFilter.h"

CKeyPanel::CKeyPanel(int index, CKeyDocument& document, const Glib::RefPtr<CMyProp>& prop)
    : Gtk::Box(Gtk::Orientation::VERTICAL), m_index(index), m_prop(prop) {
    const Glib::ustring title = index == 0 ? _("Panel 1") : _("Panel 2");
    m_header.set_text(title);
    m_header.add_css_class("panel-header");
    m_header.set_xalign(0.0f);
    append(m_header);

    key_cells::set_shown_format(g_AppSet ? g_AppSet->get_key_format() : KF_HEX);
    build_columns();
    build_model(document);

    m_view.set_model(m_selection);
    m_view.add_css_class("data-table");
    m_view.set_hexpand(true);
    m_view.set_vexpand(true);
    set_accessible_label(m_view, index == 0 ? _("Key table 1") : _("Key table 2"));
    m_scrolled.set_child(m_view);
    m_scrolled.set_vexpand(true);
    append(m_scrolled);

    // A press on the header is a request to work with this table.
    auto click = Gtk::GestureClick::create();
    click->set_button(GDK_BUTTON_PRIMARY);
    click->signal_pressed().connect(sigc::mem_fun(*this, &CKeyPanel::on_header_pressed));
    m_header.add_controller(click);

    m_focus = Gtk::EventControllerFocus::create();
    m_focus->signal_enter().connect([this] { m_signal_focus_entered.emit(m_index); });
    m_view.add_controller(m_focus);

    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(sigc::mem_fun(*this, &CKeyPanel::on_view_key_pressed), false);
    m_view.add_controller(keys);

    m_selection->signal_selection_changed().connect(
        [this](guint, guint) { m_signal_selection_changed.emit(m_index); });
}

void CKeyPanel::build_columns() {
    const char* query_property = m_index == 0 ? "keys-query1" : "keys-query2";
    for (int c = 0; c < KEY_COL_COUNT; ++c) {
        const auto column = static_cast<Column>(c);
        auto view_column = Gtk::ColumnViewColumn::create(
            key_cells::column_title(column),
            key_cells::make_factory(column, m_prop, query_property, &m_highlight));
        view_column->set_resizable(true);
        if (column == KEY_COL_DESCRIPTION)
            view_column->set_expand(true);
        m_sorters[c] = key_cells::make_sorter(column);
        view_column->set_sorter(m_sorters[c]);
        m_view.append_column(view_column);
        m_columns[c] = {key_cells::column_id(column), view_column};
    }
}

void CKeyPanel::build_model(CKeyDocument& document) {
    m_sorter = Gtk::MultiSorter::create();
    m_sorter->append(m_view.get_sorter());
    m_sort_model = Gtk::SortListModel::create(document.get_keys(), m_sorter);

    m_filter = key_text_filter::create();
    // Without a filter text no filter is set: every key shows without being looked at.
    m_filter_model = Gtk::FilterListModel::create(m_sort_model, {});
    m_selection = Gtk::MultiSelection::create(m_filter_model);

    // The view's sorter lives on in the sort model: the connection ends with the panel.
    m_view.get_sorter()->signal_changed().connect(
        sigc::hide(sigc::mem_fun(*this, &CKeyPanel::on_view_sorter_changed)));
}

void CKeyPanel::sort_by_column_id(const Glib::ustring& id, bool descending) {
    if (m_column_state) {
        m_column_state->sort_by(id, descending);
        return;
    }
    Glib::RefPtr<Gtk::ColumnViewColumn> found;
    for (const KeyColumn& column : m_columns)
        if (!id.empty() && column.id == id)
            found = column.column;
    column_view_sort_by(m_view, found, descending);
}

std::vector<Glib::ustring> CKeyPanel::column_ids() const {
    std::vector<Glib::ustring> ids;
    for (const KeyColumn& column : m_columns)
        ids.push_back(column.id);
    return ids;
}

void CKeyPanel::persist_columns(CColumnViewState::Storage storage) {
    m_column_state = std::make_unique<CColumnViewState>(m_view, column_ids(), std::move(storage));
}

void CKeyPanel::keep_primary_sort() {
    if (m_column_state) {
        const auto [column, descending] = m_column_state->current_sort();
        m_column_state->sort_by(column, descending);
    }
}

void CKeyPanel::restore_stored_sorting() {
    if (m_column_state)
        m_column_state->restore_sorting();
}

void CKeyPanel::set_title(const Glib::ustring& title) {
    m_header.set_text(title);
}

void CKeyPanel::set_focused(bool focused) {
    if (focused)
        m_header.add_css_class("focused");
    else
        m_header.remove_css_class("focused");
}

bool CKeyPanel::has_selection() const {
    return !m_selection->get_selection()->is_empty();
}

guint CKeyPanel::selected_count() const {
    return static_cast<guint>(m_selection->get_selection()->get_size());
}

void CKeyPanel::select_all() {
    m_selection->select_all();
}

void CKeyPanel::unselect_all() {
    m_selection->unselect_all();
}

void CKeyPanel::select_only(guint position) {
    if (position < m_selection->get_n_items())
        m_selection->select_item(position, true);
}

void CKeyPanel::select_add(guint position) {
    if (position < m_selection->get_n_items())
        m_selection->select_item(position, false);
}

void CKeyPanel::select_positions(const std::vector<guint>& positions) {
    auto selected = Gtk::Bitset::create();
    for (guint position : positions)
        selected->add(position);
    auto every = Gtk::Bitset::create();
    every->add_range(0, m_selection->get_n_items());
    m_selection->set_selection(selected, every);
}

bool CKeyPanel::select_key(const Glib::RefPtr<CKey>& key) {
    const guint count = m_filter_model->get_n_items();
    for (guint i = 0; i < count; ++i) {
        GObject* item = static_cast<GObject*>(g_list_model_get_item(G_LIST_MODEL(m_filter_model->gobj()), i));
        const bool found = item == G_OBJECT(key->gobj());
        g_object_unref(item);
        if (found) {
            select_only(i);
            scroll_to(i);
            return true;
        }
    }
    return false;
}

void CKeyPanel::scroll_to(guint position) {
    column_view_scroll_to(m_view, position);
}

void CKeyPanel::focus_view() {
    m_view.grab_focus();
}

bool CKeyPanel::has_focus_within() const {
    return m_focus->contains_focus();
}

std::vector<Glib::RefPtr<CKey>> CKeyPanel::selected_keys() const {
    std::vector<Glib::RefPtr<CKey>> keys;
    const auto selected = m_selection->get_selection();
    keys.reserve(selected->get_size());
    for (auto it = selected->begin(); it != selected->end(); ++it) {
        auto key = std::dynamic_pointer_cast<CKey>(m_filter_model->get_object(*it));
        if (key)
            keys.push_back(key);
    }
    return keys;
}

void CKeyPanel::set_filter_text(const Glib::ustring& text) {
    if (text.empty()) {
        m_highlight.reset();
        m_filter_model->set_filter({});
    } else {
        m_highlight = highlight_regex(text);
        // With the filter in place a longer text only looks at the keys still shown.
        key_text_filter::set_text(m_filter, text);
        if (!m_filter_model->get_filter())
            m_filter_model->set_filter(m_filter);
    }
    // The cells watch the property: storing the text draws them again with the new highlight.
    m_prop->property_keys_query(m_index).set_value(text);
}

void CKeyPanel::on_key_format_changed() {
    key_cells::set_shown_format(g_AppSet->get_key_format());
    notify_query();
    gtk_sorter_changed(m_sorters[KEY_COL_NUMBER]->gobj(), GTK_SORTER_CHANGE_DIFFERENT);
    if (m_filter_model->get_filter())
        key_text_filter::numbers_changed(m_filter);
}

void CKeyPanel::notify_query() {
    g_object_notify(G_OBJECT(m_prop->gobj()), m_index == 0 ? "keys-query1" : "keys-query2");
}

void CKeyPanel::sort_for_comparison(const std::vector<Column>& columns) {
    ++m_programmatic;
    // The comparison's order is not the user's choice of sorting: it is not stored.
    sort_by_column_id({}, false);
    auto sorter = Gtk::MultiSorter::create();
    for (Column column : columns)
        sorter->append(m_sorters[column]);
    m_sort_model->set_sorter(sorter);
    --m_programmatic;
}

void CKeyPanel::restore_view_sorting() {
    if (m_sort_model->get_sorter() != m_sorter)
        m_sort_model->set_sorter(m_sorter);
}

Glib::RefPtr<Gtk::Sorter> CKeyPanel::column_sorter(Column column) const {
    return m_sorters[column];
}

void CKeyPanel::on_view_sorter_changed() {
    // A click on a column header after a comparison sorts by the view's columns again.
    if (m_programmatic == 0)
        restore_view_sorting();
}

void CKeyPanel::on_header_pressed(int, double, double) {
    focus_view();
}

bool CKeyPanel::on_view_key_pressed(guint keyval, guint, Gdk::ModifierType state) {
    if (keyval != GDK_KEY_Delete && keyval != GDK_KEY_KP_Delete)
        return false;
    m_signal_delete_requested.emit(m_index,
                                   (state & Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType::SHIFT_MASK);
    return true;
}
