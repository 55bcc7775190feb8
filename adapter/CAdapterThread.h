// The adapter worker: owns the connection to the programming adapter, keeps it in key-reading mode while idle
// and runs one command at a time; the window talks to it only through the guarded hand-over fields below.
#pragma once

#include <poll.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <glibmm/ustring.h>

#include "adapter/AdapterTiming.h"
#include "adapter/CRdPort.h"
#include "adapter/TemicLibrary.h"
#include "app/CFd.h"
#include "app/Guarded.h"
#include "app/MyException.h"
#include "app/WorkerNotify.h"
#include "keys/CCardUID.h"
#include "keys/KeyTypes.h"
#include "layouts/m6.h"
#include "rdx.h"

class CProgressLine;

class CAdapterThread {
public:
    // The command being run.
    enum Cmd : int32_t {
        CMD_NONE = 0,
        CMD_DS1996_PREPARE = 1,
        CMD_DS1996_FROM_DB = 2,
        CMD_DS1996_TO_DB = 3,
        CMD_DS1996_FROM_FILE = 4,
        CMD_DS1996_TO_FILE = 5,
        CMD_Q4T_CLEAR = 6,
        CMD_Q4T_FROM_DB = 7,
        CMD_Q4T_TO_DB = 8,
        CMD_Q4T_FROM_FILE = 9,
        CMD_Q4T_TO_FILE = 10,
        CMD_Q4T_TEST = 11,
        CMD_Q4T_FORMAT = 12,
        CMD_EMU_FROM_DB = 13,
        CMD_EMU_TO_DB = 14,
        CMD_EMU_DALLAS = 15,
        CMD_POWER_OFF = 16,
        CMD_EMMARINE_TO_TEMIC = 17,
        CMD_HID_TO_TEMIC = 18,
    };
    static constexpr int32_t kLastCmd = CMD_HID_TO_TEMIC;

    // Bits of the pending-notification set.
    enum NMsgFlag : uint32_t {
        NMSG_CONNECT_STATUS = 1,
        NMSG_STATUS_TEXT = 2,
        NMSG_INFO_STATUS = 4,
        NMSG_CURRENT_KEY = 8,
        NMSG_CMD_FINISH = 16,
        NMSG_ASK_USER = 32,
    };

    // The question the worker puts to the window.
    enum AskUserKind : int32_t {
        ASK_DS1996_CONTENT = 0, // parameter: byte 0 of the key
        ASK_DB_KEYS = 1,        // parameter: key capacity of the target
        ASK_FILE_SIZE = 2,      // parameter: number of bytes to be written
    };

    enum ProtoKind : int32_t {
        PROTO_M6 = 0,
        PROTO_ASCII = 1,
    };

    // State of key-reading mode.
    enum ComMode : int32_t {
        COM_IDLE = 0,
        COM_DETECT_POWER = 1,
        COM_WAKE = 2,
        COM_WAIT_WAKE = 3,
        COM_WAIT_MODE = 4,
        COM_WAIT_START = 5,
        COM_SCANNING = 6,
    };

    // The adapter's answer to the wake byte; only the lamp's brightness depends on it.
    enum PowerMode : int32_t {
        POWER_NONE = 0,
        POWER_AB = 1,
        POWER_AA = 2,
    };

    // How a command's exit action leaves the adapter.
    enum class CmdExit {
        RestartReading, // most commands: back to key-reading mode
        KeepReading,    // test and format: the reading state stays as it is
        Temic,          // back to the M6 protocol first; reading restarts only when connected
    };

    // Opens of a busy port before the connection attempt gives up.
    static constexpr int kDefaultOpenAttempts = 2;
    // Exchanges of one Temic line before it fails.
    static constexpr int kTemicAttempts = 2;
    // Attempts of one page read or write before it fails, so that a silent adapter cannot hold a command
    // forever.
    static constexpr int kPageAttempts = 5;
    // One page of the page commands (the controller's and the DS1996L's), in the type their loops count in.
    static constexpr unsigned int kPage = static_cast<unsigned int>(m6::kPageSize);
    // Agreeing reads a page read through a key needs before it is trusted.
    static constexpr int kKeyVerifyReads = 10;
    static constexpr unsigned int kAdapterBaud = 38400;
    static constexpr unsigned int kAsciiBaud = 9600;
    static constexpr bool kAdapterTwoStopBits = false; // the adapter's line has one stop bit
    static constexpr rdx_reader_model kDesktopAdapterModel = 4;

