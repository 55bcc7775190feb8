// The name assistive technology reads for a widget, for widgets whose visible text does not say it
// (icon-only buttons, entries, views).
#pragma once

#include <glibmm/ustring.h>
#include <gtk/gtk.h>
#include <gtkmm/accessible.h>

// For widgets of the program's own GObject types, which have no gtkmm wrapper.
inline void set_accessible_label(GtkAccessible* widget, const Glib::ustring& text) {
    gtk_accessible_update_property(widget, GTK_ACCESSIBLE_PROPERTY_LABEL, text.c_str(), -1);
}

inline void set_accessible_label(Gtk::Accessible& widget, const Glib::ustring& text) {
    set_accessible_label(widget.gobj(), text);
}
