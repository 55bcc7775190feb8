// Creation times of key records: parsing, formatting and a day cache in front of mktime.
#include "keys/KeyDbTime.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

constexpr int kMinYear = 1900;
constexpr std::size_t kCachedDays = 8192;

// One %d conversion: blanks, an optional sign, at least one digit. Saturates instead of overflowing.
bool scan_int(std::string_view text, std::size_t& pos, int& out) {
    while (pos < text.size() && std::isspace(static_cast<unsigned char>(text[pos])))
        ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-'))
        negative = text[pos++] == '-';
    const std::size_t first = pos;
    long long value = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        if (value <= INT_MAX)
            value = value * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == first)
        return false;
    if (value > INT_MAX)
        value = negative ? static_cast<long long>(INT_MAX) + 1 : INT_MAX;
    out = static_cast<int>(negative ? -value : value);
    return true;
}

bool scan_literal(std::string_view text, std::size_t& pos, char c) {
    if (pos >= text.size() || text[pos] != c)
        return false;
    ++pos;
    return true;
}

std::tm wall_tm(int year, int month, int day, int hour, int minute, int isdst) {
    std::tm tm{};
    tm.tm_year = year - kMinYear;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = isdst;
    return tm;
}

bool same_wall_time(const std::tm& a, const std::tm& b) {
    return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
           a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

// mktime of a wall time, made independent of mktime's history: glibc starts its search from the offset
// of its previous call, so a wall time that the clocks show twice (the hour repeated when they go back)
// comes out as either instant. Such a time is always taken as its later instant.
std::int64_t wall_to_instant(int year, int month, int day, int hour, int minute) {
    std::tm tm = wall_tm(year, month, day, hour, minute, -1);
    std::time_t best = std::mktime(&tm);
    if (best == -1)
        return -1;
    for (int isdst : {0, 1}) {
        std::tm other = wall_tm(year, month, day, hour, minute, isdst);
        const std::time_t t = std::mktime(&other);
        if (t != -1 && t > best && same_wall_time(other, tm))
            best = t;
    }
    return best;
}

// A day's local midnight, and whether the whole day runs at one offset from UTC: then its minute m
// after midnight is exactly midnight + m minutes, with nothing skipped or repeated.
struct DayEntry {
    std::time_t midnight;
    bool uniform;
};

class CDayCache {
public:
    std::int64_t get(int year, int month, int day, int hour, int minute) {
        check_zone();
        return get_in_checked_zone(year, month, day, hour, minute);
    }

    // For many times in a row: the caller has looked at the zone (check_zone) just before.
    std::int64_t get_in_checked_zone(int year, int month, int day, int hour, int minute) {
        if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
            return wall_to_instant(year, month, day, hour, minute);
        const DayEntry e = entry(year, month, day);
        if (e.uniform)
            return e.midnight + hour * 3600 + minute * 60;
        // The days the clocks change on (and days mktime normalises) take the slow, exact way.
        return wall_to_instant(year, month, day, hour, minute);
    }

    // The local wall time of instant t, when the day it falls on runs at one offset all through. The day
    // is guessed from the offsets of earlier answers; false when no guess holds (the caller then asks
    // localtime_r and tells the offset it got through learn_offset).
    bool wall_time_of(std::int64_t t, int& year, int& month, int& day, int& hour, int& minute) {
        constexpr std::int64_t kYear10000 = 253402300800; // no instant beyond fits the column
        if (t < -kYear10000 || t > kYear10000)
            return false;
        // Keys are mostly added in batches: the day of the previous answer comes first.
        if (m_last.uniform && t >= m_last.midnight && t < m_last.midnight + kDaySeconds) {
            year = m_last_year;
            month = m_last_month;
            day = m_last_day;
            hour = static_cast<int>((t - m_last.midnight) / 3600);
            minute = static_cast<int>((t - m_last.midnight) % 3600 / 60);
            return true;
        }
        for (const long offset : m_offsets) {
            civil_from_days(floor_div(t + offset, kDaySeconds), year, month, day);
            if (year < kMinYear || year > 9999)
                continue;
            const DayEntry e = entry(year, month, day);
            if (!e.uniform || t < e.midnight || t >= e.midnight + kDaySeconds)
                continue;
            hour = static_cast<int>((t - e.midnight) / 3600);
            minute = static_cast<int>((t - e.midnight) % 3600 / 60);
            m_last = e;
            m_last_year = year;
            m_last_month = month;
            m_last_day = day;
            return true;
        }
        return false;
    }

    void learn_offset(long offset) {
        if (offset != m_offsets[0]) {
            m_offsets[1] = m_offsets[0];
            m_offsets[0] = offset;
        }
    }

    // A changed TZ makes every cached day wrong.
    void check_zone() {
        const char* tz = std::getenv("TZ");
        const bool same = m_zone_known && (tz ? m_has_tz && m_zone == tz : !m_has_tz);
        if (same)
            return;
        m_zone_known = true;
        m_has_tz = tz != nullptr;
        m_zone = tz ? tz : "";
        std::fill(m_days.begin(), m_days.end(), Slot{});
        m_last = {};
        tzset();
    }

private:
    static constexpr std::int64_t kDaySeconds = 24 * 3600;

    static std::int64_t floor_div(std::int64_t a, std::int64_t b) {
        return a / b - (a % b != 0 && (a < 0) != (b < 0));
    }

    // The proleptic Gregorian date of a day counted from 1 January 1970.
    static void civil_from_days(std::int64_t z, int& year, int& month, int& day) {
        z += 719468;
        const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        const auto doe = static_cast<unsigned>(z - era * 146097);
        const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const unsigned mp = (5 * doy + 2) / 153;
        day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
        month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
        year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
    }

    // Direct-mapped by date: consecutive days fall into consecutive slots, so 22 years of days stay in the
    // cache together; a day that meets another in its slot asks mktime again.
    DayEntry entry(int year, int month, int day) {
        const auto y = static_cast<std::uint64_t>(static_cast<std::uint32_t>(year));
        const auto m = static_cast<std::uint64_t>(month & 0xFF);
        const auto d = static_cast<std::uint64_t>(day & 0xFF);
        const std::uint64_t key = y << 16 | m << 8 | d;
        Slot& slot = m_days[(y * 372 + m * 31 + d) % kCachedDays];
        if (slot.key != key) {
            slot.key = key;
            slot.entry = make_entry(year, month, day);
        }
        return slot.entry;
    }

    // Uniform when midnight is a real 00:00:00 and 24 hours later it is 00:00:00 of the next day at the
    // same offset. (Two changes cancelling within one day do not occur in any zone.)
    static DayEntry make_entry(int year, int month, int day) {
        std::tm tm = wall_tm(year, month, day, 0, 0, -1);
        const std::time_t midnight = std::mktime(&tm);
        if (midnight == -1 || tm.tm_hour != 0 || tm.tm_min != 0 || tm.tm_sec != 0)
            return {midnight, false};
        const std::time_t next = midnight + 24 * 3600;
        std::tm after{};
        const bool uniform = localtime_r(&next, &after) && after.tm_hour == 0 && after.tm_min == 0 &&
                             after.tm_sec == 0 && after.tm_gmtoff == tm.tm_gmtoff;
        return {midnight, uniform};
    }

    struct Slot {
        std::uint64_t key = ~std::uint64_t{0}; // year << 16 | month << 8 | day; all ones when empty
        DayEntry entry{};
    };
    std::vector<Slot> m_days = std::vector<Slot>(kCachedDays);
    long m_offsets[2] = {0, 0}; // the last two offsets from UTC that localtime_r gave
    DayEntry m_last{0, false};  // the day of wall_time_of's last answer
    int m_last_year = 0, m_last_month = 0, m_last_day = 0;
    bool m_zone_known = false;
    bool m_has_tz = false;
    std::string m_zone;
};

CDayCache& day_cache() {
    thread_local CDayCache cache;
    return cache;
}

int two_digits(const char* p) {
    return (p[0] - '0') * 10 + (p[1] - '0');
}

// "DD.MM.YYYY HH:MM" exactly, as this program writes it: read without the general scanner.
bool scan_written_form(std::string_view text, int& day, int& month, int& year, int& hour, int& minute) {
    static constexpr char kForm[] = "00.00.0000 00:00";
    if (text.size() != sizeof kForm - 1)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kForm[i] == '0' ? !digit : text[i] != kForm[i])
            return false;
    }
    const char* p = text.data();
    day = two_digits(p);
    month = two_digits(p + 3);
    year = two_digits(p + 6) * 100 + two_digits(p + 8);
    hour = two_digits(p + 11);
    minute = two_digits(p + 14);
    return true;
}

