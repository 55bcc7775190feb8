// The M-6 adapter as a pure state machine: bytes from the program go in with the time they finished arriving,
// answers come out stamped with the time the adapter sends them. It plays both protocols (M6 frames at
// 38400 baud, ASCII "t57" lines at 9600), the reading mode, page access to the controller and to a DS1996L,
// the DS1996L and Dallas emulation towards the controller, and injected faults. No I/O and no locking here:
// the world (CWorld) owns it, feeds it and guards it.
#pragma once
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "sim/devsim/CControllerSim.h"
#include "sim/devsim/DevsimTypes.h"

namespace devsim {

struct OutChunk {
    TimePoint at;
    std::vector<uint8_t> bytes;
    uint32_t baud = kM6Baud; // the rate the adapter sends them at: that of the protocol it speaks
};

class CAdapterSim {
public:
    static constexpr size_t kDs1996Size = 8192;

    explicit CAdapterSim(AdapterConfig config = {});

    // Bytes from the program, each considered complete at `at`.
    void receive(const uint8_t* data, size_t n, const LineSettings& line, TimePoint at);
    // Timed events: key frames after a start command, the controller's side of an emulation.
    void tick(TimePoint now);
    std::optional<TimePoint> next_deadline() const;
    // Answers produced since the last call, in order.
    std::vector<OutChunk> take_output();
    // Forgets half-received frames and lines (the line was reset or the port reopened).
    void reset_line();
    // The modem lines as a converter reports them. RTS on with DTR off holds the adapter; going back to DTR
    // on with RTS off restarts it (the program's reset pulse), which ends any scan, start or emulation.
    void set_modem_lines(bool dtr, bool rts);

    AdapterConfig& config() { return m_config; }
    CControllerSim& controller() { return m_controller; }
    const CControllerSim& controller() const { return m_controller; }
    std::vector<uint8_t>& ds1996_memory() { return m_ds1996; }
    const std::vector<uint8_t>& ds1996_memory() const { return m_ds1996; }
    const ReaderKey& reader_key() const { return m_key; }
    void set_reader_key(const ReaderKey& key) { m_key = key; }
    TemicTag& temic() { return m_temic; }
    const TemicTag& temic() const { return m_temic; }
    const Counters& counters() const { return m_counters; }
    Counters& counters() { return m_counters; }
    ScanMode scan_mode() const { return m_scan_mode; }
    bool key_line_on() const { return m_key_line_on; }
    // The identifier the program last asked the adapter to emulate (0x44), and whether that runs now.
    const std::array<uint8_t, kDallasIdBytes>& emulated_dallas() const { return m_emu_dallas; }
    bool emulating() const { return m_emu != Emu::Off; }
    // The DS1996L image of the last emulation as the controller saw it.
    const std::vector<uint8_t>& emulated_key() const { return m_emu_image; }
    // Test hook for addresses the program must check: the emulated controller's next page request asks for
    // `address` once (before its own requests), or its next write sends one extra page of kStrayFill for it
    // (before the closing page 0). Neither touches the emulated image.
    static constexpr uint8_t kStrayFill = 0xA5;
    void set_emu_stray_address(uint32_t address) { m_emu_stray = address; }

    void add_fault(Fault kind, unsigned count);
    void clear_faults();
    unsigned fault_count(Fault kind) const;

private:
    enum class Emu { Off, Idle, ControllerReading, ControllerWriting, Dallas };

    void m6_byte(uint8_t b, TimePoint at);
    void on_frame(TimePoint at);
    void on_command(TimePoint at);
    void on_controller_page(TimePoint at);
    void on_key_page(TimePoint at);
    void on_emulation(TimePoint at);
    void ascii_byte(uint8_t b, TimePoint at);
    void on_ascii_line(const std::string& line, TimePoint at);
    void on_t57(const std::vector<unsigned>& fields, TimePoint at);
    void reply_line(const std::string& text, TimePoint at);
    void emu_controller_step(TimePoint now);
    void emu_controller_writes(TimePoint now);

    void emit(TimePoint at, std::vector<uint8_t> bytes);
    void send_ack(TimePoint at, uint8_t ack = kAnsAck);
    void send_page(TimePoint at, const uint8_t* page);
    bool take_fault(Fault kind);
    bool key_matches_mode() const;
    // A Temic tag with a configuration in block 0 is read like the card it was programmed as.
    bool temic_programmed() const;
    std::array<uint8_t, kDallasIdBytes> temic_rom() const;
    uint16_t frame_address() const;

    AdapterConfig m_config;
    CControllerSim m_controller;
    std::vector<uint8_t> m_ds1996;
    ReaderKey m_key;
    TemicTag m_temic;
    Counters m_counters;
    std::vector<OutChunk> m_out;
    std::array<unsigned, 7> m_faults{};
    bool m_silent_until_cleared = false;

    // M6 reception.
    std::vector<uint8_t> m_frame;
    size_t m_frame_len = 0;
    TimePoint m_last_byte{};
    ScanMode m_scan_mode = ScanMode::Dallas;
    bool m_armed = false; // a start command waits for a key
    TimePoint m_armed_at{};
    enum class Proto { M6, Ascii, None } m_proto = Proto::M6;
    bool m_lines_run = true;

    // ASCII reception.
    std::string m_line;
    bool m_line_overflow = false;

    // Emulation towards the controller.
    bool m_key_line_on = true;
    Emu m_emu = Emu::Off;
    TimePoint m_emu_next{};
    bool m_emu_waiting = false; // the controller asked for a page and waits for 0x53
    uint32_t m_emu_address = 0;
    std::optional<uint32_t> m_emu_stray; // see set_emu_stray_address()
    bool m_emu_stray_asked = false;      // the request waiting for its answer is the stray one
    std::vector<uint8_t> m_emu_image;
    std::array<uint8_t, kDallasIdBytes> m_emu_dallas{};
};

} // namespace devsim
