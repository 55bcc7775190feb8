// Controller key-memory images: the memory-type table, the Q4/Q6 builders, the end scanners and the record
// decoders.
#include "layouts/m6.h"

#include <algorithm>
#include <stdexcept>

namespace m6 {

namespace {

struct MemTypeInfo {
    unsigned char code;
    unsigned int size;
    unsigned int capacity;
};

// Indexed by M6MemType - 1.
constexpr MemTypeInfo kMemTypes[] = {
    {0x05, 4096, 680},
    {0x15, 8192, 1363},
    {0x3A, 16384, 2728},
    {0x7A, 32768, 5459},
};

const MemTypeInfo* mem_type_info(M6MemType type) {
    if (type < MEM_4K || type > MEM_32K)
        return nullptr;
    return &kMemTypes[type - 1];
}

// Attribute codes in the flag byte (before shifting).
constexpr uint8_t kCodeInactive = 0;
constexpr uint8_t kCodeMaster = 1;
constexpr uint8_t kCodeNormal = 2;
constexpr uint8_t kCodeBlocking = 3;

// Number byte k (counted from 1), or 0 beyond the number's length.
uint8_t number_byte(const CCardUID& number, size_t k) {
    return k <= number.length && k <= CCardUID::kMaxBytes ? number.bytes[k - 1] : 0;
}

constexpr size_t kFullKeyBytes = 6;
constexpr size_t kShortKeyBytes = 3;

// The Q6 index byte in Xor0 mode: all the key's number bytes XORed (1-3 for a short key).
uint8_t xor_of_number(const _db_key& key) {
    const size_t count = key.is_short ? kShortKeyBytes : std::min<size_t>(key.number.length, kFullKeyBytes);
    uint8_t x = 0;
    for (size_t k = 1; k <= count; ++k)
        x ^= number_byte(key.number, k);
    return x;
}

uint8_t flag_byte(const _db_key& key) {
    const uint8_t attr = AttrToFlagBits(key.attr);
    if (key.is_short)
        return attr | kFlagShort;
    return attr | (number_byte(key.number, 6) & kFlagNibbleMask);
}

_db_key make_key(const uint8_t* bytes, size_t n, bool is_short, KeyAttr attr) {
    _db_key key;
    key.number = CCardUID(bytes, n);
    key.is_short = is_short;
    key.attr = attr;
    return key;
}

} // namespace

M6MemType MemCodeToMemType(unsigned char code) {
    for (size_t i = 0; i < std::size(kMemTypes); ++i)
        if (kMemTypes[i].code == code)
            return static_cast<M6MemType>(i + 1);
    return MEM_NONE;
}

unsigned char MemTypeToMemCode(M6MemType type) {
    const MemTypeInfo* info = mem_type_info(type);
    return info ? info->code : 0;
}

unsigned int MemTypeToMemSize(M6MemType type) {
    const MemTypeInfo* info = mem_type_info(type);
    return info ? info->size : 0;
}

unsigned int MemTypeToKeyCount(M6MemType type) {
    const MemTypeInfo* info = mem_type_info(type);
    return info ? info->capacity : 0;
}

uint8_t AttrToFlagBits(KeyAttr attr) {
    uint8_t code = kCodeInactive; // anything but Normal, Blocking, Master is written as Inactive
    switch (attr) {
    case KA_NORMAL:
        code = kCodeNormal;
        break;
    case KA_BLOCKING:
        code = kCodeBlocking;
        break;
    case KA_MASTER:
        code = kCodeMaster;
        break;
    default:
        break;
    }
    return static_cast<uint8_t>(code << kFlagAttrShift);
}

KeyAttr FlagBitsToAttr(uint8_t flag) {
    switch ((flag & kFlagAttrMask) >> kFlagAttrShift) {
    case kCodeNormal:
        return KA_NORMAL;
    case kCodeBlocking:
        return KA_BLOCKING;
    case kCodeMaster:
        return KA_MASTER;
    default:
        return KA_INACTIVE;
    }
}

// The controller keeps the lock time complemented, high byte first.
void StoreLockCode(unsigned short lock_code, unsigned char* image) {
    const unsigned short stored = static_cast<unsigned short>(~lock_code);
    image[kOffLockHi] = static_cast<unsigned char>(stored >> 8);
    image[kOffLockLo] = static_cast<unsigned char>(stored & 0xFF);
}

void PrepareEmptyList(unsigned char* image, unsigned int capacity) {
    image[1] = 0x00;
    StoreLockCode(kClearedLockCode, image);
    image[EmptyListEndFlag(capacity)] = kEndRecordFlag;
}

void PrepareEmptyQ6(unsigned char* image, M6MemType type) {
    PrepareEmptyList(image, MemTypeToKeyCount(type));
    image[kOffMemCode] = MemTypeToMemCode(type);
}

unsigned int Q6IndexPages(M6MemType type) {
    return static_cast<unsigned int>((kQ6FirstIndex + MemTypeToKeyCount(type) + kPageSize - 1) / kPageSize);
}

unsigned short LoadLockCode(const unsigned char* image) {
    return static_cast<unsigned short>(~((image[kOffLockHi] << 8) | image[kOffLockLo]));
}

void EncodeQ4Record(const _db_key& key, unsigned char* record) {
    const size_t stored = key.is_short ? kShortKeyBytes : 5; // bytes 3-4 of a short record stay 0xFF
    for (size_t i = 0; i < stored; ++i)
        record[i] = number_byte(key.number, i + 1);
    record[kQ4FlagOffset] = flag_byte(key);
}

unsigned char EncodeQ6Record(const _db_key& key, unsigned char* record, bool xor_mode) {
    // Number byte 1 lives in the index; the record holds bytes 2-6 (2-3 for a short key, bytes 2-3 of the
    // record then stay 0xFF).
    const size_t stored = key.is_short ? 2 : 4;
    for (size_t i = 0; i < stored; ++i)
        record[i] = number_byte(key.number, i + 2);
    record[kQ6FlagOffset] = flag_byte(key);
    return xor_mode ? xor_of_number(key) : number_byte(key.number, 1);
}

size_t PrepareQ4(const std::vector<_db_key>& keys, unsigned short lock_code, unsigned char* image,
                 size_t image_size, M6MemType type) {
    const size_t capacity = MemTypeToKeyCount(type == MEM_8K ? MEM_8K : MEM_4K);
    const size_t n = std::min(capacity, keys.size());
    const size_t length = kQ4FirstRecord + kQ4RecordSize * (n + 1);
    if (image_size < length)
        throw std::length_error("PrepareQ4: image too small");

    image[kOffFormat] = kQ4FormatBuilt;
    StoreLockCode(lock_code, image);
    if (type == MEM_4K || type == MEM_8K)
        image[kOffMemCode] = MemTypeToMemCode(type);
    for (size_t i = 0; i < n; ++i)
        EncodeQ4Record(keys[i], image + kQ4FirstRecord + kQ4RecordSize * i);
    image[kQ4FirstRecord + kQ4RecordSize * n + kQ4FlagOffset] = kEndRecordFlag;
    return length;
}

size_t PrepareQ6(const std::vector<_db_key>& keys, unsigned short lock_code, unsigned char* image,
                 size_t image_size, M6MemType type, bool xor_mode) {
    const size_t capacity =
        MemTypeToKeyCount(type); // 0 outside the table: an empty list right after the header
    const size_t n = std::min(capacity, keys.size());
    const size_t record_start = capacity + kQ6RecordGap;
    const size_t length = record_start + kQ6RecordSize * (n + 1);
    if (image_size < length)
        throw std::length_error("PrepareQ6: image too small");

    image[kOffFormat] = 0xFF;
    image[1] = 0x00;
    StoreLockCode(lock_code, image);
    if (capacity != 0)
        image[kOffMemCode] = MemTypeToMemCode(type);
    for (size_t i = 0; i < n; ++i)
        image[kQ6FirstIndex + i] =
            EncodeQ6Record(keys[i], image + record_start + kQ6RecordSize * i, xor_mode);
    image[kQ6FirstIndex + n] = kQ6IndexEnd;
    image[record_start + kQ6RecordSize * n + kQ6FlagOffset] = kEndRecordFlag;
    return length;
}

namespace {
// First position of the grid first + k * step at or after pos.
unsigned int snap_to_grid(unsigned int pos, unsigned int first, unsigned int step) {
    if (pos <= first)
        return first;
    return first + (pos - first + step - 1) / step * step;
}
} // namespace

bool CheckEndQ2Q4(const unsigned char* image, unsigned int bytes_read, unsigned int& pos) {
    if (bytes_read == 0)
        return false;
    unsigned int step, mask;
    if (image[kOffFormat] < kQ2FormatLimit) {
        pos = snap_to_grid(pos, kQ2FirstRecord, kQ2RecordSize);
        step = kQ2RecordSize;
        mask = kQ2EndBit;
    } else {
        pos = snap_to_grid(pos, kQ4FirstRecord + kQ4FlagOffset, kQ4RecordSize);
        step = kQ4RecordSize;
        mask = kFlagEnd;
    }
    for (; pos < bytes_read; pos += step)
        if (image[pos] & mask)
            return true;
    return false;
}

bool CheckEndQ6(const unsigned char* image, unsigned int bytes_read, size_t record_base, unsigned int& pos) {
    if (pos < kQ6FirstIndex)
        pos = kQ6FirstIndex;
    for (; pos < bytes_read; ++pos) {
        if (image[pos] != kQ6IndexEnd)
            continue;
        // Byte 4 of the record that matches this index position must carry the end flag (the record base is
        // the capacity + 1, records start at capacity + 7).
        const size_t flag =
            record_base + (kQ6RecordGap - 1) + kQ6FlagOffset + kQ6RecordSize * (pos - kQ6FirstIndex);
        if (flag >= bytes_read)
            return false;
        if ((image[flag] & kEndRecordMask) == kEndRecordFlag)
            return true;
    }
    return false;
}

unsigned int KeyCountQ2Q4(const unsigned char* image, unsigned int pos) {
    if (image[kOffFormat] < kQ2FormatLimit)
        return pos < kQ2FirstRecord ? 0 : (pos - kQ2FirstRecord) / kQ2RecordSize;
    return pos < kQ4FirstRecord ? 0 : (pos - kQ4FirstRecord) / kQ4RecordSize;
}

unsigned int KeyCountQ6(unsigned int pos) {
    return pos < kQ6FirstIndex ? 0 : pos - kQ6FirstIndex;
}

_db_key DecodeQ2Record(const unsigned char* record) {
    return make_key(record + 1, kShortKeyBytes, true, record[0] == kQ2Master ? KA_MASTER : KA_NORMAL);
}

_db_key DecodeQ4Record(const unsigned char* record) {
    const uint8_t flag = record[kQ4FlagOffset];
    if (flag & kFlagShort)
        return make_key(record, kShortKeyBytes, true, FlagBitsToAttr(flag));
    const uint8_t bytes[kFullKeyBytes] = {record[0], record[1], record[2],
                                          record[3], record[4], static_cast<uint8_t>(flag & kFlagNibbleMask)};
    return make_key(bytes, kFullKeyBytes, false, FlagBitsToAttr(flag));
}

_db_key DecodeQ6Record(unsigned char index_byte, const unsigned char* record, bool xor_mode) {
    const uint8_t flag = record[kQ6FlagOffset];
    const bool is_short = flag & kFlagShort;
    uint8_t bytes[kFullKeyBytes] = {index_byte, record[0], record[1],
                                    record[2],  record[3], static_cast<uint8_t>(flag & kFlagNibbleMask)};
    const size_t n = is_short ? kShortKeyBytes : kFullKeyBytes;
    if (xor_mode)
        for (size_t i = 1; i < n; ++i)
            bytes[0] ^= bytes[i];
    return make_key(bytes, n, is_short, FlagBitsToAttr(flag));
}

size_t DecodeQ2Q4Keys(const unsigned char* image, size_t image_size, size_t count,
                      std::vector<_db_key>& keys) {
    if (image_size == 0)
        return 0;
    const bool q2 = image[kOffFormat] < kQ2FormatLimit;
    const size_t first = q2 ? kQ2FirstRecord : kQ4FirstRecord;
    const size_t step = q2 ? kQ2RecordSize : kQ4RecordSize;
    const size_t fits = image_size < first ? 0 : (image_size - first) / step;
    count = std::min(count, fits);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* record = image + first + step * i;
        keys.push_back(q2 ? DecodeQ2Record(record) : DecodeQ4Record(record));
    }
    return count;
}

size_t DecodeQ6Keys(const unsigned char* image, size_t image_size, M6MemType type, size_t count,
                    bool xor_mode, std::vector<_db_key>& keys) {
    const size_t capacity = MemTypeToKeyCount(type);
    const size_t record_start = capacity + kQ6RecordGap;
    const size_t fits = image_size < record_start ? 0 : (image_size - record_start) / kQ6RecordSize;
    count = std::min({count, capacity, fits});
    for (size_t i = 0; i < count; ++i)
        keys.push_back(
            DecodeQ6Record(image[kQ6FirstIndex + i], image + record_start + kQ6RecordSize * i, xor_mode));
    return count;
}

size_t DecodeKeys(const unsigned char* image, size_t image_size, M6MemType type, size_t count, bool xor_mode,
                  std::vector<_db_key>& keys) {
    if (IsQ6Type(type))
        return DecodeQ6Keys(image, image_size, type, count, xor_mode, keys);
    return DecodeQ2Q4Keys(image, image_size, count, keys);
}

} // namespace m6
