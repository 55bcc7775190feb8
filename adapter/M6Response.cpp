// M6 frames and the decoder of adapter responses.
#include "adapter/M6Response.h"

#include <cstdio>
#include <cstring>

#include "keys/KeyNumber.h"

namespace {

uint8_t sum_bytes(uint8_t start, const uint8_t* data, size_t len) {
    unsigned sum = start;
    for (size_t i = 0; i < len; ++i)
        sum += data[i];
    return static_cast<uint8_t>(sum);
}

std::string info_text(uint8_t code) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%.2X", code);
    return text;
}

M6Response complete(uint8_t code, size_t length) {
    M6Response r;
    r.kind = M6Response::Kind::Complete;
    r.code = code;
    r.length = length;
    return r;
}

M6Response incomplete() {
    return M6Response{};
}

// Page data: CC 40 D1..D32 CS; a wrong checksum is reported as code 0 so that the caller asks again.
M6Response decode_page(const uint8_t* data, size_t size) {
    if (size < kM6PageReplySize)
        return incomplete();
    if (sum_bytes(kM6ChecksumSeed, data, kM6PageReplySize) != 0)
        return complete(kM6CodeBadChecksum, kM6PageReplySize);
    M6Response r = complete(kM6CodePage, kM6PageReplySize);
    std::memcpy(r.page.data(), data + 2, kM6PageSize);
    return r;
}

// Key identifier: CC 20 B2..B9, the ID is B9..B2; its last byte is the Dallas checksum of the first seven.
M6Response decode_key_id(const uint8_t* data, size_t size) {
    if (size < kM6KeyIdReplySize)
        return incomplete();
    M6Response r = complete(kM6CodeKeyId, kM6KeyIdReplySize);
    for (size_t i = 0; i < kM6KeyIdSize; ++i)
        r.key_id[i] = data[kM6KeyIdReplySize - 1 - i];
    r.key_valid = r.key_id[kM6KeyIdSize - 1] == get_dallas_cs(r.key_id.data());
    return r;
}

M6Response decode_reply(const uint8_t* data, size_t size) {
    if (size < 2)
        return incomplete();
    switch (data[1]) {
    case kM6ReplyDone:
    case kM6ReplyDoneAlt:
        return complete(kM6CodeDone, 2);
    case kM6ReplyPage:
        return decode_page(data, size);
    case kM6ReplyKeyId:
        return decode_key_id(data, size);
    default: {
        M6Response r = complete(kM6CodeInfo, 2);
        r.info = info_text(data[1]);
        return r;
    }
    }
}

} // namespace

uint8_t M6_Checksum(uint8_t cmd, const uint8_t* data, size_t len) {
    return static_cast<uint8_t>(0x100 - sum_bytes(static_cast<uint8_t>(kM6ChecksumSeed + cmd), data, len));
}

void M6_BuildFrame(uint8_t cmd, const void* data, size_t len, std::vector<uint8_t>& frame) {
    frame.clear();
    frame.push_back(cmd);
    if (cmd == kM6Wake)
        return;
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (bytes && len)
        frame.insert(frame.end(), bytes, bytes + len);
    else
        len = 0;
    frame.push_back(M6_Checksum(cmd, bytes, len));
}

M6Response M6_DecodeResponse(const uint8_t* data, size_t size, bool f0_is_reply) {
    if (size == 0)
        return incomplete();
    switch (data[0]) {
    case kM6Ack:
    case kM6AckAlt:
        return complete(kM6CodeAck, 1);
    case kM6Error:
        return complete(kM6CodeError, 1);
    case kM6NotFound:
        if (f0_is_reply)
            return complete(kM6CodeNotFound, 1);
        {
            M6Response r;
            r.kind = M6Response::Kind::Hold;
            return r;
        }
    case kM6InfoByte: {
        M6Response r = complete(kM6CodeInfo, 1);
        r.info = info_text(kM6InfoByte);
        return r;
    }
    case kM6Reply:
        return decode_reply(data, size);
    default: {
        M6Response r;
        r.kind = M6Response::Kind::Discard;
        return r;
    }
    }
}
