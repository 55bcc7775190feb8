// Conversion of DBF character fields between the file's single-byte Cyrillic code page and UTF-8, through
// iconv converters kept open per code page and thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The code pages a DBF file can use; the numbers are the ones the table engine reports.
enum class DbfCodePage : int {
    kNone = 0,
    kWindows1251 = 1,
    kCp866 = 2,
};

// The iconv name of a code page ("CP866" or "WINDOWS-1251"; anything but CP866 is Windows-1251).
const char* dbf_code_page_name(DbfCodePage cp);

// File bytes to UTF-8. Stops at the first zero byte, as a C string would. Throws std::runtime_error
// "Failed to open iconv descriptor" or "iconv conversion failed" (after printing the system error).
std::string ansiToUtf8(DbfCodePage cp, std::string_view bytes);

// UTF-8 to file bytes. Throws std::runtime_error "iconv_open failed", or "iconv failed, errno: <n>" when
// the text is not valid UTF-8 or holds a character that the code page lacks.
std::string utf8_to_ansi(DbfCodePage cp, std::string_view text);
