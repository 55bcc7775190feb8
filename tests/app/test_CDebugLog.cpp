// The debug log against a real file in a temporary folder: line format, levels, the two encoders, the
// 511-character cut, clearing, and lines written by several threads at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

#include "app/CDebugLog.h"

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

std::string encode_text(const std::string& text) {
    std::string out = "garbage";
    CDebugLog::EncodeLogText(text.data(), text.size(), out);
    return out;
}
} // namespace

class CDebugLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("kestrix_log_" + std::to_string(getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_log.set_filename(m_dir / "kestrix.log");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
    CDebugLog m_log;
};

// ---- line format ----

TEST_F(CDebugLogTest, LineHasTimeStampLevelTagAndText) {
    m_log.LogMsg(LOGLEVEL_INFO, "main", "Kestrix started");
    const auto lines = read_lines(m_log.get_filename());
    ASSERT_EQ(lines.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kLineFormat)) << lines[0];
    EXPECT_LE(std::stoi(m[1]), 31);
    EXPECT_LE(std::stoi(m[2]), 12);
    EXPECT_GE(std::stoi(m[3]), 2000);
    EXPECT_EQ(m[7], "I");
    EXPECT_EQ(m[8], "main");
    EXPECT_EQ(m[9], "Kestrix started");
}

TEST_F(CDebugLogTest, EachLevelHasItsMark) {
    m_log.LogMsg(LOGLEVEL_NONE, "t", "a");
    m_log.LogMsg(LOGLEVEL_ERROR, "t", "b");
    m_log.LogMsg(LOGLEVEL_WARNING, "t", "c");
    m_log.LogMsg(LOGLEVEL_INFO, "t", "d");
    m_log.LogMsg(LOGLEVEL_DEBUG, std::string("/dev/ttyUSB0"), std::string("e"));
    const auto lines = read_lines(m_log.get_filename());
    ASSERT_EQ(lines.size(), 5u);
    const char* marks = "-EWID";
    for (size_t i = 0; i < lines.size(); ++i) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(lines[i], m, kLineFormat)) << lines[i];
        EXPECT_EQ(m[7], std::string(1, marks[i]));
    }
    EXPECT_NE(lines[4].find("[D /dev/ttyUSB0] e"), std::string::npos);
}

// Callers test IsLoggable; a message handed over is always written, after what the file held.
TEST_F(CDebugLogTest, MessagesAreAppendedWhateverTheLevel) {
    std::ofstream(m_log.get_filename()) << "earlier line\n";
    m_log.set_log_level(LOGLEVEL_NONE);
    m_log.LogMsg(LOGLEVEL_DEBUG, "main", "later");
    const auto lines = read_lines(m_log.get_filename());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "earlier line");
}

// ---- levels ----

TEST_F(CDebugLogTest, IsLoggableComparesWithCurrentLevel) {
    EXPECT_EQ(m_log.get_log_level(), LOGLEVEL_NONE);
    EXPECT_FALSE(m_log.IsLoggable(LOGLEVEL_ERROR));
    m_log.set_log_level(LOGLEVEL_INFO);
    EXPECT_TRUE(m_log.IsLoggable(LOGLEVEL_ERROR));
    EXPECT_TRUE(m_log.IsLoggable(LOGLEVEL_INFO));
    EXPECT_FALSE(m_log.IsLoggable(LOGLEVEL_DEBUG));
}

// ---- formatted messages ----

TEST_F(CDebugLogTest, FormattedMessageIsCutAt511) {
    const std::string text(600, 'q');
    m_log.LogMsgFmt(LOGLEVEL_DEBUG, "COM3", ">> (%d) %s", 3, "010203");
    m_log.LogMsgFmt(LOGLEVEL_INFO, "t", "%s", text.c_str());
    m_log.LogMsgFmt(LOGLEVEL_INFO, "t", "%s", text.substr(0, 511).c_str());
    const auto lines = read_lines(m_log.get_filename());
    ASSERT_EQ(lines.size(), 3u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, kLineFormat));
    EXPECT_EQ(m[9], ">> (3) 010203");
    ASSERT_TRUE(std::regex_match(lines[1], m, kLineFormat));
    EXPECT_EQ(m[9], text.substr(0, 511));
    ASSERT_TRUE(std::regex_match(lines[2], m, kLineFormat));
    EXPECT_EQ(m[9].length(), 511);
}

// ---- clearing and unwritable files ----

TEST_F(CDebugLogTest, ClearCreatesOrEmptiesTheFile) {
    for (const bool existing : {false, true}) {
        if (existing)
            m_log.LogMsg(LOGLEVEL_INFO, "t", "x");
        ASSERT_EQ(existing, fs::exists(m_log.get_filename()));
        m_log.clear();
        ASSERT_TRUE(fs::exists(m_log.get_filename()));
        EXPECT_EQ(fs::file_size(m_log.get_filename()), 0u);
    }
}

TEST_F(CDebugLogTest, UnopenableFileLosesMessageSilently) {
    m_log.set_filename(m_dir / "no-such-folder" / "kestrix.log");
    EXPECT_NO_THROW(m_log.LogMsg(LOGLEVEL_ERROR, "t", "lost"));
    EXPECT_NO_THROW(m_log.LogMsgFmt(LOGLEVEL_ERROR, "t", "%s", "lost"));
    EXPECT_NO_THROW(m_log.clear());
    EXPECT_FALSE(fs::exists(m_dir / "no-such-folder"));
}

TEST_F(CDebugLogTest, NoFileNameLogsNothing) {
    CDebugLog log;
    EXPECT_NO_THROW(log.LogMsg(LOGLEVEL_ERROR, "t", "lost"));
    EXPECT_TRUE(fs::is_empty(m_dir));
}

// ---- threads ----

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

TEST_F(CDebugLogTest, EncodeLogDataBufferBelongsToItsThread) {
    const unsigned char main_bytes[] = {0x01, 0x02};
    const char* main_text = CDebugLog::EncodeLogData(main_bytes, sizeof(main_bytes), true);
    std::thread other([] {
        const unsigned char bytes[] = {0xAA, 0xBB, 0xCC, 0xDD, 0xEE};
        for (int i = 0; i < 100; ++i)
            EXPECT_STREQ(CDebugLog::EncodeLogData(bytes, sizeof(bytes), true), "AABBCCDD EE");
    });
    other.join();
    EXPECT_STREQ(main_text, "0102");
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

TEST_F(CDebugLogTest, EncodeTextEscapesControlAndHighBytes) {
    EXPECT_EQ(encode_text(""), "");
    EXPECT_EQ(encode_text("ok 12"), "ok 12");
    EXPECT_EQ(encode_text("\r\n\xC3"), "\\r\\n\\xC3");
    EXPECT_EQ(encode_text("\\"), "\\\\");
    EXPECT_EQ(encode_text("\t"), "\\t");
    EXPECT_EQ(encode_text(std::string("\x00\x1f\x7f\x80\xff", 5)), "\\x00\\x1F\\x7F\\x80\\xFF");
    EXPECT_EQ(encode_text(" ~"), " ~");
}

TEST_F(CDebugLogTest, EncodeLogDataChoosesTheEncoder) {
    const char bytes[] = "a\n";
    EXPECT_STREQ(CDebugLog::EncodeLogData(bytes, 2, true), "610A");
    EXPECT_STREQ(CDebugLog::EncodeLogData(bytes, 2, false), "a\\n");
    EXPECT_STREQ(CDebugLog::EncodeLogData(bytes, 0, false), "");
}
