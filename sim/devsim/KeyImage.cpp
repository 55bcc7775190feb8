// Builders and decoders of the controller's key-list layouts.
#include "sim/devsim/KeyImage.h"

#include <algorithm>

namespace devsim {

namespace {
constexpr size_t kLockOffset = 3;
constexpr size_t kListOffset = 6;
constexpr size_t kQ4Record = 6;
constexpr size_t kQ6Record = 5;
constexpr uint8_t kEndFlag = 0x80;
constexpr uint8_t kEndRecord = 0xE0;
constexpr uint8_t kShortFlag = 0x10;
constexpr uint8_t kIndexEnd = 0xFF;

// Attribute codes of the flag byte (bits 5 and 6): Normal 2, Blocking 3, Master 1, Inactive 0.
uint8_t attr_bits(int attr) {
    switch (attr) {
    case 1:
        return 2 << 5;
    case 2:
        return 3 << 5;
    case 3:
        return 1 << 5;
    default:
        return 0;
    }
}

int attr_from_bits(uint8_t flag) {
    switch ((flag >> 5) & 3) {
    case 2:
        return 1;
    case 3:
        return 2;
    case 1:
        return 3;
    default:
        return 4;
    }
}

void put_lock(std::vector<uint8_t>& image, uint16_t lock_code) {
    const uint16_t stored = static_cast<uint16_t>(~lock_code);
    image[kLockOffset] = static_cast<uint8_t>(stored >> 8);
    image[kLockOffset + 1] = static_cast<uint8_t>(stored & 0xFF);
}

uint8_t flag_byte(const SimKey& key) {
    return key.short_key ? static_cast<uint8_t>(attr_bits(key.attr) | kShortFlag)
                         : static_cast<uint8_t>(attr_bits(key.attr) | (key.number[5] & 0x0F));
}
} // namespace

const MemType* mem_type_by_number(int type) {
    for (const auto& t : kMemTypes)
        if (t.type == type)
            return &t;
    return nullptr;
}

const MemType* mem_type_by_code(uint8_t code) {
    for (const auto& t : kMemTypes)
        if (t.code == code)
            return &t;
    return nullptr;
}

uint16_t Image_LockCode(const std::vector<uint8_t>& image) {
    if (image.size() < kListOffset)
        return kDefaultLockCode;
    return static_cast<uint16_t>(~((image[kLockOffset] << 8) | image[kLockOffset + 1]));
}

size_t Image_BuildQ4(const std::vector<SimKey>& keys, uint16_t lock_code, std::vector<uint8_t>& image,
                     int type) {
    if (image.size() < kListOffset + 2 * kQ4Record)
        return 0;
    const MemType* mt = mem_type_by_number(type);
    const size_t capacity = mt ? mt->capacity : kMemTypes[0].capacity;
    const size_t n = std::min({capacity, keys.size(), (image.size() - kListOffset) / kQ4Record - 1});
    image[0] = kFormatIncomplete;
    put_lock(image, lock_code);
    if (mt)
        image[kMemCodeOffset] = mt->code;
    for (size_t i = 0; i < n; ++i) {
        uint8_t* rec = &image[kListOffset + kQ4Record * i];
        const SimKey& key = keys[i];
        std::copy_n(key.number.begin(), key.short_key ? 3 : 5, rec);
        rec[kQ4Record - 1] = flag_byte(key);
    }
    image[kListOffset + kQ4Record * n + kQ4Record - 1] = kEndRecord;
    return kListOffset + kQ4Record * (n + 1);
}

namespace {
// The XOR of the number bytes after the first: XORed with the first it gives the Xor0 index byte, and
// XORed with the index byte it gives the first back.
uint8_t xor_of_rest(const SimKey& key) {
    const size_t count = key.short_key ? 3 : 6;
    uint8_t x = 0;
    for (size_t i = 1; i < count; ++i)
        x ^= key.number[i];
    return x;
}
} // namespace

size_t Image_BuildQ6(const std::vector<SimKey>& keys, uint16_t lock_code, std::vector<uint8_t>& image,
                     int type, bool xor0) {
    const MemType* mt = mem_type_by_number(type);
    if (!mt || image.size() < mt->size)
        return 0;
    const size_t cap = mt->capacity;
    const size_t n = std::min(cap, keys.size());
    image[0] = 0xFF;
    image[1] = 0x00;
    put_lock(image, lock_code);
    image[kMemCodeOffset] = mt->code;
    const size_t records = cap + 7;
    for (size_t i = 0; i < n; ++i) {
        const SimKey& key = keys[i];
        image[kListOffset + i] = xor0 ? key.number[0] ^ xor_of_rest(key) : key.number[0];
        uint8_t* rec = &image[records + kQ6Record * i];
        if (key.short_key) {
            rec[0] = key.number[1];
            rec[1] = key.number[2];
        } else {
            std::copy_n(key.number.begin() + 1, 4, rec);
        }
        rec[kQ6Record - 1] = flag_byte(key);
    }
    image[kListOffset + n] = kIndexEnd;
    image[records + kQ6Record * n + kQ6Record - 1] = kEndRecord;
    return records + kQ6Record * (n + 1);
}

std::vector<uint8_t> Image_Empty(int type) {
    const MemType* mt = mem_type_by_number(type);
    std::vector<uint8_t> image(mt ? mt->size : kMaxMemSize, 0xFF);
    if (!mt)
        return image;
    if (is_q6(type)) {
        Image_BuildQ6({}, kDefaultLockCode, image, type);
    } else {
        Image_BuildQ4({}, kDefaultLockCode, image, type);
        image[0] = kFormatComplete;
        image[1] = 0x00;
    }
    return image;
}

size_t Image_Q4Length(const std::vector<uint8_t>& image) {
    for (size_t flag = kListOffset + kQ4Record - 1; flag < image.size(); flag += kQ4Record)
        if (image[flag] & kEndFlag)
            return flag + 1;
    return 0;
}

std::vector<SimKey> Image_DecodeQ4(const std::vector<uint8_t>& image) {
    std::vector<SimKey> keys;
    for (size_t at = kListOffset; at + kQ4Record <= image.size(); at += kQ4Record) {
        const uint8_t flag = image[at + kQ4Record - 1];
        if (flag & kEndFlag)
            break;
        SimKey key;
        key.short_key = flag & kShortFlag;
        key.attr = attr_from_bits(flag);
        std::copy_n(&image[at], key.short_key ? 3 : 5, key.number.begin());
        if (!key.short_key)
            key.number[5] = flag & 0x0F;
        keys.push_back(key);
    }
    return keys;
}

std::vector<SimKey> Image_DecodeQ6(const std::vector<uint8_t>& image, int type, bool xor0) {
    std::vector<SimKey> keys;
    const MemType* mt = mem_type_by_number(type);
    if (!mt)
        return keys;
    const size_t records = mt->capacity + 7;
    for (size_t i = 0; i < mt->capacity; ++i) {
        const size_t rec_at = records + kQ6Record * i;
        if (kListOffset + i >= image.size() || rec_at + kQ6Record > image.size())
            break;
        const uint8_t* rec = &image[rec_at];
        if (image[kListOffset + i] == kIndexEnd && (rec[4] & 0xF0) == kEndRecord)
            break;
        SimKey key;
        key.short_key = rec[4] & kShortFlag;
        key.attr = attr_from_bits(rec[4]);
        key.number[0] = image[kListOffset + i];
        if (key.short_key) {
            key.number[1] = rec[0];
            key.number[2] = rec[1];
        } else {
            std::copy_n(rec, 4, key.number.begin() + 1);
            key.number[5] = rec[4] & 0x0F;
        }
        if (xor0)
            key.number[0] ^= xor_of_rest(key);
        keys.push_back(key);
    }
    return keys;
}

} // namespace devsim
