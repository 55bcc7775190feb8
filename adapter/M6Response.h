// The M6 frame protocol on the wire: outgoing frames with their checksum, and the decoding of what the
// adapter sends back. Pure functions over bytes, so the decoder can be fed anything without a port.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Command bytes of the adapter.
inline constexpr uint8_t kM6Wake = 0x00;         // single byte, no checksum
inline constexpr uint8_t kM6SelectDallas = 0x11; // also the second step of every initialisation
inline constexpr uint8_t kM6SelectEmMarine = 0x12;
inline constexpr uint8_t kM6SelectKf300 = 0x1A;
inline constexpr uint8_t kM6StartKey = 0x13;     // wait for a key on the reader
inline constexpr uint8_t kM6KeyWritePage = 0x14; // through a DS1996L, 34 data bytes
inline constexpr uint8_t kM6KeyReadPage = 0x15;  // through a DS1996L, 2 data bytes
inline constexpr uint8_t kM6WritePage = 0x18;    // controller, 34 data bytes
inline constexpr uint8_t kM6ReadPage = 0x19;     // controller, 2 data bytes

// 0x5A plus every byte of a frame (or of a page response) is 0 modulo 256.
inline constexpr uint8_t kM6ChecksumSeed = 0x5A;

// First bytes of what the adapter sends.
inline constexpr uint8_t kM6Ack = 0xAA;
inline constexpr uint8_t kM6AckAlt = 0xAB;
inline constexpr uint8_t kM6Error = 0x55;
inline constexpr uint8_t kM6NotFound = 0xF0;
inline constexpr uint8_t kM6InfoByte = 0xF1;
inline constexpr uint8_t kM6Reply = 0xCC;
// Second byte of a 0xCC reply.
inline constexpr uint8_t kM6ReplyDone = 0x00;
inline constexpr uint8_t kM6ReplyDoneAlt = 0x41;
inline constexpr uint8_t kM6ReplyPage = 0x40;
inline constexpr uint8_t kM6ReplyKeyId = 0x20;

inline constexpr size_t kM6PageSize = 32;
inline constexpr size_t kM6KeyIdSize = 8;
inline constexpr size_t kM6PageReplySize = 2 + kM6PageSize + 1; // CC 40 D1..D32 CS
inline constexpr size_t kM6KeyIdReplySize = 2 + kM6KeyIdSize;   // CC 20 B2..B9

// Codes a response wait returns.
inline constexpr uint8_t kM6CodeBadChecksum = 0x00; // page data whose checksum is wrong
inline constexpr uint8_t kM6CodeDone = 0x01;
inline constexpr uint8_t kM6CodeInfo = 0x10;
inline constexpr uint8_t kM6CodeKeyId = 0x20;
inline constexpr uint8_t kM6CodePage = 0x40;
inline constexpr uint8_t kM6CodeError = 0x55; // also the timeout of a wait
inline constexpr uint8_t kM6CodeAck = 0xAA;
inline constexpr uint8_t kM6CodeNotFound = 0xF0;
inline constexpr uint8_t kM6CodeCancelled = 0xFF; // the command is no longer current

// The checksum byte closing a frame CMD, D1..Dn.
uint8_t M6_Checksum(uint8_t cmd, const uint8_t* data, size_t len);
// The frame for cmd: the single wake byte for 0, otherwise CMD, data, CS. `frame` is replaced.
void M6_BuildFrame(uint8_t cmd, const void* data, size_t len, std::vector<uint8_t>& frame);

// One response at the head of the receive buffer.
struct M6Response {
    enum class Kind {
        Incomplete, // a framed response that has not fully arrived (or nothing at all): wait for more
        Complete,   // `code` (and the page or key fields) are valid; `length` bytes belong to it
        Discard,    // bytes the protocol does not know: the buffer is to be emptied
        Hold,       // 0xF0 outside a controller read: left at the head while the wait runs on
    };
    Kind kind = Kind::Incomplete;
    uint8_t code = 0;
    size_t length = 0;
    std::array<uint8_t, kM6PageSize> page{};    // code 0x40
    std::array<uint8_t, kM6KeyIdSize> key_id{}; // code 0x20: family code first
    bool key_valid = false;                     // code 0x20: the ID's last byte is its Dallas checksum
    std::string info;                           // info status to show (0xF1, unknown 0xCC replies)
};

// Decodes the response at the head of data[0..size). f0_is_reply: 0xF0 is an answer (the controller is being
// read); otherwise it is held.
M6Response M6_DecodeResponse(const uint8_t* data, size_t size, bool f0_is_reply);
