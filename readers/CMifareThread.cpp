// The Mifare worker's life: thread and wake-up event, connection to its reader, the reader's messages and
// the notifications handed to the main thread.
#include "readers/CMifareThread.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "app/Events.h"
#include "app/MyException.h"
#include "app/i18n.h"
#include "keys/KeyNumber.h"

CMifareThread::CMifareThread() = default;

CMifareThread::~CMifareThread() {
    Stop();
}

void CMifareThread::SetOnNotify(std::function<void()> on_notify) {
    m_notifier.set_callback(std::move(on_notify));
}

void CMifareThread::set_port(rdx_port_type port_type, const Glib::ustring& port_name) {
    int event = -1;
    {
        std::lock_guard lock(m_mutex);
        m_port_type = port_type;
        m_port_name = port_name;
        m_reconnect = true;
        event = m_event.get();
    }
    if (event >= 0)
        set_event(event);
}

void CMifareThread::reconnect() {
    wake(&CMifareThread::m_reconnect);
}

void CMifareThread::ensure_connected() {
    wake(&CMifareThread::m_ensure_connected);
}

void CMifareThread::UpdateThread() {
    wake(nullptr);
}

void CMifareThread::wake(bool CMifareThread::*request) {
    int event = -1;
    {
        std::lock_guard lock(m_mutex);
        if (request != nullptr)
            this->*request = true;
        event = m_event.get();
    }
    if (event >= 0)
        set_event(event);
}

void CMifareThread::StartPrepare() {
    {
        std::lock_guard lock(m_mutex);
        m_operation = kOpPrepare;
        BeginSetLocked();
    }
    Start();
    UpdateThread(); // a card already lying on the reader is taken at once
}

void CMifareThread::StartWriteDb(const std::vector<m6::_db_key>& keys, unsigned short lock_code) {
    {
        std::lock_guard lock(m_mutex);
        m_operation = kOpWrite;
        BeginSetLocked();
        // Bytes the builder leaves alone read as erased memory.
        m_data.fill(0xFF);
        m_data_len =
            static_cast<unsigned>(m6::PrepareQ4(keys, lock_code, m_data.data(), kDataSize, m6::MEM_8K));
        m_key_count =
            std::min<unsigned>(static_cast<unsigned>(keys.size()), m6::MemTypeToKeyCount(m6::MEM_8K));
    }
    Start();
    UpdateThread();
}

void CMifareThread::StartReadDb() {
    {
        std::lock_guard lock(m_mutex);
        m_operation = kOpRead;
        BeginSetLocked();
    }
    Start();
    UpdateThread();
}

void CMifareThread::StartClear() {
    {
        std::lock_guard lock(m_mutex);
        m_operation = kOpClear;
        BeginSetLocked();
    }
    Start();
    UpdateThread();
}

void CMifareThread::BeginSetLocked() {
    ++m_set_id;
    m_fin_cards.clear();
    m_selected_card = -1;
    m_group = 0;
    m_data_offset = 0;
    m_scan_pos = 0;
    m_read_complete = false;
}

void CMifareThread::Start() {
    if (m_thread.joinable())
        return;
    std::lock_guard lock(m_mutex);
    if (!m_event) {
        const int event = create_event(false);
        if (event < 0)
            throw CMyException(MY_ERR_FAILURE);
        m_event.reset(event);
        m_pollfd = pollfd{event, POLLIN, 0};
    }
    m_running = true;
    // A restarted thread opens its reader again (the previous run closed it on the way out).
    m_reconnect = true;
    m_thread = std::thread(&CMifareThread::Execute, this);
}

void CMifareThread::Stop() {
    int event = -1;
    {
        std::lock_guard lock(m_mutex);
        m_running = false;
        event = m_event.get();
    }
    if (event >= 0)
        set_event(event);
    if (m_thread.joinable())
        m_thread.join();
}

unsigned CMifareThread::GetNMsgs(unsigned& msgs) {
    msgs = m_notifier.take();
    return msgs;
}

Glib::ustring CMifareThread::GetStatusText() const {
    std::lock_guard lock(m_mutex);
    return m_status_text;
}

int CMifareThread::GetSelectedCardIndex() const {
    std::lock_guard lock(m_mutex);
    return m_selected_card;
}

void CMifareThread::GetFinCards(std::vector<CCardUID>& cards) const {
    std::lock_guard lock(m_mutex);
    cards = m_fin_cards;
}

ConnectionStatus CMifareThread::GetConnectionState() const {
    std::lock_guard lock(m_mutex);
    return m_state;
}

void CMifareThread::GetPort(rdx_port_type& port_type, Glib::ustring& port_name) const {
    std::lock_guard lock(m_mutex);
    port_type = m_port_type;
    port_name = m_port_name;
}

