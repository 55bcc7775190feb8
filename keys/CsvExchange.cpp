// CSV export of key lists and of the database list, and CSV import of keys into a key document.
#include "keys/CsvExchange.h"

#include <glib.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "app/i18n.h"
#include "keys/CsvReader.h"
#include "keys/CsvTime.h"
#include "keys/CsvWriter.h"
#include "keys/DurableFile.h"
#include "keys/KeyNumber.h"
#include "keys/KeyNumberIndex.h"

namespace {

using Reader = csv::CReader<csv::delimiter<','>, std::ifstream>;
using Writer = csv::CWriter<csv::delimiter<','>, std::ostringstream>;

constexpr int kColumnCount = static_cast<int>(KeyCsvColumn::Count);
// Untranslated titles of the key table's columns, in the file's order.
constexpr const char* kKeyTitles[kColumnCount] = {N_("ID"),    N_("Type"),  N_("Attr"),       N_("Number"),
                                                  N_("Short"), N_("Added"), N_("Description")};
constexpr char kShortMark[] = "*";
constexpr char kNotShortMark[] = " ";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string printf_text(const char* format, const std::string& arg, const char* detail) {
    gchar* text = g_strdup_printf(format, arg.c_str(), detail);
    std::string message(text);
    g_free(text);
    return message;
}

std::string decimal(long long value) {
    return std::to_string(value);
}

// ---- reading ----

// One data row of a key file, before it is matched against the document.
struct CsvKeyRow {
    CCardUID number;
    bool is_short = false;
    CardType type = CT_UNKNOWN;
    KeyAttr attr = KA_NORMAL;
    std::int64_t created = 0;
    Glib::ustring description;
};

// Which file column holds which key column (-1: none), read from the header row.
class CHeaderMap {
public:
    explicit CHeaderMap(std::vector<std::string> header) {
        if (!header.empty() && header[0].starts_with(kByteOrderMark)) // written by spreadsheet programs
            header[0].erase(0, kByteOrderMark.size());
        m_columns.assign(header.size(), -1);
        for (std::size_t i = 0; i < header.size(); ++i)
            m_columns[i] = title_column(header[i]);
    }
    bool has(KeyCsvColumn column) const {
        for (int c : m_columns)
            if (c == static_cast<int>(column))
                return true;
        return false;
    }
    // The key column of file column i, or -1.
    int column(std::size_t i) const { return i < m_columns.size() ? m_columns[i] : -1; }

private:
    // The translated title, else the untranslated one: a file exported under another language of the
    // program still reads when that language is English.
    static int title_column(const std::string& cell) {
        for (int c = 0; c < kColumnCount; ++c)
            if (cell == _(kKeyTitles[c]))
                return c;
        for (int c = 0; c < kColumnCount; ++c)
            if (cell == kKeyTitles[c])
                return c;
        return -1;
    }
    std::vector<int> m_columns;
};

class CCellParser {
public:
    explicit CCellParser(key_format format) : m_format(format) {
        for (std::uint32_t t = 1; t < kCardTypeCount; ++t)
            m_types.emplace(card_type_abbr(static_cast<CardType>(t)), static_cast<CardType>(t));
        for (std::uint32_t a = KA_NONE; a < kKeyAttrCount; ++a)
            m_attrs.emplace(key_attr_letter(static_cast<KeyAttr>(a)).raw(), static_cast<KeyAttr>(a));
    }

    // False when the row yields no number.
    bool parse(const std::vector<std::string>& cells, const CHeaderMap& map, CsvKeyRow& row) const {
        row = CsvKeyRow();
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const std::string& cell = cells[i];
            switch (static_cast<KeyCsvColumn>(map.column(i))) {
            case KeyCsvColumn::Type:
                row.type = lookup(m_types, cell, CT_UNKNOWN);
                break;
            case KeyCsvColumn::Attr:
                row.attr = lookup(m_attrs, cell, KA_NORMAL);
                break;
            case KeyCsvColumn::Number:
                if (!try_str_to_key_number(std::string_view(cell), row.number, m_format) &&
                    !row.number.TryParse(cell))
                    row.number = CCardUID();
                break;
            case KeyCsvColumn::Short:
                row.is_short = cell == kShortMark;
                break;
            case KeyCsvColumn::Added:
                row.created = parse_csv_time(cell);
                break;
            case KeyCsvColumn::Description:
                row.description = valid_utf8(cell);
                break;
            default: // the id column and unknown columns are not read
                break;
            }
        }
        return !row.number.empty();
    }

private:
    template <class T>
    static T lookup(const std::unordered_map<std::string, T>& map, const std::string& cell, T fallback) {
        const auto it = map.find(cell);
        return it == map.end() ? fallback : it->second;
    }
    // Descriptions reach the database's code page and the widgets, which need well-formed text.
    static Glib::ustring valid_utf8(const std::string& cell) {
        if (g_utf8_validate(cell.data(), static_cast<gssize>(cell.size()), nullptr))
            return Glib::ustring(cell);
        gchar* text = g_utf8_make_valid(cell.data(), static_cast<gssize>(cell.size()));
        Glib::ustring result(text);
        g_free(text);
        return result;
    }

    key_format m_format;
    std::unordered_map<std::string, CardType> m_types;
    std::unordered_map<std::string, KeyAttr> m_attrs;
};

