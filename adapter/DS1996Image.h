// The DS1996L memory key as the adapter commands see it: its size, family code and the page 0 of a key that
// is ready for a controller to store its base.
#pragma once

inline constexpr unsigned int kDs1996Size = 8192;
inline constexpr unsigned int kDs1996Capacity = 1363; // keys of its Q4 image (memory type 2)
inline constexpr unsigned char kDs1996Family = 0x0C;
inline constexpr unsigned char kDs1996Prepared = 0x01; // byte 0 of a prepared key

// Page 0 of a prepared key (32 bytes): an empty list, 3 s lock time; byte 2 as given.
void ds1996_prepared_page0(unsigned char* page, unsigned char byte2);
