// Closing documents with their save questions, the window title and the message functions.
#include <ctime>

#include <glibmm/main.h>

#include "app/i18n.h"
#include "ui/CMainWindow.h"

namespace {
constexpr const char* kTitleSeparator = " \u2013 ";
// The answers of the save question, in button order.
enum CloseAnswer : int { kCloseCancel = 0, kCloseNo = 1, kCloseYes = 2 };
} // namespace

void CMainWindow::UpdateTitle() {
    Glib::ustring title;
    if (!m_adapter_port_text.empty()) {
        title = "[" + m_adapter_port_text;
        if (m_xor_mode)
            title += ", Xor0";
        title += "]";
    }
    if (m_view_mode != VIEW_DATABASES) {
        if (!title.empty())
            title += kTitleSeparator;
        title += m_docs[0].extract_db_name();
        if (m_view_mode == VIEW_TWO_DBS)
            title += ", " + m_docs[1].extract_db_name();
    }
    if (!title.empty())
        title += kTitleSeparator;
    title += _("Kestrix");
    set_title(title);
}

void CMainWindow::SetAdapterPortText(const Glib::ustring& text) {
    m_adapter_port_text = text;
    UpdateTitle();
}

bool CMainWindow::DoClose(bool ask, const std::function<void()>& after) {
    for (int index = 0; index < 2; ++index) {
        CKeyDocument& doc = m_docs[index];
        if (!doc.is_open())
            continue;
        if (ask && doc.is_modified()) {
            ask_save_before_close(index, after);
            return false;
        }
        _CloseKeyDoc(index, true);
    }
    if (m_view_mode == VIEW_TWO_DBS) {
        // Sorting by several columns (and a comparison's order) ends with the two tables: the next database
        // opens sorted as the user last chose.
        m_key_panels[1]->keep_primary_sort();
        m_key_panels[0]->restore_stored_sorting();
    }
    SetViewMode(VIEW_DATABASES);
    m_db_panel.focus_view();
    return true;
}

void CMainWindow::ask_save_before_close(int index, const std::function<void()>& after) {
    const Glib::ustring name = m_docs[index].extract_db_name();
    m_close_question = std::make_unique<Gtk::MessageDialog>(
        *this, _("Closing the database"), false, Gtk::MessageType::QUESTION, Gtk::ButtonsType::NONE, true);
    m_close_question->set_secondary_text(Glib::ustring::sprintf(_("Save changes to database \"%s\"?"), name));
    m_close_question->add_button(_("Cancel"), kCloseCancel);
    m_close_question->add_button(_("No"), kCloseNo);
    m_close_question->add_button(_("Yes"), kCloseYes);
    m_close_question->set_default_response(kCloseYes);
    m_close_question->set_hide_on_close(true);
    m_close_question->signal_response().connect([this, index, after](int response) {
        m_closed_windows.release(m_close_question);
        // The answer is acted on from an idle call, outside the dialog's own signal: the window may be
        // destroyed by `after`.
        Glib::signal_idle().connect_once(sigc::bind(
            sigc::mem_fun(*this, &CMainWindow::on_close_question_response), index, response, after));
    });
    m_close_question->present();
}

void CMainWindow::on_close_question_response(int index, int response, const std::function<void()>& after) {
    if (response != kCloseNo && response != kCloseYes)
        return; // Cancel, or the question closed: the documents stay open
    _CloseKeyDoc(index, response == kCloseYes);
    if (DoClose(true, after) && after)
        after();
}

void CMainWindow::_CloseKeyDoc(int index, bool save) {
    CKeyDocument& doc = m_docs[index];
    const Glib::ustring name = doc.extract_db_name();
    const auto count = static_cast<int>(doc.get_keys()->get_n_items());
    doc.close(save);
    if (save) {
        const guint position = FindBaseByName(name);
        if (position != kNoBase)
            m_db_store->get_item(position)->set_keys(count);
        SetStatusMessage(Glib::ustring::sprintf(_("Database \"%s\" has been saved"), name));
    }
    SetStatusMessage(Glib::ustring::sprintf(_("Database \"%s\" has been closed"), name));
}

void CMainWindow::MessageDialog(const Glib::ustring& text, Gtk::MessageType type, Gtk::ButtonsType buttons,
                                const ResponseSlot& slot) {
    if (!m_message_dialog) {
        m_message_dialog =
            std::make_unique<Gtk::MessageDialog>(*this, get_title(), false, type, buttons, true);
        m_message_dialog->signal_response().connect([this, slot](int response) {
            if (slot)
                slot(response);
            else
                ReleaseMessageDialog();
        });
    }
    m_message_dialog->set_transient_for(*this);
    m_message_dialog->set_secondary_text(text);
    m_message_dialog->set_visible(true);
}

void CMainWindow::ShowMessage(const Glib::ustring& text, Gtk::MessageType type) {
    if (!m_message_dialog) {
        m_message_dialog = std::make_unique<Gtk::MessageDialog>(*this, get_title(), false, type,
                                                                Gtk::ButtonsType::OK, false);
        m_message_dialog->signal_response().connect([this](int) { ReleaseMessageDialog(); });
    }
    m_message_dialog->set_transient_for(*this);
    m_message_dialog->set_secondary_text(text);
    m_message_dialog->set_visible(true);
}

void CMainWindow::ReleaseMessageDialog() {
    m_closed_windows.release(m_message_dialog);
}

void CMainWindow::SetStatusMessage(const Glib::ustring& text, bool add_to_history) {
    m_status_bar.set_text(text);
    if (add_to_history)
        m_history->append(CHistoryRec::create(static_cast<std::int64_t>(std::time(nullptr)), text));
}
