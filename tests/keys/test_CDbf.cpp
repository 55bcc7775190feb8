// Tests of the DBF table engine. Files are built and inspected byte by byte in a scratch folder; field
// values go in and out through the public interface, damaged files are written by hand.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <stdexcept>
#include <sys/stat.h>

#include "common/HexDiff.h"
#include "keys/CDbf.h"
#include "keys/DbfCodePage.h"
#include "keys/dbf_TestSupport.h"

using namespace dbftest;

namespace {

const std::string kCyrillic = "Привет, мир"; // 11 characters
const Bytes kCyrillicWin1251 = {0xCF, 0xF0, 0xE8, 0xE2, 0xE5, 0xF2, 0x2C, 0x20, 0xEC, 0xE8, 0xF0};

std::string exception_text(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(no exception)";
}

} // namespace

class CDbfTest : public ::testing::Test {
protected:
    void create(const std::vector<CDbf::DBFFIELD>& fields) {
        m_fields = fields;
        m_db.Create(m_path, fields.data(), static_cast<int>(fields.size()));
    }
    // The bytes of record `index` in the file on disk.
    Bytes record_on_disk(std::size_t index) {
        const Bytes file = read_file(m_path);
        const std::size_t h = file[8] | file[9] << 8, rl = file[10] | file[11] << 8;
        return Bytes(file.begin() + static_cast<long>(h + rl * index),
                     file.begin() + static_cast<long>(h + rl * (index + 1)));
    }
    // A table with one record per value in a single field.
    void table_of(const CDbf::DBFFIELD& f, const std::vector<std::string>& values) {
        create({f});
        for (const auto& v : values) {
            m_db.Append(1);
            m_db.SetFieldData(0, v);
        }
        m_db.Post();
    }

    CScratchDir m_dir;
    std::filesystem::path m_path = m_dir / "table.dbf";
    std::vector<CDbf::DBFFIELD> m_fields;
    CDbf m_db;
};

// ---- file layout ----

TEST_F(CDbfTest, NewKeyTableIsHeaderOnly257Bytes) {
    create(key_db_fields());
    EXPECT_EQ(m_db.GetHeaderLength(), 257);
    EXPECT_EQ(m_db.GetRecordLength(), 154);
    EXPECT_EQ(m_db.GetCurrentRecord(), -1);
    EXPECT_BYTES_EQ(table_header(key_db_fields(), 0), read_file(m_path));
}

TEST_F(CDbfTest, FieldsSitAtTheirOffsetsWithAlignmentByType) {
    create({field("NAME", 'C', 6), field("NUM", 'N', 5), field("OK", 'L', 1), field("DAY", 'D', 8)});
    m_db.Append(1);
    m_db.SetFieldData(0, "ab");
    m_db.SetFieldData(1, "12");
    m_db.SetFieldData(2, "TRUE");
    m_db.SetFieldData(3, "31.01.25");
    m_db.Post();
    EXPECT_BYTES_EQ(to_bytes(" ab       12T20250131"), record_on_disk(0));
}

TEST_F(CDbfTest, WritingARecordStampsTodayIntoTheHeader) {
    create({field("A", 'C', 2)});
    m_db.Append(1);
    m_db.SetDbfDate(2, 3, 99);
    m_db.SetFieldData(0, "x");
    m_db.Post();
    const Bytes expected = table_header({field("A", 'C', 2)}, 1);
    const Bytes file = read_file(m_path);
    EXPECT_BYTES_EQ(Bytes(expected.begin(), expected.begin() + 4), Bytes(file.begin(), file.begin() + 4));
}

TEST_F(CDbfTest, EndOfFileMarkerIsIgnored) {
    const auto fields = {field("A", 'C', 3)};
    write_file(m_path, concat(concat(table_header(fields, 1), record(fields, {"abc"})), {0x1A}));
    m_db.Open(m_path, false);
    EXPECT_EQ(m_db.GetRecordCount(), 1u);
    m_db.GoToRecord(0);
    EXPECT_EQ(m_db.GetFieldData(0), "abc");
}

