// Launch to first frame in demo mode: starts `Pellumo --demo` (beside this
// program) several times with a fresh home folder, reads the time it logs for
// the first frame drawn by the view ("first frame drawn N ms after start"),
// then ends it with SIGTERM. Needs X.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

int OneRun(const std::string& program)
{
    char home[] = "/tmp/pellumo-launch-XXXXXX";
    if (!::mkdtemp(home))
        return -1;
    int out[2];
    if (::pipe(out) != 0)
        return -1;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setenv("HOME", home, 1);
        ::setenv("XDG_CONFIG_HOME", (std::string(home) + "/config").c_str(), 1);
        ::unsetenv("PELLUMO_DEBUG_LOG");
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(out[1], STDERR_FILENO);
        ::close(out[0]);
        ::execl(program.c_str(), program.c_str(), "--demo", nullptr);
        ::_exit(127);
    }
    ::close(out[1]);
    std::string text;
    int ms = -1;
    pollfd waiting{out[0], POLLIN, 0};
    char buffer[512];
    while (ms < 0 && ::poll(&waiting, 1, 20000) > 0) {
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        text.append(buffer, size_t(got));
        const size_t at = text.find("first frame drawn ");
        if (at != std::string::npos && text.find(" ms", at) != std::string::npos)
            std::sscanf(text.c_str() + at, "first frame drawn %d ms", &ms);
    }
    ::kill(pid, SIGTERM);
    while (::read(out[0], buffer, sizeof buffer) > 0) {
    }
    ::close(out[0]);
    ::waitpid(pid, nullptr, 0);
    std::error_code ec;
    std::filesystem::remove_all(home, ec);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const std::string self(argv[0]);
    const std::string program = self.substr(0, self.find_last_of('/') + 1) + "Pellumo";
    long sum = 0;
    int counted = 0;
    for (int i = 0; i < runs; ++i) {
        const int ms = OneRun(program);
        std::printf("run %d: %d ms\n", i + 1, ms);
        if (ms >= 0) {
            sum += ms;
            ++counted;
        }
    }
    if (counted == 0)
        return 1;
    std::printf("launch to first frame (demo): mean %ld ms over %d runs\n", sum / counted, counted);
    return 0;
}
