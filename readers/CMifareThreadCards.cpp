// The four card operations of the Mifare worker: preparing, writing, reading back and clearing the cards of
// a card set, one card per presentation.
#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

#include "app/i18n.h"
#include "readers/CMifareThread.h"

namespace {

// The stream of a prepared (empty) set: an old-layout image whose first record already ends the list, with
// the default lock time. The first half goes to block 2, the second to block 4.
constexpr unsigned char kPreparedStream[32] = {
    0x01, 0x00, 0xFF, 0xFF, 0xD1, 0x15, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0x04, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr unsigned kPreparedSecondBlock = 4;
constexpr unsigned kPercent = 100;

// The group identifier: the first four bytes of the first card's UID, in that order.
uint32_t uid_group(const CCardUID& uid) {
    uint32_t group = 0;
    std::memcpy(&group, uid.bytes, sizeof(group));
    return group;
}

} // namespace

// The card under work: the reader with auto scan off for as long as the work lasts, the key alternation
// when opening sectors, and the card's label and row number.
class CMifareThread::CCardWork {
public:
    CCardWork(CMifareThread& owner, const rdx_card_info& info, unsigned number, const Glib::ustring& text)
        : m_owner(owner), m_handle(owner.m_reader.Get()), uid(info.uid), number(number),
          memory_size(std::min(info.memory_size, 4096u)), sectors(MfSectorCount(memory_size)),
          blocks(memory_size / kBlockSize) {
        rdx::RDXCheck(rdx_reader_set_auto_scan(m_handle, 0, 0));
        m_scan_off = true;
        label = Glib::ustring(rdx::CCardUID(info.uid).ToString()) +
                Glib::ustring::sprintf(" %uk", info.memory_size >> 10);
        m_owner.SetStatusText(text);
        LoadKey(kMfDsKey);
    }
    ~CCardWork() {
        // Every way out switches auto scan back on; on an error path its own failure adds nothing.
        if (m_scan_off)
            rdx_reader_set_auto_scan(m_handle, 1, 0);
    }
    CCardWork(const CCardWork&) = delete;
    CCardWork& operator=(const CCardWork&) = delete;

    // The normal way out, where a failure to resume scanning is reported.
    void Finish() {
        m_scan_off = false;
        rdx::RDXCheck(rdx_reader_set_auto_scan(m_handle, 1, 0));
    }

    void LoadKey(const rdx::CMifareClassicKey& key) {
        rdx::RDXCheck(rdx_reader_load_mf_ckey(m_handle, key.data()));
        m_default_key = key == rdx::CMifareClassicKey::kDefault;
    }
    bool Authenticate(unsigned sector) {
        int32_t ok = 0;
        rdx::RDXCheck(rdx_reader_auth_mf_card(m_handle, MfSectorFirstBlock(sector), 0, &ok));
        return ok != 0;
    }
    // Opens the sector with the key that opened the previous one, else with the other key; posts the
    // authentication error when neither opens it.
    bool OpenSector(unsigned sector) {
        if (Authenticate(sector))
            return true;
        LoadKey(m_default_key ? kMfDsKey : rdx::CMifareClassicKey::kDefault);
        if (Authenticate(sector))
            return true;
        PostAuthError(sector);
        return false;
    }
    void PostAuthError(unsigned sector) {
        m_owner.SetStatusText(Glib::ustring::sprintf(_("Authentication error for sector %u of key"), sector));
    }
    bool OpenedWithDefault() const { return m_default_key; }

