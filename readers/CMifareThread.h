// The Mifare worker: owns one reader of the reader library and prepares, writes, reads or clears every
// Mifare Classic card presented to it, carrying a key list over a set of cards in the program's card format.
#pragma once

#include <glibmm/ustring.h>
#include <poll.h>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/CFd.h"
#include "app/WorkerNotify.h"
#include "layouts/m6.h"
#include "keys/CCardUID.h"
#include "rdx.h"
#include "readers/RdxWrapper.h"

class CMifareThread {
public:
    // Every sector of a prepared or written card is locked with this key A. Cards written with one value
    // are readable only by a program built with the same value.
    static constexpr rdx::CMifareClassicKey kMfDsKey{0x4E27A9D3165Bull};

    // The card set's data stream: a Q4 controller image of the 8 KB memory type.
    static constexpr unsigned kDataSize = 8192;
    static constexpr unsigned kBlockSize = 16;
    // Block 1 of every card: group identifier (bytes 0-3) and sequence number (byte 4).
    static constexpr unsigned kIdBlock = 1;
    static constexpr unsigned kGroupSize = 4;
    static constexpr unsigned kSequenceOffset = 4;
    // Block 2 carries the first 16 stream bytes of the card.
    static constexpr unsigned kFirstDataBlock = 2;
    static constexpr unsigned kMaxSectors = 40; // Mifare Classic 4K
    // Trailer bytes 6-8 hold the access bits and their complements.
    static constexpr unsigned kAccessOffset = 6;
    // A reader whose device went away is asked to connect again this often (ms).
    static constexpr int kReconnectDelayMs = 2000;

    // Bits of the pending-notification set, or-ed and fetched together.
    enum NMsgFlag : uint32_t {
        NMSG_SELECTED_CARD = 0x01,
        NMSG_STATUS_TEXT = 0x02,
        NMSG_CARD_ROWS = 0x04,
        NMSG_FINISHED = 0x08,
    };
    enum Operation : int { kOpNone = 0, kOpPrepare = 1, kOpWrite = 2, kOpRead = 3, kOpClear = 4 };

    // How block 1 of a card read back fits the set read so far.
    enum class CardCheck { kOk, kWrongSequence, kWrongGroup };

    CMifareThread();
    ~CMifareThread();
    CMifareThread(const CMifareThread&) = delete;
    CMifareThread& operator=(const CMifareThread&) = delete;

    // Called on the worker thread after every notification; it must only wake the main loop.
    void SetOnNotify(std::function<void()> on_notify);

    void set_port(rdx_port_type port_type, const Glib::ustring& port_name);
    // Closes the reader and connects to it again.
    void reconnect();
    // Connects again unless the reader is connected by the time the worker comes to it. For a caller that
    // saw the reader (re)appear: by then the library may have connected it by itself, and the worker's
    // own state may still say otherwise until it reads the library's messages.
    void ensure_connected();
    void UpdateThread();

    void StartPrepare();
    void StartWriteDb(const std::vector<m6::_db_key>& keys, unsigned short lock_code);
    void StartReadDb();
    void StartClear();

    void Start();
    void Stop();

    // The notification flags since the last call; clears them.
    unsigned GetNMsgs(unsigned& msgs);
    Glib::ustring GetStatusText() const;
    int GetSelectedCardIndex() const;
    void GetFinCards(std::vector<CCardUID>& cards) const;
    ConnectionStatus GetConnectionState() const;
    // The port the worker was given (type 0 and an empty name when none).
    void GetPort(rdx_port_type& port_type, Glib::ustring& port_name) const;
    void GetDbData(std::vector<m6::_db_key>& keys, unsigned short& lock_code) const;

    // Applies the pending card rows to a string list (a Gtk::StringList): the rows from the first pending
    // one to the end are replaced by the pending rows.
    template <class TStringList>
    void get_card_status(const std::shared_ptr<TStringList>& list);
    // The same without a list: the first pending row and the rows that replace everything from it on.
    void TakeCardRows(unsigned& first_row, std::vector<Glib::ustring>& rows);

    // The card format, free of any reader, for the worker, the tests and the fuzz target.
    static unsigned MfSectorCount(unsigned memory_size);
    static unsigned MfSectorFirstBlock(unsigned sector);
    static unsigned MfSectorBlockCount(unsigned sector);
    // Stream bytes a card of memory_size bytes carries.
    static unsigned MfCardCapacity(unsigned memory_size);
    // Whether the access bits in trailer bytes 6-8 match their complements. A trailer written back with bits
    // that do not locks its sector for good.
    static bool AccessBitsValid(const unsigned char* trailer);
    static CardCheck CheckIdBlock(const unsigned char* block, unsigned finished_cards, bool first_card,
                                  uint32_t group);
    // Appends up to block_count 16-byte blocks to the stream read so far (offset bytes of kDataSize) as far
    // as they fit, and scans on for the image's end. Returns true when the end has been reached.
    static bool AppendStream(unsigned char* stream, unsigned& offset, unsigned& scan_pos,
                             const unsigned char* blocks, unsigned block_count);
    // Keys before the scan position (the Q2 or Q4 layout picked by the image's first byte).
    static unsigned KeysBefore(const unsigned char* stream, unsigned scan_pos);
    // Decodes the image read back: its lock code and the keys before scan_pos that lie within length bytes.
    static void DecodeStream(const unsigned char* stream, unsigned length, unsigned scan_pos,
                             std::vector<m6::_db_key>& keys, unsigned short& lock_code);

private:
    class CCardWork;

