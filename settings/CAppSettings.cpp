// The settings store over the GSettings schema "org.kestrix.Kestrix".
#include "settings/CAppSettings.h"

#include <array>
#include <string_view>
#include <utility>

#include "app/Paths.h"

std::unique_ptr<CAppSettings> g_AppSet;

namespace {
// Stored names, indexed by the enumeration value.
constexpr std::array<const char*, kKeyFormatCount> kKeyFormatNames = {"hex", "em-marine", "em-marine+fa",
                                                                      "dec", "dec bytes", "keypad"};
constexpr std::array<const char*, 3> kScanKeyTypeNames = {"dallas", "em-marine", "kf-300"};
// Level 0 ("none") is never stored: logging off is "debug-write-log" false.
constexpr std::array<const char*, 5> kLogLevelNames = {nullptr, "error", "warning", "info", "debug"};
constexpr std::array<const char*, 6> kPortTypeNames = {"", "COM", "CCID", "Server", "Client", "Proxy"};

// The index whose name equals `text` exactly, or `fallback`.
template <size_t N>
int index_of(const std::array<const char*, N>& names, const Glib::ustring& text, int fallback) {
    for (size_t i = 0; i < N; ++i) {
        if (names[i] != nullptr && text.raw() == names[i])
            return static_cast<int>(i);
    }
    return fallback;
}

template <size_t N>
Glib::ustring name_of(const std::array<const char*, N>& names, int64_t value, int fallback) {
    if (value < 0 || static_cast<uint64_t>(value) >= N || names[value] == nullptr)
        value = fallback;
    return names[value];
}
} // namespace

CAppSettings::CAppSettings() : m_settings(Gio::Settings::create(kSchemaId)) {
    m_conn_changed =
        m_settings->signal_changed().connect(sigc::mem_fun(*this, &CAppSettings::on_setting_changed));
}

CAppSettings::~CAppSettings() {
    m_conn_changed.disconnect();
}

void CAppSettings::on_setting_changed(const Glib::ustring& key) {
    m_signal_changed.emit(key);
}

Glib::RefPtr<Gio::Settings> CAppSettings::create_batch() {
    auto batch = Gio::Settings::create(kSchemaId);
    batch->delay();
    return batch;
}

// ---- sizes ----

int CAppSettings::get_window_width() const {
    return m_settings->get_int("window-width");
}
int CAppSettings::get_window_height() const {
    return m_settings->get_int("window-height");
}
void CAppSettings::set_window_size(int width, int height) {
    auto batch = create_batch();
    batch->set_int("window-width", width);
    batch->set_int("window-height", height);
    batch->apply();
}

int CAppSettings::get_history_width() const {
    return m_settings->get_int("history-width");
}
int CAppSettings::get_history_height() const {
    return m_settings->get_int("history-height");
}
void CAppSettings::set_history_size(int width, int height) {
    auto batch = create_batch();
    batch->set_int("history-width", width);
    batch->set_int("history-height", height);
    batch->apply();
}

int CAppSettings::get_mifare_width() const {
    return m_settings->get_int("mifare-width");
}
int CAppSettings::get_mifare_height() const {
    return m_settings->get_int("mifare-height");
}
void CAppSettings::set_mifare_size(int width, int height) {
    auto batch = create_batch();
    batch->set_int("mifare-width", width);
    batch->set_int("mifare-height", height);
    batch->apply();
}

int CAppSettings::get_search_width() const {
    return m_settings->get_int("search-width");
}
int CAppSettings::get_search_height() const {
    return m_settings->get_int("search-height");
}

// ---- find in files ----

uint32_t CAppSettings::get_search_flags() const {
    return m_settings->get_uint("search-parameters");
}

CCardUID CAppSettings::get_search_number() const {
    CCardUID number;
    if (!number.TryParse(m_settings->get_string("search-number").raw()))
        return CCardUID();
    return number;
}