std::vector<CsvKeyRow> read_key_file(const std::filesystem::path& path, key_format format) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(
            printf_text(_("Failed to open file \"%s\": %s"), path.string(), g_strerror(errno)));
    std::vector<CsvKeyRow> rows;
    try {
        Reader reader(in);
        std::vector<std::string> cells;
        reader.read_row(cells);
        const CHeaderMap map(cells);
        if (!map.has(KeyCsvColumn::Number))
            throw std::runtime_error(printf_text(_("The file \"%s\" has no \"%s\" column: no keys imported."),
                                                 path.string(), _(kKeyTitles[int(KeyCsvColumn::Number)])));
        const CCellParser parser(format);
        CsvKeyRow row;
        while (reader.read_row(cells))
            if (parser.parse(cells, map, row))
                rows.push_back(std::move(row));
    } catch (const csv::read_error&) {
        throw std::runtime_error(
            printf_text(_("Failed to read file \"%s\": %s"), path.string(), g_strerror(EIO)));
    }
    return rows;
}

// ---- merging ----

// Updates an existing key from a row; true when anything changed. The creation time is never taken over.
bool update_key(CKey& key, const CsvKeyRow& row) {
    bool changed = false;
    if (!is_short_number(row.number, row.is_short) && is_short_number(key.number(), key.is_short())) {
        key.set_number(row.number);
        key.set_short(row.is_short);
        changed = true;
    }
    if (key.attr() != row.attr || key.card_type() != row.type ||
        key.description().raw() != row.description.raw()) {
        key.set_attr(row.attr);
        key.set_card_type(row.type);
        key.set_description(row.description);
        changed = true;
    }
    return changed;
}

// ---- writing ----

template <class Rows>
std::string write_csv(const std::vector<Glib::ustring>& header, const Rows& write_rows) {
    std::ostringstream out;
    Writer writer(out);
    writer.write_row(header);
    write_rows(writer);
    return std::move(out).str();
}

} // namespace

std::vector<Glib::ustring> key_csv_titles() {
    std::vector<Glib::ustring> titles;
    for (const char* title : kKeyTitles)
        titles.emplace_back(_(title));
    return titles;
}

unsigned export_keys_to_csv_file(const std::filesystem::path& path, const CKeyDocument& doc,
                                 key_format format) {
    const auto& store = doc.get_keys();
    const guint n = store->get_n_items();
    const std::string content = write_csv(key_csv_titles(), [&](Writer& writer) {
        std::vector<std::string> cells(kColumnCount);
        for (guint i = 0; i < n; ++i) {
            const auto key = store->get_item(i);
            cells[0] = decimal(key->id());
            cells[1] = card_type_abbr(key->card_type());
            cells[2] = key_attr_letter(key->attr()).raw();
            cells[3] = format_key_number(key->number(), format).raw();
            cells[4] = key->is_short() ? kShortMark : kNotShortMark;
            cells[5] = format_csv_time(key->created());
            cells[6] = key->description().raw();
            writer.write_row(cells);
        }
    });
    write_file_durably(path, content);
    return n;
}

unsigned export_bases_to_csv_file(const std::filesystem::path& path, const std::vector<CsvDbListRow>& bases) {
    const std::vector<Glib::ustring> header = {_("Database"), _("Description"), _("Keys")};
    const std::string content = write_csv(header, [&](Writer& writer) {
        for (const auto& base : bases)
            writer.write_row(
                std::vector<std::string>{base.name.raw(), base.description.raw(), decimal(base.keys)});
    });
    write_file_durably(path, content);
    return static_cast<unsigned>(bases.size());
}

CsvImportResult import_keys_from_csv_file(const std::filesystem::path& path, CKeyDocument& doc, bool replace,
                                          key_format format) {
    const std::vector<CsvKeyRow> rows = read_key_file(path, format);

    const auto& store = doc.get_keys();
    const guint count = store->get_n_items();
    CKeyDocument::KeyList keys;
    keys.reserve(count + rows.size());
    for (guint i = 0; i < count; ++i) {
        keys.push_back(store->get_item(i));
        keys.back()->set_deleted(replace);
    }
    CKeyNumberIndex index(keys, count + rows.size());

    CsvImportResult result;
    bool changed = false;
    for (const CsvKeyRow& row : rows) {
        const long found = index.find(row.number, row.is_short);
        if (found < 0) {
            keys.push_back(CKey::create(doc.generate_key_id(), row.type, row.attr, row.number, row.is_short,
                                        row.created, row.description));
            index.add(keys.size() - 1);
            ++result.added;
            continue;
        }
        ++result.readded;
        CKey& key = *keys[static_cast<std::size_t>(found)];
        key.set_deleted(false);
        changed = update_key(key, row) || changed;
    }

    if (replace) {
        std::erase_if(keys, [](const Glib::RefPtr<CKey>& key) { return key->is_deleted(); });
        for (guint i = 0; i < count; ++i) // the keys that leave the document keep no mark
            store->get_item(i)->set_deleted(false);
    }
    if (replace || result.added > 0 || changed)
        doc.splice_keys(0, count, keys);
    return result;
}

Glib::ustring csv_export_report(unsigned count) {
    return Glib::ustring::sprintf(NP_("%u keys exported", count), count);
}

Glib::ustring csv_import_report(const CsvImportResult& result) {
    return Glib::ustring::sprintf(
        NP_("%u keys imported: %u added, %u re-added", result.added + result.readded),
        result.added + result.readded, result.added, result.readded);
}
