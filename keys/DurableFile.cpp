// Whole-file replacement through a temporary file, the way the key database is saved.
#include "keys/DurableFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <string>

#include <glib.h>

#include "app/i18n.h"

namespace {

[[noreturn]] void throw_write_error(const std::filesystem::path& path, int err) {
    gchar* text = g_strdup_printf(_("Failed to write file \"%s\": %s"), path.c_str(), g_strerror(err));
    std::string message(text);
    g_free(text);
    throw std::runtime_error(message);
}

// The descriptor is closed on every path; a failing close also fails the write (NFS reports late errors).
class CTempFile {
public:
    explicit CTempFile(const std::filesystem::path& path) : m_path(path) {
        ::unlink(m_path.c_str()); // left behind by an interrupted write
        m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0)
            throw_write_error(m_path, errno);
    }
    CTempFile(const CTempFile&) = delete;
    CTempFile& operator=(const CTempFile&) = delete;
    ~CTempFile() {
        if (m_fd >= 0)
            ::close(m_fd);
        if (!m_kept)
            ::unlink(m_path.c_str());
    }

    // Returns errno of the failure, 0 on success.
    int write_and_sync(std::string_view content) {
        while (!content.empty()) {
            const ssize_t n = ::write(m_fd, content.data(), content.size());
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return errno;
            }
            content.remove_prefix(static_cast<std::size_t>(n));
        }
        if (::fsync(m_fd) != 0)
            return errno;
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) != 0 ? errno : 0;
    }
    void keep() { m_kept = true; }

private:
    std::filesystem::path m_path;
    int m_fd = -1;
    bool m_kept = false;
};

} // namespace

void sync_folder(const std::filesystem::path& file) {
    const std::filesystem::path folder = file.has_parent_path() ? file.parent_path() : ".";
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // a folder that cannot be flushed only loses the durability of the rename
        ::close(fd);
    }
}

void write_file_durably(const std::filesystem::path& path, std::string_view content) {
    std::filesystem::path temp = path;
    temp += kTempSuffix;
    CTempFile file(temp);
    if (const int err = file.write_and_sync(content))
        throw_write_error(path, err);
    if (::rename(temp.c_str(), path.c_str()) != 0)
        throw_write_error(path, errno);
    file.keep();
    sync_folder(path);
}
