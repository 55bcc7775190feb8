// Fuzzes the clipboard's key payload parser with whatever another program may put on the clipboard under
// our type. It may refuse the text with std::runtime_error; the keys it accepts must be well formed and
// must come back unchanged through the payload writer.
#include <giomm/init.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string_view>

#include "keys/KeyClipboard.h"

namespace {

bool same(const key_info& a, const key_info& b) {
    return a.number == b.number && a.is_short == b.is_short && a.type == b.type && a.attr == b.attr &&
           a.created == b.created && a.comment.raw() == b.comment.raw();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    Gio::init();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<key_info> keys;
    try {
        keys = parse_key_payload(std::string_view(reinterpret_cast<const char*>(data), size));
    } catch (const std::runtime_error&) {
        return 0;
    }
    for (const key_info& key : keys)
        if (key.number.empty() || key.type >= kCardTypeCount || key.attr >= kKeyAttrCount ||
            !key.comment.validate())
            std::abort();
    const std::vector<key_info> back = parse_key_payload(encode_key_payload(keys));
    if (back.size() != keys.size())
        std::abort();
    for (std::size_t i = 0; i < keys.size(); ++i)
        if (!same(back[i], keys[i]))
            std::abort();
    return 0;
}