TEST_F(CDbfTest, DestructorKeepsAppendedRecordsButDropsAnUnpostedEdit) {
    {
        CDbf db;
        const auto fields = {field("A", 'C', 2)};
        db.Create(m_path, std::data(fields), 1);
        db.Append(2);
        db.SetFieldData(0, "zz");
    }
    const Bytes file = read_file(m_path);
    EXPECT_EQ(file.size(), 65u + 2 * 3);
    EXPECT_EQ(file[4], 2);
    EXPECT_BYTES_EQ(Bytes(6, ' '), Bytes(file.begin() + 65, file.end()));
}

// ---- code pages ----

TEST_F(CDbfTest, CyrillicRoundTripInWindows1251StoresWindows1251Codes) {
    create({field("C", 'C', 11)});
    m_db.SetCodePage(1);
    m_db.Append(1);
    m_db.SetFieldData(0, kCyrillic);
    m_db.Close();
    EXPECT_EQ(read_file(m_path)[29], 0x57);
    EXPECT_BYTES_EQ(concat({' '}, kCyrillicWin1251), record_on_disk(0));
    m_db.Open(m_path, true);
    EXPECT_EQ(m_db.GetCodePage(), DbfCodePage::kWindows1251);
    m_db.GoToRecord(0);
    EXPECT_EQ(m_db.GetFieldData(0).raw(), kCyrillic);
}

TEST_F(CDbfTest, LanguageByteZeroReadsAsWindows1251AndOtherPagesWriteTheirByte) {
    const auto fields = {field("C", 'C', 11)};
    write_file(m_path, concat(table_header(fields, 1, 0), concat({' '}, kCyrillicWin1251)));
    m_db.Open(m_path, true);
    m_db.GoToRecord(0);
    EXPECT_EQ(m_db.GetFieldData(0).raw(), kCyrillic);
    create({field("C", 'C', 1)});
    m_db.SetCodePage(2);
    EXPECT_EQ(read_file(m_path)[29], 0x26);
    m_db.SetCodePage(7);
    EXPECT_EQ(read_file(m_path)[29], 0x00);
}

TEST_F(CDbfTest, ExactlyFieldLengthCyrillicFitsOneMoreIsRefusedBeforeConversion) {
    table_of(field("C", 'C', 11), {kCyrillic});
    m_db.GoToRecord(0);
    EXPECT_THROW(m_db.SetFieldData(0, kCyrillic + "!"), CDbfException);
    EXPECT_FALSE(m_db.IsModified());
    EXPECT_EQ(m_db.GetFieldData(0).raw(), kCyrillic); // refused before anything changed
}

TEST_F(CDbfTest, CharacterOutsideTheCodePageIsReportedWithErrno) {
    table_of(field("C", 'C', 10), {"x"});
    m_db.GoToRecord(0);
    EXPECT_EQ(exception_text([&] { m_db.SetFieldData(0, "中"); }), "iconv failed, errno: 84");
    EXPECT_EQ(m_db.GetFieldData(0), ""); // blanked first
    EXPECT_FALSE(m_db.IsModified());
    // The thread's converter is still usable after the failure.
    m_db.SetFieldData(0, "Ж");
    EXPECT_EQ(m_db.GetFieldData(0), "Ж");
}

TEST_F(CDbfTest, UndefinedWindows1251ByteFailsReading) {
    const auto fields = {field("C", 'C', 1)};
    write_file(m_path, concat(table_header(fields, 1, 0x57), {' ', 0x98}));
    m_db.Open(m_path, true);
    m_db.GoToRecord(0);
    EXPECT_EQ(exception_text([&] { m_db.GetFieldData(0); }), "iconv conversion failed");
}

// ---- field types ----

TEST_F(CDbfTest, BlankFieldsReadEmptyAndNumericIsTrimmed) {
    const auto fields = {field("N", 'N', 5), field("C", 'C', 3), field("L", 'L', 1), field("D", 'D', 8)};
    write_file(m_path, concat(table_header(fields, 1), to_bytes("   12                ")));
    m_db.Open(m_path, true);
    m_db.GoToRecord(0);
    EXPECT_EQ(m_db.GetFieldData(0), "12");
    EXPECT_EQ(m_db.GetFieldData(1), "");
    EXPECT_EQ(m_db.GetFieldData(2), "");
    EXPECT_EQ(m_db.GetFieldData(3), "");
}

