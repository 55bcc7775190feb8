// Key-reading mode end to end: the idle worker scanning the simulated adapter's reader.
#include "adapter/OpsFixture.h"
#include "common/TestFiles.h"

#include <regex>

#include "sim/devsim/M6Wire.h"

using namespace ops;

class ModeComTest : public COpsTest {
protected:
    CardType key_type() {
        CardType type;
        CCardUID number;
        thread.GetCurrentKey(type, number);
        return type;
    }
    CCardUID key_number() {
        CardType type;
        CCardUID number;
        thread.GetCurrentKey(type, number);
        return number;
    }
    size_t count_lines(const std::string& text) {
        std::lock_guard lock(mutex);
        return static_cast<size_t>(std::count(statuses.begin(), statuses.end(), text));
    }
    std::string log_text() { return test::read_text(dir / "kestrix.log"); }
    // Frames the adapter has sent so far, for waiting on further scan cycles.
    uint64_t frames() { return world.counters().key_frames_out; }
};

TEST_F(ModeComTest, ADallasKeyIsReportedOnceAndClearedAfterRemoval) {
    const auto rom = devsim::make_rom(0x01, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
    world.touch_dallas(rom);
    connect_pty();
    ASSERT_TRUE(wait_until([&] { return key_type() == CT_DALLAS; }));
    const uint8_t number[6] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    EXPECT_EQ(CCardUID(number, 6), key_number());
    const uint64_t seen = frames();
    ASSERT_TRUE(wait_until([&] { return frames() >= seen + 3; }));
    EXPECT_EQ(1u, count_lines("DS1990A ID code = 66 55 44 33 22 11"));
    world.remove_key();
    ASSERT_TRUE(wait_until([&] { return key_type() == CT_UNKNOWN && key_number().empty(); }));
}

TEST_F(ModeComTest, AFrameWithABadChecksumIsLoggedAndStillShown) {
    const auto rom = devsim::make_rom(0x0C, {1, 2, 3, 4, 5, 6});
    world.inject(devsim::Fault::BadKeyCrc, 1);
    world.touch_dallas(rom);
    connect_pty();
    ASSERT_TRUE(wait_until([&] { return key_type() == CT_DALLAS; }));
    EXPECT_EQ(1u, count_lines("DS1996L ID code = 06 05 04 03 02 01"));
    char expected[8];
    std::snprintf(expected, sizeof expected, "0x%.2X", rom[7]);
    const std::string log = log_text();
    EXPECT_TRUE(std::regex_search(log, std::regex("Invalid CRC 0x[0-9A-F]{2} != " + std::string(expected))))
        << log;
}

TEST_F(ModeComTest, AnEmMarineCardIsReportedWithItsCardType) {
    thread.set_scan_key_type(SCAN_KEY_EM_MARINE);
    world.present_em_marine(0x12, 0x3456);
    connect_pty();
    ASSERT_TRUE(wait_until([&] { return key_type() == CT_EM_MARINE; }));
    EXPECT_EQ(0x56, key_number().bytes[0]);
    EXPECT_EQ(0x34, key_number().bytes[1]);
    EXPECT_EQ(0x12, key_number().bytes[2]);
    EXPECT_EQ(1u, count_lines("EM-Marine ID code = 00 00 00 12 34 56"));
}

TEST_F(ModeComTest, Kf300FramesAreReportedEveryTime) {
    thread.set_scan_key_type(SCAN_KEY_KF300);
    world.present_kf300({0x2A, 0x39, 0x30, 0x07, 0x21});
    connect_pty();
    ASSERT_TRUE(wait_until([&] { return key_type() == CT_COD433_FIX; }));
    const std::string line = "Cod433 Fix[21] 007,12345";
    ASSERT_TRUE(wait_until([&] { return count_lines(line) >= 3; })) << count_lines(line);
}

TEST_F(ModeComTest, DifferentKf300CodesRecombineTheNibbles) {
    thread.set_scan_key_type(SCAN_KEY_KF300);
    thread.set_different_kf300(true);
    world.present_kf300({0x10, 0x01, 0x02, 0x34, 0x56});
    connect_pty();
    // The history line may come before the current key is handed over: wait for both.
    ASSERT_TRUE(wait_until(
        [&] { return count_lines("KF[16] ID code = 53 64 02 01") >= 1 && key_number().length != 0; }));
    EXPECT_EQ(CT_UNKNOWN, key_type());
    EXPECT_EQ(0x64, key_number().bytes[2]);
    EXPECT_EQ(0x53, key_number().bytes[3]);
}

TEST_F(ModeComTest, Kf300FallsBackToDallasOnOtherAdapters) {
    thread.set_scan_key_type(SCAN_KEY_KF300);
    world.touch_dallas(devsim::make_rom(0x01, {9, 8, 7, 6, 5, 4}));
    connect_pty(2);
    ASSERT_TRUE(wait_until([&] { return key_type() == CT_DALLAS; }));
    EXPECT_EQ(devsim::ScanMode::Dallas, world.scan_mode());
}

TEST_F(ModeComTest, ASilentAdapterIsReportedAndScanningResumesWhenItAnswers) {
    world.inject(devsim::Fault::Silence, 0);
    connect_pty();
    ASSERT_TRUE(wait_until([&] { return count_lines("No response for initialization") >= 1; }));
    EXPECT_EQ(CAdapterThread::POWER_NONE, thread.GetPowerMode());
    world.clear_faults();
    ASSERT_TRUE(wait_until([&] { return thread.GetComMode() == CAdapterThread::COM_SCANNING; }));
    ASSERT_TRUE(wait_until([&] { return thread.GetStatusText().empty(); }));
}
