// One question put to the user on behalf of a device command, without blocking the main loop: one or more
// dialogs in turn (warnings to confirm, the DS1996L content question), then exactly one answer, handed to the
// place that asked. The owner withdraws it when the command it belongs to ends or is replaced; a withdrawn
// question closes its dialog and gives no answer, so a late click can never answer the next question.
#pragma once

#include <functional>
#include <memory>

#include <glibmm/ustring.h>
#include <gtkmm/window.h>
#include <sigc++/connection.h>

#include "adapter/CAdapterThread.h"
#include "ui/WindowRelease.h"

class CWorkerQuestion {
public:
    // Receives the answer; called at most once, never after withdraw(). It may delete the question.
    using Deliver = std::function<void(bool yes)>;

    // cmd: the command the question belongs to.
    // closed: the parent's closed windows, where the question's dialogs go (they may outlive the question
    // until the main loop turns: a command can be withdrawn from inside one of their signals).
    CWorkerQuestion(Gtk::Window& parent, CClosedWindows& closed, CAdapterThread::Cmd cmd, Deliver deliver);
    ~CWorkerQuestion();
    CWorkerQuestion(const CWorkerQuestion&) = delete;
    CWorkerQuestion& operator=(const CWorkerQuestion&) = delete;

    CAdapterThread::Cmd cmd() const { return m_cmd; }
    // Neither answered nor withdrawn.
    bool is_pending() const { return m_pending; }
    // The dialog showing now, or null.
    Gtk::Window* dialog() const { return m_dialog.get(); }

    // A modal warning with OK and Cancel: OK runs on_ok, which asks the next step or answers; anything
    // else (Cancel, closing the dialog) answers no.
    void confirm(const Glib::ustring& text, std::function<void()> on_ok);
    // The DS1996L content question for the key's first byte; its Yes or No is the answer.
    void ask_ds1996_content(unsigned int code);
    // Ends the question with this answer (the first call only; nothing after a withdrawal).
    void answer(bool yes);
    // Closes the dialog showing; no answer is given from now on.
    void withdraw();

private:
    void show(std::unique_ptr<Gtk::Window> dialog);
    void close_dialog();
    void on_confirm_response(int response);

    Gtk::Window& m_parent;
    CClosedWindows& m_closed_windows;
    const CAdapterThread::Cmd m_cmd;
    Deliver m_deliver;
    bool m_pending = true;
    std::unique_ptr<Gtk::Window> m_dialog;
    // The dialog's answer signal: cut before the dialog goes, so that nothing it emits later arrives here.
    sigc::connection m_conn_answer;
    std::function<void()> m_on_ok;
};
