// A date entry in the form DD.MM.YYYY with a calendar popup and an error line that checks the date as it is
// typed. Used for the date range of find in files.
#pragma once

#include <gtkmm/box.h>
#include <gtkmm/calendar.h>
#include <gtkmm/entry.h>
#include <gtkmm/label.h>
#include <gtkmm/popover.h>

#include <sigc++/connection.h>

#include <ctime>

class CDatePicker : public Gtk::Box {
public:
    CDatePicker();
    ~CDatePicker() override;

    void set_date(unsigned day, unsigned month, unsigned year);
    // The local date of `time`; an empty entry when the time cannot be converted.
    void set_date(std::time_t time);
    // Parses the entry. An empty entry is accepted as no date (all three 0). Returns whether the text is a
    // valid date or empty.
    bool get_date(unsigned& day, unsigned& month, unsigned& year) const;
    // Local midnight of the entered date, or 0 for an empty entry (an open bound). On failure `time` is left
    // unchanged and the result is false.
    bool get_date(std::time_t& time) const;
    // Years 1900-2100, Gregorian month lengths.
    static bool is_valid_date(unsigned day, unsigned month, unsigned year);

    void show_error(const Glib::ustring& text);
    void clear_error();

    Gtk::Entry& entry() { return m_entry; }
    Glib::ustring get_error_text() const { return m_label_error.get_text(); }

protected:
    void on_entry_changed();
    void on_entry_icon_press(Gtk::Entry::IconPosition position);
    void on_calendar_day_selected();

private:
    Gtk::Entry m_entry;
    Gtk::Popover m_popover;
    Gtk::Calendar m_calendar;
    Gtk::Label m_label_error;
    sigc::connection m_conn_day_selected;
};
