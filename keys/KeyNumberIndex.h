// Keys of a list by the low three bytes of their numbers: every number comparison looks at those first,
// so the first key equal to a number is found without a walk over the whole list.
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "keys/CCardUID.h"
#include "keys/CKeyDocument.h"
#include "keys/KeyNumber.h"

class CKeyNumberIndex {
public:
    // Indexes keys[0 .. size) in list order; later keys are added with add.
    explicit CKeyNumberIndex(const CKeyDocument::KeyList& keys) : m_keys(keys) {
        m_buckets.reserve(keys.size());
        for (std::size_t k = 0; k < keys.size(); ++k)
            add(k);
    }
    // Takes keys[position] in; positions must be added in increasing order.
    void add(std::size_t position) {
        m_buckets[low_bytes(m_keys[position]->number())].push_back(static_cast<std::uint32_t>(position));
    }
    // The position of the first key whose number compares equal (with both short flags), or -1.
    long find(const CCardUID& number, bool is_short) const {
        const auto it = m_buckets.find(low_bytes(number));
        if (it == m_buckets.end())
            return -1;
        for (std::uint32_t k : it->second)
            if (compare_key_numbers(number, is_short, m_keys[k]->number(), m_keys[k]->is_short()) == 0)
                return k;
        return -1;
    }

private:
    static std::uint32_t low_bytes(const CCardUID& n) {
        return n.bytes[0] | (std::uint32_t(n.bytes[1]) << 8) | (std::uint32_t(n.bytes[2]) << 16);
    }
    const CKeyDocument::KeyList& m_keys;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> m_buckets;
};
