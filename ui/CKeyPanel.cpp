// A key table with its header, and the focus and selection signals the window listens to.
#include "ui/CKeyPanel.h"

#include <gdk/gdk.h>
#include <gtkmm/bitset.h>
#include <gtkmm/eventcontrollerfocus.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/window.h>

#include "app/i18n.h"
#include "ui/Accessible.h"

CKeyPanel::CKeyPanel(int index, CKeyDocument& document)
    : Gtk::Box(Gtk::Orientation::VERTICAL), m_index(index),
      m_selection(Gtk::MultiSelection::create(document.get_keys())) {
    const Glib::ustring title = index == 0 ? _("Panel 1") : _("Panel 2");
    m_header.set_text(title);
    m_header.add_css_class("panel-header");
    m_header.set_xalign(0.0f);
    append(m_header);

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

    m_selection->signal_selection_changed().connect(
        [this](guint, guint) { m_signal_selection_changed.emit(m_index); });
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

std::vector<Glib::RefPtr<CKey>> CKeyPanel::selected_keys() const {
    std::vector<Glib::RefPtr<CKey>> keys;
    auto* model = G_LIST_MODEL(m_selection->gobj());
    for (const guint position : *m_selection->get_selection()) {
        auto* item = static_cast<GObject*>(g_list_model_get_item(model, position));
        CKey* key = CKey::of_instance(item);
        if (key != nullptr) {
            key->reference();
            keys.push_back(Glib::make_refptr_for_instance(key));
        }
        g_object_unref(item);
    }
    return keys;
}

void CKeyPanel::select_all() {
    m_selection->select_all();
}

void CKeyPanel::select_only(guint position) {
    if (position < m_selection->get_n_items())
        m_selection->select_item(position, true);
}

void CKeyPanel::focus_view() {
    m_view.grab_focus();
}

bool CKeyPanel::has_focus_within() const {
    return m_focus->contains_focus();
}

void CKeyPanel::on_header_pressed(int, double, double) {
    focus_view();
}
