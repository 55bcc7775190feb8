// Tests of the key number helpers: every format's text, parsing with its edge cases, round trips, the
// comparison order, lookup in a key list, the Dallas checksum, the lock time code and version texts.
#include "keys/KeyNumber.h"

#include <giomm/init.h>
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "common/HexDiff.h"
#include "keys/KeyTestPrint.h"

namespace {

CCardUID six(std::initializer_list<std::uint8_t> lowest_first) {
    std::vector<std::uint8_t> v(lowest_first);
    return CCardUID(v.data(), v.size());
}

std::string fmt(const CCardUID& n, key_format f) {
    return format_key_number(n, f).raw();
}

constexpr key_format kAllFormats[] = {KF_HEX,     KF_EM_MARINE,     KF_EM_MARINE_CODE,
                                      KF_DECIMAL, KF_DECIMAL_BYTES, KF_KEYPAD};

} // namespace

class KeyNumberTest : public ::testing::Test {
protected:
    void SetUp() override { Gio::init(); }

    // Parses text in format from a starting value that no parse produces, so "unchanged" is visible.
    static bool parse(std::string_view text, key_format format, CCardUID& out) {
        out = CCardUID(0xDEADull, 2);
        return try_str_to_key_number(text, out, format);
    }
};

// --- formatting ---

TEST_F(KeyNumberTest, FormatsNumbersInEveryFormat) {
    const CCardUID sample = six({0x2C, 0x1B, 0x0A, 0x00, 0x00, 0x00});
    const struct {
        CCardUID number;
        key_format format;
        const char* text;
    } rows[] = {
        {sample, KF_HEX, "0000000A1B2C"},
        {sample, KF_EM_MARINE, "010,06956"},
        {sample, KF_EM_MARINE_CODE, "[0000] 010,06956"},
        {sample, KF_DECIMAL, "662316"},
        {sample, KF_DECIMAL_BYTES, "0 0 0 10 27 44"},
        {sample, KF_KEYPAD, "_01_2_"}, // digits 0A1B2C: A shows as 0, 0, B and C as underscores
        {six({0x2C, 0x1B, 0x0A, 0x34, 0x12, 0x00}), KF_EM_MARINE_CODE, "[1234] 010,06956"},
        // A 3-byte number shows the code as 0000 whatever lies beyond its length.
        {six({0x2C, 0x1B, 0x0A}), KF_EM_MARINE_CODE, "[0000] 010,06956"},
        {six({1, 2, 3, 4, 5, 6}), KF_DECIMAL_BYTES, "6 5 4 3 2 1"},
        {six({255}), KF_DECIMAL_BYTES, "0 0 0 0 0 255"},
        // Hexadecimal and decimal read only their bytes.
        {CCardUID(0x8877665544332211ull, 8), KF_HEX, "665544332211"},
        {CCardUID(0x8877665544332211ull, 8), KF_DECIMAL, "9833440827789222417"},
        {CCardUID(0xFFFFFFFFFFFFFFFFull, 8), KF_DECIMAL, "18446744073709551615"},
        {CCardUID(0x05ull, 1), KF_HEX, "000000000005"},
        {CCardUID(0x05ull, 1), static_cast<key_format>(42), "000000000005"}, // unknown formats show hex
        {CCardUID(0xA123ull, 6), KF_KEYPAD, "__0123"},
        {CCardUID(0x987654ull, 6), KF_KEYPAD, "987654"},
        {CCardUID(0xFEDCBAull, 6), KF_KEYPAD, "_____0"},
        {CCardUID(0x1111A1A1A1ull, 6), KF_KEYPAD, "010101"}, // only bits 0-23 are shown
    };
    for (const auto& row : rows)
        EXPECT_EQ(fmt(row.number, row.format), row.text) << row.format << " " << row.number.ToString();
}

TEST_F(KeyNumberTest, EmptyNumberIsEmptyTextAndEmptyTextTheEmptyNumber) {
    for (auto f : kAllFormats) {
        EXPECT_EQ(fmt(CCardUID(), f), "") << f;
        CCardUID n;
        EXPECT_TRUE(parse("", f, n));
        EXPECT_EQ(n, CCardUID()) << f;
    }
    EXPECT_EQ(fmt(CCardUID(), static_cast<key_format>(99)), "");
}

// --- parsing ---

