// Encoding and parsing of the clipboard's key payload and file URI lists, and the checks that decide
// which pasted files may enter the database folder.
#include "keys/KeyClipboard.h"

#include <glib.h>

#include <memory>
#include <set>
#include <stdexcept>

#include "app/Paths.h"
#include "app/i18n.h"
#include "keys/CKeyDb.h"
#include "keys/KeyNumberIndex.h"

namespace {

constexpr char kTupleType[] = "(sbiixs)";
constexpr char kCutLine[] = "cut";
constexpr char kCopyLine[] = "copy";
constexpr char kUriLineEnd[] = "\r\n";
constexpr char kLocalHost[] = "localhost";

struct VariantUnref {
    void operator()(GVariant* v) const { g_variant_unref(v); }
};
using VariantPtr = std::unique_ptr<GVariant, VariantUnref>;

struct GFree {
    void operator()(void* p) const { g_free(p); }
};
using GCharPtr = std::unique_ptr<gchar, GFree>;

void add_tuple(GVariantBuilder& builder, const key_info& key) {
    const std::string number = key.number.ToString();
    GVariant* tuple = g_variant_new(kTupleType, number.c_str(), static_cast<gboolean>(key.is_short),
                                    static_cast<gint32>(key.type), static_cast<gint32>(key.attr),
                                    static_cast<gint64>(key.created), key.comment.c_str());
    g_variant_builder_add(&builder, "v", tuple);
}

template <class Keys, class ToInfo>
std::string encode(const Keys& keys, ToInfo to_info) {
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("av"));
    for (const auto& key : keys)
        add_tuple(builder, to_info(key));
    VariantPtr payload(g_variant_ref_sink(g_variant_builder_end(&builder)));
    // An empty array prints as "[]", whose type no parser can infer: it keeps its annotation.
    if (g_variant_n_children(payload.get()) == 0)
        return "@av []";
    GCharPtr text(g_variant_print(payload.get(), FALSE));
    return text.get();
}

// A key of a payload element, or false when the element is not a key.
bool key_from_element(GVariant* element, key_info& key) {
    VariantPtr tuple(g_variant_get_variant(element));
    if (!g_variant_is_of_type(tuple.get(), G_VARIANT_TYPE(kTupleType)))
        return false;
    const gchar* number = nullptr;
    const gchar* description = nullptr;
    gboolean is_short = FALSE;
    gint32 type = 0, attr = 0;
    gint64 created = 0;
    g_variant_get(tuple.get(), "(&sbiix&s)", &number, &is_short, &type, &attr, &created, &description);
    key = key_info();
    // A single digit parses to the empty number, which no key may have.
    if (!key.number.TryParse(number) || key.number.empty())
        return false;
    key.is_short = is_short;
    key.type = card_type_from_int(static_cast<std::uint32_t>(type));
    key.attr = static_cast<std::uint32_t>(attr) < kKeyAttrCount ? static_cast<KeyAttr>(attr) : KA_NORMAL;
    key.created = created;
    key.comment = description;
    return true;
}

std::string_view trim_line_end(std::string_view line) {
    const auto end = line.find_last_not_of(" \t\r\n");
    return end == std::string_view::npos ? std::string_view() : line.substr(0, end + 1);
}

std::vector<std::string_view> split_lines(std::string_view text) {
    std::vector<std::string_view> lines;
    while (!text.empty()) {
        const auto end = text.find('\n');
        lines.push_back(trim_line_end(text.substr(0, end)));
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return lines;
}

std::string uri_of(const std::filesystem::path& path) {
    const std::filesystem::path absolute = std::filesystem::absolute(path);
    GError* error = nullptr;
    GCharPtr uri(g_filename_to_uri(absolute.c_str(), nullptr, &error));
    if (!uri) {
        const std::string message = error->message;
        g_error_free(error);
        throw std::runtime_error(message);
    }
    return uri.get();
}

// The local file a URI names, or false.
bool local_file_of(const std::string& uri, std::filesystem::path& path) {
    gchar* host = nullptr;
    GCharPtr file(g_filename_from_uri(uri.c_str(), &host, nullptr));
    GCharPtr host_owner(host);
    if (!file || (host && g_ascii_strcasecmp(host, kLocalHost) != 0))
        return false;
    path = file.get();
    return true;
}

Glib::ustring refusal(const char* format, const std::string& name) {
    return Glib::ustring::sprintf(format, name.c_str());
}

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

} // namespace

std::string encode_key_payload(const std::vector<key_info>& keys) {
    return encode(keys, [](const key_info& key) -> const key_info& { return key; });
}

std::string encode_key_payload(const std::vector<Glib::RefPtr<CKey>>& keys) {
    return encode(keys, [](const Glib::RefPtr<CKey>& key) { return key->to_key_info(); });
}

