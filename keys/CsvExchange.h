// Key lists and the database list as CSV files: export of a document's keys and of the database list,
// and import of a file into a document, matching keys by number.
#pragma once

#include <glibmm/ustring.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "keys/CKeyDocument.h"
#include "keys/KeyTypes.h"

// The key file's columns, in the file's fixed order.
enum class KeyCsvColumn : int { Id, Type, Attr, Number, Short, Added, Description, Count };

// The header of a key file: the key table's column titles, translated ("ID", "Type", "Attr", "Number",
// "Short", "Added", "Description").
std::vector<Glib::ustring> key_csv_titles();

// One row of the database list, as the list shows it.
struct CsvDbListRow {
    Glib::ustring name;
    Glib::ustring description;
    int keys = 0;
};

struct CsvImportResult {
    unsigned added = 0;
    unsigned readded = 0;
};

// Writes the document's keys in store order, numbers in format. The file is written beside its final name
// and renamed over it once complete and on disk, so a failed export leaves an existing file as it was.
// Returns the number of keys written; throws std::runtime_error (translated text) on failure.
unsigned export_keys_to_csv_file(const std::filesystem::path& path, const CKeyDocument& doc,
                                 key_format format);

// Writes the database list ("Database", "Description", "Keys") in list order, the same way.
unsigned export_bases_to_csv_file(const std::filesystem::path& path, const std::vector<CsvDbListRow>& bases);

// Reads a key file into the document. Header cells are matched with the translated column titles, then with
// the English ones; a leading byte-order mark is ignored. A row's number (in format, else hexadecimal) that
// matches a key re-adds that key (updating it), another number adds a key with a new id. With replace, keys
// not in the file are removed. The whole file is read before the document is touched: a file that cannot be
// opened or read, or whose header has no "Number" column, throws std::runtime_error (translated text) and
// leaves the document as it was.
CsvImportResult import_keys_from_csv_file(const std::filesystem::path& path, CKeyDocument& doc, bool replace,
                                          key_format format);

// The status-line texts: "%u keys exported" and "%u keys imported: %u added, %u re-added".
Glib::ustring csv_export_report(unsigned count);
Glib::ustring csv_import_report(const CsvImportResult& result);
