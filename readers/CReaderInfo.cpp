// One device found by the reader library's search.
#include "readers/CReaderInfo.h"

#include <cstring>

CReaderInfo::CReaderInfo(rdx_port_type port_type, const Glib::ustring& port_name, rdx_reader_model model,
                         int serial_number, unsigned firmware_version, long time)
    : m_port_type(port_type), m_port_name(port_name), m_model(model), m_serial_number(serial_number),
      m_firmware_version(firmware_version), m_time(time) {}

Glib::RefPtr<CReaderInfo> CReaderInfo::create(rdx_port_type port_type, const Glib::ustring& port_name,
                                              rdx_reader_model model, int serial_number,
                                              unsigned firmware_version, long time) {
    // Glib objects are reference counted by GObject: the RefPtr takes over the new instance.
    return Glib::make_refptr_for_instance<CReaderInfo>(
        new CReaderInfo(port_type, port_name, model, serial_number, firmware_version, time));
}

Glib::RefPtr<CReaderInfo> CReaderInfo::create(const rdx_reader_info& info) {
    // The library's name field is fixed-size and need not be terminated.
    const size_t name_length = strnlen(info.port_name, sizeof(info.port_name));
    return create(info.port_type, Glib::ustring(info.port_name, name_length), info.model, info.serial_number,
                  info.firmware_version, static_cast<long>(info.time));
}
