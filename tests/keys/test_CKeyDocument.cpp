// Tests of the key document: loading, the id rules, every edit with the store and id index kept in step,
// property notifications, and saving through a temporary file that replaces the database in one step.
#include <gtest/gtest.h>

#include <giomm/init.h>
#include <glib-object.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "common/HexDiff.h"
#include "keys/CKeyDb.h"
#include "keys/CKeyDocument.h"
#include "keys/DbfCodePage.h"
#include "keys/KeyDbTime.h"
#include "keys/dbf_LocalZone.h"
#include "keys/dbf_TestSupport.h"

using namespace dbftest;

namespace {

CCardUID number_of(std::uint64_t value) {
    return CCardUID(value, 6);
}

void record_notification(GObject*, GParamSpec* pspec, gpointer data) {
    static_cast<std::vector<std::string>*>(data)->push_back(g_param_spec_get_name(pspec));
}

} // namespace

// Initialises the GIO type system before the fixture's document creates its list store.
class CKeyDocumentTest : public ::testing::Test, private CGioReady {
protected:
    // A database file with keys of these ids, in this order, each described by its id.
    void write_database(const std::vector<std::uint32_t>& ids, const std::string& description = "") {
        CKeyDb db;
        db.Connect(m_path, true);
        db.SetComment(description);
        for (std::uint32_t id : ids) {
            key_info k;
            k.id = id;
            k.number = number_of(id);
            k.comment = std::to_string(id);
            db.AddKey(k);
        }
    }
    std::vector<std::uint32_t> store_ids() {
        std::vector<std::uint32_t> ids;
        for (guint i = 0; i < m_doc.get_keys()->get_n_items(); ++i)
            ids.push_back(m_doc.get_keys()->get_item(i)->id());
        return ids;
    }
    std::vector<std::uint32_t> file_ids() {
        CKeyDb db;
        db.Connect(m_path, false);
        std::vector<std::uint32_t> ids;
        key_info k;
        for (std::uint32_t i = 0; i < db.GetKeyCount(); ++i) {
            db.ReadKey(i, k);
            ids.push_back(k.id);
        }
        return ids;
    }
    // Every key of the store is indexed under its id, and the index holds nothing else.
    void expect_index_consistent() {
        const auto ids = store_ids();
        for (guint i = 0; i < ids.size(); ++i)
            EXPECT_EQ(m_doc.find_key(ids[i]), m_doc.get_keys()->get_item(i)) << "id " << ids[i];
        for (std::uint32_t id : ids)
            EXPECT_LE(id, m_doc.get_last_id());
    }
    void open() {
        m_doc.set_filename(m_path);
        m_doc.open();
    }

    CScratchDir m_dir;
    std::filesystem::path m_path = m_dir / "base.dbf";
    CKeyDocument m_doc;
    CLocalZone m_zone{kCentralEurope};
};

// ---- open and close ----

TEST_F(CKeyDocumentTest, OpeningAMissingFileCreatesAnEmptyDatabase) {
    open();
    EXPECT_TRUE(m_doc.is_open());
    EXPECT_EQ(m_doc.get_keys()->get_n_items(), 0u);
    EXPECT_EQ(m_doc.get_otc(), 46);
    EXPECT_TRUE(std::filesystem::exists(m_path));
}

TEST_F(CKeyDocumentTest, RepeatedIdsAreRenumberedKeepingUniqueOnes) {
    write_database({5, 9, 5, 7, 9, 5});
    open();
    EXPECT_EQ(store_ids(), (std::vector<std::uint32_t>{5, 9, 10, 7, 11, 12}));
    EXPECT_EQ(m_doc.get_keys()->get_item(2)->description(), "5"); // the same key, a new id
    EXPECT_FALSE(m_doc.is_modified());
    expect_index_consistent();
    EXPECT_EQ(m_doc.generate_key_id(), 13u);
}

