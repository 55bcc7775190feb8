// Device discovery in the window: the search's device list, the adapter and key-mode reader ports, and the
// device status line.
#include "ui/CDevicePorts.h"

#include <glibmm/main.h>

#include <cstring>
#include <string>

#include "adapter/CAdapterThread.h"
#include "app/CDebugLog.h"
#include "app/i18n.h"
#include "settings/CAppSettings.h"

namespace {

// Search option flags of the device kinds.
constexpr uint32_t kSearchUsb = 0x01;
constexpr uint32_t kSearchServer = 0x04;
constexpr uint32_t kSearchClient = 0x08;
constexpr uint32_t kSearchCcid = 0x10;

// Connection states the library reports for a reader.
constexpr int32_t kReaderConnected = 1;
constexpr int32_t kReaderConnecting = 2;

// KF-300 fobs as the library reports them.
bool is_kf300(rdx_card_type type) {
    return type == RDX_CARD_COD433 || type == RDX_CARD_COD433_FIX;
}

Glib::ustring connection_text(int32_t state) {
    switch (state) {
    case kReaderConnected:
        return _("Connected");
    case kReaderConnecting:
        return _("Connecting...");
    default:
        return _("Disconnected");
    }
}

bool reader_info(const rdx::CReader& reader, rdx_reader_info& info) {
    return reader && rdx_reader_get_info(reader.Get(), &info) == 0;
}

} // namespace

CDevicePorts::CDevicePorts(CAdapterThread& adapter, std::function<void()> wake)
    : m_adapter(adapter), m_wake(std::move(wake)), m_devices(Gio::ListStore<CReaderInfo>::create()) {}

CDevicePorts::~CDevicePorts() {
    // No callback may reach a half-destroyed object: silence both sources before their handles close.
    if (m_key_reader)
        rdx_reader_set_message_callback(m_key_reader.Get(), nullptr, nullptr);
    if (m_search)
        rdx_search_set_message_callback(m_search.Get(), nullptr, nullptr);
    if (m_rdx.IsInitialized())
        rdx_set_log_callback(nullptr, nullptr);
}

void CDevicePorts::StartSearch() {
    m_rdx.Init();
    rdx::RDXCheck(rdx_set_log_callback(&CDevicePorts::on_rdx_log_message, this));
    apply_log_level();
    rdx_handle search = nullptr;
    rdx::RDXCheck(rdx_get_search(&search));
    m_search.Attach(search);
    rdx::RDXCheck(rdx_search_set_message_callback(search, &CDevicePorts::on_rdx_search_message, this));
    rdx::RDXCheck(rdx_search_enable_message_queue(search, 1));
    const uint16_t ports[] = {kClientListenPort};
    rdx::RDXCheck(rdx_search_set_listen_ports(search, ports, 1));
    update_search_for_devices_options();
    rdx::RDXCheck(rdx_search_set_auto_scan(search, 1, 0));
}

void CDevicePorts::apply_log_level() {
    rdx_set_log_level(g_AppSet->get_debug_write_log() ? g_AppSet->get_debug_loglevel() : LOGLEVEL_NONE);
}

void CDevicePorts::update_search_for_devices_options() {
    if (!m_search)
        return;
    rdx_search_options options{};
    rdx::RDXCheck(rdx_search_get_options(m_search.Get(), &options));
    options.flags = (g_AppSet->get_search_for_usb() ? kSearchUsb : 0) |
                    (g_AppSet->get_search_for_server() ? kSearchServer : 0) |
                    (g_AppSet->get_search_for_client() ? kSearchClient : 0) |
                    (g_AppSet->get_search_for_ccid() ? kSearchCcid : 0);
    rdx::RDXCheck(rdx_search_set_options(m_search.Get(), &options));
}

void CDevicePorts::ProcessMessages() {
    // The window's dispatcher runs for every adapter notification too: the library, which may be busy for
    // another thread, is only asked when it has reported something.
    if (m_search) {
        bool list_changed = false;
        rdx::take_search_messages(m_search.Get(), m_search_messages, list_changed);
        if (list_changed)
            UpdatePorts();
    }
    // A message may close the reader (a status update does not, a card insert may through the editor).
    if (!m_reader_messages.take())
        return;
    while (m_key_reader) {
        uint32_t msg = 0;
        const void* data = nullptr;
        int32_t found = 0;
        if (rdx_reader_get_message(m_key_reader.Get(), &msg, &data, &found) != 0 || !found)
            break;
        if (msg == RDX_MSG_READER_CONNECTION)
            m_signal_status_changed.emit();
        else if (msg == RDX_MSG_READER_CARD && data != nullptr)
            m_signal_card_inserted.emit(*static_cast<const rdx_card_info*>(data));
    }
}

