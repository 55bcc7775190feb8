// Device simulator: the world at the other end of the program's adapter wire.
//
// A CWorld runs one M-6 adapter (CAdapterSim) with its Q-4T controller, reader and Temic tag on its own
// thread, reachable through real transports: a pseudo-terminal (pty_path(), opened by the program like a
// serial port; its baud rate and stop bits are read back from the master) and, on request, a TCP listener on
// 127.0.0.1 speaking Telnet with the RFC 2217 COM-PORT option (start_tcp() returns the port). Everything
// below is thread-safe; the destructor stops the thread, closes the ports and removes the device-file lines.
// The adapter speaks M6 while the line runs at 38400 baud and ASCII at 9600 (other rates are garbled). A
// pseudo-terminal has no modem lines, so DTR and RTS are seen only through the converter's SET-CONTROL.
//
// clang-format off
//   devsim::CWorld world;                 // adapter model 4 on a pty, 8 KB controller (type 2)
//   world.set_controller_type(4);         // also set_controller_unknown(size, code), set_controller_present()
//   world.controller_memory();            // raw bytes; set_controller_memory(), controller_keys(),
//                                         // set_controller_keys(keys, lock_code)
//   world.touch_ds1996();                 // touch_dallas(rom), present_em_marine(series, number),
//                                         // present_kf300(fob), touch_temic(), remove_key()
//   world.ds1996_memory();                // set_ds1996_memory(); temic(): blocks and every "t57" write
//   world.inject(devsim::Fault::LostAck, 2);  // clear_faults(); set_pacing(true)
//   world.vanish(); world.restore();      // the port disappears / comes back (a new pty path)
//   world.wire_in(); world.wire_out();    // payload bytes each way for byte-exact checks; clear_wire_log()
//   world.counters(); world.line();       // what happened; the line settings last seen
//   world.wait_until([&] { return world.counters().ctrl_pages_written >= 3; }, 5s);
//   world.with_adapter([](devsim::CAdapterSim& a) { ... });  // anything else, under the world's lock
// clang-format on
#pragma once
#include <poll.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/devsim/CAdapterSim.h"
#include "sim/devsim/CDeviceRegistry.h"
#include "sim/devsim/COutQueue.h"
#include "sim/devsim/CPtyLink.h"
#include "sim/devsim/CTcpLink.h"

namespace devsim {

struct WorldOptions {
    AdapterConfig adapter;
    bool pty = true;          // open the pseudo-terminal at once
    bool tcp = false;         // also listen on TCP at once
    uint16_t tcp_port = 0;    // 0 = any free port
    bool pace = false;        // pace bytes at the line's baud rate
    uint32_t pace_baud = 0;   // pace at this rate instead of the line's (0 = the line's)
    std::string devices_file; // when set, register the adapter there (reader library's world)
};

class CWorld {
public:
    explicit CWorld(WorldOptions options = {});
    CWorld(const CWorld&) = delete;
    CWorld& operator=(const CWorld&) = delete;
    ~CWorld();

    // Transports.
    std::string pty_path() const;
    uint16_t start_tcp(uint16_t port = 0); // returns the port (the running one if already listening)
    uint16_t tcp_port() const;             // 0 while not listening
    bool tcp_connected() const;
    void vanish(); // the port disappears: pty closed, TCP client and listener closed
    // The port disappears once the adapter has taken `frames` more frames or ASCII lines, before it answers
    // the last one: a port lost in the middle of an exchange.
    void vanish_after(uint64_t frames);
    void restore(); // a new pty (new path) and the listener on the same port
    bool vanished() const;

    // The controller.
    void set_controller_type(int type);
    void set_controller_unknown(size_t size, uint8_t code);
    void set_controller_present(bool present);
    int controller_type() const;
    bool controller_present() const;
    std::vector<uint8_t> controller_memory() const;
    void set_controller_memory(std::vector<uint8_t> bytes);
    std::vector<SimKey> controller_keys() const;
    void set_controller_keys(const std::vector<SimKey>& keys, uint16_t lock_code = kDefaultLockCode);

