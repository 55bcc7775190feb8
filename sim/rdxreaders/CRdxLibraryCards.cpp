// Card access of the stand-in reader library: Mifare Classic authentication, reading and writing against the
// world's card files, and Temic tags written through a Temic-capable reader.
#include "CRdxLibrary.h"

#include "sim/rdxworld/MifareAccess.h"
#include "sim/rdxworld/T57Codec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

namespace rdxsim {

namespace {

using rdxworld::CMifareCard;

constexpr uint64_t kKeyMask = 0xFFFFFFFFFFFFull;
constexpr int32_t kModelTemicWriter = 1;
constexpr int32_t kModelDesktopAdapter = 4;
// Desktop Mifare readers (2, 3, 12) and the other Mifare-capable readers (8, 9, 11).
constexpr std::array<int32_t, 6> kMifareModels = {2, 3, 12, 8, 9, 11};
constexpr uint32_t kSmallSectorBlocks = 4;
constexpr uint32_t kLargeGroupBlocks = 5;
constexpr size_t kTrailerGroup = 3;
constexpr size_t kAccessBytes = 3;
constexpr size_t kGarbledByte = 7;

} // namespace

bool CRdxLibrary::is_temic_writer(const CReaderHandle& r) {
    return r.info.model == kModelTemicWriter || r.info.model == kModelDesktopAdapter;
}

bool CRdxLibrary::is_mifare_reader(const CReaderHandle& r) {
    return std::find(kMifareModels.begin(), kMifareModels.end(), r.info.model) != kMifareModels.end();
}

// A Mifare call needs a connected Mifare reader whose device is still there.
rdx_status CRdxLibrary::check_mifare_call(CReaderHandle& r) {
    if (r.status != RDX_CONNECTED)
        return RDX_E_NOT_CONNECTED;
    if (!is_mifare_reader(r))
        return RDX_E_NOT_SUPPORTED;
    if (device_lost_now(r))
        return RDX_E_NOT_CONNECTED;
    return RDX_OK;
}

rdx_status CRdxLibrary::reader_load_mf_ckey(rdx_handle h, const uint64_t* key) {
    if (!key || (*key & ~kKeyMask) != 0)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    if (r->status == RDX_CONNECTED && !is_mifare_reader(*r))
        return RDX_E_NOT_SUPPORTED;
    r->key = *key;
    r->key_loaded = true;
    return RDX_OK;
}

rdx_status CRdxLibrary::reader_auth_mf_card(rdx_handle h, uint32_t block, uint32_t key_type, int32_t* ok) {
    if (!ok || key_type > 1)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    if (rdx_status st = check_mifare_call(*r); st != RDX_OK)
        return st;
    const auto card = card_on(*r);
    if (!card)
        return card_gone(*r);
    if (block >= card->block_count())
        return RDX_E_OUT_OF_RANGE;
    const uint32_t sector = CMifareCard::sector_of_block(block);
    // A failed authentication halts the card, so the sector opened before is closed as well.
    r->auth_sector = -1;
    r->auth_uid.clear();
    // Every authentication counts for an armed failure, whatever key it tries.
    const bool fault = fault_fires(*r, "auth-fail", 1).has_value();
    *ok = !fault && r->key_loaded && card->sector_key(sector, static_cast<int>(key_type)) == r->key;
    if (*ok) {
        r->auth_sector = sector;
        r->auth_uid = card->uid_text();
        r->auth_key_type = static_cast<int>(key_type);
    }
    log(4,
        r->port_name + ": authentication of sector " + std::to_string(sector) + (*ok ? " done" : " failed"));
    return RDX_OK;
}

// The reader found the field empty: whatever card it sees next is a new presentation, even the same card put
// back while auto scan was off.
rdx_status CRdxLibrary::card_gone(CReaderHandle& r) {
    r.reported_card.clear();
    return RDX_E_NO_CARD;
}

// The card must still be the one that was authenticated, and every block of the range in the open sector.
rdx_status CRdxLibrary::check_card_session(CReaderHandle& r, uint32_t block, uint32_t count,
                                           std::optional<CMifareCard>& card) {
    if (rdx_status st = check_mifare_call(r); st != RDX_OK)
        return st;
    card = card_on(r);
    if (!card)
        return card_gone(r);
    if (block >= card->block_count() || count > card->block_count() - block)
        return RDX_E_OUT_OF_RANGE;
    if (r.auth_sector < 0 || r.auth_uid != card->uid_text())
        return RDX_E_NOT_AUTHENTICATED;
    for (uint32_t b = block; b < block + count; ++b)
        if (CMifareCard::sector_of_block(b) != static_cast<uint32_t>(r.auth_sector))
            return RDX_E_NOT_AUTHENTICATED;
    return RDX_OK;
}

namespace {

// The sector's access bits as the card holds them; a sector whose bits are damaged grants nothing.
std::optional<rdxworld::sector_access> access_of(const CMifareCard& card, uint32_t sector) {
    return rdxworld::decode_access(card.block(CMifareCard::trailer_of_sector(sector)).data() +
                                   CMifareCard::kAccessOffset);
}

// The access group of a data block: on 16-block sectors five blocks share one group.
uint32_t group_of(uint32_t block) {
    const uint32_t sector = CMifareCard::sector_of_block(block);
    const uint32_t index = block - CMifareCard::first_block_of_sector(sector);
    return CMifareCard::blocks_in_sector(sector) > kSmallSectorBlocks ? index / kLargeGroupBlocks : index;
}

bool same_bytes(const uint8_t* a, const uint8_t* b, size_t n) {
    return std::memcmp(a, b, n) == 0;
}

// Whether the key that opened the sector may write data over block, as the card decides it.
rdx_status may_write(const CMifareCard& card, uint32_t block, const uint8_t* data, int key_type) {
    const uint32_t sector = CMifareCard::sector_of_block(block);
    const auto access = access_of(card, sector);
    if (!access)
        return RDX_E_ACCESS_DENIED;
    const bool b_readable = rdxworld::key_b_readable(access->groups[kTrailerGroup]);
    if (!CMifareCard::is_trailer(block))
        return rdxworld::data_block_rights(access->groups[group_of(block)], key_type, b_readable).write
                   ? RDX_OK
                   : RDX_E_ACCESS_DENIED;
    // A trailer whose access bits do not match their complements would lock the sector for good.
    if (!rdxworld::decode_access(data + CMifareCard::kAccessOffset))
        return RDX_E_BAD_ACCESS_BITS;
    const auto rights = rdxworld::trailer_block_rights(access->groups[kTrailerGroup], key_type, b_readable);
    const auto& old = card.block(block);
    if (!rights.write_key_a && !same_bytes(old.data(), data, CMifareCard::kKeySize))
        return RDX_E_ACCESS_DENIED;
    if (!rights.write_access &&
        !same_bytes(old.data() + CMifareCard::kAccessOffset, data + CMifareCard::kAccessOffset, kAccessBytes))
        return RDX_E_ACCESS_DENIED;
    if (!rights.write_key_b && !same_bytes(old.data() + CMifareCard::kKeyBOffset,
                                           data + CMifareCard::kKeyBOffset, CMifareCard::kKeySize))
        return RDX_E_ACCESS_DENIED;
    return RDX_OK;
}

// A block as the card answers a read: a trailer shows key A as zeros and key B only where it is readable.
rdx_status read_block(const CMifareCard& card, uint32_t block, int key_type, uint8_t* out) {
    const uint32_t sector = CMifareCard::sector_of_block(block);
    const auto access = access_of(card, sector);
    if (!access)
        return RDX_E_ACCESS_DENIED;
    const bool b_readable = rdxworld::key_b_readable(access->groups[kTrailerGroup]);
    CMifareCard::block_t data = card.block(block);
    if (!CMifareCard::is_trailer(block)) {
        if (!rdxworld::data_block_rights(access->groups[group_of(block)], key_type, b_readable).read)
            return RDX_E_ACCESS_DENIED;
    } else {
        const auto rights =
            rdxworld::trailer_block_rights(access->groups[kTrailerGroup], key_type, b_readable);
        std::memset(data.data(), 0, CMifareCard::kKeySize);
        if (!rights.read_access)
            std::memset(data.data() + CMifareCard::kAccessOffset, 0, kAccessBytes);
        if (!rights.read_key_b)
            std::memset(data.data() + CMifareCard::kKeyBOffset, 0, CMifareCard::kKeySize);
    }
    std::memcpy(out, data.data(), CMifareCard::kBlockSize);
    return RDX_OK;
}

} // namespace

rdx_status CRdxLibrary::reader_read_mf_classic(rdx_handle h, uint32_t block, void* buf, uint32_t count) {
    if (count > 0 && !buf)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    std::optional<CMifareCard> card;
    if (rdx_status st = check_card_session(*r, block, count, card); st != RDX_OK)
        return st;
    if (fault_fires(*r, "read-fail", 1))
        return RDX_E_FAIL;
    auto* out = static_cast<uint8_t*>(buf);
    for (uint32_t i = 0; i < count; ++i)
        if (rdx_status st = read_block(*card, block + i, r->auth_key_type, out + i * CMifareCard::kBlockSize);
            st != RDX_OK)
            return st;
    // A transfer spoilt on the way that the reader did not notice: byte 7 of every block comes back inverted.
    if (fault_fires(*r, "garble-read", 1))
        for (uint32_t i = 0; i < count; ++i)
            out[i * CMifareCard::kBlockSize + kGarbledByte] ^= 0xFF;
    log(4, r->port_name + ": read " + std::to_string(count) + " block(s) from " + std::to_string(block));
    return RDX_OK;
}

rdx_status CRdxLibrary::reader_write_mf_classic(rdx_handle h, uint32_t block, const void* buf,
                                                uint32_t count) {
    if (count > 0 && !buf)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    std::optional<CMifareCard> card;
    if (rdx_status st = check_card_session(*r, block, count, card); st != RDX_OK)
        return st;
    if (count == 0)
        return RDX_OK;
    if (block == 0)
        return RDX_E_READ_ONLY; // the manufacturer block
    const auto* in = static_cast<const uint8_t*>(buf);
    for (uint32_t i = 0; i < count; ++i)
        if (rdx_status st = may_write(*card, block + i, in + i * CMifareCard::kBlockSize, r->auth_key_type);
            st != RDX_OK)
            return st;
    if (fault_fires(*r, "write-fail", 1))
        return RDX_E_FAIL;
    // The reader writes block by block: a card taken away stops the write with the blocks before written.
    const uint32_t written = fault_fires(*r, "take-card", count).value_or(count);
    for (uint32_t i = 0; i < written; ++i)
        std::memcpy(card->block(block + i).data(), in + i * CMifareCard::kBlockSize, CMifareCard::kBlockSize);
    try {
        if (written > 0)
            m_world->save_card(*card);
        if (written < count)
            m_world->set_card_on_reader(r->port_name, "");
    } catch (const std::exception& e) {
        log(1, e.what());
        return RDX_E_FAIL;
    }
    log(4, r->port_name + ": wrote " + std::to_string(written) + " block(s) from " + std::to_string(block));
    return written < count ? RDX_E_NO_CARD : RDX_OK;
}

rdx_status CRdxLibrary::reader_write_temic(rdx_handle h, uint32_t first_block, const uint32_t* words,
                                           uint32_t count, uint32_t mode) {
    if (!words || count == 0)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    if (r->status != RDX_CONNECTED)
        return RDX_E_NOT_CONNECTED;
    if (!is_temic_writer(*r))
        return RDX_E_NOT_SUPPORTED;
    if (first_block >= rdxworld::temic_tag::kBlocks || count > rdxworld::temic_tag::kBlocks - first_block)
        return RDX_E_OUT_OF_RANGE;
    try {
        rdxworld::temic_tag tag = m_world->load_temic(r->port_name);
        for (uint32_t i = 0; i < count; ++i)
            tag.blocks[first_block + i] = rdxworld::T57_WordToBlock(words[i]);
        tag.mode = mode;
        m_world->save_temic(r->port_name, tag);
    } catch (const std::exception& e) {
        log(1, e.what());
        return RDX_E_FAIL;
    }
    log(4, r->port_name + ": Temic blocks " + std::to_string(first_block) + "-" +
               std::to_string(first_block + count - 1) + " written");
    return RDX_OK;
}

rdx_status CRdxLibrary::reader_reset_temic(rdx_handle h) {
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
    if (r->status != RDX_CONNECTED)
        return RDX_E_NOT_CONNECTED;
    if (!is_temic_writer(*r))
        return RDX_E_NOT_SUPPORTED;
    try {
        rdxworld::temic_tag tag = m_world->load_temic(r->port_name);
        ++tag.resets;
        m_world->save_temic(r->port_name, tag);
    } catch (const std::exception& e) {
        log(1, e.what());
        return RDX_E_FAIL;
    }
    return RDX_OK;
}

} // namespace rdxsim
