// A key table with its header: the model chain (keys, sorting, filter, selection), the filter text and its
// highlight, and the focus, selection and Delete-key signals the window listens to.
#include "ui/CKeyPanel.h"

#include <gdk/gdk.h>
#include <gdk/gdkkeysyms.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/gestureclick.h>
#include <sigc++/adaptors/hide.h>

#include <unordered_set>

#include "app/i18n.h"
#include "settings/CAppSettings.h"
#include "ui/Accessible.h"
#include "ui/CKeyPanelCells.h"
#include "ui/Highlight.h"
#include "ui/KeyRowModel.h"
#include "ui/KeyTableOrder.h"
#include "ui/KeyTextFilter.h"

namespace {
// A reference to the key of a plain instance the table's order holds.
Glib::RefPtr<CKey> key_ref(GObject* object) {
    CKey* key = CKey::of_instance(object);
    if (key)
        key->reference();
    return Glib::make_refptr_for_instance(key);
}
} // namespace

CKeyPanel::CKeyPanel(int index, CKeyDocument& document, const Glib::RefPtr<CMyProp>& prop)
    : Gtk::Box(Gtk::Orientation::VERTICAL), m_index(index), m_prop(prop),
      m_cells(std::make_unique<key_cells::CCells>()), m_table(Gtk::Orientation::HORIZONTAL),
      m_rows_on_screen(kGuessedRowsOnScreen) {
    const Glib::ustring title = index == 0 ? _("Panel 1") : _("Panel 2");
    m_header.set_text(title);
    m_header.add_css_class("panel-header");
    m_header.set_xalign(0.0f);
    append(m_header);

    key_cells::set_shown_format(g_AppSet ? g_AppSet->get_key_format() : KF_HEX);
    build_columns();
    build_model(document);

    m_view.set_model(m_rows->window());
    m_view.add_css_class("data-table");
    m_view.set_hexpand(true);
    m_view.set_vexpand(true);
    set_accessible_label(m_view, index == 0 ? _("Key table 1") : _("Key table 2"));
    build_scrolling();
    append(m_table);

    // A press on the header is a request to work with this table.
    auto click = Gtk::GestureClick::create();
    click->set_button(GDK_BUTTON_PRIMARY);
    click->signal_pressed().connect(sigc::mem_fun(*this, &CKeyPanel::on_header_pressed));
    m_header.add_controller(click);

    m_focus = Gtk::EventControllerFocus::create();
    m_focus->signal_enter().connect([this] { m_signal_focus_entered.emit(m_index); });
    m_view.add_controller(m_focus);

    // Before the view's own keys: the cursor keys move the rows on screen too.
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(sigc::mem_fun(*this, &CKeyPanel::on_view_key_pressed), false);
    m_view.add_controller(keys);

    m_selection->signal_selection_changed().connect([this](guint, guint) {
        if (!m_following_keys)
            m_signal_selection_changed.emit(m_index);
    });
}

CKeyPanel::~CKeyPanel() {
    m_view_height_changed.disconnect();
    m_fit_window.disconnect();
}

