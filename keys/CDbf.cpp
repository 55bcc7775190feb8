// The DBF table engine: header and descriptor handling, record I/O with read-ahead and collected appends,
// and the field conversions of every field type.
#include "keys/CDbf.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iconv.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

#include <glib.h>

#include "app/FormatText.h"
#include "app/i18n.h"
#include "keys/LittleEndian.h"

namespace {

// Header offsets.
constexpr std::size_t kOffYear = 1;
constexpr std::size_t kOffRecordCount = 4;
constexpr std::size_t kOffHeaderLength = 8;
constexpr std::size_t kOffRecordLength = 10;
constexpr std::size_t kOffLanguage = 29;
constexpr std::uint16_t kMinHeaderLength = 33; // header and terminator, no fields
constexpr int kYearBase = 1900;

constexpr std::size_t kReadAheadBytes = 64 * 1024;
constexpr std::size_t kMaxPendingBytes = 1024 * 1024;

[[noreturn]] void throw_bad_format() {
    throw std::runtime_error(_("Bad database format."));
}

// Today's local date as the header stores it; recomputed at most once per second, and when the time zone
// was set anew (tzset) since.
struct HeaderDate {
    std::uint8_t year, month, day;
};
HeaderDate today() {
    thread_local std::time_t cached_at = -1;
    thread_local long cached_zone = 0;
    thread_local HeaderDate cached{};
    const std::time_t now = std::time(nullptr);
    if (now != cached_at || timezone != cached_zone) {
        std::tm tm{};
        localtime_r(&now, &tm);
        cached = {static_cast<std::uint8_t>(tm.tm_year), static_cast<std::uint8_t>(tm.tm_mon + 1),
                  static_cast<std::uint8_t>(tm.tm_mday)};
        cached_at = now;
        cached_zone = timezone;
    }
    return cached;
}

// Plain loops: string_view's find_first_not_of looks each byte up in its set with a library call. Text
// fields are mostly padding, so the blanks at the end are skipped eight at a time.
std::string_view trim_blanks(std::string_view s) {
    constexpr std::uint64_t kEightBlanks = 0x2020202020202020ull;
    std::size_t first = 0, end = s.size();
    for (std::uint64_t word = 0; end >= 8; end -= 8) {
        std::memcpy(&word, s.data() + end - 8, 8);
        if (word != kEightBlanks)
            break;
    }
    while (end > 0 && s[end - 1] == ' ')
        --end;
    for (std::uint64_t word = 0; first + 8 <= end; first += 8) { // numbers stand right-aligned
        std::memcpy(&word, s.data() + first, 8);
        if (word != kEightBlanks)
            break;
    }
    while (first < end && s[first] == ' ')
        ++first;
    return s.substr(first, end - first);
}

// Decimal number at the start of text, as atoi reads it (leading blanks, a sign, digits; 0 if none).
int leading_int(const std::string& text) {
    return static_cast<int>(std::strtol(text.c_str(), nullptr, 10));
}

// The conversions of one code page, worked out once through iconv itself so that they give exactly iconv's
// answers: each byte's UTF-8 text, and the byte of each character the code page has. Character fields then
// convert with a table look-up per byte instead of an iconv call per field; whatever the tables do not
// answer (a byte or character iconv refuses, text that is not UTF-8) takes the iconv path, with its errors.
class CCodePageTable {
public:
    explicit CCodePageTable(DbfCodePage cp) {
        for (int b = 0; b < 0x80; ++b) { // both code pages keep ASCII as it is
            m_utf8[b][0] = static_cast<char>(b);
            m_length[b] = 1;
        }
        const char* name = dbf_code_page_name(cp);
        const iconv_t to_utf8 = iconv_open("UTF-8", name);
        const iconv_t from_utf8 = iconv_open(name, "UTF-8");
        if (to_utf8 != reinterpret_cast<iconv_t>(-1) && from_utf8 != reinterpret_cast<iconv_t>(-1)) {
            for (int b = 0x80; b < 0x100; ++b)
                learn(to_utf8, from_utf8, static_cast<std::uint8_t>(b));
            std::sort(m_bytes.begin(), m_bytes.end());
        }
        m_direct.fill(-1);
        for (const auto& [c, byte] : m_bytes)
            if (c < kDirect)
                m_direct[c] = byte;
        for (iconv_t cd : {to_utf8, from_utf8})
            if (cd != reinterpret_cast<iconv_t>(-1))
                iconv_close(cd);
    }

