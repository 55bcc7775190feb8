// The main window's status line.
#include "ui/CMyStatusBar.h"

#include <glibmm/ustring.h>

#include "app/i18n.h"

namespace {
constexpr int kFieldSpacing = 12; // between the lamp, the message, the info field and the count
constexpr int kMarginEnds = 6;
constexpr int kMarginTopBottom = 4;
constexpr int kInfoChars = 16;
constexpr int kCountChars = 7;
constexpr unsigned kNoCount = 0xFFFFFFFFu;
} // namespace

CMyStatusBar::CMyStatusBar() : Gtk::Box(Gtk::Orientation::HORIZONTAL, kFieldSpacing) {
    add_css_class("status-bar");
    set_margin_start(kMarginEnds);
    set_margin_end(kMarginEnds);
    set_margin_top(kMarginTopBottom);
    set_margin_bottom(kMarginTopBottom);

    m_com_mode_view.set_valign(Gtk::Align::CENTER);
    m_label_main.set_halign(Gtk::Align::START);
    m_label_main.set_hexpand(true);
    m_label_main.set_ellipsize(Pango::EllipsizeMode::END);
    m_label_main.set_xalign(0.0f);
    m_label_info.set_halign(Gtk::Align::START);
    m_label_info.set_xalign(0.0f);
    m_label_info.set_width_chars(kInfoChars);
    m_label_count.set_halign(Gtk::Align::END);
    m_label_count.set_xalign(1.0f);
    m_label_count.set_width_chars(kCountChars);
    set_ready_status();

    append(m_com_mode_view);
    append(m_sep1);
    append(m_label_main);
    append(m_sep2);
    append(m_label_info);
    append(m_sep3);
    append(m_label_count);

    m_gesture_main = Gtk::GestureClick::create();
    m_gesture_main->set_button(GDK_BUTTON_PRIMARY);
    m_gesture_main->signal_pressed().connect(sigc::mem_fun(*this, &CMyStatusBar::on_main_label_pressed));
    m_label_main.add_controller(m_gesture_main);
}

void CMyStatusBar::set_status(const Glib::ustring& text) {
    m_label_main.set_text(text);
}

void CMyStatusBar::set_ready_status() {
    set_status(_("Ready"));
}

void CMyStatusBar::set_info(const Glib::ustring& text) {
    m_label_info.set_text(text);
}

void CMyStatusBar::set_count(unsigned selected, unsigned total) {
    if (total == kNoCount)
        m_label_count.set_text({});
    else
        m_label_count.set_text(Glib::ustring::sprintf("%u/%u", selected, total));
}

void CMyStatusBar::set_adapter_status(CAdapterThread::ComMode mode, CAdapterThread::PowerMode power) {
    m_com_mode_view.SetStatus(mode, power);
}

void CMyStatusBar::on_main_label_pressed(int n_press, double, double) {
    if (n_press == 2)
        m_signal_details_requested.emit();
}
