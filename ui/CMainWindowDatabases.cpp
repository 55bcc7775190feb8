// The window's side of the database list: the database folder and its monitor, the list built from it,
// filtering, the database editor (create, describe, rename), deleting, and opening databases into the key
// documents.
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include <glibmm/main.h>

#include "app/Paths.h"
#include "app/i18n.h"
#include "keys/CKeyDb.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

namespace {
constexpr unsigned int kSelectDelayMs = 50;

std::filesystem::path db_path(const Glib::ustring& name) {
    return GetDbDir() / (name.raw() + CKeyDb::kFileExtension);
}
} // namespace

void CMainWindow::connect_database_panel() {
    m_db_panel.persist_columns(CColumnViewState::bases_storage());
    m_db_panel.signal_selection_changed().connect(sigc::mem_fun(*this, &CMainWindow::UpdateCtrlForSelDb));
    m_db_panel.signal_rows_changed().connect(sigc::mem_fun(*this, &CMainWindow::on_db_rows_changed));
    m_db_panel.signal_delete_pressed().connect(sigc::mem_fun(*this, &CMainWindow::DoDeleteDb));
    m_db_panel.signal_activated().connect([this](guint) {
        // From an idle call, so that the activation's own event handling ends first.
        Glib::signal_idle().connect_once(sigc::mem_fun(*this, &CMainWindow::DoOpen),
                                         Glib::PRIORITY_DEFAULT_IDLE);
    });
    m_db_create_button.signal_clicked().connect(
        sigc::mem_fun(*this, &CMainWindow::on_dbcreate_button_clicked));
    m_db_apply_button.signal_clicked().connect(sigc::mem_fun(*this, &CMainWindow::on_dbapply_button_clicked));
    m_search_entry.signal_changed().connect(sigc::mem_fun(*this, &CMainWindow::on_search_entry_changed));
}

// ---- The folder and the list ----

void CMainWindow::UpdateDbDir() {
    const std::filesystem::path dir = GetDbDir();
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) {
        const Glib::ustring text = _("Error creating directories: ") + ec.message();
        std::cerr << text << std::endl;
        SetStatusMessage(text);
    }
    m_conn_db_monitor.disconnect();
    if (m_db_monitor)
        m_db_monitor->cancel();
    m_db_monitor.reset();
    m_db_folder = Gio::File::create_for_path(dir.string());
    try {
        m_db_monitor = m_db_folder->monitor_directory(Gio::FileMonitorFlags::NONE);
        m_conn_db_monitor =
            m_db_monitor->signal_changed().connect(sigc::mem_fun(*this, &CMainWindow::on_dir_changed));
    } catch (const Glib::Error& e) {
        // Without a monitor the list is still right as of now; it only no longer follows the folder.
        std::cerr << e.what() << std::endl;
    }
    UpdateBasesView();
}

void CMainWindow::UpdateBasesView() {
    const std::filesystem::path dir = GetDbDir();
    std::error_code ec;
    if (!std::filesystem::is_directory(dir, ec)) {
        m_db_store->remove_all();
        return;
    }
    // Sorted by the toolkit's collation, compared through collation keys made once per name.
    std::vector<std::pair<std::string, Glib::RefPtr<CDbInfo>>> rows;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code entry_ec;
        if (!it->is_regular_file(entry_ec) || it->path().extension() != CKeyDb::kFileExtension)
            continue;
        auto info = CDbInfo::read(it->path());
        rows.emplace_back(info->name().collate_key(), info);
    }
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<Glib::RefPtr<CDbInfo>> items;
    items.reserve(rows.size());
    for (auto& row : rows)
        items.push_back(std::move(row.second));
    m_db_store->splice(0, m_db_store->get_n_items(), items);
}

void CMainWindow::on_dir_changed(const Glib::RefPtr<Gio::File>& file, const Glib::RefPtr<Gio::File>&,
                                 Gio::FileMonitor::Event event) {
    if (!file)
        return;
    const std::filesystem::path path = file->get_path();
    if (path.extension() != CKeyDb::kFileExtension)
        return;
    const Glib::ustring name = path.stem().string();
    std::error_code ec;
    switch (event) {
    case Gio::FileMonitor::Event::CREATED: {
        // A file that is already gone again (or is no file) is not listed; one the window renamed into
        // place already has its row.
        if (!std::filesystem::is_regular_file(path, ec) || FindBaseByName(name) != kNoBase)
            return;
        // Taken before the row arrives: the new row changes the list and may refill the editor.
        const bool just_created = name.raw() == m_db_editor_name.raw();
        auto info = CDbInfo::read(path);
        m_db_store->append(info);
        if (just_created)
            ScrollToDb(info, true);
        break;
    }
    case Gio::FileMonitor::Event::CHANGES_DONE_HINT: {
        // A file written by another program may have been listed before it was complete.
        const guint position = FindBaseByName(name);
        if (position != kNoBase)
            m_db_store->get_item(position)->reread(path);
        break;
    }
    case Gio::FileMonitor::Event::DELETED: {
        if (std::filesystem::exists(path, ec))
            return; // a new file of the same name is already there
        const guint position = FindBaseByName(name);
        if (position != kNoBase)
            m_db_store->remove(position);
        break;
    }
    default:
        break;
    }
}

