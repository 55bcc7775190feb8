// Parsing and execution of the simulator's control commands.
#include "sim/devsim/CControlCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace devsim {

namespace {
constexpr size_t kSerialDigits = 12;
constexpr size_t kRomDigits = 16;
constexpr size_t kFobDigits = 10;
constexpr size_t kDefaultUnknownSize = 8192;
constexpr uint8_t kUnknownCode = 0xFF;
constexpr unsigned kMaxFaultCount = 1000000;

std::vector<std::string> split_words(const std::string& line) {
    std::istringstream in(line);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

std::string lower(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Hex digits (separators ':' and '-' skipped) as bytes, most significant first.
bool parse_hex_bytes(const std::string& text, size_t digits, std::vector<uint8_t>& out) {
    std::string clean;
    for (char c : text) {
        if (c == ':' || c == '-')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
        clean.push_back(c);
    }
    if (clean.size() != digits)
        return false;
    out.clear();
    for (size_t i = 0; i < clean.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoul(clean.substr(i, 2), nullptr, 16)));
    return true;
}

bool parse_unsigned(const std::string& text, unsigned long max, unsigned& value) {
    if (text.empty() || text.size() > 10 || !std::all_of(text.begin(), text.end(), [](char c) {
            return std::isdigit(static_cast<unsigned char>(c));
        }))
        return false;
    const unsigned long v = std::stoul(text);
    if (v > max)
        return false;
    value = static_cast<unsigned>(v);
    return true;
}

std::string hex(const uint8_t* data, size_t n) {
    std::string out;
    char cell[4];
    for (size_t i = 0; i < n; ++i) {
        std::snprintf(cell, sizeof cell, "%02X", data[i]);
        out += cell;
    }
    return out;
}

std::string error(const std::string& text) {
    return "error: " + text;
}

struct FaultName {
    const char* name;
    Fault kind;
};
constexpr FaultName kFaultNames[] = {{"noack", Fault::LostAck},        {"badcs", Fault::BadChecksum},
                                     {"badcrc", Fault::BadKeyCrc},     {"silence", Fault::Silence},
                                     {"nowrite", Fault::TemicNoWrite}, {"nocard", Fault::NoCard},
                                     {"vanish", Fault::Vanish}};
} // namespace

std::vector<uint8_t> read_file_bytes(const std::string& path, size_t limit) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot open " + path);
    std::vector<uint8_t> bytes;
    char c;
    while (bytes.size() <= limit && in.get(c))
        bytes.push_back(static_cast<uint8_t>(c));
    if (bytes.size() > limit)
        throw std::runtime_error(path + " is larger than " + std::to_string(limit) + " bytes");
    return bytes;
}

void write_file_bytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

bool CControlCommands::parse_dallas(const std::string& text, std::array<uint8_t, kDallasIdBytes>& rom) {
    std::vector<uint8_t> b;
    if (parse_hex_bytes(text, kSerialDigits, b)) {
        std::array<uint8_t, 6> serial{};
        std::reverse_copy(b.begin(), b.end(), serial.begin());
        rom = make_rom(kFamilyDs1990, serial);
        return true;
    }
    if (!parse_hex_bytes(text, kRomDigits, b))
        return false;
    std::reverse_copy(b.begin(), b.end(), rom.begin());
    return true;
}

bool CControlCommands::parse_em_marine(const std::string& text, unsigned& series, unsigned& number) {
    const auto comma = text.find(',');
    if (comma == std::string::npos)
        return false;
    return parse_unsigned(text.substr(0, comma), 0xFF, series) &&
           parse_unsigned(text.substr(comma + 1), 0xFFFF, number);
}

bool CControlCommands::parse_kf300(const std::string& text, std::array<uint8_t, kKf300Bytes>& fob) {
    std::vector<uint8_t> b;
    if (!parse_hex_bytes(text, kFobDigits, b))
        return false;
    std::copy(b.begin(), b.end(), fob.begin());
    return true;
}

std::string CControlCommands::help() {
    return "commands:\n"
           "  help                          this list\n"
           "  touch ds1996                  put the DS1996L on the reader\n"
           "  touch ds1990 <hex>            a DS1990A: 12 digits of serial (as the program shows it)\n"
           "  touch temic                   put the Temic (T5557) tag on the reader\n"
           "  remove                        take the key, card or tag off the reader\n"
           "  present dallas <hex>          a 1-Wire key: 12 serial digits, or 16 digits of ROM (CRC first)\n"
           "  present em <series>,<number>  an Em-Marine card\n"
           "  present kf300 <hex>           a KF-300 fob: 10 digits, the 5 frame bytes in order\n"
           "  controller type <1-4|unknown|none>   fresh controller of that memory type (none: "
           "disconnected)\n"
           "  controller dump <file>        write the controller memory to a file\n"
           "  controller load <file>        replace the controller memory by a file's bytes\n"
           "  controller clear              empty key list\n"
           "  controller keys               list the keys the controller holds\n"
           "  ds1996 dump <file> | ds1996 load <file>\n"
           "  fault <noack|badcs|badcrc|silence|nowrite|nocard|vanish|clear> [n]\n"
           "  pace <on|off>                 pace bytes at the line's baud rate\n"
           "  tcp                           start the TCP converter and print its port\n"
           "  status                        what the simulator holds and has seen\n"
           "  quit                          stop the simulator";
}

