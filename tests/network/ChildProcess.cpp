#include "ChildProcess.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <limits.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

std::string ChildProcess::toolPath(const std::string& tool)
{
    char self[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string(".");
    dir = dir.substr(0, dir.find_last_of('/'));
    return dir + "/" + tool;
}

ChildProcess::ChildProcess(const std::string& tool, const std::vector<std::string>& args)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        return;
    const std::string path = toolPath(tool);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    if (::posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), environ) != 0)
        pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    stdout_ = pipeFds[0];
}

ChildProcess::~ChildProcess()
{
    stop(SIGTERM);
    if (stdout_ >= 0)
        ::close(stdout_);
}

std::string ChildProcess::readyLine(int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (buffered_.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0 || stdout_ < 0)
            return "";
        pollfd pfd{stdout_, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left)) <= 0)
            continue;
        char chunk[256];
        const ssize_t got = ::read(stdout_, chunk, sizeof chunk);
        if (got <= 0)
            return "";
        buffered_.append(chunk, static_cast<size_t>(got));
    }
    const auto end = buffered_.find('\n');
    std::string line = buffered_.substr(0, end);
    buffered_.erase(0, end + 1);
    return line;
}

int ChildProcess::stop(int signal)
{
    if (pid_ <= 0)
        return -1;
    ::kill(pid_, signal);
    int status = 0;
    // Give it a generous while to end by itself, then make sure.
    for (int i = 0; i < 1000; ++i) {
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return status;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return status;
}

std::string fieldOf(const std::string& line, const std::string& key)
{
    const auto at = line.find(key + "=");
    if (at == std::string::npos)
        return "";
    const auto start = at + key.size() + 1;
    return line.substr(start, line.find(' ', start) - start);
}
