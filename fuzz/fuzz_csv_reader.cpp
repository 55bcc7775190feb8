// Fuzzes the CSV reader. The first byte picks the size of the pieces the text is read in; the rows must be
// the same as when the text is read in one piece. The rows written back by the writer must read back as
// the same rows, and every cell goes through the creation-time parser of key files.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "keys/CsvReader.h"
#include "keys/CsvTime.h"
#include "keys/CsvWriter.h"

namespace {

using Rows = std::vector<std::vector<std::string>>;
using Reader = csv::CReader<csv::delimiter<','>, std::istringstream>;
using Writer = csv::CWriter<csv::delimiter<','>, std::ostringstream>;

Rows read_all(const std::string& text, std::size_t piece) {
    std::istringstream in(text);
    Reader reader(in, piece);
    Rows rows;
    std::vector<std::string> fields;
    while (reader.read_row(fields)) {
        if (fields.empty())
            std::abort(); // a row always has a field
        rows.push_back(fields);
    }
    return rows;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::size_t piece = 1 + data[0] % 64;
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    const Rows rows = read_all(text, Reader::kDefaultPieceSize);
    if (read_all(text, piece) != rows)
        std::abort();

    std::ostringstream out;
    Writer writer(out);
    for (const auto& row : rows)
        writer.write_row(row);
    if (read_all(out.str(), piece) != rows)
        std::abort();

    for (const auto& row : rows)
        for (const auto& cell : row)
            parse_csv_time(cell, "%c");
    return 0;
}
