// What the serial and TCP port tests share: polling with a generous deadline, the unread bytes of a port,
// the status a failing port call throws, and a debug log in a fresh folder so that the log lines can be read.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <vector>

#include "adapter/CRdPort.h"
#include "app/CDebugLog.h"
#include "common/WaitFor.h"

namespace port_test {

using Bytes = std::vector<uint8_t>;
using test::wait_for;

inline Bytes unread(const CFastBuffer& buffer) {
    return Bytes(buffer.data(), buffer.data() + buffer.size());
}

inline MyStatus status_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const CRdPortException& e) {
        return e.get_status();
    }
    return MY_OK;
}

// The debug log at full detail in a folder of its own, removed again at the end.
class CDebugLogFolder {
public:
    CDebugLogFolder() {
        char dir[] = "/tmp/kestrix-port-XXXXXX";
        if (::mkdtemp(dir) == nullptr)
            ADD_FAILURE() << "cannot create a log folder";
        else
            m_Dir = dir;
        g_Debug.set_filename(file());
        g_Debug.set_log_level(LOGLEVEL_DEBUG);
    }
    ~CDebugLogFolder() {
        g_Debug.set_log_level(LOGLEVEL_NONE);
        g_Debug.set_filename({});
        if (!m_Dir.empty())
            std::filesystem::remove_all(m_Dir);
    }
    CDebugLogFolder(const CDebugLogFolder&) = delete;
    CDebugLogFolder& operator=(const CDebugLogFolder&) = delete;

    std::filesystem::path file() const { return m_Dir / "kestrix.log"; }

private:
    std::filesystem::path m_Dir;
};

} // namespace port_test
