// TCP port to an IP converter: payload travels as Telnet data, serial settings as RFC 2217 COM-port
// subnegotiations. The port name is "host:port" (split at the last colon; the port defaults to 1000).
#pragma once

#include <string>
#include <vector>

#include "adapter/CRdPort.h"
#include "adapter/CTelnetDecoder.h"

class CRdTcpPort : public CRdPort {
public:
    static constexpr const char* kDefaultService = "1000";

    CRdTcpPort() = default;
    ~CRdTcpPort() override;

    // Starts a non-blocking connect; IsConnecting() stays true until the first writable event finds the
    // result.
    void Open() override;
    void Close() override;
    // Sends SET-BAUDRATE when connected and the rate changes to a non-zero value; stop bits are only stored.
    void SetConfig(unsigned int baud, bool two_stop_bits) override;
    bool Send(const void* data, size_t len) override;
    void Clear() override;
    // The size of the receive buffer.
    size_t GetInCount() override;
    bool Receive() override;
    void ProcessSendEvent() override;
    void ProcessReceiveEvent() override;
    // Throws status 9.
    void ProcessConnectionClosedEvent() override;
    void SetDtr(bool on) override;
    void SetRts(bool on) override;

    // Telnet encodings, appended to out: data with every 0xFF doubled; a command (n = 1: IAC, data[0];
    // n >= 2: IAC SB data IAC SE with 0xFF doubled in the data).
    static void EncodeNvtData(const void* data, size_t n, std::vector<uint8_t>& out);
    static void EncodeNvtCommand(const void* data, size_t n, std::vector<uint8_t>& out);
    // Host and service of a port name.
    static void SplitPortName(const std::string& name, std::string& host, std::string& service);

private:
    void _CheckConnecting();
    // The connection is up: log it and ask the converter for the stored line speed.
    void _OnConnected();
    void _DoSend();
    void _SendBaud(unsigned int baud);
    void _SendSetDtr(bool on);
    void _SendSetRts(bool on);
    void _QueueCommand(const std::vector<uint8_t>& command);
    // Receive decoder: appends the payload of n received bytes to the receive buffer; true when any.
    bool _AddInData(const uint8_t* p, size_t n);

    bool m_telnet = true;
    CTelnetDecoder m_decoder; // IAC pending and in-subnegotiation state, kept across recv calls
};
