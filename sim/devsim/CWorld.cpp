// The simulator's world: owns the adapter and its transports and runs them on one poll thread.
#include "sim/devsim/CWorld.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

namespace devsim {

namespace {
constexpr int kPortTypeCom = 1;
constexpr int kPortTypeServer = 3;
constexpr const char* kLoopback = "127.0.0.1";
const std::array<uint8_t, 6> kDs1996Serial{0x96, 0x19, 0x5E, 0x00, 0x00, 0x00};
} // namespace

CWorld::CWorld(WorldOptions options)
    : m_adapter(options.adapter), m_options(std::move(options)),
      m_ds1996_rom(make_rom(kFamilyDs1996, kDs1996Serial)),
      m_event(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (!m_event)
        throw std::system_error(errno, std::generic_category(), "eventfd");
    if (!m_options.devices_file.empty())
        m_registry = std::make_unique<CDeviceRegistry>(m_options.devices_file);
    if (m_options.pty)
        open_pty();
    if (m_options.tcp)
        open_tcp(m_options.tcp_port);
    m_thread = std::thread([this] { run(); });
}

CWorld::~CWorld() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    wake();
    if (m_thread.joinable())
        m_thread.join();
}

void CWorld::wake() const {
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t put = ::write(m_event.get(), &one, sizeof one);
}

void CWorld::notify_changed() {
    {
        std::lock_guard lock(m_change_mutex);
        ++m_generation;
    }
    m_change.notify_all();
}

bool CWorld::wait_until(const std::function<bool()>& condition, milliseconds timeout) const {
    const TimePoint deadline = Clock::now() + timeout;
    for (;;) {
        uint64_t seen;
        {
            std::lock_guard lock(m_change_mutex);
            seen = m_generation;
        }
        if (condition())
            return true;
        std::unique_lock lock(m_change_mutex);
        if (Clock::now() >= deadline)
            return condition();
        // A short slice as well, in case the condition depends on something other than the thread.
        m_change.wait_until(lock, std::min(deadline, Clock::now() + milliseconds(10)),
                            [&] { return m_generation != seen; });
    }
}

// ---- transports -------------------------------------------------------------------------------------------

void CWorld::open_pty() {
    m_pty = std::make_unique<CPtyLink>();
    m_options.pty = true;
    if (m_registry)
        m_registry->add(kPortTypeCom, m_pty->slave_path(), m_options.adapter.model, m_options.adapter.serial,
                        m_options.adapter.firmware);
}

void CWorld::open_tcp(uint16_t port) {
    m_tcp = std::make_unique<CTcpLink>(port);
    m_tcp_port = m_tcp->port();
    if (m_registry)
        m_registry->add(kPortTypeServer, std::string(kLoopback) + ":" + std::to_string(m_tcp_port),
                        m_options.adapter.model, m_options.adapter.serial, m_options.adapter.firmware);
}

std::string CWorld::pty_path() const {
    std::lock_guard lock(m_mutex);
    return m_pty ? m_pty->slave_path() : std::string();
}

uint16_t CWorld::start_tcp(uint16_t port) {
    std::lock_guard lock(m_mutex);
    if (!m_tcp)
        open_tcp(port);
    wake();
    return m_tcp_port;
}

uint16_t CWorld::tcp_port() const {
    std::lock_guard lock(m_mutex);
    return m_tcp ? m_tcp_port : 0;
}

bool CWorld::tcp_connected() const {
    std::lock_guard lock(m_mutex);
    return m_tcp && m_tcp->connected();
}

void CWorld::vanish() {
    std::lock_guard lock(m_mutex);
    vanish_locked();
}

void CWorld::vanish_after(uint64_t frames) {
    std::lock_guard lock(m_mutex);
    m_vanish_at = frames_taken() + frames;
    wake();
}

uint64_t CWorld::frames_taken() const {
    const Counters& c = m_adapter.counters();
    return c.frames_in + c.ascii_lines;
}

void CWorld::vanish_locked() {
    m_vanish_at.reset();
    if (m_pty && m_registry)
        m_registry->remove(kPortTypeCom, m_pty->slave_path());
    if (m_tcp && m_registry)
        m_registry->remove(kPortTypeServer, std::string(kLoopback) + ":" + std::to_string(m_tcp_port));
    m_pty.reset();
    m_tcp.reset();
    m_pty_out.clear();
    m_tcp_out.clear();
    m_pty_pending.clear();
    m_adapter.reset_line();
    m_vanished = true;
    wake();
}

void CWorld::restore() {
    std::lock_guard lock(m_mutex);
    if (!m_vanished)
        return;
    m_vanished = false;
    if (m_options.pty)
        open_pty();
    if (m_tcp_port != 0)
        open_tcp(m_tcp_port);
    wake();
}

bool CWorld::vanished() const {
    std::lock_guard lock(m_mutex);
    return m_vanished;
}

// ---- devices ----------------------------------------------------------------------------------------------

void CWorld::set_controller_type(int type) {
    with_adapter([&](CAdapterSim& a) { a.controller().set_type(type); });
}

void CWorld::set_controller_unknown(size_t size, uint8_t code) {
    with_adapter([&](CAdapterSim& a) { a.controller().set_unknown(size, code); });
}

