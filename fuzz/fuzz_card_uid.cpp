// Fuzzes the hexadecimal number text of key databases. Whatever parses must hold only complete digit
// pairs from the end of the text and round-trip through ToString; a failed parse leaves the value alone.
// The bytes are also taken as a raw number whose text must parse back to it.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "keys/CCardUID.h"

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

std::string upper(std::string_view s) {
    std::string u(s);
    for (char& c : u)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const CCardUID sentinel(0x0123456789ABCDEFull, 8);
    CCardUID n = sentinel;
    if (n.TryParse(text)) {
        check(!text.empty());
        check(n.length == std::min<std::size_t>(size / 2, CCardUID::kMaxBytes));
        for (std::size_t i = n.length; i < CCardUID::kMaxBytes; ++i)
            check(n.bytes[i] == 0);
        const std::string shown = n.ToString();
        check(shown == upper(text.substr(size - 2 * n.length)));
        CCardUID back;
        if (n.length > 0) {
            check(back.TryParse(shown));
            check(back == n);
        }
    } else {
        check(n == sentinel);
    }

    const CCardUID raw(data, size);
    CCardUID back;
    if (raw.length > 0) {
        check(back.TryParse(raw.ToString()));
        check(back == raw);
    }
    return 0;
}