// The fields of a creation time, as sscanf's "%d.%d.%d %d:%d" would read them; false without a date.
bool scan_key_db_time(std::string_view text, int& day, int& month, int& year, int& hour, int& minute) {
    if (scan_written_form(text, day, month, year, hour, minute))
        return true;
    day = month = year = hour = minute = 0;
    std::size_t pos = 0;
    if (!scan_int(text, pos, day) || !scan_literal(text, pos, '.') || !scan_int(text, pos, month) ||
        !scan_literal(text, pos, '.') || !scan_int(text, pos, year))
        return false;
    // The blank of the pattern matches any run of white space, then hour ':' minute, each optional.
    if (scan_int(text, pos, hour) && scan_literal(text, pos, ':'))
        scan_int(text, pos, minute);
    return true;
}

std::size_t format_in_checked_zone(std::int64_t t, char* out);

std::int64_t parse_in_checked_zone(std::string_view text) {
    int day = 0, month = 0, year = 0, hour = 0, minute = 0;
    if (!scan_key_db_time(text, day, month, year, hour, minute))
        return 0;
    if (day < 1 || day > 31 || month < 1 || month > 12 || year < kMinYear)
        return 0;
    const std::int64_t t = day_cache().get_in_checked_zone(year, month, day, hour, minute);
    return t == -1 ? 0 : t;
}

} // namespace