    void Read(unsigned block, unsigned char* out, unsigned count) {
        rdx::RDXCheck(rdx_reader_read_mf_classic(m_handle, block, out, count, 0));
    }
    void Write(unsigned block, const unsigned char* data, unsigned count) {
        rdx::RDXCheck(rdx_reader_write_mf_classic(m_handle, block, data, count, 0));
    }
    // Puts key as key A into the sector's trailer, keeping the access bits and key B as read. Access bits
    // that do not match their complements (damaged, or masked by the reader) are never written back: the
    // card would lock the sector for good.
    void SetTrailerKey(unsigned sector, const rdx::CMifareClassicKey& key) {
        unsigned char trailer[kBlockSize];
        const unsigned block = Trailer(sector);
        Read(block, trailer, 1);
        if (!AccessBitsValid(trailer))
            throw std::runtime_error(Glib::ustring::sprintf(
                _("The access bits of sector %u are not valid; its trailer was left as it is"), sector));
        key.CopyTo(trailer);
        Write(block, trailer, 1);
    }
    static unsigned Trailer(unsigned sector) {
        return MfSectorFirstBlock(sector) + MfSectorBlockCount(sector) - 1;
    }

    // Block 1: group identifier, sequence number, zeros.
    void WriteIdBlock(uint32_t group, unsigned sequence) {
        unsigned char block[kBlockSize] = {};
        std::memcpy(block, &group, kGroupSize);
        block[kSequenceOffset] = static_cast<unsigned char>(sequence);
        Write(kIdBlock, block, 1);
    }

