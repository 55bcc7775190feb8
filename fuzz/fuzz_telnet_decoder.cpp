// Fuzz target for the Telnet receive decoder: arbitrary bytes cut into arbitrary recv() chunks must decode
// exactly as the whole stream does, never yield more payload than input, and decode alike in place.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "adapter/CTelnetDecoder.h"

namespace {

std::vector<uint8_t> decode_whole(const uint8_t* data, size_t size) {
    CTelnetDecoder decoder;
    std::vector<uint8_t> out(size);
    out.resize(decoder.decode(data, size, out.data()));
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The first byte seeds the chunk sizes; the rest is the stream.
    uint32_t seed = data[0] * 2654435761u + 1;
    ++data;
    --size;

    const std::vector<uint8_t> whole = decode_whole(data, size);
    if (whole.size() > size)
        std::abort();

    CTelnetDecoder decoder;
    std::vector<uint8_t> chunked;
    for (size_t done = 0; done < size;) {
        seed = seed * 1103515245u + 12345u;
        const size_t chunk = std::min<size_t>(size - done, 1 + (seed >> 16) % 17);
        // Decode in place in a copy of the chunk, as tightly sized as recv() would fill it.
        std::vector<uint8_t> buffer(data + done, data + done + chunk);
        const size_t payload = decoder.decode(buffer.data(), chunk, buffer.data());
        if (payload > chunk)
            std::abort();
        chunked.insert(chunked.end(), buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(payload));
        done += chunk;
    }
    if (chunked != whole)
        std::abort();
    return 0;
}