    // The reader: one key at a time.
    void touch_ds1996();
    void touch_dallas(const std::array<uint8_t, kDallasIdBytes>& rom);
    void present_em_marine(unsigned series, unsigned number, unsigned code = 0);
    void present_kf300(const std::array<uint8_t, kKf300Bytes>& fob);
    void touch_temic();
    void remove_key();
    ReaderKey reader_key() const;
    std::array<uint8_t, kDallasIdBytes> ds1996_rom() const;
    std::vector<uint8_t> ds1996_memory() const;
    void set_ds1996_memory(std::vector<uint8_t> bytes);
    TemicTag temic() const;
    // The emulated controller's next page request (or write) also uses this address once: a test hook for
    // addresses beyond the DS1996L image (see CAdapterSim::set_emu_stray_address()).
    void set_emu_stray_address(uint32_t address);

    // Line, faults, pacing.
    void set_pacing(bool on);
    bool pacing() const;
    void inject(Fault kind, unsigned count = 1);
    void clear_faults();
    LineSettings line() const;

    // Observation.
    Counters counters() const;
    std::vector<uint8_t> wire_in() const;
    std::vector<uint8_t> wire_out() const;
    void clear_wire_log();
    ScanMode scan_mode() const;
    bool wait_until(const std::function<bool()>& condition, milliseconds timeout) const;

    template <class F>
    auto with_adapter(F&& f) {
        std::unique_lock lock(m_mutex);
        struct Waker {
            const CWorld* w;
            ~Waker() { w->wake(); }
        } waker{this};
        return f(m_adapter);
    }

private:
    enum class Active { Pty, Tcp };

    struct PollFds {
        int pty = -1, listen = -1, client = -1;
    };

    void run();
    std::optional<TimePoint> prepare_poll(std::vector<pollfd>& fds, PollFds& ids);
    void handle_events(const std::vector<pollfd>& fds, const PollFds& ids);
    void on_tcp_accept();
    void wake() const;
    void vanish_locked();
    uint64_t frames_taken() const;
    void set_key(const ReaderKey& key);
    void open_pty();
    void open_tcp(uint16_t port);
    void service(TimePoint now);
    void route_output(TimePoint now);
    void write_due(TimePoint now);
    void on_pty_readable(TimePoint now);
    void on_tcp_readable(TimePoint now);
    void feed(const std::vector<uint8_t>& payload, const LineSettings& line, TimePoint now);
    void notify_changed();
    std::chrono::nanoseconds paced_byte_time(const LineSettings& line) const;

    mutable std::mutex m_mutex;
    CAdapterSim m_adapter;
    WorldOptions m_options;
    std::unique_ptr<CPtyLink> m_pty;
    std::unique_ptr<CTcpLink> m_tcp;
    uint16_t m_tcp_port = 0;
    Active m_active = Active::Pty;
    COutQueue m_pty_out, m_tcp_out;
    std::vector<uint8_t> m_pty_pending; // due bytes the pty did not take yet
    TimePoint m_rx_free{};
    TimePoint m_await_until{}; // the program's answer to what was just written may come any moment
    LineSettings m_line;
    std::vector<uint8_t> m_wire_in, m_wire_out;
    bool m_vanished = false;
    std::optional<uint64_t> m_vanish_at; // frames_taken() at which the port disappears
    bool m_stop = false;
    std::array<uint8_t, kDallasIdBytes> m_ds1996_rom{};
    std::unique_ptr<CDeviceRegistry> m_registry;

    mutable std::mutex m_change_mutex;
    mutable std::condition_variable m_change;
    uint64_t m_generation = 0;

    CFd m_event;
    std::thread m_thread; // last: starts after everything it uses exists
};

} // namespace devsim