// Each format follows the scanf pattern it replaced, but refuses values scanf would have wrapped. A refused
// text leaves the number as it was.
TEST_F(KeyNumberTest, ParsesEachFormatWithItsEdgeCases) {
    const CCardUID unchanged(0xDEADull, 2);
    const struct {
        const char* text;
        key_format format;
        CCardUID expected;
    } rows[] = {
        {"255,65535", KF_EM_MARINE, six({0xFF, 0xFF, 0xFF, 0, 0, 0})},
        {"256,1", KF_EM_MARINE, unchanged},
        {"255,65536", KF_EM_MARINE, unchanged},
        {"  10, 6956 trailing", KF_EM_MARINE, six({0x2C, 0x1B, 0x0A, 0, 0, 0})},
        {"+10,+6956", KF_EM_MARINE, six({0x2C, 0x1B, 0x0A, 0, 0, 0})},
        {"10 ,6956", KF_EM_MARINE, unchanged}, // the comma must follow the series at once
        {"10;6956", KF_EM_MARINE, unchanged},
        {"10,", KF_EM_MARINE, unchanged},
        {"x10,5", KF_EM_MARINE, unchanged},
        // scanf would store these as 0 and 255; they are not key numbers the user meant.
        {"4294967296,1", KF_EM_MARINE, unchanged},
        {"4294967551,1", KF_EM_MARINE, unchanged},
        {"-0,1", KF_EM_MARINE, unchanged},
        {"99999999999999999999999,1", KF_EM_MARINE, unchanged},
        {"[1234] 010,06956", KF_EM_MARINE_CODE, six({0x2C, 0x1B, 0x0A, 0x34, 0x12, 0x00})},
        {"[abcdef]10,1", KF_EM_MARINE_CODE, six({0x01, 0x00, 0x0A, 0xEF, 0xCD, 0x00})}, // code cut to 16 bits
        {"[0x12]  1,2", KF_EM_MARINE_CODE, six({0x02, 0x00, 0x01, 0x12, 0x00, 0x00})},
        {" [12] 1,2", KF_EM_MARINE_CODE, unchanged}, // the bracket comes first
        {"[12 1,2", KF_EM_MARINE_CODE, unchanged},
        {"[] 1,2", KF_EM_MARINE_CODE, unchanged},
        {"[12] 256,2", KF_EM_MARINE_CODE, unchanged},
        {"[", KF_EM_MARINE_CODE, unchanged},
        {"6 5 4 3 2 1", KF_DECIMAL_BYTES, six({1, 2, 3, 4, 5, 6})},
        {"256 0 0 0 0 511", KF_DECIMAL_BYTES, six({0xFF, 0, 0, 0, 0, 0})}, // each cut to 8 bits
        {"1 2 3 4 5", KF_DECIMAL_BYTES, unchanged},
        {"1 2 3 4 5 x", KF_DECIMAL_BYTES, unchanged},
        {"1 2 3 -4 5 6", KF_DECIMAL_BYTES, unchanged},
        {"0", KF_DECIMAL, CCardUID(0ull, 6)},
        {"a12", KF_DECIMAL, unchanged},
        {"   ", KF_DECIMAL, unchanged},
        {"  662316xyz", KF_DECIMAL, six({0x2C, 0x1B, 0x0A, 0, 0, 0})},
        {"281474976710655", KF_DECIMAL, CCardUID(0xFFFFFFFFFFFFull, 6)}, // 2^48 - 1: the largest key
        {"281474976710657", KF_DECIMAL, unchanged},                      // 2^48 + 1 would be key 000000000001
        {"999999999999999999999999", KF_DECIMAL, unchanged},
        {"-1", KF_DECIMAL, unchanged},
        {"0000000a1B2C", KF_HEX, six({0x2C, 0x1B, 0x0A, 0, 0, 0})},
        {"0x1F", KF_HEX, CCardUID(0x1Full, 6)},
        {"0xg", KF_HEX, CCardUID(0ull, 6)}, // only the 0 is a number
        {"g1", KF_HEX, unchanged},
        {"FFFFFFFFFFFF", KF_HEX, CCardUID(0xFFFFFFFFFFFFull, 6)},
        {"1000000000001", KF_HEX, unchanged},
        {"FFFFFFFFFFFFFFFFFFFF", KF_HEX, unchanged},
        {"A123", KF_KEYPAD, CCardUID(0xA123ull, 6)}, // the keypad's 0 is typed as A
        {"1000000000A12", KF_KEYPAD, unchanged},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        CCardUID n;
        EXPECT_EQ(parse(row.text, row.format, n), !(row.expected == unchanged));
        EXPECT_BYTES_EQ(all_bytes(row.expected), all_bytes(n));
        EXPECT_EQ(n.length, row.expected.length);
    }
}