    // The UTF-8 text of bytes (no zero byte among them); false when a byte is not known.
    bool decode(std::string_view bytes, std::string& out) const {
        char buf[4 * 256];
        char* end = buf;
        for (const unsigned char b : bytes.substr(0, 256)) {
            const std::uint8_t n = m_length[b];
            if (n == 0)
                return false;
            std::memcpy(end, m_utf8[b], 4); // whole entries: the unused bytes are overwritten next
            end += n;
        }
        if (bytes.size() > 256) // a field is at most 255 bytes long
            return false;
        out.assign(buf, end);
        return true;
    }

    // Writes the code-page bytes of UTF-8 text to dst (room for `room` bytes); the count written, or -1 when
    // a character is not known, the text is not UTF-8 or it does not fit.
    long encode(std::string_view text, char* dst, std::size_t room) const {
        std::size_t n = 0;
        for (std::size_t i = 0; i < text.size();) {
            char32_t c = 0;
            const auto lead = static_cast<unsigned char>(text[i]);
            if (lead < 0x80) {
                c = lead;
                i += 1;
            } else if (!next_char(text, i, c)) {
                return -1;
            }
            int byte = c < 0x80 ? static_cast<int>(c) : lookup(c);
            if (byte < 0 || n >= room)
                return -1;
            dst[n++] = static_cast<char>(byte);
        }
        return static_cast<long>(n);
    }

private:
    void learn(iconv_t to_utf8, iconv_t from_utf8, std::uint8_t b) {
        char in[1] = {static_cast<char>(b)};
        char out[8] = {};
        char* in_ptr = in;
        char* out_ptr = out;
        std::size_t in_left = 1, out_left = sizeof out;
        iconv(to_utf8, nullptr, nullptr, nullptr, nullptr);
        if (iconv(to_utf8, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1) ||
            in_left != 0)
            return;
        const auto length = static_cast<std::size_t>(out_ptr - out);
        if (length == 0 || length > sizeof m_utf8[b])
            return;
        std::memcpy(m_utf8[b], out, length);
        m_length[b] = static_cast<std::uint8_t>(length);
        // The way back, as iconv takes it; only a character that comes back as one byte is kept.
        std::string_view text(out, length);
        std::size_t at = 0;
        char32_t c = 0;
        if (!next_char(text, at, c) || at != length)
            return;
        char back[8];
        in_ptr = out;
        in_left = length;
        out_ptr = back;
        out_left = sizeof back;
        iconv(from_utf8, nullptr, nullptr, nullptr, nullptr);
        if (iconv(from_utf8, &in_ptr, &in_left, &out_ptr, &out_left) != static_cast<std::size_t>(-1) &&
            in_left == 0 && out_ptr - back == 1)
            m_bytes.emplace_back(c, static_cast<std::uint8_t>(back[0]));
    }

    // Decodes one multi-byte UTF-8 character of at most three bytes (the code pages have nothing beyond
    // them), refusing overlong forms and surrogates.
    static bool next_char(std::string_view text, std::size_t& i, char32_t& c) {
        const auto byte = [&text](std::size_t k) { return static_cast<unsigned char>(text[k]); };
        const unsigned char lead = byte(i);
        const auto continuation = [&](std::size_t k) { return k < text.size() && (byte(k) & 0xC0) == 0x80; };
        if (lead >= 0xC2 && lead <= 0xDF && continuation(i + 1)) {
            c = static_cast<char32_t>((lead & 0x1F) << 6 | (byte(i + 1) & 0x3F));
            i += 2;
            return true;
        }
        if (lead >= 0xE0 && lead <= 0xEF && continuation(i + 1) && continuation(i + 2)) {
            c = static_cast<char32_t>((lead & 0x0F) << 12 | (byte(i + 1) & 0x3F) << 6 | (byte(i + 2) & 0x3F));
            if (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF))
                return false;
            i += 3;
            return true;
        }
        return false;
    }

    int lookup(char32_t c) const {
        if (c < kDirect)
            return m_direct[c];
        const auto it =
            std::lower_bound(m_bytes.begin(), m_bytes.end(), std::pair<char32_t, std::uint8_t>(c, 0));
        return it != m_bytes.end() && it->first == c ? it->second : -1;
    }

    // Latin-1 and Cyrillic, where nearly every character of a description lies, without a search.
    static constexpr char32_t kDirect = 0x500;
    std::array<std::int16_t, kDirect> m_direct{};
    char m_utf8[256][4] = {};
    std::array<std::uint8_t, 256> m_length{};
    std::vector<std::pair<char32_t, std::uint8_t>> m_bytes; // sorted by character
};

