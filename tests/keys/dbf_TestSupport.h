// Helpers shared by the DBF, key database and key document tests: a scratch folder, whole-file reads and
// writes, builders of table headers for hand-made (and deliberately damaged) files, and a deadline for
// opening FIFOs.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include <giomm/init.h>

#include "common/TestFiles.h"
#include "keys/CDbf.h"

namespace dbftest {

using Bytes = std::vector<std::uint8_t>;

// A fixture's first base, so that GIO is up before any member that needs it is built.
struct CGioReady {
    CGioReady() { Gio::init(); }
};

using test::CScratchDir;

inline Bytes read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void write_file(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline Bytes to_bytes(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

inline CDbf::DBFFIELD field(const char* name, char type, std::uint8_t length, std::uint8_t decimals = 0) {
    CDbf::DBFFIELD f{};
    std::strncpy(f.name, name, sizeof f.name);
    f.type = type;
    f.length = length;
    f.decimals = decimals;
    return f;
}

// The seven columns of a key database.
inline std::vector<CDbf::DBFFIELD> key_db_fields() {
    return {field("ID", 'N', 12),      field("ATTR", 'N', 4),    field("TYPE", 'N', 4),
            field("SHORTNUM", 'N', 1), field("KEYNUM", 'C', 16), field("COMMENT", 'C', 100),
            field("CREATE", 'C', 16)};
}

inline void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
inline void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, v);
    put16(b, at + 2, v >> 16);
}

// The header, descriptors and terminator a correct writer produces for these fields, dated today.
inline Bytes table_header(const std::vector<CDbf::DBFFIELD>& fields, std::uint32_t records,
                          std::uint8_t language = 0x26) {
    Bytes b(32 + 32 * fields.size() + 1, 0);
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    b[0] = 0x03;
    b[1] = static_cast<std::uint8_t>(tm.tm_year);
    b[2] = static_cast<std::uint8_t>(tm.tm_mon + 1);
    b[3] = static_cast<std::uint8_t>(tm.tm_mday);
    put32(b, 4, records);
    put16(b, 8, static_cast<std::uint32_t>(b.size()));
    std::uint32_t rl = 1;
    for (const auto& f : fields)
        rl += f.length;
    put16(b, 10, rl);
    b[29] = language;
    for (std::size_t i = 0; i < fields.size(); ++i)
        std::memcpy(b.data() + 32 + 32 * i, &fields[i], 32);
    b.back() = 0x0D;
    return b;
}

// A record: the flag byte followed by each value padded to its field (left-aligned unless `right`).
inline Bytes record(const std::vector<CDbf::DBFFIELD>& fields, const std::vector<std::string>& values,
                    char flag = ' ') {
    Bytes r{static_cast<std::uint8_t>(flag)};
    for (std::size_t i = 0; i < fields.size(); ++i) {
        std::string v = i < values.size() ? values[i] : "";
        v.resize(fields[i].length, ' ');
        r.insert(r.end(), v.begin(), v.end());
    }
    return r;
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Runs f with a deadline. Should it hang in opening the FIFO at path, a writer is opened, which releases it.
template <typename F>
auto within_deadline(const std::filesystem::path& path, F f) {
    auto result = std::async(std::launch::async, f);
    if (result.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "blocked on " << path;
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0)
            ::close(fd);
    }
    return result.get();
}

} // namespace dbftest
