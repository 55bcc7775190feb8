// Frame lengths, checksums and frame builders of the M-6 adapter protocol.
#include "sim/devsim/M6Wire.h"

#include <algorithm>

namespace devsim {

namespace {
constexpr size_t kShortFrame = 2;                                  // CMD, CS
constexpr size_t kPageRequestFrame = 1 + kAddrBytes + 1;           // CMD, address, CS
constexpr size_t kPageWriteFrame = 1 + kAddrBytes + kPageSize + 1; // CMD, address, page, CS
constexpr size_t kEmuPageFrame = 1 + kPageSize;
constexpr size_t kEmuDallasFrame = 1 + kDallasIdBytes;
} // namespace

size_t M6_FrameLength(uint8_t first) {
    switch (first) {
    case kCmdWake:
    case kEmuLineOff:
    case kEmuLineOn:
    case kEmuEnd:
        return 1;
    case kCmdSelectDallas:
    case kCmdSelectEmMarine:
    case kCmdSelectKf300:
    case kCmdStart:
        return kShortFrame;
    case kCmdKeyReadPage:
    case kCmdCtrlReadPage:
        return kPageRequestFrame;
    case kCmdKeyWritePage:
    case kCmdCtrlWritePage:
        return kPageWriteFrame;
    case kEmuStartDs1996:
    case kEmuPageAnswer:
        return kEmuPageFrame;
    case kEmuDallas:
        return kEmuDallasFrame;
    default:
        return 0;
    }
}

bool M6_IsEmulationByte(uint8_t first) {
    switch (first) {
    case kEmuLineOff:
    case kEmuLineOn:
    case kEmuStartDs1996:
    case kEmuPageAnswer:
    case kEmuEnd:
    case kEmuDallas:
        return true;
    default:
        return false;
    }
}

uint8_t M6_Checksum(const uint8_t* data, size_t n) {
    unsigned sum = kChecksumSeed;
    for (size_t i = 0; i < n; ++i)
        sum += data[i];
    return static_cast<uint8_t>(0x100 - (sum & 0xFF));
}

bool M6_ChecksumOk(const uint8_t* frame, size_t n) {
    unsigned sum = kChecksumSeed;
    for (size_t i = 0; i < n; ++i)
        sum += frame[i];
    return (sum & 0xFF) == 0;
}

// The frames are sized once and filled in place: growing a short vector by insertion trips GCC 12's
// -Warray-bounds at -O3 although it is correct.
std::vector<uint8_t> M6_PageFrame(const uint8_t* page) {
    std::vector<uint8_t> frame(2 + kPageSize + 1);
    frame[0] = kAnsFrame;
    frame[1] = kFramePage;
    std::copy_n(page, kPageSize, frame.begin() + 2);
    frame.back() = M6_Checksum(frame.data(), frame.size() - 1);
    return frame;
}

std::vector<uint8_t> M6_KeyIdFrame(const std::array<uint8_t, kDallasIdBytes>& rom) {
    std::vector<uint8_t> frame(2 + kDallasIdBytes);
    frame[0] = kAnsFrame;
    frame[1] = kFrameKeyId;
    for (size_t i = 0; i < kDallasIdBytes; ++i)
        frame[2 + i] = rom[kDallasIdBytes - 1 - i];
    return frame;
}

std::vector<uint8_t> M6_Kf300Frame(const std::array<uint8_t, kKf300Bytes>& fob) {
    std::vector<uint8_t> frame(1 + kKf300Bytes);
    frame[0] = kAnsFrame;
    std::copy(fob.begin(), fob.end(), frame.begin() + 1);
    return frame;
}

uint8_t dallas_crc8(const uint8_t* data, size_t n) {
    uint8_t crc = 0;
    for (size_t i = 0; i < n; ++i) {
        uint8_t byte = data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool mix = (crc ^ byte) & 1;
            crc >>= 1;
            if (mix)
                crc ^= 0x8C;
            byte >>= 1;
        }
    }
    return crc;
}

std::array<uint8_t, kDallasIdBytes> make_rom(uint8_t family, const std::array<uint8_t, 6>& serial) {
    std::array<uint8_t, kDallasIdBytes> rom{};
    rom[0] = family;
    for (size_t i = 0; i < serial.size(); ++i)
        rom[1 + i] = serial[i];
    rom[7] = dallas_crc8(rom.data(), 7);
    return rom;
}

} // namespace devsim