const CCodePageTable& code_page_table(DbfCodePage cp) {
    static const CCodePageTable cp866(DbfCodePage::kCp866);
    static const CCodePageTable win1251(DbfCodePage::kWindows1251);
    return cp == DbfCodePage::kCp866 ? cp866 : win1251;
}

} // namespace

// File bytes of a character field to UTF-8, as ansiToUtf8 converts them.
std::string dbf_decode_text(DbfCodePage cp, std::string_view bytes) {
    bytes = bytes.substr(0, std::min(bytes.size(), bytes.find('\0')));
    std::string out;
    if (!code_page_table(cp).decode(bytes, out))
        return ansiToUtf8(cp, bytes); // fails the way a direct conversion does
    return out;
}

// UTF-8 text to a character field's bytes, as utf8_to_ansi converts it.
std::string dbf_encode_text(DbfCodePage cp, std::string_view text) {
    std::string out(text.size(), '\0');
    const long n = code_page_table(cp).encode(text, out.data(), out.size());
    if (n < 0)
        return utf8_to_ansi(cp, text);
    out.resize(static_cast<std::size_t>(n));
    return out;
}

CDbf::CDbf() = default;

CDbf::~CDbf() {
    // Records that Append or a record move already wrote must reach the file; a failure here has nobody
    // left to report to, and the caller that cares uses Post or Close.
    try {
        if (IsOpen())
            FlushPending();
    } catch (const std::exception&) {
    }
    CloseFile();
}

std::uint16_t CDbf::GetHeaderLength() const {
    return get_le16(m_header + kOffHeaderLength);
}

std::uint16_t CDbf::GetRecordLength() const {
    return get_le16(m_header + kOffRecordLength);
}

std::uint64_t CDbf::RecordOffset(std::uint32_t index) const {
    return GetHeaderLength() + static_cast<std::uint64_t>(GetRecordLength()) * index;
}

void CDbf::CloseFile() noexcept {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_record.clear();
    m_record.shrink_to_fit();
    m_tail.clear();
    m_cache.clear();
    m_cache_count = 0;
    m_header_dirty = false;
    m_modified = false;
    m_current = -1;
}

// ---- opening, creating, closing ----

void CDbf::Open(const std::filesystem::path& path, bool read_only) {
    if (IsOpen())
        Close();
    m_file_name = path.string();
    // Non-blocking, so that a FIFO or a device named like a table cannot hold the caller in open().
    const int fd = ::open(m_file_name.c_str(), (read_only ? O_RDONLY : O_RDWR) | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw std::runtime_error(
            format_text(_("Failed to open database \"%s\": %s"), m_file_name.c_str(), g_strerror(errno)));
    m_fd = fd;
    try {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            throw std::runtime_error(
                format_text(_("Failed to open database \"%s\": %s"), m_file_name.c_str(), g_strerror(errno)));
        if (!S_ISREG(st.st_mode))
            throw std::runtime_error(format_text(_("Failed to open database \"%s\": %s"), m_file_name.c_str(),
                                                 _("not a regular file")));
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        const auto size = static_cast<std::uint64_t>(st.st_size);
        ReadHeader(size);
        ReadDescriptors();
    } catch (...) {
        CloseFile();
        throw;
    }
    SetUp(m_header[kOffLanguage] == kLangCp866 ? DbfCodePage::kCp866 : DbfCodePage::kWindows1251);
}

// Takes the header and checks its sizes against the file. A record count beyond the file's end (a file
// cut short) is lowered to the complete records the file holds.
void CDbf::ReadHeader(std::uint64_t file_size) {
    if (file_size < kHeaderSize ||
        ::pread(m_fd, m_header, kHeaderSize, 0) != static_cast<ssize_t>(kHeaderSize))
        throw_bad_format();
    const std::uint16_t header_length = GetHeaderLength();
    const std::uint16_t record_length = GetRecordLength();
    if (header_length < kMinHeaderLength || header_length > file_size || record_length == 0)
        throw_bad_format();
    const std::uint64_t complete = (file_size - header_length) / record_length;
    m_record_count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(get_le32(m_header + kOffRecordCount), complete));
    put_le32(m_header + kOffRecordCount, m_record_count);
}

