// The application's only top-level window: owner of everything the user works with (the database list, the
// two key documents and their tables, the key editor, the adapter worker, the history and the status bar).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <giomm/file.h>
#include <giomm/filemonitor.h>
#include <giomm/liststore.h>
#include <giomm/settings.h>
#include <giomm/simpleaction.h>
#include <giomm/simpleactiongroup.h>
#include <glibmm/dispatcher.h>
#include <gtkmm/aboutdialog.h>
#include <gtkmm/application.h>
#include <gtkmm/applicationwindow.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/dropdown.h>
#include <gtkmm/entry.h>
#include <gtkmm/filechoosernative.h>
#include <gtkmm/frame.h>
#include <gtkmm/grid.h>
#include <gtkmm/label.h>
#include <gtkmm/messagedialog.h>
#include <gtkmm/nativedialog.h>
#include <gtkmm/notebook.h>
#include <gtkmm/paned.h>
#include <gtkmm/searchentry.h>
#include <gtkmm/spinbutton.h>
#include <sigc++/connection.h>

#include "adapter/CAdapterThread.h"
#include "keys/CHistoryRec.h"
#include "keys/CKeyDocument.h"
#include "readers/RdxWrapper.h"
#include "ui/CActionTable.h"
#include "ui/CDbInfo.h"
#include "ui/CDbListPanel.h"
#include "ui/CDevicePorts.h"
#include "ui/CKeyEditor.h"
#include "ui/CKeyPanel.h"
#include "ui/CMyProp.h"
#include "ui/CMyStatusBar.h"
#include "ui/CWorkerQuestion.h"
#include "ui/WindowRelease.h"

class CHistoryDialog;
class CMifareDialog;
class CSearchDialog;
class CSettingsDialog;

class CMainWindow : public Gtk::ApplicationWindow {
public:
    enum ViewMode : int {
        VIEW_DATABASES = 0, // the database list
        VIEW_ONE_DB = 1,    // key table 0
        VIEW_TWO_DBS = 2,   // key tables 0 and 1 side by side
    };
    enum KeyEditMode : int {
        KEY_MODE_NONE = 0,
        KEY_MODE_ADD = 1,
        KEY_MODE_SEARCH = 2,
        KEY_MODE_DELETE = 3,
    };
    // What the clipboard holds, as the clipboard watcher classifies it.
    enum ClipboardKind : int {
        CLIPBOARD_OTHER = 0,
        CLIPBOARD_FILES = 1,
        CLIPBOARD_KEYS = 2,
        CLIPBOARD_TEXT = 3,
    };
    using CDbInfo = ::CDbInfo;
    using CDbNameWidget = ::CDbNameWidget;
    // Receives the response of a message dialog; it must release the dialog (ReleaseMessageDialog).
    using ResponseSlot = std::function<void(int)>;

    // The program version packed as major, minor, patch and build bytes; the build byte is not shown.
    static constexpr std::uint32_t kVersion = 0x010100C0;
    // FindBaseByName's answer when no row has the name.
    static constexpr guint kNoBase = 0xFFFFFFFF;
    static constexpr guint kKeyTab = 65289;

    explicit CMainWindow(const Glib::RefPtr<Gtk::Application>& app);
    // The action table names the handlers.
    friend std::span<const ActionEntry> main_window_actions();
    ~CMainWindow() override;

    // "1.1.0" from kVersion.
    static Glib::ustring version_text(std::uint32_t packed);

    // ---- View, focus and title ----
    void SetViewMode(ViewMode mode);
    ViewMode GetViewMode() const { return m_view_mode; }
    void SetActiveKeyTable(int index);
    int GetActiveKeyTable() const { return m_active_table; }
    void UpdateTitle();
    // The adapter's port as port resolution shows it in the title; empty when the adapter has no port.
    void SetAdapterPortText(const Glib::ustring& text);

    // ---- Closing ----
    // Closes the open documents, asking about unsaved ones when `ask` is true. True when everything closed
    // at once; false when a question is showing, in which case `after` runs once everything has closed.
    bool DoClose(bool ask, const std::function<void()>& after);
    void _CloseKeyDoc(int index, bool save);