TEST_F(KeyNumberTest, EveryFormatButKeypadRoundTrips) {
    std::mt19937_64 rng(1234);
    const key_format round_trip[] = {KF_HEX, KF_EM_MARINE, KF_EM_MARINE_CODE, KF_DECIMAL, KF_DECIMAL_BYTES};
    for (int i = 0; i < 2000; ++i) {
        const CCardUID n(rng(), 6);
        for (auto f : round_trip) {
            CCardUID back;
            ASSERT_TRUE(try_str_to_key_number(format_key_number(n, f), back, f)) << fmt(n, f);
            // The Em-Marine texts carry only bytes 0-2, with the code bytes 3-4.
            const std::size_t carried = f == KF_EM_MARINE ? 3 : f == KF_EM_MARINE_CODE ? 5 : 6;
            EXPECT_EQ(std::memcmp(back.bytes, n.bytes, carried), 0) << f << " " << fmt(n, f);
            EXPECT_EQ(back.length, 6);
        }
    }
}

// --- comparison ---

// Empty numbers first, then byte 0 decides first (not numeric order); the long part counts only when
// neither side is short.
TEST_F(KeyNumberTest, ComparisonOrder) {
    const CCardUID empty, one(1ull, 6);
    EXPECT_EQ(compare_key_numbers(empty, false, empty, true), 0);
    EXPECT_LT(compare_key_numbers(empty, false, one, false), 0);
    EXPECT_LT(compare_key_numbers(CCardUID(0x0100ull, 6), false, CCardUID(0x0001ull, 6), false), 0);
    const CCardUID a = six({1, 2, 3, 0, 0, 0});
    const CCardUID b = six({1, 2, 3, 9, 0, 0});
    const CCardUID three = six({1, 2, 3});
    EXPECT_NE(compare_key_numbers(a, false, b, false), 0);
    EXPECT_EQ(compare_key_numbers(a, true, b, false), 0); // a is short with a zero long part
    EXPECT_NE(compare_key_numbers(a, false, b, true), 0); // b's long part is not zero: b is not short
    EXPECT_EQ(compare_key_numbers(three, false, b, false), 0);
}

TEST_F(KeyNumberTest, ComparisonIsAntisymmetric) {
    std::mt19937_64 rng(99);
    for (int i = 0; i < 5000; ++i) {
        // Few distinct byte values, so equal prefixes are common.
        const CCardUID a(rng() & 0x0101010101ull, rng() % 7);
        const CCardUID b(rng() & 0x0101010101ull, rng() % 7);
        const bool as = rng() & 1, bs = rng() & 1;
        const int ab = compare_key_numbers(a, as, b, bs), ba = compare_key_numbers(b, bs, a, as);
        EXPECT_EQ(ab<0, ba> 0);
        EXPECT_EQ(ab == 0, ba == 0);
    }
}

// The tables' sort order: equal keys exactly for equal texts; the texts' own order where they have a fixed
// width, the values' order in the decimal forms (so 9 comes before 10); the empty number first.
TEST_F(KeyNumberTest, SortKeyOrdersAsTheTablesShowNumbers) {
    std::mt19937 random(7);
    std::vector<CCardUID> numbers{CCardUID(), six({9}), six({10}), six({0, 0, 0, 0, 0, 0}),
                                  six({0x0A, 0x0B})};
    for (int i = 0; i < 300; ++i) {
        std::uint8_t bytes[8];
        for (auto& b : bytes)
            b = static_cast<std::uint8_t>(random() % (i % 2 ? 256 : 12)); // small bytes: keypad blanks
        numbers.emplace_back(bytes, 1 + random() % 8);
    }
    for (key_format format : kAllFormats) {
        SCOPED_TRACE(format);
        const bool by_value = format == KF_DECIMAL || format == KF_DECIMAL_BYTES;
        for (const CCardUID& a : numbers)
            for (const CCardUID& b : numbers) {
                const std::string ta = fmt(a, format), tb = fmt(b, format);
                const auto ka = number_sort_key(a, format), kb = number_sort_key(b, format);
                ASSERT_EQ(ta == tb, ka == kb) << ta << " / " << tb;
                if (ta.empty() || tb.empty()) {
                    ASSERT_EQ(tb.empty() && !ta.empty(), kb < ka) << ta << " / " << tb;
                } else if (!by_value) {
                    ASSERT_EQ(ta < tb, ka < kb) << ta << " / " << tb;
                }
            }
    }
    EXPECT_LT(number_sort_key(six({9}), KF_DECIMAL), number_sort_key(six({10}), KF_DECIMAL));
    EXPECT_LT(number_sort_key(six({0, 9}), KF_DECIMAL_BYTES),
              number_sort_key(six({0, 10}), KF_DECIMAL_BYTES));
    EXPECT_LT(number_sort_key(six({0xFF}), KF_DECIMAL_BYTES), number_sort_key(six({0, 1}), KF_DECIMAL_BYTES));
}