TEST_F(CKeyDocumentTest, CloseEmptiesTheSameStoreAndAFailedOpenLeavesItClosed) {
    write_database({1, 2});
    open();
    const auto store = m_doc.get_keys();
    m_doc.close(false);
    EXPECT_FALSE(m_doc.is_open());
    EXPECT_EQ(m_doc.get_keys(), store);
    EXPECT_EQ(store->get_n_items(), 0u);
    EXPECT_FALSE(m_doc.find_key(1));
    write_file(m_dir / "bad.dbf", Bytes(100, 'x'));
    m_doc.set_filename(m_dir / "bad.dbf");
    EXPECT_THROW(m_doc.open(), std::runtime_error);
    EXPECT_FALSE(m_doc.is_open());
    EXPECT_EQ(m_doc.get_keys()->get_n_items(), 0u);
}

TEST_F(CKeyDocumentTest, CloseWithSaveWritesNothingWhenUnmodified) {
    write_database({1, 2});
    open();
    write_file(m_path, to_bytes("changed by someone else"));
    m_doc.close(true);
    EXPECT_BYTES_EQ(to_bytes("changed by someone else"), read_file(m_path));
}

// ---- edits ----

TEST_F(CKeyDocumentTest, AddKeyAppendsAKeyCreatedNow) {
    open();
    const std::int64_t before = std::time(nullptr);
    const auto key =
        m_doc.add_key(m_doc.generate_key_id(), CT_DALLAS, number_of(0xABCDEF), false, KA_MASTER, "x");
    EXPECT_TRUE(m_doc.is_modified());
    EXPECT_EQ(key->id(), 1u);
    EXPECT_GE(key->created(), before);
    EXPECT_LE(key->created(), std::time(nullptr));
    EXPECT_EQ(m_doc.get_keys()->get_item(0), key);
    expect_index_consistent();
    EXPECT_THROW(m_doc.add_key(1, CT_DALLAS, number_of(1), false, KA_NORMAL, ""), std::invalid_argument);
    EXPECT_EQ(m_doc.get_keys()->get_n_items(), 1u);
}

TEST_F(CKeyDocumentTest, AddKeysInsertsAtAPosition) {
    write_database({1, 2});
    open();
    m_doc.add_keys({CKey::create(7, CT_HID, KA_NORMAL, number_of(7), false, 0, ""),
                    CKey::create(8, CT_HID, KA_NORMAL, number_of(8), false, 0, "")},
                   1);
    EXPECT_EQ(store_ids(), (std::vector<std::uint32_t>{1, 7, 8, 2}));
    EXPECT_TRUE(m_doc.is_modified());
    EXPECT_EQ(m_doc.generate_key_id(), 9u);
    expect_index_consistent();
    EXPECT_THROW(m_doc.add_keys({CKey::create(2, CT_HID, KA_NORMAL, number_of(2), false, 0, "")}, 0),
                 std::invalid_argument);
    EXPECT_EQ(store_ids().size(), 4u);
}

// Identical values change nothing; one changed value still notifies all six properties, in order.
TEST_F(CKeyDocumentTest, SetKeyNotifiesAllSixInOrderUnlessNothingChanged) {
    write_database({1});
    open();
    const auto key = m_doc.get_keys()->get_item(0);
    std::vector<std::string> notified;
    const gulong handler =
        g_signal_connect(key->gobj(), "notify", G_CALLBACK(record_notification), &notified);
    m_doc.set_key(0, key->card_type(), key->number(), key->is_short(), key->attr(), key->description(),
                  key->created());
    EXPECT_TRUE(notified.empty());
    EXPECT_FALSE(m_doc.is_modified());
    m_doc.set_key(0, key->card_type(), key->number(), key->is_short(), KA_BLOCKING, key->description(),
                  key->created());
    EXPECT_EQ(notified,
              (std::vector<std::string>{"type", "number", "short", "attr", "key-description", "created"}));
    EXPECT_EQ(key->attr(), KA_BLOCKING);
    EXPECT_TRUE(m_doc.is_modified());
    g_signal_handler_disconnect(key->gobj(), handler);
}

TEST_F(CKeyDocumentTest, DeleteKeyLeavesStoreAndIndex) {
    write_database({1, 2, 3});
    open();
    m_doc.delete_key(1);
    EXPECT_EQ(store_ids(), (std::vector<std::uint32_t>{1, 3}));
    EXPECT_FALSE(m_doc.find_key(2));
    EXPECT_TRUE(m_doc.is_modified());
    expect_index_consistent();
}

