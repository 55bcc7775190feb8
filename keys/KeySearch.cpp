// The find-in-files engine: testing keys against the criteria, scanning the database folder, and the
// worker thread that runs a scan.
#include "keys/KeySearch.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <stdexcept>

#include "app/i18n.h"
#include "keys/AsciiText.h"
#include "keys/CKeyDb.h"
#include "keys/KeyDbTime.h"
#include "keys/KeyNumber.h"

namespace {

// Records tested between two looks at the cancel flag.
constexpr std::uint64_t kCancelCheckRecords = 4096;
constexpr std::int64_t kSecondsPerDayMinusOne = 86399;

std::string casefold(std::string_view text) {
    gchar* folded = g_utf8_casefold(text.data(), static_cast<gssize>(text.size()));
    std::string result(folded);
    g_free(folded);
    return result;
}

// g_utf8_casefold of text into out, without its allocations for the common letters: ASCII letters and
// the Cyrillic block (U+0400-U+04FF) fold to their simple lower case; any other letter goes to GLib.
void fold_into(std::string_view text, std::string& out) {
    out.clear();
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x80) {
            out += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
            ++p;
            continue;
        }
        const gunichar u = g_utf8_get_char_validated(p, end - p);
        if (u < 0x0400 || u > 0x04FF) {
            out = casefold(text);
            return;
        }
        char buf[6];
        out.append(buf, static_cast<std::size_t>(g_unichar_to_utf8(g_unichar_tolower(u), buf)));
        p = g_utf8_next_char(p);
    }
}

// Calls on_word for each run of letters and digits of text, until it returns true.
template <class OnWord>
bool any_word(std::string_view text, OnWord on_word) {
    const char* p = text.data();
    const char* const end = p + text.size();
    const char* word = nullptr;
    while (p < end) {
        const gunichar c = g_utf8_get_char_validated(p, end - p);
        const char* next = (c == gunichar(-1) || c == gunichar(-2)) ? p + 1 : g_utf8_next_char(p);
        const bool alnum = c < gunichar(-2) && g_unichar_isalnum(c);
        if (alnum && !word)
            word = p;
        if (!alnum && word) {
            if (on_word(std::string_view(word, static_cast<std::size_t>(p - word))))
                return true;
            word = nullptr;
        }
        p = next;
    }
    return word && on_word(std::string_view(word, static_cast<std::size_t>(end - word)));
}

// A stored key as check_record asks for it.
struct CKeyInfoView {
    const key_info& key;
    const CCardUID& number() const { return key.number; }
    bool is_short() const { return key.is_short; }
    std::int64_t created() const { return key.created; }
    KeyAttr attr() const { return key.attr; }
    const Glib::ustring& description() const { return key.comment; }
};

// A key database opened only for reading (a search never creates or changes a file), whose current key
// record answers check_record field by field, decoded as ReadKey decodes it.
class CKeyDbReader : public CKeyDb {
public:
    void OpenForReading(const std::filesystem::path& path) {
        Open(path, true);
        if (!CheckFormat())
            throw std::runtime_error(_("Bad database format."));
    }
    void GoToKey(std::uint32_t k) { GoToRecord(static_cast<std::int32_t>(k + 1)); }
    void ReadCurrent(key_info& info) const { GetKeyInfo(info, m_times); }

    CCardUID number() const {
        CCardUID n;
        return n.TryParse(c_string(GetFieldRaw(kColKeyNum))) ? n : CCardUID();
    }
    bool is_short() const { return field_to_long(kColShortNum) != 0; }
    std::int64_t created() const { return parse_key_db_time(c_string(GetFieldRaw(kColCreate))); }
    KeyAttr attr() const { return key_attr_from_db_code(field_to_long(kColAttr)); }
    Glib::ustring description() const { return GetFieldData(kColComment); }

private:
    CKeyDbTimes m_times; // the time zone as it is when the search starts
    static std::string_view c_string(std::string_view field) { return field.substr(0, field.find('\0')); }
    long field_to_long(int column) const {
        char buf[32] = {};
        const std::string_view raw = GetFieldRaw(column);
        raw.copy(buf, std::min(raw.size(), sizeof buf - 1));
        return std::strtol(buf, nullptr, 10);
    }
};

