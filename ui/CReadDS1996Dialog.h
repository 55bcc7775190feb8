// The question shown when a DS1996L to be read does not hold a complete base: what the key's first byte says
// about its content, and whether to read it anyway.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/window.h>

#include <glibmm/ustring.h>

class CReadDS1996Dialog : public Gtk::Window {
public:
    // code: byte 0 of the key (1 prepared, 51 read and ready, 52 incomplete, 128 no text, else unknown).
    explicit CReadDS1996Dialog(unsigned int code);
    bool get_answer() const { return m_answer; }
    // The label's text for a code.
    static Glib::ustring text_for_code(unsigned int code);

protected:
    void on_yes_button_clicked();
    void on_no_button_clicked();

private:
    Gtk::Box m_box{Gtk::Orientation::VERTICAL};
    Gtk::Box m_buttons{Gtk::Orientation::HORIZONTAL};
    Gtk::Label m_label;
    Gtk::Button m_yes;
    Gtk::Button m_no;
    bool m_answer = false;
};
