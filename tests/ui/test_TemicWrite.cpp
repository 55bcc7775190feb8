// "Write number in Temic" end to end: the selected key of the active table is written into a T5557 tag
// through a Temic-capable reader of the stand-in library, or, when no such reader is found, through the
// simulated adapter; the tag's blocks are checked against the library's own encoders.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "test_MifareDialogFixture.h"

namespace {

// Row 0: a 26-bit HID number (facility 5, card 12345); row 1: a 40-bit Em-Marine number.
const std::uint8_t kHidNumber[] = {0x39, 0x30, 0x05};
const std::uint8_t kEmMarineNumber[] = {0x21, 0x43, 0x65, 0x87, 0x0A};
// The first configuration an HID write puts into block 0 before the data blocks.
constexpr std::uint32_t kHidFirstConfig = 0x48800800;

struct TemicCase {
    const char* name;
    const char* action;
    guint row;
    bool through_adapter;
};

class TemicWriteTest : public MifareWorldFixture, public ::testing::WithParamInterface<TemicCase> {
protected:
    void make_tag_database() {
        make_database_with("tags", [](CKeyDocument& doc) {
            doc.add_key(doc.generate_key_id(), CT_HID, CCardUID(kHidNumber, sizeof kHidNumber), false,
                        KA_NORMAL, "hid");
            doc.add_key(doc.generate_key_id(), CT_EM_MARINE,
                        CCardUID(kEmMarineNumber, sizeof kEmMarineNumber), false, KA_NORMAL, "em");
        });
    }
    // The tag on a library reader, as its world file holds it ("block <i> <hex>", "mode <n>", "resets <n>").
    std::map<std::string, std::uint32_t> tag_fields(const std::string& reader) const {
        std::map<std::string, std::uint32_t> fields;
        std::istringstream lines(test::read_text(m_world / "temic" / reader));
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line);
            std::string name;
            std::string value;
            words >> name;
            if (name == "block") {
                std::string index;
                words >> index >> value;
                fields["block " + index] = static_cast<std::uint32_t>(std::stoul(value, nullptr, 16));
            } else if (name == "mode" || name == "resets") {
                words >> value;
                fields[name] = static_cast<std::uint32_t>(std::stoul(value));
            }
        }
        return fields;
    }
    // The block words the library encodes for the number (Em-Marine from its first 5 bytes).
    static std::vector<std::uint32_t> encode(const TemicCase& c) {
        std::vector<std::uint32_t> words(4, 0);
        if (c.row == 1) {
            const rdx_card_uid uid = CCardUID(kEmMarineNumber, sizeof kEmMarineNumber).to_rdx();
            EXPECT_EQ(RDX_OK, rdx_encode_temic_emmarine(&uid, words.data(), 3));
            words.resize(3);
        } else {
            const rdx_card_uid uid = CCardUID(kHidNumber, sizeof kHidNumber).to_rdx();
            EXPECT_EQ(RDX_OK, rdx_encode_temic_hid(&uid, words.data(), 4, 26));
        }
        return words;
    }
    bool status_is(const char* text) const { return m_window->status_bar().get_status().raw() == text; }
};

TEST_P(TemicWriteTest, TheSelectedKeyIsWrittenIntoTheTag) {
    const TemicCase& c = GetParam();
    make_tag_database();
    if (c.through_adapter)
        start_devices().touch_temic(); // the simulated adapter (model 4), with a tag on it
    else
        list_device("temic1", 1);
    CMainWindow& window = open_databases({"tags"});
    if (c.through_adapter)
        ASSERT_TRUE(pump_until([&] {
            return window.status_bar().get_status().raw().find("Adapter: Connected.") == 0;
        })) << window.status_bar().get_status();
    else
        ASSERT_TRUE(pump_until([&] { return window.device_ports().devices()->get_n_items() == 1; }));
    window.key_panel(0).select_only(c.row);

    activate(c.action);
    ASSERT_TRUE(pump_until([&] { return status_is("Recording has completed successfully"); }))
        << window.status_bar().get_status();

    const std::vector<std::uint32_t> words = encode(c);
    const bool hid = c.row == 0;
    if (c.through_adapter) {
        const devsim::TemicTag tag = m_devices->temic();
        // Em-Marine: blocks 0-2. HID: block 0 with the first configuration, the data blocks 1-3, block 0 with
        // the final configuration.
        const std::vector<std::pair<int, std::uint32_t>> expected =
            hid ? std::vector<std::pair<int, std::uint32_t>>{{0, kHidFirstConfig},
                                                             {1, words[1]},
                                                             {2, words[2]},
                                                             {3, words[3]},
                                                             {0, words[0]}}
                : std::vector<std::pair<int, std::uint32_t>>{{0, words[0]}, {1, words[1]}, {2, words[2]}};
        ASSERT_EQ(expected.size(), tag.writes.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(expected[i].first, tag.writes[i].block) << "write " << i;
            EXPECT_EQ(expected[i].second, tag.writes[i].word) << "write " << i;
            EXPECT_EQ(hid ? 4 : 2, tag.writes[i].mode) << "write " << i;
        }
        EXPECT_EQ(1, tag.resets);
    } else {
        auto tag = tag_fields("temic1");
        EXPECT_EQ(hid ? 4u : 2u, tag["mode"]);
        EXPECT_EQ(1u, tag["resets"]);
        // The tag sends a block's first bit in bit 31: the word's bytes come out the other way round.
        for (size_t i = 0; i < words.size(); ++i)
            EXPECT_EQ(__builtin_bswap32(words[i]), tag["block " + std::to_string(i)]) << "block " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, TemicWriteTest,
                         ::testing::Values(TemicCase{"EmMarineThroughReader", "write_em_marine", 1, false},
                                           TemicCase{"HidThroughReader", "write_hid", 0, false},
                                           TemicCase{"EmMarineThroughAdapter", "write_em_marine", 1, true},
                                           TemicCase{"HidThroughAdapter", "write_hid", 0, true}),
                         [](const ::testing::TestParamInfo<TemicCase>& info) { return info.param.name; });

class TemicNothingSelectedTest : public MifareWorldFixture {};

TEST_F(TemicNothingSelectedTest, WithNoKeySelectedNothingIsWritten) {
    make_database("base", 2);
    list_device("temic1", 1);
    CMainWindow& window = open_databases({"base"});
    ASSERT_TRUE(pump_until([&] { return window.device_ports().devices()->get_n_items() == 1; }));
    window.key_panel(0).selection()->unselect_all();
    activate("write_em_marine");
    EXPECT_EQ(CAdapterThread::CMD_NONE, window.adapter().GetCurrentCmd());
    EXPECT_FALSE(pump_until([&] { return std::filesystem::exists(m_world / "temic" / "temic1"); },
                            std::chrono::milliseconds(1000)));
}

} // namespace
