// The adapter protocols as the worker speaks them: protocol switching, framed M6 requests with their
// acknowledgements and responses, page reads and writes, memory-size detection and ASCII line reception.
#include "adapter/CAdapterThread.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "adapter/AsciiLine.h"
#include "adapter/M6Response.h"
#include "app/CDebugLog.h"
#include "app/i18n.h"

namespace {

// Wrap-around probe: each page gets its own first byte; on a smaller memory the later writes land on page 0.
struct ProbePage {
    unsigned int address;
    unsigned char marker;
};
constexpr ProbePage kProbePages[] = {{0x0000, 0x08}, {0x4000, 0x07}, {0x2000, 0x06}, {0x1000, 0x05}};
constexpr unsigned int kProbeHighPage = 0x4000;

bool all_ff(const unsigned char* page) {
    return std::all_of(page, page + kM6PageSize, [](unsigned char b) { return b == 0xFF; });
}

} // namespace

void CAdapterThread::SetProto(ProtoKind kind) {
    if (kind == m_proto)
        return;
    if (GetConnectStatus() == CONNECTION_CONNECTED && m_port) {
        std::string tag;
        {
            auto shared = m_shared.lock();
            tag = shared->port_name;
        }
        if (m_proto == PROTO_M6) {
            m_port->SetRts(true);
            m_port->SetDtr(false);
        }
        if (kind == PROTO_ASCII) {
            m_port->SetConfig(kAsciiBaud, false);
            m_port->SetLogAsHex(false);
            if (g_Debug.IsLoggable(LOGLEVEL_INFO))
                g_Debug.LogMsg(LOGLEVEL_INFO, tag.c_str(), "ASCII PROTO");
        } else if (kind == PROTO_M6) {
            m_port->SetConfig(kAdapterBaud, true);
            m_port->SetDtr(true);
            m_port->SetRts(false);
            m_port->SetLogAsHex(true);
            if (g_Debug.IsLoggable(LOGLEVEL_INFO))
                g_Debug.LogMsg(LOGLEVEL_INFO, tag.c_str(), "M6 PROTO");
        }
    }
    m_proto = kind;
}

void CAdapterThread::SendPort(const void* data, int len, unsigned int timeout_ms) {
    CRdPort& port = Port();
    const bool sent = port.Send(data, len > 0 ? static_cast<size_t>(len) : 0);
    m_timestamp = Clock::now();
    if (!sent)
        UpdateWriteInterest();
    while (!port.IsSendQueueEmpty()) {
        if (!m_running)
            throw CMyException(MY_ERR_STOPPING);
        const int left = static_cast<int>(timeout_ms) - ElapsedMs();
        if (left <= 0)
            throw CMyException(MY_ERR_TIMEOUT);
        WaitEvents(left);
    }
}

void CAdapterThread::PutCom(unsigned char c) {
    m_last_com_byte = c;
    m_answer = false;
    M6_BuildFrame(c, nullptr, 0, m_frame);
    SendPort(m_frame.data(), static_cast<int>(m_frame.size()), m_timing.response_ms);
}

bool CAdapterThread::M6_Send(unsigned char cmd, const void* data, size_t len) {
    CRdPort& port = Port();
    CFastBuffer& in = port.GetInBuffer();
    in.clear();
    M6_BuildFrame(cmd, data, len, m_frame);
    SendPort(m_frame.data(), static_cast<int>(m_frame.size()), m_timing.response_ms);
    while (m_running) {
        port.Receive();
        if (!in.empty()) {
            const ptrdiff_t ack = in.find(kM6Ack);
            if (ack >= 0) {
                in.consume(static_cast<size_t>(ack) + 1);
                return true;
            }
            in.clear();
        }
        const int left = static_cast<int>(m_timing.response_ms) - ElapsedMs();
        if (left <= 0) {
            m_last_error = MY_ERR_TIMEOUT;
            return false;
        }
        WaitEvents(left);
    }
    throw CMyException(MY_ERR_STOPPING);
}

