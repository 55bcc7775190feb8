// Tests of the reader library wrapper against the stand-in library: handle ownership through moves, status
// texts of exceptions, and the card-number and key value types.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "readers/RdxWrapper.h"

namespace {

class RdxWrapperTest : public ::testing::Test {
protected:
    // A handle that is still open answers for its device count; a closed one is refused.
    static bool is_open_search(void* handle) {
        uint32_t count = 0;
        return rdx_search_get_reader_count(handle, &count) == RDX_OK;
    }
    static rdx::CReaderSearch new_search() {
        rdx_handle handle = nullptr;
        rdx::RDXCheck(rdx_get_search(&handle));
        return rdx::CReaderSearch(handle);
    }

    rdx::CRDX m_rdx{true};
};

TEST_F(RdxWrapperTest, CheckReturnsForSuccess) {
    EXPECT_NO_THROW(rdx::RDXCheck(RDX_OK));
}

TEST_F(RdxWrapperTest, CheckThrowsWithTheLibraryText) {
    for (rdx_status status :
         {rdx_status{RDX_E_FAIL}, rdx_status{RDX_E_AUTH}, rdx_status{RDX_E_NO_CARD}, 12345}) {
        try {
            rdx::RDXCheck(status);
            ADD_FAILURE() << "status " << status << " did not throw";
        } catch (const rdx::CRDXException& e) {
            EXPECT_EQ(e.status(), status);
            EXPECT_STREQ(e.what(), rdx_get_error_text(status));
        }
    }
}

TEST_F(RdxWrapperTest, MoveAssignmentClosesTheOldHandle) {
    rdx::CReaderSearch target = new_search();
    rdx::CReaderSearch source = new_search();
    void* old_handle = target.Get();
    void* moved_handle = source.Get();
    ASSERT_TRUE(is_open_search(old_handle));

    target = std::move(source);

    EXPECT_FALSE(is_open_search(old_handle));
    EXPECT_EQ(target.Get(), moved_handle);
    EXPECT_TRUE(is_open_search(moved_handle));
    EXPECT_FALSE(source);
    EXPECT_EQ(source.Get(), nullptr);
}

TEST_F(RdxWrapperTest, MovedFromObjectClosesNothing) {
    void* handle = nullptr;
    rdx::CReaderSearch target;
    {
        rdx::CReaderSearch source = new_search();
        handle = source.Get();
        target = rdx::CReaderSearch(std::move(source));
    }
    EXPECT_TRUE(is_open_search(handle));
    EXPECT_EQ(target.Get(), handle);
}

TEST_F(RdxWrapperTest, ReaderMoveIntoHeldReaderClosesItFirst) {
    rdx_handle first = nullptr, second = nullptr;
    rdx::RDXCheck(rdx_get_reader(RDX_PORT_COM, "/dev/kestrix-none-1", &first));
    rdx::RDXCheck(rdx_get_reader(RDX_PORT_COM, "/dev/kestrix-none-2", &second));
    rdx::CReader a(first), b(second);
    a = std::move(b);
    int32_t status = 0;
    EXPECT_NE(rdx_reader_get_connection_status(first, &status), RDX_OK);
    EXPECT_EQ(rdx_reader_get_connection_status(second, &status), RDX_OK);
    EXPECT_FALSE(b);
}

TEST_F(RdxWrapperTest, DestructorClosesTheHandle) {
    void* handle = nullptr;
    {
        rdx::CReaderSearch search = new_search();
        handle = search.Get();
    }
    EXPECT_FALSE(is_open_search(handle));
}

TEST_F(RdxWrapperTest, DetachAndAttachHandOverOwnership) {
    rdx::CReaderSearch search = new_search();
    void* handle = search.Detach();
    EXPECT_FALSE(search);
    rdx::CReaderSearch other;
    other.Attach(handle);
    EXPECT_EQ(static_cast<void*>(other), handle);
    other.Close();
    EXPECT_FALSE(other);
    EXPECT_FALSE(is_open_search(handle));
}

TEST_F(RdxWrapperTest, AttachingTheHeldHandleKeepsItOpen) {
    rdx::CReaderSearch search = new_search();
    void* handle = search.Get();
    search.Attach(handle);
    EXPECT_EQ(search.Get(), handle);
    EXPECT_TRUE(is_open_search(handle));
}

TEST_F(RdxWrapperTest, CloseOfAForeignHandleThrows) {
    rdx::CReaderSearch bogus(reinterpret_cast<void*>(uintptr_t{0x7}));
    EXPECT_THROW(bogus.Close(), rdx::CRDXException);
    EXPECT_FALSE(bogus);
}

TEST_F(RdxWrapperTest, InitAndFinalizePairUp) {
    rdx::CRDX other;
    EXPECT_FALSE(other.IsInitialized());
    other.Init();
    other.Init();
    EXPECT_TRUE(other.IsInitialized());
    other.Finalize();
    EXPECT_FALSE(other.IsInitialized());
    // This fixture's own initialisation still holds.
    EXPECT_TRUE(is_open_search(new_search().Get()));
}

TEST_F(RdxWrapperTest, CardUidTextIsMostSignificantByteFirst) {
    const uint8_t bytes[] = {0xAB, 0x12};
    EXPECT_EQ(rdx::CCardUID(bytes, 2).ToString(), "12AB");
    EXPECT_EQ(rdx::CCardUID().ToString(), "");
    EXPECT_EQ(rdx::CCardUID(uint64_t{0x0102030405}, 5).ToString(), "0102030405");
}

TEST_F(RdxWrapperTest, CardUidKeepsAtMostFifteenBytes) {
    uint8_t bytes[20];
    for (int i = 0; i < 20; ++i)
        bytes[i] = static_cast<uint8_t>(i);
    const rdx::CCardUID uid(bytes, 20);
    EXPECT_EQ(uid.length, 15);
    EXPECT_EQ(uid.bytes[14], 14);
    const rdx::CCardUID wide(uint64_t{0x1122334455667788}, 12);
    EXPECT_EQ(wide.length, 12);
    EXPECT_EQ(wide.ToString(), "0000000011223344556677"
                               "88");
}

TEST_F(RdxWrapperTest, CardUidCopiesTheLibraryRecord) {
    rdx_card_uid record{};
    record.length = 4;
    std::memcpy(record.bytes, "\x01\x02\x03\x04", 4);
    const rdx::CCardUID uid(record);
    EXPECT_EQ(uid.ToString(), "04030201");
}

TEST_F(RdxWrapperTest, DefaultKeyIsTheTransportKey) {
    EXPECT_EQ(rdx::CMifareClassicKey().value(), 0xFFFFFFFFFFFFull);
    EXPECT_EQ(rdx::CMifareClassicKey::kDefault, rdx::CMifareClassicKey());
    const uint8_t bytes[] = {0x11, 0x22, 0x33};
    EXPECT_EQ(rdx::CMifareClassicKey(bytes, 3).value(), 0x332211ull);
    EXPECT_EQ(rdx::CMifareClassicKey(0xAABBCCDDEEFF0011ull).value(), 0xCCDDEEFF0011ull);
}

TEST_F(RdxWrapperTest, ClassicModeAcceptsClassicAndPlusAtLevelOne) {
    EXPECT_TRUE(rdx::IsMfClassicMode(RDX_CARD_MF_CLASSIC_1K, 0));
    EXPECT_TRUE(rdx::IsMfClassicMode(RDX_CARD_MF_MINI, 0));
    EXPECT_TRUE(rdx::IsMfClassicMode(RDX_CARD_MF_PLUS_4K, 1));
    EXPECT_FALSE(rdx::IsMfClassicMode(RDX_CARD_MF_PLUS_4K, 3));
    EXPECT_FALSE(rdx::IsMfClassicMode(RDX_CARD_MF_ULTRALIGHT, 1));
    EXPECT_FALSE(rdx::IsMfClassicMode(RDX_CARD_MF_DESFIRE, 1));
}

} // namespace