std::vector<std::filesystem::path> database_files(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        std::error_code type_ec;
        if (entry.is_regular_file(type_ec) && entry.path().extension() == CKeyDb::kFileExtension)
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

class CScan {
public:
    CScan(const CKeyMatcher& matcher, const std::atomic<bool>& cancel, SearchResult& result)
        : m_matcher(matcher), m_cancel(cancel), m_result(result) {}

    // False when cancelled.
    bool scan_open(const SearchOpenDatabase& db) {
        for (std::size_t k = 0; k < db.keys.size(); ++k) {
            if (!tested())
                return false;
            if (m_matcher.CheckKey(db.keys[k]))
                add_hit(db.name, db.description, k, db.keys[k]);
        }
        return true;
    }

    bool scan_file(const std::filesystem::path& path, const Glib::ustring& name) {
        CKeyDbReader db;
        db.OpenForReading(path);
        const Glib::ustring description = db.GetComment();
        const std::uint32_t count = db.GetKeyCount();
        key_info key;
        for (std::uint32_t k = 0; k < count; ++k) {
            if (!tested())
                return false;
            db.GoToKey(k);
            if (m_matcher.check_record(db)) {
                db.ReadCurrent(key);
                add_hit(name, description, k, key);
            }
        }
        return true;
    }

private:
    // Counts a record; false when the search has been cancelled.
    bool tested() {
        return ++m_result.records % kCancelCheckRecords != 0 || !m_cancel.load(std::memory_order_relaxed);
    }
    void add_hit(const Glib::ustring& db_name, const Glib::ustring& db_description, std::size_t record,
                 const key_info& key) {
        m_result.hits.push_back(
            {db_name, db_description, static_cast<int>(record), key.number, key.is_short, key.comment});
    }

    const CKeyMatcher& m_matcher;
    const std::atomic<bool>& m_cancel;
    SearchResult& m_result;
};

} // namespace

std::int64_t end_of_local_day(std::int64_t t) {
    const auto value = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!localtime_r(&value, &tm))
        return t + kSecondsPerDayMinusOne;
    tm.tm_mday += 1;
    tm.tm_hour = tm.tm_min = tm.tm_sec = 0;
    tm.tm_isdst = -1;
    const std::time_t next_day = std::mktime(&tm);
    return next_day == -1 ? t + kSecondsPerDayMinusOne : static_cast<std::int64_t>(next_day) - 1;
}

// ---- CKeyMatcher ----

CKeyMatcher::CKeyMatcher(const SearchCriteria& criteria) : m_criteria(criteria) {
    if ((m_criteria.flags & kSearchAdded) && m_criteria.added_to != 0)
        m_to = end_of_local_day(m_criteria.added_to);
    if (!(m_criteria.flags & kSearchDescription))
        return;
    const bool match_case = m_criteria.text_options & kMatchCase;
    if (m_criteria.text_options & kUseRegex) {
        GError* error = nullptr;
        const auto flags =
            static_cast<GRegexCompileFlags>(G_REGEX_OPTIMIZE | (match_case ? 0 : G_REGEX_CASELESS));
        GRegex* regex = g_regex_new(m_criteria.description.c_str(), flags, GRegexMatchFlags(0), &error);
        if (!regex) {
            const std::string message = error->message;
            g_error_free(error);
            throw std::runtime_error(message);
        }
        m_regex.reset(regex, g_regex_unref);
        return;
    }
    m_folded = match_case ? m_criteria.description.raw() : casefold(m_criteria.description.raw());
    m_ascii_text = is_ascii(m_folded);
    any_word(m_folded, [this](std::string_view word) {
        m_words.emplace_back(word);
        return false;
    });
}

bool CKeyMatcher::number_matches(const CCardUID& number, bool is_short) const {
    return compare_key_numbers(number, is_short, m_criteria.number, m_criteria.is_short) == 0;
}

bool CKeyMatcher::date_matches(std::int64_t created) const {
    return created != 0 && (m_criteria.added_from == 0 || created >= m_criteria.added_from) &&
           (m_to == 0 || created <= m_to);
}

