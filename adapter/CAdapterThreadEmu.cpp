// The adapter posing as a DS1996L towards the controller wired to it (the controller reads a base from it or
// stores its base into it), as a plain Dallas key, and switching its key line off.
#include <algorithm>
#include <cstring>
#include <vector>

#include "adapter/CAdapterThread.h"
#include "adapter/CommandText.h"
#include "app/i18n.h"
#include "layouts/DS1996Image.h"

namespace {

// Emulation frames to the adapter.
constexpr unsigned char kEmuLineOff = 0x5A;
constexpr unsigned char kEmuLineOn = 0x41;
constexpr unsigned char kEmuStart = 0x45;
constexpr unsigned char kEmuPage = 0x53;
constexpr unsigned char kEmuEnd = 0x57;
constexpr unsigned char kEmuDallas = 0x44;
// From the adapter: the controller asks for a page / wrote a page.
constexpr unsigned char kEmuRequest = 0x51;
constexpr unsigned char kEmuWritten = 0x52;
constexpr size_t kRequestSize = 3;
constexpr size_t kWrittenSize = 3 + CAdapterThread::kPage;
constexpr unsigned int kNoAddress = 0xFFFF;
constexpr unsigned int kLineOffMs = 250;
constexpr unsigned int kLineOnMs = 1000;

unsigned int address_at(const CFastBuffer& in) {
    return in.at(1) | (in.at(2) << 8);
}

// A page the controller may take from the image: wholly inside it.
bool page_fits(unsigned int address) {
    return address + CAdapterThread::kPage <= kDs1996Size;
}

} // namespace

void CAdapterThread::Emu_Send(unsigned char code, const unsigned char* data, size_t len) {
    std::vector<unsigned char> frame(1, code);
    if (data)
        frame.insert(frame.end(), data, data + len);
    SendPort(frame.data(), static_cast<int>(frame.size()), m_timing.response_ms);
}

void CAdapterThread::WaitWhileCurrent(Cmd cmd) {
    while (m_running && IsCmdCurrent(cmd)) {
        WaitEvents(-1);
        if (m_port)
            m_port->GetInBuffer().clear();
    }
}

// Answers the controller's page requests until it says it has the whole base (address 0).
bool CAdapterThread::EmuServeRequests(Cmd cmd, const unsigned char* image, size_t length) {
    CProgressLine progress = RecordingProgress();
    progress.set(0);
    while (m_running && IsCmdCurrent(cmd)) {
        CRdPort& port = Port();
        port.Receive();
        CFastBuffer& in = port.GetInBuffer();
        for (;;) {
            const ptrdiff_t at = in.find(kEmuRequest);
            if (at < 0) {
                in.clear();
                break;
            }
            in.consume(static_cast<size_t>(at));
            if (in.size() < kRequestSize)
                break;
            const unsigned int address = address_at(in);
            in.consume(kRequestSize);
            if (address == kNoAddress)
                continue;
            if (address == 0) {
                progress.set(100);
                return true;
            }
            // The address comes from the controller: a page beyond the image is answered as erased memory.
            unsigned char page[kPage];
            if (page_fits(address))
                std::memcpy(page, image + address, kPage);
            else
                std::memset(page, 0xFF, kPage);
            Emu_Send(kEmuPage, page, kPage);
            progress.set(static_cast<unsigned int>(std::min<size_t>(100, (address * 100 + 3200) / length)));
        }
        WaitEvents(static_cast<int>(m_timing.countdown_poll_ms));
    }
    return false;
}

// Stores the pages the controller writes until page 0 arrives for the second time (its "complete" mark).
bool CAdapterThread::EmuTakePages(Cmd cmd, unsigned char* image, unsigned int& count) {
    CProgressLine progress([this](unsigned int v) {
        SetStatusText(format_text(NP_("Read from DS1996L %u keys", v), v), false);
    });
    unsigned int received = 0, pos = 0, page0_seen = 0;
    while (m_running && IsCmdCurrent(cmd)) {
        CRdPort& port = Port();
        port.Receive();
        CFastBuffer& in = port.GetInBuffer();
        for (;;) {
            const ptrdiff_t at = in.find(kEmuWritten);
            if (at < 0) {
                in.clear();
                break;
            }
            in.consume(static_cast<size_t>(at));
            if (in.size() < kWrittenSize)
                break;
            const unsigned int address = address_at(in);
            // The address comes from the controller: a page that does not fit the image is dropped.
            if (page_fits(address)) {
                std::memcpy(image + address, in.data() + kRequestSize, kPage);
                received = std::min(received + kPage, kDs1996Size);
            }
            in.consume(kWrittenSize);
            m6::CheckEndQ2Q4(image, received, pos);
            count = m6::KeyCountQ2Q4(image, pos);
            progress.set(count);
            if (address == 0 && ++page0_seen == 2) {
                in.clear();
                return true;
            }
        }
        WaitEvents(static_cast<int>(m_timing.countdown_poll_ms));
    }
    return false;
}

