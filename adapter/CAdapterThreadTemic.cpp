// Writing Temic (T5557) tags with an Em-Marine or HID number: the block words come from the reader library's
// encoders and go onto the tag through a reader the library drives, or through the adapter's ASCII "t57"
// lines (desktop adapter only).
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <iterator>
#include <string>
#include <system_error>

#include "adapter/CAdapterThread.h"
#include "adapter/M6Response.h"
#include "app/i18n.h"

namespace {

constexpr unsigned int kEmMarineWords = 3;
constexpr unsigned int kHidWords = 4;
constexpr unsigned int kHidBits = 26;
constexpr unsigned int kHidFirstConfig = 0x48800800;
constexpr unsigned int kModeEmMarine = 2;
constexpr unsigned int kModeHid = 4;
constexpr size_t kEmMarineBytes = 5;

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

unsigned int byte_of(unsigned int word, int i) {
    return (word >> (8 * i)) & 0xFF;
}

// One "t57" block-write line; a password (0..0xFFFFFFFF) selects the 03/04 form.
std::string t57_write_line(unsigned char block, unsigned char mode, unsigned char option, unsigned int word,
                           long password, bool alternative) {
    char line[96];
    int n;
    if (password < 0) {
        n = std::snprintf(line, sizeof line, "t57 %.2x %.2x %.2x %.2x %.2x %.2x %.2x %.2x\r",
                          alternative ? 2 : 1, block, byte_of(word, 0), byte_of(word, 1), byte_of(word, 2),
                          byte_of(word, 3), mode, option);
    } else {
        const auto p = static_cast<unsigned int>(password);
        n = std::snprintf(
            line, sizeof line, "t57 %.2x %.2x %.2x %.2x %.2x %.2x %.2x %.2x %.2x %.2x %.2x %.2x\r",
            alternative ? 4 : 3, block, byte_of(p, 0), byte_of(p, 1), byte_of(p, 2), byte_of(p, 3),
            byte_of(word, 0), byte_of(word, 1), byte_of(word, 2), byte_of(word, 3), mode, option);
    }
    if (n < 0 || static_cast<size_t>(n) >= sizeof line)
        throw std::system_error(std::make_error_code(std::errc::value_too_large));
    return std::string(line, static_cast<size_t>(n));
}

} // namespace

// Sends the line until the adapter accepts it. A write answers false for "no tag" at once and for "no write"
// once the attempts are used up; everything unexpected throws.
bool CAdapterThread::T57_Exchange(const std::string& text, int attempts, bool write) {
    if (attempts <= 0)
        throw CMyException(MY_ERR_TIMEOUT);
    bool not_written = false;
    for (int attempt = 0; attempt < attempts; ++attempt) {
        SendPort(text.data(), static_cast<int>(text.size()), m_timing.response_ms);
        std::string reply;
        if (!Ascii_GetLine(&reply, m_timing.response_ms, true)) {
            Port().Clear();
            Port().GetInBuffer().clear();
            continue;
        }
        const std::string answer = lower(reply);
        if (answer == "ok")
            return true;
        if (!write || !contains(answer, "err"))
            throw CMyException(write ? MY_ERR_UNEXPECTED_REPLY : MY_ERR_ADAPTER_ERROR);
        if (contains(answer, "no write t5")) {
            not_written = true;
            Port().Clear();
            Port().GetInBuffer().clear();
            continue;
        }
        if (contains(answer, "no t5")) {
            m_last_error = MY_ERR_NO_TEMIC;
            return false;
        }
        throw CMyException(MY_ERR_ADAPTER_ERROR);
    }
    if (!not_written)
        throw CMyException(MY_ERR_TIMEOUT);
    m_last_error = MY_ERR_TEMIC_WRITE;
    return false;
}