    // ---- Messages ----
    void MessageDialog(const Glib::ustring& text, Gtk::MessageType type, Gtk::ButtonsType buttons,
                       const ResponseSlot& slot = {});
    void ShowMessage(const Glib::ustring& text, Gtk::MessageType type);
    void ReleaseMessageDialog();
    void SetStatusMessage(const Glib::ustring& text, bool add_to_history = true);

    // ---- Devices ----
    void UpdateDeviceStatus();
    void UpdateAdapterActionsState();
    // The active document's keys for writing to a target of `maximum` keys: without duplicates, in store
    // order, at most `maximum` of them; key_count is the document's size.
    void GetDbForWrite(unsigned int maximum, std::vector<m6::_db_key>& keys, unsigned short& lock_code,
                       unsigned int& key_count, unsigned int& duplicates);
    // Merges keys read from a device into the active document; `replace` drops the keys not read.
    void ImportKeysFromAdapter(const std::vector<m6::_db_key>& keys, unsigned short lock_code, bool replace);
    // Whether Shift is held now (keys read are then merged without removing any); the keyboard's state
    // unless another probe is put in its place.
    void set_shift_probe(std::function<bool()> probe) { m_shift_probe = std::move(probe); }
    // The question showing for the running command, and the one about a dump file to load; null when none.
    CWorkerQuestion* worker_question() const { return m_worker_question.get(); }
    CWorkerQuestion* file_question() const { return m_file_question.get(); }
    // The open Mifare dialog, or nullptr; while it exists, cards on the window's own reader are ignored.
    CMifareDialog* mifare_dialog() const { return m_mifare_dialog.get(); }

    // ---- Database folder and opening ----
    void UpdateDbDir();
    void UpdateBasesView();
    // Opens the selected databases (one or two).
    void DoOpen();
    // Opens one or two databases of the database folder by name into documents 0 and 1.
    void OpenDatabases(const std::vector<Glib::ustring>& names);
    // Opens the named database (unless it is open already) and selects its key of file record `record`
    // in the key table, whatever the table's order; unsaved documents are asked about when `ask` is true.
    void DoOpenAndSelect(const Glib::ustring& name, guint record, bool ask);
    guint FindBaseByName(const Glib::ustring& name) const;
    // Deletes the selected databases, asking first unless `confirmed` (or the settings say not to ask).
    void DoDeleteDb(bool confirmed);
    // Fills the database editor from the selection of the database list.
    void UpdateCtrlForSelDb();
    // Scrolls the database list to a row, selecting it alone when `select` is set.
    void ScrollToDb(const Glib::RefPtr<CDbInfo>& item, bool select);
    void ResetDbCutEffects();
    // ---- Files ----
    // A file for the user to choose, without blocking: `chosen` gets the path, or nothing when dismissed.
    struct FileRequest {
        Glib::ustring title;
        bool save = false;
        // The files offered, as a name and a pattern; every file when empty.
        Glib::ustring filter_name;
        Glib::ustring pattern;
    };
    using FileChosenSlot = std::function<void(std::optional<std::filesystem::path>)>;
    using FileChooser = std::function<void(const FileRequest&, FileChosenSlot)>;
    // How files are chosen (the desktop's file chooser unless replaced, as tests do with their own paths).
    void set_file_chooser(FileChooser chooser) { m_choose_file = std::move(chooser); }
    void export_csv_file(const std::filesystem::path& path, bool bases, int table);
    void import_csv_file(const std::filesystem::path& path, int table, bool replace);

    // ---- Clipboard ----
    void CopyKeysToClipboard();
    void CutKeysToClipboard();
    void PasteKeysFromClipboard();
    void CopyBasesToClipboard();
    void CutBasesToClipboard();
    void PasteBasesFromClipboard();
    ClipboardKind clipboard_kind() const { return m_clipboard_kind; }

    // ---- Actions ----
    // Recomputes every action's enabled flag and every toggle's state from the window's state.
    void update_action_states();
    // The paste enabling alone, after the clipboard content changed.
    void update_paste_action_state();
    void set_clipboard_kind(ClipboardKind kind);
    // The window's key handler: Tab between the key tables in view mode 2. True when the key was consumed.
    bool on_key_pressed(guint keyval, guint keycode, Gdk::ModifierType state);

