// Fuzzes the decoding of adapter responses as a response wait meets them: the first input byte says whether
// 0xF0 counts as an answer, the rest is what the adapter sent. Every decoded response must lie within the
// bytes received, page data must carry a valid checksum, and nothing may read past the buffer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "adapter/M6Response.h"

namespace {

void check(bool ok) {
    if (!ok)
        std::abort();
}

void check_response(const uint8_t* data, size_t size, const M6Response& r) {
    if (r.kind != M6Response::Kind::Complete)
        return;
    check(r.length >= 1 && r.length <= size);
    if (r.code == kM6CodePage) {
        unsigned sum = kM6ChecksumSeed;
        for (size_t i = 0; i < r.length; ++i)
            sum += data[i];
        check((sum & 0xFF) == 0);
        for (size_t i = 0; i < kM6PageSize; ++i)
            check(r.page[i] == data[2 + i]);
    }
    if (r.code == kM6CodeKeyId)
        check(r.length == kM6KeyIdReplySize && r.key_id[0] == data[kM6KeyIdReplySize - 1]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    const bool f0_is_reply = data[0] & 1;
    // A copy of exactly the received bytes, so that any read beyond them is caught.
    const std::vector<uint8_t> wire(data + 1, data + size);
    size_t pos = 0;
    while (pos < wire.size()) {
        const size_t left = wire.size() - pos;
        const uint8_t* head = wire.data() + pos;
        const M6Response r = M6_DecodeResponse(head, left, f0_is_reply);
        check_response(head, left, r);
        // Bytes arriving one at a time never give a different answer once complete.
        if (r.kind == M6Response::Kind::Complete) {
            const M6Response again = M6_DecodeResponse(head, r.length, f0_is_reply);
            check(again.kind == M6Response::Kind::Complete && again.code == r.code);
            pos += r.length;
        } else if (r.kind == M6Response::Kind::Discard) {
            pos += 1;
        } else {
            break;
        }
    }
    return 0;
}