void CAdapterThread::DoEmuFromDb() {
    const Cmd cmd = CMD_EMU_FROM_DB;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        SetStatusText(_("Emulation: Database --> DS1996L"), true);
        if (!InitAdapter() || !AskUser(cmd, ASK_DB_KEYS, kDs1996Capacity))
            return;
        std::vector<unsigned char> image(kDs1996Size, 0xFF);
        size_t length;
        {
            auto shared = m_shared.lock();
            length =
                m6::PrepareQ4(shared->db_keys, shared->lock_code, image.data(), image.size(), kDs1996MemType);
        }
        image[0] = m6::kQ4FormatComplete;
        image[1] = 0x00;
        const bool ok = PortStep([&] {
            // The controller notices a new key only after the key line has been off for a moment.
            Emu_Send(kEmuLineOff, nullptr, 0);
            WaitFor(kLineOffMs);
            Emu_Send(kEmuLineOn, nullptr, 0);
            WaitFor(kLineOnMs);
            Emu_Send(kEmuStart, image.data(), kPage);
            const bool served = EmuServeRequests(cmd, image.data(), length);
            Emu_Send(kEmuEnd, nullptr, 0);
            return served;
        });
        if (!ok) {
            SetStatusText(_("The record has not been made, please try again"), true);
            return;
        }
        SetStatusText(_("Recording has completed successfully"), true);
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoEmuToDb() {
    const Cmd cmd = CMD_EMU_TO_DB;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        SetStatusText(_("Emulation: DS1996L --> Database"), true);
        if (!InitAdapter())
            return;
        SetStatusText(format_text(NP_("Read from DS1996L %u keys", 0u), 0u), false);
        const auto start = Clock::now();
        std::vector<unsigned char> image(kDs1996Size, 0xFF);
        ds1996_prepared_page0(image.data(), 0xFF);
        unsigned int count = 0;
        const bool ok = PortStep([&] {
            Emu_Send(kEmuStart, image.data(), kPage);
            const bool taken = EmuTakePages(cmd, image.data(), count);
            Emu_Send(kEmuEnd, nullptr, 0);
            return taken;
        });
        if (!ok) {
            SetStatusText(_("Reading has not been completed, please try again"), true);
            return;
        }
        size_t decoded;
        {
            auto shared = m_shared.lock();
            shared->lock_code = m6::LoadLockCode(image.data());
            shared->db_keys.clear();
            decoded = m6::DecodeQ2Q4Keys(image.data(), image.size(), count, shared->db_keys);
        }
        SetStatusText(format_text(NP_("%u keys has been successfully read (%.3f s)", decoded),
                                  static_cast<unsigned int>(decoded), seconds_since(start)),
                      true);
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoEmuDallas() {
    const Cmd cmd = CMD_EMU_DALLAS;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        unsigned char id[sizeof Shared::emu_id];
        {
            auto shared = m_shared.lock();
            std::memcpy(id, shared->emu_id, sizeof id);
        }
        // A lost port ends the emulation with its reason as the last line.
        if (!PortStep([&] {
                Emu_Send(kEmuDallas, id, sizeof id);
                WaitWhileCurrent(cmd);
                Emu_Send(kEmuEnd, nullptr, 0);
                return true;
            }))
            return;
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoPowerOff() {
    const Cmd cmd = CMD_POWER_OFF;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        if (!PortStep([&] {
                Emu_Send(kEmuLineOff, nullptr, 0);
                WaitWhileCurrent(cmd);
                Emu_Send(kEmuLineOn, nullptr, 0);
                return true;
            }))
            return;
        FinishCmd(cmd);
    });
}
