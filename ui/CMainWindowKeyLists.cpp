// Key lists between the active document and the devices: the list taken for writing (no duplicate numbers,
// limited to what the target holds) and a list read back merged into the document.
#include <algorithm>
#include <ctime>
#include <unordered_map>

#include "app/i18n.h"
#include "keys/KeyNumber.h"
#include "keys/KeyNumberIndex.h"
#include "ui/CMainWindow.h"

namespace {
// Every number comparison looks at the low three bytes first, so entries are bucketed by them.
std::uint32_t low_bytes(const CCardUID& number) {
    return number.bytes[0] | (std::uint32_t(number.bytes[1]) << 8) | (std::uint32_t(number.bytes[2]) << 16);
}

m6::_db_key* find_entry(std::vector<m6::_db_key>& keys,
                        const std::unordered_multimap<std::uint32_t, std::size_t>& index, const CKey& key) {
    const auto [first, last] = index.equal_range(low_bytes(key.number()));
    // The earliest entry wins, as a walk over the list in order would find it.
    m6::_db_key* found = nullptr;
    std::size_t found_at = 0;
    for (auto it = first; it != last; ++it) {
        m6::_db_key& entry = keys[it->second];
        if (compare_key_numbers(key.number(), key.is_short(), entry.number, entry.is_short) == 0 &&
            (found == nullptr || it->second < found_at)) {
            found = &entry;
            found_at = it->second;
        }
    }
    return found;
}

// The key type new keys get: the one chosen for key reading.
CardType type_for_new_keys(bool dallas, bool em_marine, bool kf300) {
    if (dallas)
        return CT_DALLAS;
    if (em_marine)
        return CT_EM_MARINE;
    if (kf300)
        return CT_COD433;
    return CT_UNKNOWN;
}
} // namespace

void CMainWindow::GetDbForWrite(unsigned maximum, std::vector<m6::_db_key>& keys, unsigned short& lock_code,
                                unsigned& key_count, unsigned& duplicates) {
    const CKeyDocument& doc = m_docs[m_active_table];
    const auto& store = doc.get_keys();
    key_count = store->get_n_items();
    duplicates = 0;
    lock_code = doc.get_otc();
    keys.clear();
    keys.reserve(std::min(key_count, maximum));
    std::unordered_multimap<std::uint32_t, std::size_t> index;
    index.reserve(std::min(key_count, maximum));
    for (guint i = 0; i < key_count; ++i) {
        const auto key = store->get_item(i);
        if (m6::_db_key* entry = find_entry(keys, index, *key)) {
            ++duplicates;
            if (!key->is_short() && entry->is_short) {
                entry->number = key->number();
                entry->is_short = false;
            }
            continue;
        }
        if (keys.size() >= maximum)
            break; // the rest of the document is not looked at
        index.emplace(low_bytes(key->number()), keys.size());
        keys.push_back({key->number(), key->is_short(), key->attr()});
    }
}

void CMainWindow::ImportKeysFromAdapter(const std::vector<m6::_db_key>& keys, unsigned short lock_code,
                                        bool replace) {
    CKeyDocument& doc = m_docs[m_active_table];
    const auto& store = doc.get_keys();
    CKeyDocument::KeyList list;
    list.reserve(store->get_n_items() + keys.size());
    for (guint i = 0; i < store->get_n_items(); ++i)
        list.push_back(store->get_item(i));
    // Keys of the document not met in the list read; they go when the list replaces the document's.
    std::vector<bool> absent(list.size(), replace);
    CKeyNumberIndex index(list, list.size() + keys.size());

    const CardType type = type_for_new_keys(m_dallas_radio.get_active(), m_em_marine_radio.get_active(),
                                            m_kf300_radio.get_active());
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    unsigned added = 0;
    unsigned repeated = 0;
    for (const m6::_db_key& read : keys) {
        const long found = index.find(read.number, read.is_short);
        if (found < 0) {
            const std::uint32_t id = doc.generate_key_id();
            // Stored data, not a message: the same text whatever the user's language.
            const Glib::ustring description =
                read.is_short ? Glib::ustring::sprintf("-> # %u", id) : Glib::ustring::sprintf("=> # %u", id);
            list.push_back(CKey::create(id, type, read.attr, read.number, read.is_short, now, description));
            absent.push_back(false);
            index.add(list.size() - 1);
            ++added;
            continue;
        }
        absent[found] = false;
        const Glib::RefPtr<CKey>& stored = list[found];
        const bool take_number = !read.is_short && stored->is_short();
        if (take_number || stored->attr() != read.attr) {
            // A changed copy: the document's own key stays as it was until the whole list is replaced.
            key_info info = stored->to_key_info();
            auto changed = CKey::create(std::move(info));
            if (take_number) {
                changed->set_number(read.number);
                changed->set_short(false);
            }
            changed->set_attr(read.attr);
            list[found] = changed;
        }
        ++repeated;
    }
    if (replace) {
        CKeyDocument::KeyList kept;
        kept.reserve(list.size());
        for (std::size_t i = 0; i < list.size(); ++i)
            if (!absent[i])
                kept.push_back(list[i]);
        list.swap(kept);
    }
    doc.splice_keys(0, store->get_n_items(), list);
    doc.set_otc(lock_code);
    {
        // The lock time read with the keys is the document's now: the spin button shows it.
        ProgrammaticChange change(m_programmatic);
        m_lock_spin.set_value(OtcToTime(lock_code));
    }
    SetStatusMessage(Glib::ustring::sprintf(_("%u keys read: %u added, %u repeated"),
                                            static_cast<unsigned>(keys.size()), added, repeated));
}
