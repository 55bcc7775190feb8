// Tests of the CSV reader and writer: the quoting rules, rows read back field for field, and what the writer
// wrote read in pieces far smaller than its characters and rows.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "keys/CsvReader.h"
#include "keys/CsvWriter.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;
using Reader = csv::CReader<csv::delimiter<','>, std::istringstream>;
using Writer = csv::CWriter<csv::delimiter<','>, std::ostringstream>;

Rows read_all(const std::string& text, std::size_t piece = Reader::kDefaultPieceSize) {
    std::istringstream in(text);
    Reader reader(in, piece);
    Rows rows;
    std::vector<std::string> fields;
    while (reader.read_row(fields))
        rows.push_back(fields);
    return rows;
}

std::string write_all(const Rows& rows) {
    std::ostringstream out;
    Writer writer(out);
    for (const auto& row : rows)
        writer.write_row(row);
    return out.str();
}

} // namespace

struct WriteCase {
    std::vector<std::string> fields;
    std::string text;
};

TEST(CsvWriter, QuotesOnlyFieldsThatNeedIt) {
    const WriteCase cases[] = {
        {{"a", "b", "c"}, "a,b,c\n"},
        {{"with, comma"}, "\"with, comma\"\n"},
        {{"say \"hi\""}, "\"say \"\"hi\"\"\"\n"},
        {{"two\nlines"}, "\"two\nlines\"\n"},
        {{"ends in CR\r"}, "\"ends in CR\r\"\n"},
        {{"", ""}, ",\n"},
        {{""}, "\"\"\n"},
        {{" padded "}, " padded \n"},
        {{"Дверь, левая"}, "\"Дверь, левая\"\n"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(write_all({c.fields}), c.text) << c.text;
}

struct ReadCase {
    std::string text;
    Rows rows;
};

TEST(CsvReader, ReadsFieldsAsTheDialectSays) {
    const ReadCase cases[] = {
        {"a,b,c\n", {{"a", "b", "c"}}},
        {"a,b,c", {{"a", "b", "c"}}},
        {"a,\n", {{"a", ""}}},
        {"\n\na\n\n", {{"a"}}},
        {"\"x,y\",z\n", {{"x,y", "z"}}},
        {"\"say \"\"hi\"\"\"\n", {{"say \"hi\""}}},
        {"\"two\nlines\",2\n", {{"two\nlines", "2"}}},
        // a quote inside an unquoted field is an ordinary character
        {"ab\"c,d\n", {{"ab\"c", "d"}}},
        {"\"\"\n", {{""}}},
        // CR LF line ends: the CR belongs to the line end; a quoted CR stays
        {"a,b\r\nc,d\r\n", {{"a", "b"}, {"c", "d"}}},
        {"\"cr\r\"\r\n", {{"cr\r"}}},
        {"\r\n\r\nx\r\n", {{"x"}}},
        // an unterminated quote takes the rest of the text
        {"\"open,field\nmore", {{"\"open,field\nmore"}}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(read_all(c.text), c.rows) << c.text;
}

TEST(CsvReader, JoinsCharactersCutByPieceBoundaries) {
    // Every piece size from 1 to beyond the text puts boundaries inside the two-byte Cyrillic letters.
    const Rows rows = {{"1", "Квартира 15, подъезд 2"}, {"2", "Вход \"главный\""}, {"3", "ёЁжЖ"}};
    const std::string text = write_all(rows);
    for (std::size_t piece = 1; piece <= text.size() + 1; ++piece)
        ASSERT_EQ(read_all(text, piece), rows) << "piece size " << piece;
}

TEST(CsvReader, ReportsAFailingStream) {
    std::istringstream in("a,b\n");
    in.setstate(std::ios::badbit);
    Reader reader(in);
    std::vector<std::string> fields;
    EXPECT_THROW(reader.read_row(fields), csv::read_error);
}
