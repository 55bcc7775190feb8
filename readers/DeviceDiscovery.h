// Helpers that pick devices out of the list the reader library's search found: a port by name, and the
// automatic choice of the adapter, the Temic writer and the Mifare reader.
#pragma once

#include <giomm/liststore.h>
#include <glibmm/ustring.h>

#include <memory>

#include "rdx.h"
#include "readers/CReaderInfo.h"

// Port settings of type 0: "<Auto>" asks for the automatic choice, the empty name means no port.
inline constexpr const char* kPortAuto = "<Auto>";
inline constexpr const char* kPortNone = "";

using CReaderInfoList = std::shared_ptr<Gio::ListStore<CReaderInfo>>;

inline bool is_port_auto(rdx_port_type type, const Glib::ustring& name) {
    return type == RDX_PORT_NONE && name == kPortAuto;
}
inline bool is_port_none(rdx_port_type type, const Glib::ustring& name) {
    return type == RDX_PORT_NONE && name.empty();
}

// Programming adapters (models 4 and 5).
bool is_adapter_model(rdx_reader_model model);
// Devices that write Temic tags (models 1 and 4).
bool is_temic_writer_model(rdx_reader_model model);

// Index of the first device whose port name is name, else -1.
int find_reader_info_by_portname(const CReaderInfoList& list, const Glib::ustring& name);
// Index of the first device on that port type and name, else -1.
int find_reader_info_by_portname(const CReaderInfoList& list, rdx_port_type type, const Glib::ustring& name);
// Index of the first adapter other than the device on (type, name), else -1.
int find_adapter_auto_port(const CReaderInfoList& list, rdx_port_type type, const Glib::ustring& name);
// Index of the first Temic writer other than the device on (type, name), else -1.
int find_temic_reader_auto_port(const CReaderInfoList& list, rdx_port_type type, const Glib::ustring& name);
// Index of the first device of a known model other than the device on (type, name); failing that the first
// such device of unknown model; else -1.
int find_reader_auto_port(const CReaderInfoList& list, rdx_port_type type, const Glib::ustring& name);
