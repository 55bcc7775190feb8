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

TEST_F(M6Protocol, CommandWithoutDataIsClosedByItsChecksum) {
    EXPECT_BYTES_EQ((std::vector<uint8_t>{0x11, 0x95}), frame(0x11));
    EXPECT_BYTES_EQ((std::vector<uint8_t>{0x1A, 0x8C}), frame(0x1A));
}

TEST_F(M6Protocol, PageReadRequestCarriesTheAddressLowByteFirst) {
    EXPECT_BYTES_EQ((std::vector<uint8_t>{0x19, 0x20, 0x00, 0x6D}), frame(0x19, {0x20, 0x00}));
}

TEST_F(M6Protocol, WakeIsOneByteWithoutChecksum) {
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

TEST_F(M6Protocol, SingleByteAnswersDecodeToTheirCodes) {
    EXPECT_EQ(kM6CodeAck, decode({0xAA}).code);
    EXPECT_EQ(kM6CodeAck, decode({0xAB}).code);
    EXPECT_EQ(kM6CodeError, decode({0x55}).code);
    const M6Response info = decode({0xF1});
    EXPECT_EQ(kM6CodeInfo, info.code);
    EXPECT_EQ("0xF1", info.info);
    EXPECT_EQ(1u, info.length);
}

TEST_F(M6Protocol, ControllerNotFoundIsAnAnswerOnlyWhileTheControllerIsRead) {
    EXPECT_EQ(M6Response::Kind::Hold, decode({0xF0}).kind);
    const M6Response r = decode({0xF0}, true);
    EXPECT_EQ(M6Response::Kind::Complete, r.kind);
    EXPECT_EQ(kM6CodeNotFound, r.code);
}

TEST_F(M6Protocol, DoneRepliesAndUnknownReplies) {
    EXPECT_EQ(kM6CodeDone, decode({0xCC, 0x00}).code);
    EXPECT_EQ(kM6CodeDone, decode({0xCC, 0x41}).code);
    const M6Response other = decode({0xCC, 0x7E, 0x01});
    EXPECT_EQ(kM6CodeInfo, other.code);
    EXPECT_EQ("0x7E", other.info);
    EXPECT_EQ(2u, other.length);
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
