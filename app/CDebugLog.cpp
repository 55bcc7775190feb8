// The diagnostic log "kestrix.log". No lock is needed: every message is one open-append-write-close
// sequence, and O_APPEND makes the single write land whole at the end of the file.
#include "app/CDebugLog.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>

CDebugLog g_Debug;

namespace {
constexpr const char* kTimeFormat = "%d-%m-%Y %H:%M:%S";
constexpr mode_t kLogFileMode = 0644;
constexpr size_t kBinGroupBytes = 4;
constexpr char kHexDigits[] = "0123456789ABCDEF";

std::string time_stamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char buf[32];
    const size_t n = std::strftime(buf, sizeof(buf), kTimeFormat, &local);
    return std::string(buf, n);
}

// Writes all of `line` with one write call where the kernel allows it; a short write is continued so
// that nothing is lost, which only happens when the disk is full or a signal interrupts.
void write_all(int fd, const std::string& line) {
    size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = write(fd, line.data() + done, line.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        done += static_cast<size_t>(n);
    }
}

void append_hex(std::string& out, unsigned char byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}
} // namespace

char CDebugLog::level_mark(LogLevel level) {
    switch (level) {
    case LOGLEVEL_ERROR:
        return 'E';
    case LOGLEVEL_WARNING:
        return 'W';
    case LOGLEVEL_INFO:
        return 'I';
    case LOGLEVEL_DEBUG:
        return 'D';
    default:
        return '-';
    }
}

void CDebugLog::LogMsg(LogLevel level, const char* tag, const char* text) const {
    if (m_file_name.empty())
        return;
    std::string line = time_stamp();
    line += " [";
    line += level_mark(level);
    line += ' ';
    line += tag != nullptr ? tag : "";
    line += "] ";
    line += text != nullptr ? text : "";
    line += '\n';

    const int fd = open(m_file_name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, kLogFileMode);
    if (fd < 0)
        return; // a log that cannot be written must never disturb the program
    write_all(fd, line);
    close(fd);
}

void CDebugLog::LogMsgFmt(LogLevel level, const char* tag, const char* format, ...) const {
    char buf[kMaxFmtLength + 1];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buf, sizeof(buf), format, args);
    va_end(args);
    if (n < 0)
        buf[0] = '\0';
    LogMsg(level, tag, buf);
}

void CDebugLog::clear() const {
    if (m_file_name.empty())
        return;
    const int fd = open(m_file_name.c_str(), O_WRONLY | O_TRUNC | O_CREAT | O_CLOEXEC, kLogFileMode);
    if (fd >= 0)
        close(fd);
}

void CDebugLog::EncodeLogBin(const void* data, size_t size, std::string& out) {
    out.clear();
    if (size == 0)
        return;
    out.reserve(size * 2 + size / kBinGroupBytes);
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        if (i != 0 && i % kBinGroupBytes == 0)
            out += ' ';
        append_hex(out, bytes[i]);
    }
}

void CDebugLog::EncodeLogText(const void* text, size_t size, std::string& out) {
    out.clear();
    out.reserve(size);
    const auto* bytes = static_cast<const unsigned char*>(text);
    for (size_t i = 0; i < size; ++i) {
        const unsigned char c = bytes[i];
        switch (c) {
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\\':
            out += "\\\\";
            break;
        default:
            if (c < 0x20 || c >= 0x7F) {
                out += "\\x";
                append_hex(out, c);
            } else {
                out += static_cast<char>(c);
            }
        }
    }
}

const char* CDebugLog::EncodeLogData(const void* data, size_t size, bool binary) {
    // One buffer per thread: the port threads log their traffic concurrently.
    thread_local std::string buffer;
    if (binary)
        EncodeLogBin(data, size, buffer);
    else
        EncodeLogText(data, size, buffer);
    return buffer.c_str();
}
