// Key-reading mode of the idle adapter: the state machine that wakes the adapter, selects the scan mode and
// starts it, the decoding of what the adapter sends, and the texts and key types of the keys it reports.
#include <cstring>

#include "adapter/CAdapterThread.h"
#include "adapter/CommandText.h"
#include "adapter/M6Response.h"
#include "app/CDebugLog.h"
#include "app/i18n.h"
#include "keys/KeyNumber.h"

namespace {

constexpr int kPowerProbes = 10;
constexpr unsigned int kPowerProbeMs = 100;
constexpr int kStartSettleMs = 100; // a key still on the reader answers within this after the start
constexpr size_t kKeyFrameSize = 10;
constexpr size_t kKf300FrameSize = 6;
constexpr unsigned char kFamilyDs1990 = 0x01;
constexpr unsigned char kFamilyDs1996 = 0x0C;
constexpr unsigned char kMarkerCod433Fix = 0x2A;
constexpr unsigned char kMarkerCame = 0x2B;

} // namespace

void CAdapterThread::CheckRead() {
    if (!m_port)
        return;
    m_port->Receive();
    CFastBuffer& in = m_port->GetInBuffer();
    // Before the first wake of a new pass nothing is expected: what lies there is the tail of a command's
    // exchange (a page response would otherwise read like a key frame).
    if (m_com_mode.load() == COM_DETECT_POWER) {
        in.clear();
        return;
    }
    while (!in.empty()) {
        const unsigned char first = in.front();
        if (first == kM6Error) {
            in.clear();
            SetStatusText(_("Error 55"), false);
        } else if (first == kM6Ack || first == kM6AckAlt) {
            m_answer = true;
            SetPowerMode(first == kM6Ack ? POWER_AA : POWER_AB);
            in.consume(1);
        } else if (first == kM6Reply) {
            if (!TakeKeyFrame(in))
                return;
            m_key_valid = CheckValidKey();
            SetModeCom(COM_WAKE);
            in.clear();
        } else {
            in.clear();
            m_answer = true;
        }
    }
}

// False while the frame has not fully arrived.
bool CAdapterThread::TakeKeyFrame(const CFastBuffer& in) {
    const unsigned char* b = in.data();
    if (m_scan_mode == SCAN_KEY_KF300) {
        if (in.size() < kKf300FrameSize)
            return false;
        std::memset(m_key_frame, 0, sizeof m_key_frame);
        std::memcpy(m_key_frame, b + 1, 5);
        bool different;
        {
            auto shared = m_shared.lock();
            different = shared->different_kf300;
        }
        if (different) {
            m_key_frame[3] = static_cast<unsigned char>((b[5] << 4) | (b[4] & 0x0F));
            m_key_frame[4] = static_cast<unsigned char>((b[4] >> 4) | (b[5] & 0xF0));
        }
        return true;
    }
    if (in.size() < kKeyFrameSize)
        return false;
    for (size_t i = 0; i < sizeof m_key_frame; ++i)
        m_key_frame[i] = b[kKeyFrameSize - 1 - i]; // B9 .. B2
    return true;
}

bool CAdapterThread::CheckValidKey() {
    const unsigned char* k = m_key_frame;
    const CCardUID number(k + 1, 6);
    if (m_scan_mode == SCAN_KEY_KF300) {
        const unsigned int code = k[1] | (k[2] << 8);
        Glib::ustring text;
        CardType type = CT_UNKNOWN;
        if (k[0] == kMarkerCod433Fix || k[0] == kMarkerCame) {
            type = k[0] == kMarkerCod433Fix ? CT_COD433_FIX : CT_CAME;
            text =
                format_text(k[0] == kMarkerCod433Fix ? "Cod433 Fix[%.2X] %.3u,%.5u" : "CAME[%.2X] %.3u,%.5u",
                            unsigned(k[4]), unsigned(k[3]), code);
        } else {
            text = format_text("KF[%u] ID code = %.2X %.2X %.2X %.2X", unsigned(k[0]), unsigned(k[4]),
                               unsigned(k[3]), unsigned(k[2]), unsigned(k[1]));
        }
        // Radio fobs are reported on every frame: pressing the button again is a new event.
        SetStatusText(text, false);
        SetCurrentKey(type, number);
        return false;
    }
    const unsigned char expected = get_dallas_cs(k);
    const bool valid = k[7] == expected;
    if (!valid && g_Debug.IsLoggable(LOGLEVEL_WARNING)) {
        std::string tag;
        {
            auto shared = m_shared.lock();
            tag = shared->port_name;
        }
        g_Debug.LogMsgFmt(LOGLEVEL_WARNING, tag.c_str(), "Invalid CRC 0x%.2X != 0x%.2X", unsigned(k[7]),
                          unsigned(expected));
    }
    if (m_last_key_shown && std::memcmp(m_last_key + 1, k + 1, 6) == 0)
        return valid;
    Glib::ustring name;
    CardType type = CT_UNKNOWN;
    if (k[0] == kFamilyDs1990) {
        const bool em = m_scan_mode == SCAN_KEY_EM_MARINE;
        name = em ? "EM-Marine" : "DS1990A";
        type = em ? CT_EM_MARINE : CT_DALLAS;
    } else if (k[0] == kFamilyDs1996) {
        name = "DS1996L";
        type = CT_DALLAS;
    } else {
        name = format_text("DS[%u]", unsigned(k[0]));
    }
    SetStatusText(name + format_text(" ID code = %.2X %.2X %.2X %.2X %.2X %.2X", unsigned(k[6]),
                                     unsigned(k[5]), unsigned(k[4]), unsigned(k[3]), unsigned(k[2]),
                                     unsigned(k[1])),
                  false);
    std::memcpy(m_last_key, k, sizeof m_last_key);
    m_last_key_shown = true;
    SetCurrentKey(type, number);
    return valid;
}

