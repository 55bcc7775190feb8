// The card-set format, free of any reader: card geometry, the identification block, collecting the data
// stream read back and decoding it. Card contents come from outside, so every offset and count is bounded
// by the stream buffer.
#include <algorithm>
#include <cstring>

#include "readers/CMifareThread.h"

namespace {
constexpr unsigned kSmallSectorBlocks = 4;
constexpr unsigned kLargeSectorBlocks = 16;
constexpr unsigned kSmallSectorCount = 32;
// Cards of 128 blocks or more have S/256 + 24 sectors: 32 small ones, the rest large.
constexpr unsigned kLargeCardBlocks = 128;
constexpr unsigned kLargeCardSectorBase = 24;
constexpr unsigned kMaxMemorySize = 4096;
} // namespace

unsigned CMifareThread::MfSectorCount(unsigned memory_size) {
    memory_size = std::min(memory_size, kMaxMemorySize);
    const unsigned blocks = memory_size / kBlockSize;
    if (blocks < kLargeCardBlocks)
        return memory_size / (kSmallSectorBlocks * kBlockSize);
    return std::min(memory_size / (kLargeSectorBlocks * kBlockSize) + kLargeCardSectorBase, kMaxSectors);
}

unsigned CMifareThread::MfSectorFirstBlock(unsigned sector) {
    if (sector < kSmallSectorCount)
        return sector * kSmallSectorBlocks;
    return kSmallSectorCount * kSmallSectorBlocks + (sector - kSmallSectorCount) * kLargeSectorBlocks;
}

unsigned CMifareThread::MfSectorBlockCount(unsigned sector) {
    return sector < kSmallSectorCount ? kSmallSectorBlocks : kLargeSectorBlocks;
}

unsigned CMifareThread::MfCardCapacity(unsigned memory_size) {
    const unsigned sectors = MfSectorCount(memory_size);
    if (sectors == 0)
        return 0;
    // Block 2 of sector 0, then every block but the trailer of the other sectors.
    unsigned capacity = kBlockSize;
    for (unsigned sector = 1; sector < sectors; ++sector)
        capacity += (MfSectorBlockCount(sector) - 1) * kBlockSize;
    return capacity;
}

bool CMifareThread::AccessBitsValid(const unsigned char* trailer) {
    // Byte 6 holds ~C2|~C1, byte 7 C1|~C3, byte 8 C3|C2 (one nibble each).
    const unsigned char* access = trailer + kAccessOffset;
    const unsigned not_c1 = access[0] & 0x0F, not_c2 = access[0] >> 4, not_c3 = access[1] & 0x0F;
    const unsigned c1 = access[1] >> 4, c2 = access[2] & 0x0F, c3 = access[2] >> 4;
    return (c1 ^ not_c1) == 0x0F && (c2 ^ not_c2) == 0x0F && (c3 ^ not_c3) == 0x0F;
}

CMifareThread::CardCheck CMifareThread::CheckIdBlock(const unsigned char* block, unsigned finished_cards,
                                                     bool first_card, uint32_t group) {
    if (block[kSequenceOffset] != static_cast<unsigned char>(finished_cards) || finished_cards > 0xFF)
        return CardCheck::kWrongSequence;
    uint32_t card_group = 0;
    std::memcpy(&card_group, block, kGroupSize);
    if (!first_card && card_group != group)
        return CardCheck::kWrongGroup;
    return CardCheck::kOk;
}

bool CMifareThread::AppendStream(unsigned char* stream, unsigned& offset, unsigned& scan_pos,
                                 const unsigned char* blocks, unsigned block_count) {
    offset = std::min(offset, kDataSize);
    const unsigned count = std::min(block_count, (kDataSize - offset) / kBlockSize);
    if (count)
        std::memcpy(stream + offset, blocks, count * kBlockSize);
    offset += count * kBlockSize;
    if (offset == 0)
        return false;
    // The scanner never looks at or beyond the bytes read so far.
    return m6::CheckEndQ2Q4(stream, offset, scan_pos);
}

unsigned CMifareThread::KeysBefore(const unsigned char* stream, unsigned scan_pos) {
    if (stream[m6::kOffFormat] < m6::kQ2FormatLimit) {
        if (scan_pos < m6::kQ2FirstRecord)
            return 0;
        return static_cast<unsigned>((scan_pos - m6::kQ2FirstRecord) / m6::kQ2RecordSize);
    }
    if (scan_pos < m6::kQ4FirstRecord)
        return 0;
    return static_cast<unsigned>((scan_pos - m6::kQ4FirstRecord) / m6::kQ4RecordSize);
}

void CMifareThread::DecodeStream(const unsigned char* stream, unsigned length, unsigned scan_pos,
                                 std::vector<m6::_db_key>& keys, unsigned short& lock_code) {
    keys.clear();
    length = std::min(length, kDataSize);
    lock_code = length > m6::kOffLockLo ? m6::LoadLockCode(stream) : 0;
    if (length == 0)
        return;
    // The count from the scan position is only a claim; the decoder cuts it to the records within length.
    const unsigned claimed = KeysBefore(stream, std::min(scan_pos, length));
    m6::DecodeQ2Q4Keys(stream, length, claimed, keys);
}
