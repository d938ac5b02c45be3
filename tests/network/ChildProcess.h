#pragma once
// Starts a tool built beside the test binary, reads the line it prints when
// ready, and stops it (SIGTERM, then SIGKILL) when the test is done.

#include <string>
#include <sys/types.h>
#include <vector>

class ChildProcess {
public:
    // `tool` is a file name in the test binary's folder.
    ChildProcess(const std::string& tool, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The first line of standard output, or "" when none came in time.
    std::string readyLine(int timeoutMs = 20000);
    // Sends a signal and waits for the process; returns its wait status.
    int stop(int signal);
    pid_t pid() const { return pid_; }

    static std::string toolPath(const std::string& tool);

private:
    pid_t pid_ = -1;
    int stdout_ = -1;
    std::string buffered_;
};

// The value of `key=` in a line of `key=value` words, or "".
std::string fieldOf(const std::string& line, const std::string& key);
