// Database list rows.
#include "ui/CDbInfo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "app/i18n.h"
#include "keys/CKeyDb.h"

namespace {
// The dBASE III header fields the list relies on: record count at 4, header length at 8, record length at 10.
constexpr std::size_t kHeaderFields = 12;
constexpr std::uint16_t kMinHeaderLength = 33;

std::uint32_t le(const unsigned char* bytes, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i)
        value = value << 8 | bytes[i];
    return value;
}
} // namespace

Glib::ustring db_file_problem(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return std::strerror(errno);
    unsigned char header[kHeaderFields];
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const ssize_t got = regular ? ::pread(fd, header, sizeof header, 0) : -1;
    const int read_errno = errno;
    ::close(fd);
    if (!regular)
        return _("Not a regular file");
    if (got < 0)
        return std::strerror(read_errno);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (got < static_cast<ssize_t>(sizeof header))
        return _("Bad database format.");
    const std::uint32_t records = le(header + 4, 4);
    const std::uint32_t header_length = le(header + 8, 2);
    const std::uint32_t record_length = le(header + 10, 2);
    if (header_length < kMinHeaderLength || header_length > size || record_length == 0 || records == 0 ||
        (size - header_length) / record_length == 0)
        return _("Bad database format.");
    return {};
}

Glib::RefPtr<CDbInfo> CDbInfo::create(const Glib::ustring& name, const Glib::ustring& description, int keys) {
    return Glib::make_refptr_for_instance<CDbInfo>(new CDbInfo(name, description, keys));
}

Glib::RefPtr<CDbInfo> CDbInfo::read(const std::filesystem::path& path) {
    auto info = create(path.stem().string(), {}, 0);
    info->reread(path);
    return info;
}

void CDbInfo::reread(const std::filesystem::path& path) {
    Glib::ustring description;
    int keys = 0;
    // A readable database without a description also answers false; only then is the file looked at again.
    const Glib::ustring problem =
        CKeyDb::GetKeyDbInfo(path, description, keys) ? Glib::ustring() : db_file_problem(path);
    m_error.set_value(problem);
    m_description.set_value(problem.empty() ? description : Glib::ustring());
    m_keys.set_value(problem.empty() ? keys : 0);
}

CDbInfo::CDbInfo(const Glib::ustring& name, const Glib::ustring& description, int keys)
    : Glib::ObjectBase("CDbInfo"), m_name(*this, "name", name),
      m_description(*this, "description", description), m_keys(*this, "keys", keys),
      m_cut(*this, "is-cut", false), m_error(*this, "error", "") {}
