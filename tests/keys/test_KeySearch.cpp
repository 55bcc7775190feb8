// Tests of find in files: each criterion alone and together, whole words, the inclusive date range, the
// open document searched in memory instead of its file, the order of hits, cancellation and the worker.
#include <gtest/gtest.h>

#include <giomm/init.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "keys/CKeyDb.h"
#include "keys/KeySearch.h"
#include "keys/dbf_LocalZone.h"
#include "keys/dbf_TestSupport.h"

using namespace dbftest;

namespace {

key_info make_key(std::uint64_t number, KeyAttr attr, std::int64_t created, const std::string& description,
                  bool is_short = false) {
    key_info k;
    k.number = CCardUID(number, 6);
    k.attr = attr;
    k.created = created;
    k.comment = description;
    k.is_short = is_short;
    return k;
}

} // namespace

class KeySearchTest : public ::testing::Test, private CGioReady {
protected:
    void write_db(const std::string& name, const std::string& description,
                  const std::vector<key_info>& keys) {
        CKeyDb db;
        db.Connect(m_dir / (name + ".dbf"), true);
        db.SetComment(description);
        std::uint32_t id = 0;
        for (key_info k : keys) {
            k.id = ++id;
            db.AddKey(k);
        }
    }
    std::vector<std::string> find(const SearchCriteria& criteria,
                                  const std::vector<SearchOpenDatabase>& open = {}) {
        const SearchResult result =
            find_in_files({m_dir.path(), criteria, open}, CKeyMatcher(criteria), m_cancel);
        EXPECT_EQ(result.error, "");
        std::vector<std::string> hits;
        for (const auto& h : result.hits)
            hits.push_back(h.database.raw() + "#" + std::to_string(h.record));
        return hits;
    }
    static bool matches(const SearchCriteria& c, const std::string& description) {
        return CKeyMatcher(c).CheckKey(make_key(1, KA_NORMAL, 1, description));
    }

    CLocalZone m_zone{kCentralEurope};
    CScratchDir m_dir;
    std::atomic<bool> m_cancel{false};
};

struct TextCase {
    const char* text;
    std::uint32_t options;
    const char* description;
    bool match;
};

TEST_F(KeySearchTest, DescriptionCriterion) {
    const TextCase cases[] = {
        {"door", kMatchWholeWord, "Front door, left", true},
        {"door", kMatchWholeWord, "doorway", false},
        {"door", kMatchWholeWord, "Front DOOR", true},
        {"door", kMatchWholeWord | kMatchCase, "Front DOOR", false},
        {"front left", kMatchWholeWord, "left", true},
        {"дверь", kMatchWholeWord, "Входная ДВЕРЬ, 2", true},
        {"дверь", kMatchWholeWord, "дверьми", false},
        {"door", 0, "doorway", true},
        {"DOOR", 0, "Back doorway", true},
        {"DOOR", kMatchCase, "Back doorway", false},
        {"door", kMatchCase, "Back doorway", true},
        {"подъезд", 0, "ПОДЪЕЗД 3", true},
        {"straße", 0, "STRASSE 5", true},
        {"é", 0, "plain ascii", false},
        {"^Fr.*left$", kUseRegex, "Front door, left", true},
        {"^fr", kUseRegex, "Front door", true},
        {"^fr", kUseRegex | kMatchCase, "Front door", false},
        {"", 0, "anything", true},
    };
    for (const auto& c : cases) {
        SearchCriteria criteria;
        criteria.flags = kSearchDescription;
        criteria.description = c.text;
        criteria.text_options = c.options;
        EXPECT_EQ(matches(criteria, c.description), c.match)
            << c.text << " / " << c.description << " / " << c.options;
    }
}

TEST_F(KeySearchTest, InvalidExpressionThrowsBeforeSearching) {
    SearchCriteria criteria;
    criteria.flags = kSearchDescription;
    criteria.text_options = kUseRegex;
    criteria.description = "(unclosed";
    EXPECT_THROW(CKeyMatcher{criteria}, std::runtime_error);
    CKeySearch search;
    EXPECT_THROW(search.start({m_dir.path(), criteria, {}}, nullptr), std::runtime_error);
}

