// Keys of a list by the low three bytes of their numbers: every number comparison looks at those first,
// so the first key equal to a number is found without a walk over the whole list.
#pragma once

#include <algorithm>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "keys/CCardUID.h"
#include "keys/CKeyDocument.h"
#include "keys/KeyNumber.h"

class CKeyNumberIndex {
public:
    // Indexes keys[0 .. size) in list order; later keys are added with add. expected is how many keys the
    // index will hold in the end, so that it grows only once.
    explicit CKeyNumberIndex(const CKeyDocument::KeyList& keys, std::size_t expected = 0) : m_keys(keys) {
        expected = std::max(expected, keys.size());
        m_buckets.reserve(expected);
        m_next.reserve(expected);
        for (std::size_t k = 0; k < keys.size(); ++k)
            add(k);
    }
    // Takes keys[position] in; positions must be added in increasing order, one after the other.
    void add(std::size_t position) {
        const auto k = static_cast<std::uint32_t>(position);
        m_next.push_back(kEnd);
        const auto [it, inserted] = m_buckets.try_emplace(low_bytes(m_keys[position]->number()), Chain{k, k});
        if (!inserted) {
            m_next[it->second.last] = k;
            it->second.last = k;
        }
    }
    // The position of the first key whose number compares equal (with both short flags), or -1.
    long find(const CCardUID& number, bool is_short) const {
        const auto it = m_buckets.find(low_bytes(number));
        if (it == m_buckets.end())
            return -1;
        for (std::uint32_t k = it->second.first; k != kEnd; k = m_next[k])
            if (compare_key_numbers(number, is_short, m_keys[k]->number(), m_keys[k]->is_short()) == 0)
                return k;
        return -1;
    }

private:
    static constexpr std::uint32_t kEnd = UINT32_MAX;
    // The positions of one bucket, chained through m_next in list order.
    struct Chain {
        std::uint32_t first;
        std::uint32_t last;
    };
    static std::uint32_t low_bytes(const CCardUID& n) {
        return n.bytes[0] | (std::uint32_t(n.bytes[1]) << 8) | (std::uint32_t(n.bytes[2]) << 16);
    }
    const CKeyDocument::KeyList& m_keys;
    std::unordered_map<std::uint32_t, Chain> m_buckets;
    std::vector<std::uint32_t> m_next;
};
