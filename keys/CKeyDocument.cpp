// The open key document: loading and saving the database file and every edit of its key list, keeping
// the list store and the id index in step.
#include "keys/CKeyDocument.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <stdexcept>
#include <unordered_set>

#include <glib.h>

#include "app/i18n.h"
#include "keys/CKeyDb.h"
#include "keys/DurableFile.h"
#include "keys/KeyDbTime.h"

CKeyDocument::CKeyDocument() : m_keys(Gio::ListStore<CKey>::create()) {
    m_keys_handler = g_signal_connect(m_keys->gobj(), "items-changed", G_CALLBACK(on_keys_changed), this);
}

CKeyDocument::~CKeyDocument() {
    g_signal_handler_disconnect(m_keys->gobj(), m_keys_handler);
}

void CKeyDocument::on_keys_changed(GListModel* store, guint position, guint removed, guint added,
                                   gpointer data) {
    auto& self = *static_cast<CKeyDocument*>(data);
    auto& keys = self.m_in_order;
    const auto at = keys.begin() + position;
    if (self.m_splicing_in && position == 0 && added == self.m_splicing_in->size()) {
        const auto* incoming = self.m_splicing_in;
        keys.erase(at, at + removed);
        keys.insert(keys.begin(), reinterpret_cast<GObject* const*>(incoming->data()),
                    reinterpret_cast<GObject* const*>(incoming->data()) + added);
        return;
    }
    std::vector<GObject*> fresh(added);
    for (guint i = 0; i < added; ++i) {
        fresh[i] = static_cast<GObject*>(g_list_model_get_item(store, position + i));
        g_object_unref(fresh[i]); // the store keeps its own reference
    }
    keys.erase(at, at + removed);
    keys.insert(keys.begin() + position, fresh.begin(), fresh.end());
}

// ---- loading and saving ----

void CKeyDocument::open() {
    if (m_open)
        return;
    CKeyDb db;
    db.Connect(m_file_name, false);
    const std::uint16_t otc = db.GetOpenTimeCode();
    Glib::ustring description = db.GetComment();

    const std::uint32_t count = db.GetKeyCount();
    KeyList keys(count);
    Index index;
    index.reserve(count);
    std::uint32_t last_id = 0;
    // A repeated id (only other software writes them) is replaced after the scan by an id above every id
    // of the file, so ids that are unique stay as they are and the index stays complete.
    std::vector<std::pair<std::uint32_t, key_info>> repeated;
    db.ReadKeys([&](std::uint32_t k, key_info& info) {
        last_id = std::max(last_id, info.id);
        const auto [at, fresh] = index.try_emplace(info.id);
        if (!fresh) {
            repeated.emplace_back(k, info);
            return;
        }
        keys[k] = CKey::create(std::move(info));
        at->second = keys[k];
    });
    db.Close();
    for (auto& [k, dup] : repeated) {
        do
            dup.id = ++last_id;
        while (dup.id == 0 || index.count(dup.id));
        keys[k] = CKey::create(std::move(dup));
        index.emplace(dup.id, keys[k]);
    }

    replace_all_keys(keys);
    m_index.swap(index);
    m_otc = otc;
    m_description = std::move(description);
    m_last_id = last_id;
    m_open = true;
}

// One splice of the plain instances: the store takes its own references, and no wrapper pointers are copied.
void CKeyDocument::replace_all_keys(const KeyList& keys) {
    std::vector<gpointer> items(keys.size());
    std::transform(keys.begin(), keys.end(), items.begin(), [](const auto& key) { return key->gobj(); });
    m_splicing_in = &items;
    g_list_store_splice(m_keys->gobj(), 0, m_keys->get_n_items(), items.data(),
                        static_cast<guint>(items.size()));
    m_splicing_in = nullptr;
}

void CKeyDocument::save() {
    if (!m_modified)
        return;
    std::filesystem::path temp = m_file_name;
    temp += kTempSuffix;
    std::error_code ec;
    std::filesystem::remove(temp, ec); // left behind by an interrupted save
    try {
        write_database(temp);
        // rename() replaces the database in one step: at every moment the old or the new file is there.
        if (::rename(temp.c_str(), m_file_name.c_str()) != 0) {
            const int err = errno;
            gchar* text = g_strdup_printf(_("Failed to save database \"%s\": %s"), m_file_name.c_str(),
                                          g_strerror(err));
            std::string message(text);
            g_free(text);
            throw std::runtime_error(message);
        }
    } catch (...) {
        std::filesystem::remove(temp, ec);
        throw;
    }
    sync_folder(m_file_name);
    m_modified = false;
}

// Writes the whole document into a new database file and flushes it to the disk.
void CKeyDocument::write_database(const std::filesystem::path& path) const {
    CKeyDb db;
    db.Connect(path, true);
    db.SetOpenTimeCode(m_otc);
    db.SetComment(m_description);
    // The keys are read as plain instances: a wrapper pointer per key would cost more than its record.
    const CKeyDbTimes times;
    key_info info;
    for (GObject* item : m_in_order) {
        const CKey* key = CKey::of_instance(item);
        if (!key)
            throw std::logic_error("CKeyDocument: a row without its key");
        key->to_key_info(info);
        db.AddKey(info, times);
    }
    db.Sync();
    db.Close();
}