void CDevicePorts::UpdatePorts() {
    std::vector<Glib::RefPtr<CReaderInfo>> found;
    uint32_t count = 0;
    if (m_search && rdx_search_get_reader_count(m_search.Get(), &count) == 0) {
        found.reserve(count);
        for (uint32_t i = 0; i < count; ++i) {
            rdx_reader_info info{};
            if (rdx_search_get_reader_info(m_search.Get(), i, &info) == 0)
                found.push_back(CReaderInfo::create(info));
        }
    }
    m_devices->splice(0, m_devices->get_n_items(), found);
    UpdateAutoAPort();
    UpdateDevicePort();
}

void CDevicePorts::UpdateAutoAPort() {
    rdx_port_type reader_type = RDX_PORT_NONE;
    Glib::ustring reader_name;
    g_AppSet->get_reader_port(reader_type, reader_name);
    const int index = find_adapter_auto_port(m_devices, reader_type, reader_name);
    if (index < 0) {
        m_auto_adapter_type = RDX_PORT_NONE;
        m_auto_adapter_name.clear();
        return;
    }
    const auto device = m_devices->get_item(index);
    m_auto_adapter_type = device->port_type();
    m_auto_adapter_name = device->port_name();
}

void CDevicePorts::get_auto_adapter_port(rdx_port_type& type, Glib::ustring& name) const {
    type = m_auto_adapter_type;
    name = m_auto_adapter_name;
}

void CDevicePorts::UpdateDevicePort() {
    const bool adapter_changed = UpdateAdapterPort();
    const bool reader_changed = UpdateKeyReaderPort();
    if (adapter_changed || reader_changed)
        m_signal_status_changed.emit();
}

bool CDevicePorts::UpdateAdapterPort() {
    rdx_port_type type = RDX_PORT_NONE;
    Glib::ustring name;
    g_AppSet->get_adapter_port(type, name);
    if (is_port_auto(type, name)) {
        type = m_auto_adapter_type;
        name = m_auto_adapter_name;
    }
    bool exists = false;
    rdx_reader_model model = RDX_MODEL_NONE;
    if (type != RDX_PORT_NONE && !name.empty()) {
        const int index = find_reader_info_by_portname(m_devices, type, name);
        if (index >= 0) {
            exists = true;
            model = m_devices->get_item(index)->model();
        }
    }
    rdx_port_type current_type = RDX_PORT_NONE;
    Glib::ustring current_name;
    m_adapter.get_port_name(current_type, current_name);
    if ((type == RDX_PORT_NONE && current_type == RDX_PORT_NONE) ||
        (type == current_type && name.raw() == current_name.raw())) {
        m_adapter.SetPortExist(exists);
        return false;
    }
    // The adapter's port cannot be shared with the key-mode reader.
    if (exists && key_reader_is_on(type, name))
        CloseKeyReader();
    m_adapter.set_port_name(type, name, model);
    m_adapter.SetPortExist(exists);
    m_signal_adapter_port_changed.emit();
    return true;
}

bool CDevicePorts::UpdateKeyReaderPort() {
    rdx_port_type type = RDX_PORT_NONE;
    Glib::ustring name;
    GetRealReaderPort(type, name);
    if (type == RDX_PORT_NONE || name.empty() || !m_key_mode) {
        if (!m_key_reader)
            return false;
        CloseKeyReader();
        return true;
    }
    bool changed = false;
    if (m_key_reader && !key_reader_is_on(type, name)) {
        CloseKeyReader();
        changed = true;
    }
    if (!m_key_reader) {
        OpenKeyReader(type, name);
        changed = true;
    }
    return changed;
}

void CDevicePorts::OpenKeyReader(rdx_port_type type, const Glib::ustring& name) {
    rdx_handle handle = nullptr;
    rdx::RDXCheck(rdx_get_reader(type, name.c_str(), &handle));
    rdx::CReader reader(handle);
    rdx::RDXCheck(rdx_reader_set_message_callback(handle, &CDevicePorts::on_rdx_reader_message, this));
    rdx::RDXCheck(rdx_reader_enable_message_queue(handle, 1));
    rdx::RDXCheck(rdx_reader_set_auto_scan(handle, 1, 0));
    rdx_handle command = nullptr;
    rdx::RDXCheck(rdx_reader_begin_connect(handle, 0, &command));
    // The connection goes on in the background and reports through the reader's messages.
    rdx::CAsyncCommand pending(command);
    m_key_reader = std::move(reader);
}

void CDevicePorts::CloseKeyReader() {
    if (!m_key_reader)
        return;
    rdx_reader_set_message_callback(m_key_reader.Get(), nullptr, nullptr);
    rdx::CReader closing;
    closing.Swap(m_key_reader);
}