// Takes the descriptors (header length / 32 - 1 of them, ending early at a terminator) and checks that
// the terminator lies inside the header and the record length is the flag byte plus the field lengths.
void CDbf::ReadDescriptors() {
    const std::size_t slots = GetHeaderLength() / kDescriptorSize - 1;
    std::vector<DBFFIELD> fields(slots);
    const auto bytes = static_cast<ssize_t>(slots * kDescriptorSize);
    if (slots > 0 && ::pread(m_fd, fields.data(), static_cast<std::size_t>(bytes), kHeaderSize) != bytes)
        throw_bad_format();
    std::size_t count = 0;
    std::uint32_t record_length = 1;
    while (count < slots && static_cast<std::uint8_t>(fields[count].name[0]) != kTerminator) {
        record_length += fields[count].length;
        ++count;
    }
    // The descriptors end with the terminator, inside the header.
    std::uint8_t terminator = 0;
    const std::size_t terminator_at = kHeaderSize + count * kDescriptorSize;
    if (terminator_at >= GetHeaderLength() ||
        ::pread(m_fd, &terminator, 1, static_cast<off_t>(terminator_at)) != 1 || terminator != kTerminator)
        throw_bad_format();
    fields.resize(count);
    if (record_length != GetRecordLength())
        throw_bad_format();
    // A field of no bytes has no room for a value, not even a logical field's one letter.
    for (const DBFFIELD& f : fields)
        if (f.length == 0)
            throw std::runtime_error(
                format_text(_("Bad database format: field \"%s\" has length 0."),
                            std::string(f.name, strnlen(f.name, sizeof f.name)).c_str()));
    m_fields = std::move(fields);
}

void CDbf::SetUp(DbfCodePage cp) {
    m_code_page = cp;
    m_offsets.resize(m_fields.size());
    std::uint32_t offset = 1;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_offsets[i] = offset;
        offset += m_fields[i].length;
    }
    m_record.assign(GetRecordLength(), 0);
    m_current = -1;
    m_modified = false;
    m_header_dirty = false;
    m_tail.clear();
    m_cache.clear();
    m_cache_count = 0;
}

void CDbf::Create(const std::filesystem::path& path, const DBFFIELD* fields, int count) {
    if (IsOpen())
        Close();
    if (count < 0 || (count > 0 && fields == nullptr))
        throw std::invalid_argument("CDbf::Create: bad field list");
    std::uint32_t record_length = 1;
    for (int i = 0; i < count; ++i) {
        if (fields[i].length == 0)
            throw std::invalid_argument("CDbf::Create: field of length 0");
        record_length += fields[i].length;
    }
    const std::uint32_t header_length =
        kDescriptorSize * static_cast<std::uint32_t>(count) + kMinHeaderLength;
    if (record_length > 0xFFFF || header_length > 0xFFFF)
        throw std::invalid_argument("CDbf::Create: table too wide");

    m_file_name = path.string();
    const int fd = ::open(m_file_name.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        throw std::runtime_error(
            format_text(_("Failed to create database \"%s\": %s"), m_file_name.c_str(), g_strerror(errno)));
    m_fd = fd;
    m_fields.assign(fields, fields + count);
    std::memset(m_header, 0, sizeof m_header);
    m_header[0] = kVersion;
    put_le16(m_header + kOffHeaderLength, header_length);
    put_le16(m_header + kOffRecordLength, record_length);
    m_header[kOffLanguage] = kLangCp866;
    m_record_count = 0;
    StampToday();

    std::vector<std::uint8_t> image(header_length);
    std::memcpy(image.data(), m_header, kHeaderSize);
    if (count > 0)
        std::memcpy(image.data() + kHeaderSize, fields, kDescriptorSize * static_cast<std::size_t>(count));
    image.back() = kTerminator;
    try {
        WriteAt(0, image.data(), image.size());
    } catch (...) {
        CloseFile();
        throw;
    }
    SetUp(DbfCodePage::kCp866);
}

void CDbf::Close() {
    if (!IsOpen())
        return;
    try {
        WriteModified();
        FlushPending();
    } catch (...) {
        CloseFile();
        throw;
    }
    CloseFile();
}

// ---- record I/O ----

void CDbf::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
    auto p = static_cast<const std::uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error(format_text(_("Failed to write database \"%s\": %s"),
                                                 m_file_name.c_str(), g_strerror(n < 0 ? errno : ENOSPC)));
        p += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
}

