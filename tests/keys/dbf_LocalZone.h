// Runs a test in a fixed time zone (a POSIX TZ rule, so no zone database is needed) and puts the
// process's own zone back afterwards.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace dbftest {

// Central European time with its daylight saving rule.
inline constexpr char kCentralEurope[] = "CET-1CEST,M3.5.0,M10.5.0/3";
// Eastern time of the United States with its daylight saving rule.
inline constexpr char kEasternUs[] = "EST5EDT,M3.2.0,M11.1.0";

class CLocalZone {
public:
    explicit CLocalZone(const char* tz) {
        if (const char* old = std::getenv("TZ"))
            m_old = old;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~CLocalZone() {
        if (m_old)
            setenv("TZ", m_old->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    CLocalZone(const CLocalZone&) = delete;
    CLocalZone& operator=(const CLocalZone&) = delete;

private:
    std::optional<std::string> m_old;
};

// mktime of a local wall time with the system choosing daylight saving time.
inline std::int64_t local_time(int year, int month, int day, int hour = 0, int minute = 0, int second = 0) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

} // namespace dbftest
