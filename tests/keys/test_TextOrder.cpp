// The description order of the key tables: a total order by code point with letter case ignored.
#include "keys/TextOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

int sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(TextOrderTest, OrdersByCharacterWithCaseIgnored) {
    const struct {
        const char* a;
        const char* b;
        int order;
    } cases[] = {
        {"alpha", "Bravo", -1},     {"ALPHA", "alpha", 0},
        {"Flat 1,", "Flat 10", -1}, {"", "a", -1},
        {"abc", "ab", 1},           {"склад", "СКЛАД", 0},
        {"Ворота", "гараж", -1},    {"zebra", "арка", -1},
        {"Ärger", "ärger", 0},      {"door 9", "door 10", 1},
        {"a\xff", "a\xfe", 1},      {"a\xff", "a\xd0\xb0", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " / " + c.b);
        EXPECT_EQ(c.order, sign(compare_text_caseless(c.a, c.b)));
        EXPECT_EQ(-c.order, sign(compare_text_caseless(c.b, c.a)));
    }
}

// A sort needs a consistent order: equal elements compare equal both ways and the order is transitive,
// also with broken UTF-8 among the texts.
TEST(TextOrderTest, IsATotalOrderOverMixedText) {
    std::vector<std::string> texts{"",  "a", "A", "b",    "ab",       "aB",    "я", "Я",
                                   "ё", "Ё", "z", "\xd0", "\xd0\xb0", "a\xd0", "1", "10",
                                   "9", " ", "é", "E",    "\xe2\x82", "€"};
    for (const auto& a : texts)
        for (const auto& b : texts)
            for (const auto& c : texts) {
                const int ab = sign(compare_text_caseless(a, b));
                const int bc = sign(compare_text_caseless(b, c));
                if (ab <= 0 && bc <= 0) {
                    ASSERT_LE(compare_text_caseless(a, c), 0) << a << " " << b << " " << c;
                }
            }
    std::sort(texts.begin(), texts.end(),
              [](const std::string& a, const std::string& b) { return compare_text_caseless(a, b) < 0; });
    EXPECT_EQ("", texts[0]);
    EXPECT_EQ(" ", texts[1]);
}

// The packed key of a text orders as the text itself: short and long texts, texts that share their first
// sixteen characters, and characters past the packed ones that are not plain ASCII (the Kelvin sign lowers
// to 'k'), and NUL, which packs as the zeros after the packed characters do.
TEST(TextOrderTest, PreparedTextsOrderAsTheTexts) {
    const std::string pieces[] = {"a",
                                  "A",
                                  "k",
                                  "K",
                                  "\xe2\x84\xaa",
                                  "z",
                                  " ",
                                  "1",
                                  "Flat 12, entranc",
                                  "ё",
                                  "Ё",
                                  std::string(1, '\0'),
                                  "\xd0",
                                  "~"};
    std::mt19937 random(7);
    std::vector<std::string> texts{""};
    for (int i = 0; i < 300; ++i) {
        std::string text = random() % 2 ? texts[random() % texts.size()] : std::string();
        for (unsigned n = random() % 4; n-- > 0;)
            text += pieces[random() % std::size(pieces)];
        texts.push_back(text);
    }
    std::vector<CCaselessTextKey> keys;
    for (const auto& text : texts)
        keys.emplace_back(text);
    for (std::size_t i = 0; i < texts.size(); ++i)
        for (std::size_t j = 0; j < texts.size(); ++j)
            ASSERT_EQ(sign(compare_text_caseless(texts[i], texts[j])), sign(compare(keys[i], keys[j])))
                << "\"" << texts[i] << "\" / \"" << texts[j] << "\"";
}

} // namespace
