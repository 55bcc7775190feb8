// The comma-separated text dialect shared by the CSV reader and writer: UTF-8, one row per line feed,
// fields optionally between double quotes with doubled quotes inside.
#pragma once

namespace csv {

// The field separator, as a type so that a reader and writer are built for one separator.
template <char C>
struct delimiter {
    static constexpr char value = C;
};

inline constexpr char kQuote = '"';
inline constexpr char kLineFeed = '\n';
inline constexpr char kCarriageReturn = '\r';

} // namespace csv