std::string CControlCommands::execute(const std::string& line) {
    const std::vector<std::string> words = split_words(line);
    if (words.empty())
        return "";
    const std::string cmd = lower(words[0]);
    const std::vector<std::string> args(words.begin() + 1, words.end());
    try {
        if (cmd == "help")
            return help();
        if (cmd == "touch")
            return cmd_touch(args);
        if (cmd == "present")
            return cmd_present(args);
        if (cmd == "remove" && args.empty()) {
            m_world.remove_key();
            return "ok: reader empty";
        }
        if (cmd == "controller")
            return cmd_controller(args);
        if (cmd == "ds1996")
            return cmd_ds1996(args);
        if (cmd == "fault")
            return cmd_fault(args);
        if (cmd == "pace")
            return cmd_pace(args);
        if (cmd == "tcp" && args.empty())
            return "ok: tcp port " + std::to_string(m_world.start_tcp(0));
        if (cmd == "status" && args.empty())
            return status();
        if (cmd == "quit" && args.empty()) {
            m_quit = true;
            return "ok: bye";
        }
    } catch (const std::exception& e) {
        return error(e.what());
    }
    return error("unknown command \"" + line + "\" (try help)");
}

std::string CControlCommands::cmd_touch(const std::vector<std::string>& args) {
    const std::string what = args.empty() ? "" : lower(args[0]);
    if (what == "ds1996" && args.size() == 1) {
        m_world.touch_ds1996();
        const auto rom = m_world.ds1996_rom();
        return "ok: DS1996L " + hex(rom.data(), rom.size()) + " on the reader";
    }
    if (what == "temic" && args.size() == 1) {
        m_world.touch_temic();
        return "ok: Temic tag on the reader";
    }
    std::array<uint8_t, kDallasIdBytes> rom{};
    if (what == "ds1990" && args.size() == 2 && parse_dallas(args[1], rom)) {
        m_world.touch_dallas(rom);
        return "ok: DS1990A on the reader";
    }
    return error("usage: touch ds1996 | touch ds1990 <12 hex digits> | touch temic");
}

std::string CControlCommands::cmd_present(const std::vector<std::string>& args) {
    const std::string what = args.empty() ? "" : lower(args[0]);
    if (args.size() != 2)
        return error("usage: present dallas <hex> | present em <series>,<number> | present kf300 <hex>");
    if (what == "dallas") {
        std::array<uint8_t, kDallasIdBytes> rom{};
        if (!parse_dallas(args[1], rom))
            return error("a Dallas key is 12 or 16 hex digits");
        m_world.touch_dallas(rom);
        return "ok: Dallas key on the reader";
    }
    if (what == "em") {
        unsigned series = 0, number = 0;
        if (!parse_em_marine(args[1], series, number))
            return error("an Em-Marine card is <series 0-255>,<number 0-65535>");
        m_world.present_em_marine(series, number);
        return "ok: Em-Marine card on the reader";
    }
    if (what == "kf300") {
        std::array<uint8_t, kKf300Bytes> fob{};
        if (!parse_kf300(args[1], fob))
            return error("a KF-300 fob is 10 hex digits");
        m_world.present_kf300(fob);
        return "ok: KF-300 fob in range";
    }
    return error("present dallas | em | kf300");
}

std::string CControlCommands::cmd_controller(const std::vector<std::string>& args) {
    const std::string what = args.empty() ? "" : lower(args[0]);
    if (what == "type" && args.size() == 2) {
        const std::string type = lower(args[1]);
        if (type == "none") {
            m_world.set_controller_present(false);
            return "ok: no controller on the adapter";
        }
        if (type == "unknown")
            m_world.set_controller_unknown(kDefaultUnknownSize, kUnknownCode);
        else if (type.size() == 1 && type[0] >= '1' && type[0] <= '4')
            m_world.set_controller_type(type[0] - '0');
        else
            return error("controller type 1, 2, 3, 4, unknown or none");
        m_world.set_controller_present(true);
        return "ok: controller of " + std::to_string(m_world.controller_memory().size()) + " bytes";
    }
    if (what == "dump" && args.size() == 2) {
        const auto memory = m_world.controller_memory();
        write_file_bytes(args[1], memory);
        return "ok: " + std::to_string(memory.size()) + " bytes written to " + args[1];
    }
    if (what == "load" && args.size() == 2) {
        auto bytes = read_file_bytes(args[1], kMaxMemSize);
        const size_t n = bytes.size();
        m_world.set_controller_memory(std::move(bytes));
        return "ok: " + std::to_string(n) + " bytes loaded";
    }
    if (what == "clear" && args.size() == 1) {
        m_world.set_controller_keys({});
        return "ok: key list empty";
    }
    if (what == "keys" && args.size() == 1) {
        std::string out = "ok: " + std::to_string(m_world.controller_keys().size()) + " keys";
        for (const SimKey& k : m_world.controller_keys()) {
            std::array<uint8_t, 6> msb_first{};
            std::reverse_copy(k.number.begin(), k.number.end(), msb_first.begin());
            out += "\n  " + (k.short_key ? hex(msb_first.data() + 3, 3) : hex(msb_first.data(), 6)) +
                   " attr " + std::to_string(k.attr);
        }
        return out;
    }
    return error("usage: controller type <1-4|unknown|none> | dump <file> | load <file> | clear | keys");
}

