// The window listing the status history: one row per status line with its local time.
#pragma once

#include <giomm/liststore.h>
#include <gtkmm/box.h>
#include <gtkmm/columnview.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/singleselection.h>
#include <gtkmm/window.h>

#include <cstdint>

#include "keys/CHistoryRec.h"

class CHistoryDialog : public Gtk::Window {
public:
    // Shows `history` as it grows; the store stays the window's.
    CHistoryDialog(Gtk::Window& parent, const Glib::RefPtr<Gio::ListStore<CHistoryRec>>& history);

    // The "Time" column's text: the local time of day, 24-hour clock, no date.
    static Glib::ustring format_time(std::int64_t time);

protected:
    // Remembers the window's size for the next time.
    void on_hide() override;

private:
    void append_text_column(const Glib::ustring& title, bool expand,
                            Glib::ustring (*text_of)(const CHistoryRec&));

    Gtk::Box m_box;
    Gtk::ScrolledWindow m_scrolled;
    Gtk::ColumnView m_view;
    Glib::RefPtr<Gtk::SingleSelection> m_selection;
};
