// The database list view: its model chain, columns, highlighted cells and selection.
#include "ui/CDbListPanel.h"
#include "ui/Highlight.h"

#include <gdk/gdkkeysyms.h>
#include <glibmm/markup.h>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/expression.h>
#include <gtkmm/listitem.h>
#include <gtkmm/numericsorter.h>
#include <gtkmm/signallistitemfactory.h>
#include <gtkmm/stringsorter.h>
#include <pango/pango.h>

#include "app/i18n.h"
#include "ui/Accessible.h"

namespace {
constexpr const char* kCutClass = "cut-item";

// The type of the rows, for the property expressions; a row's custom properties exist once one was made.
GType db_info_type() {
    static const GType type = G_OBJECT_TYPE(CDbInfo::create("", "", 0)->gobj());
    return type;
}

template <class T>
Glib::RefPtr<Gtk::Expression<T>> row_property(const char* name) {
    return Gtk::PropertyExpression<T>::create(db_info_type(), name);
}

} // namespace

// ---- Cells ----

CDbTextCell::CDbTextCell(CDbListPanel& panel, Field field) : m_panel(panel), m_field(field) {
    set_use_markup(field != Field::Keys);
    set_xalign(field == Field::Keys ? 1.0f : 0.0f);
    set_ellipsize(Pango::EllipsizeMode::END);
}

void CDbTextCell::bind(const Glib::RefPtr<CDbInfo>& item) {
    unbind();
    m_item = item;
    if (!m_item)
        return;
    auto redraw = [this] { refresh(); };
    m_connections.push_back(m_item->property_name().signal_changed().connect(redraw));
    m_connections.push_back(m_item->property_description().signal_changed().connect(redraw));
    m_connections.push_back(m_item->property_keys().signal_changed().connect(redraw));
    m_connections.push_back(m_item->property_error().signal_changed().connect(redraw));
    m_connections.push_back(m_panel.prop()->property_bases_query().signal_changed().connect(redraw));
    refresh();
}

void CDbTextCell::unbind() {
    for (auto& connection : m_connections)
        connection.disconnect();
    m_connections.clear();
    m_item.reset();
}

void CDbTextCell::refresh() {
    if (!m_item)
        return;
    const Glib::ustring error = m_item->error();
    set_tooltip_text(error);
    switch (m_field) {
    case Field::Name:
        set_markup(highlight_markup(m_item->name(), m_panel.highlight()));
        break;
    case Field::Description:
        if (error.empty())
            set_markup(highlight_markup(m_item->description(), m_panel.highlight()));
        else
            set_markup("<i>" + Glib::Markup::escape_text(_("Unreadable database")) + "</i>");
        break;
    case Field::Keys:
        set_text(error.empty() ? Glib::ustring::format(m_item->keys()) : Glib::ustring());
        break;
    }
}

CDbNameWidget::CDbNameWidget(CDbListPanel& panel) : CDbTextCell(panel, Field::Name) {}

void CDbNameWidget::bind(const Glib::RefPtr<CDbInfo>& item) {
    CDbTextCell::bind(item);
    if (m_item)
        m_connections.push_back(m_item->property_is_cut().signal_changed().connect([this] { show_cut(); }));
    show_cut();
}

void CDbNameWidget::show_cut() {
    if (m_item && m_item->is_cut())
        add_css_class(kCutClass);
    else
        remove_css_class(kCutClass);
}

// ---- Panel ----

const std::vector<Glib::ustring>& CDbListPanel::column_ids() {
    static const std::vector<Glib::ustring> ids{"Database", "Description", "Keys"};
    return ids;
}

CDbListPanel::CDbListPanel(const Glib::RefPtr<Gio::ListStore<CDbInfo>>& store,
                           const Glib::RefPtr<CMyProp>& prop)
    : m_prop(prop) {
    m_sort_model = Gtk::SortListModel::create(store, m_view.get_sorter());
    m_name_filter = Gtk::StringFilter::create(row_property<Glib::ustring>("name"));
    m_description_filter = Gtk::StringFilter::create(row_property<Glib::ustring>("description"));
    m_filter = Gtk::AnyFilter::create();
    for (const auto& filter : {m_name_filter, m_description_filter}) {
        filter->set_ignore_case(true);
        filter->set_match_mode(Gtk::StringFilter::MatchMode::SUBSTRING);
        m_filter->append(filter);
    }
    m_filter_model = Gtk::FilterListModel::create(m_sort_model, m_filter);
    m_selection = Gtk::MultiSelection::create(m_filter_model);
    m_view.set_model(m_selection);

    const auto& ids = column_ids();
    add_column(ids[0], _("Database"), CDbTextCell::Field::Name,
               Gtk::StringSorter::create(row_property<Glib::ustring>("name")));
    add_column(ids[1], _("Description"), CDbTextCell::Field::Description,
               Gtk::StringSorter::create(row_property<Glib::ustring>("description")));
    add_column(ids[2], _("Keys"), CDbTextCell::Field::Keys,
               Gtk::NumericSorter<int>::create(row_property<int>("keys")));
    m_view.set_reorderable(true);
    m_view.add_css_class("data-table");
    m_view.set_hexpand(true);
    m_view.set_vexpand(true);
    set_accessible_label(m_view, _("Databases"));
    set_child(m_view);
    set_vexpand(true);

    m_selection->signal_selection_changed().connect(
        [this](guint, guint) { m_signal_selection_changed.emit(); });
    m_filter_model->signal_items_changed().connect(
        [this](guint, guint, guint) { m_signal_rows_changed.emit(); });
    m_view.signal_activate().connect([this](guint position) { m_signal_activated.emit(position); });
    auto keys = Gtk::EventControllerKey::create();
    keys->signal_key_pressed().connect(sigc::mem_fun(*this, &CDbListPanel::on_key_pressed), false);
    m_view.add_controller(keys);
}

