// The status line at the bottom of the main window: the adapter lamp and the last status text; a double
// click on the text asks for the history.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <sigc++/signal.h>

#include "ui/CComModeView.h"

class CMyStatusBar : public Gtk::Box {
public:
    CMyStatusBar();

    void set_text(const Glib::ustring& text);
    Glib::ustring get_text() const { return m_label.get_text(); }
    CComModeView& com_mode_view() { return m_lamp; }
    sigc::signal<void()>& signal_details_requested() { return m_signal_details_requested; }

private:
    CComModeView m_lamp;
    Gtk::Label m_label;
    sigc::signal<void()> m_signal_details_requested;
};
