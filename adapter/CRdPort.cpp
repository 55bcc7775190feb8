// The abstract byte port: descriptor ownership and the traffic log lines every implementation writes.
#include "adapter/CRdPort.h"

#include <unistd.h>

#include <algorithm>
#include <utility>

#include "app/CDebugLog.h"

namespace {
constexpr size_t kReceiveReserve = 1024;
}

CRdPort::CRdPort() : m_in_buffer(kReceiveReserve) {}

// Implementations close their descriptor (and log) in their own destructors; this one only keeps a descriptor
// that was attached but never opened from leaking.
CRdPort::~CRdPort() {
    if (m_fd != -1)
        ::close(m_fd);
}

void CRdPort::Attach(int fd) {
    if (m_fd != -1)
        ::close(m_fd);
    m_fd = fd;
}

int CRdPort::Detach() {
    return std::exchange(m_fd, -1);
}

void CRdPort::Swap(CRdPort& other) noexcept {
    m_port_name.swap(other.m_port_name);
    m_in_buffer.swap(other.m_in_buffer);
    m_send_queue.swap(other.m_send_queue);
    std::swap(m_baud_rate, other.m_baud_rate);
    std::swap(m_fd, other.m_fd);
    std::swap(m_two_stop_bits, other.m_two_stop_bits);
    std::swap(m_log_as_hex, other.m_log_as_hex);
    std::swap(m_connecting, other.m_connecting);
    std::swap_ranges(m_scratch, m_scratch + kScratchSize, other.m_scratch);
}

void CRdPort::AddLog_Open() const {
    if (g_Debug.IsLoggable(LOGLEVEL_DEBUG))
        g_Debug.LogMsg(LOGLEVEL_DEBUG, m_port_name.c_str(), "Port is open");
}

void CRdPort::AddLog_Close() const {
    if (g_Debug.IsLoggable(LOGLEVEL_DEBUG))
        g_Debug.LogMsg(LOGLEVEL_DEBUG, m_port_name.c_str(), "Port is closed");
}

void CRdPort::AddLog_Clear() const {
    if (g_Debug.IsLoggable(LOGLEVEL_DEBUG))
        g_Debug.LogMsg(LOGLEVEL_DEBUG, m_port_name.c_str(), "Port cleared");
}

// Traffic lines are composed here rather than through LogMsgFmt, whose 511-character limit would cut a full
// receive buffer short: the log is meant to show the traffic byte for byte.
void CRdPort::AddLog_Traffic(const char* direction, const void* data, size_t n) const {
    if (!g_Debug.IsLoggable(LOGLEVEL_DEBUG))
        return;
    std::string line = direction;
    line += " (" + std::to_string(n) + ") ";
    line += CDebugLog::EncodeLogData(data, n, m_log_as_hex);
    g_Debug.LogMsg(LOGLEVEL_DEBUG, m_port_name, line);
}

void CRdPort::AddLog_Receive(const void* data, size_t n) const {
    AddLog_Traffic(">>", data, n);
}

void CRdPort::AddLog_Send(const void* data, size_t n) const {
    AddLog_Traffic("<<", data, n);
}

void CRdPort::AddLog_Error(const char* where, const std::string& text) const {
    if (!g_Debug.IsLoggable(LOGLEVEL_ERROR))
        return;
    std::string line = text;
    if (!line.empty() && line.back() != ' ')
        line += ' ';
    line += std::string("(CRdPort::") + where + ")";
    g_Debug.LogMsg(LOGLEVEL_ERROR, m_port_name, line);
}
