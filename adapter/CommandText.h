// Status lines of the adapter commands: printf-style texts (app/FormatText.h) and progress lines that are
// shown only when their value changes.
#pragma once

#include <functional>
#include <utility>

#include "app/FormatText.h"

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
