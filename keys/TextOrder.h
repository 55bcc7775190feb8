// The order of descriptions in the key tables: character by character by code point, letter case ignored.
// It is a total order that needs neither a collation key nor an allocation per comparison, so a table of a
// hundred thousand keys sorts by description at once.
#pragma once

#include <string_view>

// Negative, zero or positive. Text that is not valid UTF-8 still orders consistently, byte by byte.
int compare_text_caseless(std::string_view a, std::string_view b);
