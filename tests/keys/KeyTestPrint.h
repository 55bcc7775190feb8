// Key numbers in tests: readable gtest output (their database hexadecimal text and length), and every byte
// of a number's storage, unused ones included, for byte-exact checks.
#pragma once

#include <cstdint>
#include <ostream>
#include <vector>

#include "keys/CCardUID.h"

inline void PrintTo(const CCardUID& n, std::ostream* os) {
    *os << "CCardUID(len " << unsigned{n.length} << ", \"" << n.ToString() << "\")";
}

inline std::vector<std::uint8_t> all_bytes(const CCardUID& n) {
    return std::vector<std::uint8_t>(n.bytes, n.bytes + CCardUID::kMaxBytes);
}
