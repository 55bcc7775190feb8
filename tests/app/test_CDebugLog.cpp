// The debug log against a real file in a temporary folder: line format, the level filter, the hexadecimal
// encoder, and lines written by several threads at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/CDebugLog.h"
#include "common/TestFiles.h"

namespace fs = std::filesystem;

namespace {
// "06-12-2026 17:05:09 [I main] text"
const std::regex
    kLineFormat(R"(^(\d{2})-(\d{2})-(\d{4}) (\d{2}):(\d{2}):(\d{2}) \[([-EWID]) ([^\]]*)\] (.*)$)");

std::vector<std::string> read_lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string encode_bin(const std::vector<unsigned char>& bytes) {
    std::string out = "garbage";
    CDebugLog::EncodeLogBin(bytes.data(), bytes.size(), out);
    return out;
}

} // namespace

class CDebugLogTest : public ::testing::Test {
protected:
    void SetUp() override { m_log.set_filename(m_dir / "kestrix.log"); }

    test::CScratchDir m_dir;
    CDebugLog m_log;
};

// ---- line format ----

TEST_F(CDebugLogTest, LineHasTimeStampLevelTagAndText) {
    m_log.LogMsg(LOGLEVEL_INFO, "main", "Kestrix started");
    const auto lines = read_lines(m_log.get_filename());
    ASSERT_EQ(lines.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kLineFormat)) << lines[0];
    EXPECT_GE(std::stoi(m[3]), 2000); // day-month-year
    EXPECT_EQ(m[7], "I");
    EXPECT_EQ(m[8], "main");
    EXPECT_EQ(m[9], "Kestrix started");
}

// A formatted message keeps at most 511 characters, whatever the format made of it.
TEST_F(CDebugLogTest, FormattedMessageIsCutAt511Characters) {
    for (const size_t length : {size_t{510}, size_t{511}, size_t{512}, size_t{2000}}) {
        SCOPED_TRACE(length);
        fs::remove(m_log.get_filename());
        const std::string text(length, 'x');
        m_log.LogMsgFmt(LOGLEVEL_ERROR, "port", "%s", text.c_str());
        const auto lines = read_lines(m_log.get_filename());
        ASSERT_EQ(lines.size(), 1u);
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[0], m, kLineFormat)) << lines[0];
        EXPECT_EQ(m[9], std::string(std::min<size_t>(length, 511), 'x'));
    }
}

TEST_F(CDebugLogTest, IsLoggableComparesWithCurrentLevel) {
    EXPECT_EQ(m_log.get_log_level(), LOGLEVEL_NONE);
    EXPECT_FALSE(m_log.IsLoggable(LOGLEVEL_ERROR));
    m_log.set_log_level(LOGLEVEL_INFO);
    EXPECT_TRUE(m_log.IsLoggable(LOGLEVEL_ERROR));
    EXPECT_TRUE(m_log.IsLoggable(LOGLEVEL_INFO));
    EXPECT_FALSE(m_log.IsLoggable(LOGLEVEL_DEBUG));
}

TEST_F(CDebugLogTest, LinesFromSeveralThreadsNeverInterleave) {
    constexpr int kThreads = 4;
    constexpr int kLinesEach = 200;
    std::vector<std::thread> threads;
    m_log.set_log_level(LOGLEVEL_DEBUG);
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([this, t] {
            // Long lines make a torn write visible as a line of mixed letters.
            const std::string text(400, static_cast<char>('a' + t));
            for (int i = 0; i < kLinesEach; ++i) {
                if (m_log.IsLoggable(LOGLEVEL_DEBUG))
                    m_log.LogMsg(LOGLEVEL_DEBUG, std::to_string(t).c_str(), text.c_str());
            }
        });
    }
    for (auto& t : threads)
        t.join();

    const auto lines = read_lines(m_log.get_filename());
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesEach));
    int per_thread[kThreads] = {};
    for (const auto& line : lines) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(line, m, kLineFormat)) << line;
        const int t = std::stoi(m[8]);
        ASSERT_TRUE(t >= 0 && t < kThreads);
        EXPECT_EQ(m[9], std::string(400, static_cast<char>('a' + t)));
        ++per_thread[t];
    }
    for (int count : per_thread)
        EXPECT_EQ(count, kLinesEach);
}

// ---- encoders ----

TEST_F(CDebugLogTest, EncodeBinGroupsOfFourBytes) {
    EXPECT_EQ(encode_bin({}), "");
    EXPECT_EQ(encode_bin({0x1B}), "1B");
    EXPECT_EQ(encode_bin({0x01, 0x02, 0xA0, 0xFF}), "0102A0FF");
    EXPECT_EQ(encode_bin({0x01, 0x02, 0xA0, 0xFF, 0x1B}), "0102A0FF 1B");
    EXPECT_EQ(encode_bin({0, 1, 2, 3, 4, 5, 6, 7}), "00010203 04050607");
    const std::string nine = encode_bin({0, 1, 2, 3, 4, 5, 6, 7, 0xab});
    EXPECT_EQ(nine, "00010203 04050607 AB");
    EXPECT_EQ(nine.size(), 20u);
}

TEST_F(CDebugLogTest, EncodeTextEscapesControlAndNonAsciiBytes) {
    const struct {
        std::string bytes;
        const char* text;
    } rows[] = {
        {"", ""},
        {"AT+Z ~", "AT+Z ~"},
        {"\r\n\xC3", "\\r\\n\\xC3"},
        {"\\", "\\\\"},
        {"\t", "\\t"},
        {std::string("\0\x1F\x7F\x80\xFF", 5), "\\x00\\x1F\\x7F\\x80\\xFF"},
        {"a\\n", "a\\\\n"}, // a backslash before a letter stays distinguishable from a line feed
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        std::string out = "garbage";
        CDebugLog::EncodeLogText(row.bytes.data(), row.bytes.size(), out);
        EXPECT_EQ(out, row.text);
    }
    EXPECT_STREQ(CDebugLog::EncodeLogData("a\n", 2, false), "a\\n");
    EXPECT_STREQ(CDebugLog::EncodeLogData("a\n", 2, true), "610A");
}
