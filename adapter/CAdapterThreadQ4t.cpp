// Controller commands: clear, write from a database, read into a database, write from and read into a dump
// file. Every page goes directly to the controller wired to the adapter.
#include <algorithm>
#include <cstring>
#include <vector>

#include "adapter/CAdapterThread.h"
#include "adapter/CommandText.h"
#include "app/i18n.h"

namespace {

constexpr size_t kQ4ImageSize = 8192; // the Q4 builder's image: the largest Q4 memory

bool is_q4_type(m6::M6MemType type) {
    return type == m6::MEM_4K || type == m6::MEM_8K;
}

unsigned int pages_for(size_t bytes) {
    return static_cast<unsigned int>((bytes + CAdapterThread::kPage - 1) / CAdapterThread::kPage);
}

} // namespace

void CAdapterThread::DoQ4tClear() {
    const Cmd cmd = CMD_Q4T_CLEAR;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        unsigned char page0[kPage];
        m6::M6MemType type;
        if (!OpenController(cmd, _("Clearing the controller memory"), true, page0, type))
            return;
        const unsigned int capacity = m6::MemTypeToKeyCount(type);
        SetStatusText(format_text(_("Q4T: size of key memory = %u"), capacity), true);
        bool ok = false;
        if (is_q4_type(type)) {
            unsigned char page[kPage];
            std::memset(page, 0xFF, sizeof page);
            page[0] = m6::kQ4FormatComplete;
            page[1] = 0x00;
            page[2] = page0[2];
            m6::StoreLockCode(m6::kClearedLockCode, page);
            page[m6::kOffMemCode] = m6::MemTypeToMemCode(type);
            ok = M6_WritePage(cmd, false, 0, page);
        } else if (m6::IsQ6Type(type)) {
            std::vector<unsigned char> image(m6::kMaxMemSize, 0xFF);
            image[0] = page0[0];
            image[2] = page0[2];
            m6::PrepareEmptyQ6(image.data(), type);
            const unsigned int pages = m6::EmptyListPages(capacity);
            CProgressLine progress = RecordingProgress();
            ok = WriteImagePages(cmd, false, image.data(), 0, pages,
                                 [&](unsigned int done) { progress.set(done * 100 / pages); });
        }
        SetStatusText(ok ? _("Cleaning completed successfully") : _("Cleaning failed, please try again"),
                      true);
        if (ok)
            FinishCmd(cmd);
    });
}

