// Mifare Classic access through the stand-in reader library: a blank card lies on a connected reader of a
// temporary world; the tests authenticate, read and write through the rdx_ calls and look at the card file.
// Plain reads and writes reaching the card file are seen through the Mifare worker in tests/readers.
#include "test_rdxFixture.h"

#include "common/HexDiff.h"

#include <array>

using namespace rdxtest;
using rdxworld::CMifareCard;
using rdxworld::mf_size;

namespace {

constexpr uint64_t kOtherKey = 0x0123456789ABull;
constexpr size_t kBlock = 16;

std::vector<uint8_t> pattern(size_t blocks, uint8_t seed) {
    std::vector<uint8_t> v(blocks * kBlock);
    for (size_t i = 0; i < v.size(); ++i)
        v[i] = static_cast<uint8_t>(seed + i);
    return v;
}

} // namespace

class RdxMifare : public ::testing::Test {
protected:
    void SetUp() override {
        world.add_reader();
        uid = world.add_card(mf_size::k1, {0xC3, 0xB2, 0xA1, 0x04});
        world.put(uid);
        ASSERT_EQ(owner.status(), RDX_OK);
        reader.emplace();
        ASSERT_EQ(rdx_reader_connect(reader->get(), 0), RDX_OK);
    }
    void TearDown() override { reader.reset(); }

    CMifareCard card_file() const {
        auto card = world.world().load_card(uid);
        EXPECT_TRUE(card.has_value());
        return card.value_or(CMifareCard(mf_size::k1, {1, 2, 3, 4}));
    }
    rdx_handle h() const { return reader->get(); }

    CTempWorld world;
    CLibraryOwner owner;
    std::string uid;
    std::optional<COpenReader> reader;
};

TEST_F(RdxMifare, ManufacturerBlockIsRefused) {
    ASSERT_TRUE(reader->auth(0, kTransportKey));
    const auto before = card_file().block(0);
    const auto data = pattern(2, 0x11);
    EXPECT_EQ(rdx_reader_write_mf_classic(h(), 0, data.data(), 2, 0), RDX_E_READ_ONLY);
    EXPECT_EQ(card_file().block(0), before);
    EXPECT_EQ(card_file().block(1), CMifareCard::block_t{});
}

TEST_F(RdxMifare, UnauthenticatedSectorCannotBeReadOrWritten) {
    std::vector<uint8_t> buf(2 * kBlock);
    EXPECT_EQ(rdx_reader_read_mf_classic(h(), 4, buf.data(), 1, 0), RDX_E_NOT_AUTHENTICATED);
    ASSERT_TRUE(reader->auth(4, kTransportKey));
    EXPECT_EQ(rdx_reader_read_mf_classic(h(), 8, buf.data(), 1, 0), RDX_E_NOT_AUTHENTICATED);
    // A range may not run out of the open sector.
    EXPECT_EQ(rdx_reader_write_mf_classic(h(), 7, buf.data(), 2, 0), RDX_E_NOT_AUTHENTICATED);
    EXPECT_FALSE(reader->auth(4, kOtherKey));
    EXPECT_EQ(rdx_reader_read_mf_classic(h(), 4, buf.data(), 1, 0), RDX_E_NOT_AUTHENTICATED)
        << "a failed authentication closes the sector opened before";
}