void CKeyDocument::close(bool save_first) {
    if (!m_open)
        return;
    if (save_first)
        save();
    m_keys->remove_all();
    m_index.clear();
    m_open = false;
    m_modified = false;
}

// ---- edits ----

Glib::RefPtr<CKey> CKeyDocument::find_key(std::uint32_t id) const {
    const auto it = m_index.find(id);
    return it == m_index.end() ? Glib::RefPtr<CKey>() : it->second;
}

// Every new key needs an id that no key keeps (keys in `leaving` are on their way out) and must not be
// given twice.
void CKeyDocument::check_new_ids(const KeyList& keys, const Index& leaving) const {
    std::unordered_set<std::uint32_t> seen;
    for (const auto& key : keys) {
        if (!key)
            throw std::invalid_argument("CKeyDocument: empty key");
        if ((m_index.count(key->id()) && !leaving.count(key->id())) || !seen.insert(key->id()).second)
            throw std::invalid_argument("CKeyDocument: key id already in use");
    }
}

void CKeyDocument::index_keys(const KeyList& keys) {
    for (const auto& key : keys) {
        m_index[key->id()] = key;
        m_last_id = std::max(m_last_id, key->id());
    }
}

Glib::RefPtr<CKey> CKeyDocument::add_key(std::uint32_t id, CardType type, const CCardUID& number,
                                         bool is_short, KeyAttr attr, const Glib::ustring& description) {
    if (m_index.count(id))
        throw std::invalid_argument("CKeyDocument: key id already in use");
    auto key = CKey::create(id, type, attr, number, is_short, static_cast<std::int64_t>(std::time(nullptr)),
                            description);
    m_index.emplace(id, key);
    try {
        m_keys->append(key);
    } catch (...) {
        m_index.erase(id);
        throw;
    }
    m_last_id = std::max(m_last_id, id);
    m_modified = true;
    return key;
}

void CKeyDocument::add_keys(const KeyList& keys, guint position) {
    check_new_ids(keys, {});
    position = std::min(position, m_keys->get_n_items());
    index_keys(keys);
    try {
        m_keys->splice(position, 0, keys);
    } catch (...) {
        for (const auto& key : keys)
            m_index.erase(key->id());
        throw;
    }
    m_modified = true;
}

void CKeyDocument::set_key(guint position, CardType type, const CCardUID& number, bool is_short, KeyAttr attr,
                           const Glib::ustring& description, std::int64_t created) {
    const auto key = m_keys->get_item(position);
    if (!key)
        return;
    if (key->card_type() == type && key->number() == number && key->is_short() == is_short &&
        key->attr() == attr && key->description().raw() == description.raw() && key->created() == created)
        return;
    // Each of the six is notified once, changed or not, in this order: a setter notifies a value that
    // changes, and an unchanged one is notified here.
    const auto notify_unchanged = [&key](bool unchanged, const char* name) {
        if (unchanged)
            g_object_notify(key->gobj(), name);
    };
    notify_unchanged(key->card_type() == type, "type");
    key->set_card_type(type);
    notify_unchanged(key->number() == number, "number");
    key->set_number(number);
    notify_unchanged(key->is_short() == is_short, "short");
    key->set_short(is_short);
    notify_unchanged(key->attr() == attr, "attr");
    key->set_attr(attr);
    notify_unchanged(key->description().raw() == description.raw(), "key-description");
    key->set_description(description);
    notify_unchanged(key->created() == created, "created");
    key->set_created(created);
    m_modified = true;
}

void CKeyDocument::delete_key(guint position) {
    const auto key = m_keys->get_item(position);
    if (!key)
        return;
    m_index.erase(key->id());
    m_keys->remove(position);
    m_modified = true;
}

// Removes runs of marked keys with one splice each, from the end, so positions ahead stay valid.
void CKeyDocument::remove_deleted_keys() {
    bool removed = false;
    guint i = m_keys->get_n_items();
    while (i > 0) {
        const guint end = i;
        while (i > 0 && m_keys->get_item(i - 1)->is_deleted())
            --i;
        if (i < end) {
            for (guint j = i; j < end; ++j)
                m_index.erase(m_keys->get_item(j)->id());
            m_keys->splice(i, end - i, {});
            removed = true;
        } else {
            --i;
        }
    }
    if (removed)
        m_modified = true;
}

void CKeyDocument::splice_keys(guint position, guint count, const KeyList& keys) {
    const guint n = m_keys->get_n_items();
    position = std::min(position, n);
    count = std::min(count, n - position);
    Index leaving;
    for (guint j = position; j < position + count; ++j) {
        auto key = m_keys->get_item(j);
        leaving.emplace(key->id(), key);
    }
    check_new_ids(keys, leaving);
    for (const auto& [id, key] : leaving)
        m_index.erase(id);
    index_keys(keys);
    m_keys->splice(position, count, keys);
    m_modified = true;
}

void CKeyDocument::set_otc(std::uint16_t code) {
    if (code == m_otc)
        return;
    m_otc = code;
    m_modified = true;
}

void CKeyDocument::set_description(const Glib::ustring& description) {
    if (description.raw() == m_description.raw())
        return;
    m_description = description;
    m_modified = true;
}

Glib::ustring CKeyDocument::extract_db_name() const {
    return Glib::ustring(m_file_name.filename().stem().string());
}