// Reads one record; bytes the file does not have (an index past its end) read as blanks.
void CDbf::ReadRecordAt(std::uint32_t index, std::uint8_t* dst) {
    const std::size_t rl = GetRecordLength();
    if (!m_tail.empty() && index >= m_tail_first && index < m_record_count) {
        std::memcpy(dst, m_tail.data() + (index - m_tail_first) * rl, rl);
        return;
    }
    if (index >= m_cache_first && index < m_cache_first + m_cache_count) {
        std::memcpy(dst, m_cache.data() + (index - m_cache_first) * rl, rl);
        return;
    }
    const std::uint32_t in_file = m_tail.empty() ? m_record_count : m_tail_first;
    if (index < in_file) {
        const std::size_t want =
            std::min<std::size_t>(std::max<std::size_t>(kReadAheadBytes / rl, 1), in_file - index);
        m_cache.resize(want * rl);
        const ssize_t got =
            ::pread(m_fd, m_cache.data(), m_cache.size(), static_cast<off_t>(RecordOffset(index)));
        m_cache_first = index;
        m_cache_count = got > 0 ? static_cast<std::uint32_t>(static_cast<std::size_t>(got) / rl) : 0;
        if (m_cache_count > 0) {
            std::memcpy(dst, m_cache.data(), rl);
            return;
        }
    }
    std::memset(dst, kLiveFlag, rl);
    const ssize_t got = ::pread(m_fd, dst, rl, static_cast<off_t>(RecordOffset(index)));
    if (got > 0 && static_cast<std::size_t>(got) < rl)
        std::memset(dst + got, kLiveFlag, rl - static_cast<std::size_t>(got));
}

void CDbf::WriteRecordAt(std::uint32_t index, const std::uint8_t* src) {
    const std::size_t rl = GetRecordLength();
    if (index >= m_cache_first && index < m_cache_first + m_cache_count)
        std::memcpy(m_cache.data() + (index - m_cache_first) * rl, src, rl);
    if (!m_tail.empty() && index >= m_tail_first && index < m_record_count)
        std::memcpy(m_tail.data() + (index - m_tail_first) * rl, src, rl);
    else
        WriteAt(RecordOffset(index), src, rl);
}

void CDbf::StampToday() {
    const HeaderDate d = today();
    if (m_header[kOffYear] != d.year || m_header[kOffYear + 1] != d.month ||
        m_header[kOffYear + 2] != d.day) {
        m_header[kOffYear] = d.year;
        m_header[kOffYear + 1] = d.month;
        m_header[kOffYear + 2] = d.day;
        m_header_dirty = true;
    }
}

void CDbf::WriteRecord() {
    m_modified = false;
    if (m_current < 0) // no record to write to
        return;
    StampToday();
    WriteRecordAt(static_cast<std::uint32_t>(m_current), m_record.data());
}

void CDbf::WriteModified() {
    if (m_modified)
        WriteRecord();
}

void CDbf::WriteHeader() {
    put_le32(m_header + kOffRecordCount, m_record_count);
    WriteAt(0, m_header, kHeaderSize);
    m_header_dirty = false;
}

// Writes collected appended records in one go, then the header if it changed.
void CDbf::FlushPending() {
    if (!m_tail.empty()) {
        WriteAt(RecordOffset(m_tail_first), m_tail.data(), m_tail.size());
        m_tail.clear();
    }
    if (m_header_dirty)
        WriteHeader();
}

void CDbf::Truncate(std::uint32_t count) {
    m_record_count = count;
    m_tail.clear();
    m_cache_count = 0;
    WriteHeader();
    if (::ftruncate(m_fd, static_cast<off_t>(RecordOffset(count))) != 0)
        throw std::runtime_error(
            format_text(_("Failed to write database \"%s\": %s"), m_file_name.c_str(), g_strerror(errno)));
    m_current = -1;
    m_modified = false;
}

// ---- navigation and record operations ----

void CDbf::GoToRecord(std::int32_t index) {
    if (!IsOpen())
        throw std::logic_error("CDbf::GoToRecord: no open table");
    if (index < 0)
        throw std::out_of_range("CDbf::GoToRecord: negative record index");
    WriteModified();
    m_current = index;
    ReadRecordAt(static_cast<std::uint32_t>(index), m_record.data());
}

void CDbf::Append(int n) {
    if (n < 1 || !IsOpen())
        return;
    WriteModified();
    const std::size_t rl = GetRecordLength();
    if (m_tail.empty()) {
        m_tail_first = m_record_count;
        m_tail.reserve(kMaxPendingBytes + rl); // grows without moving until it is flushed
    }
    m_tail.resize(m_tail.size() + rl * static_cast<std::size_t>(n), kLiveFlag);
    m_record_count += static_cast<std::uint32_t>(n);
    m_header_dirty = true;
    std::fill(m_record.begin(), m_record.end(), kLiveFlag);
    m_current = static_cast<std::int32_t>(m_record_count - 1);
    if (m_tail.size() >= kMaxPendingBytes)
        FlushPending();
}