    // ---- Key tables, key editor, key edit modes and comparison (CMainWindowKeys.cpp,
    // CMainWindowKeyModes.cpp, CMainWindowCompare.cpp) ----
    void UpdateCtrlForSelKey(int index);
    void UpdateKeyCtrlData(bool read);
    void UpdateKeyNumberCtrlData(bool read);
    void on_createkey_button_clicked();
    void on_findkey_button_clicked();
    void DoApplyKey(bool ask);
    void DoDeleteKey(int index, bool confirmed);
    // The "delete" action in the key views: the active table's selection.
    void DeleteKeys();
    void on_compare_button_clicked();
    void SetKeyMode(KeyEditMode mode);
    KeyEditMode GetKeyMode() const { return m_key_edit_mode; }
    void ProcessKeyModeKey(CardType type, const CCardUID& number);
    void on_locktime_spinbutton_changed();
    const CKeyEditor& key_editor() const { return m_key_editor; }

    // ---- Parts, for the window's other modules ----
    CKeyDocument& key_document(int index) { return m_docs[index]; }
    CDbListPanel& db_panel() { return m_db_panel; }
    CKeyPanel& key_panel(int index) { return *m_key_panels[index]; }
    const Glib::RefPtr<Gio::ListStore<CDbInfo>>& db_store() const { return m_db_store; }
    const Glib::RefPtr<Gio::ListStore<CHistoryRec>>& history() const { return m_history; }
    CMyStatusBar& status_bar() { return m_status_bar; }
    Gtk::SearchEntry& search_entry() { return m_search_entry; }
    Gtk::Widget* toolbar() { return m_toolbar; }
    Gtk::AboutDialog* about_dialog() { return m_about_dialog.get(); }
    CAdapterThread& adapter() { return m_adapter_thread; }
    CDevicePorts& device_ports() { return m_device_ports; }
    const Glib::RefPtr<Gio::SimpleActionGroup>& main_actions() const { return m_actions; }
    // The find-in-files dialog while it is open.
    const std::shared_ptr<CSearchDialog>& search_dialog() const { return m_search_dialog; }

protected:
    // Typing must rest this long before the window applies a filter text to a list.
    static constexpr unsigned int kFilterDelayMs = 300;

    // ---- Construction ----
    void build_layout();
    void build_menu_and_toolbar(Gtk::Box& menu_row, Gtk::Box& top);
    void build_key_type_frame();
    void build_database_frame();
    void build_lock_frame();
    void build_comparison_frame();
    void build_key_frame();
    void build_notebook();
    void load_css();
    void create_actions();
    // Empties the log file when asked to (start-up only), then sets the level from the settings.
    void apply_debug_log_settings(bool at_startup);
    void start_adapter();