unsigned char CAdapterThread::WaitComApp(unsigned int timeout_ms, Cmd cmd, unsigned char* out32) {
    const auto start = Clock::now();
    long shown_seconds = -1;
    while (m_running) {
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
        if (elapsed >= static_cast<long>(timeout_ms))
            return kM6CodeError;
        const long left = static_cast<long>(timeout_ms) - elapsed;
        const long seconds = (left + 999) / 1000;
        if (seconds != shown_seconds) {
            shown_seconds = seconds;
            SetCountdown(seconds);
        }
        if (!IsCmdCurrent(cmd))
            return kM6CodeCancelled;
        CRdPort& port = Port();
        port.Receive();
        CFastBuffer& in = port.GetInBuffer();
        const Cmd current = m_cmd.load();
        const M6Response r =
            M6_DecodeResponse(in.data(), in.size(), current == CMD_Q4T_TO_DB || current == CMD_Q4T_TO_FILE);
        if (r.kind == M6Response::Kind::Complete) {
            if (r.code == kM6CodePage && out32)
                std::memcpy(out32, r.page.data(), kM6PageSize);
            if (r.code == kM6CodeKeyId) {
                std::memcpy(m_key_id, r.key_id.data(), sizeof m_key_id);
                m_key_id_valid = r.key_valid;
            }
            if (!r.info.empty())
                SetInfoStatus(r.info);
            return r.code;
        }
        if (r.kind == M6Response::Kind::Discard)
            in.clear();
        WaitEvents(static_cast<int>(std::min<long>(left, m_timing.countdown_poll_ms)));
    }
    return kM6CodeError;
}

bool CAdapterThread::InitAdapter() {
    SetStatusText(_("Initialization of adapter"), false);
    if (M6_Send(kM6Wake) && M6_Send(kM6SelectDallas))
        return true;
    SetStatusText(_("11 No connection!"), true);
    return false;
}

bool CAdapterThread::M6_WakeAndSelect() {
    CRdPort& port = Port();
    port.Receive();
    port.GetInBuffer().clear();
    return M6_Send(kM6Wake) && M6_Send(kM6SelectDallas);
}

// Waits for a key on the reader before a page access through it: 0x20 when one is there.
unsigned char CAdapterThread::M6_WaitKey(Cmd cmd) {
    if (!M6_Send(kM6StartKey))
        return kM6CodeError;
    return WaitComApp(m_timing.response_ms, cmd);
}

unsigned char CAdapterThread::M6_RequestPage(Cmd cmd, unsigned char opcode, unsigned int address,
                                             unsigned char* out32) {
    const unsigned char request[2] = {static_cast<unsigned char>(address & 0xFF),
                                      static_cast<unsigned char>((address >> 8) & 0xFF)};
    if (!M6_Send(opcode, request, sizeof request))
        return kM6CodeError;
    return WaitComApp(m_timing.response_ms, cmd, out32);
}

// Through a key a page is trusted only when a second read agrees; an erased page (all 0xFF) is what a key
// that is being pulled away also reads like, so it is trusted only when every one of the reads agrees.
CAdapterThread::PageCheck CAdapterThread::M6_VerifyKeyPage(Cmd cmd, unsigned char opcode,
                                                           unsigned int address, unsigned char* held) {
    unsigned char again[kM6PageSize];
    int agreeing = 0;
    for (int read = 1; read <= kKeyVerifyReads; ++read) {
        const unsigned char code = M6_RequestPage(cmd, opcode, address, again);
        if (code != kM6CodePage) {
            m_last_page_reply = code;
            if (code == kM6CodeNotFound || code == kM6CodeCancelled)
                return PageCheck::Failed;
            continue;
        }
        if (std::memcmp(again, held, kM6PageSize) != 0) {
            std::memcpy(held, again, kM6PageSize);
            continue;
        }
        if (!all_ff(held) || ++agreeing == kKeyVerifyReads)
            return PageCheck::Accepted;
    }
    return PageCheck::Retry;
}

bool CAdapterThread::M6_ReadPage(Cmd cmd, bool via_key, unsigned int address, unsigned char* out32) {
    m_last_page_reply = 0;
    const unsigned char opcode = via_key ? kM6KeyReadPage : kM6ReadPage;
    unsigned char held[kM6PageSize];
    for (int attempt = 0; attempt < kPageAttempts && m_running && IsCmdCurrent(cmd); ++attempt) {
        if (!M6_WakeAndSelect())
            continue;
        if (via_key) {
            const unsigned char key = M6_WaitKey(cmd);
            if (key == kM6CodeCancelled)
                return false;
            if (key != kM6CodeKeyId)
                continue;
        }
        const unsigned char code = M6_RequestPage(cmd, opcode, address, held);
        if (code != kM6CodePage) {
            m_last_page_reply = code;
            if (code == kM6CodeNotFound || code == kM6CodeCancelled)
                return false;
            continue;
        }
        if (via_key) {
            const PageCheck check = M6_VerifyKeyPage(cmd, opcode, address, held);
            if (check == PageCheck::Failed)
                return false;
            if (check == PageCheck::Retry)
                continue;
        }
        std::memcpy(out32, held, kM6PageSize);
        return true;
    }
    return false;
}

