// The window's half of device discovery: the reader library's background search mirrored into the device
// list, the adapter and reader ports resolved from the settings ("<Auto>" or fixed), the reader used in key
// mode, and the "Adapter: %s. Reader: %s" status they add up to.
#pragma once

#include <glibmm/ustring.h>
#include <sigc++/signal.h>

#include <functional>

#include "keys/CCardUID.h"
#include "keys/KeyTypes.h"
#include "rdx.h"
#include "readers/DeviceDiscovery.h"
#include "readers/RdxMessageQueue.h"
#include "readers/RdxWrapper.h"

class CAdapterThread;

class CDevicePorts {
public:
    // IP converters in client mode connect to the program on this port.
    static constexpr uint16_t kClientListenPort = 25000;

    // wake runs on library threads and must only wake the main loop (it emits the window's dispatcher);
    // the main loop then calls ProcessMessages.
    CDevicePorts(CAdapterThread& adapter, std::function<void()> wake);
    ~CDevicePorts();
    CDevicePorts(const CDevicePorts&) = delete;
    CDevicePorts& operator=(const CDevicePorts&) = delete;

    // Starts the search: log callback and level, message queue, listen port, options, auto-scan.
    void StartSearch();
    // Drains the search queue (rebuilding the ports on a list change) and the key-mode reader's queue,
    // each only when the library has reported messages on it since the last drain.
    void ProcessMessages();

    void UpdatePorts();
    void UpdateAutoAPort();
    void UpdateDevicePort();
    void update_search_for_devices_options();
    // The library's own log follows the program's debug log settings.
    void apply_log_level();

    void GetRealReaderPort(rdx_port_type& type, Glib::ustring& name) const;
    void GetRealTemicReaderPort(rdx_port_type& type, Glib::ustring& name) const;

    // Key mode needs the reader: it is opened while key mode is on and a reader port resolves.
    void set_key_mode(bool on);
    bool is_key_reader_open() const { return static_cast<bool>(m_key_reader); }
    // Whether the key reader has finished connecting (cards are reported only from then on).
    bool is_key_reader_connected() const;
    void CloseKeyReader();

    Glib::ustring device_status_text() const;
    const CReaderInfoList& devices() const { return m_devices; }
    void get_auto_adapter_port(rdx_port_type& type, Glib::ustring& name) const;

    // A card number as the key editor takes it; KF-300 fobs read through the library swap two nibbles when
    // the fobs' button codes are told apart.
    static void card_to_key(const rdx_card_info& card, bool different_kf300, CardType& type,
                            CCardUID& number);

    // The adapter port moved (the title shows it).
    sigc::signal<void()>& signal_adapter_port_changed() { return m_signal_adapter_port_changed; }
    // Something the device status line shows changed.
    sigc::signal<void()>& signal_status_changed() { return m_signal_status_changed; }
    // A card was put on the key-mode reader.
    sigc::signal<void(const rdx_card_info&)>& signal_card_inserted() { return m_signal_card_inserted; }

private:
    static void on_rdx_search_message(uint32_t msg, const void* data, void* ctx);
    static void on_rdx_reader_message(uint32_t msg, const void* data, void* ctx);
    static void on_rdx_log_message(int32_t level, const char* context, const char* message, void* ctx);

    using AutoPortFinder = int (*)(const CReaderInfoList&, rdx_port_type, const Glib::ustring&);
    // The reader port setting, with "<Auto>" resolved by find among the devices.
    void ResolveReaderPort(AutoPortFinder find, rdx_port_type& type, Glib::ustring& name) const;
    bool UpdateAdapterPort();
    bool UpdateKeyReaderPort();
    void OpenKeyReader(rdx_port_type type, const Glib::ustring& name);
    bool key_reader_is_on(rdx_port_type type, const Glib::ustring& name) const;

    CAdapterThread& m_adapter;
    std::function<void()> m_wake;
    rdx::CRDX m_rdx;
    rdx::CReaderSearch m_search;
    rdx::CReader m_key_reader;
    // Raised by the message callbacks: the queues are only read when they hold something.
    rdx::CMessageFlag m_search_messages;
    rdx::CMessageFlag m_reader_messages;
    CReaderInfoList m_devices;
    rdx_port_type m_auto_adapter_type = RDX_PORT_NONE;
    Glib::ustring m_auto_adapter_name;
    bool m_key_mode = false;
    sigc::signal<void()> m_signal_adapter_port_changed;
    sigc::signal<void()> m_signal_status_changed;
    sigc::signal<void(const rdx_card_info&)> m_signal_card_inserted;
};