void CDbf::Post() {
    if (!IsOpen())
        return;
    WriteModified();
    FlushPending();
}

void CDbf::Sync() {
    Post();
    if (IsOpen() && ::fsync(m_fd) != 0)
        throw std::runtime_error(
            format_text(_("Failed to write database \"%s\": %s"), m_file_name.c_str(), g_strerror(errno)));
}

void CDbf::Cancel() {
    m_modified = false;
    if (IsOpen() && m_current >= 0)
        ReadRecordAt(static_cast<std::uint32_t>(m_current), m_record.data());
}

void CDbf::SetDeleteStatus(bool deleted) {
    if (!IsOpen() || m_current < 0)
        return;
    m_record[0] = static_cast<std::uint8_t>(deleted ? kDeletedFlag : kLiveFlag);
    WriteRecord();
    FlushPending();
}

bool CDbf::GetDeleteStatus() const {
    return !m_record.empty() && m_record[0] == static_cast<std::uint8_t>(kDeletedFlag);
}

void CDbf::PackTable() {
    if (!IsOpen())
        return;
    Post();
    std::vector<std::uint8_t> rec(GetRecordLength());
    std::uint32_t live = 0;
    for (std::uint32_t i = 0; i < m_record_count; ++i) {
        ReadRecordAt(i, rec.data());
        if (rec[0] == static_cast<std::uint8_t>(kDeletedFlag))
            continue;
        if (live != i)
            WriteRecordAt(live, rec.data());
        ++live;
    }
    if (live < m_record_count) {
        StampToday();
        Truncate(live);
    }
    m_current = -1;
    m_modified = false;
}

void CDbf::EmptyTable() {
    if (!IsOpen())
        return;
    StampToday();
    Truncate(0);
}

// Opens n blank records at the current one, moving it and the records after it up by n.
void CDbf::Insert(int n) {
    if (n < 1 || !IsOpen() || m_current < 0 || static_cast<std::uint32_t>(m_current) > m_record_count)
        return;
    const auto at = static_cast<std::uint32_t>(m_current);
    const std::uint32_t old_count = m_record_count;
    Append(n);
    FlushPending();
    std::vector<std::uint8_t> rec(GetRecordLength());
    for (std::uint32_t i = old_count; i-- > at;) {
        ReadRecordAt(i, rec.data());
        WriteRecordAt(i + static_cast<std::uint32_t>(n), rec.data());
    }
    std::fill(rec.begin(), rec.end(), kLiveFlag);
    for (std::uint32_t i = at; i < at + static_cast<std::uint32_t>(n); ++i)
        WriteRecordAt(i, rec.data());
    m_current = static_cast<std::int32_t>(at);
    ReadRecordAt(at, m_record.data());
}

// Copies n records from the current one to dest; overlapping ranges are copied in the safe direction.
void CDbf::CopyTo(std::int32_t dest, int n) {
    if (n < 1 || dest < 0 || !IsOpen() || m_current < 0 ||
        static_cast<std::uint32_t>(m_current) >= m_record_count)
        return;
    const auto src = static_cast<std::uint32_t>(m_current);
    const auto to = static_cast<std::uint32_t>(dest);
    const std::uint32_t count = std::min<std::uint32_t>(static_cast<std::uint32_t>(n), m_record_count - src);
    WriteModified();
    const std::uint64_t end = static_cast<std::uint64_t>(to) + count;
    if (end > m_record_count)
        Append(static_cast<int>(end - m_record_count));
    FlushPending();
    std::vector<std::uint8_t> rec(GetRecordLength());
    for (std::uint32_t k = 0; k < count; ++k) {
        const std::uint32_t i = to > src ? count - 1 - k : k;
        ReadRecordAt(src + i, rec.data());
        WriteRecordAt(to + i, rec.data());
    }
    m_current = static_cast<std::int32_t>(src);
    ReadRecordAt(src, m_record.data());
}

void CDbf::SetCodePage(int cp) {
    if (!IsOpen())
        return;
    m_header[kOffLanguage] = cp == 1 ? kLangWin1251 : cp == 2 ? kLangCp866 : 0;
    m_code_page = cp == 2 ? DbfCodePage::kCp866 : DbfCodePage::kWindows1251;
    WriteHeader();
}

