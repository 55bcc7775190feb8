// Line reception of the adapter's ASCII protocol, as pure functions over the received bytes: lines end with
// CR, an LF at the start of a line is skipped, empty lines are skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

inline constexpr uint8_t kAsciiCR = 0x0D;
inline constexpr uint8_t kAsciiLF = 0x0A;

// Takes the next non-empty line from data[0..size). Returns the number of bytes it used up (the line, its CR,
// leading LFs and any empty lines before it) and sets `line`; returns 0 while no complete non-empty line has
// arrived. Leading LFs and empty lines in front of an incomplete line are not reported as used up.
size_t Ascii_TakeLine(const uint8_t* data, size_t size, std::string& line);

// Information lines that a caller may skip: "No card" in any case, and lines with '[' but no ':'.
bool Ascii_IsInfoLine(const std::string& line);
