// Unix-socket and terminal front of the simulator's control commands.
#include "sim/devsim/CControlServer.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace devsim {

namespace {
constexpr size_t kMaxCommand = 4096;
constexpr int kClientTimeoutMs = 2000;
constexpr int kAnswerTimeoutMs = 10000;
constexpr int kControlClientBacklog = 8; // control clients waiting to be accepted
constexpr const char* kPrompt = "devsim> ";

sockaddr_un unix_address(const std::string& path) {
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        throw std::runtime_error("control socket path too long: " + path);
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    return addr;
}

// Reads until '\n' or end of stream, at most kMaxCommand bytes, waiting at most `timeout_ms` per read.
std::string read_until_newline(int fd, int timeout_ms, bool stop_at_newline) {
    std::string text;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, timeout_ms) <= 0)
            break;
        char buf[512];
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        text.append(buf, static_cast<size_t>(got));
        if (stop_at_newline && (text.find('\n') != std::string::npos || text.size() > kMaxCommand))
            break;
    }
    if (stop_at_newline && text.find('\n') != std::string::npos)
        text.resize(text.find('\n'));
    return text;
}

void write_all(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return;
        done += static_cast<size_t>(put);
    }
}
} // namespace

CControlServer::CControlServer(CControlCommands& commands, std::string socket_path, bool read_stdin)
    : m_commands(commands), m_path(std::move(socket_path)), m_stdin(read_stdin) {
    if (m_path.empty())
        return; // terminal only
    m_listen.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!m_listen)
        throw std::system_error(errno, std::generic_category(), "socket");
    // The socket is bound under a neighbouring name and given its own once it listens: whoever sees the
    // path (a test, a script waiting for the simulator) can connect at once instead of being refused.
    const std::string staging = m_path + "~";
    const sockaddr_un addr = unix_address(staging);
    struct stat st {};
    for (const std::string& path : {m_path, staging}) {
        if (::lstat(path.c_str(), &st) != 0)
            continue;
        if (!S_ISSOCK(st.st_mode)) // never replace a file that is not a socket
            throw std::system_error(EADDRINUSE, std::generic_category(), path);
        ::unlink(path.c_str()); // left behind by a simulator that did not stop cleanly
    }
    if (::bind(m_listen.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        throw std::system_error(errno, std::generic_category(), staging);
    if (::listen(m_listen.get(), kControlClientBacklog) != 0 ||
        ::rename(staging.c_str(), m_path.c_str()) != 0) {
        const int error = errno;
        ::unlink(staging.c_str());
        m_listen.reset();
        throw std::system_error(error, std::generic_category(), m_path);
    }
}

CControlServer::~CControlServer() {
    if (m_listen)
        ::unlink(m_path.c_str());
}

void CControlServer::run(int stop_fd) {
    if (m_stdin) {
        std::fputs(kPrompt, stdout);
        std::fflush(stdout);
    }
    while (!m_commands.quit_requested()) {
        pollfd fds[3] = {{m_listen.get(), POLLIN, 0}, {stop_fd, POLLIN, 0}, {m_stdin ? 0 : -1, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR)
                continue;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (fds[1].revents)
            return;
        if (fds[0].revents & POLLIN)
            serve_client();
        if (fds[2].revents && !serve_stdin())
            m_stdin = false; // end of input: keep serving the socket
    }
}

void CControlServer::serve_client() {
    CFd client(::accept4(m_listen.get(), nullptr, nullptr, SOCK_CLOEXEC));
    if (!client)
        return;
    const std::string command = read_until_newline(client.get(), kClientTimeoutMs, true);
    write_all(client.get(), m_commands.execute(command) + "\n");
}

bool CControlServer::serve_stdin() {
    char buf[512];
    const ssize_t got = ::read(0, buf, sizeof buf);
    if (got <= 0)
        return false;
    m_stdin_line.append(buf, static_cast<size_t>(got));
    size_t nl;
    while ((nl = m_stdin_line.find('\n')) != std::string::npos) {
        const std::string line = m_stdin_line.substr(0, nl);
        m_stdin_line.erase(0, nl + 1);
        const std::string answer = m_commands.execute(line);
        if (!answer.empty())
            std::printf("%s\n", answer.c_str());
        if (m_commands.quit_requested())
            return true;
        std::fputs(kPrompt, stdout);
    }
    if (m_stdin_line.size() > kMaxCommand)
        m_stdin_line.clear();
    std::fflush(stdout);
    return true;
}

std::string CControlServer::send(const std::string& socket_path, const std::string& command) {
    CFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!fd)
        throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
    const sockaddr_un addr = unix_address(socket_path);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0)
        throw std::runtime_error("no simulator at " + socket_path + ": " + std::strerror(errno));
    write_all(fd.get(), command + "\n");
    ::shutdown(fd.get(), SHUT_WR);
    std::string answer = read_until_newline(fd.get(), kAnswerTimeoutMs, false);
    while (!answer.empty() && answer.back() == '\n')
        answer.pop_back();
    return answer;
}

} // namespace devsim