TEST_F(CDbfTest, DatesReadAsDayMonthYearAndWriteAsYyyymmdd) {
    table_of(field("D", 'D', 10), {"31.01.25", "31.01.51", "31.01.2025", "01.12.50"});
    EXPECT_BYTES_EQ(to_bytes(" 20250131  "), record_on_disk(0));
    EXPECT_BYTES_EQ(to_bytes(" 19510131  "), record_on_disk(1));
    EXPECT_BYTES_EQ(to_bytes(" 39250131  "), record_on_disk(2));
    EXPECT_BYTES_EQ(to_bytes(" 20501201  "), record_on_disk(3));
    m_db.GoToRecord(0);
    EXPECT_EQ(m_db.GetFieldData(0), "31.01.25");
}

TEST_F(CDbfTest, ShortDateIsRefusedAfterBlanking) {
    table_of(field("D", 'D', 8), {"31.01.25"});
    m_db.GoToRecord(0);
    EXPECT_THROW(m_db.SetFieldData(0, "1.1.25"), CDbfException);
    EXPECT_EQ(m_db.GetFieldData(0), "");
    EXPECT_FALSE(m_db.IsModified());
}

TEST_F(CDbfTest, LogicalValuesReadAndWrite) {
    table_of(field("L", 'L', 1), {"YES", "NO", "yes"});
    const char expected[] = {'T', 'F', ' '};
    for (std::size_t i = 0; i < 3; ++i)
        EXPECT_EQ(record_on_disk(i)[1], expected[i]) << i;
    const auto fields = {field("L", 'L', 1)};
    write_file(m_path, concat(table_header(fields, 4), to_bytes(" y n t ?")));
    CDbf db;
    db.Open(m_path, true);
    const char* reads[] = {"TRUE", "FALSE", "TRUE", "FALSE"};
    for (int i = 0; i < 4; ++i) {
        db.GoToRecord(i);
        EXPECT_EQ(db.GetFieldData(0), reads[i]) << i;
    }
}

