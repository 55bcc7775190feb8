// Tests of CSV export and import of keys and of the database list: files read back into documents,
// the rules that match rows to keys, and failures that must leave files and documents as they were.
#include <gtest/gtest.h>

#include <giomm/init.h>

#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "keys/CsvExchange.h"
#include "keys/CsvTime.h"
#include "keys/KeyNumber.h"
#include "keys/dbf_LocalZone.h"
#include "keys/dbf_TestSupport.h"

using namespace dbftest;

namespace {

constexpr char kHeader[] = "ID,Type,Attr,Number,Short,Added,Description\n";

using test::read_text;
using test::write_text;

struct KeyValues {
    CardType type;
    KeyAttr attr;
    std::string number; // hexadecimal
    bool is_short;
    std::int64_t created;
    std::string description;
};

bool operator==(const KeyValues& a, const KeyValues& b) {
    return a.type == b.type && a.attr == b.attr && a.number == b.number && a.is_short == b.is_short &&
           a.created == b.created && a.description == b.description;
}
void PrintTo(const KeyValues& v, std::ostream* os) {
    *os << "{" << v.type << "," << v.attr << "," << v.number << "," << v.is_short << "," << v.created << ",\""
        << v.description << "\"}";
}

} // namespace

class CsvExchangeTest : public ::testing::Test, private CGioReady {
protected:
    void SetUp() override {
        m_doc.set_filename(m_dir / "doc.dbf");
        m_doc.open();
    }
    static CCardUID hex(const std::string& text) {
        CCardUID n;
        EXPECT_TRUE(n.TryParse(text)) << text;
        return n;
    }
    void add(CKeyDocument& doc, const KeyValues& v) {
        doc.add_keys({CKey::create(doc.generate_key_id(), v.type, v.attr, hex(v.number), v.is_short,
                                   v.created, v.description)},
                     doc.get_keys()->get_n_items());
    }
    static std::vector<KeyValues> values(const CKeyDocument& doc) {
        std::vector<KeyValues> out;
        for (guint i = 0; i < doc.get_keys()->get_n_items(); ++i) {
            const auto k = doc.get_keys()->get_item(i);
            out.push_back({k->card_type(), k->attr(), k->number().ToString(), k->is_short(), k->created(),
                           k->description().raw()});
        }
        return out;
    }
    static std::vector<std::uint32_t> ids(const CKeyDocument& doc) {
        std::vector<std::uint32_t> out;
        for (guint i = 0; i < doc.get_keys()->get_n_items(); ++i)
            out.push_back(doc.get_keys()->get_item(i)->id());
        return out;
    }
    std::filesystem::path file(const std::string& name) const { return m_dir / name; }

    CLocalZone m_zone{kCentralEurope};
    CScratchDir m_dir;
    CKeyDocument m_doc;
};

TEST_F(CsvExchangeTest, ExportWritesTheTableTexts) {
    add(m_doc, {CT_EM_MARINE, KA_NORMAL, "0000000A1B2C", false, local_time(2026, 12, 7, 4, 29) + 1,
                "Front door, left"});
    add(m_doc, {CT_UNKNOWN, KA_INACTIVE, "00000000BEEF", true, 0, "Say \"hi\""});
    EXPECT_EQ(export_keys_to_csv_file(file("k.csv"), m_doc, KF_EM_MARINE), 2u);
    EXPECT_EQ(read_text(file("k.csv")),
              std::string(kHeader) + "1,EM,N,\"010,06956\", ,Mon Dec  7 04:29:01 2026,\"Front door, left\"\n"
                                     "2,, ,\"000,48879\",*,,\"Say \"\"hi\"\"\"\n");
}

TEST_F(CsvExchangeTest, ExportAndImportRoundTripEveryValue) {
    const std::vector<KeyValues> keys = {
        {CT_EM_MARINE, KA_NORMAL, "00000A1B2C00", false, local_time(2026, 12, 5, 23, 59) + 59,
         "Front door, left"},
        {CT_DALLAS, KA_MASTER, "00123456789A", false, local_time(2025, 3, 30, 3, 0),
         "He said \"open\"\r\nit did"},
        {CT_TEMIC, KA_BLOCKING, "0000000000A1", true, 0, "Подъезд №2, кв. 15"},
        {CT_SMART_MX_4K, KA_INACTIVE, "0000FFFFFFFF", false, 1, std::string(3000, 'z') + "\"x\",y\r"},
        {CT_HID, KA_NONE, "000000000001", false, 0, ""},
    };
    for (const auto& k : keys)
        add(m_doc, k);
    for (key_format format : {KF_HEX, KF_DECIMAL, KF_DECIMAL_BYTES, KF_EM_MARINE_CODE}) {
        export_keys_to_csv_file(file("k.csv"), m_doc, format);
        CKeyDocument other;
        other.set_filename(file("other.dbf"));
        other.open();
        const CsvImportResult r = import_keys_from_csv_file(file("k.csv"), other, true, format);
        EXPECT_EQ(r.added, keys.size());
        EXPECT_EQ(r.readded, 0u);
        EXPECT_EQ(values(other), keys) << "format " << format;
        EXPECT_TRUE(other.is_modified());
        // Importing the same file again re-adds every key and adds none.
        const CsvImportResult again = import_keys_from_csv_file(file("k.csv"), other, true, format);
        EXPECT_EQ(again.added, 0u);
        EXPECT_EQ(again.readded, keys.size());
        EXPECT_EQ(values(other), keys);
    }
}

