#pragma once
// Small socket helpers for the box protocol: an owning descriptor, numeric
// IPv4 addresses with an optional port, connect with a time-out, whole writes
// and reads.

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace boxnet {

class Fd {
public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    Fd(Fd&& other) noexcept : fd_(other.release()) {}
    Fd& operator=(Fd&& other) noexcept;
    ~Fd() { reset(); }

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();
    void reset();

private:
    int fd_ = -1;
};

// "a.b.c.d" or "a.b.c.d:port"; numeric only, so nothing is looked up.
std::optional<sockaddr_in> parseAddress(const char* text, uint16_t defaultPort);
// "a.b.c.d", with ":port" when the port is not `defaultPort`.
std::string formatAddress(const sockaddr_in& address, uint16_t defaultPort);

// A connected TCP socket, or an invalid Fd with errno set (ECANCELED when
// `cancelled`, asked about every 50 ms while the connection is pending,
// said true).
Fd connectTcp(const sockaddr_in& address, int timeoutMs, const std::function<bool()>& cancelled = {});

// Writes everything (no SIGPIPE); false on failure.
bool sendAll(int fd, const void* data, size_t size);
// Reads exactly `size` bytes; false on end of stream or failure.
bool recvAll(int fd, void* data, size_t size);

} // namespace boxnet
