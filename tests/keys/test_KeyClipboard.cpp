// Tests of the clipboard formats: the key payload written and parsed (also foreign and damaged payloads),
// pasted keys merged into a document, URI lists of both file-manager forms, and the checks on pasted files.
#include <gtest/gtest.h>

#include <giomm/init.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "keys/KeyClipboard.h"
#include "keys/dbf_TestSupport.h"

using namespace dbftest;

namespace {

key_info make_key(const std::string& hex, bool is_short, CardType type, KeyAttr attr, std::int64_t created,
                  const std::string& description) {
    key_info k;
    EXPECT_TRUE(k.number.TryParse(hex));
    k.is_short = is_short;
    k.type = type;
    k.attr = attr;
    k.created = created;
    k.comment = description;
    return k;
}

bool same(const key_info& a, const key_info& b) {
    return a.number == b.number && a.is_short == b.is_short && a.type == b.type && a.attr == b.attr &&
           a.created == b.created && a.comment.raw() == b.comment.raw();
}

} // namespace

class KeyClipboardTest : public ::testing::Test, private CGioReady {
protected:
    CScratchDir m_dir;
};

TEST_F(KeyClipboardTest, PayloadIsGVariantTextWithTheCreationTimeTyped) {
    const std::string text = encode_key_payload(
        {make_key("0000000A1B2C", false, CT_EM_MARINE, KA_MASTER, 1700000000, "Door 'A'")});
    EXPECT_EQ(text, "[<('0000000A1B2C', false, 1, 3, int64 1700000000, \"Door 'A'\")>]");
}

