// Reader connections of the stand-in reader library: background and blocking connects, losing and regaining
// the device, and the auto scan that notices a card put on or taken off the reader.
#include "CRdxLibrary.h"

#include <algorithm>

namespace rdxsim {

namespace {

const rdxworld::world_device* find_device(const std::vector<rdxworld::world_device>& devices,
                                          const CReaderHandle& r) {
    auto it = std::find_if(devices.begin(), devices.end(), [&](const rdxworld::world_device& d) {
        return d.port_type == r.port_type && d.port_name == r.port_name;
    });
    return it == devices.end() ? nullptr : &*it;
}

rdx_card_type card_type_of(rdxworld::mf_size size) {
    switch (size) {
    case rdxworld::mf_size::mini:
        return RDX_CARD_MF_MINI;
    case rdxworld::mf_size::k1:
        return RDX_CARD_MF_CLASSIC_1K;
    case rdxworld::mf_size::k2:
        return RDX_CARD_MF_CLASSIC_2K;
    case rdxworld::mf_size::k4:
        return RDX_CARD_MF_CLASSIC_4K;
    }
    return RDX_CARD_NONE;
}

} // namespace

void CRdxLibrary::poll_world() {
    if (!any_search_auto_scan() && std::none_of(m_handles.begin(), m_handles.end(), [](const auto& e) {
            return e.second->handle_kind() == CHandle::kind::reader;
        }))
        return;
    const auto devices = load_devices();
    if (any_search_auto_scan())
        update_search_list(devices);
    for (auto& [id, h] : m_handles)
        if (h->handle_kind() == CHandle::kind::reader && !h->closed)
            poll_reader(static_cast<CReaderHandle&>(*h), devices);
}

void CRdxLibrary::poll_reader(CReaderHandle& r, const std::vector<rdxworld::world_device>& devices) {
    const rdxworld::world_device* device = find_device(devices, r);
    // A reader that lost its device by a fault waits for the program to connect again.
    if (r.connect_pending ||
        (r.status == RDX_DISCONNECTED && r.want_connection && r.auto_scan && device && !r.device_lost))
        resolve_connection(r, devices);
    else if (r.status == RDX_CONNECTED && !device)
        set_status(r, RDX_DISCONNECTED);
    if (r.status != RDX_CONNECTED || !r.auto_scan)
        return;
    const auto card = card_on(r);
    const std::string uid = card ? card->uid_text() : std::string();
    if (uid == r.reported_card)
        return;
    r.reported_card = uid;
    log(3, r.port_name + (uid.empty() ? ": card taken off" : ": card " + uid + " put on"));
    message_rec rec;
    rec.msg = RDX_MSG_READER_CARD;
    rec.card = card_info_of(card);
    post(r, rec);
}

void CRdxLibrary::resolve_connection(CReaderHandle& r, const std::vector<rdxworld::world_device>& devices) {
    r.connect_pending = false;
    const rdxworld::world_device* device = find_device(devices, r);
    if (!device) {
        log(2, r.port_name + ": device not found");
        set_status(r, RDX_DISCONNECTED);
        return;
    }
    r.info.model = device->model;
    r.info.serial_number = device->serial;
    r.info.firmware_version = device->firmware;
    set_status(r, RDX_CONNECTED);
}

void CRdxLibrary::set_status(CReaderHandle& r, int32_t status) {
    if (status != RDX_CONNECTED) {
        // The session with the card ends with the connection; the card is reported anew on reconnecting.
        r.auth_sector = -1;
        r.auth_uid.clear();
        r.reported_card.clear();
    }
    if (r.status == status)
        return;
    r.status = status;
    static const char* const names[] = {"disconnected", "connected", "connecting"};
    log(3, r.port_name + ": " + names[status]);
    message_rec rec;
    rec.msg = RDX_MSG_READER_CONNECTION;
    rec.status = status;
    post(r, rec);
}

std::optional<rdxworld::CMifareCard> CRdxLibrary::card_on(const CReaderHandle& r) const {
    if (!m_world)
        return std::nullopt;
    auto uid = m_world->card_on_reader(r.port_name);
    if (!uid || uid->empty())
        return std::nullopt;
    return m_world->load_card(*uid);
}

rdx_card_info CRdxLibrary::card_info_of(const std::optional<rdxworld::CMifareCard>& card) {
    rdx_card_info ci{};
    if (!card)
        return ci;
    ci.type = card_type_of(card->size());
    ci.uid.length = static_cast<uint8_t>(std::min(card->uid().size(), sizeof ci.uid.bytes));
    std::copy_n(card->uid().begin(), ci.uid.length, ci.uid.bytes);
    ci.memory_size = card->memory_size();
    ci.sl = 0;
    return ci;
}

rdx_status CRdxLibrary::reader_set_auto_scan(rdx_handle h, int32_t enable) {
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    r->auto_scan = enable != 0;
    return RDX_OK;
}

rdx_status CRdxLibrary::reader_get_info(rdx_handle h, rdx_reader_info* info) {
    if (!info)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    *info = r->info;
    return RDX_OK;
}

rdx_status CRdxLibrary::reader_begin_connect(rdx_handle h, rdx_handle* cmd) {
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    r->want_connection = true;
    r->device_lost = false;
    if (r->status != RDX_CONNECTED) {
        r->connect_pending = true;
        set_status(*r, RDX_CONNECTING);
    }
    if (cmd)
        *cmd = add_handle(std::make_shared<CHandle>(CHandle::kind::command));
    return RDX_OK;
}

rdx_status CRdxLibrary::reader_connect(rdx_handle h) {
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    r->want_connection = true;
    r->device_lost = false;
    if (r->status == RDX_CONNECTED)
        return RDX_OK;
    resolve_connection(*r, load_devices());
    return r->status == RDX_CONNECTED ? RDX_OK : RDX_E_PORT_NOT_FOUND;
}

rdx_status CRdxLibrary::reader_get_connection_status(rdx_handle h, int32_t* status) {
    if (!status)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    *status = r->status;
    return RDX_OK;
}

rdx_status CRdxLibrary::reader_get_card_info(rdx_handle h, rdx_card_info* ci) {
    if (!ci)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    if (r->status != RDX_CONNECTED)
        return RDX_E_NOT_CONNECTED;
    const auto card = card_on(*r);
    *ci = card_info_of(card);
    log(4, r->port_name + ": card info " + (card ? card->uid_text() : std::string("-")));
    return RDX_OK;
}

} // namespace rdxsim
