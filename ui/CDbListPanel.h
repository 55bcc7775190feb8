// The database list of view mode 0: a column view over the window's list of databases, in a scrolled
// window. It tells the window when the selection changes and when a row is activated.
#pragma once

#include <giomm/liststore.h>
#include <gtkmm/columnview.h>
#include <gtkmm/multiselection.h>
#include <gtkmm/scrolledwindow.h>
#include <sigc++/signal.h>

#include <vector>

#include "ui/CDbInfo.h"

class CDbListPanel : public Gtk::ScrolledWindow {
public:
    explicit CDbListPanel(const Glib::RefPtr<Gio::ListStore<CDbInfo>>& store);

    Gtk::ColumnView& view() { return m_view; }
    const Glib::RefPtr<Gtk::MultiSelection>& selection() const { return m_selection; }

    // The selected rows in list order.
    std::vector<Glib::RefPtr<CDbInfo>> selected_items() const;
    bool has_selection() const;
    void select_all();
    // Selects the row alone.
    void select_only(guint position);
    void focus_view();

    sigc::signal<void()>& signal_selection_changed() { return m_signal_selection_changed; }
    sigc::signal<void(guint)>& signal_activated() { return m_signal_activated; }

private:
    Glib::RefPtr<Gtk::MultiSelection> m_selection;
    Gtk::ColumnView m_view;
    sigc::signal<void()> m_signal_selection_changed;
    sigc::signal<void(guint)> m_signal_activated;
};
