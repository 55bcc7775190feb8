// Page 0 of a prepared DS1996L.
#include "layouts/DS1996Image.h"

#include <cstring>

void ds1996_prepared_page0(unsigned char* page, unsigned char byte2) {
    std::memset(page, 0xFF, m6::kPageSize);
    page[m6::kOffFormat] = kDs1996Prepared;
    page[1] = 0x00;
    page[2] = byte2;
    m6::StoreLockCode(m6::kClearedLockCode, page);
    page[m6::kOffMemCode] = m6::MemTypeToMemCode(kDs1996MemType);
    page[kDs1996PreparedQ4End] = m6::kFlagEnd;
    page[kDs1996PreparedQ2End] = m6::kQ2EndBit;
}
