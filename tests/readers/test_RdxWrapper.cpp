// Tests of the reader library wrapper against the stand-in library: handle ownership through a move, status
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

// A known failure and one the library has no name for.
TEST_F(RdxWrapperTest, CheckThrowsWithTheLibraryTextForEveryFailure) {
    EXPECT_NO_THROW(rdx::RDXCheck(RDX_OK));
    for (rdx_status status : {rdx_status{RDX_E_AUTH}, 12345}) {
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

TEST_F(RdxWrapperTest, CardUidTextIsMostSignificantByteFirst) {
    const uint8_t bytes[] = {0xAB, 0x12};
    EXPECT_EQ(rdx::CCardUID(bytes, 2).ToString(), "12AB");
    EXPECT_EQ(rdx::CCardUID().ToString(), "");
    EXPECT_EQ(rdx::CCardUID(uint64_t{0x0102030405}, 5).ToString(), "0102030405");
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