TEST_F(KeyClipboardTest, PayloadRoundTrips) {
    const std::vector<key_info> keys = {
        make_key("0000000A1B2C", false, CT_EM_MARINE, KA_NORMAL, 1700000000, "Front door, left"),
        make_key("ABCDEF", true, CT_DALLAS, KA_INACTIVE, 0, "Кв. 15 \"главный\"\n\t\\ '"),
        make_key("0102030405060708090A0B0C0D0E0F", false, CT_SMART_MX_4K, KA_BLOCKING, -5, ""),
    };
    const std::vector<key_info> back = parse_key_payload(encode_key_payload(keys));
    ASSERT_EQ(back.size(), keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_TRUE(same(back[i], keys[i])) << i;
    EXPECT_TRUE(parse_key_payload(encode_key_payload(std::vector<key_info>{})).empty());
}

// Elements of another shape are skipped; types and attributes out of range are mended.
TEST_F(KeyClipboardTest, ForeignElementsAreSkippedAndValuesOutOfRangeMended) {
    const auto keys =
        parse_key_payload("[<'just text'>, <('zz', false, 1, 1, int64 1, 'bad number')>, "
                          "<('C', false, 1, 1, int64 1, 'one digit: no number')>, "
                          "<('0A', false, 1, 1, 1, 'int32 time')>, <('0C', false, 1, 1, int64 3, 'ok')>, "
                          "<('0A', false, 30, 9, int64 1, 'x')>, <('0B', true, -1, -2, int64 2, 'y')>]");
    ASSERT_EQ(keys.size(), 3u);
    EXPECT_EQ(keys[0].comment.raw(), "ok");
    for (std::size_t i = 1; i < 3; ++i) {
        EXPECT_EQ(keys[i].type, CT_UNKNOWN) << i;
        EXPECT_EQ(keys[i].attr, KA_NORMAL) << i;
    }
}

TEST_F(KeyClipboardTest, GarbageThrows) {
    for (const std::string& text :
         {std::string(""), std::string("[<('0A'"), std::string("('0A', false)"), std::string("[1, 2]"),
          std::string("\xFF\xFE"), std::string("[<1>]\0x", 7)})
        EXPECT_THROW(parse_key_payload(text), std::runtime_error) << text;
}

TEST_F(KeyClipboardTest, PastingUpdatesKeysInPlaceAndInsertsTheOthers) {
    CKeyDocument doc;
    doc.set_filename(m_dir / "d.dbf");
    doc.open();
    doc.add_keys(
        {CKey::create(doc.generate_key_id(), CT_EM_MARINE, KA_NORMAL, CCardUID(0x0A1B2Cu, 6), false, 5, "a"),
         CKey::create(doc.generate_key_id(), CT_EM_MARINE, KA_NORMAL, CCardUID(0x77u, 6), false, 5, "b")},
        0);
    const auto inserted =
        paste_keys_into_document(doc,
                                 {make_key("0000000A1B2C", false, CT_DALLAS, KA_MASTER, 9, "updated"),
                                  make_key("000000000011", false, CT_EM_MARINE, KA_NORMAL, 42, "new one"),
                                  make_key("000000000012", false, CT_EM_MARINE, KA_NORMAL, 43, "new two")},
                                 1);
    ASSERT_EQ(inserted.size(), 2u);
    const auto& store = doc.get_keys();
    ASSERT_EQ(store->get_n_items(), 4u);
    EXPECT_EQ(store->get_item(0)->description(), "updated");
    EXPECT_EQ(store->get_item(0)->card_type(), CT_DALLAS);
    EXPECT_EQ(store->get_item(0)->created(), 9);
    EXPECT_EQ(store->get_item(1)->description(), "new one");
    EXPECT_EQ(store->get_item(1)->id(), 3u);
    EXPECT_EQ(store->get_item(1)->created(), 42);
    EXPECT_EQ(store->get_item(2)->description(), "new two");
    EXPECT_EQ(store->get_item(3)->description(), "b");
}

TEST_F(KeyClipboardTest, UriListsInBothForms) {
    const std::vector<std::filesystem::path> paths = {"/home/u/db/Office.dbf", "/home/u/db/Дом 1%.dbf"};
    EXPECT_EQ(format_uri_list(paths),
              "file:///home/u/db/Office.dbf\r\nfile:///home/u/db/%D0%94%D0%BE%D0%BC%201%25.dbf\r\n");
    EXPECT_EQ(format_gnome_copied_files(paths, true),
              "cut\nfile:///home/u/db/Office.dbf\nfile:///home/u/db/%D0%94%D0%BE%D0%BC%201%25.dbf");
    EXPECT_EQ(format_gnome_copied_files({paths[0]}, false), "copy\nfile:///home/u/db/Office.dbf");
}

struct UriListCase {
    const char* text;
    bool gnome;
    bool move;
    std::vector<std::string> uris;
};

TEST_F(KeyClipboardTest, ParsesUriLists) {
    const UriListCase cases[] = {
        {"file:///a/x.dbf\r\nfile:///a/y.dbf\r\n", false, false, {"file:///a/x.dbf", "file:///a/y.dbf"}},
        {"file:///a/x.dbf \t\r", false, false, {"file:///a/x.dbf"}},
        {"# comment\r\n\r\nfile:///a/x.dbf", false, false, {"file:///a/x.dbf"}},
        {"cut\nfile:///a/x.dbf\nfile:///a/y.dbf", true, true, {"file:///a/x.dbf", "file:///a/y.dbf"}},
        {"cut\r\nfile:///a/x.dbf\r\n", true, true, {"file:///a/x.dbf"}},
        {"copy\nfile:///a/x.dbf\n", true, false, {"file:///a/x.dbf"}},
        {"CUT\nfile:///a/x.dbf", true, false, {"file:///a/x.dbf"}},
        {"", true, false, {}},
    };
    for (const auto& c : cases) {
        const ClipboardFiles files = c.gnome ? parse_gnome_copied_files(c.text) : parse_uri_list(c.text);
        EXPECT_EQ(files.move, c.move) << c.text;
        EXPECT_EQ(files.uris, c.uris) << c.text;
    }
}

TEST_F(KeyClipboardTest, DatabaseFileNamesAreTheOnesTheListShows) {
    for (const char* name : {"A.dbf", "a.b.dbf", "Дом.dbf", " .dbf"})
        EXPECT_TRUE(is_database_file_name(name)) << name;
    for (const char* name :
         {"A.DBF", "a.Dbf", ".dbf", "..dbf", "a", "a.dbf.bak", "a:b.dbf", "a\\b.dbf", "a?.dbf", ""})
        EXPECT_FALSE(is_database_file_name(name)) << name;
    EXPECT_TRUE(is_database_file_name(std::string(255, 'x') + ".dbf"));
    EXPECT_FALSE(is_database_file_name(std::string(256, 'x') + ".dbf"));
}

TEST_F(KeyClipboardTest, PastedFilesAreCheckedAndStayInTheDatabaseFolder) {
    const std::filesystem::path db = m_dir / "db";
    std::filesystem::create_directory(db);
    write_file(db / "Here.dbf", to_bytes("x"));
    const DatabasePastePlan plan = plan_database_paste(
        {
            "file:///src/Office.dbf",
            "file:///src/%D0%94%D0%BE%D0%BC.dbf",
            "file:///src/..",
            "file:///",
            "file:///src/",
            "file:///src/A.DBF",
            "file:///src/notes.txt",
            "file:///src/x%2F..%2F..%2Fetc%2Fevil.dbf",
            "file:///src/a%3Ab.dbf",
            "http://example.com/x.dbf",
            "file://otherhost/x.dbf",
            "not a uri",
            "file:///other/Office.dbf",
            "file://" + (db / "Here.dbf").string(),
            "file://localhost/src/Local.dbf",
        },
        db);
    std::vector<std::string> targets;
    for (const auto& t : plan.accepted) {
        EXPECT_EQ(t.target.parent_path(), db);
        targets.push_back(t.target.filename().string() + "<-" + t.source.string() + "=" + t.name.raw());
    }
    EXPECT_EQ(targets,
              (std::vector<std::string>{"Office.dbf<-/src/Office.dbf=Office", "Дом.dbf<-/src/Дом.dbf=Дом",
                                        "Local.dbf<-/src/Local.dbf=Local"}));
    std::vector<std::string> refused;
    for (const auto& r : plan.refused) {
        EXPECT_FALSE(r.reason.empty()) << r.uri;
        refused.push_back(r.uri);
    }
    EXPECT_EQ(refused.size(), 12u);
}
