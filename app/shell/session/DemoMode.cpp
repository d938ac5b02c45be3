#include "app/shell/session/DemoMode.h"

#include "app/shell/TerminationSignals.h"
#include "camera/factory/CMFactory.h"
#include "platform/DebugOutput.h"
#include "platform/UserFolders.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace shell {
namespace {

constexpr int kReadyTimeoutMs = 3000;

// "discovery=127.0.0.1:48620" → "127.0.0.1:48620"
std::string Field(const std::string& line, const std::string& key)
{
    const size_t at = line.find(key + "=");
    if (at == std::string::npos)
        return {};
    const size_t start = at + key.size() + 1;
    const size_t end = line.find_first_of(" \r\n", start);
    return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

} // namespace

void DemoMode::SetEnvironment()
{
    ::setenv("SENSORLINK_EMULATE", "2", 0);
    ::setenv("LENSBRIDGE_EMULATE_VIDEO", "1", 0);
}

bool DemoMode::StartBoxSimulator()
{
    const std::string program = platform::helperProgram("box_simulator");
    if (program.empty() || ::access(program.c_str(), X_OK) != 0) {
        platform::DebugPrintf("demo: box simulator not found\n");
        return false;
    }
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return false;
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(out[0]);
        ::close(out[1]);
        return false;
    }
    if (child == 0) {
        // Only async-signal-safe calls until exec.
        TerminationSignals::UnblockInChild();
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(1);
        ::dup2(out[1], STDOUT_FILENO);
        const char* argv[] = {program.c_str(),  "--bind", "127.0.0.1", "--discovery-port", "0",
                              "--session-port", "0",      "--quiet",   "--open",           nullptr};
        ::execv(program.c_str(), const_cast<char* const*>(argv));
        ::_exit(127);
    }
    ::close(out[1]);
    m_child = child;
    std::string line;
    pollfd waiting{out[0], POLLIN, 0};
    char buffer[256];
    while (line.find('\n') == std::string::npos && ::poll(&waiting, 1, kReadyTimeoutMs) > 0) {
        const ssize_t got = ::read(out[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        line.append(buffer, size_t(got));
    }
    ::close(out[0]);
    if (line.rfind("READY", 0) != 0) {
        platform::DebugPrintf("demo: the box simulator did not start\n");
        return false;
    }
    m_discovery = Field(line, "discovery");
    m_session = Field(line, "session");
    // Searched beside whatever the user types, and never saved as theirs.
    CMFactory::SetProgramScanHosts(m_discovery.c_str());
    platform::DebugPrintf("demo: box simulator at %s\n", m_discovery.c_str());
    return true;
}

DemoMode::~DemoMode()
{
    if (m_child <= 0)
        return;
    ::kill(m_child, SIGTERM);
    int status = 0;
    while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace shell