void CKeyPanel::build_columns() {
    for (int c = 0; c < KEY_COL_COUNT; ++c) {
        const auto column = static_cast<Column>(c);
        auto view_column =
            Gtk::ColumnViewColumn::create(key_cells::column_title(column), m_cells->make_factory(column));
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
    m_order = std::make_unique<CKeyTableOrder>(document.get_keys());
    m_filter = key_text_filter::create();
    // Without a filter text no filter is set: every key shows without being looked at.
    m_rows = std::make_unique<CKeyRowModel>(*m_order);
    m_rows->signal_before_change().connect(sigc::mem_fun(*this, &CKeyPanel::on_rows_before_change));
    m_rows->signal_after_change().connect(sigc::mem_fun(*this, &CKeyPanel::on_rows_after_change));
    m_selection = m_rows->selection();

    m_view.get_sorter()->signal_changed().connect(
        sigc::hide(sigc::mem_fun(*this, &CKeyPanel::on_view_sorter_changed)));
}

guint CKeyPanel::shown_count() const {
    return static_cast<guint>(m_order->shown().size());
}

Glib::RefPtr<CKey> CKeyPanel::shown_key(guint position) const {
    return position < shown_count() ? key_ref(m_order->shown()[position]) : Glib::RefPtr<CKey>();
}

guint CKeyPanel::sorted_count() const {
    return static_cast<guint>(m_order->sorted().size());
}

Glib::RefPtr<CKey> CKeyPanel::sorted_key(guint position) const {
    return position < sorted_count() ? key_ref(m_order->sorted()[position]) : Glib::RefPtr<CKey>();
}

void CKeyPanel::sort_by_column_id(const Glib::ustring& id, bool descending) {
    change_view_sorting([&] {
        if (m_column_state) {
            m_column_state->sort_by(id, descending);
            return;
        }
        Glib::RefPtr<Gtk::ColumnViewColumn> found;
        for (const KeyColumn& column : m_columns)
            if (!id.empty() && column.id.raw() == id.raw())
                found = column.column;
        column_view_sort_by(m_view, found, descending);
    });
}

template <typename Change>
void CKeyPanel::change_view_sorting(Change change) {
    // The view's sorter may change more than once on the way (unsorted first): the keys are sorted once.
    ++m_quiet_sorter;
    change();
    --m_quiet_sorter;
    restore_view_sorting();
}

std::vector<Glib::ustring> CKeyPanel::column_ids() const {
    std::vector<Glib::ustring> ids;
    for (const KeyColumn& column : m_columns)
        ids.push_back(column.id);
    return ids;
}

void CKeyPanel::persist_columns(CColumnViewState::Storage storage) {
    change_view_sorting([&] {
        m_column_state = std::make_unique<CColumnViewState>(m_view, column_ids(), std::move(storage));
    });
}

void CKeyPanel::keep_primary_sort() {
    if (m_column_state) {
        change_view_sorting([&] {
            const auto [column, descending] = m_column_state->current_sort();
            m_column_state->sort_by(column, descending);
        });
    }
}

void CKeyPanel::restore_stored_sorting() {
    if (m_column_state)
        change_view_sorting([&] { m_column_state->restore_sorting(); });
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

void CKeyPanel::select_keys(const std::vector<Glib::RefPtr<CKey>>& keys) {
    std::unordered_set<const GObject*> wanted;
    for (const auto& key : keys)
        wanted.insert(key->gobj());
    auto selected = Gtk::Bitset::create();
    for (guint i = 0, n = m_rows->size(); i < n && !wanted.empty(); ++i)
        if (wanted.count(m_rows->key_at(i)) != 0)
            selected->add(i);
    auto every = Gtk::Bitset::create();
    every->add_range(0, m_selection->get_n_items());
    m_selection->set_selection(selected, every);
}

bool CKeyPanel::select_key(const Glib::RefPtr<CKey>& key) {
    for (guint i = 0, n = m_rows->size(); i < n; ++i)
        if (m_rows->key_at(i) == G_OBJECT(key->gobj())) {
            select_only(i);
            scroll_to(i);
            return true;
        }
    return false;
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
        auto key = shown_key(*it);
        if (key)
            keys.push_back(key);
    }
    return keys;
}

void CKeyPanel::set_filter_text(const Glib::ustring& text) {
    if (text.empty()) {
        m_cells->set_highlight({});
        m_order->set_filter({});
    } else {
        m_cells->set_highlight(highlight_regex(text));
        // With the filter in place a longer text only looks at the keys still shown.
        key_text_filter::set_text(m_filter, text);
        m_order->set_filter(m_filter);
    }
    // Rows the filter kept were not bound again.
    m_cells->redraw_highlighted();
    m_prop->property_keys_query(m_index).set_value(text);
}

void CKeyPanel::on_key_format_changed() {
    key_cells::set_shown_format(g_AppSet->get_key_format());
    m_cells->redraw();
    // Numbers order by their new texts.
    m_order->resort();
    key_text_filter::numbers_changed(m_filter);
}

void CKeyPanel::sort_for_comparison(const std::vector<Column>& columns) {
    // The comparison's order is not the user's choice of sorting: it is not stored. The view shows no sort
    // column meanwhile.
    ++m_quiet_sorter;
    if (m_column_state)
        m_column_state->sort_by({}, false);
    else
        column_view_sort_by(m_view, {}, false);
    --m_quiet_sorter;
    std::vector<CKeyTableOrder::SortBy> sorting;
    for (Column column : columns)
        sorting.push_back({column, false});
    m_order->sort_by(sorting);
}

void CKeyPanel::restore_view_sorting() {
    m_order->sort_by(view_sorting(m_view.get_sorter()));
}

Glib::RefPtr<Gtk::Sorter> CKeyPanel::column_sorter(Column column) const {
    return m_sorters[column];
}

void CKeyPanel::on_view_sorter_changed() {
    // A click on a column header, also after a comparison, sorts by the view's columns.
    if (m_quiet_sorter == 0)
        restore_view_sorting();
}

void CKeyPanel::on_rows_before_change(guint position, guint removed) {
    m_moving_selected.clear();
    m_shifting_selected.clear();
    const guint count = m_rows->size();
    if (position >= count)
        return;
    const auto selected = m_selection->get_selection(position, count - position);
    for (auto it = selected->begin(); it != selected->end(); ++it) {
        if (*it < position + removed)
            m_moving_selected.push_back(m_rows->key_at(*it));
        else
            m_shifting_selected.push_back(*it);
    }
}

void CKeyPanel::on_rows_after_change(guint position, guint removed, guint added) {
    m_cells->follow_keys();
    show_position();
    if (m_moving_selected.empty() && m_shifting_selected.empty())
        return;
    auto selected = Gtk::Bitset::create();
    if (!m_moving_selected.empty()) {
        const std::unordered_set<const GObject*> moving(m_moving_selected.begin(), m_moving_selected.end());
        for (guint i = position; i < position + added; ++i)
            if (moving.count(m_rows->key_at(i)) != 0)
                selected->add(i);
    }
    for (guint old_position : m_shifting_selected)
        selected->add(old_position - removed + added);
    auto changed = Gtk::Bitset::create();
    changed->add_range(position, m_rows->size() - position);
    m_following_keys = true;
    m_selection->set_selection(selected, changed);
    m_following_keys = false;
    m_moving_selected.clear();
    m_shifting_selected.clear();
}

void CKeyPanel::on_header_pressed(int, double, double) {
    focus_view();
}

bool CKeyPanel::on_view_key_pressed(guint keyval, guint, Gdk::ModifierType state) {
    if (keyval != GDK_KEY_Delete && keyval != GDK_KEY_KP_Delete)
        return move_cursor(keyval, state);
    m_signal_delete_requested.emit(m_index,
                                   (state & Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType::SHIFT_MASK);
    return true;
}
