// Small file and text helpers of the simulated reader world: whole-file reads, atomic replacement, hex text
// and the device-list line format shared by the stand-in reader library, kestrix-cards and the device
// simulator.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace rdxworld {

// One line of DIR/devices: "<port_type>\t<port_name>\t<model>\t<serial>\t<firmware>".
struct world_device {
    int port_type = 0;
    std::string port_name;
    int model = 0;
    int serial = -1;
    uint32_t firmware = 0;

    bool operator==(const world_device&) const = default;
};

// The whole file, or nothing when it cannot be read.
std::optional<std::string> read_text_file(const std::string& path);
// Writes "<path>.tmp.<pid>" and renames it over path, so that readers in other processes never see half a
// file. Throws std::runtime_error on failure.
void write_text_file_atomic(const std::string& path, const std::string& text);
// Appends one line under an exclusive advisory lock (creates the file when missing). Throws on failure.
void append_line_locked(const std::string& path, const std::string& line);
bool make_dir(const std::string& path);

// Port type from its number ("1") or name ("COM", case-insensitive); -1 when unknown.
int parse_port_type(const std::string& text);
const char* port_type_name(int port_type);
// Firmware as decimal, "0x" hexadecimal or dotted "a.b.c" (packed into bits 24-31, 16-23, 8-15).
std::optional<uint32_t> parse_firmware(const std::string& text);

// Malformed lines are skipped; '#' starts a comment line.
std::vector<world_device> parse_devices(const std::string& text);
std::string format_device_line(const world_device& device);

// A port name as a file name: characters other than letters, digits, '.', '-' and '_' become '_'.
std::string port_file_name(const std::string& port_name);

std::string to_hex(const uint8_t* data, size_t count);
// Exactly an even number of hex digits (blanks ignored); nothing on any other character.
std::optional<std::vector<uint8_t>> parse_hex(const std::string& text);
// Splits on blanks and tabs.
std::vector<std::string> split_words(const std::string& line);
std::vector<std::string> split_lines(const std::string& text);

} // namespace rdxworld
