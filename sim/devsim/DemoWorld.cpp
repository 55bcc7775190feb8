// Contents of the demonstration world, built from the controller's own layout.
#include "sim/devsim/DemoWorld.h"

namespace devsim {

namespace {
constexpr int kNormal = 1, kBlocking = 2, kMaster = 3, kInactive = 4;
constexpr int kDs1996Type = 2; // a DS1996L carries the Q4 layout of an 8 KB memory

SimKey full_key(std::array<uint8_t, 6> number_lsb_first, int attr) {
    return {number_lsb_first, false, attr};
}
SimKey short_key(uint8_t b0, uint8_t b1, uint8_t b2, int attr) {
    return {{b0, b1, b2, 0, 0, 0}, true, attr};
}
} // namespace

std::vector<SimKey> demo_controller_keys() {
    return {full_key({0x2C, 0x1B, 0x0A, 0x00, 0x00, 0x00}, kNormal),   // 0000000A1B2C, Em-Marine 010,06956
            full_key({0xA9, 0xE2, 0xF4, 0x01, 0x00, 0x00}, kMaster),   // 000001F4E2A9
            full_key({0x39, 0x30, 0x07, 0x00, 0x00, 0x00}, kBlocking), // 007,12345
            short_key(0x56, 0x34, 0x12, kNormal),                      // short 123456
            full_key({0xFE, 0xCA, 0x33, 0x00, 0x00, 0x00}, kInactive)};
}

std::vector<SimKey> demo_ds1996_keys() {
    return {full_key({0x11, 0x22, 0x33, 0x44, 0x05, 0x00}, kNormal),
            full_key({0x01, 0x00, 0x64, 0x00, 0x00, 0x00}, kMaster)}; // 100,00001
}

void load_demo(CWorld& world) {
    world.set_controller_type(2);
    world.set_controller_keys(demo_controller_keys(), kDefaultLockCode);
    std::vector<uint8_t> key(CAdapterSim::kDs1996Size, 0xFF);
    key[1] = 0x00;
    Image_BuildQ4(demo_ds1996_keys(), kDefaultLockCode, key, kDs1996Type);
    key[0] = kFormatComplete;
    world.set_ds1996_memory(std::move(key));
}

} // namespace devsim
