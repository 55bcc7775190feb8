// Per-user folders, file-name validation, number parsing and the application folder step of start-up.
// Environment variables are changed per test and restored afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>

#include "app/Paths.h"
#include "common/TestFiles.h"

namespace fs = std::filesystem;

namespace {
using ScopedEnv = test::CScopedEnv;

Glib::ustring repeat(const Glib::ustring& piece, size_t n) {
    Glib::ustring s;
    for (size_t i = 0; i < n; ++i)
        s += piece;
    return s;
}
} // namespace

class PathsTest : public ::testing::Test {
protected:
    test::CScratchDir m_tmp;
};

// An empty XDG_CONFIG_HOME acts as unset; any other value is taken as it is, even a relative one.
TEST_F(PathsTest, XdgConfigHomeChoosesTheAppFolder) {
    {
        ScopedEnv env("XDG_CONFIG_HOME", "");
        EXPECT_EQ(get_app_dir(), get_user_home_dir() / ".config" / "kestrix");
    }
    ScopedEnv env("XDG_CONFIG_HOME", "relative/cfg");
    EXPECT_EQ(get_app_dir(), fs::path("relative/cfg/kestrix"));
}

TEST_F(PathsTest, AppFolderWithoutParentFailsWithMessage) {
    // Only the last folder is created; a missing parent is a failure, not a reason to create more.
    const fs::path dir = m_tmp / "missing" / "kestrix";
    std::ostringstream err;
    EXPECT_FALSE(create_app_folder(dir, err));
    EXPECT_FALSE(fs::exists(m_tmp / "missing"));
    EXPECT_EQ(err.str(), "Failed to create folder \"" + dir.string() + "\"\n");
}

// ---- file names ----

TEST_F(PathsTest, FileNameRules) {
    const struct {
        Glib::ustring name;
        bool valid;
    } rows[] = {{"front.door", true}, {"...", true},  {"", false},     {".", false},
                {"..", false},        {"a/b", false}, {"a\\b", false}, {"a|b", false}};
    for (const auto& row : rows)
        EXPECT_EQ(is_valid_filename(row.name), row.valid) << row.name;
}

TEST_F(PathsTest, LengthCountsCharactersNotBytes) {
    const Glib::ustring cyrillic = repeat("ж", 255);
    ASSERT_EQ(cyrillic.bytes(), 510u);
    EXPECT_TRUE(is_valid_filename(cyrillic));
    EXPECT_TRUE(is_valid_filename(repeat("a", 255)));
    EXPECT_FALSE(is_valid_filename(repeat("a", 256)));
    EXPECT_FALSE(is_valid_filename(repeat("ж", 256)));
}

// ---- number parsing ----

// strtoul's rules: leading spaces and a sign are taken, trailing text is ignored, the result is cut to the
// width of the output.
TEST_F(PathsTest, NumbersParseAsStrtoulParsesThem) {
    const struct {
        const char* text;
        int base;
        uint64_t as64;
        uint32_t as32;
    } rows[] = {
        {"0", 10, 0, 0},
        {"  42abc", 10, 42, 42},
        {"ff", 16, 255, 255},
        {"0x10", 0, 16, 16},
        {"0x123456789", 16, 0x123456789u, 0x23456789u},
        {"18446744073709551615", 10, UINT64_MAX, UINT32_MAX},
        {"-1", 10, UINT64_MAX, UINT32_MAX},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        uint32_t v32 = 7;
        uint64_t v64 = 7;
        EXPECT_TRUE(try_str_to_uint(row.text, v32, row.base));
        EXPECT_TRUE(try_str_to_uint(row.text, v64, row.base));
        EXPECT_EQ(v32, row.as32);
        EXPECT_EQ(v64, row.as64);
    }
}

TEST_F(PathsTest, TextStartingWithLetterFailsAndLeavesOutAlone) {
    uint32_t v32 = 7;
    uint64_t v64 = 7;
    EXPECT_FALSE(try_str_to_uint("x12", v32));
    EXPECT_FALSE(try_str_to_uint("", v64));
    EXPECT_FALSE(try_str_to_uint(std::string("abc"), v64));
    EXPECT_EQ(v32, 7u);
    EXPECT_EQ(v64, 7u);
}