bool CDevicePorts::key_reader_is_on(rdx_port_type type, const Glib::ustring& name) const {
    rdx_reader_info info{};
    if (!reader_info(m_key_reader, info))
        return false;
    return info.port_type == type &&
           name.raw() == std::string(info.port_name, strnlen(info.port_name, sizeof(info.port_name)));
}

void CDevicePorts::set_key_mode(bool on) {
    m_key_mode = on;
    if (UpdateKeyReaderPort())
        m_signal_status_changed.emit();
}

void CDevicePorts::GetRealReaderPort(rdx_port_type& type, Glib::ustring& name) const {
    ResolveReaderPort(find_reader_auto_port, type, name);
}

void CDevicePorts::GetRealTemicReaderPort(rdx_port_type& type, Glib::ustring& name) const {
    ResolveReaderPort(find_temic_reader_auto_port, type, name);
}

void CDevicePorts::ResolveReaderPort(AutoPortFinder find, rdx_port_type& type, Glib::ustring& name) const {
    g_AppSet->get_reader_port(type, name);
    if (!is_port_auto(type, name))
        return;
    // The automatic choice never takes the adapter's own port.
    rdx_port_type adapter_type = RDX_PORT_NONE;
    Glib::ustring adapter_name;
    m_adapter.get_port_name(adapter_type, adapter_name);
    const int index = find(m_devices, adapter_type, adapter_name);
    type = index < 0 ? RDX_PORT_NONE : m_devices->get_item(index)->port_type();
    name = index < 0 ? Glib::ustring() : m_devices->get_item(index)->port_name();
}

bool CDevicePorts::is_key_reader_connected() const {
    int32_t state = 0;
    return m_key_reader && rdx_reader_get_connection_status(m_key_reader.Get(), &state) == 0 &&
           state == kReaderConnected;
}

Glib::ustring CDevicePorts::device_status_text() const {
    Glib::ustring adapter;
    rdx_port_type type = RDX_PORT_NONE;
    Glib::ustring name;
    m_adapter.get_port_name(type, name);
    if (type != RDX_PORT_NONE && !name.empty()) {
        if (!m_adapter.GetPortExist())
            adapter = _("Adapter not found");
        else
            adapter = connection_text(m_adapter.GetConnectStatus());
    } else {
        g_AppSet->get_adapter_port(type, name);
        adapter = is_port_none(type, name) ? _("Port not selected") : _("Adapter not found");
    }

    Glib::ustring reader;
    int32_t state = 0;
    if (m_key_reader) {
        rdx_reader_get_connection_status(m_key_reader.Get(), &state);
        reader = connection_text(state);
    } else {
        g_AppSet->get_reader_port(type, name);
        if (is_port_none(type, name))
            reader = _("Port not selected");
        else if (m_key_mode)
            reader = _("Reader not found");
        else if (is_port_auto(type, name) && find_reader_auto_port(m_devices, RDX_PORT_NONE, "") < 0)
            reader = _("Reader not found");
        else
            reader = _("Not used");
    }
    return Glib::ustring::sprintf(_("Adapter: %s. Reader: %s"), adapter, reader);
}

void CDevicePorts::card_to_key(const rdx_card_info& card, bool different_kf300, CardType& type,
                               CCardUID& number) {
    type = to_card_type(card.type);
    number = CCardUID(card.uid);
    if (!is_kf300(card.type) || !different_kf300)
        return;
    // Fobs of one KF-300 kit differ in their button code, which the library reports split across the two
    // bytes' facing nibbles.
    const uint8_t b2 = number.bytes[2];
    const uint8_t b3 = number.bytes[3];
    number.bytes[2] = static_cast<uint8_t>((b2 & 0x0F) | ((b3 & 0x0F) << 4));
    number.bytes[3] = static_cast<uint8_t>((b3 & 0xF0) | ((b2 & 0xF0) >> 4));
}

void CDevicePorts::on_rdx_search_message(uint32_t, const void*, void* ctx) {
    auto* self = static_cast<CDevicePorts*>(ctx);
    self->m_search_messages.raise();
    self->m_wake();
}

void CDevicePorts::on_rdx_reader_message(uint32_t, const void*, void* ctx) {
    auto* self = static_cast<CDevicePorts*>(ctx);
    self->m_reader_messages.raise();
    self->m_wake();
}

void CDevicePorts::on_rdx_log_message(int32_t level, const char* context, const char* message, void*) {
    if (!g_Debug.IsLoggable(static_cast<LogLevel>(level)))
        return;
    g_Debug.LogMsg(static_cast<LogLevel>(level), std::string("RDX ") + (context ? context : ""),
                   message ? message : "");
}