TEST_F(RdxMifare, WritingTrailerChangesTheKeyThatGuardsTheSector) {
    ASSERT_TRUE(reader->auth(4, kTransportKey));
    std::array<uint8_t, kBlock> trailer{};
    ASSERT_EQ(rdx_reader_read_mf_classic(h(), 7, trailer.data(), 1, 0), RDX_OK);
    const std::vector<uint8_t> read_back(trailer.begin(), trailer.end());
    EXPECT_BYTES_EQ(
        (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0xFF, 0x07, 0x80, 0x69, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
        read_back); // key A never reads back
    for (size_t i = 0; i < 6; ++i)
        trailer[i] = static_cast<uint8_t>(kOtherKey >> (8 * i));
    ASSERT_EQ(rdx_reader_write_mf_classic(h(), 7, trailer.data(), 1, 0), RDX_OK);
    EXPECT_FALSE(reader->auth(4, kTransportKey));
    EXPECT_TRUE(reader->auth(4, kOtherKey));
    EXPECT_EQ(card_file().sector_key(1, 0), kOtherKey);
    EXPECT_TRUE(reader->auth(8, kTransportKey)) << "other sectors keep their key";
}

namespace {

using Bytes = std::vector<uint8_t>;

Bytes trailer_of(const Bytes& access, uint64_t key_b) {
    Bytes t(6, 0xFF);
    t.insert(t.end(), access.begin(), access.end());
    t.push_back(0x69);
    for (size_t i = 0; i < 6; ++i)
        t.push_back(static_cast<uint8_t>(key_b >> (8 * i)));
    return t;
}

} // namespace

// The access bits of sector 1 decide what key A may do there. 78 77 88: data blocks read with key A or B and
// written with key B only, trailer written with key B only, key B not readable.
TEST_F(RdxMifare, AccessConditionsDecideWhatKeyAMayDo) {
    constexpr uint64_t kKeyB = 0xB6B5B4B3B2B1ull;
    const Bytes kTransport = {0xFF, 0x07, 0x80}, kKeyBWrites = {0x78, 0x77, 0x88};
    const Bytes kBroken = {0xFF, 0x07, 0x88}; // C2 of the trailer without its complement
    enum class Op { kReadData, kWriteData, kReadTrailer, kRekeyTrailer, kWriteBrokenTrailer };
    struct Row {
        Bytes access;
        Op op;
        rdx_status status;
        Bytes read; // what a read returns (empty: not checked)
    };
    const Bytes transport_read = [&] {
        Bytes t = trailer_of(kTransport, kKeyB);
        std::fill(t.begin(), t.begin() + 6, 0);
        return t;
    }();
    const Bytes hidden_b_read = {0, 0, 0, 0, 0, 0, 0x78, 0x77, 0x88, 0x69, 0, 0, 0, 0, 0, 0};
    const Row rows[] = {
        {kTransport, Op::kWriteData, RDX_OK, {}},
        {kTransport, Op::kReadTrailer, RDX_OK, transport_read},
        {kTransport, Op::kRekeyTrailer, RDX_OK, {}},
        {kTransport, Op::kWriteBrokenTrailer, RDX_E_BAD_ACCESS_BITS, {}},
        {kKeyBWrites, Op::kReadData, RDX_OK, Bytes(16, 0)},
        {kKeyBWrites, Op::kWriteData, RDX_E_ACCESS_DENIED, {}},
        {kKeyBWrites, Op::kReadTrailer, RDX_OK, hidden_b_read},
        {kKeyBWrites, Op::kRekeyTrailer, RDX_E_ACCESS_DENIED, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << "access " << std::hex << int(row.access[0]) << " op " << static_cast<int>(row.op));
        CMifareCard card = card_file();
        const Bytes trailer = trailer_of(row.access, kKeyB);
        std::copy(trailer.begin(), trailer.end(), card.block(7).begin());
        card.block(4).fill(0);
        world.world().save_card(card);
        ASSERT_TRUE(reader->auth(4, kTransportKey));
        Bytes data(16, 0x5A);
        rdx_status status = RDX_E_FAIL;
        switch (row.op) {
        case Op::kReadData:
            status = rdx_reader_read_mf_classic(h(), 4, data.data(), 1, 0);
            break;
        case Op::kWriteData:
            status = rdx_reader_write_mf_classic(h(), 4, data.data(), 1, 0);
            break;
        case Op::kReadTrailer:
            status = rdx_reader_read_mf_classic(h(), 7, data.data(), 1, 0);
            break;
        case Op::kRekeyTrailer:
        case Op::kWriteBrokenTrailer:
            data = trailer_of(row.op == Op::kRekeyTrailer ? row.access : kBroken, kKeyB);
            data[0] = 0x11; // a new key A
            status = rdx_reader_write_mf_classic(h(), 7, data.data(), 1, 0);
            break;
        }
        EXPECT_EQ(status, row.status);
        if (!row.read.empty()) {
            EXPECT_BYTES_EQ(row.read, data);
        }
        const bool wrote = row.status == RDX_OK && (row.op == Op::kWriteData || row.op == Op::kRekeyTrailer);
        const CMifareCard after = card_file();
        EXPECT_EQ(after.block(7) == card.block(7) && after.block(4) == card.block(4), !wrote)
            << "a refused write changes nothing";
    }
}

// Faults armed in the world's faults file fire once, after the given number of operations.
TEST_F(RdxMifare, ArmedFaultsFireOnceAfterTheirCount) {
    const auto arm = [&](const std::string& line) {
        rdxworld::reader_fault fault;
        fault.kind = line.substr(0, line.find(' '));
        fault.after = static_cast<uint32_t>(std::stoul(line.substr(line.find(' ') + 1)));
        world.world().save_faults(kReaderPort, {fault});
    };
    std::vector<uint8_t> buf(16);
    arm("read-fail 1");
    ASSERT_TRUE(reader->auth(4, kTransportKey));
    EXPECT_EQ(rdx_reader_read_mf_classic(h(), 4, buf.data(), 1, 0), RDX_OK);
    EXPECT_EQ(rdx_reader_read_mf_classic(h(), 4, buf.data(), 1, 0), RDX_E_FAIL);
    EXPECT_EQ(rdx_reader_read_mf_classic(h(), 4, buf.data(), 1, 0), RDX_OK);

    arm("write-fail 0");
    const auto data = pattern(1, 0x30);
    EXPECT_EQ(rdx_reader_write_mf_classic(h(), 4, data.data(), 1, 0), RDX_E_FAIL);
    EXPECT_EQ(card_file().block(4), CMifareCard::block_t{}) << "a failed write writes nothing";

    arm("auth-fail 1");
    EXPECT_TRUE(reader->auth(8, kTransportKey));
    EXPECT_FALSE(reader->auth(8, kTransportKey));
    EXPECT_TRUE(reader->auth(8, kTransportKey));

    arm("garble-read 0");
    std::array<uint8_t, kBlock> trailer{};
    ASSERT_EQ(rdx_reader_read_mf_classic(h(), 11, trailer.data(), 1, 0), RDX_OK);
    EXPECT_EQ(trailer[7], 0x07 ^ 0xFF);
    EXPECT_TRUE(world.world().load_faults(kReaderPort).empty());
}

TEST_F(RdxMifare, CardTakenAwayMidWriteLeavesTheBlocksBefore) {
    world.world().save_faults(kReaderPort, {{"take-card", 1}});
    ASSERT_TRUE(reader->auth(4, kTransportKey));
    const auto data = pattern(3, 0x40);
    EXPECT_EQ(rdx_reader_write_mf_classic(h(), 4, data.data(), 3, 0), RDX_E_NO_CARD);
    const CMifareCard card = card_file();
    EXPECT_BYTES_EQ(std::vector<uint8_t>(data.begin(), data.begin() + kBlock),
                    std::vector<uint8_t>(card.block(4).begin(), card.block(4).end()));
    EXPECT_EQ(card.block(5), CMifareCard::block_t{});
    EXPECT_EQ(world.world().card_on_reader(kReaderPort), std::string());
}

TEST_F(RdxMifare, LostDeviceStaysDownUntilConnectedAgain) {
    CRecorder search_messages;
    rdx_handle search = nullptr;
    ASSERT_EQ(rdx_get_search(&search), RDX_OK);
    ASSERT_EQ(rdx_search_set_message_callback(search, &CRecorder::callback, &search_messages), RDX_OK);
    ASSERT_EQ(rdx_search_set_auto_scan(search, 1, 0), RDX_OK);
    ASSERT_EQ(rdx_reader_set_auto_scan(h(), 1, 0), RDX_OK);
    world.world().save_faults(kReaderPort, {{"lose-device", 0}});
    int32_t ok = 0;
    EXPECT_EQ(rdx_reader_auth_mf_card(h(), 4, 0, &ok), RDX_E_NOT_CONNECTED);
    // A device list change seen by the search proves the library thread has polled the world since.
    world.add_reader("desk2");
    ASSERT_TRUE(wait_for([&] { return search_messages.count(RDX_MSG_SEARCH_LIST) > 0; }));
    int32_t status = -1;
    ASSERT_EQ(rdx_reader_get_connection_status(h(), &status), RDX_OK);
    EXPECT_EQ(status, RDX_DISCONNECTED);
    ASSERT_EQ(rdx_reader_connect(h(), 0), RDX_OK);
    EXPECT_TRUE(reader->auth(4, kTransportKey));
    rdx_close_handle(search);
}

TEST_F(RdxMifare, MifareCallsNeedAMifareReaderModel) {
    world.add_reader("adapter1", 4);
    COpenReader adapter("adapter1");
    ASSERT_EQ(rdx_reader_connect(adapter.get(), 0), RDX_OK);
    const uint64_t key = kTransportKey;
    EXPECT_EQ(rdx_reader_load_mf_ckey(adapter.get(), &key), RDX_E_NOT_SUPPORTED);
    int32_t ok = 0;
    EXPECT_EQ(rdx_reader_auth_mf_card(adapter.get(), 4, 0, &ok), RDX_E_NOT_SUPPORTED);
}

class RdxListenPorts : public ::testing::Test {
protected:
    CTempWorld world;
};

TEST_F(RdxListenPorts, ClientConvertersAreFoundOnlyOnAListenedPort) {
    for (const char* name : {"10.0.0.5:25000", "10.0.0.6:26000"}) {
        rdxworld::world_device d;
        d.port_type = RDX_PORT_CLIENT;
        d.port_name = name;
        d.model = 5;
        world.world().add_device(d);
    }
    CLibraryOwner owner;
    rdx_handle search = nullptr;
    ASSERT_EQ(rdx_get_search(&search), RDX_OK);
    uint32_t count = 99;
    ASSERT_EQ(rdx_search_get_reader_count(search, &count), RDX_OK);
    EXPECT_EQ(count, 0u);
    const uint16_t port = 25000;
    ASSERT_EQ(rdx_search_set_listen_ports(search, &port, 1), RDX_OK);
    ASSERT_EQ(rdx_search_get_reader_count(search, &count), RDX_OK);
    ASSERT_EQ(count, 1u);
    rdx_reader_info info{};
    ASSERT_EQ(rdx_search_get_reader_info(search, 0, &info), RDX_OK);
    EXPECT_STREQ(info.port_name, "10.0.0.5:25000");
    rdx_close_handle(search);
}