guint CMainWindow::FindBaseByName(const Glib::ustring& name) const {
    const guint count = m_db_store->get_n_items();
    for (guint i = 0; i < count; ++i) {
        if (m_db_store->get_item(i)->name().raw() == name.raw())
            return i;
    }
    return kNoBase;
}

void CMainWindow::ScrollToDb(const Glib::RefPtr<CDbInfo>& item, bool select) {
    const guint position = m_db_panel.display_position(item);
    if (position == GTK_INVALID_LIST_POSITION)
        return;
    if (select)
        m_db_panel.select_only(position);
    m_db_panel.scroll_to(position);
}

void CMainWindow::ResetDbCutEffects() {
    const guint count = m_db_store->get_n_items();
    for (guint i = 0; i < count; ++i)
        m_db_store->get_item(i)->set_cut(false);
}

// ---- Filtering ----

void CMainWindow::on_search_entry_changed() {
    if (m_programmatic != 0)
        return;
    m_conn_filter_timer.disconnect();
    // The key tables filter through their own panels.
    if (m_view_mode != VIEW_DATABASES)
        return;
    const Glib::ustring text = m_search_entry.get_text();
    if (!text.empty()) {
        m_conn_filter_timer = Glib::signal_timeout().connect(
            sigc::bind(sigc::mem_fun(*this, &CMainWindow::on_filter_timeout), text), kFilterDelayMs);
        return;
    }
    apply_db_filter({});
    if (!m_db_panel.has_selection() && !m_db_editor_name.empty()) {
        const guint position = FindBaseByName(m_db_editor_name);
        if (position != kNoBase)
            ScrollToDb(m_db_store->get_item(position), true);
    }
}

void CMainWindow::apply_db_filter(const Glib::ustring& text) {
    m_db_panel.set_filter(text);
}

bool CMainWindow::on_filter_timeout(const Glib::ustring& text) {
    apply_db_filter(text);
    return false;
}

// ---- The editor ----

void CMainWindow::UpdateCtrlForSelDb() {
    const auto selected = m_db_panel.selected_items();
    if (selected.size() == 1) {
        m_db_editor_name = selected[0]->name();
        m_db_editor_description = selected[0]->description();
    } else {
        m_db_editor_name.clear();
        m_db_editor_description.clear();
        for (size_t i = 0; i < selected.size(); ++i) {
            if (i == 0) {
                m_db_editor_description = selected[i]->description();
            } else if (selected[i]->description().raw() != m_db_editor_description.raw()) {
                m_db_editor_description = "*";
                break;
            }
        }
    }
    m_db_name_entry.set_sensitive(selected.size() <= 1);
    m_db_create_button.set_sensitive(selected.size() <= 1);
    m_db_apply_button.set_sensitive(!selected.empty());
    on_db_rows_changed();
    ProgrammaticChange change(m_programmatic);
    m_db_name_entry.set_text(m_db_editor_name);
    m_db_description_entry.set_text(m_db_editor_description);
}

void CMainWindow::on_db_rows_changed() {
    update_action_states();
    if (m_view_mode == VIEW_DATABASES)
        m_status_bar.set_count(m_db_panel.selected_count(), m_db_panel.visible_count());
}

bool CMainWindow::check_db_name(const Glib::ustring& name) {
    Glib::ustring problem;
    if (name.empty())
        problem = _("Field must be filled in.");
    else if (!is_valid_filename(name))
        problem = _("Invalid file name");
    else if (std::error_code ec; std::filesystem::exists(std::filesystem::symlink_status(db_path(name), ec)))
        problem = Glib::ustring::sprintf(_("The file \"%s\" already exists."), db_path(name).string());
    if (problem.empty())
        return true;
    ShowMessage(problem, Gtk::MessageType::INFO);
    m_db_name_entry.grab_focus();
    return false;
}

