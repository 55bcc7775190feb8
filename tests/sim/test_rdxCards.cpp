// The kestrix-cards command against the stand-in reader library: a reader added and a card created, put on
// and taken off by the command (another process) is seen through the rdx_ calls, and a Temic tag written
// through the library is shown decoded. Runs the built command from KESTRIX_BINARY_DIR; skipped without it.
#include "test_rdxFixture.h"

#include <cstdio>
#include <sys/wait.h>

using namespace rdxtest;

class RdxCards : public ::testing::Test {
protected:
    void SetUp() override {
        const char* bin = std::getenv("KESTRIX_BINARY_DIR");
        if (!bin || !std::filesystem::exists(std::string(bin) + "/kestrix-cards"))
            GTEST_SKIP() << "kestrix-cards not built here";
        command = std::string(bin) + "/kestrix-cards --world " + world.dir() + " ";
    }

    // Output and exit status of one command.
    std::pair<std::string, int> run(const std::string& args) const {
        std::string out;
        FILE* p = ::popen((command + args + " 2>&1").c_str(), "r");
        if (!p)
            return {"", -1};
        char buf[512];
        while (size_t n = std::fread(buf, 1, sizeof buf, p))
            out.append(buf, n);
        const int status = ::pclose(p);
        return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
    }

    CTempWorld world;
    std::string command;
};

TEST_F(RdxCards, CardPutOnByTheCommandIsReadThroughTheLibrary) {
    ASSERT_EQ(run("reader add desk9").second, 0);
    auto [uid, status] = run("blank 4k 0A0B0C0D");
    ASSERT_EQ(status, 0) << uid;
    EXPECT_EQ(uid, "0A0B0C0D\n");
    CLibraryOwner owner;
    COpenReader r("desk9");
    ASSERT_EQ(rdx_reader_connect(r.get(), 0), RDX_OK);
    rdx_card_info ci{};
    ASSERT_EQ(rdx_reader_get_card_info(r.get(), &ci), RDX_OK);
    EXPECT_EQ(ci.uid.length, 0);

    ASSERT_EQ(run("put 0a0b0c0d").second, 0);
    ASSERT_EQ(rdx_reader_get_card_info(r.get(), &ci), RDX_OK);
    EXPECT_EQ(uid_hex(ci.uid), "0A0B0C0D");
    EXPECT_EQ(ci.type, RDX_CARD_MF_CLASSIC_4K);
    EXPECT_TRUE(r.auth(4, kTransportKey));
    const std::vector<uint8_t> data(16, 0x5A);
    ASSERT_EQ(rdx_reader_write_mf_classic(r.get(), 5, data.data(), 1, 0), RDX_OK);
    EXPECT_NE(run("show 0A0B0C0D").first.find("    5  5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A5A"), std::string::npos);

    ASSERT_EQ(run("take").second, 0);
    ASSERT_EQ(rdx_reader_get_card_info(r.get(), &ci), RDX_OK);
    EXPECT_EQ(ci.uid.length, 0);
}
