#include "camera/boxclient/BoxSocket.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace boxnet {

Fd& Fd::operator=(Fd&& other) noexcept
{
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int Fd::release()
{
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

void Fd::reset()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::optional<sockaddr_in> parseAddress(const char* text, uint16_t defaultPort)
{
    if (!text)
        return std::nullopt;
    std::string host(text);
    uint16_t port = defaultPort;
    if (const auto colon = host.find(':'); colon != std::string::npos) {
        const std::string portText = host.substr(colon + 1);
        host.resize(colon);
        if (portText.empty() || portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        const long value = std::strtol(portText.c_str(), nullptr, 10);
        if (value <= 0 || value > 65535)
            return std::nullopt;
        port = static_cast<uint16_t>(value);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
        return std::nullopt;
    return address;
}

std::string formatAddress(const sockaddr_in& address, uint16_t defaultPort)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
    const uint16_t port = ntohs(address.sin_port);
    if (port == defaultPort)
        return text;
    // snprintf rather than std::to_string, whose tables would leave the library
    // as globally visible symbols.
    char withPort[INET_ADDRSTRLEN + 8];
    std::snprintf(withPort, sizeof withPort, "%s:%u", text, static_cast<unsigned>(port));
    return withPort;
}

Fd connectTcp(const sockaddr_in& address, int timeoutMs, const std::function<bool()>& cancelled)
{
    Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd.valid())
        return fd;
    if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        if (errno != EINPROGRESS)
            return Fd();
        pollfd pfd{fd.get(), POLLOUT, 0};
        constexpr int kCancelCheckMs = 50;
        int ready;
        for (int waited = 0;;) {
            const int slice = cancelled ? std::min(kCancelCheckMs, timeoutMs - waited) : timeoutMs;
            ready = ::poll(&pfd, 1, slice);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready != 0 || !cancelled || (waited += slice) >= timeoutMs)
                break;
            if (cancelled()) {
                errno = ECANCELED;
                return Fd();
            }
        }
        if (ready <= 0) {
            errno = ready == 0 ? ETIMEDOUT : errno;
            return Fd();
        }
        int error = 0;
        socklen_t length = sizeof error;
        if (::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
            errno = error ? error : errno;
            return Fd();
        }
    }
    // Back to blocking for the session; small messages go out at once.
    const int flags = ::fcntl(fd.get(), F_GETFL);
    ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    const int one = 1;
    ::setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

bool sendAll(int fd, const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t sent = ::send(fd, p, size, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

bool recvAll(int fd, void* data, size_t size)
{
    auto* p = static_cast<uint8_t*>(data);
    while (size > 0) {
        const ssize_t got = ::recv(fd, p, size, 0);
        if (got == 0)
            return false;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

} // namespace boxnet
