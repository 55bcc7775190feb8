// Picking devices out of the search's device list.
#include "readers/DeviceDiscovery.h"

#include <functional>

namespace {

constexpr rdx_reader_model kModelTemicWriter = 1;
constexpr rdx_reader_model kModelAdapterTemic = 4;
constexpr rdx_reader_model kModelAdapter = 5;

// Index of the first device, other than the one on (type, name), that accepts; else -1.
int find_first(const CReaderInfoList& list, rdx_port_type type, const Glib::ustring& name,
               const std::function<bool(const CReaderInfo&)>& accepts) {
    if (!list)
        return -1;
    const guint count = list->get_n_items();
    for (guint i = 0; i < count; ++i) {
        const auto info = list->get_item(i);
        if (info && !info->is_port(type, name) && accepts(*info))
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace

bool is_adapter_model(rdx_reader_model model) {
    return model == kModelAdapterTemic || model == kModelAdapter;
}

bool is_temic_writer_model(rdx_reader_model model) {
    return model == kModelTemicWriter || model == kModelAdapterTemic;
}

int find_reader_info_by_portname(const CReaderInfoList& list, const Glib::ustring& name) {
    if (!list)
        return -1;
    const guint count = list->get_n_items();
    for (guint i = 0; i < count; ++i) {
        const auto info = list->get_item(i);
        if (info && info->port_name().raw() == name.raw())
            return static_cast<int>(i);
    }
    return -1;
}

int find_reader_info_by_portname(const CReaderInfoList& list, rdx_port_type type, const Glib::ustring& name) {
    if (!list)
        return -1;
    const guint count = list->get_n_items();
    for (guint i = 0; i < count; ++i) {
        const auto info = list->get_item(i);
        if (info && info->is_port(type, name))
            return static_cast<int>(i);
    }
    return -1;
}

int find_adapter_auto_port(const CReaderInfoList& list, rdx_port_type type, const Glib::ustring& name) {
    return find_first(list, type, name,
                      [](const CReaderInfo& info) { return is_adapter_model(info.model()); });
}

int find_temic_reader_auto_port(const CReaderInfoList& list, rdx_port_type type, const Glib::ustring& name) {
    return find_first(list, type, name,
                      [](const CReaderInfo& info) { return is_temic_writer_model(info.model()); });
}

int find_reader_auto_port(const CReaderInfoList& list, rdx_port_type type, const Glib::ustring& name) {
    const int known =
        find_first(list, type, name, [](const CReaderInfo& info) { return info.model() != RDX_MODEL_NONE; });
    if (known >= 0)
        return known;
    return find_first(list, type, name,
                      [](const CReaderInfo& info) { return info.model() == RDX_MODEL_NONE; });
}