TEST_F(KeySearchTest, DateRangeIncludesTheWholeLastDay) {
    SearchCriteria c;
    c.flags = kSearchAdded;
    c.added_from = local_time(2026, 12, 1);
    c.added_to = local_time(2026, 12, 5);
    const CKeyMatcher m(c);
    EXPECT_TRUE(m.CheckKey(make_key(1, KA_NORMAL, local_time(2026, 12, 5, 23, 59) + 59, "")));
    EXPECT_FALSE(m.CheckKey(make_key(1, KA_NORMAL, local_time(2026, 12, 6), "")));
    EXPECT_TRUE(m.CheckKey(make_key(1, KA_NORMAL, local_time(2026, 12, 1), "")));
    EXPECT_FALSE(m.CheckKey(make_key(1, KA_NORMAL, local_time(2026, 12, 1) - 1, "")));
    EXPECT_FALSE(m.CheckKey(make_key(1, KA_NORMAL, 0, "")));
    // The day the clocks go back has 25 hours: its last hour still counts.
    c.added_from = 0;
    c.added_to = local_time(2026, 10, 25);
    EXPECT_TRUE(CKeyMatcher(c).CheckKey(make_key(1, KA_NORMAL, local_time(2026, 10, 25, 23, 59) + 59, "")));
    EXPECT_FALSE(CKeyMatcher(c).CheckKey(make_key(1, KA_NORMAL, local_time(2026, 10, 26), "")));
    // Open bounds.
    c.added_to = 0;
    EXPECT_TRUE(CKeyMatcher(c).CheckKey(make_key(1, KA_NORMAL, 1, "")));
    EXPECT_FALSE(CKeyMatcher(c).CheckKey(make_key(1, KA_NORMAL, 0, "")));
}

TEST_F(KeySearchTest, NumberAndAttributeCriteria) {
    SearchCriteria c;
    c.flags = kSearchNumber | kSearchAttribute;
    c.number = CCardUID(0x0A1B2Cu, 3);
    c.is_short = true;
    c.attr_mask = key_attr_mask_bit(KA_MASTER) | key_attr_mask_bit(KA_INACTIVE);
    const CKeyMatcher m(c);
    EXPECT_TRUE(m.CheckKey(make_key(0x0000000A1B2Cu, KA_MASTER, 0, "")));
    EXPECT_TRUE(
        m.CheckKey(make_key(0x0012340A1B2Cu, KA_INACTIVE, 0, ""))); // a short number matches any long part
    EXPECT_FALSE(m.CheckKey(make_key(0x0000000A1B2Cu, KA_NORMAL, 0, "")));
    EXPECT_FALSE(m.CheckKey(make_key(0x0000000A1B2Du, KA_MASTER, 0, "")));
    c.number = CCardUID(0x0000000A1B2Cu, 6);
    c.is_short = false;
    EXPECT_FALSE(CKeyMatcher(c).CheckKey(make_key(0x0012340A1B2Cu, KA_MASTER, 0, "")));
}

TEST_F(KeySearchTest, SearchesEveryDatabaseInNameOrder) {
    write_db("b", "Bee", {make_key(1, KA_NORMAL, 0, "Front door"), make_key(2, KA_NORMAL, 0, "doorway")});
    write_db("a", "Ay", {make_key(3, KA_NORMAL, 0, "door")});
    write_db("A", "upper", {});
    write_file(m_dir / "c.DBF", to_bytes("not listed"));
    write_file(m_dir / "notes.txt", to_bytes("door"));
    SearchCriteria c;
    c.flags = kSearchDescription;
    c.text_options = kMatchWholeWord;
    c.description = "door";
    EXPECT_EQ(find(c), (std::vector<std::string>{"a#0", "b#0"}));
    // No criterion lists every key.
    EXPECT_EQ(find(SearchCriteria{}), (std::vector<std::string>{"a#0", "b#0", "b#1"}));
    const SearchResult r = find_in_files({m_dir.path(), c, {}}, CKeyMatcher(c), m_cancel);
    ASSERT_EQ(r.hits.size(), 2u);
    EXPECT_EQ(r.hits[1].db_description, "Bee");
    EXPECT_EQ(r.hits[1].key_description, "Front door");
    EXPECT_EQ(r.hits[1].number, CCardUID(1u, 6));
    EXPECT_EQ(r.databases, 3u);
    EXPECT_EQ(r.records, 3u);
}