void CDbf::SetDbfDate(int day, int month, int year) {
    if (!IsOpen())
        return;
    m_header[kOffYear] = static_cast<std::uint8_t>(year);
    m_header[kOffYear + 1] = static_cast<std::uint8_t>(month);
    m_header[kOffYear + 2] = static_cast<std::uint8_t>(day);
    WriteAt(kOffYear, m_header + kOffYear, 3);
}

// ---- fields ----

const CDbf::DBFFIELD& CDbf::CheckedField(int field) const {
    if (m_record.empty())
        throw std::logic_error("CDbf: no open table");
    if (field < 0 || static_cast<std::size_t>(field) >= m_fields.size())
        throw std::out_of_range("CDbf: no such field");
    return m_fields[static_cast<std::size_t>(field)];
}

std::string_view CDbf::GetFieldRaw(int field) const {
    const DBFFIELD& f = CheckedField(field);
    const auto* p =
        reinterpret_cast<const char*>(m_record.data()) + m_offsets[static_cast<std::size_t>(field)];
    return trim_blanks(std::string_view(p, f.length));
}

bool CDbf::PutFieldAscii(int field, char type, std::string_view value, bool right) {
    if (field < 0 || static_cast<std::size_t>(field) >= m_fields.size())
        return false;
    const DBFFIELD& f = m_fields[static_cast<std::size_t>(field)];
    if (f.type != type || value.size() > f.length)
        return false;
    // Only a character field converts its bytes; ASCII is the same in both code pages. Checked eight
    // bytes at a time: a record holds a few dozen of them.
    if (type == 'C') {
        std::size_t i = 0;
        for (std::uint64_t word = 0; i + 8 <= value.size(); i += 8) {
            std::memcpy(&word, value.data() + i, 8);
            if (word & 0x8080808080808080ull)
                return false;
        }
        for (; i < value.size(); ++i)
            if (static_cast<unsigned char>(value[i]) >= 0x80)
                return false;
    }
    char* dst = reinterpret_cast<char*>(m_record.data()) + m_offsets[static_cast<std::size_t>(field)];
    std::memcpy(right ? dst + f.length - value.size() : dst, value.data(), value.size());
    return true;
}

bool CDbf::PutFieldText(int field, std::string_view value) {
    if (field < 0 || static_cast<std::size_t>(field) >= m_fields.size())
        return false;
    const DBFFIELD& f = m_fields[static_cast<std::size_t>(field)];
    if (f.type != 'C')
        return false;
    char* dst = reinterpret_cast<char*>(m_record.data()) + m_offsets[static_cast<std::size_t>(field)];
    return code_page_table(m_code_page).encode(value, dst, f.length) >= 0;
}

void CDbf::GetFieldsRaw(std::string_view* raw, int count) const {
    if (count > 0)
        CheckedField(count - 1);
    for (int i = 0; i < count; ++i) {
        const auto* p =
            reinterpret_cast<const char*>(m_record.data()) + m_offsets[static_cast<std::size_t>(i)];
        raw[i] = trim_blanks(std::string_view(p, m_fields[static_cast<std::size_t>(i)].length));
    }
}

Glib::ustring CDbf::DecodeCharField(std::string_view raw) const {
    raw = raw.substr(0, std::min(raw.size(), raw.find('\0'))); // fields are C strings
    if (raw.empty())
        return {};
    std::string text;
    if (!code_page_table(m_code_page).decode(raw, text))
        text = ansiToUtf8(m_code_page, raw); // fails the way a direct conversion does
    return Glib::ustring(std::move(text));
}

Glib::ustring CDbf::GetFieldData(int field) const {
    const DBFFIELD& f = CheckedField(field);
    std::string_view raw = GetFieldRaw(field);
    if (f.type == 'C')
        return DecodeCharField(raw);
    raw = raw.substr(0, std::min(raw.size(), raw.find('\0'))); // fields are C strings
    if (raw.empty())
        return {};
    // Other types hold ASCII; stray bytes of other software are read through the code page so that the
    // result is always valid UTF-8.
    std::string text = g_utf8_validate(raw.data(), static_cast<gssize>(raw.size()), nullptr)
                           ? std::string(raw)
                           : ansiToUtf8(m_code_page, raw);
    switch (f.type) {
    case 'F':
        if (const auto dot = text.find('.'); dot != std::string::npos)
            text.replace(dot, 1, std::localeconv()->decimal_point);
        break;
    case 'D':
        if (text.size() >= 8 && std::all_of(text.begin(), text.end(), [](char c) { return c > 0; }))
            // YYYYMMDD -> DD.MM.YY
            text = text.substr(6, 2) + "." + text.substr(4, 2) + "." + text.substr(2, 2);
        break;
    case 'L':
        text = std::strchr("TtYy", text[0]) ? "TRUE" : "FALSE";
        break;
    default:
        break;
    }
    return Glib::ustring(std::move(text));
}

