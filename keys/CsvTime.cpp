// Creation times of CSV key files in the classic "%c" form, written and read by hand (an export or import
// handles one per key), and in the locale's form through strptime.
#include "keys/CsvTime.h"

#include <langinfo.h>

#include <array>
#include <cctype>
#include <cstring>
#include <ctime>

#include "keys/KeyDbTime.h"

namespace {

constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr int kTmYearBase = 1900;

// The index of the three-letter name at pos in names, or -1.
template <std::size_t N>
int scan_name(std::string_view text, std::size_t& pos, const std::array<const char*, N>& names) {
    if (text.size() < pos + 3)
        return -1;
    for (std::size_t i = 0; i < N; ++i) {
        if (text.compare(pos, 3, names[i]) == 0) {
            pos += 3;
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool scan_blanks(std::string_view text, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    return pos > start;
}

bool scan_number(std::string_view text, std::size_t& pos, int max_digits, int& value) {
    value = 0;
    int digits = 0;
    while (pos < text.size() && digits < max_digits && text[pos] >= '0' && text[pos] <= '9') {
        value = value * 10 + (text[pos] - '0');
        ++pos;
        ++digits;
    }
    return digits > 0;
}

bool scan_char(std::string_view text, std::size_t& pos, char c) {
    if (pos < text.size() && text[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

std::int64_t wall_time(const std::tm& tm) {
    const std::int64_t t =
        local_wall_time(tm.tm_year + kTmYearBase, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min);
    return t == -1 ? 0 : t + tm.tm_sec;
}

bool valid(const std::tm& tm) {
    return tm.tm_mday >= 1 && tm.tm_mday <= 31 && tm.tm_hour <= 23 && tm.tm_min <= 59 && tm.tm_sec <= 60 &&
           tm.tm_year >= 0;
}

std::int64_t parse_classic(std::string_view text) {
    std::size_t pos = 0;
    std::tm tm{};
    int year = 0;
    if (scan_name(text, pos, kDays) < 0 || !scan_blanks(text, pos))
        return 0;
    tm.tm_mon = scan_name(text, pos, kMonths);
    if (tm.tm_mon < 0 || !scan_blanks(text, pos) || !scan_number(text, pos, 2, tm.tm_mday) ||
        !scan_blanks(text, pos) || !scan_number(text, pos, 2, tm.tm_hour) || !scan_char(text, pos, ':') ||
        !scan_number(text, pos, 2, tm.tm_min) || !scan_char(text, pos, ':') ||
        !scan_number(text, pos, 2, tm.tm_sec) || !scan_blanks(text, pos) || !scan_number(text, pos, 4, year))
        return 0;
    tm.tm_year = year - kTmYearBase;
    if (pos != text.size() || !valid(tm))
        return 0;
    return wall_time(tm);
}

// What may follow the locale's form: glibc's strptime skips "%Z" without reading the zone's name.
bool only_zone_name_left(const char* rest) {
    for (; *rest; ++rest) {
        const unsigned char c = static_cast<unsigned char>(*rest);
        if (!std::isalnum(c) && c != ' ' && c != '+' && c != '-' && c != ':')
            return false;
    }
    return true;
}

std::int64_t parse_with_format(std::string_view text, const char* format) {
    if (!format || !*format || std::strcmp(format, "%a %b %e %H:%M:%S %Y") == 0)
        return 0;
    const std::string copy(text); // strptime needs a terminated text
    std::tm tm{};
    tm.tm_mday = 1;
    const char* rest = strptime(copy.c_str(), format, &tm);
    if (!rest || !only_zone_name_left(rest) || !valid(tm))
        return 0;
    return wall_time(tm);
}

} // namespace

std::string format_csv_time(std::int64_t t) {
    if (t == 0)
        return {};
    const auto value = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&value, &tm) || tm.tm_wday < 0 || tm.tm_wday > 6 || tm.tm_mon < 0 || tm.tm_mon > 11)
        return {};
    const long long year = static_cast<long long>(tm.tm_year) + kTmYearBase;
    if (year < 0)
        return {};
    // "%s %s %2d %.2d:%.2d:%.2d %lld", written by hand: an export formats one per key.
    std::string text = std::string(kDays[tm.tm_wday]) + ' ' + kMonths[tm.tm_mon] + " 00 00:00:00 ";
    auto put = [&text](std::size_t at, int value) {
        text[at] = static_cast<char>('0' + value / 10);
        text[at + 1] = static_cast<char>('0' + value % 10);
    };
    put(8, tm.tm_mday);
    if (tm.tm_mday < 10)
        text[8] = ' ';
    put(11, tm.tm_hour);
    put(14, tm.tm_min);
    put(17, tm.tm_sec);
    text += std::to_string(year);
    return text;
}

std::int64_t parse_csv_time(std::string_view text, const char* locale_format) {
    if (text.empty())
        return 0;
    if (const std::int64_t t = parse_classic(text))
        return t;
    return parse_with_format(text, locale_format ? locale_format : nl_langinfo(D_T_FMT));
}
