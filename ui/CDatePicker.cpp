// The date entry of find in files.
#include "ui/CDatePicker.h"

#include <glibmm/datetime.h>
#include <glibmm/markup.h>
#include <glibmm/regex.h>

#include <cstdlib>

#include "app/i18n.h"

namespace {
constexpr unsigned kMinYear = 1900;
constexpr unsigned kMaxYear = 2100;
constexpr int kErrorMarginTop = 5;

bool is_leap_year(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned days_in_month(unsigned month, unsigned year) {
    static constexpr unsigned kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && is_leap_year(year) ? 29 : kDays[month - 1];
}
} // namespace

CDatePicker::CDatePicker() : Gtk::Box(Gtk::Orientation::VERTICAL) {
    m_entry.set_placeholder_text(_("DD.MM.YYYY"));
    m_entry.set_icon_from_icon_name("office-calendar-symbolic", Gtk::Entry::IconPosition::SECONDARY);
    m_entry.signal_changed().connect(sigc::mem_fun(*this, &CDatePicker::on_entry_changed));
    m_entry.signal_icon_press().connect(sigc::mem_fun(*this, &CDatePicker::on_entry_icon_press));

    m_popover.set_child(m_calendar);
    m_popover.set_autohide(true);
    m_popover.set_parent(m_entry);
    m_conn_day_selected = m_calendar.signal_day_selected().connect(
        sigc::mem_fun(*this, &CDatePicker::on_calendar_day_selected));

    m_label_error.set_margin_top(kErrorMarginTop);
    m_label_error.set_halign(Gtk::Align::START);

    append(m_entry);
    append(m_label_error);
}

CDatePicker::~CDatePicker() {
    m_popover.unparent();
}

void CDatePicker::set_date(unsigned day, unsigned month, unsigned year) {
    m_entry.set_text(Glib::ustring::sprintf("%.2u.%.2u.%.4u", day, month, year));
}

void CDatePicker::set_date(std::time_t time) {
    std::tm local{};
    if (localtime_r(&time, &local) == nullptr) {
        m_entry.set_text({});
        return;
    }
    set_date(static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_mon + 1),
             static_cast<unsigned>(local.tm_year + 1900));
}

bool CDatePicker::get_date(unsigned& day, unsigned& month, unsigned& year) const {
    const Glib::ustring text = m_entry.get_text();
    if (text.empty()) {
        day = month = year = 0;
        return true;
    }
    static const auto kFormat = Glib::Regex::create("^(\\d{2})\\.(\\d{2})\\.(\\d{4})$");
    Glib::MatchInfo match;
    if (!kFormat->match(text, match))
        return false;
    const unsigned d = std::strtoul(match.fetch(1).c_str(), nullptr, 10);
    const unsigned m = std::strtoul(match.fetch(2).c_str(), nullptr, 10);
    const unsigned y = std::strtoul(match.fetch(3).c_str(), nullptr, 10);
    if (!is_valid_date(d, m, y))
        return false;
    day = d;
    month = m;
    year = y;
    return true;
}

bool CDatePicker::get_date(std::time_t& time) const {
    unsigned day = 0, month = 0, year = 0;
    if (!get_date(day, month, year))
        return false;
    if (day == 0) {
        time = 0;
        return true;
    }
    std::tm local{};
    local.tm_mday = static_cast<int>(day);
    local.tm_mon = static_cast<int>(month) - 1;
    local.tm_year = static_cast<int>(year) - 1900;
    local.tm_isdst = -1; // the system decides whether daylight saving applies at that midnight
    time = std::mktime(&local);
    return true;
}

bool CDatePicker::is_valid_date(unsigned day, unsigned month, unsigned year) {
    if (year < kMinYear || year > kMaxYear || month < 1 || month > 12)
        return false;
    return day >= 1 && day <= days_in_month(month, year);
}

void CDatePicker::show_error(const Glib::ustring& text) {
    m_label_error.set_markup("<span foreground='red' size='small'>" + Glib::Markup::escape_text(text) +
                             "</span>");
    m_entry.set_icon_from_icon_name("dialog-error-symbolic", Gtk::Entry::IconPosition::PRIMARY);
    m_entry.add_css_class("error");
}

void CDatePicker::clear_error() {
    m_label_error.set_text({});
    m_entry.unset_icon(Gtk::Entry::IconPosition::PRIMARY);
    m_entry.remove_css_class("error");
}

void CDatePicker::on_entry_changed() {
    unsigned day = 0, month = 0, year = 0;
    if (get_date(day, month, year))
        clear_error();
    else
        show_error(_("Invalid format or date"));
}

void CDatePicker::on_entry_icon_press(Gtk::Entry::IconPosition position) {
    if (position != Gtk::Entry::IconPosition::SECONDARY)
        return;
    // Open the calendar on the entered date when there is one.
    unsigned day = 0, month = 0, year = 0;
    if (get_date(day, month, year) && day != 0) {
        // Moving the calendar to the entered date is not the user's choice of a day.
        m_conn_day_selected.block();
        m_calendar.select_day(Glib::DateTime::create_local(static_cast<int>(year), static_cast<int>(month),
                                                           static_cast<int>(day), 0, 0, 0.0));
        m_conn_day_selected.unblock();
    }
    m_popover.popup();
}

void CDatePicker::on_calendar_day_selected() {
    m_entry.set_text(m_calendar.get_date().format("%d.%m.%Y"));
    m_popover.popdown();
}
