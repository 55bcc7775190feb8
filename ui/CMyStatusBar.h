// The status line at the bottom of the main window: the adapter lamp, the last status message, an info field
// (the worker's countdown and similar short texts) and the row count of the current list.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/label.h>
#include <gtkmm/separator.h>
#include <sigc++/signal.h>

#include "adapter/CAdapterThread.h"
#include "ui/CComModeView.h"

class CMyStatusBar : public Gtk::Box {
public:
    using type_signal_details_requested = sigc::signal<void()>;

    CMyStatusBar();

    // The main label: status messages and the progress lines of device commands.
    void set_status(const Glib::ustring& text);
    void set_text(const Glib::ustring& text) { set_status(text); }
    void set_ready_status();
    // The info field, e.g. the seconds left while the adapter waits.
    void set_info(const Glib::ustring& text);
    // "selected/total"; a total of all ones means the current view has no count and empties the field.
    void set_count(unsigned selected, unsigned total);
    // Stores the adapter's reading state and power answer; the lamp is redrawn only when either changed.
    void set_adapter_status(CAdapterThread::ComMode mode, CAdapterThread::PowerMode power);

    Glib::ustring get_status() const { return m_label_main.get_text(); }
    Glib::ustring get_info() const { return m_label_info.get_text(); }
    Glib::ustring get_count() const { return m_label_count.get_text(); }

    // Emitted on a double click on the main label; the window opens the history.
    type_signal_details_requested& signal_details_requested() { return m_signal_details_requested; }
    CComModeView& com_mode_view() { return m_com_mode_view; }

protected:
    void on_main_label_pressed(int n_press, double x, double y);

private:
    CComModeView m_com_mode_view;
    Gtk::Separator m_sep1{Gtk::Orientation::VERTICAL};
    Gtk::Label m_label_main;
    Gtk::Separator m_sep2{Gtk::Orientation::VERTICAL};
    Gtk::Label m_label_info;
    Gtk::Separator m_sep3{Gtk::Orientation::VERTICAL};
    Gtk::Label m_label_count;
    Glib::RefPtr<Gtk::GestureClick> m_gesture_main;
    type_signal_details_requested m_signal_details_requested;
};
