// The order of descriptions in the key tables: character by character by code point, letter case ignored.
// It is a total order that needs neither a collation key nor an allocation per comparison, so a table of a
// hundred thousand keys sorts by description at once.
#pragma once

#include <string_view>

// Negative, zero or positive. Text that is not valid UTF-8 still orders consistently, byte by byte.
int compare_text_caseless(std::string_view a, std::string_view b);

// A text prepared for many comparisons (a sort): its first plain ASCII characters, lower case, packed into
// one number. Most pairs are told apart by the numbers alone; the rest are compared as texts. Orders
// exactly as compare_text_caseless. The text must outlive the key.
class CCaselessTextKey {
public:
    explicit CCaselessTextKey(std::string_view text);
    friend int compare(const CCaselessTextKey& a, const CCaselessTextKey& b);

private:
    static constexpr unsigned kPacked = 16;
    unsigned __int128 m_packed = 0; // the first m_run characters, first one highest; zeros after them
    std::string_view m_text;
    unsigned char m_run = 0; // characters packed: the text's leading run of ASCII characters
    bool m_whole = false;    // the packed characters are the whole text
};
