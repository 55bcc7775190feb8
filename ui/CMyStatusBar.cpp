// The status line.
#include "ui/CMyStatusBar.h"

#include <gtkmm/gestureclick.h>

#include "app/i18n.h"
#include "ui/Accessible.h"

CMyStatusBar::CMyStatusBar() : Gtk::Box(Gtk::Orientation::HORIZONTAL, 12) {
    add_css_class("status-bar");
    m_lamp.set_size_request(18, 18);
    append(m_lamp);
    m_label.set_text(_("Ready"));
    m_label.set_xalign(0.0f);
    m_label.set_hexpand(true);
    m_label.set_ellipsize(Pango::EllipsizeMode::END);
    append(m_label);
    set_accessible_label(*this, _("Status"));

    auto click = Gtk::GestureClick::create();
    click->signal_pressed().connect([this](int n_press, double, double) {
        if (n_press == 2)
            m_signal_details_requested.emit();
    });
    m_label.add_controller(click);
}

void CMyStatusBar::set_text(const Glib::ustring& text) {
    m_label.set_text(text);
}