bool CAdapterThread::M6_WritePage(Cmd cmd, bool via_key, unsigned int address, const void* data32) {
    m_last_page_reply = 0;
    unsigned char payload[2 + kM6PageSize];
    payload[0] = static_cast<unsigned char>(address & 0xFF);
    payload[1] = static_cast<unsigned char>((address >> 8) & 0xFF);
    std::memcpy(payload + 2, data32, kM6PageSize);
    for (int attempt = 0; attempt < kPageAttempts && m_running && IsCmdCurrent(cmd); ++attempt) {
        if (!M6_WakeAndSelect())
            continue;
        if (via_key) {
            const unsigned char key = M6_WaitKey(cmd);
            if (key == kM6CodeCancelled)
                return false;
            if (key != kM6CodeKeyId)
                continue;
        }
        if (!M6_Send(via_key ? kM6KeyWritePage : kM6WritePage, payload, sizeof payload))
            continue;
        const unsigned char code = WaitComApp(m_timing.response_ms, cmd);
        if (code == kM6CodeDone)
            return true;
        m_last_page_reply = code;
        if (code == kM6CodeCancelled)
            return false;
    }
    return false;
}

bool CAdapterThread::DetectMemType(Cmd cmd, m6::M6MemType& type, bool probe, bool via_key,
                                   unsigned char* page0, bool page0_given) {
    type = m6::MEM_NONE;
    if (!page0_given) {
        if (!M6_ReadPage(cmd, via_key, 0, page0)) {
            SetStatusText(m_last_page_reply == kM6CodeNotFound ? _("The controller has not been found")
                                                               : _("11 No connection!"),
                          false);
            return false;
        }
        if (via_key) {
            type = m6::MEM_8K; // the DS1996L
            return true;
        }
        type = m6::MemCodeToMemType(page0[m6::kOffMemCode]);
        if (type != m6::MEM_NONE)
            return true;
    }
    if (!probe) {
        type = m6::MEM_8K;
        return true;
    }
    return ProbeMemSize(cmd, type, via_key, page0);
}

// The memory repeats itself beyond its size: pages written at 0x1000, 0x2000 and 0x4000 land on page 0 of a
// memory smaller than their address, so the marker found on page 0 tells the size.
bool CAdapterThread::ProbeMemSize(Cmd cmd, m6::M6MemType& type, bool via_key, unsigned char* page0) {
    unsigned char page[kM6PageSize];
    for (const ProbePage& probe : kProbePages) {
        std::memset(page, 0xFF, sizeof page);
        page[0] = probe.marker;
        if (!M6_WritePage(cmd, via_key, probe.address, page))
            return false;
    }
    type = m6::MEM_8K;
    if (!M6_ReadPage(cmd, via_key, 0, page0))
        return false;
    switch (page0[0]) {
    case 0x05:
        type = m6::MEM_4K;
        break;
    case 0x06:
        type = m6::MEM_8K;
        break;
    case 0x07:
        type = m6::MEM_16K;
        break;
    case 0x08:
        if (!M6_ReadPage(cmd, via_key, kProbeHighPage, page))
            return false;
        type = page[0] == 0x07 ? m6::MEM_32K : m6::MEM_8K;
        break;
    default:
        break;
    }
    return true;
}

bool CAdapterThread::Ascii_GetLine(std::string* line, unsigned int timeout_ms, bool skip_info) {
    std::string text;
    for (;;) {
        if (!m_running)
            throw CMyException(MY_ERR_STOPPING);
        CRdPort& port = Port();
        port.Receive();
        CFastBuffer& in = port.GetInBuffer();
        size_t used;
        while ((used = Ascii_TakeLine(in.data(), in.size(), text)) > 0) {
            in.consume(used);
            if (skip_info && Ascii_IsInfoLine(text))
                continue;
            if (line)
                *line = std::move(text);
            return true;
        }
        const int left = static_cast<int>(timeout_ms) - ElapsedMs();
        if (left <= 0) {
            m_last_error = MY_ERR_TIMEOUT;
            return false;
        }
        WaitEvents(left);
    }
}
