// DS1996L commands: preparing a key for a controller, writing a key list or a dump file onto it and reading
// one back. Every page goes through the key on the adapter's reader.
#include <algorithm>
#include <cstring>
#include <vector>

#include "adapter/CAdapterThread.h"
#include "adapter/CommandText.h"
#include "adapter/M6Response.h"
#include "app/i18n.h"
#include "layouts/DS1996Image.h"

namespace {

constexpr unsigned int kKeyPages = kDs1996Size / CAdapterThread::kPage;

const char* const kNoConnection = N_("13 No connection!");
const char* const kPutKey = N_("CC Put the key DS1996L on the M-6 Vex adapter!");
const char* const kReadingCanceled = N_("Reading has been canceled");
const char* const kReadNoAck = N_("Connection with adapter failed! Reading has been cancelled");
const char* const kReadNoKey = N_("No touch of the key DS1996L! Reading has been cancelled");

} // namespace

bool CAdapterThread::DS1996_WaitKey(Cmd cmd, const KeyWaitTexts& texts) {
    unsigned char code = 0;
    const bool answered = PortStep([&] {
        if (!M6_Send(kM6StartKey))
            return false;
        SetStatusText(_("Waiting DS1996L"), false);
        code = WaitComApp(m_timing.key_wait_ms, cmd);
        return true;
    });
    if (!answered) {
        SetStatusText(_(texts.no_ack), true);
        return false;
    }
    if (code == kM6CodeCancelled) {
        SetStatusText(_(texts.cancelled), true);
        return false;
    }
    if (code != kM6CodeKeyId) {
        SetStatusText(_(texts.no_key), true);
        return false;
    }
    if (m_key_id[0] != kDs1996Family) {
        SetStatusText(_("The key is not a DS1996L"), true);
        return false;
    }
    return true;
}

