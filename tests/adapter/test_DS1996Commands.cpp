// The DS1996L commands end to end: a key on the simulated adapter's reader, read and written page by page.
#include "adapter/OpsFixture.h"

#include "sim/devsim/M6Wire.h"

using namespace ops;

class DS1996CommandsTest : public COpsTest {
protected:
    void SetUp() override {
        COpsTest::SetUp();
        world.with_adapter(
            [](devsim::CAdapterSim& a) { a.config().key_delay = std::chrono::milliseconds(1); });
    }
};

TEST_F(DS1996CommandsTest, PreparingWritesTheReadyPage0KeepingByte2) {
    Bytes memory(8192, 0x5A);
    world.set_ds1996_memory(memory);
    world.touch_ds1996();
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartDS1996Prepare(); }));
    Bytes page0(32, 0xFF);
    page0[0] = 0x01;
    page0[1] = 0x00;
    page0[2] = 0x5A;
    page0[4] = 0xD1;
    page0[5] = 0x15;
    page0[11] = 0x80;
    page0[12] = 0x04;
    EXPECT_BYTES_EQ(page0, slice(world.ds1996_memory(), 0, 32));
    const std::vector<std::string> expected = {"Preparing the DS1996L", "Preparation completed successfully"};
    EXPECT_EQ(expected, history());
}

TEST_F(DS1996CommandsTest, ADs1990aInsteadOfADs1996lIsRefused) {
    world.touch_dallas(devsim::make_rom(0x01, {1, 2, 3, 4, 5, 6}));
    connect_pty();
    EXPECT_FALSE(run([&] { thread.StartDS1996ToDb(); }));
    EXPECT_EQ("The key is not a DS1996L", history().back());
}

TEST_F(DS1996CommandsTest, NoKeyWithinTheWaitEndsTheCommand) {
    connect_pty();
    EXPECT_FALSE(run([&] { thread.StartDS1996ToFile(); }));
    EXPECT_EQ("No touch of the key DS1996L! Reading has been cancelled", history().back());
    EXPECT_TRUE(saw_status("Waiting DS1996L"));
}

TEST_F(DS1996CommandsTest, AFreshlyPreparedKeyAsksKind0WithCode1) {
    world.touch_ds1996();
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartDS1996Prepare(); }));
    answer = false;
    EXPECT_FALSE(run([&] { thread.StartDS1996ToDb(); }));
    ASSERT_EQ(1u, asked().size());
    EXPECT_EQ(CAdapterThread::ASK_DS1996_CONTENT, asked()[0].kind);
    EXPECT_EQ(1u, asked()[0].param);
    EXPECT_EQ("Reading has not been completed, please try again", history().back());
}

TEST_F(DS1996CommandsTest, AFileWrittenToTheKeyReadsBackIdentical) {
    Bytes file(8192);
    for (size_t i = 0; i < file.size(); ++i)
        file[i] = static_cast<uint8_t>((i * 31 + 7) ^ (i >> 8));
    world.touch_ds1996();
    connect_pty();
    std::vector<unsigned char> handed(file);
    thread.set_cmd_file_data(handed);
    ASSERT_TRUE(run([&] { thread.StartDS1996FromFile(); }));
    EXPECT_TRUE(saw_status("Recording to DS1996L 100 %"));
    EXPECT_BYTES_EQ(file, world.ds1996_memory());
    ASSERT_TRUE(run([&] { thread.StartDS1996ToFile(); }));
    std::vector<unsigned char> back;
    thread.get_cmd_file_data(back);
    EXPECT_BYTES_EQ(file, back);
}

TEST_F(DS1996CommandsTest, AKeyListWrittenToTheKeyReadsBackWithItsLockCode) {
    keys_to_give = many_keys(40);
    lock_to_give = 0x0150;
    world.touch_ds1996();
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartDS1996FromDb(); }));
    EXPECT_EQ(1363u, asked().at(0).param);
    EXPECT_EQ(0x33, world.ds1996_memory()[0]);
    thread.SetDbData({}, 0);
    ASSERT_TRUE(run([&] { thread.StartDS1996ToDb(); }));
    EXPECT_TRUE(asked().empty());
    const auto [keys, lock] = db_data();
    EXPECT_EQ(0x0150, lock);
    ASSERT_EQ(40u, keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(keys_to_give[i].number, keys[i].number) << i;
        EXPECT_EQ(keys_to_give[i].attr, keys[i].attr) << i;
    }
}

// No end record on the whole key: every page is read and the list stops at the end of the image.
TEST_F(DS1996CommandsTest, AKeyWithoutEndRecordIsReadToItsEndAndNoFurther) {
    Bytes memory(8192, 0x00);
    memory[0] = 0x33;
    world.set_ds1996_memory(memory);
    world.touch_ds1996();
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartDS1996ToDb(); }));
    const auto [keys, lock] = db_data();
    EXPECT_EQ((8192u - 6) / 6, keys.size());
}
