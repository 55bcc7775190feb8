// The creation-time text of key database records ("31.01.2025 14:05", local time) and its fast conversion.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Parses "%d.%d.%d %d:%d" (day, month, year, hour, minute) as sscanf would. With at least day, month and
// year read, day 1-31, month 1-12 and year >= 1900, returns the local time of that minute (missing hour or
// minute count as 0; out-of-range values are normalised by the calendar); otherwise 0.
std::int64_t parse_key_db_time(std::string_view text);

// parse_key_db_time and format_key_db_time for the many times of one database read or written: the time
// zone (TZ) is looked at once, when the object is made, instead of for every time. Used on the thread that
// made it, while TZ stays as it is.
class CKeyDbTimes {
public:
    CKeyDbTimes();
    std::int64_t parse(std::string_view text) const;
    // format_key_db_time's text, written into text (the empty view for "").
    std::string_view format(std::int64_t t, char (&text)[16]) const;
};

// "%.2d.%.2d.%.4d %.2d:%.2d" of the local time of t; "" when t is 0 (unknown), cannot be converted, or
// the text would not fit the 16-character column.
std::string format_key_db_time(std::int64_t t);

// mktime of the local wall time (daylight saving time chosen by the system), answered from a per-thread
// cache of whole days: glibc's mktime re-checks the zone file on every call when TZ is unset. A wall time
// shown twice (the hour repeated when the clocks go back) gives its later instant.
std::int64_t local_wall_time(int year, int month, int day, int hour, int minute);