void CMainWindow::on_dbcreate_button_clicked() {
    m_db_editor_name = m_db_name_entry.get_text();
    m_db_editor_description = m_db_description_entry.get_text();
    if (!check_db_name(m_db_editor_name))
        return;
    try {
        CKeyDb db;
        db.Connect(db_path(m_db_editor_name), true);
        db.SetComment(m_db_editor_description);
        db.Close();
        // The row arrives through the folder monitor, which selects it.
        SetStatusMessage(Glib::ustring::sprintf(_("Database \"%s\" created"), m_db_editor_name));
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
        ShowMessage(e.what(), Gtk::MessageType::ERROR);
    }
}

void CMainWindow::on_dbapply_button_clicked() {
    const Glib::ustring name = m_db_name_entry.get_text();
    const Glib::ustring description = m_db_description_entry.get_text();
    if (name.empty()) {
        ShowMessage(_("Field must be filled in."), Gtk::MessageType::INFO);
        m_db_name_entry.grab_focus();
        return;
    }
    const auto selected = m_db_panel.selected_items();
    if (selected.empty())
        return;
    const Glib::RefPtr<CDbInfo> row = selected.front();
    try {
        if (description.raw() != row->description().raw())
            change_db_description(row, description);
        if (name.raw() != row->name().raw())
            rename_db(row, name);
    } catch (const std::exception& e) {
        ShowMessage(e.what(), Gtk::MessageType::ERROR);
    }
}

void CMainWindow::change_db_description(const Glib::RefPtr<CDbInfo>& row, const Glib::ustring& description) {
    CKeyDb db;
    db.Connect(db_path(row->name()), false);
    db.SetComment(description);
    db.Close();
    const Glib::ustring old = row->description();
    row->set_description(description);
    SetStatusMessage(Glib::ustring::sprintf(_("Database \"%s\" description changed: \"%s\" -> \"%s\""),
                                            row->name(), old, description));
}

void CMainWindow::rename_db(const Glib::RefPtr<CDbInfo>& row, const Glib::ustring& name) {
    if (!check_db_name(name))
        return;
    const Glib::ustring old = row->name();
    std::error_code ec;
    std::filesystem::rename(db_path(old), db_path(name), ec);
    if (ec) {
        ShowMessage(Glib::ustring::sprintf(_("Failed to rename database \"%s\": %s"), old, ec.message()),
                    Gtk::MessageType::ERROR);
        return;
    }
    // The monitor's delete of the old name and create of the new one then find nothing to do.
    row->set_name(name);
    m_db_editor_name = name;
    SetStatusMessage(Glib::ustring::sprintf(_("Database \"%s\" has been renamed to \"%s\""), old, name));
}

// ---- Deleting ----

void CMainWindow::on_action_delete() {
    if (m_view_mode == VIEW_DATABASES)
        DoDeleteDb(false);
}

void CMainWindow::DoDeleteDb(bool confirmed) {
    const auto selected = m_db_panel.selected_items();
    if (selected.empty())
        return;
    if (!confirmed && g_AppSet->get_delete_db_confirm()) {
        const Glib::ustring question =
            selected.size() == 1 ? Glib::ustring::sprintf(_("Delete \"%s\"?"), selected.front()->name())
                                 : Glib::ustring::sprintf(NP_("Delete %u databases?", selected.size()),
                                                          static_cast<unsigned>(selected.size()));
        MessageDialog(question, Gtk::MessageType::QUESTION, Gtk::ButtonsType::OK_CANCEL,
                      [this](int response) {
                          ReleaseMessageDialog();
                          if (response == Gtk::ResponseType::OK)
                              DoDeleteDb(true);
                      });
        return;
    }
    unsigned deleted = 0;
    unsigned failed = 0;
    for (const auto& row : selected) {
        std::error_code ec;
        if (std::filesystem::remove(db_path(row->name()), ec)) {
            ++deleted;
            SetStatusMessage(Glib::ustring::sprintf(_("Database \"%s\" has been deleted."), row->name()));
        } else {
            ++failed;
            // A file that vanished meanwhile is no error to the file system, but it was not deleted here.
            const std::string reason = ec ? ec.message() : std::strerror(ENOENT);
            SetStatusMessage(
                Glib::ustring::sprintf(_("Error deleting database \"%s\": %s"), row->name(), reason));
        }
    }
    if (deleted + failed >= 2)
        SetStatusMessage(
            Glib::ustring::sprintf(_("Databases deleted: %u, failed to delete: %u"), deleted, failed));
    // The rows go when the folder monitor reports the files gone.
}

// ---- Opening ----

void CMainWindow::DoOpen() {
    const auto selected = m_db_panel.selected_items();
    if (selected.empty() || selected.size() > 2)
        return;
    std::vector<Glib::ustring> names;
    for (const auto& item : selected)
        names.push_back(item->name());
    OpenDatabases(names);
}

