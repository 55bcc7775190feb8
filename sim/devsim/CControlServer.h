// Serves control commands to a running simulator: one command per connection on a Unix socket (answer, then
// close), and line by line on standard input when that is a terminal. `send` is the client side.
#pragma once
#include <string>

#include "sim/devsim/CControlCommands.h"
#include "sim/devsim/CFd.h"

namespace devsim {

class CControlServer {
public:
    // Listens on `socket_path` (a stale socket there is replaced; empty = terminal only); throws
    // std::system_error on failure.
    CControlServer(CControlCommands& commands, std::string socket_path, bool read_stdin);
    CControlServer(const CControlServer&) = delete;
    CControlServer& operator=(const CControlServer&) = delete;
    ~CControlServer(); // removes the socket file

    // Serves until "quit" or until `stop_fd` (e.g. a signalfd; -1 = none) becomes readable.
    void run(int stop_fd);

    // Sends one command to the server at `socket_path` and returns its answer; throws std::runtime_error.
    static std::string send(const std::string& socket_path, const std::string& command);

private:
    void serve_client();
    bool serve_stdin();

    CControlCommands& m_commands;
    std::string m_path;
    CFd m_listen;
    bool m_stdin;
    std::string m_stdin_line;
};

} // namespace devsim
