// The world's poll thread: reads what the program sends on the pseudo-terminal or the converter socket, feeds
// the adapter, and writes its answers when they are due (at once, or paced at the line's byte time).
#include <poll.h>
#include <sched.h>
#include <sys/prctl.h>

#include <algorithm>
#include <cerrno>

#include "sim/devsim/CWorld.h"

namespace devsim {

namespace {
constexpr milliseconds kSlaveProbeInterval{20};
constexpr unsigned long kTimerSlackNs = 1000;
// Longer than a thread's wake-up latency on a loaded machine, short enough to cost little CPU.
constexpr std::chrono::microseconds kSpinLead{300};
// How long after an answer the next request is watched for without sleeping.
constexpr std::chrono::microseconds kAwaitRequest{2000};
} // namespace

void CWorld::run() {
    // Paced answers are due to the microsecond; the default timer slack of 50 us would add up over a
    // transfer.
    ::prctl(PR_SET_TIMERSLACK, kTimerSlackNs);
    std::vector<pollfd> fds;
    for (;;) {
        PollFds ids;
        std::optional<TimePoint> deadline;
        TimePoint now;
        bool spin = false;
        {
            std::lock_guard lock(m_mutex);
            if (m_stop)
                return;
            service(Clock::now());
            deadline = prepare_poll(fds, ids);
            now = Clock::now();
            // A UART has no wake-up latency: when paced, the thread spins through the last stretch before a
            // byte is due and while the program's next request is expected, instead of sleeping through a
            // timer or poll wake-up that would add its own delay to every exchange.
            if (m_options.pace) {
                spin = (deadline && *deadline - now <= kSpinLead) || now < m_await_until;
                if (deadline)
                    *deadline -= kSpinLead;
            }
        }
        timespec ts{};
        if (deadline && !spin) {
            const auto wait = std::max(*deadline - now, Clock::duration::zero());
            const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
            ts.tv_sec = ns / 1'000'000'000;
            ts.tv_nsec = ns % 1'000'000'000;
        }
        const int ready = ::ppoll(fds.data(), fds.size(), deadline || spin ? &ts : nullptr, nullptr);
        if (spin && ready == 0) {
            // Nothing arrived; the next round writes what has fallen due. The kernel's work that carries
            // what was just written to the program may be waiting for this CPU.
            ::sched_yield();
            continue;
        }
        {
            std::lock_guard lock(m_mutex);
            if (ready > 0)
                handle_events(fds, ids);
            service(Clock::now());
        }
        notify_changed();
    }
}

std::optional<TimePoint> CWorld::prepare_poll(std::vector<pollfd>& fds, PollFds& ids) {
    fds.assign(1, pollfd{m_event.get(), POLLIN, 0});
    if (m_pty && m_pty->slave_open()) {
        ids.pty = m_pty->fd();
        fds.push_back({ids.pty, static_cast<short>(POLLIN | (m_pty_pending.empty() ? 0 : POLLOUT)), 0});
    }
    if (m_tcp) {
        ids.listen = m_tcp->listen_fd();
        fds.push_back({ids.listen, POLLIN, 0});
        if (m_tcp->connected()) {
            ids.client = m_tcp->client_fd();
            fds.push_back(
                {ids.client, static_cast<short>(POLLIN | (m_tcp->send_pending() ? POLLOUT : 0)), 0});
        }
    }
    std::optional<TimePoint> deadline;
    auto earliest = [&](std::optional<TimePoint> t) {
        if (t && (!deadline || *t < *deadline))
            deadline = t;
    };
    earliest(m_adapter.next_deadline());
    earliest(m_pty_out.next_due());
    earliest(m_tcp_out.next_due());
    if (m_pty && !m_pty->slave_open()) // the master reports a lasting hang-up: look again now and then
        earliest(Clock::now() + kSlaveProbeInterval);
    return deadline;
}

void CWorld::handle_events(const std::vector<pollfd>& fds, const PollFds& ids) {
    const TimePoint now = Clock::now();
    // A port may have vanished or been replaced between poll and now; only the same descriptor is served.
    for (const pollfd& p : fds) {
        if (!p.revents)
            continue;
        if (p.fd == m_event.get()) {
            uint64_t count;
            [[maybe_unused]] const ssize_t got = ::read(p.fd, &count, sizeof count);
        } else if (p.fd == ids.pty && m_pty && m_pty->fd() == ids.pty) {
            on_pty_readable(now);
        } else if (p.fd == ids.listen && m_tcp && m_tcp->listen_fd() == ids.listen) {
            on_tcp_accept();
        } else if (p.fd == ids.client && m_tcp && m_tcp->client_fd() == ids.client) {
            on_tcp_readable(now);
        }
    }
}

void CWorld::on_tcp_accept() {
    if (!m_tcp->accept_client())
        return;
    ++m_adapter.counters().connections;
    m_active = Active::Tcp;
    m_adapter.set_modem_lines(true, false);
    m_tcp_out.clear();
    m_adapter.reset_line();
}

void CWorld::service(TimePoint now) {
    // Before the answers are routed: the frame that made the count goes unanswered.
    if (m_vanish_at && frames_taken() >= *m_vanish_at)
        vanish_locked();
    if (m_pty && !m_pty->slave_open() && m_pty->probe_slave()) {
        ++m_adapter.counters().connections;
        m_adapter.reset_line();
    }
    m_adapter.tick(now);
    route_output(now);
    write_due(now);
}

void CWorld::feed(const std::vector<uint8_t>& payload, const LineSettings& line, TimePoint now) {
    m_line = line;
    m_wire_in.insert(m_wire_in.end(), payload.begin(), payload.end());
    if (!m_options.pace) {
        m_adapter.receive(payload.data(), payload.size(), line, now);
        return;
    }
    // Each byte is complete one byte time after the previous one: the adapter sees the frame only when its
    // last byte has crossed the wire.
    const auto bt = paced_byte_time(line);
    for (uint8_t b : payload) {
        m_rx_free = std::max(now, m_rx_free) + bt;
        m_adapter.receive(&b, 1, line, m_rx_free);
    }
}

std::chrono::nanoseconds CWorld::paced_byte_time(const LineSettings& line) const {
    if (!m_options.pace)
        return std::chrono::nanoseconds(0);
    LineSettings paced = line;
    if (m_options.pace_baud != 0)
        paced.baud = m_options.pace_baud;
    return byte_time(paced);
}

void CWorld::on_pty_readable(TimePoint now) {
    const LineSettings line = m_pty->line();
    std::vector<uint8_t> data;
    const bool open = m_pty->read_some(data);
    if (!data.empty()) {
        m_active = Active::Pty;
        feed(data, line, now);
    }
    if (!open) { // the program closed the port: what was on its way is lost
        m_pty_out.clear();
        m_pty_pending.clear();
        m_adapter.reset_line();
    }
}

void CWorld::on_tcp_readable(TimePoint now) {
    std::vector<uint8_t> payload;
    const bool open = m_tcp->read_some(payload);
    const LineSettings& line = m_tcp->telnet().line();
    m_adapter.set_modem_lines(line.dtr, line.rts);
    if (!payload.empty()) {
        m_active = Active::Tcp;
        feed(payload, m_tcp->telnet().line(), now);
    }
    m_tcp->flush(); // negotiation and COM-PORT answers
    if (!open) {
        m_tcp->drop_client();
        m_tcp_out.clear();
        m_adapter.reset_line();
    }
}

void CWorld::route_output(TimePoint now) {
    (void)now;
    for (OutChunk& chunk : m_adapter.take_output()) {
        if (m_active == Active::Tcp && m_tcp && m_tcp->connected()) {
            const auto bt = paced_byte_time(m_tcp->telnet().line());
            m_tcp_out.push(chunk.at, chunk.bytes.data(), chunk.bytes.size(), bt, chunk.baud);
        } else if (m_active == Active::Pty && m_pty && m_pty->slave_open()) {
            const auto bt = paced_byte_time(m_pty->line());
            m_pty_out.push(chunk.at, chunk.bytes.data(), chunk.bytes.size(), bt, chunk.baud);
        } // nobody listening: the bytes go nowhere, as on an unplugged line
    }
}

void CWorld::write_due(TimePoint now) {
    // The receiver takes the bytes at the rate the program has set when they arrive: bytes still on the
    // wire when the program changes the rate are garbled.
    std::vector<uint8_t> due;
    m_pty_out.take_due(now, due, m_pty ? m_pty->line().baud : 0);
    if (!due.empty()) {
        m_wire_out.insert(m_wire_out.end(), due.begin(), due.end());
        m_pty_pending.insert(m_pty_pending.end(), due.begin(), due.end());
    }
    if (m_pty && m_pty->slave_open() && !m_pty_pending.empty()) {
        const size_t put = m_pty->write_some(m_pty_pending.data(), m_pty_pending.size());
        if (put > 0)
            m_await_until = now + kAwaitRequest;
        m_pty_pending.erase(m_pty_pending.begin(), m_pty_pending.begin() + static_cast<ptrdiff_t>(put));
    } else if (!m_pty || !m_pty->slave_open()) {
        m_pty_pending.clear();
    }
    due.clear();
    m_tcp_out.take_due(now, due, m_tcp ? m_tcp->telnet().line().baud : 0);
    if (due.empty() || !m_tcp || !m_tcp->connected())
        return;
    m_wire_out.insert(m_wire_out.end(), due.begin(), due.end());
    m_tcp->queue_payload(due.data(), due.size());
    m_tcp->flush();
    m_await_until = now + kAwaitRequest;
}

} // namespace devsim