    explicit CAdapterThread(const AdapterTiming& timing = AdapterTiming());
    CAdapterThread(const CAdapterThread&) = delete;
    CAdapterThread& operator=(const CAdapterThread&) = delete;
    virtual ~CAdapterThread();

    // ---- Window side ----
    void Start();
    void Stop();
    // The callback runs on the worker thread and must only schedule work on the window's thread.
    void set_on_notify(std::function<void()> callback);
    void get_notifications(unsigned int& flags);
    void set_port_name(rdx_port_type type, const Glib::ustring& name, rdx_reader_model model);
    void get_port_name(rdx_port_type& type, Glib::ustring& name) const;
    rdx_reader_model get_port_model() const;
    void SetPortExist(bool exist);
    bool GetPortExist() const { return m_port_exist.load(); }
    void Reconnect();
    void UpdateThread();
    ConnectionStatus GetConnectStatus() const;
    MyStatus GetLastError() const { return m_last_error.load(); }
    void set_scan_key_type(ScanKeyType type);
    void set_different_kf300(bool on);
    void set_xor_mode(bool on);
    // Temic tags written through a reader of the reader library go through this interface.
    void set_temic_library(std::shared_ptr<ITemicLibrary> library);
    Glib::ustring GetStatusText() const;
    Glib::ustring GetInfoStatus() const;
    void GetHistoryStatusText(std::vector<Glib::ustring>& lines);
    void GetCurrentKey(CardType& type, CCardUID& number) const;
    void SetDbData(const std::vector<m6::_db_key>& keys, unsigned short lock_code);
    void GetDbData(std::vector<m6::_db_key>& keys, unsigned short& lock_code) const;
    void set_cmd_file_data(std::vector<unsigned char>& data);
    void get_cmd_file_data(std::vector<unsigned char>& data);
    void GetAskUserData(AskUserKind& kind, unsigned long& param) const;
    void SetAskUserFinish(bool yes);
    // The command being run (a single-word read, for toggle states) and the last finished one.
    Cmd GetCurrentCmd() const { return m_cmd.load(); }
    void GetFinishedCmd(Cmd& cmd, bool& result) const;
    // Key-reading state and power answer, for the status-bar lamp.
    ComMode GetComMode() const { return m_com_mode.load(); }
    PowerMode GetPowerMode() const { return m_power_mode.load(); }

    void StartDS1996Prepare();
    void StartDS1996FromDb();
    void StartDS1996ToDb();
    void StartDS1996FromFile();
    void StartDS1996ToFile();
    void StartQ4tClear();
    void StartQ4tFromDb();
    void StartQ4tToDb();
    void StartQ4tFromFile();
    void StartQ4tToFile();
    void StartQ4tTest();
    void StartQ4tFormat();
    void StartEmuFromDb();
    void StartEmuToDb();
    void StartEmuDallas(const unsigned char* id);
    void StartPowerOff();
    void StartWriteEmMarineToTemic(const CCardUID& number, rdx_port_type type,
                                   const Glib::ustring& port_name);
    void StartWriteHidToTemic(const CCardUID& number, rdx_port_type type, const Glib::ustring& port_name);
    void BreakCmd();

protected:
    // The worker-side steps a derived worker (scripted tests, benchmarks) runs its own commands with.

