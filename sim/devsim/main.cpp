// kestrix-devsim: runs the device simulator as a program (an adapter on a pseudo-terminal, optionally behind
// a TCP converter) controlled through a Unix socket and the terminal, or sends one command to a running one.
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/devsim/CControlCommands.h"
#include "sim/devsim/CControlServer.h"
#include "sim/devsim/CWorld.h"
#include "sim/devsim/DemoWorld.h"

namespace {

struct Options {
    bool demo = false;
    bool tcp = false;
    bool pace = false;
    uint32_t baud = 0;
    std::string world_dir;
    std::string control;
    std::string send;
    bool has_send = false;
};

void usage(FILE* to) {
    std::fputs("usage: kestrix-devsim --demo [--world DIR] [--control PATH] [--tcp] [--pace] [--baud N]\n"
               "       kestrix-devsim (--control PATH | --world DIR) --send \"<command>\"\n"
               "  --world DIR     register the adapter in DIR/devices (the reader library's world)\n"
               "  --control PATH  control socket (default DIR/control)\n"
               "  --tcp           also listen as a TCP converter (RFC 2217) on 127.0.0.1\n"
               "  --pace          pace bytes at the line's baud rate (spins during transfers to keep time)\n"
               "  --baud N        pace bytes as if the line ran at N baud\n"
               "  --send CMD      send one command to a running simulator and print the answer\n",
               to);
}

bool parse(int argc, char** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string number;
        if (a == "--demo")
            o.demo = true;
        else if (a == "--tcp")
            o.tcp = true;
        else if (a == "--pace")
            o.pace = true;
        else if (a == "--world" && value(o.world_dir)) {
        } else if (a == "--control" && value(o.control)) {
        } else if (a == "--send" && value(o.send))
            o.has_send = true;
        else if (a == "--baud" && value(number)) {
            char* end = nullptr;
            const unsigned long b = std::strtoul(number.c_str(), &end, 10);
            if (*end != '\0' || b == 0 || b > 4000000)
                return false;
            o.baud = static_cast<uint32_t>(b);
            o.pace = true;
        } else
            return false;
    }
    if (o.control.empty() && !o.world_dir.empty())
        o.control = o.world_dir + "/control";
    return true;
}

int send_command(const Options& o) {
    try {
        const std::string answer = devsim::CControlServer::send(o.control, o.send);
        std::printf("%s\n", answer.c_str());
        return answer.rfind("error", 0) == 0 ? 1 : 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrix-devsim: %s\n", e.what());
        return 2;
    }
}

int serve(const Options& o) {
    sigset_t stop_signals;
    sigemptyset(&stop_signals);
    sigaddset(&stop_signals, SIGINT);
    sigaddset(&stop_signals, SIGTERM);
    sigaddset(&stop_signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr); // before the world's thread exists
    signal(SIGPIPE, SIG_IGN);
    const devsim::CFd stop(signalfd(-1, &stop_signals, SFD_CLOEXEC));

    devsim::WorldOptions wo;
    wo.tcp = o.tcp;
    wo.pace = o.pace;
    wo.pace_baud = o.baud;
    if (!o.world_dir.empty())
        wo.devices_file = o.world_dir + "/devices";
    devsim::CWorld world(wo);
    if (o.demo)
        devsim::load_demo(world);
    std::printf("kestrix-devsim: adapter on %s", world.pty_path().c_str());
    if (world.tcp_port())
        std::printf(", TCP converter on 127.0.0.1:%u", world.tcp_port());
    std::printf("\n");
    std::fflush(stdout);

    devsim::CControlCommands commands(world);
    // Commands from the terminal only when it is ours: a simulator started in the background must not stop on
    // SIGTTIN, and a terminal read that fails later just ends the terminal input.
    signal(SIGTTIN, SIG_IGN);
    const bool terminal = isatty(0) != 0 && tcgetpgrp(0) == getpgrp();
    if (o.control.empty() && !terminal) {
        std::fprintf(stderr, "kestrix-devsim: no control socket and no terminal; give --control PATH\n");
        return 2;
    }
    devsim::CControlServer server(commands, o.control, terminal);
    server.run(stop.get());
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        usage(stdout);
        return 0;
    }
    if (!parse(argc, argv, o) || (o.has_send && o.control.empty())) {
        usage(stderr);
        return 2;
    }
    try {
        return o.has_send ? send_command(o) : serve(o);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrix-devsim: %s\n", e.what());
        return 1;
    }
}
