// Status lines of the adapter commands: printf-style texts (app/FormatText.h), the texts several commands
// share, and progress lines that are shown only when their value changes.
#pragma once

#include <chrono>
#include <functional>
#include <utility>

#include "app/FormatText.h"
#include "app/i18n.h"

// The failures of a write or a read of the controller or the DS1996L, whichever was written or read.
inline const char* const kRecordFailed = N_("The record has not been made, please try again");
inline const char* const kReadFailed = N_("Reading has not been completed, please try again");

// Seconds since start, to the millisecond, for the final status line of a command.
inline double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
               .count() /
           1000.0;
}

// A percentage or count shown as a progress line; repeating the same value sends nothing.
class CProgressLine {
public:
    explicit CProgressLine(std::function<void(unsigned int)> show) : m_show(std::move(show)) {}
    void set(unsigned int value) {
        if (m_shown && value == m_value)
            return;
        m_shown = true;
        m_value = value;
        m_show(value);
    }

private:
    std::function<void(unsigned int)> m_show;
    unsigned int m_value = 0;
    bool m_shown = false;
};