void CAdapterThread::DoQ4tFromDb() {
    const Cmd cmd = CMD_Q4T_FROM_DB;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        unsigned char page0[kPage];
        m6::M6MemType type;
        if (!OpenController(cmd, _("Database --> Controller Q-4T"), true, page0, type))
            return;
        const unsigned int capacity = m6::MemTypeToKeyCount(type);
        SetStatusText(format_text(_("Q4T: size of key memory = %u"), capacity), true);
        if (!AskUser(cmd, ASK_DB_KEYS, capacity))
            return;
        const auto start = Clock::now();
        std::vector<unsigned char> image(m6::kMaxMemSize, 0xFF);
        std::memcpy(image.data(), page0, kPage);
        CProgressLine progress = RecordingProgress();
        bool ok = false;
        if (is_q4_type(type)) {
            size_t length;
            {
                auto shared = m_shared.lock();
                length = m6::PrepareQ4(shared->db_keys, shared->lock_code, image.data(), kQ4ImageSize, type);
            }
            const unsigned int pages = pages_for(length);
            progress.set(0);
            ok = WriteImagePages(cmd, false, image.data(), 0, pages,
                                 [&](unsigned int done) { progress.set(done * 100 / (pages + 1)); });
            // The format byte says "complete" only once every page is in place.
            image[0] = m6::kQ4FormatComplete;
            ok = ok && M6_WritePage(cmd, false, 0, image.data());
        } else if (m6::IsQ6Type(type)) {
            size_t length;
            {
                auto shared = m_shared.lock();
                length = m6::PrepareQ6(shared->db_keys, shared->lock_code, image.data(), image.size(), type,
                                       shared->xor_mode);
            }
            const unsigned int pages = pages_for(length);
            progress.set(0);
            ok = pages > 0 && WriteImagePages(cmd, false, image.data(), 0, pages,
                                              [&](unsigned int done) { progress.set(done * 100 / pages); });
        }
        if (!ok) {
            SetStatusText(_(kRecordFailed), true);
            return;
        }
        SetStatusText(format_text(_("Recording has completed successfully (%.1f s)"), seconds_since(start)),
                      true);
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoQ4tToDb() {
    const Cmd cmd = CMD_Q4T_TO_DB;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        std::vector<unsigned char> image(m6::kMaxMemSize, 0xFF);
        m6::M6MemType type;
        if (!OpenController(cmd, _("Controller Q-4T --> Database"), false, image.data(), type))
            return;
        SetStatusText(format_text(_("Q4T: size of key memory = %u"), m6::MemTypeToKeyCount(type)), true);
        const auto start = Clock::now();
        unsigned int bytes_read = 0, count = 0;
        bool ok = false;
        if (is_q4_type(type)) {
            CProgressLine progress([this](unsigned int v) {
                SetStatusText(format_text(NP_("%u keys read from Controller", v), v), false);
            });
            ok = ReadQ4List(
                cmd, false, image.data(), kQ4ImageSize, [&](unsigned int keys) { progress.set(keys); },
                bytes_read, count);
        } else if (m6::IsQ6Type(type)) {
            ok = ReadQ6List(cmd, image.data(), type, bytes_read, count);
        }
        if (!ok) {
            SetStatusText(_(kReadFailed), true);
            return;
        }
        size_t decoded;
        {
            // A run that was replaced leaves the hand-over to the start that replaced it.
            auto shared = m_shared.lock();
            if (!IsCmdCurrent(cmd))
                return;
            shared->lock_code = m6::LoadLockCode(image.data());
            shared->db_keys.clear();
            shared->db_keys.reserve(count);
            decoded = is_q4_type(type) ? m6::DecodeQ2Q4Keys(image.data(), bytes_read, count, shared->db_keys)
                                       : m6::DecodeQ6Keys(image.data(), bytes_read, type, count,
                                                          shared->xor_mode, shared->db_keys);
        }
        SetStatusText(format_text(NP_("%u keys has been successfully read (%.3f s)", decoded),
                                  static_cast<unsigned int>(decoded), seconds_since(start)),
                      true);
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoQ4tFromFile() {
    const Cmd cmd = CMD_Q4T_FROM_FILE;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        std::vector<unsigned char> image(m6::kMaxMemSize, 0xFF);
        m6::M6MemType type;
        if (!OpenController(cmd, _("File --> Controller"), true, image.data(), type))
            return;
        const size_t size = m6::MemTypeToMemSize(type);
        SetStatusText(format_text(_("Q4T: size of memory = %u byte"), static_cast<unsigned int>(size)), true);
        size_t file_size, n;
        {
            // The controller keeps its own header; every other byte keeps its address.
            auto shared = m_shared.lock();
            file_size = shared->cmd_file_data.size();
            n = std::min(size, file_size);
            if (n > m6::kHeaderSize)
                std::copy(shared->cmd_file_data.begin() + m6::kHeaderSize, shared->cmd_file_data.begin() + n,
                          image.begin() + m6::kHeaderSize);
        }
        if (size == 0) {
            SetStatusText(_(kRecordFailed), true);
            return;
        }
        if (file_size > size && !AskUser(cmd, ASK_FILE_SIZE, n))
            return;
        const unsigned int pages = pages_for(n);
        CProgressLine progress = RecordingProgress();
        if (!WriteImagePages(cmd, false, image.data(), 0, pages,
                             [&](unsigned int done) { progress.set(done * 100 / pages); })) {
            SetStatusText(_(kRecordFailed), true);
            return;
        }
        FinishCmd(cmd);
    });
}

void CAdapterThread::DoQ4tToFile() {
    const Cmd cmd = CMD_Q4T_TO_FILE;
    RunCommand(cmd, CmdExit::RestartReading, [this] {
        SetStatusText(_("Controller --> File"), true);
        if (!InitAdapter())
            return;
        std::vector<unsigned char> image(m6::kMaxMemSize, 0xFF);
        if (!PortStep([&] { return M6_ReadPage(cmd, false, 0, image.data()); })) {
            if (!m_port)
                SetStatusText(_(kReadFailed), true);
            return;
        }
        const m6::M6MemType type = m6::MemCodeToMemType(image[m6::kOffMemCode]);
        size_t size = m6::MemTypeToMemSize(type);
        if (size == 0) {
            size = m6::kMaxMemSize;
            SetStatusText(_("Q4T: memory size is unknown"), true);
        } else {
            SetStatusText(format_text(_("Q4T: size of memory = %u byte"), static_cast<unsigned int>(size)),
                          true);
        }
        CProgressLine progress([this](unsigned int v) {
            SetStatusText(format_text(_("Read from the controller Q-4T %u %%"), v), false);
        });
        progress.set(0);
        const unsigned int pages = pages_for(size);
        for (unsigned int k = 1; k < pages; ++k) {
            if (!PortStep([&] { return M6_ReadPage(cmd, false, k * kPage, image.data() + k * kPage); })) {
                SetStatusText(_(kReadFailed), true);
                return;
            }
            progress.set((k + 1) * 100 / pages);
        }
        {
            auto shared = m_shared.lock();
            if (!IsCmdCurrent(cmd))
                return;
            shared->cmd_file_data.assign(image.begin(), image.begin() + static_cast<ptrdiff_t>(size));
        }
        FinishCmd(cmd);
    });
}
