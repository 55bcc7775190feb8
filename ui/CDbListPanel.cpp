// The database list view and its selection.
#include "ui/CDbListPanel.h"

#include "app/i18n.h"
#include "ui/Accessible.h"

CDbListPanel::CDbListPanel(const Glib::RefPtr<Gio::ListStore<CDbInfo>>& store)
    : m_selection(Gtk::MultiSelection::create(store)) {
    m_view.set_model(m_selection);
    m_view.add_css_class("data-table");
    m_view.set_hexpand(true);
    m_view.set_vexpand(true);
    set_accessible_label(m_view, _("Databases"));
    set_child(m_view);
    set_vexpand(true);

    m_selection->signal_selection_changed().connect(
        [this](guint, guint) { m_signal_selection_changed.emit(); });
    m_view.signal_activate().connect([this](guint position) { m_signal_activated.emit(position); });
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

bool CDbListPanel::has_selection() const {
    return !m_selection->get_selection()->is_empty();
}

void CDbListPanel::select_all() {
    m_selection->select_all();
}

void CDbListPanel::select_only(guint position) {
    if (position >= m_selection->get_n_items())
        return;
    m_selection->select_item(position, true);
}

void CDbListPanel::focus_view() {
    m_view.grab_focus();
}
