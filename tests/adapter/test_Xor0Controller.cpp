// Controllers with the Xor0 firmware keep the XOR of a key's number bytes as its Q6 index byte; with the Xor0
// setting the program writes such a controller's list and reads it back.
#include "adapter/OpsFixture.h"

using namespace ops;

class Xor0ControllerTest : public COpsTest {};

TEST_F(Xor0ControllerTest, AKeyListRoundTripsThroughAnXor0Controller) {
    world.set_controller_type(4);
    world.with_adapter([](devsim::CAdapterSim& a) { a.controller().set_xor0(true); });
    thread.set_xor_mode(true);
    keys_to_give = many_keys(40);
    m6::_db_key short_key;
    const uint8_t bytes[3] = {0x0A, 0x0B, 0x0C};
    short_key.number = CCardUID(bytes, 3);
    short_key.is_short = true;
    short_key.attr = KA_MASTER;
    keys_to_give.push_back(short_key);
    connect_pty();
    ASSERT_TRUE(run([&] { thread.StartQ4tFromDb(); })) << seen_text();
    const std::vector<devsim::SimKey> stored = world.controller_keys();
    ASSERT_EQ(keys_to_give.size(), stored.size());
    for (size_t i = 0; i < stored.size(); ++i) {
        const size_t n = stored[i].short_key ? 3 : 6;
        EXPECT_EQ(0, std::memcmp(stored[i].number.data(), keys_to_give[i].number.bytes, n)) << i;
    }
    thread.SetDbData({}, 0);
    ASSERT_TRUE(run([&] { thread.StartQ4tToDb(); })) << seen_text();
    const auto [keys, lock] = db_data();
    ASSERT_EQ(keys_to_give.size(), keys.size());
    for (size_t i = 0; i < keys.size(); ++i)
        EXPECT_EQ(keys_to_give[i].number, keys[i].number) << i;
}