void CDbf::SetFieldData(int field, const Glib::ustring& value) {
    SetFieldText(field, value.raw());
}

void CDbf::SetFieldText(int field, std::string_view value) {
    const DBFFIELD& f = CheckedField(field);
    // Counting characters costs a pass over the text; a text of no more bytes than the field fits anyway.
    const std::size_t n =
        value.size() <= f.length
            ? value.size()
            : static_cast<std::size_t>(g_utf8_pointer_to_offset(value.data(), value.data() + value.size()));
    // "FALSE" fits a one-byte logical field: it is stored as one letter. A field of no bytes takes nothing.
    if (f.length == 0 || (n > f.length && !(f.type == 'L' && n <= 5)))
        ThrowDbfException(CDbfException::kBadValue, m_file_name);
    char* dst = reinterpret_cast<char*>(m_record.data()) + m_offsets[static_cast<std::size_t>(field)];
    std::memset(dst, ' ', f.length);
    if (!value.empty()) {
        switch (f.type) {
        case 'D':
            SetFieldDate(f, dst, Glib::ustring(value.data(), value.size()));
            break;
        case 'F':
            SetFieldFloat(f, dst, Glib::ustring(value.data(), value.size()));
            break;
        case 'L':
            dst[0] = value == "TRUE" || value == "YES" ? 'T' : value == "FALSE" || value == "NO" ? 'F' : ' ';
            break;
        case 'N':
            if (value.size() > f.length) // more bytes than characters: not ASCII
                ThrowDbfException(CDbfException::kBadValue, m_file_name);
            std::memcpy(dst + f.length - value.size(), value.data(), value.size());
            break;
        default:
            SetFieldChar(f, dst, value);
            break;
        }
    }
    m_modified = true;
}

// DD.MM.YY (day from character 1, month from 4, year from 7) stored as YYYYMMDD; years below 51 are 20YY.
void CDbf::SetFieldDate(const DBFFIELD& f, char* dst, const Glib::ustring& value) {
    if (value.length() < 8)
        ThrowDbfException(CDbfException::kBadValue, m_file_name);
    const int day = leading_int(value.substr(0).raw());
    const int month = leading_int(value.substr(3).raw());
    int year = leading_int(value.substr(6).raw());
    year += year < 51 ? 2000 : kYearBase;
    char text[40];
    const int len = std::snprintf(text, sizeof text, "%.4d%.2d%.2d", year, month, day);
    if (len < 0 || static_cast<std::size_t>(len) > f.length)
        ThrowDbfException(CDbfException::kBadValue, m_file_name);
    std::memcpy(dst, text, static_cast<std::size_t>(len));
}

// The number with the field's decimal count, right-aligned, "." as the point and "-" for negatives. A
// magnitude below 1 gets a leading zero ("0.05"); a number that does not fit the field is refused.
void CDbf::SetFieldFloat(const DBFFIELD& f, char* dst, const Glib::ustring& value) {
    const double number = std::strtod(value.c_str(), nullptr);
    char text[400];
    const auto result = std::isfinite(number) ? std::to_chars(text, text + sizeof text, number,
                                                              std::chars_format::fixed, f.decimals)
                                              : std::to_chars_result{text, std::errc::invalid_argument};
    const auto len = static_cast<std::size_t>(result.ptr - text);
    if (result.ec != std::errc() || len > f.length)
        ThrowDbfException(CDbfException::kBadValue, m_file_name);
    std::memcpy(dst + f.length - len, text, len);
}

void CDbf::SetFieldChar(const DBFFIELD& f, char* dst, std::string_view value) {
    // Straight into the record when the table knows every character; otherwise the general way, which
    // also raises the conversion's own errors.
    if (code_page_table(m_code_page).encode(value, dst, f.length) >= 0)
        return;
    std::memset(dst, ' ', f.length);
    const std::string bytes = utf8_to_ansi(m_code_page, value);
    if (bytes.size() > f.length)
        ThrowDbfException(CDbfException::kBadValue, m_file_name);
    std::memcpy(dst, bytes.data(), bytes.size());
}