void CWorld::set_controller_present(bool present) {
    with_adapter([&](CAdapterSim& a) { a.controller().set_present(present); });
}

int CWorld::controller_type() const {
    std::lock_guard lock(m_mutex);
    return m_adapter.controller().type();
}

bool CWorld::controller_present() const {
    std::lock_guard lock(m_mutex);
    return m_adapter.controller().present();
}

std::vector<uint8_t> CWorld::controller_memory() const {
    std::lock_guard lock(m_mutex);
    return m_adapter.controller().memory();
}

void CWorld::set_controller_memory(std::vector<uint8_t> bytes) {
    with_adapter([&](CAdapterSim& a) { a.controller().set_memory(std::move(bytes)); });
}

std::vector<SimKey> CWorld::controller_keys() const {
    std::lock_guard lock(m_mutex);
    return m_adapter.controller().keys();
}

void CWorld::set_controller_keys(const std::vector<SimKey>& keys, uint16_t lock_code) {
    with_adapter([&](CAdapterSim& a) { a.controller().set_keys(keys, lock_code); });
}

void CWorld::set_key(const ReaderKey& key) {
    with_adapter([&](CAdapterSim& a) { a.set_reader_key(key); });
}

void CWorld::touch_ds1996() {
    ReaderKey key{KeyKind::Ds1996, m_ds1996_rom, {}};
    set_key(key);
}

void CWorld::touch_dallas(const std::array<uint8_t, kDallasIdBytes>& rom) {
    set_key({KeyKind::Dallas, rom, {}});
}

void CWorld::present_em_marine(unsigned series, unsigned number, unsigned code) {
    if (series > 0xFF || number > 0xFFFF || code > 0xFFFF)
        throw std::invalid_argument("Em-Marine series 0-255, number 0-65535, code 0-65535");
    ReaderKey key{KeyKind::EmMarine, {}, {}};
    key.rom = {kEmMarineMarker,
               static_cast<uint8_t>(number & 0xFF),
               static_cast<uint8_t>(number >> 8),
               static_cast<uint8_t>(series),
               static_cast<uint8_t>(code & 0xFF),
               static_cast<uint8_t>(code >> 8),
               0,
               0};
    key.rom[7] = dallas_crc8(key.rom.data(), 7);
    set_key(key);
}

void CWorld::present_kf300(const std::array<uint8_t, kKf300Bytes>& fob) {
    set_key({KeyKind::Kf300, {}, fob});
}

void CWorld::touch_temic() {
    set_key({KeyKind::Temic, {}, {}});
}

void CWorld::remove_key() {
    set_key({});
}

ReaderKey CWorld::reader_key() const {
    std::lock_guard lock(m_mutex);
    return m_adapter.reader_key();
}

std::array<uint8_t, kDallasIdBytes> CWorld::ds1996_rom() const {
    return m_ds1996_rom;
}

std::vector<uint8_t> CWorld::ds1996_memory() const {
    std::lock_guard lock(m_mutex);
    return m_adapter.ds1996_memory();
}

void CWorld::set_ds1996_memory(std::vector<uint8_t> bytes) {
    if (bytes.size() != CAdapterSim::kDs1996Size)
        throw std::invalid_argument("a DS1996L holds 8192 bytes");
    with_adapter([&](CAdapterSim& a) { a.ds1996_memory() = std::move(bytes); });
}

void CWorld::set_emu_stray_address(uint32_t address) {
    with_adapter([&](CAdapterSim& a) { a.set_emu_stray_address(address); });
}

TemicTag CWorld::temic() const {
    std::lock_guard lock(m_mutex);
    return m_adapter.temic();
}

void CWorld::set_pacing(bool on) {
    std::lock_guard lock(m_mutex);
    m_options.pace = on;
    wake();
}

bool CWorld::pacing() const {
    std::lock_guard lock(m_mutex);
    return m_options.pace;
}

void CWorld::inject(Fault kind, unsigned count) {
    if (kind == Fault::Vanish) {
        vanish();
        return;
    }
    with_adapter([&](CAdapterSim& a) { a.add_fault(kind, count); });
}

void CWorld::clear_faults() {
    with_adapter([](CAdapterSim& a) { a.clear_faults(); });
    restore();
}

LineSettings CWorld::line() const {
    std::lock_guard lock(m_mutex);
    if (m_active == Active::Tcp && m_tcp)
        return m_tcp->telnet().line();
    return m_pty ? m_pty->line() : m_line;
}

Counters CWorld::counters() const {
    std::lock_guard lock(m_mutex);
    return m_adapter.counters();
}

std::vector<uint8_t> CWorld::wire_in() const {
    std::lock_guard lock(m_mutex);
    return m_wire_in;
}

std::vector<uint8_t> CWorld::wire_out() const {
    std::lock_guard lock(m_mutex);
    return m_wire_out;
}

void CWorld::clear_wire_log() {
    std::lock_guard lock(m_mutex);
    m_wire_in.clear();
    m_wire_out.clear();
}

ScanMode CWorld::scan_mode() const {
    std::lock_guard lock(m_mutex);
    return m_adapter.scan_mode();
}

} // namespace devsim
