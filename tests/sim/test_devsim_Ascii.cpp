// The adapter's ASCII protocol at 9600 baud over the pseudo-terminal: "t57" lines write and reset the Temic
// tag on the reader, with the replies the program looks for.
#include <gtest/gtest.h>

#include "sim/devsim/CWorld.h"
#include "test_devsim_helpers.h"

using namespace devsim_test;

namespace {

class DevsimAscii : public ::testing::Test {
protected:
    devsim::CWorld world;
    CSerialEnd port{world.pty_path(), 9600};
    void SetUp() override { world.touch_temic(); }
};

} // namespace

TEST_F(DevsimAscii, BlockWriteIsStoredAndAnsweredOk) {
    port.write(std::string("t57 01 02 11 22 33 44 02 00\r"));
    EXPECT_EQ("OK\r\n", port.read_line());
    const devsim::TemicTag tag = world.temic();
    EXPECT_EQ(0x44332211u, tag.blocks[2]);
    ASSERT_EQ(1u, tag.writes.size());
    EXPECT_EQ(1, tag.writes[0].line_code);
    EXPECT_EQ(2, tag.writes[0].block);
    EXPECT_EQ(2, tag.writes[0].mode);
    EXPECT_EQ(0, tag.writes[0].option);
    EXPECT_FALSE(tag.writes[0].has_password);
}

TEST_F(DevsimAscii, PasswordLineCarriesPasswordBeforeData) {
    port.write(std::string("t57 03 01 78 56 34 12 00 08 80 48 04 00\r"));
    EXPECT_EQ("OK\r\n", port.read_line());
    const devsim::TemicTag tag = world.temic();
    ASSERT_EQ(1u, tag.writes.size());
    EXPECT_TRUE(tag.writes[0].has_password);
    EXPECT_EQ(0x12345678u, tag.writes[0].password);
    EXPECT_EQ(0x48800800u, tag.blocks[1]);
}

TEST_F(DevsimAscii, ResetIsCountedAndLeadingLineFeedIgnored) {
    port.write(std::string("\nt57 00\r"));
    EXPECT_EQ("OK\r\n", port.read_line());
    EXPECT_EQ(1, world.temic().resets);
}

// A failed write says so once, then the next write takes; without a tag every write says there is none.
TEST_F(DevsimAscii, FailedWriteAndMissingTagAnswerWithTheirErrors) {
    const std::string line = "t57 01 00 00 08 80 48 04 00\r";
    world.inject(devsim::Fault::TemicNoWrite, 1);
    for (const char* answer : {"err: no write t5557\r\n", "OK\r\n"}) {
        port.write(line);
        EXPECT_EQ(answer, port.read_line());
    }
    world.remove_key();
    port.write(line);
    EXPECT_EQ("err: no t5557\r\n", port.read_line());
}

TEST_F(DevsimAscii, NoCardLineMayPrecedeTheAnswer) {
    world.inject(devsim::Fault::NoCard, 1);
    port.write(std::string("t57 00\r"));
    EXPECT_EQ("No card\r\n", port.read_line());
    EXPECT_EQ("OK\r\n", port.read_line());
}

TEST_F(DevsimAscii, MalformedLinesAreRefused) {
    for (const char* line : {"t57 01 02 11 22\r", "t57 01 09 00 00 00 00 02 00\r", "hello\r", "t57 zz\r"}) {
        port.write(std::string(line));
        EXPECT_EQ("err: bad command\r\n", port.read_line()) << line;
    }
}

TEST_F(DevsimAscii, BackAt38400TheAdapterSpeaksM6Again) {
    port.write(std::string("t57 00\r"));
    EXPECT_EQ("OK\r\n", port.read_line());
    port.set_line(38400, true);
    port.write(std::vector<uint8_t>{0x00});
    EXPECT_EQ(std::vector<uint8_t>{0xAA}, port.read(1));
}