TEST_F(KeyNumberTest, ShortNumberRules) {
    EXPECT_TRUE(is_short_number(six({1, 2, 3}), false));
    EXPECT_TRUE(is_short_number(CCardUID(), false));
    EXPECT_FALSE(is_short_number(six({1, 2, 3, 0, 0, 0}), false));
    EXPECT_TRUE(is_short_number(six({1, 2, 3, 0, 0, 0}), true));
    EXPECT_FALSE(is_short_number(six({1, 2, 3, 0, 7, 0}), true));
}

TEST_F(KeyNumberTest, FindKeyByNumberHonoursStartAndShortFlags) {
    auto store = Gio::ListStore<CKey>::create();
    store->append(CKey::create(1, CT_DALLAS, KA_NORMAL, six({1, 2, 3, 4, 5, 6}), false, 0, "a"));
    store->append(CKey::create(2, CT_DALLAS, KA_NORMAL, six({1, 2, 3, 0, 0, 0}), true, 0, "b"));
    store->append(CKey::create(3, CT_DALLAS, KA_NORMAL, six({1, 2, 3, 4, 5, 6}), false, 0, "c"));
    const CCardUID full = six({1, 2, 3, 4, 5, 6});
    EXPECT_EQ(find_key_by_number(store, full, false, 0), 0);
    EXPECT_EQ(find_key_by_number(store, full, false, 1), 1); // the short key matches any long part
    EXPECT_EQ(find_key_by_number(store, full, false, 2), 2);
    EXPECT_EQ(find_key_by_number(store, full, false, 3), -1);
    EXPECT_EQ(find_key_by_number(store, six({1, 2, 3, 9, 9, 9}), false, 0), 1);
    EXPECT_EQ(find_key_by_number(store, six({9, 2, 3}), false, 0), -1);
    EXPECT_EQ(find_key_by_number({}, full, false, 0), -1);
}

TEST_F(KeyNumberTest, DallasChecksumOfKnownRomCode) {
    // A DS1990A-style ROM code in memory order: family code 02, serial 1C B8 01 00 00 00, CRC A2.
    const std::uint8_t rom[8] = {0x02, 0x1C, 0xB8, 0x01, 0x00, 0x00, 0x00, 0xA2};
    EXPECT_EQ(get_dallas_cs(rom), 0xA2);
}

// --- lock time code ---

TEST_F(KeyNumberTest, LockTimeCodeConversions) {
    EXPECT_EQ(TimeToOtc(3.0), 46);
    EXPECT_DOUBLE_EQ(OtcToTime(46), 3.0084);
    EXPECT_EQ(TimeToOtc(0.0), 0);
    EXPECT_EQ(TimeToOtc(255.0), 3900);
    EXPECT_EQ(TimeToOtc(0.0001), 1); // rounds up
    EXPECT_EQ(TimeToOtc(1e300), INT32_MAX);
    EXPECT_EQ(TimeToOtc(-1e300), INT32_MIN);
    EXPECT_EQ(TimeToOtc(std::nan("")), 0);
}

TEST_F(KeyNumberTest, LockTimeCodeSurvivesItsOwnTime) {
    for (int code = 0; code <= 0xFFFF; ++code)
        ASSERT_EQ(TimeToOtc(OtcToTime(code)), code);
}

TEST_F(KeyNumberTest, VersionTexts) {
    EXPECT_EQ(version_to_str(0x010100C0), "1.1.0");
    EXPECT_EQ(version_to_str(0), "");
    EXPECT_EQ(version_to_str(65535), "65535");
    EXPECT_EQ(version_to_str(65536), "0.1.0");
}
