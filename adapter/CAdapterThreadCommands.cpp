// Page-level building blocks the command operations share: writing an image page by page and reading a key
// list until its end record; the frame of an operation that is not available.
#include "adapter/CAdapterThread.h"

#include <algorithm>

#include "adapter/CommandText.h"
#include "adapter/MyStatusText.h"
#include "app/i18n.h"

bool CAdapterThread::OpenController(Cmd cmd, const Glib::ustring& title, bool probe, unsigned char* page0,
                                    m6::M6MemType& type) {
    SetStatusText(title, true);
    if (PortStep([&] { return InitAdapter() && DetectMemType(cmd, type, probe, false, page0); }))
        return true;
    if (!m_port)
        SetStatusText(_("11 No connection!"), false);
    return false;
}

CProgressLine CAdapterThread::RecordingProgress(bool via_key) {
    const char* format =
        via_key ? _("Recording to DS1996L %u %%") : _("Recording to the controller Q-4T %u %%");
    return CProgressLine([this, format](unsigned int v) { SetStatusText(format_text(format, v), false); });
}

bool CAdapterThread::WriteImagePages(Cmd cmd, bool via_key, const unsigned char* image, unsigned int first,
                                     unsigned int count,
                                     const std::function<void(unsigned int)>& after_page) {
    return PortStep([&] {
        for (unsigned int k = 0; k < count; ++k) {
            const unsigned int address = (first + k) * static_cast<unsigned int>(m6::kPageSize);
            if (!M6_WritePage(cmd, via_key, address, image + address))
                return false;
            after_page(k + 1);
        }
        return true;
    });
}

// A port lost in the middle of a transfer: the reason goes to the history, the link is dropped at once (so
// that reconnection starts) and the command goes on to show its own failure line.
void CAdapterThread::PortLost(const CRdPortException& e) {
    SetStatusText(my_status_text(e.get_status()), true);
    HandleException(e);
}

bool CAdapterThread::PortStep(const std::function<bool()>& step) {
    try {
        return step();
    } catch (const CRdPortException& e) {
        PortLost(e);
        return false;
    } catch (const CMyException& e) {
        // The port was dropped by an earlier step: its reason is in the history already.
        if (e.get_status() != MY_ERR_IO || m_port)
            throw;
        return false;
    }
}

bool CAdapterThread::ReadQ4List(Cmd cmd, bool via_key, unsigned char* image, unsigned int limit,
                                const std::function<void(unsigned int)>& show_count, unsigned int& bytes_read,
                                unsigned int& count) {
    return PortStep([&] { return ReadQ4Pages(cmd, via_key, image, limit, show_count, bytes_read, count); });
}

bool CAdapterThread::ReadQ4Pages(Cmd cmd, bool via_key, unsigned char* image, unsigned int limit,
                                 const std::function<void(unsigned int)>& show_count,
                                 unsigned int& bytes_read, unsigned int& count) {
    const unsigned int page = static_cast<unsigned int>(m6::kPageSize);
    unsigned int pos = 0;
    bytes_read = page;
    bool found = m6::CheckEndQ2Q4(image, bytes_read, pos);
    count = m6::KeyCountQ2Q4(image, pos);
    show_count(count);
    while (!found && bytes_read + page <= limit) {
        if (!M6_ReadPage(cmd, via_key, bytes_read, image + bytes_read))
            return false;
        bytes_read += page;
        found = m6::CheckEndQ2Q4(image, bytes_read, pos);
        count = m6::KeyCountQ2Q4(image, pos);
        show_count(count);
    }
    return true;
}

// The index area comes first and whole; the records follow until the one closing the list has been read.
bool CAdapterThread::ReadQ6List(Cmd cmd, unsigned char* image, m6::M6MemType type, unsigned int& bytes_read,
                                unsigned int& count) {
    return PortStep([&] { return ReadQ6Pages(cmd, image, type, bytes_read, count); });
}

bool CAdapterThread::ReadQ6Pages(Cmd cmd, unsigned char* image, m6::M6MemType type, unsigned int& bytes_read,
                                 unsigned int& count) {
    const unsigned int page = static_cast<unsigned int>(m6::kPageSize);
    const unsigned int capacity = m6::MemTypeToKeyCount(type);
    const unsigned int index_pages = m6::Q6IndexPages(type);
    const unsigned int max_pages = m6::MemTypeToMemSize(type) / page;
    CProgressLine percent([this](unsigned int v) {
        SetStatusText(format_text(_("%u%% read from the Q-4T controller"), v), false);
    });
    for (unsigned int k = 1; k < index_pages; ++k) {
        if (!M6_ReadPage(cmd, false, k * page, image + k * page))
            return false;
        percent.set((k + 1) * 100 / index_pages);
    }
    bytes_read = index_pages * page;
    CProgressLine keys([this](unsigned int v) {
        SetStatusText(format_text(NP_("%u keys read from Controller", v), v), false);
    });
    // At least the first record page follows the index area, even when the list ends inside the index area.
    unsigned int pos = 0;
    bool found = false;
    while (!found && bytes_read / page < max_pages) {
        if (!M6_ReadPage(cmd, false, bytes_read, image + bytes_read))
            return false;
        bytes_read += page;
        found = m6::CheckEndQ6(image, bytes_read, capacity + 1, pos);
        keys.set(m6::KeyCountQ6(pos));
    }
    count = m6::KeyCountQ6(pos);
    return true;
}
