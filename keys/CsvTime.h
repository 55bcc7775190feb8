// The creation-time text of CSV key files. It is written in the classic "C" form of "%c"
// ("Mon Dec  7 04:29:01 2026", local time), which reads back the same under every locale; files written
// in the form of the locale's own "%c" are read too.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The classic "%c" text of the local time of t ("%a %b %e %H:%M:%S %Y"); "" for 0 or a time that cannot
// be converted.
std::string format_csv_time(std::int64_t t);

// Reads the classic "%c" form, else the form of locale_format (strptime's syntax; the current locale's
// "%c" when null), as local time. 0 when neither form reads the whole text (blanks and a time zone name
// after the form of the locale are allowed).
std::int64_t parse_csv_time(std::string_view text, const char* locale_format = nullptr);