bool CAppSettings::get_search_short() const {
    return m_settings->get_boolean("search-short");
}
int64_t CAppSettings::get_search_added_from() const {
    return g_settings_get_int64(m_settings->gobj(), "search-added-from");
}
int64_t CAppSettings::get_search_added_to() const {
    return g_settings_get_int64(m_settings->gobj(), "search-added-to");
}
uint32_t CAppSettings::get_search_attributes() const {
    return m_settings->get_uint("search-attributes");
}
Glib::ustring CAppSettings::get_search_description() const {
    return m_settings->get_string("search-description");
}

uint32_t CAppSettings::get_search_desc_flags() const {
    uint32_t flags = 0;
    if (m_settings->get_boolean("search-whole-words"))
        flags |= kDescWholeWords;
    if (m_settings->get_boolean("search-case-sensitive"))
        flags |= kDescCaseSensitive;
    if (m_settings->get_boolean("search-regex"))
        flags |= kDescRegex;
    return flags;
}

void CAppSettings::set_search_params(int width, int height, uint32_t criteria, const CCardUID& number,
                                     bool is_short, int64_t added_from, int64_t added_to, uint32_t attributes,
                                     const Glib::ustring& description, uint32_t desc_flags) {
    auto batch = create_batch();
    batch->set_int("search-width", width);
    batch->set_int("search-height", height);
    batch->set_uint("search-parameters", criteria);
    batch->set_string("search-number", number.ToString());
    batch->set_boolean("search-short", is_short);
    g_settings_set_int64(batch->gobj(), "search-added-from", added_from);
    g_settings_set_int64(batch->gobj(), "search-added-to", added_to);
    batch->set_uint("search-attributes", attributes);
    batch->set_string("search-description", description);
    batch->set_boolean("search-case-sensitive", (desc_flags & kDescCaseSensitive) != 0);
    batch->set_boolean("search-whole-words", (desc_flags & kDescWholeWords) != 0);
    batch->set_boolean("search-regex", (desc_flags & kDescRegex) != 0);
    batch->apply();
}

// ---- folders, device search, ports ----

Glib::ustring CAppSettings::get_db_dir() const {
    return m_settings->get_string("db-dir");
}

bool CAppSettings::get_search_for_usb() const {
    return m_settings->get_boolean("search-for-usb");
}
bool CAppSettings::get_search_for_server() const {
    return m_settings->get_boolean("search-for-server");
}
bool CAppSettings::get_search_for_client() const {
    return m_settings->get_boolean("search-for-client");
}
bool CAppSettings::get_search_for_ccid() const {
    return m_settings->get_boolean("search-for-ccid");
}

void CAppSettings::get_port(const char* type_key, const char* name_key, rdx_port_type& type,
                            Glib::ustring& name) const {
    type = string_to_port_type(m_settings->get_string(type_key));
    name = m_settings->get_string(name_key);
}
void CAppSettings::get_adapter_port(rdx_port_type& type, Glib::ustring& name) const {
    get_port("adapter-port-type", "adapter-port-name", type, name);
}
void CAppSettings::get_reader_port(rdx_port_type& type, Glib::ustring& name) const {
    get_port("reader-port-type", "reader-port-name", type, name);
}

// ---- adapter link and key format ----

bool CAppSettings::get_different_kf300() const {
    return m_settings->get_boolean("different-kf300");
}
bool CAppSettings::get_xor_mode() const {
    return m_settings->get_boolean("xor-mode");
}
ScanKeyType CAppSettings::get_scan_key_type() const {
    return string_to_scan_key_type(m_settings->get_string("scan-key-type"));
}
void CAppSettings::set_scan_key_type(ScanKeyType type) {
    m_settings->set_string("scan-key-type", scan_key_type_to_string(type));
}
key_format CAppSettings::get_key_format() const {
    return string_to_key_format(m_settings->get_string("key-format"));
}
void CAppSettings::set_key_format(key_format format) {
    m_settings->set_string("key-format", key_format_to_string(format));
}

// ---- sorting and column order ----