void CAdapterThread::ProcessModeCom() {
    switch (m_com_mode.load()) {
    case COM_IDLE:
        return;
    case COM_DETECT_POWER:
        ModeCom_DetectPower();
        return;
    case COM_WAKE:
        m_last_com_byte = 0;
        m_answer = false;
        PutCom(kM6Wake);
        SetModeCom(COM_WAIT_WAKE);
        return;
    case COM_WAIT_WAKE:
        ModeCom_Step(ScanModeCommand(), COM_WAIT_MODE, N_("No response for initialization"),
                     COM_DETECT_POWER);
        return;
    case COM_WAIT_MODE:
        ModeCom_Step(kM6StartKey, COM_WAIT_START, N_("No response for DALLAS"), COM_WAKE);
        return;
    case COM_WAIT_START:
        if (m_answer) {
            m_answer = false;
            SetModeCom(COM_SCANNING);
            if (m_no_answer_noted) {
                m_no_answer_noted = false;
                SetStatusText("", false);
            }
            return;
        }
        ModeCom_Step(0, COM_WAIT_START, N_("No response for Start"), COM_WAKE);
        return;
    case COM_SCANNING:
        ModeCom_Scanning();
        return;
    }
}

unsigned char CAdapterThread::ScanModeCommand() const {
    switch (m_scan_mode) {
    case SCAN_KEY_EM_MARINE:
        return kM6SelectEmMarine;
    case SCAN_KEY_KF300:
        return kM6SelectKf300;
    default:
        return kM6SelectDallas;
    }
}

// An answer moves on with the next request; silence beyond the answer time notes the miss and falls back.
void CAdapterThread::ModeCom_Step(unsigned char next_cmd, ComMode next, const char* silent_text,
                                  ComMode fallback) {
    if (m_answer && next_cmd != 0) {
        PutCom(next_cmd);
        SetModeCom(next);
        return;
    }
    const int left = static_cast<int>(m_timing.mode_answer_ms) - ElapsedMs();
    if (left > 0) {
        LowerPollTimeout(left);
        return;
    }
    SetStatusText(_(silent_text), false);
    m_no_answer_noted = true;
    SetModeCom(fallback);
}

// The adapter's answer to the wake byte tells its power state; an adapter that does not answer at all gets
// a reset pulse on the modem lines.
void CAdapterThread::ModeCom_DetectPower() {
    CRdPort& port = Port();
    bool answered = false;
    unsigned char first = 0;
    for (int i = 0; i < kPowerProbes && !answered; ++i) {
        if (m_cmd.load() != CMD_NONE)
            return; // a command takes the line; detection runs again after it
        const unsigned char wake = kM6Wake;
        SendPort(&wake, 1, kPowerProbeMs);
        if (!WaitFor(kPowerProbeMs))
            return;
        port.Receive();
        CFastBuffer& in = port.GetInBuffer();
        if (!in.empty()) {
            first = in.front();
            answered = true;
            in.clear();
        } else if (!WaitFor(kPowerProbeMs)) {
            return;
        }
    }
    if (answered && (first == kM6Ack || first == kM6AckAlt)) {
        SetPowerMode(first == kM6Ack ? POWER_AA : POWER_AB);
    } else {
        SetPowerMode(POWER_NONE);
        port.SetRts(true);
        port.SetDtr(false);
        const bool running = WaitFor(m_timing.reset_pulse_ms);
        port.SetRts(false);
        port.SetDtr(true);
        if (!running)
            return;
    }
    SetModeCom(COM_WAKE);
}

void CAdapterThread::ModeCom_Scanning() {
    if (m_answer) {
        SetModeCom(COM_WAKE);
        return;
    }
    const int elapsed = ElapsedMs();
    if (elapsed < kStartSettleMs) {
        LowerPollTimeout(kStartSettleMs - elapsed);
        return;
    }
    // No key frame since the start: whatever was on the reader has gone.
    std::memset(m_last_key, 0, sizeof m_last_key);
    m_last_key_shown = false;
    SetCurrentKey(CT_UNKNOWN, CCardUID());
    const int rearm = static_cast<int>(m_timing.rearm_ms);
    if (elapsed < rearm)
        LowerPollTimeout(rearm - elapsed);
    else
        SetModeCom(COM_WAKE);
}
