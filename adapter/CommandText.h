// Status lines of the adapter commands: printf-style texts from translated formats, and progress lines that
// are shown only when their value changes.
#pragma once

#include <cstdio>
#include <functional>
#include <utility>

#include <glibmm/ustring.h>

// The format comes from the translation catalogue; at least one argument is always given.
template <class First, class... Rest>
Glib::ustring format_text(const char* format, First first, Rest... rest) {
    char text[512];
    std::snprintf(text, sizeof text, format, first, rest...);
    return text;
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
