// Find in files: looks for keys in every database of the database folder at once, by number, creation
// date, attribute and description, and lists the hits; activating a hit opens its database in the main
// window with the key selected. The scan runs on a worker thread (CKeySearch) and can be stopped; databases
// open in the window are searched as they stand in memory.
#pragma once

#include <array>
#include <memory>

#include <giomm/liststore.h>
#include <glibmm/dispatcher.h>
#include <glibmm/object.h>
#include <glibmm/property.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/columnview.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/entry.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/singleselection.h>
#include <gtkmm/window.h>

#include "keys/CKeyDocument.h"
#include "keys/KeySearch.h"
#include "ui/CDatePicker.h"
#include "ui/WindowRelease.h"

class CSearchDialog : public Gtk::Window {
public:
    // One hit: the database, its description and the key's record index.
    class CSearchRec : public Glib::Object {
    public:
        static Glib::RefPtr<CSearchRec> create(const Glib::ustring& database,
                                               const Glib::ustring& description, int record);
        const Glib::ustring& database() const { return m_database; }
        const Glib::ustring& description() const { return m_description; }
        int record() const { return m_record; }

    protected:
        CSearchRec(const Glib::ustring& database, const Glib::ustring& description, int record);

    private:
        Glib::ustring m_database;
        Glib::ustring m_description;
        int m_record;
    };

    // The controls, reachable for the window's tests.
    struct Controls {
        Gtk::CheckButton number_check;
        Gtk::Entry number_entry;
        Gtk::DropDown format;
        Gtk::CheckButton short_check;
        Gtk::CheckButton date_check;
        Gtk::Label from_label;
        CDatePicker from;
        Gtk::Label to_label;
        CDatePicker to;
        Gtk::CheckButton attr_check;
        std::array<Gtk::CheckButton, 4> attrs; // Normal, Blocking, Master, Inactive
        Gtk::CheckButton description_check;
        Gtk::Entry description_entry;
        Gtk::CheckButton whole_word;
        Gtk::CheckButton match_case;
        Gtk::CheckButton regex;
        Gtk::Label result_label;
        Gtk::ColumnView view;
        Gtk::Button find;
        Gtk::Button stop;
    };

    // docs: the main window's key documents (count of them), searched in memory when open.
    CSearchDialog(CKeyDocument* docs, int count);
    ~CSearchDialog() override;

    // read true: the criteria from the controls (false when a control holds an invalid value); read false:
    // the criteria into the controls.
    bool UpdateCtrlData(bool read);
    void on_find_button_clicked();
    void on_stop_button_clicked();
    void on_columnview_activate(guint position);
    void ShowMessage(const Glib::ustring& text, Gtk::MessageType type);

    bool is_searching() const { return m_search.running() || m_searching; }
    const Glib::RefPtr<Gio::ListStore<CSearchRec>>& results() const { return m_results; }
    Controls& controls() { return m_controls; }
    Gtk::MessageDialog* message_dialog() { return m_message.get(); }

protected:
    void on_hide() override;

private:
    void build_layout();
    void append_column(const Glib::ustring& title, bool expand, Glib::ustring (*text_of)(const CSearchRec&));
    void update_sensitivity();
    void on_format_changed();
    void on_search_finished();

    CKeyDocument* m_docs;
    int m_doc_count;
    SearchCriteria m_criteria;
    key_format m_format = key_format::KF_HEX;
    int m_programmatic = 0;
    bool m_searching = false;
    Glib::ustring m_invalid; // why the controls were last read as invalid

    Gtk::Box m_box;
    Gtk::Grid m_grid;
    Gtk::ScrolledWindow m_scrolled;
    Controls m_controls;
    Glib::RefPtr<Gio::ListStore<CSearchRec>> m_results;
    Glib::RefPtr<Gtk::SingleSelection> m_selection;
    std::unique_ptr<Gtk::MessageDialog> m_message;
    CClosedWindows m_closed_windows;

    // The worker's end reaches the main loop through the dispatcher; the search goes first on destruction.
    Glib::Dispatcher m_dispatcher;
    CKeySearch m_search;
};
