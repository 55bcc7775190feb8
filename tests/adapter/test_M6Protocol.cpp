// The adapter's wire formats without a port: M6 frames and checksums, the decoding of adapter responses and
// the reception of ASCII lines. Frames are compared byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "adapter/AsciiLine.h"
#include "adapter/M6Response.h"
#include "common/HexDiff.h"
#include "keys/KeyNumber.h"

namespace {

std::vector<uint8_t> frame(uint8_t cmd, std::vector<uint8_t> data = {}) {
    std::vector<uint8_t> out;
    M6_BuildFrame(cmd, data.data(), data.size(), out);
    return out;
}

M6Response decode(const std::vector<uint8_t>& bytes, bool f0_is_reply = false) {
    return M6_DecodeResponse(bytes.data(), bytes.size(), f0_is_reply);
}

// A page answer CC 40 D1..D32 CS with a correct checksum.
std::vector<uint8_t> page_reply(uint8_t fill) {
    std::vector<uint8_t> r = {kM6Reply, kM6ReplyPage};
    for (int i = 0; i < 32; ++i)
        r.push_back(static_cast<uint8_t>(fill + i));
    unsigned sum = kM6ChecksumSeed;
    for (uint8_t b : r)
        sum += b;
    r.push_back(static_cast<uint8_t>(0x100 - (sum & 0xFF)));
    return r;
}

std::vector<uint8_t> take_lines(const std::string& wire, bool skip_info = false) {
    std::vector<uint8_t> bytes(wire.begin(), wire.end());
    std::vector<uint8_t> seen;
    std::string line;
    size_t pos = 0, used;
    while ((used = Ascii_TakeLine(bytes.data() + pos, bytes.size() - pos, line)) > 0) {
        pos += used;
        if (skip_info && Ascii_IsInfoLine(line))
            continue;
        seen.insert(seen.end(), line.begin(), line.end());
        seen.push_back('|');
    }
    return seen;
}

std::vector<uint8_t> bytes_of(const std::string& s) {
    return {s.begin(), s.end()};
}

} // namespace

class M6Protocol : public ::testing::Test {};

// ---- Frames ----

// A command is closed by its checksum (the page read request on the wire is checked by the worker's tests);
// the wake is one byte without one, whatever data it is given.
TEST_F(M6Protocol, FramesAreClosedByTheirChecksumExceptTheWake) {
    EXPECT_BYTES_EQ((std::vector<uint8_t>{0x11, 0x95}), frame(0x11));
    EXPECT_BYTES_EQ(std::vector<uint8_t>{0x00}, frame(0x00, {1, 2, 3}));
}

TEST_F(M6Protocol, PageWriteFrameCarriesAddressDataAndChecksum) {
    std::vector<uint8_t> data = {0x40, 0x00};
    for (uint8_t i = 0; i < 32; ++i)
        data.push_back(static_cast<uint8_t>(0xA0 + i));
    std::vector<uint8_t> expected = {0x18};
    expected.insert(expected.end(), data.begin(), data.end());
    expected.push_back(0x5E);
    EXPECT_BYTES_EQ(expected, frame(0x18, data));
}

// ---- Responses ----

// Short answers and the length each one takes from the buffer; 0xF1 and unknown 0xCC replies carry their
// text for the info status.
TEST_F(M6Protocol, ShortAnswersDecodeToTheirCodes) {
    const struct {
        std::vector<uint8_t> bytes;
        int code;
        size_t length;
        const char* info;
    } rows[] = {{{0xAA}, kM6CodeAck, 1, ""},        {{0xAB}, kM6CodeAck, 1, ""},
                {{0x55}, kM6CodeError, 1, ""},      {{0xF1}, kM6CodeInfo, 1, "0xF1"},
                {{0xCC, 0x00}, kM6CodeDone, 2, ""}, {{0xCC, 0x41}, kM6CodeDone, 2, ""},
                {{0xCC, 0x7E, 0x01}, kM6CodeInfo, 2, "0x7E"}};
    for (const auto& row : rows) {
        const M6Response r = decode(row.bytes);
        EXPECT_EQ(row.code, r.code) << int(row.bytes[0]);
        EXPECT_EQ(row.length, r.length) << int(row.bytes[0]);
        if (*row.info) {
            EXPECT_EQ(row.info, r.info);
        }
    }
}

