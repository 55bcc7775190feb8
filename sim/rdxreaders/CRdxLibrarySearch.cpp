// Device search of the stand-in reader library: the devices of the world's device list that the search
// options let through, in the list's order, with message 3 whenever that list changes.
#include "CRdxLibrary.h"

#include <algorithm>
#include <ctime>

namespace rdxsim {

std::vector<rdxworld::world_device> CRdxLibrary::load_devices() const {
    return m_world ? m_world->load_devices() : std::vector<rdxworld::world_device>{};
}

// USB devices appear as COM ports; IP converters that listen are servers (proxies count as servers), those
// that call us are clients. A client ("host:port") calls the port it was set up for and is found only when
// that port is one the program listens on.
bool CRdxLibrary::search_finds(const rdxworld::world_device& d) const {
    if (d.port_type == RDX_PORT_CLIENT) {
        const size_t colon = d.port_name.rfind(':');
        if (colon == std::string::npos)
            return false;
        const std::string port = d.port_name.substr(colon + 1);
        const bool listened = std::any_of(m_listen_ports.begin(), m_listen_ports.end(),
                                          [&](uint16_t p) { return port == std::to_string(p); });
        if (!listened)
            return false;
    }
    switch (d.port_type) {
    case RDX_PORT_COM:
        return m_search_flags & RDX_SEARCH_USB;
    case RDX_PORT_CCID:
        return m_search_flags & RDX_SEARCH_CCID;
    case RDX_PORT_SERVER:
    case RDX_PORT_PROXY:
        return m_search_flags & RDX_SEARCH_SERVER;
    case RDX_PORT_CLIENT:
        return m_search_flags & RDX_SEARCH_CLIENT;
    default:
        return false;
    }
}

void CRdxLibrary::update_search_list(const std::vector<rdxworld::world_device>& devices) {
    std::vector<search_entry> list;
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    for (const auto& d : devices) {
        if (!search_finds(d))
            continue;
        bool duplicate = std::any_of(list.begin(), list.end(), [&](const search_entry& e) {
            return e.device.port_type == d.port_type && e.device.port_name == d.port_name;
        });
        if (duplicate)
            continue;
        auto old = std::find_if(m_search_list.begin(), m_search_list.end(),
                                [&](const search_entry& e) { return e.device == d; });
        list.push_back({d, old == m_search_list.end() ? now : old->time});
    }
    const bool changed =
        !std::equal(list.begin(), list.end(), m_search_list.begin(), m_search_list.end(),
                    [](const search_entry& a, const search_entry& b) { return a.device == b.device; });
    if (!changed)
        return;
    m_search_list = std::move(list);
    log(3, "device list changed: " + std::to_string(m_search_list.size()) + " device(s)");
    message_rec rec;
    rec.msg = RDX_MSG_SEARCH_LIST;
    for (auto& [id, h] : m_handles)
        if (h->handle_kind() == CHandle::kind::search)
            post(*h, rec);
}

bool CRdxLibrary::any_search_auto_scan() const {
    for (const auto& [id, h] : m_handles)
        if (h->handle_kind() == CHandle::kind::search && static_cast<CSearchHandle&>(*h).auto_scan)
            return true;
    return false;
}

rdx_status CRdxLibrary::search_get_options(rdx_handle h, rdx_search_options* opt) {
    if (!opt)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    if (!find(h, CHandle::kind::search))
        return RDX_E_INVALID_HANDLE;
    *opt = rdx_search_options{};
    opt->flags = m_search_flags;
    return RDX_OK;
}

rdx_status CRdxLibrary::search_set_options(rdx_handle h, const rdx_search_options* opt) {
    if (!opt)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    if (!find(h, CHandle::kind::search))
        return RDX_E_INVALID_HANDLE;
    if (m_search_flags != opt->flags) {
        m_search_flags = opt->flags;
        update_search_list(load_devices());
    }
    return RDX_OK;
}

rdx_status CRdxLibrary::search_set_listen_ports(rdx_handle h, const uint16_t* ports, uint32_t count) {
    if ((count > 0 && !ports) || count > kMaxListenPorts)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    if (!find(h, CHandle::kind::search))
        return RDX_E_INVALID_HANDLE;
    std::vector<uint16_t> listen(ports, ports + count);
    if (listen != m_listen_ports) {
        m_listen_ports = std::move(listen);
        update_search_list(load_devices());
    }
    return RDX_OK;
}

rdx_status CRdxLibrary::search_set_auto_scan(rdx_handle h, int32_t enable) {
    std::lock_guard lk(m_mutex);
    auto handle = find(h, CHandle::kind::search);
    if (!handle)
        return RDX_E_INVALID_HANDLE;
    static_cast<CSearchHandle&>(*handle).auto_scan = enable != 0;
    m_wake.notify_all();
    return RDX_OK;
}

rdx_status CRdxLibrary::search_get_reader_count(rdx_handle h, uint32_t* count) {
    if (!count)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    if (!find(h, CHandle::kind::search))
        return RDX_E_INVALID_HANDLE;
    // Without background scanning every count is a fresh scan.
    if (!any_search_auto_scan())
        update_search_list(load_devices());
    *count = static_cast<uint32_t>(m_search_list.size());
    return RDX_OK;
}

rdx_status CRdxLibrary::search_get_reader_info(rdx_handle h, uint32_t index, rdx_reader_info* info) {
    if (!info)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    if (!find(h, CHandle::kind::search))
        return RDX_E_INVALID_HANDLE;
    if (index >= m_search_list.size())
        return RDX_E_OUT_OF_RANGE;
    const search_entry& e = m_search_list[index];
    *info = rdx_reader_info{};
    info->port_type = static_cast<rdx_port_type>(e.device.port_type);
    e.device.port_name.copy(info->port_name, sizeof info->port_name - 1);
    info->model = e.device.model;
    info->serial_number = e.device.serial;
    info->firmware_version = e.device.firmware;
    info->time = e.time;
    return RDX_OK;
}

} // namespace rdxsim