TEST_F(CKeyDocumentTest, RemoveDeletedKeysRemovesOnlyMarkedOnes) {
    write_database({1, 2, 3, 4, 5, 6});
    open();
    m_doc.remove_deleted_keys();
    EXPECT_FALSE(m_doc.is_modified());
    for (guint i : {0u, 2u, 3u, 5u})
        m_doc.get_keys()->get_item(i)->set_deleted(true);
    m_doc.remove_deleted_keys();
    EXPECT_EQ(store_ids(), (std::vector<std::uint32_t>{2, 5}));
    EXPECT_TRUE(m_doc.is_modified());
    for (std::uint32_t gone : {1u, 3u, 4u, 6u})
        EXPECT_FALSE(m_doc.find_key(gone));
    expect_index_consistent();
}

TEST_F(CKeyDocumentTest, SpliceKeysReplacesARangeKeepingTheIndex) {
    write_database({1, 2, 3, 4});
    open();
    const auto keep = m_doc.find_key(3);
    m_doc.splice_keys(1, 2, {keep, CKey::create(9, CT_EM_MARINE, KA_NORMAL, number_of(9), false, 0, "")});
    EXPECT_EQ(store_ids(), (std::vector<std::uint32_t>{1, 3, 9, 4}));
    EXPECT_FALSE(m_doc.find_key(2));
    EXPECT_EQ(m_doc.find_key(3), keep);
    EXPECT_TRUE(m_doc.is_modified());
    expect_index_consistent();
    // The whole content at once, as the import from an adapter does.
    std::vector<Glib::RefPtr<CKey>> all;
    for (std::uint32_t id : {4u, 1u})
        all.push_back(m_doc.find_key(id));
    m_doc.splice_keys(0, m_doc.get_keys()->get_n_items(), all);
    EXPECT_EQ(store_ids(), (std::vector<std::uint32_t>{4, 1}));
    expect_index_consistent();
    EXPECT_THROW(m_doc.splice_keys(0, 1, {m_doc.find_key(1)}), std::invalid_argument); // 1 stays at 1
}

// ---- saving ----

TEST_F(CKeyDocumentTest, SaveWritesKeysInDisplayOrder) {
    write_database({1, 2, 3});
    open();
    m_doc.splice_keys(0, 3, {m_doc.find_key(3), m_doc.find_key(1), m_doc.find_key(2)});
    m_doc.save();
    EXPECT_FALSE(m_doc.is_modified());
    EXPECT_EQ(file_ids(), (std::vector<std::uint32_t>{3, 1, 2}));
    EXPECT_FALSE(std::filesystem::exists(m_dir / "base.dbf.tmp"));

    // Whoever changes the store, the save writes what it holds: a closed and opened document, then changes
    // made on the store itself.
    m_doc.close(false);
    open();
    const auto& store = m_doc.get_keys();
    store->remove(1);
    store->insert(0, CKey::create(7, CT_DALLAS, KA_NORMAL, number_of(7), false, 0, "7"));
    store->append(CKey::create(8, CT_DALLAS, KA_NORMAL, number_of(8), false, 0, "8"));
    m_doc.set_modified_flag(true);
    m_doc.save();
    EXPECT_EQ(file_ids(), (std::vector<std::uint32_t>{7, 3, 2, 8}));
}

TEST_F(CKeyDocumentTest, SaveReplacesTheFileInsteadOfRewritingIt) {
    write_database({1});
    open();
    std::filesystem::create_hard_link(m_path, m_dir / "old.dbf");
    const Bytes old = read_file(m_path);
    m_doc.delete_key(0);
    m_doc.save();
    EXPECT_BYTES_EQ(old, read_file(m_dir / "old.dbf")); // the old file was never touched
    EXPECT_EQ(read_file(m_path).size(), 411u) << "no keys left: only the database record";
}