    // Dispatches the current command; tests substitute scripted commands here.
    virtual void DoCmd();
    // The common frame of every command: exit action, connection, exceptions shown as the status line.
    void RunCommand(Cmd cmd, CmdExit exit, const std::function<void()>& steps);
    // Success of a command: result true while it is still current; false when it was replaced or cancelled.
    bool FinishCmd(Cmd cmd);
    void SetStatusText(const Glib::ustring& text, bool add_to_history);
    bool AskUser(Cmd cmd, AskUserKind kind, unsigned long param);
    // The connected port; a command that lost it fails with status 9.
    CRdPort& Port();
    void SetProto(ProtoKind kind);
    unsigned char WaitComApp(unsigned int timeout_ms, Cmd cmd, unsigned char* out32 = nullptr);
    bool InitAdapter();
    bool M6_ReadPage(Cmd cmd, bool via_key, unsigned int address, unsigned char* out32);
    bool M6_WritePage(Cmd cmd, bool via_key, unsigned int address, const void* data32);
    bool DetectMemType(Cmd cmd, m6::M6MemType& type, bool probe, bool via_key, unsigned char* page0,
                       bool page0_given = false);
    // The outcome of one read of a page through a key among the reads that must agree.
    enum class PageCheck { Accepted, Retry, Failed };
    PageCheck M6_VerifyKeyPage(Cmd cmd, unsigned char opcode, unsigned int address, unsigned char* held);

private:
    // ---- Worker side: notifications and command state ----
    void SendNotifyMsg(NMsgFlag flag);
    void SetConnectStatus(ConnectionStatus status);
    void SetInfoStatus(const Glib::ustring& text);
    void SetCountdown(long seconds);
    void SetCurrentKey(CardType type, const CCardUID& number);
    void StopCmd(Cmd cmd, bool result);
    // Whether the start this run belongs to is still the current one: a command replaced and then started
    // again under the same code is a new start, and the old run must stop.
    bool IsCmdCurrent(Cmd cmd) const { return m_cmd.load() == cmd && m_cmd_serial.load() == m_run_serial; }

    // ---- Worker side: loop and connection ----
    void Execute();
    void ProcessEvents();
    bool TryConnect();
    void Disconnect();
    void HandleException(const std::exception& e);
    void OnExitThread();
    bool _TryOpenComPort(const std::string& name);
    bool _TryOpenServerPort(const std::string& name);
    void DiscardPort();
    // One poll of at most timeout_ms (-1: no limit) on the event and the port, then its events.
    void WaitEvents(int timeout_ms);
    // Lowers the next poll's timeout to ms (a negative ms counts as 0); -1, no limit, counts as the longest.
    void LowerPollTimeout(int ms);
    // Polls and processes events for timeout_ms; false when the thread is stopping.
    bool WaitFor(unsigned int timeout_ms);
    void UpdateWriteInterest();
    int ElapsedMs() const;
    void SetModeCom(ComMode mode);
    void SetPowerMode(PowerMode mode);
    // Takes a changed scan key type into key-reading mode.
    void ApplyScanKeyType();

    // ---- Worker side: protocols ----
    void SendPort(const void* data, int len, unsigned int timeout_ms);
    void PutCom(unsigned char c);
    bool M6_Send(unsigned char cmd, const void* data, size_t len);
    bool M6_Send(unsigned char cmd) { return M6_Send(cmd, nullptr, 0); }
    bool Ascii_GetLine(std::string* line, unsigned int timeout_ms, bool skip_info);
    // Steps of the page operations: drain, wake and select Dallas mode; wait for a key on the reader; one
    // page request with its response; the repeated reads that confirm a page read through a key.
    bool M6_WakeAndSelect();
    unsigned char M6_WaitKey(Cmd cmd);
    unsigned char M6_RequestPage(Cmd cmd, unsigned char opcode, unsigned int address, unsigned char* out32);
    bool ProbeMemSize(Cmd cmd, m6::M6MemType& type, bool via_key, unsigned char* page0);

    // ---- Worker side: key-reading mode ----
    void CheckRead();
    void ProcessModeCom();
    bool CheckValidKey();
    bool TakeKeyFrame(const CFastBuffer& in);
    unsigned char ScanModeCommand() const;
    void ModeCom_Step(unsigned char next_cmd, ComMode next, const char* silent_text, ComMode fallback);
    void ModeCom_DetectPower();
    void ModeCom_Scanning();

