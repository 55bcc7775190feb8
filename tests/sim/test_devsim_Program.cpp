// The kestrix-devsim program itself: the demonstration world registers its adapter in the reader library's
// world, answers commands on its control socket (also through --send), and removes its line when told to
// quit. Skipped when the program has not been built.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "common/TestFiles.h"
#include "common/WaitFor.h"
#include "sim/devsim/CControlServer.h"
#include "test_devsim_helpers.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

// Runs a program; returns its pid.
pid_t spawn(const std::vector<std::string>& args, const fs::path& out) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

int wait_exit(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A simulator the test has not seen out is stopped with it: left running, it would keep the test's output
// open, and the test runner would wait for it until its time is up.
struct StopWithTest {
    pid_t pid;
    ~StopWithTest() {
        if (pid > 0 && ::waitpid(pid, nullptr, WNOHANG) == 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

} // namespace

TEST(DevsimProgram, DemoWorldRegistersAnswersAndCleansUp) {
    const char* bin_dir = std::getenv("KESTRIX_BINARY_DIR");
    const fs::path program = fs::path(bin_dir ? bin_dir : "") / "kestrix-devsim";
    if (!bin_dir || !fs::exists(program))
        GTEST_SKIP() << "kestrix-devsim not built";
    char pattern[] = "/tmp/devsim-program-XXXXXX";
    const fs::path dir = ::mkdtemp(pattern);
    const fs::path devices = dir / "devices";
    const pid_t pid =
        spawn({program, "--demo", "--world", dir, "--control", dir / "control"}, dir / "out.txt");
    ASSERT_GT(pid, 0);
    StopWithTest running{pid};
    ASSERT_TRUE(
        test::wait_for([&] { return fs::exists(dir / "control") && !test::read_text(devices).empty(); }));

    const std::string line = test::read_text(devices);
    EXPECT_EQ(0u, line.rfind("1\t/dev/pts/", 0)) << line;
    EXPECT_NE(std::string::npos, line.find("\t4\t16001\t531\n"));
    EXPECT_NE(std::string::npos,
              devsim::CControlServer::send(dir / "control", "controller keys").find("5 keys"));

    const pid_t sender = spawn({program, "--world", dir, "--send", "touch ds1996"}, dir / "send.txt");
    EXPECT_EQ(0, wait_exit(sender));
    EXPECT_EQ(0u, test::read_text(dir / "send.txt").rfind("ok: DS1996L", 0));
    const pid_t bad = spawn({program, "--world", dir, "--send", "touch nothing"}, dir / "bad.txt");
    EXPECT_EQ(1, wait_exit(bad));

    EXPECT_EQ("ok: bye", devsim::CControlServer::send(dir / "control", "quit"));
    EXPECT_EQ(0, wait_exit(pid));
    running.pid = -1;
    EXPECT_EQ("", test::read_text(devices));
    EXPECT_FALSE(fs::exists(dir / "control"));
    fs::remove_all(dir);
}
