// The text commands with which people (and scripts) drive a running simulator: touch and remove keys, present
// cards, inspect and replace controller memory, inject faults, switch pacing, start the TCP listener. Each
// command line gives one answer text: "ok ..." or "error: ...", or the requested listing.
#pragma once
#include <string>
#include <vector>

#include "sim/devsim/CWorld.h"

namespace devsim {

class CControlCommands {
public:
    explicit CControlCommands(CWorld& world) : m_world(world) {}

    std::string execute(const std::string& line);
    bool quit_requested() const { return m_quit; }
    static std::string help();

    // "0000000A1B2C" (six serial bytes, most significant first; family 0x01 and the CRC are added) or
    // sixteen digits for the whole ROM code K7..K0, CRC first. Separators ':' and '-' are ignored.
    static bool parse_dallas(const std::string& text, std::array<uint8_t, kDallasIdBytes>& rom);
    // "<series>,<number>" with series 0-255 and number 0-65535.
    static bool parse_em_marine(const std::string& text, unsigned& series, unsigned& number);
    // Ten hex digits: the five fob bytes in the order the adapter sends them.
    static bool parse_kf300(const std::string& text, std::array<uint8_t, kKf300Bytes>& fob);

private:
    std::string cmd_touch(const std::vector<std::string>& args);
    std::string cmd_present(const std::vector<std::string>& args);
    std::string cmd_controller(const std::vector<std::string>& args);
    std::string cmd_ds1996(const std::vector<std::string>& args);
    std::string cmd_fault(const std::vector<std::string>& args);
    std::string cmd_pace(const std::vector<std::string>& args);
    std::string status() const;

    CWorld& m_world;
    bool m_quit = false;
};

// Reads a whole file as bytes (at most `limit`); throws std::runtime_error naming the file on failure.
std::vector<uint8_t> read_file_bytes(const std::string& path, size_t limit);
void write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes);

} // namespace devsim
