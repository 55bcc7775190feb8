// The window in which one Mifare operation runs: it picks the reader, owns the Mifare worker, shows the
// worker's status line and one row per card, and hands the key list read from cards back to its creator.
#pragma once

#include <glibmm/dispatcher.h>
#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <gtkmm/listview.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/singleselection.h>
#include <gtkmm/stringlist.h>
#include <gtkmm/window.h>
#include <sigc++/functors/slot.h>

#include <memory>
#include <vector>

#include "layouts/m6.h"
#include "rdx.h"
#include "readers/CMifareThread.h"
#include "readers/RdxMessageQueue.h"
#include "readers/RdxWrapper.h"

class CMifareDialog : public Gtk::Window {
public:
    CMifareDialog();
    ~CMifareDialog() override;
    CMifareDialog(const CMifareDialog&) = delete;
    CMifareDialog& operator=(const CMifareDialog&) = delete;

    void StartPrepare();
    void StartWriteDb(const std::vector<m6::_db_key>& keys, unsigned short lock_code);
    // read_finished runs on the main thread once the whole set has been read (the worker has stopped).
    void StartReadDb(const sigc::slot<void()>& read_finished);
    void StartClear();

    void GetDbData(std::vector<m6::_db_key>& keys, unsigned short& lock_code) const;
    void set_status_text(const Glib::ustring& text);

    // What the dialog shows, for the window and its tests.
    Glib::ustring get_status_text() const { return m_status_label.get_text(); }
    const std::shared_ptr<Gtk::StringList>& card_rows() const { return m_card_rows; }
    // The selected card row, or GTK_INVALID_LIST_POSITION.
    guint get_selected_row() const { return m_selection->get_selected(); }
    // The reader the worker was given (type 0 and an empty name while none).
    void get_reader_port(rdx_port_type& type, Glib::ustring& name) const { m_thread.GetPort(type, name); }

protected:
    // Remembers the dialog's size for the next one.
    void on_hide() override;

private:
    void build_layout();
    void open_search();
    void Start(const char* title, void (CMifareThread::*start)());
    // Library and worker callbacks run on their own threads: they only wake the main loop.
    static void on_rdx_search_message(uint32_t msg, const void* data, void* ctx);
    void on_mf_thread_notify();
    void on_disp();
    void process_search_messages();
    // Follows the device list: reconnects a reader that came back and, with "<Auto>", picks a reader.
    void UpdatePort();
    void stop_worker_and_search();

    rdx::CRDX m_rdx{true};
    rdx::CReaderSearch m_search;
    // Raised by the search callback: the queue is only read when it holds something.
    rdx::CMessageFlag m_search_messages;
    CMifareThread m_thread;
    Glib::Dispatcher m_dispatcher;
    bool m_auto_port = false;
    Gtk::Box m_box;
    Gtk::Label m_status_label;
    Gtk::ScrolledWindow m_scrolled;
    Gtk::ListView m_list_view;
    std::shared_ptr<Gtk::StringList> m_card_rows;
    Glib::RefPtr<Gtk::SingleSelection> m_selection;
    sigc::slot<void()> m_read_finished;
};