TEST_F(CsvExchangeTest, ImportGivesNewIdsAndIgnoresTheIdColumn) {
    write_text(file("k.csv"), std::string(kHeader) + "57,EM,N,0000000A1B2C, ,,a\n9,EM,N,0000000A1B2D, ,,b\n");
    add(m_doc, {CT_DALLAS, KA_NORMAL, "000000000077", false, 0, "kept"});
    const CsvImportResult r = import_keys_from_csv_file(file("k.csv"), m_doc, false, KF_HEX);
    EXPECT_EQ(r.added, 2u);
    EXPECT_EQ(ids(m_doc), (std::vector<std::uint32_t>{1, 2, 3}));
    EXPECT_EQ(csv_import_report(r), "2 keys imported: 2 added, 0 re-added");
}

struct MergeCase {
    KeyValues existing;
    std::string row; // after the header
    bool replace;
    unsigned added, readded;
    std::vector<KeyValues> after;
};

// An Em-Marine key with the attribute "normal", as most rows here are.
KeyValues em(const char* number, bool is_short, std::int64_t created, const char* description) {
    return {CT_EM_MARINE, KA_NORMAL, number, is_short, created, description};
}
template <class... Keys>
std::vector<KeyValues> keys(const Keys&... k) {
    return {k...};
}

TEST_F(CsvExchangeTest, MergesRowsIntoKeysByNumber) {
    const std::int64_t t = local_time(2024, 1, 2, 3, 4);
    const MergeCase cases[] = {
        // A short row matches a 6-byte key flagged short; the key keeps its number.
        {em("000000ABCDEF", true, t, "d"), ",EM,N,ABCDEF,*,,d\n", false, 0, 1,
         keys(em("000000ABCDEF", true, t, "d"))},
        // A 6-byte row upgrades a key stored as a short number.
        {em("ABCDEF", true, t, "d"), ",EM,N,123456ABCDEF, ,,d\n", false, 0, 1,
         keys(em("123456ABCDEF", false, t, "d"))},
        // A matched key takes type, attribute and description but keeps its creation time.
        {em("0000000A1B2C", false, t, "old"), ",DS,M,0000000A1B2C, ,Mon Dec  7 04:29:01 2026,new\n", false, 0,
         1, keys(KeyValues{CT_DALLAS, KA_MASTER, "0000000A1B2C", false, t, "new"})},
        // A long number differing above the low bytes is another key.
        {em("0000000A1B2C", false, t, "a"), ",EM,N,0000010A1B2C, ,,b\n", false, 1, 0,
         keys(em("0000000A1B2C", false, t, "a"), em("0000010A1B2C", false, 0, "b"))},
        // With replace, keys not in the file leave; without, they stay.
        {em("000000000001", false, t, "gone"), ",EM,N,000000000002, ,,new\n", true, 1, 0,
         keys(em("000000000002", false, 0, "new"))},
        {em("000000000001", false, t, "stays"), ",EM,N,000000000002, ,,new\n", false, 1, 0,
         keys(em("000000000001", false, t, "stays"), em("000000000002", false, 0, "new"))},
        // Unknown type and attribute texts fall back; rows without a number are skipped.
        {em("000000000001", false, t, "x"),
         ",XX,Q,000000000003, ,not a time,y\n,EM,N,, ,,no number\n,EM,N,zz!, ,,bad number\n", false, 1, 0,
         keys(em("000000000001", false, t, "x"),
              KeyValues{CT_UNKNOWN, KA_NORMAL, "000000000003", false, 0, "y"})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row);
        CKeyDocument doc;
        doc.set_filename(file("merge.dbf"));
        std::filesystem::remove(file("merge.dbf"));
        doc.open();
        add(doc, c.existing);
        write_text(file("m.csv"), kHeader + c.row);
        const CsvImportResult r = import_keys_from_csv_file(file("m.csv"), doc, c.replace, KF_HEX);
        EXPECT_EQ(values(doc), c.after);
        EXPECT_EQ(r.added, c.added);
        EXPECT_EQ(r.readded, c.readded);
    }
}

