// The key database file: its seven columns, the database record 0 and the mapping of key records.
#include "keys/CKeyDb.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string_view>

#include "app/Paths.h"
#include "app/i18n.h"
#include "keys/DbfCodePage.h"
#include "keys/KeyDbTime.h"
#include "keys/LittleEndian.h"

namespace {

struct ColumnSpec {
    const char* name;
    char type;
    std::uint8_t length;
};

// The columns a new database gets, which are also the minimum an existing one must have.
constexpr ColumnSpec kColumns[CKeyDb::kColumnCount] = {
    {"ID", 'N', 12},     {"ATTR", 'N', 4},      {"TYPE", 'N', 4},    {"SHORTNUM", 'N', 1},
    {"KEYNUM", 'C', 16}, {"COMMENT", 'C', 100}, {"CREATE", 'C', 16},
};

constexpr std::size_t kInfoReadSize = 512;

// Attribute codes of the file; they differ from KeyAttr for Blocking and Master.
constexpr int kDbNormal = 1;
constexpr int kDbMaster = 2;
constexpr int kDbBlocking = 3;
constexpr int kDbInactive = 4;

std::string_view c_string(std::string_view field) {
    return field.substr(0, std::min(field.size(), field.find('\0')));
}

// strtol/strtoul of a field's text; fields are short, so a stack copy gives the terminating zero.
struct FieldText {
    explicit FieldText(std::string_view text) {
        const std::size_t n = std::min(text.size(), sizeof buf - 1);
        if (n > 0)
            std::memcpy(buf, text.data(), n);
        buf[n] = '\0';
    }
    char buf[256];
};

// Plain digits, few enough not to overflow: the form every key record has, read without strtol.
bool plain_digits(std::string_view text, unsigned long& value) {
    if (text.empty() || text.size() > 9)
        return false;
    unsigned long v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + static_cast<unsigned long>(c - '0');
    }
    value = v;
    return true;
}

long field_to_long(std::string_view text) {
    if (unsigned long v = 0; plain_digits(text, v))
        return static_cast<long>(v);
    return std::strtol(FieldText(text).buf, nullptr, 10);
}

unsigned long field_to_ulong(std::string_view text) {
    if (unsigned long v = 0; plain_digits(text, v))
        return v;
    return std::strtoul(FieldText(text).buf, nullptr, 10);
}

// Decimal text of a value in buf (room for 24 characters).
template <typename T>
std::string_view decimal(char* buf, T value) {
    const auto r = std::to_chars(buf, buf + 24, value);
    return std::string_view(buf, static_cast<std::size_t>(r.ptr - buf));
}

} // namespace

int key_attr_to_db_code(KeyAttr attr) {
    switch (attr) {
    case KA_NORMAL:
        return kDbNormal;
    case KA_BLOCKING:
        return kDbBlocking;
    case KA_MASTER:
        return kDbMaster;
    case KA_INACTIVE:
        return kDbInactive;
    default:
        return static_cast<int>(attr);
    }
}

KeyAttr key_attr_from_db_code(long code) {
    switch (code) {
    case kDbMaster:
        return KA_MASTER;
    case kDbBlocking:
        return KA_BLOCKING;
    case kDbInactive:
        return KA_INACTIVE;
    default:
        return KA_NORMAL;
    }
}

CKeyDb::~CKeyDb() {
    // A pending database record is written here; a failure has nobody to report to. Callers that must
    // know use Close or Post themselves.
    try {
        Close();
    } catch (const std::exception&) {
    }
}

void CKeyDb::Connect(const std::filesystem::path& path, bool create) {
    std::error_code ec;
    if (create || !std::filesystem::exists(path, ec)) {
        DBFFIELD fields[kColumnCount] = {};
        for (int i = 0; i < kColumnCount; ++i) {
            std::strncpy(fields[i].name, kColumns[i].name, sizeof fields[i].name);
            fields[i].type = kColumns[i].type;
            fields[i].length = kColumns[i].length;
        }
        Create(path, fields, kColumnCount);
    } else {
        Open(path, false);
        if (!CheckFormat()) {
            Close();
            throw std::runtime_error(_("Bad database format."));
        }
    }
    if (GetRecordCount() == 0) {
        Append(1);
        Post();
    }
}