Glib::ustring CAppSettings::get_bases_sort_column() const {
    return m_settings->get_string("bases-sort-column");
}
bool CAppSettings::get_bases_sort_descending() const {
    return m_settings->get_boolean("bases-sort-descending");
}
void CAppSettings::set_bases_sort(const Glib::ustring& column, bool descending) {
    auto batch = create_batch();
    batch->set_string("bases-sort-column", column);
    batch->set_boolean("bases-sort-descending", descending);
    batch->apply();
}
Glib::ustring CAppSettings::get_keys_sort_column() const {
    return m_settings->get_string("keys-sort-column");
}
bool CAppSettings::get_keys_sort_descending() const {
    return m_settings->get_boolean("keys-sort-descending");
}
void CAppSettings::set_keys_sort(const Glib::ustring& column, bool descending) {
    auto batch = create_batch();
    batch->set_string("keys-sort-column", column);
    batch->set_boolean("keys-sort-descending", descending);
    batch->apply();
}
std::vector<Glib::ustring> CAppSettings::get_bases_column_order() const {
    return m_settings->get_string_array("bases-column-order");
}
void CAppSettings::set_bases_column_order(const std::vector<Glib::ustring>& order) {
    m_settings->set_string_array("bases-column-order", order);
}
std::vector<Glib::ustring> CAppSettings::get_keys_column_order() const {
    return m_settings->get_string_array("keys-column-order");
}
void CAppSettings::set_keys_column_order(const std::vector<Glib::ustring>& order) {
    m_settings->set_string_array("keys-column-order", order);
}

// ---- debug log and confirmations ----

bool CAppSettings::get_debug_write_log() const {
    return m_settings->get_boolean("debug-write-log");
}
LogLevel CAppSettings::get_debug_loglevel() const {
    return string_to_loglevel(m_settings->get_string("debug-log-level"));
}
bool CAppSettings::get_debug_clear_log() const {
    return m_settings->get_boolean("debug-clear-log");
}
bool CAppSettings::get_delete_db_confirm() const {
    return m_settings->get_boolean("delete-db-confirm");
}
bool CAppSettings::get_delete_key_confirm() const {
    return m_settings->get_boolean("delete-key-confirm");
}
bool CAppSettings::get_lock_time_confirm() const {
    return m_settings->get_boolean("lock-time-confirm");
}
bool CAppSettings::get_key_list_confirm() const {
    return m_settings->get_boolean("key-list-confirm");
}

// ---- enumeration names ----

key_format CAppSettings::string_to_key_format(const Glib::ustring& text) {
    return static_cast<key_format>(index_of(kKeyFormatNames, text, KF_HEX));
}
Glib::ustring CAppSettings::key_format_to_string(key_format format) {
    return name_of(kKeyFormatNames, format, KF_HEX);
}
ScanKeyType CAppSettings::string_to_scan_key_type(const Glib::ustring& text) {
    return static_cast<ScanKeyType>(index_of(kScanKeyTypeNames, text, SCAN_KEY_DALLAS));
}
Glib::ustring CAppSettings::scan_key_type_to_string(ScanKeyType type) {
    return name_of(kScanKeyTypeNames, type, SCAN_KEY_DALLAS);
}
LogLevel CAppSettings::string_to_loglevel(const Glib::ustring& text) {
    return static_cast<LogLevel>(index_of(kLogLevelNames, text, LOGLEVEL_DEBUG));
}
Glib::ustring CAppSettings::loglevel_to_string(LogLevel level) {
    return name_of(kLogLevelNames, level, LOGLEVEL_DEBUG);
}
rdx_port_type CAppSettings::string_to_port_type(const Glib::ustring& text) {
    return static_cast<rdx_port_type>(index_of(kPortTypeNames, text, RDX_PORT_NONE));
}
Glib::ustring CAppSettings::port_type_to_string(rdx_port_type type) {
    return name_of(kPortTypeNames, type, RDX_PORT_NONE);
}

std::filesystem::path GetDbDir() {
    const Glib::ustring dir = g_AppSet ? g_AppSet->get_db_dir() : Glib::ustring();
    if (!dir.empty())
        return std::filesystem::path(dir.raw()); // verbatim: no "~" or variable expansion
    return get_app_dir() / "bases";
}