TEST_F(CsvExchangeTest, AnUnchangedImportLeavesTheDocumentUnmodified) {
    add(m_doc, {CT_EM_MARINE, KA_NORMAL, "000000000001", false, 0, "a"});
    m_doc.set_modified_flag(false);
    write_text(file("k.csv"), std::string(kHeader) + ",EM,N,000000000001, ,,a\n");
    import_keys_from_csv_file(file("k.csv"), m_doc, false, KF_HEX);
    EXPECT_FALSE(m_doc.is_modified());
}

TEST_F(CsvExchangeTest, ReadsColumnsInAnyOrderAndIgnoresUnknownOnes) {
    write_text(file("k.csv"), "\xEF\xBB\xBF"
                              "Description,Extra,Number\nfirst,zzz,000000000001,beyond\n");
    import_keys_from_csv_file(file("k.csv"), m_doc, true, KF_HEX);
    EXPECT_EQ(values(m_doc),
              (std::vector<KeyValues>{{CT_UNKNOWN, KA_NORMAL, "000000000001", false, 0, "first"}}));
}

TEST_F(CsvExchangeTest, MendsDescriptionsThatAreNotUtf8) {
    write_text(file("k.csv"), std::string(kHeader) + ",EM,N,000000000001, ,,ab\xFF"
                                                     "cd\n");
    import_keys_from_csv_file(file("k.csv"), m_doc, true, KF_HEX);
    const Glib::ustring d = m_doc.get_keys()->get_item(0)->description();
    EXPECT_TRUE(d.validate());
    EXPECT_EQ(d.raw().substr(0, 2), "ab");
}

// A file that cannot be used must never empty the panel it is imported into.
TEST_F(CsvExchangeTest, AFileThatCannotBeReadChangesNothing) {
    add(m_doc, {CT_EM_MARINE, KA_NORMAL, "000000000001", false, 0, "keep me"});
    m_doc.set_modified_flag(false);
    const auto before = values(m_doc);
    write_text(file("foreign.csv"),
               "Nr,Typ,Attribut,Nummer,Kurz,Hinzugefügt,Beschreibung\n1,EM,N,000000000002, ,,x\n");
    write_text(file("empty.csv"), "");
    std::filesystem::create_directory(file("folder.csv"));
    for (const char* name : {"missing.csv", "foreign.csv", "empty.csv", "folder.csv"}) {
        EXPECT_THROW(import_keys_from_csv_file(file(name), m_doc, true, KF_HEX), std::runtime_error) << name;
        EXPECT_EQ(values(m_doc), before) << name;
        EXPECT_FALSE(m_doc.is_modified()) << name;
    }
    try {
        import_keys_from_csv_file(file("foreign.csv"), m_doc, true, KF_HEX);
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("\"Number\""), std::string::npos) << e.what();
    }
}

TEST_F(CsvExchangeTest, AFailedExportKeepsTheOldFile) {
    add(m_doc, {CT_EM_MARINE, KA_NORMAL, "000000000001", false, 0, "a"});
    write_text(file("old.csv"), "precious");
    // Something that is not a file stands where the temporary file would go: the export fails as a whole.
    std::filesystem::create_directory(file("old.csv.tmp"));
    EXPECT_THROW(export_keys_to_csv_file(file("old.csv"), m_doc, KF_HEX), std::runtime_error);
    EXPECT_THROW(export_bases_to_csv_file(file("old.csv"), {{"a", "b", 1}}), std::runtime_error);
    EXPECT_EQ(read_text(file("old.csv")), "precious");
    EXPECT_THROW(export_keys_to_csv_file(m_dir / "no-such-folder" / "k.csv", m_doc, KF_HEX),
                 std::runtime_error);
}

TEST_F(CsvExchangeTest, ExportReplacesAnExistingFileAndLeavesNoTemporaryFile) {
    add(m_doc, {CT_EM_MARINE, KA_NORMAL, "000000000001", false, 0, "a"});
    write_text(file("k.csv"), "old content that is longer than the new one, much longer, really");
    write_text(file("k.csv.tmp"), "left behind");
    export_keys_to_csv_file(file("k.csv"), m_doc, KF_HEX);
    EXPECT_EQ(read_text(file("k.csv")), std::string(kHeader) + "1,EM,N,000000000001, ,,a\n");
    EXPECT_FALSE(std::filesystem::exists(file("k.csv.tmp")));
}

TEST_F(CsvExchangeTest, ExportsTheDatabaseList) {
    EXPECT_EQ(export_bases_to_csv_file(file("b.csv"), {{"Office", "Main, north", 12}, {"Дом", "", 0}}), 2u);
    EXPECT_EQ(read_text(file("b.csv")), "Database,Description,Keys\nOffice,\"Main, north\",12\nДом,,0\n");
}
