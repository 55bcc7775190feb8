// The main window's status line.
#include "ui/CMyStatusBar.h"

#include <glibmm/ustring.h>

#include "app/i18n.h"

namespace {
constexpr int kSpacing = 12;
constexpr int kMarginEnds = 6;
constexpr int kMarginTopBottom = 4;
constexpr int kInfoChars = 16;
constexpr int kCountChars = 7;
constexpr unsigned kNoCount = 0xFFFFFFFFu;
} // namespace

CMyStatusBar::CMyStatusBar() : Gtk::Box(Gtk::Orientation::HORIZONTAL, kSpacing) {
    add_css_class("status-bar");
    set_margin_start(kMarginEnds);
    set_margin_end(kMarginEnds);
    set_margin_top(kMarginTopBottom);
    set_margin_bottom(kMarginTopBottom);

    m_comModeView.set_valign(Gtk::Align::CENTER);
    m_labelMain.set_halign(Gtk::Align::START);
    m_labelMain.set_hexpand(true);
    m_labelMain.set_ellipsize(Pango::EllipsizeMode::END);
    m_labelMain.set_xalign(0.0f);
    m_labelInfo.set_halign(Gtk::Align::START);
    m_labelInfo.set_xalign(0.0f);
    m_labelInfo.set_width_chars(kInfoChars);
    m_labelCount.set_halign(Gtk::Align::END);
    m_labelCount.set_xalign(1.0f);
    m_labelCount.set_width_chars(kCountChars);
    set_ready_status();

    append(m_comModeView);
    append(m_sep1);
    append(m_labelMain);
    append(m_sep2);
    append(m_labelInfo);
    append(m_sep3);
    append(m_labelCount);

    m_gestureMain = Gtk::GestureClick::create();
    m_gestureMain->set_button(GDK_BUTTON_PRIMARY);
    m_gestureMain->signal_pressed().connect(sigc::mem_fun(*this, &CMyStatusBar::on_main_label_pressed));
    m_labelMain.add_controller(m_gestureMain);
}

void CMyStatusBar::set_status(const Glib::ustring& text) {
    m_labelMain.set_text(text);
}

void CMyStatusBar::set_ready_status() {
    set_status(_("Ready"));
}

void CMyStatusBar::set_info(const Glib::ustring& text) {
    m_labelInfo.set_text(text);
}

void CMyStatusBar::set_count(unsigned selected, unsigned total) {
    if (total == kNoCount)
        m_labelCount.set_text({});
    else
        m_labelCount.set_text(Glib::ustring::sprintf("%u/%u", selected, total));
}

void CMyStatusBar::set_adapter_status(CAdapterThread::ComMode mode, CAdapterThread::PowerMode power) {
    m_comModeView.SetStatus(mode, power);
}

void CMyStatusBar::on_main_label_pressed(int n_press, double, double) {
    if (n_press == 2)
        m_signal_details_requested.emit();
}
