// Line reception of the ASCII protocol.
#include "adapter/AsciiLine.h"

#include <algorithm>
#include <cctype>

size_t Ascii_TakeLine(const uint8_t* data, size_t size, std::string& line) {
    size_t start = 0;
    while (start < size) {
        while (start < size && data[start] == kAsciiLF)
            ++start;
        const uint8_t* end = std::find(data + start, data + size, kAsciiCR);
        if (end == data + size)
            return 0;
        const size_t stop = static_cast<size_t>(end - data);
        if (stop > start) {
            line.assign(reinterpret_cast<const char*>(data + start), stop - start);
            return stop + 1;
        }
        start = stop + 1; // an empty line
    }
    return 0;
}

bool Ascii_IsInfoLine(const std::string& line) {
    static const std::string kNoCard = "no card";
    if (line.size() == kNoCard.size() &&
        std::equal(line.begin(), line.end(), kNoCard.begin(),
                   [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; }))
        return true;
    return line.find('[') != std::string::npos && line.find(':') == std::string::npos;
}