    // ---- Command operations ----
    void DoDS1996Prepare();
    void DoDS1996FromDb();
    void DoDS1996ToDb();
    void DoDS1996FromFile();
    void DoDS1996ToFile();
    void DoQ4tClear();
    void DoQ4tFromDb();
    void DoQ4tToDb();
    void DoQ4tFromFile();
    void DoQ4tToFile();
    void DoQ4tTest();
    void DoQ4tFormat();
    void DoEmuFromDb();
    void DoEmuToDb();
    void DoEmuDallas();
    void DoPowerOff();
    void DoWriteEmMarineToTemic();
    void DoWriteHidToTemic();
    bool T57_Reset();
    bool T57_WriteTemic(unsigned char block, unsigned char mode, unsigned char option,
                        const unsigned int* word, long password, bool alternative, int attempts);

    // ---- Helpers of the command operations ----
    // The start every controller command shares: its title in the history, the adapter woken, and the
    // memory type found, with page 0 left in `page0`.
    bool OpenController(Cmd cmd, const Glib::ustring& title, bool probe, unsigned char* page0,
                        m6::M6MemType& type);
    // The progress line of writing to the controller (or through the key to a DS1996L), in per cent.
    CProgressLine RecordingProgress(bool via_key = false);
    // Writes pages [first, first + count) of image at their own addresses; after_page gets the number of
    // pages written so far. False at the first page that fails.
    bool WriteImagePages(Cmd cmd, bool via_key, const unsigned char* image, unsigned int first,
                         unsigned int count, const std::function<void(unsigned int)>& after_page);
    // Reads the pages after page 0 of a Q2/Q4 image until its end record or `limit` bytes; `bytes_read`
    // and `count` say how far it got. False when a read fails.
    bool ReadQ4List(Cmd cmd, bool via_key, unsigned char* image, unsigned int limit,
                    const std::function<void(unsigned int)>& show_count, unsigned int& bytes_read,
                    unsigned int& count);
    bool ReadQ6List(Cmd cmd, unsigned char* image, m6::M6MemType type, unsigned int& bytes_read,
                    unsigned int& count);
    bool ReadQ4Pages(Cmd cmd, bool via_key, unsigned char* image, unsigned int limit,
                     const std::function<void(unsigned int)>& show_count, unsigned int& bytes_read,
                     unsigned int& count);
    bool ReadQ6Pages(Cmd cmd, unsigned char* image, m6::M6MemType type, unsigned int& bytes_read,
                     unsigned int& count);
    void PortLost(const CRdPortException& e);
    // Runs one step of a command: false when the step fails, or when the port is lost on the way (the
    // reason in the history, the link dropped), so that the command shows its own failure line. A step
    // that needs the port after it was lost fails the same way.
    bool PortStep(const std::function<bool()>& step);
    // The messages of one DS1996L command's key wait.
    struct KeyWaitTexts {
        const char* no_ack;
        const char* cancelled;
        const char* no_key;
    };
    // Waits for a DS1996L on the reader; false (its message shown) when none came.
    bool DS1996_WaitKey(Cmd cmd, const KeyWaitTexts& texts);
    // Holds the adapter in an emulation or power state until the window cancels the command.
    void WaitWhileCurrent(Cmd cmd);
    // Sends one emulation frame: the code and its data bytes.
    void Emu_Send(unsigned char code, const unsigned char* data, size_t len);
    bool EmuServeRequests(Cmd cmd, const unsigned char* image, size_t length);
    bool EmuTakePages(Cmd cmd, unsigned char* image, unsigned int& count);
    // The Temic paths: through a reader of the library, or through the adapter in its ASCII protocol.
    struct TemicTarget {
        CCardUID number;
        rdx_port_type port_type = RDX_PORT_NONE;
        std::string port_name; // with a port type: write through that reader; otherwise the adapter
        std::shared_ptr<ITemicLibrary> library;
    };
    bool TemicAdapterReady();
    void StartTemic(Cmd cmd, const CCardUID& number, rdx_port_type type, const Glib::ustring& port_name);
    TemicTarget TakeTemicTarget();
    // The target's library; a command without one fails.
    static ITemicLibrary& TemicLibrary(const TemicTarget& target);
    bool T57_Exchange(const std::string& line, int attempts, bool write);
    // The reading mode may still be talking when a Temic command starts: its scan is ended, the line
    // switched to the ASCII protocol and the exchange starts from an empty buffer once the line is quiet.
    void T57_Open();
    // Receives until nothing has arrived for the settle time (at most the response timeout), then empties
    // the receive buffer and the driver's.
    void DrainWhenQuiet();
    // One Temic block and the word written into it.
    struct TemicBlock {
        unsigned char block;
        const unsigned int* word;
    };
    // The adapter path: the blocks in order, then the reset. False when a block was not written (the last
    // error tells why) or the port was lost (the failure line shown).
    bool T57_WriteBlocks(const TemicBlock* blocks, size_t count, unsigned char mode);

