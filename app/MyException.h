// The program's own exception type for the adapter link: a CMyException carries one MyStatus code.
#pragma once

#include <cstdint>
#include <exception>

// Status codes of the adapter link; 0 means success. The values are fixed: they travel in exceptions, are
// kept as the adapter worker's last error and are compared by number in tests.
enum MyStatus : int32_t {
    MY_OK = 0,
    MY_ERR_FAILURE = 1,           // general failure; also any exception that is not a CMyException
    MY_ERR_STOPPING = 3,          // the worker is stopping
    MY_ERR_CONNECT = 4,           // a port failure during a connection attempt
    MY_ERR_ACCESS_DENIED = 5,     // access to the port denied
    MY_ERR_PORT_BUSY = 6,         // the port is in use by another program
    MY_ERR_NOT_FOUND = 7,         // port or host not found, or a port type the adapter cannot use
    MY_ERR_CANNOT_OPEN = 8,       // the port cannot be opened
    MY_ERR_IO = 9,                // I/O failure or connection lost
    MY_ERR_TIMEOUT = 10,          // the adapter did not answer in time
    MY_ERR_UNEXPECTED_REPLY = 11, // the adapter sent a reply line we did not expect
    MY_ERR_ADAPTER_ERROR = 13,    // the adapter answered with an error instead of "ok"
    MY_ERR_NO_TEMIC = 14,         // no Temic tag in the field
    MY_ERR_TEMIC_WRITE = 15,      // the Temic write did not take
};

class CMyException : public std::exception {
public:
    explicit CMyException(MyStatus status) noexcept : m_status(status) {}

    MyStatus get_status() const noexcept { return m_status; }
    // The text is deliberately fixed: the status code, not the text, tells callers what went wrong.
    const char* what() const noexcept override { return "MyException"; }

private:
    MyStatus m_status;
};

[[noreturn]] void ThrowMyException(MyStatus status);
