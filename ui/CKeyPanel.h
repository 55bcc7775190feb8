// One key table with its header: a header label ("Panel 1", "Panel 2") above a column view over a key
// document's list of keys. The window uses two of them side by side; a panel tells it when its table takes
// the keyboard focus (and so becomes the active one) and when its selection changes.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/columnview.h>
#include <gtkmm/eventcontrollerfocus.h>
#include <gtkmm/label.h>
#include <gtkmm/multiselection.h>
#include <gtkmm/scrolledwindow.h>
#include <sigc++/signal.h>

#include <vector>

#include "keys/CKeyDocument.h"

class CKeyPanel : public Gtk::Box {
public:
    // index 0 or 1: which table of the window this is (its header reads "Panel 1" or "Panel 2").
    CKeyPanel(int index, CKeyDocument& document);

    int index() const { return m_index; }
    Gtk::Label& header() { return m_header; }
    Gtk::ColumnView& view() { return m_view; }
    const Glib::RefPtr<Gtk::MultiSelection>& selection() const { return m_selection; }

    void set_title(const Glib::ustring& title);
    // Draws the header as the active table's.
    void set_focused(bool focused);
    bool has_selection() const;
    // The selected keys in table order.
    std::vector<Glib::RefPtr<CKey>> selected_keys() const;
    void select_all();
    // Selects the row alone.
    void select_only(guint position);
    void focus_view();
    // Whether the keyboard focus is on the table or inside it.
    bool has_focus_within() const;

    sigc::signal<void(int)>& signal_focus_entered() { return m_signal_focus_entered; }
    sigc::signal<void(int)>& signal_selection_changed() { return m_signal_selection_changed; }

private:
    void on_header_pressed(int n_press, double x, double y);

    const int m_index;
    Gtk::Label m_header;
    Gtk::ScrolledWindow m_scrolled;
    Glib::RefPtr<Gtk::MultiSelection> m_selection;
    Gtk::ColumnView m_view;
    Glib::RefPtr<Gtk::EventControllerFocus> m_focus;
    sigc::signal<void(int)> m_signal_focus_entered;
    sigc::signal<void(int)> m_signal_selection_changed;
};