bool CKeyDb::CheckFormat() const {
    if (GetFieldCount() < kColumnCount)
        return false;
    for (int i = 0; i < kColumnCount; ++i) {
        const DBFFIELD& f = GetField(i);
        const std::string_view name(f.name, strnlen(f.name, sizeof f.name));
        if (name != kColumns[i].name || f.type != kColumns[i].type || f.length < kColumns[i].length)
            return false;
    }
    return true;
}

Glib::ustring CKeyDb::GetComment() {
    GoToRecord(0);
    return GetFieldData(kColComment);
}

void CKeyDb::SetComment(const Glib::ustring& text) {
    GoToRecord(0);
    SetFieldData(kColComment, text);
}

std::uint16_t CKeyDb::GetOpenTimeCode() {
    GoToRecord(0);
    const std::string text(c_string(GetFieldRaw(kColKeyNum)));
    std::uint32_t code = 0;
    if (!try_str_to_uint(text, code, 16))
        return kDefaultOpenTimeCode;
    return static_cast<std::uint16_t>(code);
}

void CKeyDb::SetOpenTimeCode(std::uint16_t code) {
    GoToRecord(0);
    char text[8];
    std::snprintf(text, sizeof text, "%.4X", static_cast<unsigned>(code));
    SetFieldData(kColKeyNum, text);
}

void CKeyDb::ReadKey(std::uint32_t k, key_info& info) {
    if (k >= INT32_MAX)
        throw std::out_of_range("CKeyDb::ReadKey: key index");
    GoToRecord(static_cast<std::int32_t>(k + 1));
    GetKeyInfo(info, CKeyDbTimes());
}

void CKeyDb::ReadKeys(const std::function<void(std::uint32_t k, key_info& info)>& sink) {
    const std::uint32_t count = GetKeyCount();
    const CKeyDbTimes times;
    key_info info;
    for (std::uint32_t k = 0; k < count; ++k) {
        GoToRecord(static_cast<std::int32_t>(k + 1));
        GetKeyInfo(info, times);
        sink(k, info);
    }
}

void CKeyDb::AddKey(const key_info& info) {
    AddKey(info, CKeyDbTimes());
}

void CKeyDb::AddKey(const key_info& info, const CKeyDbTimes& times) {
    Append(1);
    // The appended record is blank: values go straight in where they surely fit, and only a record with a
    // value that needs the checks (and may be refused) takes the general way, which rewrites every field.
    if (!PutKeyInfo(info, times))
        SetKeyInfo(info, times);
    WriteRecord();
}

bool CKeyDb::PutKeyInfo(const key_info& info, const CKeyDbTimes& times) {
    char buf[24];
    char created[16];
    if (!PutFieldAscii(kColId, 'N', decimal(buf, info.id), true) ||
        !PutFieldAscii(kColAttr, 'N', decimal(buf, key_attr_to_db_code(info.attr)), true) ||
        !PutFieldAscii(kColType, 'N', decimal(buf, static_cast<std::uint32_t>(info.type)), true) ||
        !PutFieldAscii(kColShortNum, 'N', info.is_short ? "1" : "0", true))
        return false;
    // CCardUID::ToString, without a string.
    static constexpr char kHex[] = "0123456789ABCDEF";
    char hex[2 * 15];
    const std::size_t n = std::min<std::size_t>(info.number.length, 15);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t b = info.number.bytes[n - 1 - i];
        hex[2 * i] = kHex[b >> 4];
        hex[2 * i + 1] = kHex[b & 0x0F];
    }
    return PutFieldAscii(kColKeyNum, 'C', std::string_view(hex, 2 * n), false) &&
           PutFieldText(kColComment, info.comment.raw()) &&
           PutFieldAscii(kColCreate, 'C', times.format(info.created, created), false);
}

