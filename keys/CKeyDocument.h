// One key database opened for editing: its keys as the list model the key tables show, an index of the
// same keys by id, the database's description and lock-open time code, and a modified flag.
#pragma once

#include <giomm/liststore.h>
#include <glibmm/refptr.h>
#include <glibmm/ustring.h>

#include <cstdint>
#include <filesystem>
#include <unordered_map>
#include <vector>

#include "keys/CCardUID.h"
#include "keys/CKey.h"
#include "keys/KeyTypes.h"

class CKeyDocument {
public:
    using KeyList = std::vector<Glib::RefPtr<CKey>>;
    static constexpr std::uint16_t kDefaultOpenTimeCode = 46;

    CKeyDocument();
    CKeyDocument(const CKeyDocument&) = delete;
    CKeyDocument& operator=(const CKeyDocument&) = delete;
    // Does not save.
    virtual ~CKeyDocument();

    void set_filename(const std::filesystem::path& path) { m_file_name = path; }
    // Loads the database (a missing file is created empty). Does nothing when already open. On failure the
    // document stays closed with its store and index unchanged.
    void open();
    // Rewrites the database when modified: through "<file>.tmp", flushed to disk and renamed over the
    // database in one step. On failure the database file is untouched and the document stays modified.
    void save();
    void close(bool save_first);

    std::uint32_t generate_key_id() { return ++m_last_id; }
    // Appends a new key created now. Throws std::invalid_argument when the id is already in use.
    Glib::RefPtr<CKey> add_key(std::uint32_t id, CardType type, const CCardUID& number, bool is_short,
                               KeyAttr attr, const Glib::ustring& description);
    // Inserts keys at position in one splice. Throws std::invalid_argument when an id is already in use.
    void add_keys(const KeyList& keys, guint position);
    // Changes the key at position; notifies "type", "number", "short", "attr", "key-description", "created"
    // when anything differs, and nothing when all six are equal.
    void set_key(guint position, CardType type, const CCardUID& number, bool is_short, KeyAttr attr,
                 const Glib::ustring& description, std::int64_t created);
    void delete_key(guint position);
    // Removes every key whose deletion mark is set; modified only if one was removed.
    void remove_deleted_keys();
    // Replaces count keys at position by keys in one splice.
    void splice_keys(guint position, guint count, const KeyList& keys);
    void set_otc(std::uint16_t code);
    void set_description(const Glib::ustring& description);
    void set_modified_flag(bool value) { m_modified = value; }

    // The file name's last component without its extension; "" for an empty name or one ending in "/".
    Glib::ustring extract_db_name() const;

    const Glib::RefPtr<Gio::ListStore<CKey>>& get_keys() const { return m_keys; }
    // The key with this id, or an empty pointer.
    Glib::RefPtr<CKey> find_key(std::uint32_t id) const;
    std::uint16_t get_otc() const { return m_otc; }
    const Glib::ustring& get_description() const { return m_description; }
    const std::filesystem::path& get_filename() const { return m_file_name; }
    std::uint32_t get_last_id() const { return m_last_id; }
    bool is_open() const { return m_open; }
    bool is_modified() const { return m_modified; }

private:
    using Index = std::unordered_map<std::uint32_t, Glib::RefPtr<CKey>>;

    void write_database(const std::filesystem::path& path) const;
    void check_new_ids(const KeyList& keys, const Index& leaving) const;
    void index_keys(const KeyList& keys);
    void replace_all_keys(const KeyList& keys);
    static void on_keys_changed(GListModel* store, guint position, guint removed, guint added, gpointer self);

    Glib::RefPtr<Gio::ListStore<CKey>> m_keys;
    // The store's keys in its order, as plain instances, for walks over every key: the store reaches each
    // position through a tree. Follows every change of the store, whoever makes it.
    std::vector<GObject*> m_in_order;
    const std::vector<gpointer>* m_splicing_in = nullptr; // the instances replace_all_keys splices in
    gulong m_keys_handler = 0;
    std::uint16_t m_otc = kDefaultOpenTimeCode;
    Glib::ustring m_description;
    Index m_index;
    std::uint32_t m_last_id = 0;
    std::filesystem::path m_file_name;
    bool m_open = false;
    bool m_modified = false;
};
