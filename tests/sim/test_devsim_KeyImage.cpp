// The controller layouts the simulator builds its memories from: Q4 and Q6 images byte by byte against the
// controller's conventions, and decoding back.
#include <gtest/gtest.h>

#include "sim/devsim/CControllerSim.h"
#include "sim/devsim/DemoWorld.h"
#include "sim/devsim/KeyImage.h"

using bytes = std::vector<uint8_t>;

TEST(DevsimKeyImage, EmptyListIsOneEndRecordInEitherLayout) {
    bytes q4(8192, 0xFF);
    EXPECT_EQ(12u, devsim::Image_BuildQ4({}, 46, q4, 2));
    EXPECT_EQ((bytes{0xFF, 0xD1, 0x15}), bytes(q4.begin() + 3, q4.begin() + 6));
    EXPECT_EQ(0xE0, q4[11]);
    bytes q6(32768, 0xFF);
    EXPECT_EQ(5471u, devsim::Image_BuildQ6({}, 46, q6, 4));
    EXPECT_EQ((bytes{0x7A, 0xFF}), bytes(q6.begin() + 5, q6.begin() + 7));
    EXPECT_EQ(0xE0, q6[5470]);
}

TEST(DevsimKeyImage, Q4ListIsCutAtTheCapacity) {
    std::vector<devsim::SimKey> keys(700, devsim::SimKey{{1, 2, 3, 4, 5, 6}, false, 1});
    bytes image(4096, 0xFF);
    EXPECT_EQ(4092u, devsim::Image_BuildQ4(keys, 46, image, 1));
    EXPECT_EQ(0xE0, image[4091]);
    EXPECT_EQ(680u, devsim::Image_DecodeQ4(image).size());
}

TEST(DevsimKeyImage, RecordsCarryNumberFlagsAndAttributes) {
    const std::vector<devsim::SimKey> keys{{{0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, false, 1},
                                           {{0x56, 0x34, 0x12, 0, 0, 0}, true, 4}};
    bytes q4(8192, 0xFF);
    devsim::Image_BuildQ4(keys, 46, q4, 2);
    EXPECT_EQ((bytes{0x01, 0x02, 0x03, 0x04, 0x05, 0x46, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0x10}),
              bytes(q4.begin() + 6, q4.begin() + 18));
    EXPECT_EQ(keys, devsim::Image_DecodeQ4(q4));
    bytes q6(16384, 0xFF);
    devsim::Image_BuildQ6(keys, 46, q6, 3);
    EXPECT_EQ((bytes{0x01, 0x56, 0xFF}), bytes(q6.begin() + 6, q6.begin() + 9));
    EXPECT_EQ((bytes{0x02, 0x03, 0x04, 0x05, 0x46}), bytes(q6.begin() + 2735, q6.begin() + 2740));
    EXPECT_EQ(keys, devsim::Image_DecodeQ6(q6, 3));
}

TEST(DevsimKeyImage, ControllerKeepsDemoKeysInEitherLayout) {
    for (int type = 1; type <= 4; ++type) {
        devsim::CControllerSim controller;
        controller.set_type(type);
        controller.set_keys(devsim::demo_controller_keys(), 0x0123);
        EXPECT_EQ(devsim::demo_controller_keys(), controller.keys()) << "type " << type;
        EXPECT_EQ(0x0123, devsim::Image_LockCode(controller.memory()));
        EXPECT_EQ(devsim::demo_controller_keys(), devsim::Image_DecodeQ4(controller.base_as_q4()));
    }
}

TEST(DevsimKeyImage, LoadedMemoryIsTypedByItsCodeAndSize) {
    devsim::CControllerSim controller;
    bytes memory(32768, 0xFF);
    memory[5] = 0x7A;
    controller.set_memory(memory);
    EXPECT_EQ(4, controller.type());
    memory[5] = 0x15; // the 8 KB code in a 32 KB memory
    controller.set_memory(memory);
    EXPECT_EQ(0, controller.type());
}

TEST(DevsimKeyImage, ClearingAnUnknownMemoryKeepsItsCode) {
    devsim::CControllerSim controller;
    controller.set_unknown(8192, 0x42);
    controller.set_keys({}, 46);
    EXPECT_EQ(0x42, controller.memory()[5]);
    EXPECT_TRUE(controller.keys().empty());
}

TEST(DevsimKeyImage, SmallControllerCutsALongerBaseAtItsCapacity) {
    std::vector<devsim::SimKey> keys(1000, devsim::SimKey{{1, 2, 3, 4, 5, 6}, false, 1});
    bytes q4(8192, 0xFF);
    devsim::Image_BuildQ4(keys, 46, q4, 2);
    q4[0] = 0x33;
    devsim::CControllerSim controller;
    controller.set_type(1);
    controller.take_base_from_q4(q4);
    EXPECT_EQ(680u, controller.keys().size());
    EXPECT_EQ(0xE0, controller.memory()[4091]);
}