void CMainWindow::open_into_document(int index, const Glib::ustring& name) {
    CKeyDocument& doc = m_docs[index];
    doc.set_filename(db_path(name));
    doc.open();
    SetStatusMessage(Glib::ustring::sprintf(_("Database \"%s\" is open"), name));
}

void CMainWindow::OpenDatabases(const std::vector<Glib::ustring>& names) {
    if (names.empty() || names.size() > 2)
        return;
    size_t opened = 0;
    try {
        for (; opened < names.size(); ++opened)
            open_into_document(static_cast<int>(opened), names[opened]);
        // One database is always shown in table 0.
        if (names.size() == 1)
            SetActiveKeyTable(0);
        SetViewMode(names.size() == 1 ? VIEW_ONE_DB : VIEW_TWO_DBS);
        select_first_key_row();
    } catch (const std::exception& e) {
        // The list stays; a document opened before the failure is not left open behind it.
        for (size_t i = 0; i < opened; ++i)
            m_docs[i].close(false);
        std::cerr << e.what() << std::endl;
        ShowMessage(e.what(), Gtk::MessageType::ERROR);
    }
}

void CMainWindow::select_first_key_row() {
    CKeyPanel& active = *m_key_panels[m_active_table];
    active.focus_view();
    if (active.selection()->get_n_items() > 0) {
        active.select_only(0);
        active.scroll_to(0);
    }
}

int CMainWindow::open_document_index(const Glib::ustring& name) const {
    const int open_count = m_view_mode == VIEW_ONE_DB ? 1 : m_view_mode == VIEW_TWO_DBS ? 2 : 0;
    for (int i = 0; i < open_count; ++i) {
        if (m_docs[i].is_open() && m_docs[i].extract_db_name().raw() == name.raw())
            return i;
    }
    return -1;
}

void CMainWindow::DoOpenAndSelect(const Glib::ustring& name, guint position, bool ask) {
    int index = open_document_index(name);
    if (index < 0) {
        for (int i = 0; i < 2; ++i) {
            if (!m_docs[i].is_open())
                continue;
            if (ask && m_docs[i].is_modified()) {
                ask_save_before_open(i, name, position);
                return;
            }
            _CloseKeyDoc(i, true);
        }
        try {
            open_into_document(0, name);
            SetActiveKeyTable(0);
            SetViewMode(VIEW_ONE_DB);
            index = 0;
        } catch (const std::exception& e) {
            ShowMessage(e.what(), Gtk::MessageType::ERROR);
            std::cerr << e.what() << std::endl;
            SetViewMode(VIEW_DATABASES);
            return;
        }
    }
    // The table that shows the database is the one the row is selected in.
    SetActiveKeyTable(index);
    m_key_panels[m_active_table]->focus_view();
    m_conn_select_timer.disconnect();
    m_conn_select_timer = Glib::signal_timeout().connect(
        sigc::bind(sigc::mem_fun(*this, &CMainWindow::select_key_row), position), kSelectDelayMs);
}

void CMainWindow::ask_save_before_open(int index, const Glib::ustring& name, guint position) {
    const Glib::ustring question =
        Glib::ustring::sprintf(_("Save changes to database \"%s\"?"), m_docs[index].extract_db_name());
    MessageDialog(question, Gtk::MessageType::QUESTION, Gtk::ButtonsType::YES_NO,
                  [this, index, name, position](int response) {
                      ReleaseMessageDialog();
                      // Acted on after the dialog is gone, so that a next question gets a dialog of its own.
                      Glib::signal_idle().connect_once(
                          sigc::bind(sigc::mem_fun(*this, &CMainWindow::on_save_before_open_response), index,
                                     name, position, response));
                  });
}

void CMainWindow::on_save_before_open_response(int index, const Glib::ustring& name, guint position,
                                               int response) {
    if (m_docs[index].is_open())
        _CloseKeyDoc(index, response == Gtk::ResponseType::YES);
    DoOpenAndSelect(name, position, true);
}

bool CMainWindow::select_key_row(guint record) {
    // The record is the key's place in the file; the table may be sorted or filtered, so the row is found
    // by the key itself.
    const auto& keys = m_docs[m_active_table].get_keys();
    if (record >= keys->get_n_items())
        return false;
    const auto key = keys->get_item(record);
    CKeyPanel& active = *m_key_panels[m_active_table];
    if (!active.select_key(key) && !m_search_entry.get_text().empty()) {
        // Hidden by the filter: the filter goes, so that the key found can be shown.
        m_conn_key_filter_timer.disconnect();
        m_search_entry.set_text("");
        apply_key_filter();
        active.select_key(key);
    }
    return false;
}
