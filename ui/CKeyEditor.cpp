// The ROM code of an emulated Dallas key.
#include "ui/CKeyEditor.h"

#include <algorithm>

#include "keys/KeyNumber.h"

namespace {
constexpr std::uint8_t kDallasFamily = 0x01;
constexpr std::size_t kSerialBytes = 6;
} // namespace

void make_emulation_rom(const CCardUID& number, std::uint8_t rom[8]) {
    std::fill(rom, rom + 8, std::uint8_t{0});
    rom[0] = kDallasFamily;
    const std::size_t n = std::min<std::size_t>(number.length, kSerialBytes);
    std::copy(number.bytes, number.bytes + n, rom + 1);
    rom[7] = get_dallas_cs(rom);
}
