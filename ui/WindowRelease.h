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
#include <gtkmm/window.h>

#include <memory>
#include <vector>

// The windows an owner closed, kept until the main loop turns (a window may be inside one of its own signals
// when it is closed) or until the owner goes, whichever comes first: a dialog never outlives its owner.
class CClosedWindows {
public:
    CClosedWindows() = default;
    CClosedWindows(const CClosedWindows&) = delete;
    CClosedWindows& operator=(const CClosedWindows&) = delete;
    ~CClosedWindows() {
        m_idle.disconnect();
        m_owner_gone = true;
        delete_closed();
    }

    // Destroys the window now; the pointer is empty at once. Does nothing for an empty pointer.
    template <class WindowPointer>
    void release(WindowPointer& window) {
        if (!window)
            return;
        window->destroy();
        m_windows.emplace_back(std::move(window));
        if (!m_idle.connected() && !m_owner_gone)
            m_idle = Glib::signal_idle().connect([this] {
                delete_closed();
                return false;
            });
    }

private:
    // A window deleted here may close another of the same owner.
    void delete_closed() {
        while (!m_windows.empty()) {
            auto leaving = std::move(m_windows);
            m_windows.clear();
            leaving.clear();
        }
    }

    std::vector<std::shared_ptr<Gtk::Window>> m_windows;
    sigc::connection m_idle;
    bool m_owner_gone = false;
};

// A file chooser's own window goes once the chooser has answered: after every handler of its response the
// chooser is destroyed, which also drops the handlers and what they hold (the chooser itself, often).
inline void destroy_after_response(const Glib::RefPtr<Gtk::NativeDialog>& chooser) {
    g_signal_connect_after(
        chooser->gobj(), "response",
        G_CALLBACK(+[](GtkNativeDialog* dialog, int, gpointer) { gtk_native_dialog_destroy(dialog); }),
        nullptr);
}
