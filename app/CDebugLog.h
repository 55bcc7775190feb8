// The diagnostic log "kestrix.log": one time-stamped line per message, safe to call from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// How much is logged; a message is written when its level is at most the current one.
enum LogLevel : int32_t {
    LOGLEVEL_NONE = 0,
    LOGLEVEL_ERROR = 1,
    LOGLEVEL_WARNING = 2,
    LOGLEVEL_INFO = 3,
    LOGLEVEL_DEBUG = 4,
};

// The tag of the lines written by the window and its dialogs.
inline constexpr const char* kWindowLogTag = "main";

class CDebugLog {
public:
    // Longest text LogMsgFmt produces; longer results are cut.
    static constexpr size_t kMaxFmtLength = 511;

    CDebugLog() = default;
    CDebugLog(const CDebugLog&) = delete;
    CDebugLog& operator=(const CDebugLog&) = delete;

    // Set once by main before any thread logs.
    void set_filename(const std::filesystem::path& path) { m_file_name = path; }
    const std::filesystem::path& get_filename() const { return m_file_name; }

    void set_log_level(LogLevel level) { m_level.store(level, std::memory_order_relaxed); }
    LogLevel get_log_level() const { return m_level.load(std::memory_order_relaxed); }

    // Callers test this before building a message; LogMsg itself does not filter.
    bool IsLoggable(LogLevel level) const { return get_log_level() >= level; }

    // Appends "<dd-mm-yyyy hh:mm:ss> [<mark> <tag>] <text>\n". A file that cannot be opened loses the
    // message.
    void LogMsg(LogLevel level, const char* tag, const char* text) const;
    void LogMsg(LogLevel level, const std::string& tag, const std::string& text) const {
        LogMsg(level, tag.c_str(), text.c_str());
    }
    // printf-style; the result is cut to kMaxFmtLength characters.
    void LogMsgFmt(LogLevel level, const char* tag, const char* format, ...) const
        __attribute__((format(printf, 4, 5)));

    // Empties the log file, creating it when missing.
    void clear() const;

    // Upper-case hex, a blank after every fourth byte except the last: 0102A0FF 1B.
    static void EncodeLogBin(const void* data, size_t size, std::string& out);
    // Printable bytes as they are, \n \r \t, other control and non-ASCII bytes as \xHH, backslash doubled.
    static void EncodeLogText(const void* text, size_t size, std::string& out);
    // One of the two encoders into a buffer of the calling thread; the pointer stays valid until the same
    // thread calls EncodeLogData again.
    static const char* EncodeLogData(const void* data, size_t size, bool binary);

    // The one-letter mark of a level in a log line: "-", "E", "W", "I", "D".
    static char level_mark(LogLevel level);

private:
    // Written by the main thread, read by every thread that logs.
    std::atomic<LogLevel> m_level{LOGLEVEL_NONE};
    std::filesystem::path m_file_name;
};

extern CDebugLog g_Debug;