void CMifareThread::GetDbData(std::vector<m6::_db_key>& keys, unsigned short& lock_code) const {
    std::lock_guard lock(m_mutex);
    keys = m_keys;
    lock_code = m_lock_code;
}

void CMifareThread::TakeCardRows(unsigned& first_row, std::vector<Glib::ustring>& rows) {
    std::lock_guard lock(m_mutex);
    first_row = m_first_row;
    rows.swap(m_card_rows);
    m_card_rows.clear();
    m_first_row += static_cast<unsigned>(rows.size());
}

bool CMifareThread::IsRunning() const {
    std::lock_guard lock(m_mutex);
    return m_running;
}

void CMifareThread::Execute() {
    while (IsRunning()) {
        m_timeout = -1;
        try {
            bool reconnect_requested = false;
            bool connection_wanted = false;
            bool messages_pending = false;
            {
                std::lock_guard lock(m_mutex);
                reconnect_requested = m_reconnect;
                connection_wanted = m_ensure_connected;
                m_ensure_connected = false;
                messages_pending = m_rdx_msgs;
                m_rdx_msgs = false;
            }
            // A reconnect of a connected reader would end its connection for nothing, and start the card
            // that lies on it over (with its status).
            if (reconnect_requested || (connection_wanted && !reader_connected()))
                do_reconnect();
            if (messages_pending && m_reader)
                process_rdx_notifications();
            DoCmd();
            if (m_connection_lost && m_reader)
                m_timeout = kReconnectDelayMs;
            const int ready = poll(&m_pollfd, 1, m_timeout);
            if (ready > 0 && (m_pollfd.revents & POLLIN))
                reset_event(m_event.get());
            else if (ready == 0 && m_connection_lost && m_reader)
                BeginConnect();
        } catch (const std::exception& e) {
            // The card whose work failed counts as presented anew the next time the reader reports it.
            m_last_card = CCardUID();
            HandleException(e);
        }
    }
    on_exit_thread();
}

void CMifareThread::on_exit_thread() {
    // The thread is leaving: a failing close changes nothing for anybody.
    if (void* handle = m_reader.Detach())
        rdx_close_handle(handle);
    m_rdx.Finalize();
}

void CMifareThread::DoCmd() {
    int operation = kOpNone;
    {
        std::lock_guard lock(m_mutex);
        operation = m_operation;
    }
    switch (operation) {
    case kOpPrepare:
        DoPrepare();
        break;
    case kOpWrite:
        DoMfFromDb();
        break;
    case kOpRead:
        DoMfToDb();
        break;
    case kOpClear:
        DoClear();
        break;
    default:
        break;
    }
}

void CMifareThread::do_reconnect() {
    rdx_port_type port_type = RDX_PORT_NONE;
    Glib::ustring port_name;
    {
        std::lock_guard lock(m_mutex);
        m_reconnect = false;
        port_type = m_port_type;
        port_name = m_port_name;
    }
    m_reader.Close();
    m_connection_lost = false;
    m_rdx.Init();
    if (port_type != RDX_PORT_NONE && !port_name.empty()) {
        rdx_handle handle = nullptr;
        rdx::RDXCheck(rdx_get_reader(port_type, port_name.c_str(), &handle));
        m_reader.Attach(handle);
        rdx::RDXCheck(rdx_reader_enable_message_queue(handle, 1));
        rdx::RDXCheck(rdx_reader_set_message_callback(handle, &CMifareThread::on_rdx_reader_message, this));
        rdx::RDXCheck(rdx_reader_set_auto_scan(handle, 1, 0));
        BeginConnect();
    }
    update_connection_status();
    m_card_handled = false;
}

bool CMifareThread::reader_connected() const {
    int32_t status = RDX_DISCONNECTED;
    if (m_reader)
        rdx::RDXCheck(rdx_reader_get_connection_status(m_reader, &status));
    return status == RDX_CONNECTED;
}

void CMifareThread::BeginConnect() {
    rdx_handle command = nullptr;
    rdx::RDXCheck(rdx_reader_begin_connect(m_reader, 0, &command));
    rdx::CAsyncCommand(command).Close(); // the connection goes on without it
}

void CMifareThread::SetConnectionState(ConnectionStatus state, const Glib::ustring& text) {
    {
        std::lock_guard lock(m_mutex);
        m_state = state;
    }
    SetStatusText(text);
}

