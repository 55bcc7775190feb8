// Tests of the code-page conversion of DBF character fields: every byte of the upper half of both code
// pages against the characters the code pages define, and the converters kept per thread.
#include <gtest/gtest.h>

#include <glib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include "keys/DbfCodePage.h"

namespace {

const std::string kCyrillic = "Привет, мир";

// The characters of bytes 0x80-0xFF of the DOS Cyrillic code page (CP866), 32 bytes a row. Close variants
// differ only in a few of these (CP1125 has Ґ ґ Є є І і Ї ї at 0xF2-0xF9).
constexpr std::u32string_view kCp866 = U"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"
                                       U"абвгдежзийклмноп░▒▓│┤╡╢╖╕╣║╗╝╜╛┐"
                                       U"└┴┬├─┼╞╟╚╔╩╦╠═╬╧╨╤╥╙╘╒╓╫╪┘┌█▄▌▐▀"
                                       U"рстуфхцчшщъыьэюяЁёЄєЇїЎў°∙·√№¤■\u00A0";

// The characters of bytes 0x80-0xFF of Windows-1251; 0x98 is not defined (shown as \0).
constexpr std::u32string_view kWindows1251 = std::u32string_view(U"ЂЃ‚ѓ„…†‡€‰Љ‹ЊЌЋЏђ‘’“”•–—\0™љ›њќћџ"
                                                                 U"\u00A0ЎўЈ¤Ґ¦§Ё©Є«¬\u00AD®Ї°±Ііґµ¶·ё№є»јЅѕї"
                                                                 U"АБВГДЕЖЗИЙКЛМНОПРСТУФХЦЧШЩЪЫЬЭЮЯ"
                                                                 U"абвгдежзийклмнопрстуфхцчшщъыьэюя",
                                                                 128);
constexpr char32_t kUndefined = 0;
static_assert(kCp866.size() == 128 && kWindows1251.size() == 128 && kWindows1251[0x18] == kUndefined);

std::string utf8_of(char32_t c) {
    char buf[8];
    const int n = g_unichar_to_utf8(static_cast<gunichar>(c), buf);
    return std::string(buf, static_cast<std::size_t>(n));
}

} // namespace

class DbfCodePageTableTest : public ::testing::TestWithParam<DbfCodePage> {
protected:
    static std::u32string_view table(DbfCodePage cp) {
        return cp == DbfCodePage::kCp866 ? kCp866 : kWindows1251;
    }
};

// Each byte reads as its character, and the character writes back as that byte.
TEST_P(DbfCodePageTableTest, EveryUpperByteRoundTripsThroughItsCharacter) {
    const DbfCodePage cp = GetParam();
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        SCOPED_TRACE(::testing::Message() << dbf_code_page_name(cp) << " byte 0x" << std::hex << byte);
        const std::string file_byte(1, static_cast<char>(byte));
        const char32_t expected = table(cp)[byte - 0x80];
        if (expected == kUndefined) {
            EXPECT_THROW(ansiToUtf8(cp, file_byte), std::runtime_error);
            continue;
        }
        EXPECT_EQ(ansiToUtf8(cp, file_byte), utf8_of(expected));
        EXPECT_EQ(utf8_to_ansi(cp, utf8_of(expected)), file_byte);
    }
}

INSTANTIATE_TEST_SUITE_P(BothCodePages, DbfCodePageTableTest,
                         ::testing::Values(DbfCodePage::kCp866, DbfCodePage::kWindows1251),
                         [](const auto& info) {
                             return std::string(info.param == DbfCodePage::kCp866 ? "Cp866" : "Windows1251");
                         });

TEST(DbfCodePageTest, EachThreadConvertsWithItsOwnConverters) {
    auto convert_many = [](bool* ok) {
        for (int i = 0; i < 500 && *ok; ++i)
            for (DbfCodePage cp : {DbfCodePage::kCp866, DbfCodePage::kWindows1251})
                *ok = *ok && ansiToUtf8(cp, utf8_to_ansi(cp, kCyrillic)) == kCyrillic;
    };
    bool ok1 = true, ok2 = true;
    std::thread t1(convert_many, &ok1), t2(convert_many, &ok2);
    t1.join();
    t2.join();
    EXPECT_TRUE(ok1);
    EXPECT_TRUE(ok2);
}

TEST(DbfCodePageTest, ConversionStopsAtAZeroByte) {
    EXPECT_EQ(ansiToUtf8(DbfCodePage::kCp866, std::string_view("\x80\0\x81", 3)), "А");
}
