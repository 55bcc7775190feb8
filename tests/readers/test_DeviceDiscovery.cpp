// Tests of the helpers that pick ports out of the device list: lookups by name and the automatic choices
// of adapter, Temic writer and Mifare reader with one port left out.
#include <gtest/gtest.h>

#include <giomm/init.h>

#include <cstring>
#include <initializer_list>

#include "readers/DeviceDiscovery.h"

namespace {

class DeviceDiscoveryTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Gio::init(); }
    void add(rdx_port_type type, const char* name, rdx_reader_model model) {
        m_list->append(CReaderInfo::create(type, name, model, -1, 0, 0));
    }

    CReaderInfoList m_list = Gio::ListStore<CReaderInfo>::create();
};

TEST_F(DeviceDiscoveryTest, LooksUpPortsByNameAndByTypeAndName) {
    add(RDX_PORT_COM, "/dev/ttyUSB0", 2);
    add(RDX_PORT_CLIENT, "10.0.0.5:25000", 5);
    add(RDX_PORT_SERVER, "10.0.0.5:25000", 4);
    EXPECT_EQ(find_reader_info_by_portname(m_list, "10.0.0.5:25000"), 1);
    EXPECT_EQ(find_reader_info_by_portname(m_list, RDX_PORT_SERVER, "10.0.0.5:25000"), 2);
    EXPECT_EQ(find_reader_info_by_portname(m_list, RDX_PORT_COM, "10.0.0.5:25000"), -1);
    EXPECT_EQ(find_reader_info_by_portname(m_list, "/dev/ttyUSB9"), -1);
    EXPECT_EQ(find_reader_info_by_portname(nullptr, "x"), -1);
    EXPECT_EQ(find_adapter_auto_port(nullptr, RDX_PORT_NONE, ""), -1);
}

// Each automatic choice over a device list, with the port the other role already uses left out.
TEST_F(DeviceDiscoveryTest, AutomaticChoices) {
    using Finder = int (*)(const CReaderInfoList&, rdx_port_type, const Glib::ustring&);
    struct Device {
        rdx_port_type type;
        const char* name;
        rdx_reader_model model;
    };
    const auto choose = [this](Finder find, std::initializer_list<Device> devices,
                               rdx_port_type excluded_type = RDX_PORT_NONE, const char* excluded = "") {
        m_list->remove_all();
        for (const Device& d : devices)
            add(d.type, d.name, d.model);
        return find(m_list, excluded_type, excluded);
    };
    const Device com0_2{RDX_PORT_COM, "/dev/ttyUSB0", 2}, com0_4{RDX_PORT_COM, "/dev/ttyUSB0", 4},
        com0_5{RDX_PORT_COM, "/dev/ttyUSB0", 5}, com1_3{RDX_PORT_COM, "/dev/ttyUSB1", 3},
        com1_4{RDX_PORT_COM, "/dev/ttyUSB1", 4}, com1_5{RDX_PORT_COM, "/dev/ttyUSB1", 5},
        com1_8{RDX_PORT_COM, "/dev/ttyUSB1", 8}, com2_1{RDX_PORT_COM, "/dev/ttyUSB2", 1},
        com2_4{RDX_PORT_COM, "/dev/ttyUSB2", 4}, ccid_0{RDX_PORT_CCID, "ccid-0", 0};
    EXPECT_EQ(choose(find_adapter_auto_port, {com0_2, com1_5, com2_4}), 1)
        << "first adapter in library order";
    EXPECT_EQ(choose(find_adapter_auto_port, {com1_5, com2_4}, RDX_PORT_COM, "/dev/ttyUSB1"), 1);
    EXPECT_EQ(choose(find_adapter_auto_port, {com1_5, com2_4}, RDX_PORT_CCID, "/dev/ttyUSB1"), 0);
    EXPECT_EQ(choose(find_temic_reader_auto_port, {com0_5, com1_4, com2_1}), 1) << "models one and four";
    EXPECT_EQ(choose(find_temic_reader_auto_port, {com0_5, com1_4, com2_1}, RDX_PORT_COM, "/dev/ttyUSB1"), 2);
    EXPECT_EQ(choose(find_reader_auto_port, {com0_4, com1_8}), 0) << "an adapter will do as reader";
    EXPECT_EQ(choose(find_reader_auto_port, {com0_4, com1_8}, RDX_PORT_COM, "/dev/ttyUSB0"), 1);
    EXPECT_EQ(choose(find_reader_auto_port, {ccid_0, com1_3}), 1) << "a known model before an unknown one";
    EXPECT_EQ(choose(find_reader_auto_port, {ccid_0, com1_3}, RDX_PORT_COM, "/dev/ttyUSB1"), 0);
    EXPECT_EQ(choose(find_reader_auto_port, {ccid_0, com1_3}, RDX_PORT_CCID, "ccid-0"), 1);
}

// The library's port name field need not be terminated; the copy stays inside the record.
TEST_F(DeviceDiscoveryTest, UnterminatedPortNameStaysInsideTheRecord) {
    rdx_reader_info info{};
    info.port_type = RDX_PORT_COM;
    std::memset(info.port_name, 'A', sizeof(info.port_name));
    EXPECT_EQ(CReaderInfo::create(info)->port_name().size(), sizeof(info.port_name));
}

} // namespace
