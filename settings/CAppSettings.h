// The settings store: typed access to the GSettings schema "org.kestrix.Kestrix", the stored names of the
// program's enumerations, batched writes and one change signal. Used from the main thread only.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include <giomm/settings.h>
#include <glibmm/ustring.h>
#include <sigc++/connection.h>
#include <sigc++/signal.h>

#include "app/CDebugLog.h"
#include "keys/CCardUID.h"
#include "keys/KeyTypes.h"
#include "rdx.h"

class CAppSettings {
public:
    static constexpr const char* kSchemaId = "org.kestrix.Kestrix";

    // Bits of get_search_desc_flags() and of set_search_params' desc_flags.
    static constexpr uint32_t kDescWholeWords = 1u << 0;
    static constexpr uint32_t kDescCaseSensitive = 1u << 1;
    static constexpr uint32_t kDescRegex = 1u << 2;

    using type_signal_changed = sigc::signal<void(const Glib::ustring&)>;

    // A schema that is not installed is fatal here (GLib aborts).
    CAppSettings();
    ~CAppSettings();
    CAppSettings(const CAppSettings&) = delete;
    CAppSettings& operator=(const CAppSettings&) = delete;

    // Emitted with the key's name for every change of any key, wherever it was made.
    type_signal_changed& signal_changed() { return m_signal_changed; }

    // Window and dialog sizes.
    int get_window_width() const;
    int get_window_height() const;
    void set_window_size(int width, int height);
    int get_history_width() const;
    int get_history_height() const;
    void set_history_size(int width, int height);
    int get_mifare_width() const;
    int get_mifare_height() const;
    void set_mifare_size(int width, int height);
    int get_search_width() const;
    int get_search_height() const;

    // Find in files: the last criteria, stored together by set_search_params.
    uint32_t get_search_flags() const;
    CCardUID get_search_number() const; // empty or invalid text gives the empty number
    bool get_search_short() const;
    int64_t get_search_added_from() const;
    int64_t get_search_added_to() const;
    uint32_t get_search_attributes() const;
    Glib::ustring get_search_description() const;
    uint32_t get_search_desc_flags() const;
    void set_search_params(int width, int height, uint32_t criteria, const CCardUID& number, bool is_short,
                           int64_t added_from, int64_t added_to, uint32_t attributes,
                           const Glib::ustring& description, uint32_t desc_flags);

    // The database folder as stored ("" = default); GetDbDir() resolves it.
    Glib::ustring get_db_dir() const;

    // Device search and ports.
    bool get_search_for_usb() const;
    bool get_search_for_server() const;
    bool get_search_for_client() const;
    bool get_search_for_ccid() const;
    void get_adapter_port(rdx_port_type& type, Glib::ustring& name) const;
    void get_reader_port(rdx_port_type& type, Glib::ustring& name) const;

    // The adapter link.
    bool get_different_kf300() const;
    bool get_xor_mode() const;
    ScanKeyType get_scan_key_type() const;
    void set_scan_key_type(ScanKeyType type);

    key_format get_key_format() const;
    void set_key_format(key_format format);

    // Sorting and column order of the database list and key tables ("" / empty = built-in order).
    Glib::ustring get_bases_sort_column() const;
    bool get_bases_sort_descending() const;
    void set_bases_sort(const Glib::ustring& column, bool descending);
    Glib::ustring get_keys_sort_column() const;
    bool get_keys_sort_descending() const;
    void set_keys_sort(const Glib::ustring& column, bool descending);
    std::vector<Glib::ustring> get_bases_column_order() const;
    void set_bases_column_order(const std::vector<Glib::ustring>& order);
    std::vector<Glib::ustring> get_keys_column_order() const;
    void set_keys_column_order(const std::vector<Glib::ustring>& order);

    // Debug log.
    bool get_debug_write_log() const;
    LogLevel get_debug_loglevel() const;
    bool get_debug_clear_log() const;

    // Confirmations.
    bool get_delete_db_confirm() const;
    bool get_delete_key_confirm() const;
    bool get_lock_time_confirm() const;
    bool get_key_list_confirm() const;

    // Stored names of the enumerations. The comparisons are exact and case-sensitive; an unknown string
    // reads as the fallback (hex, dallas, debug, no port), and a value outside the enumeration is written as
    // the fallback's name.
    static key_format string_to_key_format(const Glib::ustring& text);
    static Glib::ustring key_format_to_string(key_format format);
    static ScanKeyType string_to_scan_key_type(const Glib::ustring& text);
    static Glib::ustring scan_key_type_to_string(ScanKeyType type);
    static LogLevel string_to_loglevel(const Glib::ustring& text);
    static Glib::ustring loglevel_to_string(LogLevel level);
    static rdx_port_type string_to_port_type(const Glib::ustring& text);
    static Glib::ustring port_type_to_string(rdx_port_type type);

private:
    void on_setting_changed(const Glib::ustring& key);
    // A separate settings object in delayed-apply mode, so that a group of keys changes in one step.
    static Glib::RefPtr<Gio::Settings> create_batch();
    void get_port(const char* type_key, const char* name_key, rdx_port_type& type, Glib::ustring& name) const;

    Glib::RefPtr<Gio::Settings> m_settings;
    type_signal_changed m_signal_changed;
    sigc::connection m_conn_changed;
};

// The single settings store; created and destroyed by the main window.
extern std::unique_ptr<CAppSettings> g_AppSet;

// The database folder: "db-dir" verbatim when it is not empty, else <user data root>/kestrix/bases.
// Not created here. Before g_AppSet exists it gives the default folder.
std::filesystem::path GetDbDir();