    // ---- Action handlers ----
    void activate_action(const ActionEntry& entry);
    void on_action_open();
    void on_action_close();
    void on_action_save();
    void on_action_select_all();
    void on_action_find();
    void on_action_quit();
    void on_action_help();
    void on_action_about();
    void on_action_cut();
    void on_action_delete();
    void on_action_copy();
    void on_action_paste();
    void on_action_mf_prepare();
    void on_action_mf_from_db();
    void on_action_mf_to_db();
    void on_action_mf_clear();
    // A new Mifare dialog for one command (replacing one still open), released once hidden.
    CMifareDialog& OpenMifareDialog();
    // The Mifare write after its questions: the list handed to a new dialog.
    void StartMifareWrite(const std::vector<m6::_db_key>& keys, unsigned short lock_code);
    // Asks the limit and duplicate question when it applies; `go` runs on OK, or at once without a question.
    void ConfirmKeyList(unsigned maximum, unsigned count, unsigned listed, unsigned duplicates,
                        const std::function<void()>& go);
    // Asks about a lock time above a minute when it applies; `go` runs on OK, or at once.
    void ConfirmLockTime(const std::function<void()>& go);
    // An OK/Cancel warning; `go` runs after OK, once the message dialog is free again.
    void ConfirmThenGo(const Glib::ustring& text, const std::function<void()>& go);
    void on_action_write_em_marine();
    void on_action_write_hid();
    // The selected key of the active table written into a Temic tag by command cmd (breaks it when running).
    void WriteSelectedKeyToTemic(CAdapterThread::Cmd cmd);
    void on_action_import_csv();
    void on_action_export_csv();
    void on_action_find_in_files();
    void choose_file_natively(const FileRequest& request, FileChosenSlot chosen);
    // A failure at the end of a user action: status line, history and a message box.
    void report_failure(const Glib::ustring& text);
    void connect_clipboard();
    void on_clipboard_changed();
    void paste_keys_text(const std::string& text);
    void paste_files(const std::string& text, bool gnome_form);
    void on_base_pasted(const Glib::ustring& name, const std::filesystem::path& target);
    void select_keys(int table, const CKeyDocument::KeyList& keys);
    // The rule every adapter command toggle shares: break the command when it is running, else start it.
    void ToggleAdapterCmd(CAdapterThread::Cmd cmd);
    bool is_action_needed(ActionEntry::Need need) const;
    bool is_text_focused() const;
    Glib::RefPtr<Gio::SimpleAction> find_simple_action(const ActionEntry& entry) const;

    // ---- Database list and editor ----
    void connect_database_panel();
    void on_dir_changed(const Glib::RefPtr<Gio::File>& file, const Glib::RefPtr<Gio::File>& other,
                        Gio::FileMonitor::Event event);
    void on_search_entry_changed();
    void apply_db_filter(const Glib::ustring& text);
    bool on_filter_timeout(const Glib::ustring& text);
    void on_db_rows_changed();
    void on_dbcreate_button_clicked();
    void on_dbapply_button_clicked();
    // A name for a new or renamed database; a refused one is reported and false returned.
    bool check_db_name(const Glib::ustring& name);
    void change_db_description(const Glib::RefPtr<CDbInfo>& row, const Glib::ustring& description);
    void rename_db(const Glib::RefPtr<CDbInfo>& row, const Glib::ustring& name);
    void open_into_document(int index, const Glib::ustring& name);
    void select_first_key_row();
    // The document showing the named database in the current view; -1 when none does.
    int open_document_index(const Glib::ustring& name) const;
    void ask_save_before_open(int index, const Glib::ustring& name, guint position);
    void on_save_before_open_response(int index, const Glib::ustring& name, guint position, int response);
    // Selects and shows a row of the active key table (a one-shot timer's handler).
    bool select_key_row(guint record);

    // ---- Focus and key editor ----
    void on_focus_widget_changed();
    void on_key_table_focus(int index);
    void on_key_table_selection_changed(int index);
    void on_key_type_toggled(ScanKeyType type);
    void set_key_type_buttons(ScanKeyType type);
    void show_active_document();

    // ---- Key editor wiring ----
    void connect_key_editor();
    void on_action_mode_search();
    void on_action_mode_add();
    void on_action_mode_delete();
    void toggle_key_mode(KeyEditMode mode);
    void on_key_format_selected();
    void on_key_search_changed();
    bool on_key_filter_timeout();
    void apply_key_filter();
    void on_card_inserted(const rdx_card_info& card);
    void on_emulate_pressed();
    void on_emulate_released();
    void on_power_off_pressed();
    void on_power_off_released();
    void report_key(const char* format, const CCardUID& number);
    CardType key_type_for_new_keys() const;

