// File and text helpers of the simulated reader world.
#include "sim/rdxworld/WorldFiles.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace rdxworld {

namespace {

constexpr std::array<const char*, 6> kPortTypeNames = {"", "COM", "CCID", "Server", "Client", "Proxy"};
constexpr size_t kMaxWorldFile = 1 << 20; // no world file is anywhere near this; a bigger one is not ours

// Owns a file descriptor for the length of one helper.
class CFd {
public:
    explicit CFd(int fd) : m_fd(fd) {}
    ~CFd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    CFd(const CFd&) = delete;
    CFd& operator=(const CFd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

bool write_all(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \r\n");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \r\n");
    return s.substr(b, e - b + 1);
}

std::optional<long long> parse_int(const std::string& text) {
    if (text.empty())
        return std::nullopt;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0')
        return std::nullopt;
    return v;
}

} // namespace

std::optional<std::string> read_text_file(const std::string& path) {
    CFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        return std::nullopt;
    std::string text;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
        if (text.size() > kMaxWorldFile)
            return std::nullopt;
    }
    return text;
}

void write_text_file_atomic(const std::string& path, const std::string& text) {
    const std::string tmp = path + ".tmp." + std::to_string(::getpid());
    {
        CFd fd(::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd.get() < 0)
            throw std::runtime_error("cannot create " + tmp + ": " + std::strerror(errno));
        if (!write_all(fd.get(), text)) {
            int err = errno;
            ::unlink(tmp.c_str());
            throw std::runtime_error("cannot write " + tmp + ": " + std::strerror(err));
        }
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        int err = errno;
        ::unlink(tmp.c_str());
        throw std::runtime_error("cannot replace " + path + ": " + std::strerror(err));
    }
}

void append_line_locked(const std::string& path, const std::string& line) {
    // Writers that remove lines replace the file by a rename while holding the lock on the old one; after
    // waiting for the lock, make sure the path still names the file that is locked, else start again.
    for (;;) {
        CFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
        if (fd.get() < 0)
            throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
        ::flock(fd.get(), LOCK_EX);
        struct stat locked {
        }, current{};
        if (::fstat(fd.get(), &locked) != 0 || ::stat(path.c_str(), &current) != 0 ||
            locked.st_ino != current.st_ino || locked.st_dev != current.st_dev)
            continue; // closing the descriptor releases the lock
        bool ok = write_all(fd.get(), line + "\n");
        ::flock(fd.get(), LOCK_UN);
        if (!ok)
            throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
        return;
    }
}

bool make_dir(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0 || errno == EEXIST;
}

int parse_port_type(const std::string& text) {
    if (auto v = parse_int(text))
        return (*v >= 0 && *v < static_cast<long long>(kPortTypeNames.size())) ? static_cast<int>(*v) : -1;
    for (size_t i = 1; i < kPortTypeNames.size(); ++i)
        if (strcasecmp(text.c_str(), kPortTypeNames[i]) == 0)
            return static_cast<int>(i);
    return -1;
}

const char* port_type_name(int port_type) {
    if (port_type < 0 || port_type >= static_cast<int>(kPortTypeNames.size()))
        return "";
    return kPortTypeNames[static_cast<size_t>(port_type)];
}

std::optional<uint32_t> parse_firmware(const std::string& text) {
    if (text.find('.') != std::string::npos) {
        unsigned a = 0, b = 0, c = 0;
        char tail = 0;
        int n = std::sscanf(text.c_str(), "%u.%u.%u%c", &a, &b, &c, &tail);
        if (n < 2 || n > 3 || a > 255 || b > 255 || c > 255)
            return std::nullopt;
        return (a << 24) | (b << 16) | (c << 8);
    }
    auto v = parse_int(text);
    if (!v || *v < 0 || *v > 0xFFFFFFFFLL)
        return std::nullopt;
    return static_cast<uint32_t>(*v);
}

std::vector<world_device> parse_devices(const std::string& text) {
    std::vector<world_device> devices;
    for (const std::string& raw : split_lines(text)) {
        if (raw.empty() || raw[0] == '#')
            continue;
        std::vector<std::string> fields;
        size_t start = 0;
        for (;;) {
            size_t tab = raw.find('\t', start);
            fields.push_back(
                trim(raw.substr(start, tab == std::string::npos ? std::string::npos : tab - start)));
            if (tab == std::string::npos)
                break;
            start = tab + 1;
        }
        if (fields.size() < 2 || fields[1].empty() || fields[1].size() >= 64)
            continue;
        world_device d;
        d.port_type = parse_port_type(fields[0]);
        if (d.port_type <= 0)
            continue;
        d.port_name = fields[1];
        if (fields.size() > 2) {
            auto model = parse_int(fields[2]);
            if (!model || *model < 0 || *model > 12)
                continue;
            d.model = static_cast<int>(*model);
        }
        if (fields.size() > 3) {
            auto serial = parse_int(fields[3]);
            if (!serial || *serial < -1 || *serial > 0x7FFFFFFF)
                continue;
            d.serial = static_cast<int>(*serial);
        }
        if (fields.size() > 4) {
            auto fw = parse_firmware(fields[4]);
            if (!fw)
                continue;
            d.firmware = *fw;
        }
        devices.push_back(std::move(d));
    }
    return devices;
}

std::string format_device_line(const world_device& d) {
    char fw[16];
    std::snprintf(fw, sizeof fw, "0x%08X", d.firmware);
    return std::string(port_type_name(d.port_type)) + "\t" + d.port_name + "\t" + std::to_string(d.model) +
           "\t" + std::to_string(d.serial) + "\t" + fw;
}

std::string port_file_name(const std::string& port_name) {
    std::string name = port_name;
    for (char& c : name) {
        bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
                  c == '-' || c == '_';
        if (!ok)
            c = '_';
    }
    if (name.empty() || name == "." || name == "..")
        name = "_" + name;
    return name;
}

std::string to_hex(const uint8_t* data, size_t count) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(count * 2);
    for (size_t i = 0; i < count; ++i) {
        text += digits[data[i] >> 4];
        text += digits[data[i] & 0x0F];
    }
    return text;
}

std::optional<std::vector<uint8_t>> parse_hex(const std::string& text) {
    std::vector<uint8_t> bytes;
    int nibbles = 0;
    unsigned acc = 0;
    for (char c : text) {
        unsigned v;
        if (c >= '0' && c <= '9')
            v = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            v = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            v = static_cast<unsigned>(c - 'A' + 10);
        else if (c == ' ')
            continue;
        else
            return std::nullopt;
        acc = (acc << 4) | v;
        if (++nibbles == 2) {
            bytes.push_back(static_cast<uint8_t>(acc));
            nibbles = 0;
            acc = 0;
        }
    }
    if (nibbles != 0)
        return std::nullopt;
    return bytes;
}

std::vector<std::string> split_words(const std::string& line) {
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r'))
            ++i;
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r')
            ++i;
        if (i > start)
            words.push_back(line.substr(start, i - start));
    }
    return words;
}

std::vector<std::string> split_lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t nl = text.find('\n', start);
        std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

} // namespace rdxworld