Glib::VariantBase parse_variant_from_string(const Glib::ustring& text) {
    GError* error = nullptr;
    const char* begin = text.c_str();
    GVariant* value = g_variant_parse(nullptr, begin, begin + text.bytes(), nullptr, &error);
    if (!value) {
        const std::string message = std::string("Failed to parse parse GVariant: ") + error->message;
        g_error_free(error);
        throw std::runtime_error(message);
    }
    return Glib::VariantBase(value, false);
}

std::vector<key_info> parse_key_payload(std::string_view text) {
    // Anything may be on the clipboard under our type; the GVariant parser wants well-formed UTF-8 text.
    if (!g_utf8_validate(text.data(), static_cast<gssize>(text.size()), nullptr))
        throw std::runtime_error(_("The clipboard does not hold keys."));
    const Glib::VariantBase payload = parse_variant_from_string(Glib::ustring(std::string(text)));
    if (!payload.is_of_type(Glib::VariantType("av")))
        throw std::runtime_error(_("The clipboard does not hold keys."));
    std::vector<key_info> keys;
    const gsize n = g_variant_n_children(const_cast<GVariant*>(payload.gobj()));
    keys.reserve(n);
    for (gsize i = 0; i < n; ++i) {
        VariantPtr element(g_variant_get_child_value(const_cast<GVariant*>(payload.gobj()), i));
        key_info key;
        if (key_from_element(element.get(), key))
            keys.push_back(std::move(key));
    }
    return keys;
}

CKeyDocument::KeyList paste_keys_into_document(CKeyDocument& doc, const std::vector<key_info>& keys,
                                               guint position) {
    const auto& store = doc.get_keys();
    CKeyDocument::KeyList present;
    present.reserve(store->get_n_items());
    for (guint i = 0; i < store->get_n_items(); ++i)
        present.push_back(store->get_item(i));
    const CKeyNumberIndex index(present);

    CKeyDocument::KeyList inserted;
    for (const key_info& key : keys) {
        const long found = index.find(key.number, key.is_short);
        if (found >= 0)
            doc.set_key(static_cast<guint>(found), key.type, key.number, key.is_short, key.attr, key.comment,
                        key.created);
        else
            inserted.push_back(CKey::create(doc.generate_key_id(), key.type, key.attr, key.number,
                                            key.is_short, key.created, key.comment));
    }
    if (!inserted.empty())
        doc.add_keys(inserted, position);
    return inserted;
}

std::string format_uri_list(const std::vector<std::filesystem::path>& paths) {
    std::string text;
    for (const auto& path : paths)
        text += uri_of(path) + kUriLineEnd;
    return text;
}

std::string format_gnome_copied_files(const std::vector<std::filesystem::path>& paths, bool cut) {
    std::string text = cut ? kCutLine : kCopyLine;
    for (const auto& path : paths)
        text += "\n" + uri_of(path);
    return text;
}

ClipboardFiles parse_uri_list(std::string_view text) {
    ClipboardFiles files;
    for (std::string_view line : split_lines(text))
        if (!line.empty() && line.front() != '#') // comment lines are allowed in URI lists
            files.uris.emplace_back(line);
    return files;
}

ClipboardFiles parse_gnome_copied_files(std::string_view text) {
    ClipboardFiles files;
    const std::vector<std::string_view> lines = split_lines(text);
    if (lines.empty())
        return files;
    files.move = lines.front() == kCutLine;
    for (std::size_t i = 1; i < lines.size(); ++i)
        if (!lines[i].empty())
            files.uris.emplace_back(lines[i]);
    return files;
}

bool is_database_file_name(const Glib::ustring& name) {
    const std::string& raw = name.raw();
    if (!raw.ends_with(CKeyDb::kFileExtension))
        return false;
    const std::size_t stem_bytes = raw.size() - (sizeof CKeyDb::kFileExtension - 1);
    return is_valid_filename(Glib::ustring(raw.substr(0, stem_bytes)));
}

DatabasePastePlan plan_database_paste(const std::vector<std::string>& uris,
                                      const std::filesystem::path& db_dir) {
    DatabasePastePlan plan;
    std::set<std::string> taken;
    for (const std::string& uri : uris) {
        std::filesystem::path source;
        if (!local_file_of(uri, source)) {
            plan.refused.push_back({uri, refusal(_("\"%s\" is not a local file"), uri)});
            continue;
        }
        const std::string name = source.filename().string();
        if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr) ||
            !is_database_file_name(Glib::ustring(name))) {
            plan.refused.push_back({uri, refusal(_("\"%s\" is not a database file name"), name)});
            continue;
        }
        const std::filesystem::path target = db_dir / name;
        if (same_file(source, target)) {
            plan.refused.push_back({uri, refusal(_("\"%s\" is already in the database folder"), name)});
            continue;
        }
        if (!taken.insert(name).second) {
            plan.refused.push_back({uri, refusal(_("Another pasted file is also named \"%s\""), name)});
            continue;
        }
        const std::string stem = source.stem().string();
        plan.accepted.push_back({source, target, Glib::ustring(stem)});
    }
    return plan;
}
