// Find in files: the keys of every database in the database folder that meet a set of criteria (number,
// creation date, attribute, description). A database open in the window is searched as it stands in
// memory, from a copy of its keys taken on the main thread. The scan runs on a worker thread of its own
// and can be cancelled between records.
#pragma once

#include <glib.h>
#include <glibmm/ustring.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "keys/CCardUID.h"
#include "keys/CKey.h"
#include "keys/CKeyDocument.h"
#include "keys/KeyTypes.h"

// Bits of SearchCriteria::flags.
enum SearchCriterion : std::uint32_t {
    kSearchNumber = 1,
    kSearchDescription = 2,
    kSearchAdded = 8,
    kSearchAttribute = 16,
};
// Bits of SearchCriteria::text_options.
enum SearchTextOption : std::uint32_t {
    kMatchWholeWord = 1,
    kMatchCase = 2,
    kUseRegex = 4,
};

struct SearchCriteria {
    std::uint32_t flags = 0; // SearchCriterion bits; no bit: every key matches
    CCardUID number;
    bool is_short = false;
    // Seconds since the epoch, 0 = open bound. added_to is any moment of the last day: the whole of that
    // local day is in the range.
    std::int64_t added_from = 0;
    std::int64_t added_to = 0;
    std::uint32_t attr_mask = 0; // attribute a is accepted when bit (1 << a) is set
    Glib::ustring description;
    std::uint32_t text_options = 0; // SearchTextOption bits
};

// The last second of the local day that holds t (23:59:59, also on days that daylight saving time makes
// 23 or 25 hours long).
std::int64_t end_of_local_day(std::int64_t t);

// The criteria prepared for testing keys: the expression compiled, the text case-folded and split into
// words. Usable from any one thread at a time.
class CKeyMatcher {
public:
    // Throws std::runtime_error with the parser's message for an invalid regular expression.
    explicit CKeyMatcher(const SearchCriteria& criteria);

    // True when the key meets every selected criterion.
    bool CheckKey(const key_info& key) const;
    bool CheckKey(const CKey& key) const;
    // The same test of any record that answers number(), is_short(), created(), attr() and description():
    // each value is asked for only when a criterion needs it, so a stored record is decoded no further
    // than the test goes.
    template <class Record>
    bool check_record(const Record& r) const {
        const std::uint32_t flags = m_criteria.flags;
        if ((flags & kSearchNumber) && !number_matches(r.number(), r.is_short()))
            return false;
        if ((flags & kSearchAdded) && !date_matches(r.created()))
            return false;
        if ((flags & kSearchAttribute) && !(m_criteria.attr_mask & key_attr_mask_bit(r.attr())))
            return false;
        return !(flags & kSearchDescription) || description_matches(r.description());
    }
    // Whether one of the description's words (runs of letters and digits) equals one of the searched words;
    // case is ignored unless kMatchCase is set.
    bool FindWord(const Glib::ustring& text) const;

private:
    bool number_matches(const CCardUID& number, bool is_short) const;
    bool date_matches(std::int64_t created) const;
    bool description_matches(const Glib::ustring& text) const;

    SearchCriteria m_criteria;
    std::int64_t m_to = 0;
    std::shared_ptr<GRegex> m_regex;
    std::string m_folded;             // the searched text, case-folded unless kMatchCase
    std::vector<std::string> m_words; // the searched words, likewise
    bool m_ascii_text = false;        // m_folded is ASCII: ASCII descriptions need no case folding
};

// One hit.
struct SearchHit {
    Glib::ustring database;       // database name (file name without ".dbf")
    Glib::ustring db_description; // the database's description
    int record = 0;               // index of the key in the database (shown plus 1)
    CCardUID number;
    bool is_short = false;
    Glib::ustring key_description;
};

// A database open in the window, as the search sees it: a copy of its keys in list order.
struct SearchOpenDatabase {
    Glib::ustring name;
    Glib::ustring description;
    std::vector<key_info> keys;
};
// The copy of an open document's keys (main thread); an empty name when the document is not open.
SearchOpenDatabase snapshot_for_search(const CKeyDocument& doc);

struct SearchRequest {
    std::filesystem::path db_dir;
    SearchCriteria criteria;
    std::vector<SearchOpenDatabase> open_databases;
};

struct SearchResult {
    std::vector<SearchHit> hits; // in folder order (by name), then record order
    bool cancelled = false;
    std::string error;         // the failure that ended the search (a database that cannot be read)
    std::uint64_t records = 0; // keys tested
    unsigned databases = 0;    // databases searched
};

// Searches every ".dbf" file of the request's folder, in name order. Checks cancel before each database
// and every few thousand records; a cancelled search returns what it found so far. A database that cannot
// be read ends the search with its error text and no hits.
SearchResult find_in_files(const SearchRequest& request, const CKeyMatcher& matcher,
                           const std::atomic<bool>& cancel);

// Runs find_in_files on a worker thread. on_finished is called on that thread when the result is ready;
// the window lets it emit a dispatcher and takes the result on the main thread. The owner destroys this
// object before whatever on_finished reaches (the destructor waits for the thread).
class CKeySearch {
public:
    CKeySearch() = default;
    CKeySearch(const CKeySearch&) = delete;
    CKeySearch& operator=(const CKeySearch&) = delete;
    // Cancels a running search and waits for it.
    ~CKeySearch();

    // Prepares the criteria (throws std::runtime_error for an invalid expression, before anything runs),
    // cancels and waits for a search still running, and starts this one.
    void start(SearchRequest request, std::function<void()> on_finished);
    void cancel();
    bool running() const;
    // The finished search's result, once; empty while running or when already taken.
    std::optional<SearchResult> take_result();

private:
    void stop();

    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::atomic<bool> m_running{false};
    std::mutex m_mutex; // guards m_result
    std::optional<SearchResult> m_result;
};
