// Tests of the key database file: its columns and record 0, the mapping of key records in both
// directions, creation times in local time, rejected files and the fast description read. Files are
// checked byte by byte and read back by an independent DBF reader.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <ctime>
#include <map>
#include <stdexcept>

#include "common/HexDiff.h"
#include "keys/CKeyDb.h"
#include "keys/KeyDbTime.h"
#include "keys/dbf_DbfRead.h"
#include "keys/dbf_LocalZone.h"
#include "keys/dbf_TestSupport.h"

using namespace dbftest;

namespace {

const std::string kDoor = "Дверь";
const Bytes kDoorCp866 = {0x84, 0xA2, 0xA5, 0xE0, 0xEC};

std::string connect_error(const std::filesystem::path& path) {
    try {
        CKeyDb db;
        db.Connect(path, false);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

key_info make_key(std::uint32_t id, KeyAttr attr, const std::string& comment = "", std::int64_t created = 0) {
    key_info k;
    k.id = id;
    k.type = CT_DALLAS;
    k.attr = attr;
    const std::uint8_t bytes[] = {1, 2, 3, 4, 5, 6};
    k.number = CCardUID(bytes, 6);
    k.created = created;
    k.comment = comment;
    return k;
}

Bytes padded(Bytes b, std::size_t n) {
    b.resize(n, ' ');
    return b;
}

} // namespace

class CKeyDbTest : public ::testing::Test {
protected:
    Bytes record_on_disk(std::size_t index) {
        const Bytes file = read_file(m_path);
        const std::size_t at = 257 + 154 * index;
        if (file.size() < at + 154)
            return {};
        return Bytes(file.begin() + static_cast<long>(at), file.begin() + static_cast<long>(at + 154));
    }
    // A key database whose key records hold these raw field values (record 0 is blank).
    void write_keys(const std::vector<std::vector<std::string>>& keys) {
        const auto fields = key_db_fields();
        Bytes file =
            concat(table_header(fields, static_cast<std::uint32_t>(keys.size() + 1)), record(fields, {}));
        for (const auto& k : keys)
            file = concat(file, record(fields, k));
        write_file(m_path, file);
    }
    key_info read_key(std::uint32_t k) {
        CKeyDb db;
        db.Connect(m_path, false);
        key_info info;
        db.ReadKey(k, info);
        return info;
    }

    CScratchDir m_dir;
    std::filesystem::path m_path = m_dir / "keys.dbf";
    CLocalZone m_zone{kCentralEurope};
};

// ---- a new database and record 0 ----

TEST_F(CKeyDbTest, NewDatabaseHoldsOnlyABlankDatabaseRecord) {
    CKeyDb db;
    db.Connect(m_path, false);
    EXPECT_EQ(db.GetRecordCount(), 1u);
    EXPECT_EQ(db.GetKeyCount(), 0u);
    EXPECT_EQ(db.GetComment(), "");
    EXPECT_EQ(db.GetOpenTimeCode(), 46);
    db.Close();
    EXPECT_BYTES_EQ(concat(table_header(key_db_fields(), 1), Bytes(154, ' ')), read_file(m_path));
}

TEST_F(CKeyDbTest, DatabaseRecordHoldsTimeCodeAndDescription) {
    {
        CKeyDb db;
        db.Connect(m_path, true);
        db.SetOpenTimeCode(3900);
        db.SetComment(kDoor);
    } // the destructor writes the pending record 0
    Bytes expected = padded(Bytes{' '}, 22);
    expected = concat(expected, padded(to_bytes("0F3C"), 16));
    expected = concat(expected, padded(kDoorCp866, 100));
    expected = padded(expected, 154);
    EXPECT_BYTES_EQ(expected, record_on_disk(0));
    EXPECT_EQ(read_file(m_path).size(), 411u);
    CKeyDb db;
    db.Connect(m_path, false);
    EXPECT_EQ(db.GetOpenTimeCode(), 3900);
    EXPECT_EQ(db.GetComment().raw(), kDoor);
}

TEST_F(CKeyDbTest, UnreadableTimeCodeIsTheDefaultAndAnEmptyTableGetsTheDatabaseRecord) {
    write_keys({});
    Bytes file = read_file(m_path);
    file[257 + 22] = 'Z';
    write_file(m_path, file);
    {
        CKeyDb db;
        db.Connect(m_path, false);
        EXPECT_EQ(db.GetOpenTimeCode(), 46);
    }
    write_file(m_path, table_header(key_db_fields(), 0));
    CKeyDb db;
    db.Connect(m_path, false);
    db.Close();
    EXPECT_EQ(read_file(m_path).size(), 411u);
}

TEST_F(CKeyDbTest, ConnectWithCreateReplacesAnExistingDatabase) {
    write_keys({{"1"}, {"2"}});
    CKeyDb db;
    db.Connect(m_path, true);
    EXPECT_EQ(db.GetKeyCount(), 0u);
}

// ---- key records ----

TEST_F(CKeyDbTest, KeysReadBackAsWritten) {
    key_info a = make_key(4000000000u, KA_INACTIVE, kDoor, local_time(2021, 7, 1, 23, 59));
    a.type = CT_SMART_MX_4K;
    a.is_short = true;
    const std::uint8_t eight[] = {1, 2, 3, 4, 5, 6, 7, 0xFF};
    a.number = CCardUID(eight, 8);
    key_info b = make_key(1, KA_BLOCKING);
    b.number = CCardUID();
    {
        CKeyDb db;
        db.Connect(m_path, true);
        db.AddKey(a);
        db.AddKey(b);
    }
    for (std::uint32_t k = 0; k < 2; ++k) {
        const key_info& want = k == 0 ? a : b;
        const key_info got = read_key(k);
        EXPECT_EQ(got.id, want.id);
        EXPECT_EQ(got.type, want.type);
        EXPECT_EQ(got.attr, want.attr);
        EXPECT_EQ(got.number, want.number);
        EXPECT_EQ(got.is_short, want.is_short);
        EXPECT_EQ(got.created, want.created);
        EXPECT_EQ(got.comment, want.comment);
    }
}

TEST_F(CKeyDbTest, AttributesUseTheFileCodes) {
    {
        CKeyDb db;
        db.Connect(m_path, true);
        for (KeyAttr a : {KA_NORMAL, KA_BLOCKING, KA_MASTER, KA_INACTIVE, static_cast<KeyAttr>(9)})
            db.AddKey(make_key(1, a));
    }
    const char codes[] = {'1', '3', '2', '4', '9'};
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(record_on_disk(i + 1)[16], codes[i]) << i;
    EXPECT_EQ(key_attr_from_db_code(3), KA_BLOCKING);
    for (long other : {0L, 5L})
        EXPECT_EQ(key_attr_from_db_code(other), KA_NORMAL) << other;
}

TEST_F(CKeyDbTest, UnparsableStoredValuesReadAsDefaults) {
    write_keys({{"abc", "7", "25", "x", "ABC"}, {"", "", "-1", "2", "XYZ"}, {"12", "3", "21", "1", "00"}});
    key_info k = read_key(0);
    EXPECT_EQ(k.id, 0u);
    EXPECT_EQ(k.attr, KA_NORMAL);
    EXPECT_EQ(k.type, CT_UNKNOWN);
    EXPECT_FALSE(k.is_short);
    EXPECT_EQ(k.number.length, 1);
    EXPECT_EQ(k.number.bytes[0], 0xBC);
    k = read_key(1);
    EXPECT_EQ(k.attr, KA_NORMAL);
    EXPECT_EQ(k.type, CT_UNKNOWN);
    EXPECT_TRUE(k.is_short);
    EXPECT_TRUE(k.number.empty());
    EXPECT_EQ(k.created, 0);
    k = read_key(2);
    EXPECT_EQ(k.id, 12u);
    EXPECT_EQ(k.attr, KA_BLOCKING);
    EXPECT_EQ(k.type, CT_SMART_MX_4K);
    EXPECT_EQ(k.number.length, 1);
}

// ---- creation times ----

TEST_F(CKeyDbTest, CreationTimesParseAsLocalTime) {
    EXPECT_EQ(parse_key_db_time("5.1.2024"), local_time(2024, 1, 5));
    EXPECT_EQ(parse_key_db_time("31.02.2024 10:00"), local_time(2024, 3, 2, 10, 0));
    EXPECT_EQ(parse_key_db_time("05.01.2024  7:5"), local_time(2024, 1, 5, 7, 5));
    EXPECT_EQ(parse_key_db_time("05.01.2024 7"), local_time(2024, 1, 5, 7, 0));
    EXPECT_EQ(parse_key_db_time("05.07.2024 25:61"), local_time(2024, 7, 5, 25, 61));
    for (const char* bad : {"1.13.2024", "0.1.2024", "32.1.2024", "1.1.1899", "1.1", "", "x", "1/1/2024"})
        EXPECT_EQ(parse_key_db_time(bad), 0) << bad;
    write_keys({{"1", "1", "11", "0", "01", "", "31.02.2024 10:00"}});
    EXPECT_EQ(read_key(0).created, local_time(2024, 3, 2, 10, 0));
}

// Every minute of the days the clocks change, and of the days around them, in two zones. The expected
// instant of a wall time is found by walking the instants of the days minute by minute: a wall time
// the clocks show twice is its later instant; one they skip is what mktime makes of it.
struct ClockChangeDays {
    const char* name;
    const char* zone;
    int year;
    int spring_month, spring_day, autumn_month, autumn_day;
};

class KeyDbClockChangeTest : public ::testing::TestWithParam<ClockChangeDays> {};

TEST_P(KeyDbClockChangeTest, CreationTimesOfEveryMinuteAreTheInstantsTheClockShowed) {
    const ClockChangeDays& p = GetParam();
    CLocalZone zone(p.zone);
    for (const auto& [month, change_day] :
         {std::pair{p.spring_month, p.spring_day}, std::pair{p.autumn_month, p.autumn_day}}) {
        for (int next_to = -1; next_to <= 1; ++next_to) {
            const auto noon =
                static_cast<std::time_t>(local_time(p.year, month, change_day + next_to, 12, 0));
            std::tm date{};
            localtime_r(&noon, &date);
            const int year = date.tm_year + 1900, month_of_day = date.tm_mon + 1, day = date.tm_mday;
            // The instants whose local date is this day, by their wall minute; later ones replace earlier.
            std::map<int, std::int64_t> shown;
            for (std::time_t t = noon - 36 * 3600; t <= noon + 36 * 3600; t += 60) {
                std::tm tm{};
                localtime_r(&t, &tm);
                if (tm.tm_year == date.tm_year && tm.tm_mon == date.tm_mon && tm.tm_mday == day)
                    shown[tm.tm_hour * 60 + tm.tm_min] = t;
            }
            for (int minute_of_day = 0; minute_of_day < 24 * 60; ++minute_of_day) {
                const int hour = minute_of_day / 60, minute = minute_of_day % 60;
                char text[64];
                std::snprintf(text, sizeof text, "%d.%d.%d %d:%d", day, month_of_day, year, hour, minute);
                const auto it = shown.find(minute_of_day);
                const std::int64_t expected =
                    it != shown.end() ? it->second : local_time(year, month_of_day, day, hour, minute);
                ASSERT_EQ(parse_key_db_time(text), expected) << p.zone << " " << text;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(TwoZones, KeyDbClockChangeTest,
                         ::testing::Values(ClockChangeDays{"CentralEurope", kCentralEurope, 2024, 3, 31, 10,
                                                           27},
                                           ClockChangeDays{"EasternUs", kEasternUs, 2024, 3, 10, 11, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

// Saving writes creation times from the day cache and opening reads the written form with its own scanner;
// both must agree with the system's local time for instants in any order, across clock changes, in zones
// whose offsets are not whole hours too, over more days than the cache keeps at once.
TEST(KeyDbTimeTest, WrittenTimesAgreeWithTheSystemAndReadBack) {
    for (const char* tz : {kCentralEurope, kEasternUs, "NST3:30NDT,M3.2.0,M11.1.0", "<+0545>-5:45"}) {
        CLocalZone zone(tz);
        const std::int64_t first = 946684800; // 2000-01-01 UTC
        const std::int64_t range = 60 * 366 * 24 * 3600;
        for (std::int64_t i = 0; i < 6000; ++i) {
            const std::int64_t t = first + (i * 2654435761) % range; // jumps between seasons
            const auto value = static_cast<std::time_t>(t);
            std::tm tm{};
            ASSERT_TRUE(localtime_r(&value, &tm));
            char expected[64];
            std::snprintf(expected, sizeof expected, "%.2d.%.2d.%.4d %.2d:%.2d", tm.tm_mday, tm.tm_mon + 1,
                          tm.tm_year + 1900, tm.tm_hour, tm.tm_min);
            ASSERT_EQ(format_key_db_time(t), expected) << tz << " at " << t;
            ASSERT_EQ(format_key_db_time(parse_key_db_time(expected)), expected) << tz << " at " << t;
        }
    }
}

TEST_F(CKeyDbTest, CreationTimesAreWrittenInLocalTime) {
    EXPECT_EQ(format_key_db_time(1704067200), "01.01.2024 01:00"); // 00:00 UTC
    EXPECT_EQ(format_key_db_time(0), "");                          // unknown stays unknown
    EXPECT_EQ(format_key_db_time(INT64_MAX), "");
}

// ---- rejected files ----

// Values are put straight into new records only when they surely fit; every value that does not must still
// be refused the way the field setter refuses it, without touching the fields after it.
TEST_F(CKeyDbTest, KeysWithValuesThatDoNotFitAreRefused) {
    struct Case {
        const char* what;
        key_info info;
        std::string message;
    };
    key_info base;
    base.id = 5;
    base.number = CCardUID(0x0A1B2Cull, 6);
    base.comment = "ok";
    std::vector<Case> cases;
    const auto with = [&](const char* what, auto change, std::string message) {
        key_info k = base;
        change(k);
        cases.push_back({what, k, std::move(message)});
    };
    with(
        "number of nine bytes",
        [](key_info& k) { k.number = CCardUID(reinterpret_cast<const std::uint8_t*>("123456789"), 9); },
        "Bad Value");
    with(
        "attribute code of five digits", [](key_info& k) { k.attr = static_cast<KeyAttr>(12345); },
        "Bad Value");
    with(
        "type of five digits", [](key_info& k) { k.type = static_cast<CardType>(99999); }, "Bad Value");
    with(
        "description of 101 characters", [](key_info& k) { k.comment = std::string(101, 'x'); }, "Bad Value");
    with(
        "description the code page lacks", [](key_info& k) { k.comment = "中"; }, "iconv failed, errno: 84");
    for (const Case& c : cases) {
        CKeyDb db;
        db.Connect(m_path, true);
        try {
            db.AddKey(c.info);
            ADD_FAILURE() << c.what << " was accepted";
        } catch (const std::exception& e) {
            EXPECT_EQ(std::string(e.what()).rfind(c.message, 0), 0u) << c.what << ": " << e.what();
        }
        db.Close();
        const Bytes rec = record_on_disk(1);
        ASSERT_EQ(rec.size(), 154u) << c.what;
        // The description field was never reached or was left blank: nothing spilled into it.
        if (std::string(c.what).rfind("description", 0) != 0) {
            EXPECT_EQ(std::string(rec.begin() + 38, rec.begin() + 138), std::string(100, ' ')) << c.what;
        }
    }
}

TEST_F(CKeyDbTest, WrongColumnsAreBadDatabaseFormat) {
    auto fields = key_db_fields();
    fields[0] = field("id", 'N', 12);
    write_file(m_path, concat(table_header(fields, 1), record(fields, {})));
    EXPECT_EQ(connect_error(m_path), "Bad database format.");
    fields = key_db_fields();
    fields[5].length = 99;
    write_file(m_path, concat(table_header(fields, 1), record(fields, {})));
    EXPECT_EQ(connect_error(m_path), "Bad database format.");
    fields = key_db_fields();
    fields[3].type = 'C';
    write_file(m_path, table_header(fields, 0));
    EXPECT_EQ(connect_error(m_path), "Bad database format.");
    fields.resize(6);
    write_file(m_path, table_header(fields, 0));
    EXPECT_EQ(connect_error(m_path), "Bad database format.");
}

TEST_F(CKeyDbTest, WiderColumnsAndFurtherFieldsAreAccepted) {
    auto fields = key_db_fields();
    fields[4].length = 20;
    fields.push_back(field("EXTRA", 'C', 5));
    write_file(m_path, concat(concat(table_header(fields, 2), record(fields, {})),
                              record(fields, {"9", "2", "1", "0", "0A0B0C0D0E0F1011", "x"})));
    const key_info k = read_key(0);
    EXPECT_EQ(k.id, 9u);
    EXPECT_EQ(k.attr, KA_MASTER);
    EXPECT_EQ(k.number.length, 8);
    EXPECT_EQ(k.comment, "x");
}

// ---- GetKeyDbInfo ----

TEST_F(CKeyDbTest, KeyDbInfoReportsDescriptionAndKeyCount) {
    {
        CKeyDb db;
        db.Connect(m_path, true);
        db.SetComment("  " + kDoor + " 1 ");
        for (int i = 0; i < 10; ++i)
            db.AddKey(make_key(static_cast<std::uint32_t>(i), KA_NORMAL));
    }
    Glib::ustring description;
    int count = -1;
    EXPECT_TRUE(CKeyDb::GetKeyDbInfo(m_path, description, count));
    EXPECT_EQ(description.raw(), kDoor + " 1");
    EXPECT_EQ(count, 10);
}

// The database list reads every *.dbf of the folder: a FIFO among them must neither block it nor be taken
// for a database.
TEST_F(CKeyDbTest, KeyDbInfoRefusesAFifoWithoutBlocking) {
    ASSERT_EQ(::mkfifo(m_path.c_str(), 0600), 0);
    const auto info = within_deadline(m_path, [this] {
        Glib::ustring description;
        int count = -1;
        const bool ok = CKeyDb::GetKeyDbInfo(m_path, description, count);
        return std::make_pair(ok, count);
    });
    EXPECT_EQ(info, std::make_pair(false, 0));
}

TEST_F(CKeyDbTest, KeyDbInfoReadsWindows1251Descriptions) {
    Bytes f = concat(table_header(key_db_fields(), 1, 0x57), Bytes(154, ' '));
    const Bytes win = {0xC4, 0xE2, 0xE5, 0xF0, 0xFC};
    std::copy(win.begin(), win.end(), f.begin() + 257 + 38);
    write_file(m_path, f);
    Glib::ustring description;
    int count = -1;
    EXPECT_TRUE(CKeyDb::GetKeyDbInfo(m_path, description, count));
    EXPECT_EQ(description.raw(), kDoor);
    EXPECT_EQ(count, 0);
}

TEST_F(CKeyDbTest, KeyDbInfoFailsWithoutDescriptionOrFile) {
    Glib::ustring description = "old";
    int count = -1;
    EXPECT_FALSE(CKeyDb::GetKeyDbInfo(m_dir / "none.dbf", description, count));
    EXPECT_EQ(description, "");
    EXPECT_EQ(count, 0);
    write_keys({{"1"}, {"2"}});
    EXPECT_FALSE(CKeyDb::GetKeyDbInfo(m_path, description, count));
    EXPECT_EQ(count, 2);
    write_file(m_path, table_header(key_db_fields(), 0));
    EXPECT_FALSE(CKeyDb::GetKeyDbInfo(m_path, description, count));
    EXPECT_EQ(count, 0);
}

TEST_F(CKeyDbTest, KeyDbInfoIgnoresBytesItDidNotRead) {
    // One short field: COMMENT's place lies beyond the file, though header plus record fit 512 bytes.
    const auto fields = {field("A", 'C', 10)};
    write_file(m_path, concat(table_header(fields, 2), Bytes(22, 'x')));
    Glib::ustring description;
    int count = -1;
    EXPECT_FALSE(CKeyDb::GetKeyDbInfo(m_path, description, count));
    EXPECT_EQ(description, "");
    EXPECT_EQ(count, 1);
    // A record count beyond the file counts only the records there.
    Bytes f = concat(table_header(key_db_fields(), 0xFFFFFFFF), Bytes(154 * 3, 'x'));
    write_file(m_path, f);
    EXPECT_TRUE(CKeyDb::GetKeyDbInfo(m_path, description, count));
    EXPECT_EQ(count, 2);
}

TEST_F(CKeyDbTest, IndependentReaderSeesTheSameKeys) {
    ASSERT_TRUE(dbfread_available()) << "python3-dbfread is needed (tools/deps.sh installs it)";
    {
        CKeyDb db;
        db.Connect(m_path, true);
        db.SetOpenTimeCode(46);
        db.SetComment("Склад №2");
        db.AddKey(make_key(57, KA_MASTER, kDoor, local_time(2024, 3, 31, 14, 5)));
        key_info k = make_key(58, KA_BLOCKING, "Ёлка, ёж");
        k.type = CT_EM_MARINE;
        k.is_short = true;
        db.AddKey(k);
    }
    const std::vector<std::string> expected = {
        "None\tNone\tNone\tNone\t002E\tСклад №2\t",
        "57\t2\t11\t0\t060504030201\tДверь\t31.03.2024 14:05",
        "58\t3\t1\t1\t060504030201\tЁлка, ёж\t",
    };
    EXPECT_EQ(dbfread_records(m_path), expected);
}