bool CKeyMatcher::description_matches(const Glib::ustring& text) const {
    const std::string& raw = text.raw();
    if (m_regex)
        return g_regex_match_full(m_regex.get(), raw.data(), static_cast<gssize>(raw.size()), 0,
                                  GRegexMatchFlags(0), nullptr, nullptr);
    if (m_criteria.text_options & kMatchWholeWord)
        return FindWord(text);
    if (m_criteria.text_options & kMatchCase)
        return raw.find(m_folded) != std::string::npos;
    if (m_ascii_text || !is_ascii(raw)) {
        thread_local std::string folded;
        fold_into(raw, folded);
        return folded.find(m_folded) != std::string::npos;
    }
    return false; // folded ASCII stays ASCII and cannot hold the other letters
}

bool CKeyMatcher::FindWord(const Glib::ustring& text) const {
    if (m_words.empty())
        return false;
    if (m_criteria.text_options & kMatchCase)
        return any_word(text.raw(), [this](std::string_view word) {
            return std::find(m_words.begin(), m_words.end(), word) != m_words.end();
        });
    thread_local std::string folded;
    fold_into(text.raw(), folded);
    return any_word(folded, [this](std::string_view word) {
        return std::find(m_words.begin(), m_words.end(), word) != m_words.end();
    });
}

bool CKeyMatcher::CheckKey(const key_info& key) const {
    return check_record(CKeyInfoView{key});
}

bool CKeyMatcher::CheckKey(const CKey& key) const {
    return check_record(key);
}

// ---- scanning ----

SearchOpenDatabase snapshot_for_search(const CKeyDocument& doc) {
    SearchOpenDatabase db;
    if (!doc.is_open())
        return db;
    db.name = doc.extract_db_name();
    db.description = doc.get_description();
    const auto& store = doc.get_keys();
    db.keys.reserve(store->get_n_items());
    for (guint i = 0; i < store->get_n_items(); ++i)
        db.keys.push_back(store->get_item(i)->to_key_info());
    return db;
}

SearchResult find_in_files(const SearchRequest& request, const CKeyMatcher& matcher,
                           const std::atomic<bool>& cancel) {
    SearchResult result;
    CScan scan(matcher, cancel, result);
    for (const auto& path : database_files(request.db_dir)) {
        if (cancel.load(std::memory_order_relaxed)) {
            result.cancelled = true;
            return result;
        }
        const Glib::ustring name(path.stem().string());
        const auto open =
            std::find_if(request.open_databases.begin(), request.open_databases.end(),
                         [&name](const SearchOpenDatabase& db) { return db.name.raw() == name.raw(); });
        bool finished = true;
        try {
            finished =
                open != request.open_databases.end() ? scan.scan_open(*open) : scan.scan_file(path, name);
        } catch (const std::exception& e) {
            result.error = e.what();
            result.hits.clear();
            return result;
        }
        ++result.databases;
        if (!finished) {
            result.cancelled = true;
            return result;
        }
    }
    return result;
}

// ---- CKeySearch ----

CKeySearch::~CKeySearch() {
    stop();
}

void CKeySearch::start(SearchRequest request, std::function<void()> on_finished) {
    CKeyMatcher matcher(request.criteria);
    stop();
    m_cancel = false;
    m_running = true;
    {
        std::lock_guard lock(m_mutex);
        m_result.reset();
    }
    m_thread = std::thread([this, request = std::move(request), matcher = std::move(matcher),
                            on_finished = std::move(on_finished)] {
        SearchResult result = find_in_files(request, matcher, m_cancel);
        {
            std::lock_guard lock(m_mutex);
            m_result = std::move(result);
        }
        m_running = false;
        if (on_finished)
            on_finished();
    });
}

void CKeySearch::cancel() {
    m_cancel = true;
}

bool CKeySearch::running() const {
    return m_running;
}

std::optional<SearchResult> CKeySearch::take_result() {
    std::lock_guard lock(m_mutex);
    std::optional<SearchResult> result = std::move(m_result);
    m_result.reset();
    return result;
}

void CKeySearch::stop() {
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}
