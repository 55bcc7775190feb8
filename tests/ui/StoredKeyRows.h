// A document's keys as the values a user sees (number, type, attribute, short flag, time added,
// description), in store order, for comparing documents that must hold the same keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "keys/CKeyDocument.h"

struct StoredKeyRow {
    std::string number;
    CardType type;
    KeyAttr attr;
    bool is_short;
    std::int64_t created;
    std::string description;
    bool operator==(const StoredKeyRow&) const = default;
};

inline std::vector<StoredKeyRow> stored_rows(const CKeyDocument& doc) {
    std::vector<StoredKeyRow> rows;
    for (guint i = 0; i < doc.get_keys()->get_n_items(); ++i) {
        const auto key = doc.get_keys()->get_item(i);
        rows.push_back({key->number().ToString(), key->card_type(), key->attr(), key->is_short(),
                        key->created(), key->description().raw()});
    }
    return rows;
}
