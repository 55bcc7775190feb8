// A device command's question as dialogs that never block the main loop, answered once or withdrawn.
#include "ui/CWorkerQuestion.h"

#include <glibmm/main.h>
#include <gtkmm/messagedialog.h>

#include "ui/CReadDS1996Dialog.h"

CWorkerQuestion::CWorkerQuestion(Gtk::Window& parent, CClosedWindows& closed, CAdapterThread::Cmd cmd,
                                 Deliver deliver)
    : m_parent(parent), m_closed_windows(closed), m_cmd(cmd), m_deliver(std::move(deliver)) {}

CWorkerQuestion::~CWorkerQuestion() {
    withdraw();
}

void CWorkerQuestion::confirm(const Glib::ustring& text, std::function<void()> on_ok) {
    if (!m_pending)
        return;
    close_dialog();
    auto dialog = std::make_unique<Gtk::MessageDialog>(
        m_parent, m_parent.get_title(), false, Gtk::MessageType::WARNING, Gtk::ButtonsType::OK_CANCEL, true);
    dialog->set_secondary_text(text);
    m_on_ok = std::move(on_ok);
    m_conn_answer =
        dialog->signal_response().connect(sigc::mem_fun(*this, &CWorkerQuestion::on_confirm_response));
    show(std::move(dialog));
}

void CWorkerQuestion::ask_ds1996_content(unsigned int code) {
    if (!m_pending)
        return;
    close_dialog();
    auto dialog = std::make_unique<CReadDS1996Dialog>(code);
    dialog->set_transient_for(m_parent);
    // Yes and No hide the dialog; so does closing it, which reads as No.
    m_conn_answer = dialog->signal_hide().connect([this, raw = dialog.get()] { answer(raw->get_answer()); });
    show(std::move(dialog));
}

// The step before has been closed already (with its answer signal cut).
void CWorkerQuestion::show(std::unique_ptr<Gtk::Window> dialog) {
    m_dialog = std::move(dialog);
    m_dialog->set_modal(true);
    m_dialog->set_hide_on_close(true);
    m_dialog->present();
}

void CWorkerQuestion::on_confirm_response(int response) {
    if (response != Gtk::ResponseType::OK) {
        answer(false);
        return;
    }
    close_dialog();
    // The next step may ask again, which sets a new step.
    const auto next = std::move(m_on_ok);
    m_on_ok = nullptr;
    if (next)
        next();
}

void CWorkerQuestion::answer(bool yes) {
    if (!m_pending)
        return;
    m_pending = false;
    close_dialog();
    m_on_ok = nullptr;
    // The receiver may delete this question: nothing of it is touched after the call.
    const Deliver deliver = std::move(m_deliver);
    m_deliver = nullptr;
    if (deliver)
        deliver(yes);
}

void CWorkerQuestion::withdraw() {
    m_pending = false;
    m_on_ok = nullptr;
    m_deliver = nullptr;
    close_dialog();
}

void CWorkerQuestion::close_dialog() {
    m_conn_answer.disconnect();
    if (!m_dialog)
        return;
    m_closed_windows.release(m_dialog);
}
