// Adds and removes the simulator's lines in the reader library's "devices" file. Removal rewrites the file
// through a hidden temporary and a rename, so that a reader never sees it half written.
#include "sim/devsim/CDeviceRegistry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>

namespace devsim {

CDeviceRegistry::CDeviceRegistry(std::string path) : m_path(std::move(path)) {}

CDeviceRegistry::~CDeviceRegistry() {
    for (const auto& line : std::vector<std::string>(m_lines))
        remove_line(line);
}

std::string CDeviceRegistry::format_line(int port_type, const std::string& port_name, int model, int serial,
                                         unsigned firmware) {
    std::ostringstream line;
    line << port_type << '\t' << port_name << '\t' << model << '\t' << serial << '\t' << firmware;
    return line.str();
}

void CDeviceRegistry::add(int port_type, const std::string& port_name, int model, int serial,
                          unsigned firmware) {
    const std::string line = format_line(port_type, port_name, model, serial, firmware);
    const std::string text = line + "\n";
    // One append of the whole line, so that a reader sees it complete or not at all.
    const int fd = ::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0)
        throw std::system_error(errno, std::generic_category(), m_path);
    ::flock(fd, LOCK_EX); // the reader library's convention for writers of this file
    const ssize_t put = ::write(fd, text.data(), text.size());
    const int saved = errno;
    ::close(fd);
    if (put != static_cast<ssize_t>(text.size()))
        throw std::system_error(saved, std::generic_category(), m_path);
    m_lines.push_back(line);
}

void CDeviceRegistry::remove(int port_type, const std::string& port_name) {
    const std::string prefix = std::to_string(port_type) + '\t' + port_name + '\t';
    auto it = std::find_if(m_lines.begin(), m_lines.end(),
                           [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    if (it != m_lines.end())
        remove_line(*it);
}

void CDeviceRegistry::remove_line(std::string line) {
    m_lines.erase(std::remove(m_lines.begin(), m_lines.end(), line), m_lines.end());
    const int lock_fd = ::open(m_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (lock_fd < 0)
        return;
    ::flock(lock_fd, LOCK_EX); // held until the new file has replaced the old one
    rewrite_without(line);
    ::close(lock_fd);
}

void CDeviceRegistry::rewrite_without(const std::string& line) {
    std::ifstream in(m_path);
    if (!in)
        return;
    std::string kept, current;
    bool removed = false;
    while (std::getline(in, current)) {
        if (!removed && current == line) {
            removed = true;
            continue;
        }
        kept += current + "\n";
    }
    in.close();
    if (!removed)
        return;
    const auto slash = m_path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : m_path.substr(0, slash);
    const std::string tmp = dir + "/.devices.devsim-" + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::trunc);
        out << kept;
        if (!out)
            return;
    }
    if (std::rename(tmp.c_str(), m_path.c_str()) != 0)
        std::remove(tmp.c_str());
}

} // namespace devsim
