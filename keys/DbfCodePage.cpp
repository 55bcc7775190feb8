// Code-page conversion for DBF character fields. Opening an iconv converter costs far more than a field's
// conversion, so each thread keeps its four converters open for its lifetime.
#include "keys/DbfCodePage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iconv.h>
#include <stdexcept>

#include "app/i18n.h"
#include "keys/AsciiText.h"

namespace {

const char kUtf8[] = "UTF-8";
const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

enum Direction { kToUtf8 = 0, kFromUtf8 = 1 };

// The open converters of one thread, indexed by direction and code page (0 CP866, 1 Windows-1251).
class CConverterCache {
public:
    CConverterCache() = default;
    CConverterCache(const CConverterCache&) = delete;
    CConverterCache& operator=(const CConverterCache&) = delete;
    ~CConverterCache() {
        for (auto& row : m_cd)
            for (iconv_t cd : row)
                if (cd != kNoConverter)
                    iconv_close(cd);
    }

    // The converter, opened on first use; kNoConverter (errno set) when iconv cannot open it.
    iconv_t get(Direction dir, DbfCodePage cp) {
        const int page = cp == DbfCodePage::kCp866 ? 0 : 1;
        iconv_t& cd = m_cd[dir][page];
        if (cd == kNoConverter) {
            const char* name = dbf_code_page_name(cp);
            cd = dir == kToUtf8 ? iconv_open(kUtf8, name) : iconv_open(name, kUtf8);
        } else {
            iconv(cd, nullptr, nullptr, nullptr, nullptr); // back to the initial state
        }
        return cd;
    }

private:
    iconv_t m_cd[2][2] = {{kNoConverter, kNoConverter}, {kNoConverter, kNoConverter}};
};

CConverterCache& converters() {
    thread_local CConverterCache cache;
    return cache;
}

// Runs one conversion of the whole input; returns the number of bytes written or -1 (errno set).
long convert(iconv_t cd, std::string_view in, char* out, size_t out_size) {
    char* in_ptr = const_cast<char*>(in.data());
    size_t in_left = in.size();
    char* out_ptr = out;
    size_t out_left = out_size;
    if (iconv(cd, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<size_t>(-1))
        return -1;
    return static_cast<long>(out_ptr - out);
}

} // namespace

const char* dbf_code_page_name(DbfCodePage cp) {
    return cp == DbfCodePage::kCp866 ? "CP866" : "WINDOWS-1251";
}

std::string ansiToUtf8(DbfCodePage cp, std::string_view bytes) {
    bytes = bytes.substr(0, std::min(bytes.size(), bytes.find('\0')));
    if (is_ascii(bytes)) // both code pages keep ASCII as it is
        return std::string(bytes);
    iconv_t cd = converters().get(kToUtf8, cp);
    if (cd == kNoConverter) {
        std::perror("iconv_open");
        throw std::runtime_error(_("Failed to open iconv descriptor"));
    }
    std::string out(4 * bytes.size() + 1, '\0');
    const long n = convert(cd, bytes, out.data(), out.size());
    if (n < 0) {
        std::perror("iconv");
        throw std::runtime_error(_("iconv conversion failed"));
    }
    out.resize(static_cast<size_t>(n));
    return out;
}

std::string utf8_to_ansi(DbfCodePage cp, std::string_view text) {
    if (is_ascii(text))
        return std::string(text);
    iconv_t cd = converters().get(kFromUtf8, cp);
    if (cd == kNoConverter)
        throw std::runtime_error(_("iconv_open failed"));
    std::string out(2 * text.size() + 10, '\0');
    const long n = convert(cd, text, out.data(), out.size());
    if (n < 0) {
        const int err = errno;
        throw std::runtime_error(_("iconv failed, errno: ") + std::to_string(err));
    }
    out.resize(static_cast<size_t>(n));
    return out;
}