// A stored record is decoded field by field as the criteria ask; the hits must be the keys that the whole
// decoded record passes.
TEST_F(KeySearchTest, StoredRecordsMeetTheCriteriaAsTheirDecodedKeysDo) {
    std::vector<key_info> keys;
    for (std::uint64_t i = 0; i < 40; ++i)
        keys.push_back(make_key(0x0A0000u + i % 7 + (i % 3) * 0x1000000u, static_cast<KeyAttr>(1 + i % 4),
                                i % 5 ? local_time(2026, 1 + i % 12, 1 + i % 28, 12, 0) : 0,
                                i % 2 ? "Front door" : "Подъезд 2", i % 6 == 0));
    write_db("mixed", "", keys);
    SearchCriteria number;
    number.flags = kSearchNumber;
    number.number = CCardUID(0x0A0003u, 3);
    number.is_short = true;
    SearchCriteria attribute;
    attribute.flags = kSearchAttribute;
    attribute.attr_mask = key_attr_mask_bit(KA_BLOCKING) | key_attr_mask_bit(KA_INACTIVE);
    SearchCriteria dates;
    dates.flags = kSearchAdded;
    dates.added_from = local_time(2026, 3, 1);
    dates.added_to = local_time(2026, 8, 31);
    SearchCriteria all = number;
    all.flags |= kSearchAttribute | kSearchAdded | kSearchDescription;
    all.attr_mask = 0xFF;
    all.description = "ДВЕРЬ";
    SearchCriteria words;
    words.flags = kSearchDescription | kSearchNumber;
    words.number = CCardUID(0x10A0001u, 6); // the short keys with this low part match too
    words.text_options = kMatchWholeWord;
    words.description = "подъезд";
    for (const SearchCriteria& c : {number, attribute, dates, all, words}) {
        CKeyDb db;
        db.Connect(m_dir / "mixed.dbf", false);
        std::vector<std::string> expected;
        const CKeyMatcher matcher(c);
        key_info k;
        for (std::uint32_t i = 0; i < db.GetKeyCount(); ++i) {
            db.ReadKey(i, k);
            if (matcher.CheckKey(k))
                expected.push_back("mixed#" + std::to_string(i));
        }
        db.Close();
        EXPECT_FALSE(expected.empty() && c.flags != all.flags) << c.flags;
        EXPECT_EQ(find(c), expected) << c.flags;
    }
}

TEST_F(KeySearchTest, TheOpenDocumentIsSearchedWithItsUnsavedKeys) {
    write_db("office", "Office", {make_key(1, KA_NORMAL, 0, "saved door")});
    CKeyDocument doc;
    doc.set_filename(m_dir / "office.dbf");
    doc.open();
    doc.add_key(doc.generate_key_id(), CT_EM_MARINE, CCardUID(2u, 6), false, KA_NORMAL, "unsaved door");
    doc.delete_key(0);
    SearchCriteria c;
    c.flags = kSearchDescription;
    c.description = "door";
    EXPECT_EQ(find(c, {snapshot_for_search(doc)}), (std::vector<std::string>{"office#0"}));
    const SearchResult r =
        find_in_files({m_dir.path(), c, {snapshot_for_search(doc)}}, CKeyMatcher(c), m_cancel);
    EXPECT_EQ(r.hits.at(0).key_description, "unsaved door");
    EXPECT_EQ(find(c), (std::vector<std::string>{"office#0"}));
}

TEST_F(KeySearchTest, AnUnreadableDatabaseEndsTheSearchWithItsError) {
    write_db("a", "", {make_key(1, KA_NORMAL, 0, "x")});
    write_file(m_dir / "b.dbf", to_bytes("this is no table"));
    const SearchCriteria c;
    const SearchResult r = find_in_files({m_dir.path(), c, {}}, CKeyMatcher(c), m_cancel);
    EXPECT_EQ(r.error, "Bad database format.");
    EXPECT_TRUE(r.hits.empty());
    // The search never creates or changes a file.
    EXPECT_EQ(read_file(m_dir / "b.dbf"), to_bytes("this is no table"));
}

TEST_F(KeySearchTest, CancelStopsBetweenDatabases) {
    write_db("a", "", {make_key(1, KA_NORMAL, 0, "x")});
    m_cancel = true;
    const SearchCriteria c;
    const SearchResult r = find_in_files({m_dir.path(), c, {}}, CKeyMatcher(c), m_cancel);
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(r.hits.empty());
}

TEST_F(KeySearchTest, WorkerDeliversTheResult) {
    write_db("a", "", {make_key(1, KA_NORMAL, 0, "door")});
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    CKeySearch search;
    SearchCriteria c;
    c.flags = kSearchDescription;
    c.description = "door";
    search.start({m_dir.path(), c, {}}, [&] {
        std::lock_guard lock(mutex);
        done = true;
        cv.notify_all();
    });
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(30), [&] { return done; }));
    }
    std::optional<SearchResult> r = search.take_result();
    ASSERT_TRUE(r);
    EXPECT_EQ(r->hits.size(), 1u);
    EXPECT_FALSE(search.take_result());
    EXPECT_FALSE(search.running());
}
