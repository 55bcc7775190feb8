// Key lists between the active document and the devices: taken for writing without duplicates and up to the
// target's capacity, and merged back after reading.
#include <algorithm>
#include <ctime>
#include <unordered_map>

#include "app/i18n.h"
#include "keys/KeyNumber.h"
#include "keys/KeyNumberIndex.h"
#include "settings/CAppSettings.h"
#include "ui/CMainWindow.h"

namespace {

// Equal numbers share their first three bytes, so a list is searched by those bytes first.
std::uint32_t low_bytes(const CCardUID& n) {
    return n.bytes[0] | (std::uint32_t(n.bytes[1]) << 8) | (std::uint32_t(n.bytes[2]) << 16);
}

// The type of keys that come from a device: the one the "Key type" buttons choose for reading.
CardType read_key_type() {
    switch (g_AppSet->get_scan_key_type()) {
    case SCAN_KEY_DALLAS:
        return CT_DALLAS;
    case SCAN_KEY_EM_MARINE:
        return CT_EM_MARINE;
    case SCAN_KEY_KF300:
        return CT_COD433;
    }
    return CT_UNKNOWN;
}

} // namespace

void CMainWindow::GetDbForWrite(unsigned int maximum, std::vector<m6::_db_key>& keys,
                                unsigned short& lock_code, unsigned int& key_count,
                                unsigned int& duplicates) {
    const CKeyDocument& doc = m_docs[m_active_table];
    const auto& store = doc.get_keys();
    key_count = store->get_n_items();
    duplicates = 0;
    lock_code = doc.get_otc();
    keys.clear();
    keys.reserve(std::min(key_count, maximum));
    std::unordered_multimap<std::uint32_t, std::size_t> entries;
    entries.reserve(std::min(key_count, maximum));
    for (guint i = 0; i < key_count; ++i) {
        const auto key = store->get_item(i);
        const CCardUID number = key->number();
        const bool is_short = key->is_short();
        m6::_db_key* same = nullptr;
        const auto [first, last] = entries.equal_range(low_bytes(number));
        for (auto it = first; it != last && same == nullptr; ++it) {
            m6::_db_key& entry = keys[it->second];
            if (compare_key_numbers(entry.number, entry.is_short, number, is_short) == 0)
                same = &entry;
        }
        if (same != nullptr) {
            ++duplicates;
            // The full number is what a reader sends: it wins over a short one.
            if (!is_short_number(number, is_short) && is_short_number(same->number, same->is_short)) {
                same->number = number;
                same->is_short = is_short;
            }
            continue;
        }
        if (keys.size() >= maximum)
            break; // the target is full: the rest of the document is not looked at
        entries.emplace(low_bytes(number), keys.size());
        keys.push_back(m6::_db_key{number, is_short, key->attr()});
    }
}

void CMainWindow::ImportKeysFromAdapter(const std::vector<m6::_db_key>& keys, unsigned short lock_code,
                                        bool replace) {
    CKeyDocument& doc = m_docs[m_active_table];
    if (!doc.is_open())
        return;
    const auto& store = doc.get_keys();
    const guint old_count = store->get_n_items();
    CKeyDocument::KeyList list;
    list.reserve(old_count + keys.size());
    for (guint i = 0; i < old_count; ++i)
        list.push_back(store->get_item(i));
    // Keys still marked at the end were not read and leave the document.
    for (const auto& key : list)
        key->set_deleted(replace);
    unsigned int added = 0;
    unsigned int repeated = 0;
    try {
        merge_read_keys(doc, keys, list, added, repeated);
    } catch (...) {
        // Nothing may be left marked for a later removal.
        for (guint i = 0; i < old_count; ++i)
            list[i]->set_deleted(false);
        throw;
    }
    if (replace)
        doc.remove_deleted_keys();
    doc.set_otc(lock_code);
    {
        ProgrammaticChange change(m_programmatic);
        m_lock_spin.set_value(OtcToTime(lock_code));
    }
    SetStatusMessage(Glib::ustring::sprintf(NP_("%u keys read: %u added, %u repeated", keys.size()),
                                            static_cast<unsigned>(keys.size()), added, repeated));
}

// Looks each key read up in the list: a new one is appended, a known one takes the full number and the
// attribute read and loses its mark. The new keys go into the document in one splice.
void CMainWindow::merge_read_keys(CKeyDocument& doc, const std::vector<m6::_db_key>& keys,
                                  CKeyDocument::KeyList& list, unsigned int& added, unsigned int& repeated) {
    const std::size_t old_count = list.size();
    CKeyNumberIndex index(list, old_count + keys.size());
    const CardType type = read_key_type();
    const auto now = static_cast<std::int64_t>(std::time(nullptr));
    for (const m6::_db_key& read : keys) {
        const long found = index.find(read.number, read.is_short);
        if (found < 0) {
            const std::uint32_t id = doc.generate_key_id();
            const char* format = is_short_number(read.number, read.is_short) ? "-> # %u" : "=> # %u";
            list.push_back(CKey::create(id, type, read.attr, read.number, read.is_short, now,
                                        Glib::ustring::sprintf(format, id)));
            index.add(list.size() - 1);
            ++added;
            continue;
        }
        const auto& key = list[static_cast<std::size_t>(found)];
        key->set_deleted(false);
        if (!is_short_number(read.number, read.is_short) && is_short_number(key->number(), key->is_short())) {
            key->set_number(read.number);
            key->set_short(read.is_short);
        }
        if (key->attr() != read.attr)
            key->set_attr(read.attr);
        ++repeated;
    }
    const auto first_new = list.begin() + static_cast<std::ptrdiff_t>(old_count);
    doc.splice_keys(static_cast<guint>(old_count), 0, CKeyDocument::KeyList(first_new, list.end()));
}