    // ---- Adapter worker ----
    // Runs on the worker's thread: only wakes the main loop.
    void on_adapter_notify();
    void on_disp();
    void ProcessAdapterNotifications(unsigned int flags);
    // The window's side of the device command flow: the worker's question, a key it read and the end of a
    // command.
    void on_adapter_ask_user();
    void on_adapter_current_key();
    void on_adapter_cmd_finish();
    // Processes what the worker reported since the dispatcher last ran.
    void take_adapter_notifications();
    void start_adapter_cmd(CAdapterThread::Cmd cmd);
    void withdraw_worker_question();
    void on_worker_answer(unsigned int serial, bool yes);
    void ask_db_keys(unsigned long maximum);
    void hand_over_db_keys(unsigned long maximum);
    // Whether the active document's lock time is long enough to be asked about before it is written.
    bool lock_time_needs_question() const;
    // The question before a key list of `listed` keys (of `count`, with `duplicates`) goes to a target of
    // `maximum` keys; empty when there is nothing to ask.
    static Glib::ustring key_list_question(unsigned maximum, unsigned count, unsigned listed,
                                           unsigned duplicates);
    void take_finished_cmd_results(CAdapterThread::Cmd cmd);
    void merge_read_keys(CKeyDocument& doc, const std::vector<m6::_db_key>& keys, CKeyDocument::KeyList& list,
                         unsigned int& added, unsigned int& repeated);
    // The file chooser for a memory dump to load or save.
    void choose_dump_file(bool save, FileChosenSlot done);
    void load_dump_file(CAdapterThread::Cmd cmd, const std::filesystem::path& path);
    void save_dump_file(std::vector<unsigned char> data, const std::filesystem::path& path);
    // A failed device step: standard output, the status line with the history, and a message box.
    void report_device_error(const Glib::ustring& text, const char* prefix = "Error: ");
    bool is_shift_held() const;
    // Device search and port settings changes are applied once they have settled.
    void restart_search_options_timer();
    void restart_port_timer();
    // Runs work once, 50 ms after the last restart; a failure is logged with failure_format.
    void restart_settled_timer(sigc::connection& timer, const char* failure_format,
                               std::function<void()> work);
    void on_adapter_port_changed();
    void on_action_settings();

    // ---- Timers, settings and lifetime ----
    bool on_timeout_com_mode();
    bool on_idle_once();
    void on_appset_changed(const Glib::ustring& key);
    bool on_close_request() override;
    void on_destroy();
    // Size into the settings and the lists emptied; once, whichever of destroy and deletion comes first.
    void release_window_state();
    void show_status_details_dialog();
    void ask_save_before_close(int index, const std::function<void()>& after);
    void on_close_question_response(int index, int response, const std::function<void()>& after);

    // A programmatic change: change handlers return at once while the counter is not zero.
    class ProgrammaticChange {
    public:
        explicit ProgrammaticChange(int& counter) : m_counter(counter) { ++m_counter; }
        ~ProgrammaticChange() { --m_counter; }
        ProgrammaticChange(const ProgrammaticChange&) = delete;
        ProgrammaticChange& operator=(const ProgrammaticChange&) = delete;

    private:
        int& m_counter;
    };

    Glib::RefPtr<Gtk::Application> m_app;
    Glib::RefPtr<Gio::Settings> m_settings;
    Glib::RefPtr<Gtk::CssProvider> m_css_provider;

    // Documents first: the panels hold their stores.
    std::array<CKeyDocument, 2> m_docs;
    Glib::RefPtr<Gio::ListStore<CDbInfo>> m_db_store;
    Glib::RefPtr<Gio::ListStore<CHistoryRec>> m_history;
    Glib::RefPtr<CMyProp> m_prop;

    ViewMode m_view_mode = VIEW_DATABASES;
    int m_active_table = 0;
    KeyEditMode m_key_edit_mode = KEY_MODE_NONE;
    ClipboardKind m_clipboard_kind = CLIPBOARD_OTHER;
    int m_programmatic = 0;
    Glib::ustring m_adapter_port_text;
    bool m_xor_mode = false;