    // "N. label - P%", posted when the percentage changes.
    void PostPercent(unsigned next_block) {
        const unsigned percent = std::min(next_block * kPercent / blocks, kPercent);
        if (percent == m_percent)
            return;
        m_percent = percent;
        m_owner.SetCardStatus(Glib::ustring::sprintf(_("%u. %s - %u%%"), number, label, percent));
    }
    void PostPercentNow(unsigned percent) {
        m_percent = percent;
        m_owner.SetCardStatus(Glib::ustring::sprintf(_("%u. %s - %u%%"), number, label, percent));
    }
    // "N. label - keys F - L".
    void PostKeys(unsigned first, unsigned last) {
        m_owner.SetCardStatus(Glib::ustring::sprintf(_("%u. %s - keys %u - %u"), number, label, first, last));
    }

private:
    CMifareThread& m_owner;
    rdx_handle m_handle;
    bool m_scan_off = false;
    bool m_default_key = false;
    unsigned m_percent = 0;

public:
    const CCardUID uid;
    const unsigned number;
    const unsigned memory_size;
    const unsigned sectors;
    const unsigned blocks;
    Glib::ustring label;
};

uint32_t CMifareThread::GroupForCard(const CCardUID& uid, unsigned finished_cards, uint32_t set_group) {
    return finished_cards == 0 ? uid_group(uid) : set_group;
}

void CMifareThread::RetakeCard() {
    m_card_handled = false;
    UpdateThread();
}

bool CMifareThread::TakeNewCard(rdx_card_info& info, bool nothing_left) {
    if (!m_reader || m_card_handled || m_state != CONNECTION_CONNECTED)
        return false;
    m_card_handled = true;
    info = rdx_card_info{};
    rdx::RDXCheck(rdx_reader_get_card_info(m_reader, &info));
    m_last_card = CCardUID(info.uid);
    if (info.uid.length == 0 || !rdx::IsMfClassicMode(info.type, info.sl))
        return false;
    // A card without a sector carries nothing (and would divide the progress by zero).
    if (MfSectorCount(info.memory_size) == 0)
        return false;
    // A finished card only selects its row, also once the whole set is done.
    const int finished = FindFinishedCard(CCardUID(info.uid));
    if (finished >= 0) {
        SelectFinishedCard(finished);
        return false;
    }
    return !nothing_left;
}

void CMifareThread::DoPrepare() {
    rdx_card_info info;
    if (!TakeNewCard(info, false))
        return;
    const SetState set = TakeSetState();
    const unsigned finished = set.finished;
    CCardWork card(*this, info, finished + 1, _("Preparing the card..."));
    const uint32_t group = GroupForCard(card.uid, finished, set.group);
    card.PostPercentNow(0);
    for (unsigned sector = 0; sector < card.sectors; ++sector) {
        if (!card.OpenSector(sector))
            return;
        if (sector == 0) {
            card.WriteIdBlock(group, finished);
            card.PostPercent(kIdBlock + 1);
            card.Write(kFirstDataBlock, kPreparedStream, 1);
            card.PostPercent(kFirstDataBlock + 1);
        } else if (MfSectorFirstBlock(sector) == kPreparedSecondBlock) {
            card.Write(kPreparedSecondBlock, kPreparedStream + kBlockSize, 1);
            card.PostPercent(kPreparedSecondBlock + 1);
        }
        if (card.OpenedWithDefault())
            card.SetTrailerKey(sector, kMfDsKey);
        card.PostPercent(CCardWork::Trailer(sector) + 1);
    }
    card.PostPercent(card.blocks);
    card.Finish();
    if (!FinishCard(set.set_id, card.uid, false, [&] { m_group = group; }))
        RetakeCard();
}

void CMifareThread::DoMfFromDb() {
    // The card is written from a copy of the set's stream, so that a new key list handed over meanwhile
    // never changes bytes under the write.
    std::array<unsigned char, kDataSize> stream;
    unsigned length = 0, key_count = 0, offset = 0;
    SetState set;
    {
        std::lock_guard lock(m_mutex);
        stream = m_data;
        length = m_data_len;
        key_count = m_key_count;
        offset = m_data_offset;
        set = {m_set_id, static_cast<unsigned>(m_fin_cards.size()), m_group};
    }
    rdx_card_info info;
    if (!TakeNewCard(info, offset >= length))
        return;
    const unsigned finished = set.finished;
    CCardWork card(*this, info, finished + 1, _("Recording card..."));
    const uint32_t group = GroupForCard(card.uid, finished, set.group);
    constexpr unsigned kRecord = m6::kQ4RecordSize;
    constexpr unsigned kFirstRecord = m6::kQ4FirstRecord;
    // The key whose record begins or continues on this card, and the last one begun so far.
    const unsigned first_key = offset >= kFirstRecord ? std::min(offset / kRecord - 1, key_count) : 0;
    const auto last_key = [&] { return std::min((offset - kFirstRecord) / kRecord, key_count); };
    unsigned remaining = length - offset;
    card.PostKeys(first_key, first_key);
    for (unsigned sector = 0; sector < card.sectors; ++sector) {
        if (!card.OpenSector(sector))
            return;
        const unsigned data_blocks = sector == 0 ? 1 : MfSectorBlockCount(sector) - 1;
        const unsigned first_block = sector == 0 ? kFirstDataBlock : MfSectorFirstBlock(sector);
        if (sector == 0)
            card.WriteIdBlock(group, finished);
        if (remaining > 0) {
            // The stream lies in the 8 KB buffer and offsets advance in whole blocks, so whole blocks fit.
            const unsigned count = std::min(
                {(remaining + kBlockSize - 1) / kBlockSize, data_blocks, (kDataSize - offset) / kBlockSize});
            card.Write(first_block, stream.data() + offset, count);
            offset += count * kBlockSize;
            remaining -= std::min(count * kBlockSize, remaining);
            card.PostKeys(first_key, last_key());
        }
        if (card.OpenedWithDefault())
            card.SetTrailerKey(sector, kMfDsKey);
    }
    card.Finish();
    if (!FinishCard(set.set_id, card.uid, remaining == 0, [&] {
            m_data_offset = offset;
            m_group = group;
        }))
        RetakeCard();
}

void CMifareThread::DoMfToDb() {
    // The card is read into a copy of the stream read so far; the set takes it over once the card is done.
    std::array<unsigned char, kDataSize> stream;
    unsigned offset = 0, scan_pos = 0;
    bool complete = false;
    SetState set;
    {
        std::lock_guard lock(m_mutex);
        stream = m_data;
        offset = m_data_offset;
        scan_pos = m_scan_pos;
        complete = m_read_complete;
        set = {m_set_id, static_cast<unsigned>(m_fin_cards.size()), m_group};
    }
    // Once the closing record has been read, further cards are not part of the set.
    rdx_card_info info;
    if (!TakeNewCard(info, complete))
        return;
    const unsigned finished = set.finished;
    uint32_t group = set.group;
    CCardWork card(*this, info, finished, _("Reading of the card..."));
    if (!card.Authenticate(0)) {
        card.PostAuthError(0);
        return;
    }
    unsigned char block[kBlockSize];
    card.Read(kIdBlock, block, 1);
    switch (CheckIdBlock(block, finished, finished == 0, group)) {
    case CardCheck::kWrongSequence:
        SetStatusText(_("Wrong sequence of ID code."));
        return;
    case CardCheck::kWrongGroup:
        SetStatusText(_("Wrong group."));
        return;
    case CardCheck::kOk:
        break;
    }
    if (finished == 0)
        std::memcpy(&group, block, kGroupSize);
    const unsigned first_key = scan_pos <= 7 ? 0 : KeysBefore(stream.data(), scan_pos);
    card.PostKeys(first_key, first_key);
    card.Read(kFirstDataBlock, block, 1);
    bool end = AppendStream(stream.data(), offset, scan_pos, block, 1);
    card.PostKeys(first_key, KeysBefore(stream.data(), scan_pos));
    unsigned char sector_blocks[15 * kBlockSize];
    for (unsigned sector = 1; !end && sector < card.sectors && offset < kDataSize; ++sector) {
        if (!card.Authenticate(sector)) {
            card.PostAuthError(sector);
            return;
        }
        const unsigned count = std::min(MfSectorBlockCount(sector) - 1, (kDataSize - offset) / kBlockSize);
        card.Read(MfSectorFirstBlock(sector), sector_blocks, count);
        end = AppendStream(stream.data(), offset, scan_pos, sector_blocks, count);
        card.PostKeys(first_key, KeysBefore(stream.data(), scan_pos));
    }
    card.Finish();
    if (!end && offset >= kDataSize) {
        // A whole controller image has been read without its closing record: these cards are no card set.
        SetStatusText(_("The cards do not hold a complete key list."));
        return;
    }
    std::vector<m6::_db_key> keys;
    unsigned short lock_code = 0;
    if (end)
        DecodeStream(stream.data(), offset, scan_pos, keys, lock_code);
    if (!FinishCard(set.set_id, card.uid, end, [&] {
            m_data = stream;
            m_data_offset = offset;
            m_scan_pos = scan_pos;
            m_group = group;
            if (end) {
                m_read_complete = true;
                m_keys = std::move(keys);
                m_lock_code = lock_code;
            }
        }))
        RetakeCard();
}

void CMifareThread::DoClear() {
    rdx_card_info info;
    if (!TakeNewCard(info, false))
        return;
    const SetState set = TakeSetState();
    CCardWork card(*this, info, set.finished + 1, _("Clearing of the card..."));
    static constexpr unsigned char kZeros[16 * kBlockSize] = {};
    card.PostPercentNow(0);
    for (unsigned sector = 0; sector < card.sectors; ++sector) {
        // A sector that does not open with the program's key holds nothing of ours.
        if (!card.Authenticate(sector))
            continue;
        if (sector == 0)
            card.Write(kIdBlock, kZeros, 2);
        else
            card.Write(MfSectorFirstBlock(sector), kZeros, MfSectorBlockCount(sector) - 1);
        const unsigned trailer = CCardWork::Trailer(sector);
        card.PostPercent(trailer);
        card.SetTrailerKey(sector, rdx::CMifareClassicKey::kDefault);
        card.PostPercent(trailer + 1);
    }
    card.PostPercent(card.blocks);
    card.Finish();
    if (FinishCard(set.set_id, card.uid, false,
                   [this] { m_selected_card = static_cast<int>(m_fin_cards.size()); }))
        SendNotifyMsg(NMSG_SELECTED_CARD);
    else
        RetakeCard();
}
