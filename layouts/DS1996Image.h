// The DS1996L memory key as the controller and the adapter commands see it: its size, family code, what its
// byte 0 says about the content, and the page 0 of a key that is ready for a controller to store its base.
#pragma once

#include <cstddef>

#include "layouts/m6.h"

inline constexpr unsigned int kDs1996Size = 8192;
inline constexpr m6::M6MemType kDs1996MemType = m6::MEM_8K; // its image is the Q4 image of this type
inline constexpr unsigned int kDs1996Capacity = 1363;       // keys of that image
inline constexpr unsigned char kDs1996Family = 0x0C;

// Byte 0 of a key: the state of its content.
inline constexpr unsigned char kDs1996Prepared = 0x01;                      // empty, ready for a controller
inline constexpr unsigned char kDs1996BaseComplete = m6::kQ4FormatComplete; // a complete base
inline constexpr unsigned char kDs1996BaseIncomplete =
    m6::kQ4FormatBuilt; // a base the controller left unfinished

// A prepared key's empty list is closed for both layouts a controller may read it in: the end flag of the
// first Q4 record, and the end bit of the second Q2 record.
inline constexpr size_t kDs1996PreparedQ4End = m6::kQ4FirstRecord + m6::kQ4FlagOffset;
inline constexpr size_t kDs1996PreparedQ2End = m6::kQ2FirstRecord + m6::kQ2RecordSize;

// Page 0 of a prepared key (32 bytes): an empty list, lock time code 46 (3 s); byte 2 as given.
void ds1996_prepared_page0(unsigned char* page, unsigned char byte2);