std::string CControlCommands::cmd_ds1996(const std::vector<std::string>& args) {
    const std::string what = args.empty() ? "" : lower(args[0]);
    if (what == "dump" && args.size() == 2) {
        write_file_bytes(args[1], m_world.ds1996_memory());
        return "ok: 8192 bytes written to " + args[1];
    }
    if (what == "load" && args.size() == 2) {
        auto bytes = read_file_bytes(args[1], CAdapterSim::kDs1996Size);
        bytes.resize(CAdapterSim::kDs1996Size, 0xFF);
        m_world.set_ds1996_memory(std::move(bytes));
        return "ok: DS1996L memory loaded";
    }
    return error("usage: ds1996 dump <file> | ds1996 load <file>");
}

std::string CControlCommands::cmd_fault(const std::vector<std::string>& args) {
    if (args.empty() || args.size() > 2)
        return error("usage: fault <kind> [n]");
    const std::string kind = lower(args[0]);
    if (kind == "clear" && args.size() == 1) {
        m_world.clear_faults();
        return "ok: faults cleared";
    }
    unsigned count = 1;
    if (args.size() == 2 && !parse_unsigned(args[1], kMaxFaultCount, count))
        return error("the count is a number up to 1000000");
    if (kind == "silence" && args.size() == 1)
        count = 0; // until cleared
    for (const FaultName& f : kFaultNames)
        if (kind == f.name) {
            m_world.inject(f.kind, count);
            return "ok: fault " + kind + (count ? " x" + std::to_string(count) : "");
        }
    return error("faults: noack badcs badcrc silence nowrite nocard vanish clear");
}

std::string CControlCommands::cmd_pace(const std::vector<std::string>& args) {
    if (args.size() == 1 && (lower(args[0]) == "on" || lower(args[0]) == "off")) {
        m_world.set_pacing(lower(args[0]) == "on");
        return "ok: pacing " + lower(args[0]);
    }
    return error("usage: pace <on|off>");
}

std::string CControlCommands::status() const {
    std::ostringstream out;
    const std::string pty = m_world.pty_path();
    out << "ok: status\n";
    out << "  port: " << (m_world.vanished() ? "vanished" : pty.empty() ? "no pseudo-terminal" : pty) << "\n";
    const uint16_t port = m_world.tcp_port();
    out << "  tcp: "
        << (port ? "127.0.0.1:" + std::to_string(port) + (m_world.tcp_connected() ? " (connected)" : "")
                 : "off")
        << "\n";
    const LineSettings line = m_world.line();
    out << "  line: " << line.baud << " baud, " << (line.two_stop_bits ? 2 : 1) << " stop bits, DTR "
        << (line.dtr ? "on" : "off") << ", RTS " << (line.rts ? "on" : "off") << ", pacing "
        << (m_world.pacing() ? "on" : "off") << "\n";
    if (m_world.controller_present())
        out << "  controller: type " << m_world.controller_type() << ", "
            << m_world.controller_memory().size() << " bytes, " << m_world.controller_keys().size()
            << " keys\n";
    else
        out << "  controller: none\n";
    const ReaderKey key = m_world.reader_key();
    static const char* const kinds[] = {"nothing",        "Dallas key", "DS1996L",
                                        "Em-Marine card", "KF-300 fob", "Temic tag"};
    out << "  reader: " << kinds[static_cast<int>(key.kind)] << "\n";
    const TemicTag tag = m_world.temic();
    out << "  temic: " << tag.writes.size() << " block writes, " << tag.resets << " resets; blocks";
    for (uint32_t word : tag.blocks) {
        char cell[12];
        std::snprintf(cell, sizeof cell, " %08X", word);
        out << cell;
    }
    const Counters c = m_world.counters();
    out << "\n  counters: " << c.bytes_in << " bytes in, " << c.bytes_out << " out, " << c.frames_in
        << " frames, " << c.ctrl_pages_read << "/" << c.ctrl_pages_written
        << " controller pages read/written, " << c.key_pages_read << "/" << c.key_pages_written
        << " key pages, " << c.key_frames_out << " key frames, " << c.bad_checksums_in << " bad checksums";
    return out.str();
}

} // namespace devsim
