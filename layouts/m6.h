// The Q-4T controller's key memory: the key record handed between window and adapter thread, the memory
// types, the image builders (Q4, Q6), the end-of-list scanners and the record decoders (Q2, Q4, Q6, Xor0).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "keys/CCardUID.h"
#include "keys/KeyTypes.h"

namespace m6 {

// One key of a list exchanged with the adapter thread and stored in memory images.
struct _db_key {
    CCardUID number;       // 3 bytes for a short number, 6 for a full one
    bool is_short = false; // only number bytes 1-3 count
    KeyAttr attr = KA_NORMAL;
};

// Memory types of the controller; 0 = unknown.
enum M6MemType : uint32_t {
    MEM_NONE = 0,
    MEM_4K = 1,  // code 0x05, 680 keys, Q4 layout
    MEM_8K = 2,  // code 0x15, 1363 keys, Q4 layout (also the DS1996L)
    MEM_16K = 3, // code 0x3A, 2728 keys, Q6 layout
    MEM_32K = 4, // code 0x7A, 5459 keys, Q6 layout
};

// Page 0 of every image.
inline constexpr size_t kPageSize = 32;
inline constexpr size_t kMaxMemSize = 32768;
inline constexpr size_t kOffFormat = 0; // Q4: format byte; Q6: 0xFF
inline constexpr size_t kOffLockHi = 3; // lock time code, complemented, high byte first
inline constexpr size_t kOffLockLo = 4;
inline constexpr size_t kOffMemCode = 5; // memory code
inline constexpr size_t kHeaderSize = 6;

inline constexpr uint8_t kQ4FormatBuilt = 0x34;    // as built
inline constexpr uint8_t kQ4FormatComplete = 0x33; // once a complete write has finished
inline constexpr uint8_t kQ2FormatLimit = 0x11;    // format byte below this: the old Q2 layout

// Flag byte (last byte of a Q4 and Q6 record).
inline constexpr uint8_t kFlagEnd = 0x80;
inline constexpr uint8_t kFlagShort = 0x10;
inline constexpr uint8_t kFlagAttrMask = 0x60;
inline constexpr unsigned kFlagAttrShift = 5;
inline constexpr uint8_t kFlagNibbleMask = 0x0F;
inline constexpr uint8_t kEndRecordFlag = 0xE0; // flag byte of the record closing the list
inline constexpr uint8_t kEndRecordMask = 0xF0; // the Q6 scanner looks at the high nibble only

// Q4 layout: 6-byte records from offset 6.
inline constexpr size_t kQ4RecordSize = 6;
inline constexpr size_t kQ4FirstRecord = 6;
inline constexpr size_t kQ4FlagOffset = 5; // within a record

// Q6 layout: index bytes from offset 6, 5-byte records from N + 7 (N = key capacity).
inline constexpr size_t kQ6FirstIndex = 6;
inline constexpr size_t kQ6RecordSize = 5;
inline constexpr size_t kQ6FlagOffset = 4; // within a record
inline constexpr uint8_t kQ6IndexEnd = 0xFF;
// Records start at capacity + kQ6RecordGap.
inline constexpr size_t kQ6RecordGap = 7;

// Q2 layout (older controllers, read only): 4-byte records from offset 8.
inline constexpr size_t kQ2RecordSize = 4;
inline constexpr size_t kQ2FirstRecord = 8;
inline constexpr uint8_t kQ2EndBit = 0x04;
inline constexpr uint8_t kQ2Master = 0x01;

// The memory-type table; every function answers 0 for a type or code outside it.
M6MemType MemCodeToMemType(unsigned char code);
unsigned char MemTypeToMemCode(M6MemType type);
unsigned int MemTypeToMemSize(M6MemType type);
unsigned int MemTypeToKeyCount(M6MemType type);
// Types 3 and 4 use the Q6 layout, the others Q4.
inline bool IsQ6Type(M6MemType type) {
    return type == MEM_16K || type == MEM_32K;
}

// The attribute's two flag bits (already shifted into bits 5-6) and back.
uint8_t AttrToFlagBits(KeyAttr attr);
KeyAttr FlagBitsToAttr(uint8_t flag);

// The lock time code as stored at bytes 3-4 of every image (complemented, high byte first), and back.
void StoreLockCode(unsigned short lock_code, unsigned char* image);
unsigned short LoadLockCode(const unsigned char* image);

// The list a cleared Q6 controller holds: no keys, lock time code 46 (3 s), only the record closing the list.
// Bytes 0 and 2 of the header are left as they are.
inline constexpr unsigned short kClearedLockCode = 46;
void PrepareEmptyQ6(unsigned char* image, M6MemType type);
// The same list without the memory code (byte 5 left as it is), for a layout of `capacity` keys.
void PrepareEmptyList(unsigned char* image, unsigned int capacity);
// The flag byte of the record closing an empty list: the first record after the index.
inline constexpr size_t EmptyListEndFlag(unsigned int capacity) {
    return capacity + kQ6RecordGap + kQ6FlagOffset;
}
// The pages an empty list of `capacity` keys fills, from page 0 to its closing record.
inline constexpr unsigned int EmptyListPages(unsigned int capacity) {
    return static_cast<unsigned int>((capacity + kQ6RecordGap + kQ6RecordSize + kPageSize - 1) / kPageSize);
}
// The pages of a Q6 image that hold its header and index (types 3 and 4).
unsigned int Q6IndexPages(M6MemType type);

// Builders. The caller fills the image with 0xFF and copies the controller's page 0 to its start; the
// builders write only the header fields, the records and the end marker, and return the image length used.
// An image too small for the layout throws std::length_error.
size_t PrepareQ4(const std::vector<_db_key>& keys, unsigned short lock_code, unsigned char* image,
                 size_t image_size, M6MemType type);
size_t PrepareQ6(const std::vector<_db_key>& keys, unsigned short lock_code, unsigned char* image,
                 size_t image_size, M6MemType type, bool xor_mode);

// End-of-list scanners over an image read so far (bytes_read bytes valid). pos starts at 0 and is kept by the
// caller between calls as more pages arrive; true when the end marker has been found at pos.
bool CheckEndQ2Q4(const unsigned char* image, unsigned int bytes_read, unsigned int& pos);
// record_base = key capacity + 1.
bool CheckEndQ6(const unsigned char* image, unsigned int bytes_read, size_t record_base, unsigned int& pos);

// The key count belonging to a scan position of CheckEndQ2Q4 (Q2 when byte 0 is below 0x11, else Q4) and of
// CheckEndQ6.
unsigned int KeyCountQ2Q4(const unsigned char* image, unsigned int pos);
unsigned int KeyCountQ6(unsigned int pos);

// Single-record encoders and decoders (used by the builders, the controller, DS1996L and Mifare code).
void EncodeQ4Record(const _db_key& key, unsigned char* record);
// Returns the index byte; writes the 5 record bytes.
unsigned char EncodeQ6Record(const _db_key& key, unsigned char* record, bool xor_mode);
_db_key DecodeQ2Record(const unsigned char* record);
_db_key DecodeQ4Record(const unsigned char* record);
_db_key DecodeQ6Record(unsigned char index_byte, const unsigned char* record, bool xor_mode);

// Whole-list decoders: append up to `count` keys of an image of image_size bytes to `keys`. The count is cut
// to what the image (and, for Q6, the capacity of the type) holds, so a damaged image never reads past its
// end. Q2Q4 picks the layout by byte 0. Return the number of keys appended.
size_t DecodeQ2Q4Keys(const unsigned char* image, size_t image_size, size_t count,
                      std::vector<_db_key>& keys);
size_t DecodeQ6Keys(const unsigned char* image, size_t image_size, M6MemType type, size_t count,
                    bool xor_mode, std::vector<_db_key>& keys);
// By memory type: Q6 for types 3 and 4, else Q2 or Q4 by byte 0.
size_t DecodeKeys(const unsigned char* image, size_t image_size, M6MemType type, size_t count, bool xor_mode,
                  std::vector<_db_key>& keys);

} // namespace m6
