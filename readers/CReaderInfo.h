// One device the reader library's search found (an adapter or a reader), as a row of the device list.
#pragma once

#include <glibmm/object.h>
#include <glibmm/refptr.h>
#include <glibmm/ustring.h>

#include <cstdint>

#include "rdx.h"

class CReaderInfo : public Glib::Object {
public:
    CReaderInfo(rdx_port_type port_type, const Glib::ustring& port_name, rdx_reader_model model,
                int serial_number, unsigned firmware_version, long time);

    static Glib::RefPtr<CReaderInfo> create(rdx_port_type port_type, const Glib::ustring& port_name,
                                            rdx_reader_model model, int serial_number,
                                            unsigned firmware_version, long time);
    // The device as rdx_search_get_reader_info reports it.
    static Glib::RefPtr<CReaderInfo> create(const rdx_reader_info& info);

    rdx_port_type port_type() const { return m_port_type; }
    const Glib::ustring& port_name() const { return m_port_name; }
    rdx_reader_model model() const { return m_model; }
    int serial_number() const { return m_serial_number; }            // -1 = none
    unsigned firmware_version() const { return m_firmware_version; } // 0 = none
    long time() const { return m_time; }

    bool is_port(rdx_port_type port_type, const Glib::ustring& port_name) const {
        return m_port_type == port_type && m_port_name.raw() == port_name.raw();
    }

private:
    rdx_port_type m_port_type;
    Glib::ustring m_port_name;
    rdx_reader_model m_model;
    int m_serial_number;
    unsigned m_firmware_version;
    long m_time;
};
