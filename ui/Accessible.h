// The name assistive technology reads for a widget, for widgets whose visible text does not say it
// (icon-only buttons, entries, views).
#pragma once

#include <glibmm/ustring.h>
#include <glibmm/value.h>
#include <gtkmm/accessible.h>

inline void set_accessible_label(Gtk::Accessible& widget, const Glib::ustring& text) {
    Glib::Value<Glib::ustring> value;
    value.init(Glib::Value<Glib::ustring>::value_type());
    value.set(text);
    widget.update_property(Gtk::Accessible::Property::LABEL, value);
}