// Unparsable values never fail a read: they give 0, the empty number or Normal.
void CKeyDb::GetKeyInfo(key_info& info, const CKeyDbTimes& times) const {
    std::string_view raw[kColumnCount];
    GetFieldsRaw(raw, kColumnCount);
    info.id = static_cast<std::uint32_t>(field_to_ulong(raw[kColId]));
    info.attr = key_attr_from_db_code(field_to_long(raw[kColAttr]));
    info.type = card_type_from_int(static_cast<std::uint32_t>(field_to_long(raw[kColType])));
    info.is_short = field_to_long(raw[kColShortNum]) != 0;
    CCardUID number;
    if (!number.TryParse(c_string(raw[kColKeyNum])))
        number = CCardUID();
    info.number = number;
    // A table opened without its format checked may have another type there.
    info.comment =
        GetField(kColComment).type == 'C' ? DecodeCharField(raw[kColComment]) : GetFieldData(kColComment);
    info.created = times.parse(c_string(raw[kColCreate]));
}

void CKeyDb::SetKeyInfo(const key_info& info, const CKeyDbTimes& times) {
    char buf[24];
    SetFieldText(kColId, decimal(buf, info.id));
    SetFieldText(kColAttr, decimal(buf, key_attr_to_db_code(info.attr)));
    SetFieldText(kColType, decimal(buf, static_cast<std::uint32_t>(info.type)));
    SetFieldText(kColShortNum, info.is_short ? "1" : "0");
    SetFieldText(kColKeyNum, info.number.ToString());
    SetFieldText(kColComment, info.comment.raw());
    char created[16];
    SetFieldText(kColCreate, times.format(info.created, created));
}

bool CKeyDb::GetKeyDbInfo(const std::filesystem::path& path, Glib::ustring& description, int& key_count) {
    key_count = 0;
    description.clear();
    // Non-blocking, and only regular files are read: a FIFO or a device named *.dbf in the database
    // folder must not stop the database list.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    unsigned char buf[kInfoReadSize];
    struct stat st {};
    const bool stat_ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const ssize_t got = stat_ok ? ::pread(fd, buf, sizeof buf, 0) : -1;
    ::close(fd);
    if (!stat_ok || got < static_cast<ssize_t>(kHeaderSize))
        return false;
    const std::uint32_t stored = get_le32(buf + 4);
    const std::uint16_t header_length = get_le16(buf + 8);
    const std::uint16_t record_length = get_le16(buf + 10);
    const auto file_size = static_cast<std::uint64_t>(st.st_size);
    if (header_length < kHeaderSize + 1 || header_length > file_size || record_length == 0)
        return false;
    // Records missing at the end of a file cut short are not counted.
    const std::uint64_t records =
        std::min<std::uint64_t>(stored, (file_size - header_length) / record_length);
    if (records < 1)
        return false;
    key_count = static_cast<int>(std::min<std::uint64_t>(records - 1, INT_MAX));
    // The description is the COMMENT of record 0 in the standard layout; the bytes must have been read.
    const std::size_t comment_at = header_length + kCommentOffset;
    if (header_length + record_length > kInfoReadSize ||
        comment_at + kCommentLength > static_cast<std::size_t>(got))
        return false;
    std::string_view comment(reinterpret_cast<const char*>(buf) + comment_at, kCommentLength);
    const auto first = comment.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return false;
    comment = comment.substr(first, comment.find_last_not_of(' ') - first + 1);
    try {
        description =
            ansiToUtf8(buf[29] == kLangCp866 ? DbfCodePage::kCp866 : DbfCodePage::kWindows1251, comment);
    } catch (const std::runtime_error&) {
        description.clear(); // a byte the code page lacks: the list shows no description
        return false;
    }
    return true;
}