    using Clock = std::chrono::steady_clock;

    // What the window and the worker share; reached only through m_shared.lock().
    struct Shared {
        ConnectionStatus connect_status = CONNECTION_DISCONNECTED;
        // Shown to the window.
        std::vector<Glib::ustring> history;
        Glib::ustring status_text;
        Glib::ustring info_status;
        CardType key_type = CT_UNKNOWN;
        CCardUID key_number;
        // The adapter's port, written by the window.
        rdx_port_type port_type = RDX_PORT_NONE;
        std::string port_name;
        rdx_reader_model model = RDX_MODEL_NONE;
        // Commands: the last finished one, the settings they run with, and what they hand over.
        Cmd finished_cmd = CMD_NONE;
        bool cmd_result = false;
        ScanKeyType scan_key_type = SCAN_KEY_DALLAS;
        bool scan_type_changed = false;
        bool different_kf300 = false;
        bool xor_mode = false;
        std::vector<m6::_db_key> db_keys;
        unsigned short lock_code = 0;
        AskUserKind ask_kind = ASK_DS1996_CONTENT;
        unsigned long ask_param = 0;
        bool ask_answered = false;
        std::vector<unsigned char> cmd_file_data;
        unsigned char emu_id[8] = {};
        TemicTarget temic;
        std::shared_ptr<ITemicLibrary> temic_library;
    };

    const AdapterTiming m_timing;

    std::thread m_thread;
    CGuarded<Shared> m_shared;
    CWorkerNotifier m_notifier;
    std::atomic<bool> m_running{false};
    int m_poll_timeout = -1;
    pollfd m_poll_fds[2] = {};
    int m_poll_count = 1;
    CFd m_event_fd; // wakes the worker's poll
    std::atomic<MyStatus> m_last_error{MY_OK};
    std::unique_ptr<CRdPort> m_port;
    Clock::time_point m_timestamp{};

    // Key-reading mode (worker only, except the two atomics read by the lamp).
    int32_t m_scan_mode = SCAN_KEY_DALLAS;
    std::atomic<ComMode> m_com_mode{COM_IDLE};
    std::atomic<PowerMode> m_power_mode{POWER_NONE};
    unsigned char m_last_com_byte = 0;
    bool m_answer = false;
    bool m_no_answer_noted = false;
    unsigned char m_key_frame[8] = {};
    unsigned char m_last_key[8] = {};
    bool m_last_key_shown = false;
    bool m_key_valid = false;

    std::atomic<bool> m_port_exist{false};
    std::atomic<bool> m_reconnect{false};

    // Commands (the current one is atomic so that the worker checks it without the lock; every change that
    // depends on its value is made with m_shared locked).
    std::atomic<Cmd> m_cmd{CMD_NONE};
    // Starts counted (changed with m_shared locked, before the current command), so that a command started
    // again under the same code is told apart from the run still going. The worker reads the command first
    // and the count second: seeing a new command it is sure to see the new count as well.
    std::atomic<uint64_t> m_cmd_serial{0};
    uint64_t m_run_serial = 0; // worker only: the start the running command frame belongs to

    // Protocol state (worker only).
    ProtoKind m_proto = PROTO_M6;
    unsigned char m_last_page_reply = 0;
    unsigned char m_key_id[8] = {};
    bool m_key_id_valid = false;
    std::vector<unsigned char> m_frame;

    void StartCmd(Cmd cmd);
    void Signal();
    void RunExitAction(Cmd cmd, CmdExit exit);
    // Ends cmd with result while it is current; false when it was replaced or cancelled.
    bool EndCmd(Cmd cmd, bool result);
};
