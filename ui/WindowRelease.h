// Closing the program's dialogs for good: GTK forgets the window at once, the C++ object goes later.
//
// GTK 4.8's accessibility bridge, asked for a window past the shown ones, answers with the last window in
// GTK's list of windows, shown or not, and a hidden one crashes it (a hidden window has no accessible path).
// An assistive client asks just that when a window closes, with the count of windows from before. So a
// closed window must leave GTK's list before the main loop turns again; hiding it and deleting it from an
// idle call left it in the list, hidden, for that turn.
#pragma once

#include <glibmm/main.h>
#include <gtkmm/nativedialog.h>

#include <memory>

// Destroys the window now and deletes it from an idle call (it may be inside one of its own signals here);
// the pointer is empty at once. Does nothing for an empty pointer.
template <class WindowPointer>
void release_window(WindowPointer& window) {
    if (!window)
        return;
    window->destroy();
    std::shared_ptr<typename WindowPointer::element_type> leaving(std::move(window));
    Glib::signal_idle().connect_once([leaving] {});
}

// A file chooser's own window goes once the chooser has answered: after every handler of its response the
// chooser is destroyed, which also drops the handlers and what they hold (the chooser itself, often).
inline void destroy_after_response(const Glib::RefPtr<Gtk::NativeDialog>& chooser) {
    g_signal_connect_after(
        chooser->gobj(), "response",
        G_CALLBACK(+[](GtkNativeDialog* dialog, int, gpointer) { gtk_native_dialog_destroy(dialog); }),
        nullptr);
}