void CAdapterThread::DoDS1996Prepare() {
    const Cmd cmd = CMD_DS1996_PREPARE;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        SetStatusText(_("Preparing the DS1996L"), true);
        if (!InitAdapter() ||
            !DS1996_WaitKey(cmd, {kNoConnection, N_("DS1996L key preparation canceled"), kPutKey}))
            return;
        SetStatusText(_("Preparing the DS1996L key"), false);
        unsigned char page[kPage];
        const bool ok = PortStep([&] {
            if (!M6_ReadPage(cmd, true, 0, page))
                return false;
            ds1996_prepared_page0(page, page[2]);
            return M6_WritePage(cmd, true, 0, page);
        });
        if (!ok) {
            SetStatusText(_("Preparation failed, please try again"), true);
            return;
        }
        SetStatusText(_("Preparation completed successfully"), true);
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoDS1996FromDb() {
    const Cmd cmd = CMD_DS1996_FROM_DB;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        SetStatusText(_("Database --> DS1996L"), true);
        if (!AskUser(cmd, ASK_DB_KEYS, kDs1996Capacity))
            return;
        std::vector<unsigned char> image(kDs1996Size, 0xFF);
        if (!PortStep([&] { return M6_ReadPage(cmd, true, 0, image.data()); })) {
            SetStatusText(_(kRecordFailed), true);
            return;
        }
        size_t length;
        {
            auto shared = m_shared.lock();
            length =
                m6::PrepareQ4(shared->db_keys, shared->lock_code, image.data(), image.size(), kDs1996MemType);
        }
        if (!InitAdapter() ||
            !DS1996_WaitKey(cmd, {kNoConnection, N_("Recording to DS1996L has been cancelled"), kPutKey}))
            return;
        const unsigned int pages = static_cast<unsigned int>((length + kPage - 1) / kPage);
        CProgressLine progress = RecordingProgress(true);
        bool ok = WriteImagePages(cmd, true, image.data(), 0, pages,
                                  [&](unsigned int done) { progress.set(done * 100 / (pages + 1)); });
        image[0] = m6::kQ4FormatComplete;
        ok = ok && PortStep([&] { return M6_WritePage(cmd, true, 0, image.data()); });
        if (!ok) {
            SetStatusText(_(kRecordFailed), true);
            return;
        }
        SetStatusText(_("Recording has completed successfully"), true);
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoDS1996ToDb() {
    const Cmd cmd = CMD_DS1996_TO_DB;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        SetStatusText(_("DS1996L --> Database"), true);
        if (!InitAdapter() || !DS1996_WaitKey(cmd, {kReadNoAck, kReadingCanceled, kReadNoKey}))
            return;
        CProgressLine progress([this](unsigned int v) {
            SetStatusText(format_text(NP_("Read from DS1996L %d keys", v), static_cast<int>(v)), false);
        });
        progress.set(0);
        std::vector<unsigned char> image(kDs1996Size, 0xFF);
        unsigned int bytes_read = 0, count = 0;
        const bool ok = PortStep([&] { return M6_ReadPage(cmd, true, 0, image.data()); }) &&
                        (image[0] == kDs1996BaseComplete || AskUser(cmd, ASK_DS1996_CONTENT, image[0])) &&
                        ReadQ4List(
                            cmd, true, image.data(), kDs1996Size, [&](unsigned int n) { progress.set(n); },
                            bytes_read, count);
        if (!ok) {
            SetStatusText(_(kReadFailed), true);
            return;
        }
        {
            auto shared = m_shared.lock();
            shared->lock_code = m6::LoadLockCode(image.data());
            shared->db_keys.clear();
            shared->db_keys.reserve(count);
            m6::DecodeQ2Q4Keys(image.data(), bytes_read, count, shared->db_keys);
        }
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoDS1996FromFile() {
    const Cmd cmd = CMD_DS1996_FROM_FILE;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        SetStatusText(_("File --> DS1996L"), true);
        if (!InitAdapter() ||
            !DS1996_WaitKey(cmd, {N_("Connection with adapter failed! Recording has been cancelled"),
                                  kReadingCanceled,
                                  N_("No touch of the key DS1996L! Recording has been cancelled")}))
            return;
        std::vector<unsigned char> image(kDs1996Size, 0xFF);
        {
            auto shared = m_shared.lock();
            const size_t n = std::min<size_t>(shared->cmd_file_data.size(), kDs1996Size);
            std::copy(shared->cmd_file_data.begin(),
                      shared->cmd_file_data.begin() + static_cast<ptrdiff_t>(n), image.begin());
        }
        CProgressLine progress = RecordingProgress(true);
        if (!WriteImagePages(cmd, true, image.data(), 0, kKeyPages,
                             [&](unsigned int done) { progress.set(done * 100 / kKeyPages); })) {
            SetStatusText(_(kRecordFailed), true);
            return;
        }
        SetStatusText(_("Recording has completed successfully"), true);
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoDS1996ToFile() {
    const Cmd cmd = CMD_DS1996_TO_FILE;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        SetStatusText(_("DS1996L --> File"), true);
        if (!InitAdapter() || !DS1996_WaitKey(cmd, {kReadNoAck, kReadingCanceled, kReadNoKey}))
            return;
        CProgressLine progress([this](unsigned int v) {
            SetStatusText(format_text(_("Read from DS1996L %d %%"), static_cast<int>(v)), false);
        });
        progress.set(0);
        std::vector<unsigned char> image(kDs1996Size, 0xFF);
        for (unsigned int k = 0; k < kKeyPages; ++k) {
            if (!PortStep([&] { return M6_ReadPage(cmd, true, k * kPage, image.data() + k * kPage); })) {
                SetStatusText(_(kReadFailed), true);
                return;
            }
            progress.set((k + 1) * 100 / kKeyPages);
        }
        {
            auto shared = m_shared.lock();
            if (!IsCmdCurrent(cmd))
                return;
            shared->cmd_file_data = std::move(image);
        }
        FinishCmd(cmd);
    });
}
