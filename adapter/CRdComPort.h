// Serial port (local device or pseudo-terminal) through termios2, so that any integer baud rate can be set.
#pragma once

#include "adapter/CRdPort.h"

class CRdComPort : public CRdPort {
public:
    CRdComPort() = default;
    ~CRdComPort() override;

    void Open() override;
    void Close() override;
    void SetConfig(unsigned int baud, bool two_stop_bits) override;
    bool Send(const void* data, size_t len) override;
    void Clear() override;
    // Bytes waiting in the driver (FIONREAD), not in the receive buffer.
    size_t GetInCount() override;
    bool Receive() override;
    void ProcessSendEvent() override;
    void ProcessReceiveEvent() override;
    // Throws status 9.
    void ProcessConnectionClosedEvent() override;
    // Modem-line failures are printed to standard error and otherwise ignored.
    void SetDtr(bool on) override;
    void SetRts(bool on) override;

    // Applies the stored baud rate and stop bits to the open descriptor: raw 8 data bits, no parity, no flow
    // control.
    void UpdaterConfig();

private:
    // Writes the send queue until it is empty or the driver stops taking bytes.
    void _DoSend();
    void _SetModemLine(int line, bool on);
};
