// The clipboard's data formats: selected keys as a text payload under the program's own MIME type, and
// databases as file URIs in the two forms that desktop file managers use. The window moves these texts to
// and from the clipboard; everything here is plain text work.
#pragma once

#include <glibmm/ustring.h>
#include <glibmm/variant.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "keys/CKey.h"
#include "keys/CKeyDocument.h"
#include "keys/KeyTypes.h"

inline constexpr char kKeysMimeType[] = "application/x-kestrix-keys";
inline constexpr char kUriListMimeType[] = "text/uri-list";
inline constexpr char kGnomeCopiedFilesMimeType[] = "x-special/gnome-copied-files";

// ---- keys ----

// The payload of keys: a GVariant av of (sbiixs) tuples (number as CCardUID::ToString, short, type,
// attribute, creation time, description) in GVariant text form. The ids are not carried.
std::string encode_key_payload(const std::vector<key_info>& keys);
std::string encode_key_payload(const std::vector<Glib::RefPtr<CKey>>& keys);

// GVariant text parsed without an expected type. Throws std::runtime_error
// "Failed to parse parse GVariant: <message>" on failure.
Glib::VariantBase parse_variant_from_string(const Glib::ustring& text);

// The keys of a payload in order. Text that is not UTF-8, not GVariant text or not an array of variants
// throws std::runtime_error; elements that are not (sbiixs) tuples, or whose number does not parse, are
// skipped. A type of 22 or more becomes unknown, an attribute of 5 or more Normal. The ids are 0.
// Elements whose number text is a single digit (the empty number) are skipped as well.
std::vector<key_info> parse_key_payload(std::string_view text);

// Merges pasted keys into the document: a key whose number is in the document (first match from the top,
// with the pasted short flag) is updated in place with every pasted value; the others get new ids and are
// inserted together at position (the end when beyond it). Returns the inserted keys.
CKeyDocument::KeyList paste_keys_into_document(CKeyDocument& doc, const std::vector<key_info>& keys,
                                               guint position);

// ---- database files ----

// "file://" URIs of the paths, each followed by "\r\n".
std::string format_uri_list(const std::vector<std::filesystem::path>& paths);
// "cut" or "copy", then "\n" and the URI of each path (no line end after the last).
std::string format_gnome_copied_files(const std::vector<std::filesystem::path>& paths, bool cut);

struct ClipboardFiles {
    bool move = false;             // the files were cut: paste moves them
    std::vector<std::string> uris; // in clipboard order
};
// "text/uri-list": one URI a line (comments and empty lines skipped); always a copy.
ClipboardFiles parse_uri_list(std::string_view text);
// "x-special/gnome-copied-files": the first line "cut" moves, anything else copies; then one URI a line.
ClipboardFiles parse_gnome_copied_files(std::string_view text);

// Whether name is a file the database list shows: a stem accepted by is_valid_filename and the extension
// ".dbf" exactly.
bool is_database_file_name(const Glib::ustring& name);

struct DatabasePastePlan {
    struct Transfer {
        std::filesystem::path source;
        std::filesystem::path target; // in the database folder
        Glib::ustring name;           // the database name (the file's stem)
    };
    struct Refusal {
        std::string uri;
        Glib::ustring reason; // translated
    };
    std::vector<Transfer> accepted;
    std::vector<Refusal> refused;
};

// Sorts the pasted URIs into transfers into db_dir and refusals: a URI that is not a local file, whose
// base name is not a database file name, that is the same file as its target, or whose name an earlier
// URI already takes, is refused with the reason. Every target lies directly in db_dir.
DatabasePastePlan plan_database_paste(const std::vector<std::string>& uris,
                                      const std::filesystem::path& db_dir);
