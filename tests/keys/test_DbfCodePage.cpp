// Tests of the code-page conversion of DBF character fields: every byte of the upper half of both code
// pages against the characters the code pages define, and the converters kept per thread.
#include <gtest/gtest.h>

#include <glib.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>

#include "keys/DbfCodePage.h"

namespace {

const std::string kCyrillic = "Привет, мир";

// The characters of bytes 0x80-0xFF of the DOS Cyrillic code page (CP866). Close variants differ only in
// a few of these rows (CP1125 has Ґ ґ Є є І і Ї ї at 0xF2-0xF9).
constexpr char32_t kCp866[128] = {
    // 0x80: А-Я
    0x0410,
    0x0411,
    0x0412,
    0x0413,
    0x0414,
    0x0415,
    0x0416,
    0x0417,
    0x0418,
    0x0419,
    0x041A,
    0x041B,
    0x041C,
    0x041D,
    0x041E,
    0x041F,
    0x0420,
    0x0421,
    0x0422,
    0x0423,
    0x0424,
    0x0425,
    0x0426,
    0x0427,
    0x0428,
    0x0429,
    0x042A,
    0x042B,
    0x042C,
    0x042D,
    0x042E,
    0x042F,
    // 0xA0: а-п
    0x0430,
    0x0431,
    0x0432,
    0x0433,
    0x0434,
    0x0435,
    0x0436,
    0x0437,
    0x0438,
    0x0439,
    0x043A,
    0x043B,
    0x043C,
    0x043D,
    0x043E,
    0x043F,
    // 0xB0: shades and box drawing
    0x2591,
    0x2592,
    0x2593,
    0x2502,
    0x2524,
    0x2561,
    0x2562,
    0x2556,
    0x2555,
    0x2563,
    0x2551,
    0x2557,
    0x255D,
    0x255C,
    0x255B,
    0x2510,
    // 0xC0
    0x2514,
    0x2534,
    0x252C,
    0x251C,
    0x2500,
    0x253C,
    0x255E,
    0x255F,
    0x255A,
    0x2554,
    0x2569,
    0x2566,
    0x2560,
    0x2550,
    0x256C,
    0x2567,
    // 0xD0
    0x2568,
    0x2564,
    0x2565,
    0x2559,
    0x2558,
    0x2552,
    0x2553,
    0x256B,
    0x256A,
    0x2518,
    0x250C,
    0x2588,
    0x2584,
    0x258C,
    0x2590,
    0x2580,
    // 0xE0: р-я
    0x0440,
    0x0441,
    0x0442,
    0x0443,
    0x0444,
    0x0445,
    0x0446,
    0x0447,
    0x0448,
    0x0449,
    0x044A,
    0x044B,
    0x044C,
    0x044D,
    0x044E,
    0x044F,
    // 0xF0: Ё ё Є є Ї ї Ў ў ° ∙ · √ № ¤ ■ no-break space
    0x0401,
    0x0451,
    0x0404,
    0x0454,
    0x0407,
    0x0457,
    0x040E,
    0x045E,
    0x00B0,
    0x2219,
    0x00B7,
    0x221A,
    0x2116,
    0x00A4,
    0x25A0,
    0x00A0,
};

constexpr char32_t kUndefined = 0;

// The characters of bytes 0x80-0xFF of Windows-1251; 0x98 is not defined.
constexpr char32_t kWindows1251[128] = {
    // 0x80
    0x0402,
    0x0403,
    0x201A,
    0x0453,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x20AC,
    0x2030,
    0x0409,
    0x2039,
    0x040A,
    0x040C,
    0x040B,
    0x040F,
    // 0x90
    0x0452,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    kUndefined,
    0x2122,
    0x0459,
    0x203A,
    0x045A,
    0x045C,
    0x045B,
    0x045F,
    // 0xA0
    0x00A0,
    0x040E,
    0x045E,
    0x0408,
    0x00A4,
    0x0490,
    0x00A6,
    0x00A7,
    0x0401,
    0x00A9,
    0x0404,
    0x00AB,
    0x00AC,
    0x00AD,
    0x00AE,
    0x0407,
    // 0xB0
    0x00B0,
    0x00B1,
    0x0406,
    0x0456,
    0x0491,
    0x00B5,
    0x00B6,
    0x00B7,
    0x0451,
    0x2116,
    0x0454,
    0x00BB,
    0x0458,
    0x0405,
    0x0455,
    0x0457,
    // 0xC0: А-Я
    0x0410,
    0x0411,
    0x0412,
    0x0413,
    0x0414,
    0x0415,
    0x0416,
    0x0417,
    0x0418,
    0x0419,
    0x041A,
    0x041B,
    0x041C,
    0x041D,
    0x041E,
    0x041F,
    0x0420,
    0x0421,
    0x0422,
    0x0423,
    0x0424,
    0x0425,
    0x0426,
    0x0427,
    0x0428,
    0x0429,
    0x042A,
    0x042B,
    0x042C,
    0x042D,
    0x042E,
    0x042F,
    // 0xE0: а-я
    0x0430,
    0x0431,
    0x0432,
    0x0433,
    0x0434,
    0x0435,
    0x0436,
    0x0437,
    0x0438,
    0x0439,
    0x043A,
    0x043B,
    0x043C,
    0x043D,
    0x043E,
    0x043F,
    0x0440,
    0x0441,
    0x0442,
    0x0443,
    0x0444,
    0x0445,
    0x0446,
    0x0447,
    0x0448,
    0x0449,
    0x044A,
    0x044B,
    0x044C,
    0x044D,
    0x044E,
    0x044F,
};

std::string utf8_of(char32_t c) {
    char buf[8];
    const int n = g_unichar_to_utf8(static_cast<gunichar>(c), buf);
    return std::string(buf, static_cast<std::size_t>(n));
}

} // namespace

class DbfCodePageTableTest : public ::testing::TestWithParam<DbfCodePage> {
protected:
    static const char32_t* table(DbfCodePage cp) { return cp == DbfCodePage::kCp866 ? kCp866 : kWindows1251; }
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