// Each value as it lands in its record: numbers right-aligned as given, floats rounded to their decimals with
// a leading zero below one and no point without decimals.
TEST_F(CDbfTest, NumbersAreWrittenRightAlignedAndFloatsRounded) {
    struct Case {
        CDbf::DBFFIELD f;
        std::vector<std::pair<std::string, std::string>> written;
    };
    const Case cases[] = {
        {field("F", 'F', 8, 2), {{"3.14159", "     3.14"}, {"1234.5", "  1234.50"}}},
        {field("F", 'F', 8, 3), {{"-0.05", "   -0.050"}, {"0.0004", "    0.000"}}},
        {field("F", 'F', 4, 0), {{"12.6", "   13"}}},
        {field("N", 'N', 6), {{"-12", "    -12"}}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> values;
        for (const auto& [value, record] : c.written)
            values.push_back(value);
        table_of(c.f, values);
        for (std::size_t i = 0; i < c.written.size(); ++i)
            EXPECT_BYTES_EQ(to_bytes(c.written[i].second), record_on_disk(i)) << c.written[i].first;
    }
}

TEST_F(CDbfTest, FloatTooWideForTheFieldIsRefused) {
    table_of(field("F", 'F', 5, 2), {"1.5"});
    m_db.GoToRecord(0);
    EXPECT_THROW(m_db.SetFieldData(0, "123.4"), CDbfException); // "123.40" needs six bytes
    EXPECT_THROW(m_db.SetFieldData(0, "nan"), CDbfException);
}

TEST_F(CDbfTest, FloatReadsWithTheLocaleDecimalPoint) {
    table_of(field("F", 'F', 6, 2), {"-0.25"});
    m_db.GoToRecord(0);
    const std::string point = std::localeconv()->decimal_point;
    EXPECT_EQ(m_db.GetFieldData(0).raw(), "-0" + point + "25");
}

// ---- record operations ----

class CDbfRecordsTest : public CDbfTest {
protected:
    void SetUp() override { table_of(field("V", 'C', 2), {"a", "b", "c", "d", "e"}); }
    std::string all() {
        std::string s;
        for (std::uint32_t i = 0; i < m_db.GetRecordCount(); ++i) {
            m_db.GoToRecord(static_cast<std::int32_t>(i));
            s += m_db.GetDeleteStatus() ? "*" : "";
            const Glib::ustring v = m_db.GetFieldData(0);
            s += v.empty() ? "_" : v.raw();
        }
        return s;
    }
};

TEST_F(CDbfRecordsTest, CancelDropsTheEdit) {
    m_db.GoToRecord(1);
    m_db.SetFieldData(0, "x");
    m_db.Cancel();
    EXPECT_FALSE(m_db.IsModified());
    EXPECT_EQ(all(), "abcde");
}

TEST_F(CDbfRecordsTest, PackTableRemovesDeletedRecordsAndShortensTheFile) {
    m_db.GoToRecord(1);
    m_db.SetDeleteStatus(true);
    EXPECT_EQ(record_on_disk(1)[0], '*');
    m_db.GoToRecord(3);
    m_db.SetDeleteStatus(true);
    EXPECT_EQ(all(), "a*bc*de");
    m_db.PackTable();
    EXPECT_EQ(m_db.GetCurrentRecord(), -1);
    EXPECT_EQ(all(), "ace");
    EXPECT_EQ(read_file(m_path).size(), 33u + 32 + 3 * 3);
    EXPECT_EQ(read_file(m_path)[4], 3);
}

TEST_F(CDbfRecordsTest, EmptyTableLeavesTheHeader) {
    m_db.EmptyTable();
    EXPECT_EQ(m_db.GetRecordCount(), 0u);
    EXPECT_BYTES_EQ(table_header({field("V", 'C', 2)}, 0), read_file(m_path));
}

TEST_F(CDbfRecordsTest, InsertOpensBlankRecordsAtTheCurrentOne) {
    m_db.GoToRecord(1);
    m_db.Insert(2);
    EXPECT_EQ(m_db.GetCurrentRecord(), 1);
    EXPECT_EQ(all(), "a__bcde");
}

// Overlap in both directions, then past the end: appended, and cut to the records there are.
TEST_F(CDbfRecordsTest, CopyToHandlesOverlapAndThePastTheEnd) {
    m_db.GoToRecord(0);
    m_db.CopyTo(1, 3); // upwards over itself
    EXPECT_EQ(all(), "aabce");
    m_db.GoToRecord(2);
    m_db.CopyTo(1, 3); // downwards over itself
    EXPECT_EQ(all(), "abcee");
    m_db.GoToRecord(3);
    m_db.CopyTo(6, 10);
    EXPECT_EQ(all(), "abcee_ee");
}

TEST_F(CDbfRecordsTest, RecordMoveWritesThePendingEdit) {
    m_db.GoToRecord(2);
    m_db.SetFieldData(0, "x");
    m_db.GoToRecord(0);
    m_db.Post();
    EXPECT_EQ(record_on_disk(2)[1], 'x');
}

// ---- damaged files ----

class CDbfDamagedTest : public CDbfTest {
protected:
    std::vector<CDbf::DBFFIELD> m_two = {field("A", 'C', 3), field("B", 'N', 2)};
    Bytes valid(std::uint32_t records) {
        Bytes file = table_header(m_two, records);
        for (std::uint32_t i = 0; i < records; ++i)
            file = concat(file, record(m_two, {std::string("r").append(std::to_string(i)), "1"}));
        return file;
    }
    std::string open_error(const Bytes& file) {
        write_file(m_path, file);
        return exception_text([&] { m_db.Open(m_path, true); });
    }
};

TEST_F(CDbfDamagedTest, ShortOrInconsistentHeadersAreBadFormat) {
    EXPECT_EQ(open_error(Bytes(20, 0)), "Bad database format.");
    EXPECT_EQ(open_error(Bytes()), "Bad database format.");
    Bytes f = valid(1);
    put16(f, 8, 32); // header length below 33
    EXPECT_EQ(open_error(f), "Bad database format.");
    f = valid(1);
    put16(f, 8, 4000); // header length beyond the file
    EXPECT_EQ(open_error(f), "Bad database format.");
    f = valid(1);
    put16(f, 10, 0); // record length 0
    EXPECT_EQ(open_error(f), "Bad database format.");
    f = valid(1);
    put16(f, 10, 7); // not 1 + 3 + 2
    EXPECT_EQ(open_error(f), "Bad database format.");
    f = valid(0);
    put16(f, 8, 161); // descriptor slots up to the header's end, none of them ending the list
    f.resize(161 + 6, 0);
    f[96] = 'X';
    EXPECT_EQ(open_error(f), "Bad database format.");
    f = valid(0);
    put16(f, 8, 96); // two descriptors and no room for the terminator
    f.resize(96);
    EXPECT_EQ(open_error(f), "Bad database format.");
    EXPECT_FALSE(m_db.IsOpen());
}

TEST_F(CDbfDamagedTest, HeaderLongerThanTheDescriptorsIsAccepted) {
    Bytes f = table_header(m_two, 1);
    f.resize(f.size() + 263, 0); // room that some writers leave after the terminator
    put16(f, 8, static_cast<std::uint32_t>(f.size()));
    write_file(m_path, concat(f, record(m_two, {"abc", "7"})));
    m_db.Open(m_path, true);
    EXPECT_EQ(m_db.GetFieldCount(), 2);
    m_db.GoToRecord(0);
    EXPECT_EQ(m_db.GetFieldData(0), "abc");
}

TEST_F(CDbfDamagedTest, RecordCountBeyondTheFileIsCutToCompleteRecords) {
    Bytes f = valid(3);
    f.resize(f.size() - 2); // the last record cut short
    put32(f, 4, 0xFFFFFFFF);
    write_file(m_path, f);
    m_db.Open(m_path, false);
    EXPECT_EQ(m_db.GetRecordCount(), 2u);
    m_db.GoToRecord(1);
    EXPECT_EQ(m_db.GetFieldData(0), "r1");
    // Appending goes after the complete records, over the cut one.
    m_db.Append(1);
    m_db.SetFieldData(0, "new");
    m_db.Close();
    const Bytes file = read_file(m_path);
    EXPECT_EQ(file.size(), 97u + 3 * 6);
    EXPECT_EQ(file[4], 3);
    EXPECT_EQ(file[7], 0);
}

TEST_F(CDbfDamagedTest, ReadingPastTheRecordsGivesBlanks) {
    write_file(m_path, valid(1));
    m_db.Open(m_path, true);
    m_db.GoToRecord(5);
    EXPECT_EQ(m_db.GetFieldData(0), "");
    EXPECT_THROW(m_db.GoToRecord(-1), std::out_of_range);
    EXPECT_THROW(m_db.GetFieldData(2), std::out_of_range);
}

TEST_F(CDbfDamagedTest, StrayBytesInNonCharacterFieldsStillGiveValidText) {
    Bytes f = concat(table_header(m_two, 1), Bytes{' ', 'a', 'b', 'c', 0xFF, 0xC0});
    write_file(m_path, f);
    m_db.Open(m_path, true);
    m_db.GoToRecord(0);
    EXPECT_TRUE(m_db.GetFieldData(1).validate());
}

TEST_F(CDbfDamagedTest, FieldOfLengthZeroIsRefusedWhenOpening) {
    // A logical field of no bytes: writing "TRUE" into it would land one byte past the field.
    for (const auto& fields : {std::vector<CDbf::DBFFIELD>{field("A", 'C', 3), field("FLAG", 'L', 0)},
                               std::vector<CDbf::DBFFIELD>{field("FLAG", 'L', 0), field("A", 'C', 3)}}) {
        write_file(m_path, concat(table_header(fields, 1), record(fields, {"abc"})));
        EXPECT_EQ(exception_text([&] { m_db.Open(m_path, false); }),
                  "Bad database format: field \"FLAG\" has length 0.");
        EXPECT_FALSE(m_db.IsOpen());
    }
    const auto fields = {field("FLAG", 'L', 0)};
    EXPECT_THROW(m_db.Create(m_path, fields.begin(), 1), std::invalid_argument);
}

TEST_F(CDbfTest, FifoOrDeviceNamedLikeATableIsRefusedWithoutBlocking) {
    ASSERT_EQ(::mkfifo((m_dir / "fifo.dbf").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/null", m_dir / "device.dbf");
    for (const char* name : {"fifo.dbf", "device.dbf"}) {
        m_path = m_dir / name;
        for (bool read_only : {true, false}) {
            SCOPED_TRACE(::testing::Message() << name << (read_only ? " read-only" : " read-write"));
            const std::string error = within_deadline(m_path, [&] {
                CDbf db;
                return exception_text([&] { db.Open(m_path, read_only); });
            });
            EXPECT_EQ(error, "Failed to open database \"" + m_path.string() + "\": not a regular file");
        }
    }
}

// Appended records are collected and written in pieces of about 1 MiB: records on both sides of a piece's
// end, and edits of a record after its piece went to the file, must all arrive.
TEST_F(CDbfTest, AppendsCrossingTheCollectedWriteArriveComplete) {
    const std::vector<CDbf::DBFFIELD> fields = {field("N", 'N', 8), field("C", 'C', 100)};
    create(fields);
    constexpr std::uint32_t kRecords = 15000; // about 1.5 MiB of 109-byte records
    for (std::uint32_t i = 0; i < kRecords; ++i) {
        m_db.Append(1);
        m_db.SetFieldData(0, std::to_string(i));
        m_db.SetFieldData(1, "Ключ " + std::to_string(i));
    }
    m_db.GoToRecord(100); // long written to the file
    m_db.SetFieldData(1, "changed");
    m_db.Close();

    Bytes expected = table_header(fields, kRecords);
    for (std::uint32_t i = 0; i < kRecords; ++i) {
        std::string number = std::to_string(i);
        number.insert(0, 8 - number.size(), ' ');
        const std::string text = i == 100 ? "changed" : "\x8A\xAB\xEE\xE7 " + std::to_string(i);
        const Bytes r = record(fields, {number, text});
        expected.insert(expected.end(), r.begin(), r.end());
    }
    EXPECT_BYTES_EQ(expected, read_file(m_path));
}

// ---- conversion tables ----

namespace {

// What a conversion gives: its text, or the text of the exception it throws.
template <class Convert>
std::string outcome(Convert convert) {
    try {
        return "ok:" + convert();
    } catch (const std::exception& e) {
        return std::string("throws:") + e.what();
    }
}

} // namespace

// Character fields convert through tables instead of iconv; the tables must answer exactly as iconv does,
// results and failures alike, for every byte and for text iconv refuses.
TEST(CDbfCodePageTables, AnswerAsIconvDoes) {
    for (const DbfCodePage cp : {DbfCodePage::kCp866, DbfCodePage::kWindows1251}) {
        for (int b = 1; b < 0x100; ++b) {
            const std::string byte(1, static_cast<char>(b));
            const std::string expected = outcome([&] { return ansiToUtf8(cp, byte); });
            ASSERT_EQ(outcome([&] { return dbf_decode_text(cp, byte); }), expected)
                << dbf_code_page_name(cp) << " byte " << b;
            if (expected.rfind("ok:", 0) != 0)
                continue;
            const std::string text = expected.substr(3);
            ASSERT_EQ(outcome([&] { return dbf_encode_text(cp, text); }),
                      outcome([&] { return utf8_to_ansi(cp, text); }))
                << dbf_code_page_name(cp) << " character of byte " << b;
        }
        const std::string texts[] = {
            "Склад №5, кв. 12",
            "░▒▓ Ёё",
            "a\xC3",            // cut short
            "\xC0\x80",         // overlong
            "\xE0\x80\xAF",     // overlong
            "\xED\xA0\x80",     // surrogate
            "中",               // not in the code pages
            "\xF0\x9F\x98\x80", // four bytes
            "x\x80y",           // stray continuation byte
        };
        for (const std::string& text : texts)
            EXPECT_EQ(outcome([&] { return dbf_encode_text(cp, text); }),
                      outcome([&] { return utf8_to_ansi(cp, text); }))
                << dbf_code_page_name(cp) << " text " << text;
        const std::string bytes = "\x8f\xe0\xa8 \x98\xff\x00\xc0";
        EXPECT_EQ(outcome([&] { return dbf_decode_text(cp, bytes); }),
                  outcome([&] { return ansiToUtf8(cp, bytes); }))
            << dbf_code_page_name(cp);
    }
}
