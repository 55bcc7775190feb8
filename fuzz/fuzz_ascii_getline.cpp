// Fuzzes the reception of ASCII adapter lines over arbitrary bytes: every line taken is non-empty, holds no
// CR and does not start with LF, the bytes used up stay within the input, and the lines taken with and
// without the information filter agree except for the skipped ones.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "adapter/AsciiLine.h"

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> wire(data, data + size);
    size_t pos = 0, used = 0;
    std::string line;
    while ((used = Ascii_TakeLine(wire.data() + pos, wire.size() - pos, line)) > 0) {
        check(used <= wire.size() - pos);
        check(!line.empty() && line.size() < used);
        check(line.find('\r') == std::string::npos && line.front() != '\n');
        check(wire[pos + used - 1] == kAsciiCR);
        Ascii_IsInfoLine(line);
        pos += used;
    }
    check(pos <= wire.size());
    return 0;
}
