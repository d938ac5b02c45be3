// The program itself in demo mode: a live picture without a click, and
// SIGTERM (a logout) closes it like the window's close button, without the
// question: the camera released, the settings saved, the box simulator gone.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string ProgramBesideThisTest()
{
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path() / "Pellumo").string();
}

TEST(ProgramTest, DemoShowsALivePictureAndSigtermClosesCleanly)
{
    if (!std::getenv("DISPLAY"))
        GTEST_SKIP() << "needs an X display";
    char home[] = "/tmp/pellumo-program-XXXXXX";
    ASSERT_NE(::mkdtemp(home), nullptr);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const std::string program = ProgramBesideThisTest();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("HOME", home, 1);
        ::setenv("XDG_CONFIG_HOME", (std::string(home) + "/config").c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
        ::unsetenv("PELLUMO_DEBUG_LOG");
        ::unsetenv("SENSORLINK_EMULATE");
        ::unsetenv("SENSORLINK_EMULATE_FAULTS");
        // The exit status is what this test reads; in a sanitizer build the
        // GL driver, unloaded at exit, would otherwise turn it into a leak
        // report (the window suites check leaks with the driver kept loaded).
        ::setenv("ASAN_OPTIONS", "detect_leaks=0", 1);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        ::close(out[0]);
        ::execl(program.c_str(), program.c_str(), "--demo", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string log;
    char buffer[512];
    pollfd waiting{out[0], POLLIN, 0};
    auto readUntil = [&](const std::string& text, int timeoutMs) {
        while (log.find(text) == std::string::npos && ::poll(&waiting, 1, timeoutMs) > 0) {
            const ssize_t got = ::read(out[0], buffer, sizeof buffer);
            if (got <= 0)
                break;
            log.append(buffer, size_t(got));
        }
        return log.find(text) != std::string::npos;
    };
    EXPECT_TRUE(readUntil("first frame drawn", 30000)) << log;
    ::kill(pid, SIGTERM);
    readUntil("\n<end>", 15000); // to the end of its output
    int status = -1;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(out[0]);
    EXPECT_TRUE(WIFEXITED(status)) << log;
    EXPECT_EQ(WEXITSTATUS(status), 0) << log;
    // Settings are saved last: the program got to its end after the window.
    EXPECT_TRUE(log.find("config not changed") != std::string::npos || log.find("saving config") != std::string::npos)
        << log;
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
}

} // namespace