void CAdapterThread::DrainWhenQuiet() {
    CRdPort& port = Port();
    CFastBuffer& in = port.GetInBuffer();
    const auto start = Clock::now();
    auto quiet_since = start;
    const auto settle = std::chrono::milliseconds(m_timing.line_settle_ms);
    const auto limit = std::chrono::milliseconds(m_timing.response_ms);
    for (;;) {
        if (!m_running)
            throw CMyException(MY_ERR_STOPPING);
        port.Receive();
        const auto now = Clock::now();
        if (!in.empty()) {
            in.clear();
            quiet_since = now;
        }
        if (now - quiet_since >= settle || now - start >= limit)
            break;
        const auto left = std::min(settle - (now - quiet_since), limit - (now - start));
        WaitEvents(static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    }
    port.Clear();
    in.clear();
}

// The wake byte ends the adapter's scan, so that a tag lying on the reader stops being reported; what the
// scan still had on its way arrives before the rate changes, and whatever the change garbles after it.
void CAdapterThread::T57_Open() {
    if (m_proto == PROTO_M6) {
        const unsigned char wake = kM6Wake;
        SendPort(&wake, 1, m_timing.response_ms);
        DrainWhenQuiet();
    }
    SetProto(PROTO_ASCII);
    DrainWhenQuiet();
}

bool CAdapterThread::T57_WriteBlocks(const TemicBlock* blocks, size_t count, unsigned char mode) {
    try {
        T57_Open();
        for (size_t i = 0; i < count; ++i)
            if (!T57_WriteTemic(blocks[i].block, mode, 0, blocks[i].word, -1, false, -1))
                return false;
        T57_Reset();
        return true;
    } catch (const CRdPortException& e) {
        PortLost(e);
        SetStatusText(_("The record has not been made, please try again"), true);
        return false;
    }
}

bool CAdapterThread::T57_WriteTemic(unsigned char block, unsigned char mode, unsigned char option,
                                    const unsigned int* word, long password, bool alternative, int attempts) {
    const std::string text = t57_write_line(block, mode, option, *word, password, alternative);
    return T57_Exchange(text, attempts < 0 ? kTemicAttempts : attempts, true);
}

bool CAdapterThread::T57_Reset() {
    return T57_Exchange("t57 00\r", kTemicAttempts, false);
}

// Only the desktop adapter writes tags; it is tried once when not connected yet.
bool CAdapterThread::TemicAdapterReady() {
    if (get_port_model() != kDesktopAdapterModel ||
        (GetConnectStatus() != CONNECTION_CONNECTED && !TryConnect())) {
        SetStatusText(_("No device found that supports recording to Temic"), true);
        return false;
    }
    return true;
}

CAdapterThread::TemicTarget CAdapterThread::TakeTemicTarget() {
    auto shared = m_shared.lock();
    TemicTarget target = shared->temic;
    target.library = shared->temic_library;
    return target;
}

ITemicLibrary& CAdapterThread::TemicLibrary(const TemicTarget& target) {
    if (!target.library)
        throw std::runtime_error(_("The reader library is not available"));
    return *target.library;
}

void CAdapterThread::DoWriteEmMarineToTemic() {
    const Cmd cmd = CMD_EMMARINE_TO_TEMIC;
    RunCommand(cmd, CmdExit::Temic, [this] {
        TemicTarget target = TakeTemicTarget();
        if (target.number.length != kEmMarineBytes)
            target.number = CCardUID(target.number.bytes, kEmMarineBytes);
        unsigned int words[kEmMarineWords] = {};
        TemicLibrary(target).EncodeEmMarine(target.number, words, kEmMarineWords);
        if (target.port_type != RDX_PORT_NONE && !target.port_name.empty()) {
            TemicLibrary(target).WriteThroughReader(target.port_type, target.port_name, kModeEmMarine,
                                                    {{0, words, kEmMarineWords}});
        } else {
            if (!TemicAdapterReady())
                return;
            const TemicBlock blocks[] = {{0, &words[0]}, {1, &words[1]}, {2, &words[2]}};
            if (!T57_WriteBlocks(blocks, std::size(blocks), kModeEmMarine))
                return;
        }
        SetStatusText(_("Recording has completed successfully"), true);
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoWriteHidToTemic() {
    const Cmd cmd = CMD_HID_TO_TEMIC;
    RunCommand(cmd, CmdExit::Temic, [this] {
        TemicTarget target = TakeTemicTarget();
        unsigned int words[kHidWords] = {};
        TemicLibrary(target).EncodeHid(target.number, words, kHidWords, kHidBits);
        const unsigned int first_config = kHidFirstConfig;
        if (target.port_type != RDX_PORT_NONE && !target.port_name.empty()) {
            TemicLibrary(target).WriteThroughReader(
                target.port_type, target.port_name, kModeHid,
                {{0, &first_config, 1}, {1, words + 1, 3}, {0, words, 1}});
        } else {
            if (!TemicAdapterReady())
                return;
            // The data blocks go on while the tag still has its first configuration, the final one last.
            // Block 3 is written too: a tag keeping an old block 3 would send a wrong number.
            const TemicBlock blocks[] = {
                {0, &first_config}, {1, words + 1}, {2, words + 2}, {3, words + 3}, {0, words}};
            if (!T57_WriteBlocks(blocks, std::size(blocks), kModeHid))
                return;
        }
        SetStatusText(_("Recording has completed successfully"), true);
        FinishCmd(cmd);
    });
}
