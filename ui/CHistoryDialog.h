// The window listing the status history.
#pragma once

#include <giomm/liststore.h>
#include <gtkmm/columnview.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/window.h>

#include "keys/CHistoryRec.h"

class CHistoryDialog : public Gtk::Window {
public:
    CHistoryDialog(Gtk::Window& parent, const Glib::RefPtr<Gio::ListStore<CHistoryRec>>& history);

private:
    Gtk::ScrolledWindow m_scrolled;
    Gtk::ColumnView m_view;
};