TEST_F(M6Protocol, ControllerNotFoundIsAnAnswerOnlyWhileTheControllerIsRead) {
    EXPECT_EQ(M6Response::Kind::Hold, decode({0xF0}).kind);
    const M6Response r = decode({0xF0}, true);
    EXPECT_EQ(M6Response::Kind::Complete, r.kind);
    EXPECT_EQ(kM6CodeNotFound, r.code);
}

TEST_F(M6Protocol, PageDataIsCopiedOutWhenItsChecksumHolds) {
    const auto reply = page_reply(0x10);
    const M6Response r = decode(reply);
    ASSERT_EQ(M6Response::Kind::Complete, r.kind);
    EXPECT_EQ(kM6CodePage, r.code);
    EXPECT_EQ(35u, r.length);
    EXPECT_BYTES_EQ(std::vector<uint8_t>(reply.begin() + 2, reply.begin() + 34),
                    std::vector<uint8_t>(r.page.begin(), r.page.end()));
}

TEST_F(M6Protocol, PageDataWithChecksumOffByOneIsCodeZero) {
    auto reply = page_reply(0x10);
    reply.back() += 1;
    const M6Response r = decode(reply);
    EXPECT_EQ(M6Response::Kind::Complete, r.kind);
    EXPECT_EQ(kM6CodeBadChecksum, r.code);
}

TEST_F(M6Protocol, FramedAnswersWaitUntilTheyHaveFullyArrived) {
    const auto reply = page_reply(0);
    for (size_t n = 0; n < reply.size(); ++n)
        EXPECT_EQ(M6Response::Kind::Incomplete, M6_DecodeResponse(reply.data(), n, false).kind) << n;
    EXPECT_EQ(M6Response::Kind::Incomplete, decode({0xCC}).kind);
    EXPECT_EQ(M6Response::Kind::Incomplete, decode({0xCC, 0x20, 1, 2, 3, 4, 5, 6, 7}).kind);
}

TEST_F(M6Protocol, KeyIdentifierIsReversedAndCheckedAgainstTheDallasChecksum) {
    const uint8_t id[8] = {0x0C, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0};
    std::vector<uint8_t> reply = {0xCC, 0x20};
    const uint8_t cs = get_dallas_cs(id);
    reply.push_back(cs);
    for (int i = 6; i >= 0; --i)
        reply.push_back(id[i]);
    M6Response r = decode(reply);
    EXPECT_EQ(kM6CodeKeyId, r.code);
    EXPECT_EQ(10u, r.length);
    EXPECT_EQ(0x0C, r.key_id[0]);
    EXPECT_EQ(0x66, r.key_id[6]);
    EXPECT_EQ(cs, r.key_id[7]);
    EXPECT_TRUE(r.key_valid);

    reply[2] ^= 0x01; // last ID byte no longer the checksum: still a key, flagged invalid
    r = decode(reply);
    EXPECT_EQ(kM6CodeKeyId, r.code);
    EXPECT_FALSE(r.key_valid);
}

TEST_F(M6Protocol, UnknownFirstBytesAreDiscarded) {
    EXPECT_EQ(M6Response::Kind::Discard, decode({0x13, 0xAA}).kind);
    EXPECT_EQ(M6Response::Kind::Incomplete, decode({}).kind);
}

// ---- ASCII lines ----

TEST_F(M6Protocol, LinesEndWithCarriageReturnAndSkipLeadingLineFeeds) {
    EXPECT_BYTES_EQ(bytes_of("ok|err no t5|"), take_lines("ok\r\n\nerr no t5\r\n"));
}

TEST_F(M6Protocol, EmptyLinesAreSkippedAndAnUnfinishedLineWaits) {
    EXPECT_BYTES_EQ(bytes_of("a|"), take_lines("\r\r\n\ra\r\npartial"));
    std::string line;
    const std::vector<uint8_t> nothing = bytes_of("\n\r\rabc");
    EXPECT_EQ(0u, Ascii_TakeLine(nothing.data(), nothing.size(), line));
}

TEST_F(M6Protocol, InformationLinesAreRecognised) {
    EXPECT_TRUE(Ascii_IsInfoLine("No card"));
    EXPECT_TRUE(Ascii_IsInfoLine("NO CARD"));
    EXPECT_TRUE(Ascii_IsInfoLine("[T5557]"));
    EXPECT_FALSE(Ascii_IsInfoLine("[T5557]: ok"));
    EXPECT_FALSE(Ascii_IsInfoLine("No cards"));
    EXPECT_FALSE(Ascii_IsInfoLine("OK"));
    EXPECT_BYTES_EQ(bytes_of("OK|"), take_lines("No card\r[v2.13]\rOK\r", true));
}
