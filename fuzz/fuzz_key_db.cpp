// Arbitrary bytes as a key database file: open it as a table and check its columns, connect to it as a
// key database, read every key, read its description for the database list, and open it as a document.
#include <giomm/init.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include "keys/CKeyDb.h"
#include "keys/CKeyDocument.h"

namespace {

std::filesystem::path g_file;

void write_input(const std::uint8_t* data, std::size_t size) {
    std::ofstream out(g_file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void read_all_keys(CKeyDb& db) {
    key_info info;
    for (std::uint32_t k = 0; k < db.GetKeyCount(); ++k)
        db.ReadKey(k, info);
    db.GetComment();
    db.GetOpenTimeCode();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Gio::init();
    g_file =
        std::filesystem::temp_directory_path() / ("kestrix-fuzz-key-db-" + std::to_string(getpid()) + ".dbf");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    write_input(data, size);
    try {
        CKeyDb db;
        db.Open(g_file, true);
        if (db.CheckFormat())
            read_all_keys(db);
    } catch (const std::exception&) {
    }
    try {
        CKeyDb db;
        db.Connect(g_file, false);
        read_all_keys(db);
    } catch (const std::exception&) {
    }
    write_input(data, size);
    Glib::ustring description;
    int count = 0;
    CKeyDb::GetKeyDbInfo(g_file, description, count);
    try {
        CKeyDocument doc;
        doc.set_filename(g_file);
        doc.open();
        doc.close(false);
    } catch (const std::exception&) {
    }
    return 0;
}