void CDbListPanel::add_column(const Glib::ustring&, const Glib::ustring& title, CDbTextCell::Field field,
                              const Glib::RefPtr<Gtk::Sorter>& sorter) {
    auto factory = Gtk::SignalListItemFactory::create();
    factory->signal_setup().connect([this, field](const Glib::RefPtr<Gtk::ListItem>& list_item) {
        if (field == CDbTextCell::Field::Name)
            list_item->set_child(*Gtk::make_managed<CDbNameWidget>(*this));
        else
            list_item->set_child(*Gtk::make_managed<CDbTextCell>(*this, field));
    });
    factory->signal_bind().connect([](const Glib::RefPtr<Gtk::ListItem>& list_item) {
        if (auto* cell = dynamic_cast<CDbTextCell*>(list_item->get_child()))
            cell->bind(std::dynamic_pointer_cast<CDbInfo>(list_item->get_item()));
    });
    factory->signal_unbind().connect([](const Glib::RefPtr<Gtk::ListItem>& list_item) {
        if (auto* cell = dynamic_cast<CDbTextCell*>(list_item->get_child()))
            cell->unbind();
    });
    auto column = Gtk::ColumnViewColumn::create(title, factory);
    column->set_sorter(sorter);
    column->set_resizable(true);
    column->set_expand(field == CDbTextCell::Field::Description);
    m_view.append_column(column);
}

void CDbListPanel::persist_columns(CColumnViewState::Storage storage) {
    m_column_state = std::make_unique<CColumnViewState>(m_view, column_ids(), std::move(storage));
}

void CDbListPanel::set_filter(const Glib::ustring& text) {
    m_highlight = highlight_regex(text);
    m_name_filter->set_search(text);
    m_description_filter->set_search(text);
    m_prop->property_bases_query().set_value(text);
}

std::vector<Glib::RefPtr<CDbInfo>> CDbListPanel::selected_items() const {
    std::vector<Glib::RefPtr<CDbInfo>> items;
    const auto selected = m_selection->get_selection();
    for (auto it = selected->begin(); it != selected->end(); ++it) {
        auto item = std::dynamic_pointer_cast<CDbInfo>(m_selection->get_object(*it));
        if (item)
            items.push_back(item);
    }
    return items;
}

guint CDbListPanel::selected_count() const {
    return static_cast<guint>(m_selection->get_selection()->get_size());
}

bool CDbListPanel::has_selection() const {
    return !m_selection->get_selection()->is_empty();
}

guint CDbListPanel::visible_count() const {
    return m_selection->get_n_items();
}

void CDbListPanel::select_all() {
    m_selection->select_all();
}

void CDbListPanel::select_only(guint position) {
    if (position >= m_selection->get_n_items())
        return;
    m_selection->select_item(position, true);
}

guint CDbListPanel::display_position(const Glib::RefPtr<CDbInfo>& item) const {
    const guint count = m_selection->get_n_items();
    for (guint i = 0; i < count; ++i) {
        if (m_selection->get_object(i) == item)
            return i;
    }
    return GTK_INVALID_LIST_POSITION;
}

void CDbListPanel::scroll_to(guint position) {
    column_view_scroll_to(m_view, position);
}

void CDbListPanel::focus_view() {
    m_view.grab_focus();
}

bool CDbListPanel::on_key_pressed(guint keyval, guint, Gdk::ModifierType state) {
    if (keyval != GDK_KEY_Delete && keyval != GDK_KEY_KP_Delete)
        return false;
    m_signal_delete_pressed.emit((state & Gdk::ModifierType::SHIFT_MASK) == Gdk::ModifierType::SHIFT_MASK);
    return true;
}