std::int64_t local_wall_time(int year, int month, int day, int hour, int minute) {
    return day_cache().get(year, month, day, hour, minute);
}

std::int64_t parse_key_db_time(std::string_view text) {
    day_cache().check_zone();
    return parse_in_checked_zone(text);
}

CKeyDbTimes::CKeyDbTimes() {
    day_cache().check_zone();
}

std::int64_t CKeyDbTimes::parse(std::string_view text) const {
    return parse_in_checked_zone(text);
}

std::string_view CKeyDbTimes::format(std::int64_t t, char (&text)[16]) const {
    return std::string_view(text, format_in_checked_zone(t, text));
}

std::string format_key_db_time(std::int64_t t) {
    day_cache().check_zone();
    char text[16];
    return std::string(text, format_in_checked_zone(t, text));
}

namespace {

// Writes the 16 characters of t's text to out; 0 when t is unknown or does not fit the column.
std::size_t format_in_checked_zone(std::int64_t t, char* out) {
    if (t == 0)
        return 0;
    // Most times fall on days the day cache knows (opening the database filled it): those are worked out
    // from the day's midnight; the rest ask the system.
    CDayCache& cache = day_cache();
    int day = 0, month = 0, year = 0, hour = 0, minute = 0;
    if (!cache.wall_time_of(t, year, month, day, hour, minute)) {
        const auto value = static_cast<std::time_t>(t);
        std::tm tm{};
        if (!localtime_r(&value, &tm))
            return 0;
        cache.learn_offset(tm.tm_gmtoff);
        const long full_year = static_cast<long>(tm.tm_year) + kMinYear;
        if (full_year < 0 || full_year > 9999) // would not fit the column
            return 0;
        year = static_cast<int>(full_year);
        month = tm.tm_mon + 1;
        day = tm.tm_mday;
        hour = tm.tm_hour;
        minute = tm.tm_min;
    }
    // "%.2d.%.2d.%.4d %.2d:%.2d", written by hand: saving formats one per key.
    std::memcpy(out, "00.00.0000 00:00", 16);
    auto put = [out](std::size_t at, long value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            out[at + static_cast<std::size_t>(i)] = static_cast<char>('0' + value % 10);
    };
    put(0, day, 2);
    put(3, month, 2);
    put(6, year, 4);
    put(11, hour, 2);
    put(14, minute, 2);
    return 16;
}

} // namespace