    // Layout.
    Gtk::Box m_main_box;
    Gtk::Box m_menu_row;
    Gtk::SearchEntry m_search_entry;
    Gtk::Widget* m_toolbar = nullptr;
    Gtk::Box m_frames_row;
    Gtk::Frame m_key_type_frame;
    Gtk::Box m_key_type_box;
    Gtk::CheckButton m_dallas_radio;
    Gtk::CheckButton m_em_marine_radio;
    Gtk::CheckButton m_kf300_radio;
    Gtk::Frame m_database_frame;
    Gtk::Grid m_database_grid;
    Gtk::Label m_db_name_label;
    Gtk::Entry m_db_name_entry;
    Gtk::Label m_db_description_label;
    Gtk::Entry m_db_description_entry;
    Gtk::Button m_db_create_button;
    Gtk::Button m_db_apply_button;
    Gtk::Frame m_lock_frame;
    Gtk::Box m_lock_box;
    Gtk::Label m_lock_label;
    Gtk::SpinButton m_lock_spin;
    Gtk::Button m_power_off_button;
    Gtk::Frame m_comparison_frame;
    Gtk::Grid m_comparison_grid;
    std::array<Gtk::CheckButton, 6> m_compare_checks;
    Gtk::Button m_compare_button;
    Gtk::Frame m_key_frame;
    Gtk::Grid m_key_grid;
    Gtk::Box m_attr_box;
    std::array<Gtk::CheckButton, 4> m_attr_radios;
    Gtk::Label m_key_number_label;
    Gtk::Entry m_key_number_entry;
    Gtk::DropDown m_key_format_drop_down;
    Gtk::CheckButton m_key_short_check;
    Gtk::Label m_key_description_label;
    Gtk::Entry m_key_description_entry;
    Gtk::Box m_key_buttons_box;
    Gtk::Button m_key_add_button;
    Gtk::Button m_key_find_button;
    Gtk::Button m_key_apply_button;
    Gtk::Button m_key_emulate_button;
    Gtk::Notebook m_notebook;
    CDbListPanel m_db_panel;
    Gtk::Paned m_paned;
    std::array<std::unique_ptr<CKeyPanel>, 2> m_key_panels;
    CMyStatusBar m_status_bar;

    CKeyEditor m_key_editor;
    sigc::connection m_conn_key_filter_timer;

    Glib::RefPtr<Gio::SimpleActionGroup> m_actions;
    // Before the dialogs and the device questions, which close theirs into it as they go.
    CClosedWindows m_closed_windows;
    std::unique_ptr<Gtk::AboutDialog> m_about_dialog;
    std::unique_ptr<Gtk::MessageDialog> m_message_dialog;
    std::unique_ptr<Gtk::MessageDialog> m_close_question;
    std::unique_ptr<CHistoryDialog> m_history_dialog;
    std::unique_ptr<CSettingsDialog> m_settings_dialog;
    // Shared: its deleter is bound where it is made, so the window's other files need not know the class.
    std::shared_ptr<CMifareDialog> m_mifare_dialog;
    std::shared_ptr<CSearchDialog> m_search_dialog;
    Glib::RefPtr<Gtk::FileChooserNative> m_file_chooser;
    FileChooser m_choose_file = [this](const FileRequest& request, FileChosenSlot chosen) {
        choose_file_natively(request, std::move(chosen));
    };

    // Devices.
    std::unique_ptr<CWorkerQuestion> m_worker_question;
    unsigned int m_question_serial = 0;
    std::unique_ptr<CWorkerQuestion> m_file_question;
    std::function<bool()> m_shift_probe = [this] { return is_shift_held(); };
    bool m_in_notifications = false;
    CAdapterThread m_adapter_thread;
    Glib::Dispatcher m_dispatcher;
    // Library callbacks come on library threads and only emit the dispatcher.
    CDevicePorts m_device_ports{m_adapter_thread, [this] { m_dispatcher.emit(); }};

    sigc::connection m_conn_com_mode;
    sigc::connection m_conn_destroy;
    sigc::connection m_conn_settings;
    sigc::connection m_conn_focus;
    sigc::connection m_conn_search_timer;
    sigc::connection m_conn_port_timer;

    // The database folder, its monitor, and the editor's name and description as last taken.
    Glib::RefPtr<Gio::File> m_db_folder;
    Glib::RefPtr<Gio::FileMonitor> m_db_monitor;
    sigc::connection m_conn_db_monitor;
    sigc::connection m_conn_filter_timer;
    sigc::connection m_conn_select_timer;
    Glib::ustring m_db_editor_name;
    Glib::ustring m_db_editor_description;
    bool m_released = false;
};
