// The adapter's ASCII protocol (9600 baud): "t57" lines that write and reset a Temic (T5557) tag on the
// reader.
#include <cctype>
#include <cstdio>
#include <sstream>
#include <utility>

#include "sim/devsim/CAdapterSim.h"

namespace devsim {

namespace {
constexpr size_t kMaxLine = 128;
constexpr uint8_t kCR = 0x0D;
constexpr uint8_t kLF = 0x0A;
constexpr unsigned kT57Reset = 0;
constexpr size_t kFieldsPlain = 8;     // code, block, D0..D3, mode, option
constexpr size_t kFieldsPassword = 12; // code, block, P0..P3, D0..D3, mode, option
constexpr size_t kTemicBlocks = 8;

const char* const kReplyOk = "OK";
const char* const kReplyNoTag = "err: no t5557";
const char* const kReplyNoWrite = "err: no write t5557";
const char* const kReplyBad = "err: bad command";

bool parse_hex_field(const std::string& text, unsigned& value) {
    if (text.empty() || text.size() > 2)
        return false;
    for (char c : text)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return false;
    value = static_cast<unsigned>(std::stoul(text, nullptr, 16));
    return true;
}

uint32_t word_of(const std::vector<unsigned>& f, size_t first) {
    return f[first] | (f[first + 1] << 8) | (f[first + 2] << 16) |
           (static_cast<uint32_t>(f[first + 3]) << 24);
}
} // namespace

void CAdapterSim::ascii_byte(uint8_t b, TimePoint at) {
    if (b == kLF)
        return;
    if (b != kCR) {
        if (m_line.size() < kMaxLine)
            m_line.push_back(static_cast<char>(b));
        else
            m_line_overflow = true;
        return;
    }
    std::string line = std::exchange(m_line, {});
    if (std::exchange(m_line_overflow, false)) {
        reply_line(kReplyBad, at);
        return;
    }
    if (!line.empty())
        on_ascii_line(line, at);
}

void CAdapterSim::reply_line(const std::string& text, TimePoint at) {
    std::string out = text + "\r\n";
    emit(at, std::vector<uint8_t>(out.begin(), out.end()));
}

void CAdapterSim::on_ascii_line(const std::string& line, TimePoint at) {
    ++m_counters.ascii_lines;
    if (m_silent_until_cleared || take_fault(Fault::Silence)) {
        ++m_counters.frames_ignored;
        return;
    }
    std::istringstream words(line);
    std::string word;
    words >> word;
    for (char& c : word)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<unsigned> fields;
    bool ok = word == "t57";
    while (ok && words >> word) {
        unsigned value = 0;
        ok = parse_hex_field(word, value);
        fields.push_back(value);
    }
    if (take_fault(Fault::NoCard))
        reply_line("No card", at);
    if (!ok || fields.empty()) {
        reply_line(kReplyBad, at);
        return;
    }
    on_t57(fields, at);
}

void CAdapterSim::on_t57(const std::vector<unsigned>& f, TimePoint at) {
    const unsigned code = f[0];
    const bool password = code == 3 || code == 4;
    const bool known = (code == kT57Reset && f.size() == 1) ||
                       ((code == 1 || code == 2) && f.size() == kFieldsPlain) ||
                       (password && f.size() == kFieldsPassword);
    if (!known || (code != kT57Reset && f[1] >= kTemicBlocks)) {
        reply_line(kReplyBad, at);
        return;
    }
    if (m_key.kind != KeyKind::Temic) {
        reply_line(kReplyNoTag, at);
        return;
    }
    if (code == kT57Reset) {
        ++m_temic.resets;
        reply_line(kReplyOk, at);
        return;
    }
    if (take_fault(Fault::TemicNoWrite)) {
        reply_line(kReplyNoWrite, at);
        return;
    }
    TemicWrite w;
    w.line_code = static_cast<int>(code);
    w.block = static_cast<uint8_t>(f[1]);
    w.has_password = password;
    const size_t data_at = password ? 6 : 2;
    if (password)
        w.password = word_of(f, 2);
    w.word = word_of(f, data_at);
    w.mode = static_cast<uint8_t>(f[data_at + 4]);
    w.option = static_cast<uint8_t>(f[data_at + 5]);
    m_temic.blocks[w.block] = w.word;
    m_temic.writes.push_back(w);
    ++m_counters.temic_writes;
    reply_line(kReplyOk, at);
}

} // namespace devsim
