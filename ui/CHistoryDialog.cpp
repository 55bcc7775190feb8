// The history window.
#include "ui/CHistoryDialog.h"

#include <gtkmm/singleselection.h>

#include "app/i18n.h"

CHistoryDialog::CHistoryDialog(Gtk::Window& parent,
                               const Glib::RefPtr<Gio::ListStore<CHistoryRec>>& history) {
    set_title(_("History"));
    set_transient_for(parent);
    set_destroy_with_parent(true);
    m_view.set_model(Gtk::SingleSelection::create(history));
    m_view.add_css_class("data-table");
    m_scrolled.set_child(m_view);
    set_child(m_scrolled);
}
