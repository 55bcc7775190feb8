// The IP converter: a TCP listener on 127.0.0.1 that takes one program connection at a time (a new one
// replaces the old) and speaks Telnet with the RFC 2217 COM-PORT option on it.
#pragma once
#include <cstdint>
#include <vector>

#include "sim/devsim/CFd.h"
#include "sim/devsim/CTelnetServer.h"

namespace devsim {

class CTcpLink {
public:
    // Listens on 127.0.0.1:port (0 = any free port); throws std::system_error on failure.
    explicit CTcpLink(uint16_t port);

    uint16_t port() const { return m_port; }
    int listen_fd() const { return m_listen.get(); }
    int client_fd() const { return m_client.get(); }
    bool connected() const { return m_client.valid(); }

    // Takes a waiting connection; true when a new client replaced the old one.
    bool accept_client();
    // Reads and decodes; payload to `payload`, converter answers queued for sending. False on hang-up.
    bool read_some(std::vector<uint8_t>& payload);
    // Telnet-encodes payload and queues it; `flush` sends what the socket takes.
    void queue_payload(const uint8_t* data, size_t n);
    void flush();
    bool send_pending() const { return !m_raw_out.empty(); }
    void drop_client();
    const CTelnetServer& telnet() const { return m_telnet; }

private:
    CFd m_listen;
    CFd m_client;
    uint16_t m_port = 0;
    CTelnetServer m_telnet;
    std::vector<uint8_t> m_raw_out;
};

} // namespace devsim