// The database's name must never be missing from the folder during a save: the new file is renamed over
// the old one, never put there after the old one was deleted or moved away.
TEST_F(CKeyDocumentTest, SaveNeverLeavesTheFolderWithoutTheDatabase) {
    write_database({1, 2}, "old");
    open();
    m_doc.set_otc(7);
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, m_dir.path().c_str(), IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO), 0);
    m_doc.save();
    // The kernel queued the events while the calls ran; reading them does not wait.
    std::vector<std::string> events;
    alignas(inotify_event) char buf[4096];
    for (ssize_t n; (n = ::read(watch, buf, sizeof buf)) > 0;)
        for (char* p = buf; p < buf + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            events.push_back(std::string(e->mask & IN_DELETE       ? "deleted "
                                         : e->mask & IN_MOVED_FROM ? "moved away "
                                                                   : "moved in ") +
                             (e->len ? e->name : ""));
            p += sizeof(inotify_event) + e->len;
        }
    ::close(watch);
    EXPECT_EQ(events, (std::vector<std::string>{"moved away base.dbf.tmp", "moved in base.dbf"}));
    CKeyDb db;
    db.Connect(m_path, false);
    EXPECT_EQ(db.GetOpenTimeCode(), 7);
}

class CKeyDocumentSaveFailureTest : public CKeyDocumentTest {
protected:
    void SetUp() override {
        write_database({1, 2}, "old");
        m_before = read_file(m_path);
        open();
    }
    // The save failed without touching the database or losing the edit.
    void expect_untouched(const char* message_start) {
        try {
            m_doc.save();
            ADD_FAILURE() << "save did not fail";
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()).rfind(message_start, 0), 0u) << e.what();
        }
        EXPECT_TRUE(m_doc.is_modified());
        EXPECT_BYTES_EQ(m_before, read_file(m_path));
    }
    Bytes m_before;
};

TEST_F(CKeyDocumentSaveFailureTest, TemporaryFileCannotBeCreatedThenSucceedsOnceTheCauseIsGone) {
    std::filesystem::create_directories(m_dir / "base.dbf.tmp" / "in the way");
    m_doc.set_otc(7);
    expect_untouched("Failed to create database");
    std::filesystem::remove_all(m_dir / "base.dbf.tmp");
    m_doc.save();
    EXPECT_FALSE(m_doc.is_modified());
    CKeyDb db;
    db.Connect(m_path, false);
    EXPECT_EQ(db.GetOpenTimeCode(), 7);
    EXPECT_EQ(db.GetKeyCount(), 2u);
}

TEST_F(CKeyDocumentSaveFailureTest, CharacterOutsideTheCodePageStopsTheSavePartWay) {
    m_doc.set_description("new");
    m_doc.add_key(m_doc.generate_key_id(), CT_DALLAS, number_of(3), false, KA_NORMAL, "ok");
    m_doc.add_key(m_doc.generate_key_id(), CT_DALLAS, number_of(4), false, KA_NORMAL, "门"); // not in CP866
    expect_untouched("iconv failed, errno: ");
    EXPECT_FALSE(std::filesystem::exists(m_dir / "base.dbf.tmp"));
}

// ---- bulk loading and saving against records made by hand ----

namespace {

std::string right(const std::string& value, std::size_t width) {
    return std::string(width - value.size(), ' ') + value;
}

// A key record with its values in place: numbers right-aligned, text in the file's code page.
Bytes key_record(DbfCodePage cp, const std::string& id, const std::string& attr, const std::string& type,
                 const std::string& is_short, const std::string& number, const std::string& comment,
                 const std::string& created) {
    return record(key_db_fields(), {right(id, 12), right(attr, 4), right(type, 4), right(is_short, 1), number,
                                    utf8_to_ansi(cp, comment), created});
}

} // namespace

