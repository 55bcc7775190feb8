// Bytes of the M-6 adapter's binary protocol as the adapter sees them: command codes, answers, frame lengths,
// checksums and the key frames it sends while scanning.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace devsim {

constexpr size_t kPageSize = 32;
constexpr uint8_t kChecksumSeed = 0x5A; // the seed plus every byte of a frame sums to 0 modulo 256

// Commands from the program.
constexpr uint8_t kCmdWake = 0x00;
constexpr uint8_t kCmdSelectDallas = 0x11;
constexpr uint8_t kCmdSelectEmMarine = 0x12;
constexpr uint8_t kCmdStart = 0x13;
constexpr uint8_t kCmdKeyWritePage = 0x14;
constexpr uint8_t kCmdKeyReadPage = 0x15;
constexpr uint8_t kCmdCtrlWritePage = 0x18;
constexpr uint8_t kCmdCtrlReadPage = 0x19;
constexpr uint8_t kCmdSelectKf300 = 0x1A;

// Emulation bytes from the program (not framed, no checksum, no acknowledgement).
constexpr uint8_t kEmuLineOff = 0x5A;
constexpr uint8_t kEmuLineOn = 0x41;
constexpr uint8_t kEmuStartDs1996 = 0x45;
constexpr uint8_t kEmuPageAnswer = 0x53;
constexpr uint8_t kEmuEnd = 0x57;
constexpr uint8_t kEmuDallas = 0x44;
// Emulation bytes to the program.
constexpr uint8_t kEmuPageRequest = 0x51;
constexpr uint8_t kEmuPageWritten = 0x52;

// Answers to the program.
constexpr uint8_t kAnsAck = 0xAA;
constexpr uint8_t kAnsAckLowPower = 0xAB;
constexpr uint8_t kAnsError = 0x55;
constexpr uint8_t kAnsNoController = 0xF0;
constexpr uint8_t kAnsFrame = 0xCC;
constexpr uint8_t kFrameDone = 0x00;
constexpr uint8_t kFrameDoneKey = 0x41;
constexpr uint8_t kFramePage = 0x40;
constexpr uint8_t kFrameKeyId = 0x20;

constexpr size_t kAddrBytes = 2;
constexpr size_t kDallasIdBytes = 8;
constexpr size_t kKf300Bytes = 5;
constexpr uint8_t kFamilyDs1990 = 0x01;
constexpr uint8_t kFamilyDs1996 = 0x0C;
constexpr uint8_t kEmMarineMarker = 0x01;

// Total length of the frame that starts with `first`, or 0 when the adapter does not know the byte.
size_t M6_FrameLength(uint8_t first);
// True for the emulation bytes, which carry no checksum.
bool M6_IsEmulationByte(uint8_t first);
// The checksum byte that completes `data` so that the seed plus all bytes is 0 modulo 256.
uint8_t M6_Checksum(const uint8_t* data, size_t n);
bool M6_ChecksumOk(const uint8_t* frame, size_t n);
// CC 40, the 32 page bytes, checksum.
std::vector<uint8_t> M6_PageFrame(const uint8_t* page);
// CC 20 and the 8 ROM bytes K0..K7 in reverse order (the adapter sends the CRC first).
std::vector<uint8_t> M6_KeyIdFrame(const std::array<uint8_t, kDallasIdBytes>& rom);
// CC and the 5 fob bytes as received from the air.
std::vector<uint8_t> M6_Kf300Frame(const std::array<uint8_t, kKf300Bytes>& fob);

// The 1-Wire CRC-8 (reflected polynomial 0x8C, initial 0) over n bytes.
uint8_t dallas_crc8(const uint8_t* data, size_t n);
// A ROM code K0..K7: family, six serial bytes (lowest first), CRC.
std::array<uint8_t, kDallasIdBytes> make_rom(uint8_t family, const std::array<uint8_t, 6>& serial);

} // namespace devsim