    void Execute();
    void DoCmd();
    void DoPrepare();
    void DoMfFromDb();
    void DoMfToDb();
    void DoClear();
    // Raises a request to the worker (none: only wakes it) and wakes it.
    void wake(bool CMifareThread::*request);
    void do_reconnect();
    bool reader_connected() const;
    void update_connection_status();
    void process_rdx_notifications();
    // A card message: the card it reports (none when taken off) is a new presentation.
    void on_card_message(const rdx_card_info* info);
    static void on_rdx_reader_message(uint32_t msg, const void* data, void* ctx);
    void HandleException(const std::exception& e);
    void SendNotifyMsg(unsigned msgs);
    void SetStatusText(const Glib::ustring& text);
    void SetCardStatus(const Glib::ustring& text);
    void on_exit_thread();

    bool IsRunning() const;
    // Under the lock: a new card set begins (a new operation): nothing of it is on finished cards yet.
    void BeginSetLocked();
    // Asks the library to connect the reader again (after the connection was lost).
    void BeginConnect();
    // The first steps of every operation: false unless a new Mifare Classic card lies on the connected
    // reader (a finished card only selects its row). nothing_left: the set is complete, take no card.
    bool TakeNewCard(rdx_card_info& info, bool nothing_left);
    // The card on the reader was done for a set that a new operation replaced meanwhile: take it again.
    void RetakeCard();
    // The group identifier written to a card: the card's own UID bytes for the first card of a set.
    static uint32_t GroupForCard(const CCardUID& uid, unsigned finished_cards, uint32_t set_group);
    void SetConnectionState(ConnectionStatus state, const Glib::ustring& text);
    void SelectFinishedCard(int index);
    // Under the lock: the card's index among the finished cards, else -1.
    int FindFinishedCard(const CCardUID& uid) const;
    // What a card's work starts from, taken together under the lock.
    struct SetState {
        unsigned set_id = 0;
        unsigned finished = 0;
        uint32_t group = 0;
    };
    SetState TakeSetState() const;
    // Appends a card done, runs commit (the set's new state) and posts the status text (with the finished
    // flag when the set is complete), all under the lock and only if the card's set is still the current
    // one: a card done for a set that a new operation replaced is not counted. Returns whether it counted.
    bool FinishCard(unsigned set_id, const CCardUID& uid, bool set_complete,
                    const std::function<void()>& commit = {});

    rdx_port_type m_port_type = RDX_PORT_NONE;
    Glib::ustring m_port_name;
    CWorkerNotifier m_notifier;
    rdx::CRDX m_rdx{true};
    rdx::CReader m_reader;
    ConnectionStatus m_state = CONNECTION_DISCONNECTED;
    int m_operation = kOpNone;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    bool m_running = false;
    bool m_reconnect = false;
    bool m_ensure_connected = false;
    bool m_rdx_msgs = false;
    bool m_card_handled = false;
    // The card the last operation step looked at (empty when there was none): a card message that reports
    // this card again, without its removal in between, is no new presentation.
    CCardUID m_last_card;
    CFd m_event;
    pollfd m_pollfd{};
    int m_timeout = -1;
    // The reader was connected and lost its connection: ask again until it is back (worker thread only).
    bool m_connection_lost = false;
    std::vector<CCardUID> m_fin_cards;
    std::vector<Glib::ustring> m_card_rows;
    unsigned m_first_row = 0;
    int m_selected_card = -1;
    Glib::ustring m_status_text;
    // Counts the card sets begun; a card's work belongs to the set current when it began.
    unsigned m_set_id = 0;
    uint32_t m_group = 0;
    std::array<unsigned char, kDataSize> m_data{};
    unsigned m_data_len = 0;
    unsigned m_key_count = 0;
    unsigned m_data_offset = 0;
    unsigned m_scan_pos = 0;
    bool m_read_complete = false;
    std::vector<m6::_db_key> m_keys;
    unsigned short m_lock_code = 0;
};

template <class TStringList>
void CMifareThread::get_card_status(const std::shared_ptr<TStringList>& list) {
    unsigned first = 0;
    std::vector<Glib::ustring> rows;
    TakeCardRows(first, rows);
    if (!list)
        return;
    // Rows never run ahead of the list; if they did, the gap is filled rather than rows misplaced.
    while (first > list->get_n_items())
        list->append(Glib::ustring());
    list->splice(first, list->get_n_items() - first, rows);
}
