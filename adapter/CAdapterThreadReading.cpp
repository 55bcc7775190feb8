// Key-reading mode of the idle adapter: the state machine that wakes the adapter, selects the scan mode and
// starts it, the decoding of what the adapter sends, and the texts and key types of the keys it reports.
#include <algorithm>
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

void lower_timeout(int& timeout, int ms) {
    ms = std::max(ms, 0);
    if (timeout < 0 || ms < timeout)
        timeout = ms;
}

} // namespace

void CAdapterThread::CheckRead() {
    if (!m_pPort)
        return;
    m_pPort->Receive();
    CFastBuffer& in = m_pPort->GetInBuffer();
    // Before the first wake of a new pass nothing is expected: what lies there is the tail of a command's
    // exchange (a page response would otherwise read like a key frame).
    if (m_nComMode.load() == COM_DETECT_POWER) {
        in.clear();
        return;
    }
    while (!in.empty()) {
        const unsigned char first = in.front();
        if (first == kM6Error) {
            in.clear();
            SetStatusText(_("Error 55"), false);
        } else if (first == kM6Ack || first == kM6AckAlt) {
            m_bAnswer = true;
            SetPowerMode(first == kM6Ack ? POWER_AA : POWER_AB);
            in.consume(1);
        } else if (first == kM6Reply) {
            if (!TakeKeyFrame(in))
                return;
            m_bKeyValid = CheckValidKey();
            SetModeCom(COM_WAKE);
            in.clear();
        } else {
            in.clear();
            m_bAnswer = true;
        }
    }
}

// False while the frame has not fully arrived.
bool CAdapterThread::TakeKeyFrame(const CFastBuffer& in) {
    const unsigned char* b = in.data();
    if (m_nScanMode == SCAN_KEY_KF300) {
        if (in.size() < kKf300FrameSize)
            return false;
        std::memset(m_KeyFrame, 0, sizeof m_KeyFrame);
        std::memcpy(m_KeyFrame, b + 1, 5);
        bool different;
        {
            std::lock_guard lock(m_Mutex);
            different = m_bDifferentKf300;
        }
        if (different) {
            m_KeyFrame[3] = static_cast<unsigned char>((b[5] << 4) | (b[4] & 0x0F));
            m_KeyFrame[4] = static_cast<unsigned char>((b[4] >> 4) | (b[5] & 0xF0));
        }
        return true;
    }
    if (in.size() < kKeyFrameSize)
        return false;
    for (size_t i = 0; i < sizeof m_KeyFrame; ++i)
        m_KeyFrame[i] = b[kKeyFrameSize - 1 - i]; // B9 .. B2
    return true;
}

bool CAdapterThread::CheckValidKey() {
    const unsigned char* k = m_KeyFrame;
    const CCardUID number(k + 1, 6);
    if (m_nScanMode == SCAN_KEY_KF300) {
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
            std::lock_guard lock(m_Mutex);
            tag = m_PortName;
        }
        g_Debug.LogMsgFmt(LOGLEVEL_WARNING, tag.c_str(), "Invalid CRC 0x%.2X != 0x%.2X", unsigned(k[7]),
                          unsigned(expected));
    }
    if (m_bLastKeyShown && std::memcmp(m_LastKey + 1, k + 1, 6) == 0)
        return valid;
    Glib::ustring name;
    CardType type = CT_UNKNOWN;
    if (k[0] == kFamilyDs1990) {
        const bool em = m_nScanMode == SCAN_KEY_EM_MARINE;
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
    std::memcpy(m_LastKey, k, sizeof m_LastKey);
    m_bLastKeyShown = true;
    SetCurrentKey(type, number);
    return valid;
}

void CAdapterThread::ProcessModeCom() {
    switch (m_nComMode.load()) {
    case COM_IDLE:
        return;
    case COM_DETECT_POWER:
        ModeCom_DetectPower();
        return;
    case COM_WAKE:
        m_nLastComByte = 0;
        m_bAnswer = false;
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
        if (m_bAnswer) {
            m_bAnswer = false;
            SetModeCom(COM_SCANNING);
            if (m_bNoAnswerNoted) {
                m_bNoAnswerNoted = false;
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
    switch (m_nScanMode) {
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
    if (m_bAnswer && next_cmd != 0) {
        PutCom(next_cmd);
        SetModeCom(next);
        return;
    }
    const int left = static_cast<int>(m_Timing.mode_answer_ms) - ElapsedMs();
    if (left > 0) {
        lower_timeout(m_nPollTimeout, left);
        return;
    }
    SetStatusText(_(silent_text), false);
    m_bNoAnswerNoted = true;
    SetModeCom(fallback);
}

// The adapter's answer to the wake byte tells its power state; an adapter that does not answer at all gets
// a reset pulse on the modem lines.
void CAdapterThread::ModeCom_DetectPower() {
    CRdPort& port = Port();
    bool answered = false;
    unsigned char first = 0;
    for (int i = 0; i < kPowerProbes && !answered; ++i) {
        if (m_nCmd.load() != CMD_NONE)
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
        const bool running = WaitFor(m_Timing.reset_pulse_ms);
        port.SetRts(false);
        port.SetDtr(true);
        if (!running)
            return;
    }
    SetModeCom(COM_WAKE);
}

void CAdapterThread::ModeCom_Scanning() {
    if (m_bAnswer) {
        SetModeCom(COM_WAKE);
        return;
    }
    const int elapsed = ElapsedMs();
    if (elapsed < kStartSettleMs) {
        lower_timeout(m_nPollTimeout, kStartSettleMs - elapsed);
        return;
    }
    // No key frame since the start: whatever was on the reader has gone.
    std::memset(m_LastKey, 0, sizeof m_LastKey);
    m_bLastKeyShown = false;
    SetCurrentKey(CT_UNKNOWN, CCardUID());
    const int rearm = static_cast<int>(m_Timing.rearm_ms);
    if (elapsed < rearm)
        lower_timeout(m_nPollTimeout, rearm - elapsed);
    else
        SetModeCom(COM_WAKE);
}
