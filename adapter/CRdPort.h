// The abstract byte port the adapter thread drives from its poll() loop, and the exception ports throw.
// Implementations: CRdComPort (serial device) and CRdTcpPort (IP converter speaking Telnet/RFC 2217).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "adapter/CFastBuffer.h"
#include "app/MyException.h"

// A failure of the port layer; the status says which (5 access denied, 6 busy, 7 not found, 8 cannot open,
// 9 I/O failure or connection lost).
class CRdPortException : public CMyException {
public:
    explicit CRdPortException(MyStatus status) noexcept : CMyException(status) {}
};

class CRdPort {
public:
    static constexpr size_t kScratchSize = 1024;
    static constexpr unsigned int kDefaultBaud = 9600;

    CRdPort();
    CRdPort(const CRdPort&) = delete;
    CRdPort& operator=(const CRdPort&) = delete;
    virtual ~CRdPort();

    // Opens the descriptor named by the port name and applies the configuration; throws CRdPortException.
    virtual void Open() = 0;
    virtual void Close() = 0;
    virtual void SetConfig(unsigned int baud, bool two_stop_bits) = 0;
    // Queues what the kernel does not take at once; true when nothing is left queued.
    virtual bool Send(const void* data, size_t len) = 0;
    virtual void Clear() = 0;
    virtual size_t GetInCount() = 0;
    // Reads what is available into the receive buffer; true when at least one byte arrived.
    virtual bool Receive() = 0;
    // Called by the owner when poll() reports the descriptor writable, readable or hung up.
    virtual void ProcessSendEvent() = 0;
    virtual void ProcessReceiveEvent() = 0;
    virtual void ProcessConnectionClosedEvent() = 0;
    virtual void SetDtr(bool on) = 0;
    virtual void SetRts(bool on) = 0;

    // Closes the current descriptor (if any) and takes fd.
    void Attach(int fd);
    // Gives up the descriptor without closing it.
    int Detach();
    void Swap(CRdPort& other) noexcept;

    // Configuration, set before Open().
    const std::string& GetPortName() const { return m_port_name; }
    void SetPortName(const std::string& name) { m_port_name = name; }
    unsigned int GetBaudRate() const { return m_baud_rate; }
    void SetBaudRate(unsigned int baud) { m_baud_rate = baud; }
    bool GetTwoStopBits() const { return m_two_stop_bits; }
    void SetTwoStopBits(bool two) { m_two_stop_bits = two; }
    // Traffic is logged as hex when true, as escaped text otherwise.
    bool GetLogAsHex() const { return m_log_as_hex; }
    void SetLogAsHex(bool hex) { m_log_as_hex = hex; }

    int GetFd() const { return m_fd; }
    bool IsOpen() const { return m_fd != -1; }
    // Only the TCP port sets it, while a non-blocking connect is pending.
    bool IsConnecting() const { return m_connecting; }
    // Bytes received and not yet consumed by the protocol layer.
    CFastBuffer& GetInBuffer() { return m_in_buffer; }
    const CFastBuffer& GetInBuffer() const { return m_in_buffer; }
    bool IsSendQueueEmpty() const { return m_send_queue.empty(); }
    size_t GetSendQueueSize() const { return m_send_queue.size(); }

protected:
    // Debug-level log lines with the port name as tag; formatted only when debug level is loggable.
    void AddLog_Open() const;
    void AddLog_Close() const;
    void AddLog_Clear() const;
    void AddLog_Receive(const void* data, size_t n) const;
    void AddLog_Send(const void* data, size_t n) const;
    // Error-level line "<text> (CRdPort::<where>)" when errors are loggable.
    void AddLog_Error(const char* where, const std::string& text) const;
    void AddLog_Traffic(const char* direction, const void* data, size_t n) const;

    std::string m_port_name;
    CFastBuffer m_in_buffer;
    std::vector<uint8_t> m_send_queue;
    unsigned int m_baud_rate = kDefaultBaud;
    int m_fd = -1;
    bool m_two_stop_bits = false;
    bool m_log_as_hex = false;
    bool m_connecting = false;
    uint8_t m_scratch[kScratchSize] = {};
};