void CMifareThread::update_connection_status() {
    int32_t status = RDX_DISCONNECTED;
    if (m_reader)
        rdx::RDXCheck(rdx_reader_get_connection_status(m_reader, &status));
    if (status == RDX_CONNECTED) {
        if (m_state == CONNECTION_CONNECTED)
            return;
        rdx_reader_info info{};
        rdx::RDXCheck(rdx_reader_get_info(m_reader, &info));
        Glib::ustring text = _("The reader is connected");
        if (info.model != RDX_MODEL_NONE) {
            text += ": ";
            text += rdx::ReaderModelName(info.model);
            if (info.serial_number != -1)
                text += Glib::ustring::sprintf(" s/n: %d", info.serial_number);
            if (info.firmware_version != 0)
                text += Glib::ustring::sprintf(" fw: %s", version_to_str(info.firmware_version));
        }
        m_connection_lost = false;
        SetConnectionState(CONNECTION_CONNECTED, text);
    } else if (status == RDX_CONNECTING) {
        if (m_state != CONNECTION_CONNECTING)
            SetConnectionState(CONNECTION_CONNECTING, _("Connecting to the reader..."));
    } else if (m_state != CONNECTION_DISCONNECTED) {
        // A reader that was connected and went away does not always come back by itself.
        if (m_state == CONNECTION_CONNECTED && m_reader)
            m_connection_lost = true;
        SetConnectionState(CONNECTION_DISCONNECTED, _("The reader is disconnected"));
    }
}

void CMifareThread::process_rdx_notifications() {
    for (;;) {
        uint32_t message = 0;
        const void* data = nullptr;
        int32_t found = 0;
        rdx::RDXCheck(rdx_reader_get_message(m_reader, &message, &data, &found));
        if (!found)
            break;
        if (message == RDX_MSG_READER_CONNECTION)
            update_connection_status();
        else if (message == RDX_MSG_READER_CARD)
            on_card_message(static_cast<const rdx_card_info*>(data));
    }
}

void CMifareThread::on_card_message(const rdx_card_info* info) {
    const CCardUID reported = info ? CCardUID(info->uid) : CCardUID();
    // The queue may still report a card that the worker already took when it connected, or that it took
    // in answer to an earlier message; taking it again would work on it twice, and if another card lies
    // there by now, the library would never report that one.
    if (!reported.empty() && reported == m_last_card)
        return;
    m_last_card = reported;
    m_card_handled = false;
}

void CMifareThread::on_rdx_reader_message(uint32_t, const void*, void* ctx) {
    // A library thread: only note the message and wake the worker, which drains the queue itself.
    auto* self = static_cast<CMifareThread*>(ctx);
    int event = -1;
    {
        std::lock_guard lock(self->m_mutex);
        self->m_rdx_msgs = true;
        event = self->m_event.get();
    }
    if (event >= 0)
        set_event(event);
}

void CMifareThread::HandleException(const std::exception& e) {
    SetStatusText(e.what());
}

void CMifareThread::SendNotifyMsg(unsigned msgs) {
    m_notifier.post(msgs);
}

void CMifareThread::SetStatusText(const Glib::ustring& text) {
    {
        std::lock_guard lock(m_mutex);
        m_status_text = text;
    }
    SendNotifyMsg(NMSG_STATUS_TEXT);
}

void CMifareThread::SetCardStatus(const Glib::ustring& text) {
    {
        std::lock_guard lock(m_mutex);
        const unsigned row = static_cast<unsigned>(m_fin_cards.size());
        if (row < m_first_row) {
            m_first_row = row;
            m_card_rows.clear();
        }
        const unsigned index = row - m_first_row;
        if (m_card_rows.size() <= index)
            m_card_rows.resize(index + 1);
        m_card_rows[index] = text;
    }
    SendNotifyMsg(NMSG_CARD_ROWS);
}

void CMifareThread::SelectFinishedCard(int index) {
    {
        std::lock_guard lock(m_mutex);
        m_selected_card = index;
    }
    SendNotifyMsg(NMSG_SELECTED_CARD);
}

int CMifareThread::FindFinishedCard(const CCardUID& uid) const {
    std::lock_guard lock(m_mutex);
    const auto it = std::find(m_fin_cards.begin(), m_fin_cards.end(), uid);
    return it == m_fin_cards.end() ? -1 : static_cast<int>(it - m_fin_cards.begin());
}

CMifareThread::SetState CMifareThread::TakeSetState() const {
    std::lock_guard lock(m_mutex);
    return {m_set_id, static_cast<unsigned>(m_fin_cards.size()), m_group};
}

bool CMifareThread::FinishCard(unsigned set_id, const CCardUID& uid, bool set_complete,
                               const std::function<void()>& commit) {
    // One notification, posted once the card, its text and the set's end are all stored.
    {
        std::lock_guard lock(m_mutex);
        if (set_id != m_set_id)
            return false;
        if (commit)
            commit();
        m_fin_cards.push_back(uid);
        m_status_text =
            set_complete ? _("Ready.") : _("Ready. Swipe the following card Mifare Classic 4K/1K.");
    }
    SendNotifyMsg(NMSG_STATUS_TEXT | (set_complete ? NMSG_FINISHED : 0u));
    return true;
}
