// Card access of the stand-in reader library: Mifare Classic authentication, reading and writing against the
// world's card files, and Temic tags written through a Temic-capable reader.
#include "CRdxLibrary.h"

#include "sim/rdxworld/T57Codec.h"

#include <cstring>
#include <stdexcept>

namespace rdxsim {

namespace {

using rdxworld::CMifareCard;

constexpr uint64_t kKeyMask = 0xFFFFFFFFFFFFull;
constexpr int32_t kModelTemicWriter = 1;
constexpr int32_t kModelDesktopAdapter = 4;

} // namespace

bool CRdxLibrary::is_temic_writer(const CReaderHandle& r) {
    return r.info.model == kModelTemicWriter || r.info.model == kModelDesktopAdapter;
}

rdx_status CRdxLibrary::reader_load_mf_ckey(rdx_handle h, const uint64_t* key) {
    if (!key || (*key & ~kKeyMask) != 0)
        return RDX_E_INVALID_ARG;
    std::lock_guard lk(m_mutex);
    CReaderHandle* r = find_reader(h);
    if (!r)
        return RDX_E_INVALID_HANDLE;
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
    if (r->status != RDX_CONNECTED)
        return RDX_E_NOT_CONNECTED;
    const auto card = card_on(*r);
    if (!card)
        return RDX_E_NO_CARD;
    if (block >= card->block_count())
        return RDX_E_OUT_OF_RANGE;
    const uint32_t sector = CMifareCard::sector_of_block(block);
    // A failed authentication halts the card, so the sector opened before is closed as well.
    r->auth_sector = -1;
    r->auth_uid.clear();
    *ok = r->key_loaded && card->sector_key(sector, static_cast<int>(key_type)) == r->key;
    if (*ok) {
        r->auth_sector = sector;
        r->auth_uid = card->uid_text();
    }
    log(4,
        r->port_name + ": authentication of sector " + std::to_string(sector) + (*ok ? " done" : " failed"));
    return RDX_OK;
}

// The card must still be the one that was authenticated, and every block of the range in the open sector.
rdx_status CRdxLibrary::check_card_session(CReaderHandle& r, uint32_t block, uint32_t count,
                                           std::optional<CMifareCard>& card) {
    if (r.status != RDX_CONNECTED)
        return RDX_E_NOT_CONNECTED;
    card = card_on(r);
    if (!card)
        return RDX_E_NO_CARD;
    if (block >= card->block_count() || count > card->block_count() - block)
        return RDX_E_OUT_OF_RANGE;
    if (r.auth_sector < 0 || r.auth_uid != card->uid_text())
        return RDX_E_NOT_AUTHENTICATED;
    for (uint32_t b = block; b < block + count; ++b)
        if (CMifareCard::sector_of_block(b) != static_cast<uint32_t>(r.auth_sector))
            return RDX_E_NOT_AUTHENTICATED;
    return RDX_OK;
}

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
    auto* out = static_cast<uint8_t*>(buf);
    for (uint32_t i = 0; i < count; ++i) {
        CMifareCard::block_t data = card->block(block + i);
        if (CMifareCard::is_trailer(block + i))
            std::memset(data.data(), 0, CMifareCard::kKeySize); // key A never reads back
        std::memcpy(out + i * CMifareCard::kBlockSize, data.data(), CMifareCard::kBlockSize);
    }
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
        std::memcpy(card->block(block + i).data(), in + i * CMifareCard::kBlockSize, CMifareCard::kBlockSize);
    try {
        m_world->save_card(*card);
    } catch (const std::exception& e) {
        log(1, e.what());
        return RDX_E_FAIL;
    }
    log(4, r->port_name + ": wrote " + std::to_string(count) + " block(s) from " + std::to_string(block));
    return RDX_OK;
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
