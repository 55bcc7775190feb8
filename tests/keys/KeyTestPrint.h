// Readable gtest output for key numbers: their database hexadecimal text and length.
#pragma once

#include <ostream>

#include "keys/CCardUID.h"

inline void PrintTo(const CCardUID& n, std::ostream* os) {
    *os << "CCardUID(len " << unsigned{n.length} << ", \"" << n.ToString() << "\")";
}
