#include "camera/boxclient/BoxScanner.h"

#include "camera/boxclient/BoxProtocol.h"
#include "camera/boxclient/BoxSocket.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <random>
#include <sstream>

namespace boxclient {

namespace {
constexpr const char* kDefaultHosts = "127.0.0.1";

bool parseHosts(const char* text, std::vector<sockaddr_in>& out)
{
    if (!text)
        return false;
    std::vector<sockaddr_in> hosts;
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        if (item.empty())
            continue;
        const auto address = boxnet::parseAddress(item.c_str(), boxproto::kDefaultDiscoveryPort);
        if (!address)
            return false;
        hosts.push_back(*address);
    }
    if (hosts.empty())
        return false;
    out = std::move(hosts);
    return true;
}
} // namespace

BoxScanner& scanner()
{
    static BoxScanner instance;
    return instance;
}

BoxScanner::BoxScanner()
{
    const char* configured = std::getenv("PELLUMO_BOX_SCAN_HOSTS");
    if (!configured || !parseHosts(configured, hosts_))
        parseHosts(kDefaultHosts, hosts_);
}

BoxScanner::~BoxScanner() { stop(); }

int BoxScanner::setHosts(const char* hosts)
{
    std::vector<sockaddr_in> parsed;
    if (!parseHosts(hosts, parsed))
        return CHD_ERR_PARAM;
    std::lock_guard<std::mutex> lock(mutex_);
    hosts_ = std::move(parsed);
    return CHD_OK;
}

int BoxScanner::start(int mode)
{
    stop();
    // Replies arrive on an ephemeral port of every interface, so a box on the
    // network can answer a probe the user sent there.
    boxnet::Fd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!fd.valid())
        return CHD_ERR_NETWORK;
    const int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0)
        return CHD_ERR_NETWORK;
    // No exception leaves the library: a failed thread creation (or an
    // unavailable random source) is a plain failure.
    try {
        std::random_device random;
        const uint32_t nonce = random();
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = false;
        found_.clear();
        const int socket = fd.get();
        thread_ = std::thread([this, socket, mode, nonce] {
            run(socket, mode != 0, nonce);
            ::close(socket);
        });
        fd.release(); // the thread closes it
    } catch (const std::exception&) {
        return CHD_ERR_NOMEM;
    }
    return CHD_OK;
}

void BoxScanner::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void BoxScanner::run(int fd, bool repeat, uint32_t nonce)
{
    do {
        probe(fd, nonce);
        const auto roundEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(kProbeIntervalMs);
        while (std::chrono::steady_clock::now() < roundEnd) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stopping_)
                    return;
            }
            receive(fd, nonce);
        }
    } while (repeat);
    // A single round keeps listening for late answers until stopped.
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
        lock.unlock();
        receive(fd, nonce);
        lock.lock();
    }
}

void BoxScanner::probe(int fd, uint32_t nonce)
{
    std::vector<sockaddr_in> hosts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        hosts = hosts_;
    }
    const std::vector<uint8_t> request = boxproto::buildDiscoverRequest(nonce);
    for (const sockaddr_in& host : hosts)
        ::sendto(fd, request.data(), request.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&host),
                 sizeof host);
}

void BoxScanner::receive(int fd, uint32_t nonce)
{
    // Short waits keep the stop prompt.
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, 50) <= 0)
        return;
    uint8_t datagram[512];
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    const ssize_t size = ::recvfrom(fd, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (size <= 0 || fromLength != sizeof from)
        return;
    const auto reply = boxproto::parseDiscoverReply(std::span<const uint8_t>(datagram, static_cast<size_t>(size)));
    if (!reply || reply->nonce != nonce)
        return;
    // The box is reached where its answer came from, on the session port it names.
    from.sin_port = htons(reply->sessionPort);
    const std::string address = boxnet::formatAddress(from, boxproto::kDefaultSessionPort);
    CHD_WMP_SCAN_RECORD record{};
    if (address.size() >= sizeof record.address)
        return; // cannot be written down whole, so it could not be connected to
    record.value = reply->value;
    std::memcpy(record.name, reply->name.data(), std::min(reply->name.size(), sizeof record.name - 1));
    std::memcpy(record.address, address.data(), address.size());

    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = std::find_if(found_.begin(), found_.end(),
                           [&](const Found& f) { return std::strcmp(f.record.address, record.address) == 0; });
    if (it != found_.end()) {
        it->record = record;
        it->seen = now;
    } else if (found_.size() < CHD_WMP_MAX_SCAN_RECORDS) {
        found_.push_back(Found{record, now});
    }
}

int BoxScanner::records(CHD_WMP_SCAN_RECORD* out, int* count)
{
    if (!out || !count)
        return CHD_ERR_PARAM;
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(found_, [now](const Found& f) { return now - f.seen > std::chrono::milliseconds(kForgetAfterMs); });
    int n = 0;
    for (const Found& f : found_) {
        if (n == CHD_WMP_MAX_SCAN_RECORDS)
            break;
        out[n++] = f.record;
    }
    *count = n;
    return CHD_OK;
}

} // namespace boxclient