// Opening reads all keys in one pass and builds the rows in bulk; every row must be what reading its
// record on its own gives, in files of both code pages and with values of every odd kind.
TEST_F(CKeyDocumentTest, OpenBuildsTheRowsThatReadingEachRecordGives) {
    for (const auto& [cp, language] : {std::pair{DbfCodePage::kCp866, std::uint8_t{0x26}},
                                       std::pair{DbfCodePage::kWindows1251, std::uint8_t{0x57}}}) {
        const std::vector<Bytes> keys = {
            key_record(cp, "1", "1", "11", "0", "0A1B2C", "Иванов И. И.", "05.01.2024 10:30"),
            key_record(cp, "9", "3", "25", "1", "ABC", "Склад №5, кв. 12 дверь", "5.1.2024"),
            key_record(cp, "-3", "2", "1", "", "", "", ""),
            key_record(cp, "9", "4", "1", "0", "ZZ", "x", "31.02.2024 10:00"),
            key_record(cp, "123456789012", "7", "", "1", "0102030405060708", std::string(100, 'w'),
                       "01.13.2024 10:00"),
            key_record(cp, "4", "x", "5", "2", "00", "Ёё", "07.07.2023 23:59"),
        };
        Bytes file =
            concat(table_header(key_db_fields(), static_cast<std::uint32_t>(keys.size() + 1), language),
                   record(key_db_fields(), {"", "", "", "", "0F3C", utf8_to_ansi(cp, "Дом"), ""}));
        for (const Bytes& key : keys)
            file = concat(file, key);
        write_file(m_path, file);

        CKeyDocument doc;
        doc.set_filename(m_path);
        doc.open();
        CKeyDb db;
        db.Connect(m_path, false);
        ASSERT_EQ(doc.get_keys()->get_n_items(), keys.size());
        EXPECT_EQ(doc.get_description().raw(), "Дом");
        EXPECT_EQ(doc.get_otc(), 3900);
        key_info info;
        for (std::uint32_t k = 0; k < keys.size(); ++k) {
            db.ReadKey(k, info);
            const auto row = doc.get_keys()->get_item(k);
            SCOPED_TRACE(std::string(dbf_code_page_name(cp)) + " key " + std::to_string(k));
            if (k == 3) // the repeated id 9 is given a new one
                EXPECT_GT(row->id(), 9u);
            else
                EXPECT_EQ(row->id(), info.id);
            EXPECT_EQ(row->card_type(), info.type);
            EXPECT_EQ(row->attr(), info.attr);
            EXPECT_EQ(row->number(), info.number);
            EXPECT_EQ(row->is_short(), info.is_short);
            EXPECT_EQ(row->created(), info.created);
            EXPECT_EQ(row->description().raw(), info.comment.raw());
            EXPECT_EQ(doc.find_key(row->id()), row);
        }
        // The values themselves, for the record that has them all.
        EXPECT_EQ(doc.get_keys()->get_item(0)->description().raw(), "Иванов И. И.");
        EXPECT_EQ(doc.get_keys()->get_item(1)->description().raw(), "Склад №5, кв. 12 дверь");
        EXPECT_EQ(doc.get_keys()->get_item(0)->created(), parse_key_db_time("05.01.2024 10:30"));
        EXPECT_NE(doc.get_keys()->get_item(0)->created(), 0);
    }
}

// Saving fills records straight from the rows; the file must hold exactly the bytes a correct writer of
// the format produces, code-page text included.
TEST_F(CKeyDocumentTest, SaveWritesExactlyTheExpectedBytes) {
    write_database({});
    open();
    const std::int64_t created = parse_key_db_time("05.01.2024 10:30");
    m_doc.add_keys(
        {CKey::create(12, CT_DALLAS, KA_MASTER, number_of(0x0A1B2C), true, created, "Иванов И. И."),
         CKey::create(3, CT_EM_MARINE, KA_BLOCKING, CCardUID(0xBC, 1), false, 0, ""),
         CKey::create(4000000000u, CT_UNKNOWN, KA_INACTIVE, CCardUID(), false, created,
                      "░▒▓ " + std::string(96, 'z'))},
        0);
    m_doc.set_otc(46);
    m_doc.set_description("Склад");
    m_doc.save();
    const DbfCodePage cp = DbfCodePage::kCp866;
    Bytes expected = concat(table_header(key_db_fields(), 4),
                            record(key_db_fields(), {"", "", "", "", "002E", utf8_to_ansi(cp, "Склад"), ""}));
    expected = concat(
        expected, key_record(cp, "12", "2", "11", "1", "0000000A1B2C", "Иванов И. И.", "05.01.2024 10:30"));
    expected = concat(expected, key_record(cp, "3", "3", "1", "0", "BC", "", ""));
    expected = concat(expected, key_record(cp, "4000000000", "4", "0", "0", "", "░▒▓ " + std::string(96, 'z'),
                                           "05.01.2024 10:30"));
    EXPECT_BYTES_EQ(expected, read_file(m_path));
}
