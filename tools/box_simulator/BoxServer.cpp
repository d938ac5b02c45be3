#include "BoxServer.h"

#include "camera/boxclient/BoxSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace boxsim {

using boxproto::MsgType;
using Clock = std::chrono::steady_clock;

bool parseFault(const std::string& text, Fault& out)
{
    const auto colon = text.find(':');
    const std::string kind = text.substr(0, colon);
    unsigned after = 0;
    if (colon != std::string::npos) {
        char* end = nullptr;
        after = static_cast<unsigned>(std::strtoul(text.c_str() + colon + 1, &end, 10));
        if (!end || *end != '\0')
            return false;
    }
    static const std::pair<const char*, Fault::Kind> kinds[] = {{"none", Fault::Kind::None},
                                                                {"drop", Fault::Kind::Drop},
                                                                {"stall", Fault::Kind::Stall},
                                                                {"garbage", Fault::Kind::Garbage},
                                                                {"oversized", Fault::Kind::Oversized},
                                                                {"malformed", Fault::Kind::Malformed},
                                                                {"no-picture", Fault::Kind::NoPicture},
                                                                {"late-answer", Fault::Kind::LateAnswer},
                                                                {"short-answer", Fault::Kind::ShortAnswer}};
    for (const auto& [name, value] : kinds) {
        if (kind == name) {
            out = Fault{value, after};
            return true;
        }
    }
    return false;
}

namespace {
int bindSocket(int type, const std::string& address, uint16_t port, uint16_t& boundPort)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &local.sin_addr);
    socklen_t length = sizeof local;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0 ||
        (type == SOCK_STREAM && ::listen(fd, 8) != 0) ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        ::close(fd);
        return -1;
    }
    boundPort = ntohs(local.sin_port);
    return fd;
}

bool sendMessage(int fd, uint8_t type, uint32_t seq, std::span<const uint8_t> payload)
{
    const auto message = boxproto::buildMessage(type, seq, payload);
    return boxnet::sendAll(fd, message.data(), message.size());
}

bool sendReply(int fd, uint8_t requestType, uint32_t seq, const Reply& reply)
{
    std::vector<uint8_t> payload;
    boxproto::putI32(payload, reply.status);
    if (reply.status == boxproto::kStatusOk)
        for (int32_t v : reply.fields)
            boxproto::putI32(payload, v);
    return sendMessage(fd, static_cast<uint8_t>(requestType | boxproto::kResponseBit), seq, payload);
}
} // namespace

BoxServer::BoxServer(const ServerConfig& server, const BoxConfig& box) : config_(server), model_(box) {}

BoxServer::~BoxServer()
{
    stopping_ = true;
    {
        std::lock_guard<std::mutex> lock(sessionsMutex_);
        for (auto& t : sessions_)
            t.join();
    }
    if (udp_ >= 0)
        ::close(udp_);
    if (listener_ >= 0)
        ::close(listener_);
}

bool BoxServer::start()
{
    udp_ = bindSocket(SOCK_DGRAM, config_.bindAddress, config_.discoveryPort, discoveryPort_);
    if (udp_ < 0) {
        std::fprintf(stderr, "box_simulator: cannot bind discovery %s:%u: %s\n", config_.bindAddress.c_str(),
                     config_.discoveryPort, std::strerror(errno));
        return false;
    }
    listener_ = bindSocket(SOCK_STREAM, config_.bindAddress, config_.sessionPort, sessionPort_);
    if (listener_ < 0) {
        std::fprintf(stderr, "box_simulator: cannot bind session %s:%u: %s\n", config_.bindAddress.c_str(),
                     config_.sessionPort, std::strerror(errno));
        return false;
    }
    return true;
}

void BoxServer::run(const std::atomic<bool>& stop)
{
    while (!stop) {
        pollfd fds[2] = {{udp_, POLLIN, 0}, {listener_, POLLIN, 0}};
        if (::poll(fds, 2, 100) <= 0)
            continue;
        if (fds[0].revents & POLLIN)
            answerDiscovery();
        if (fds[1].revents & POLLIN)
            acceptSession();
    }
    stopping_ = true;
}

void BoxServer::answerDiscovery()
{
    uint8_t datagram[512];
    sockaddr_in from{};
    socklen_t length = sizeof from;
    const ssize_t size = ::recvfrom(udp_, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (size <= 0)
        return;
    const auto nonce = boxproto::parseDiscoverRequest(std::span<const uint8_t>(datagram, static_cast<size_t>(size)));
    if (!nonce)
        return;
    // Answers go back only to the loopback sender that asked.
    if ((ntohl(from.sin_addr.s_addr) >> 24) != 127)
        return;
    boxproto::DiscoverReply reply;
    reply.nonce = *nonce;
    reply.value = model_.config().value;
    reply.sessionPort = sessionPort_;
    reply.name = model_.config().name;
    const auto bytes = boxproto::buildDiscoverReply(reply);
    ::sendto(udp_, bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&from), sizeof from);
}

void BoxServer::acceptSession()
{
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    if (config_.verbose)
        std::fprintf(stderr, "box_simulator: session opened\n");
    std::lock_guard<std::mutex> lock(sessionsMutex_);
    sessions_.emplace_back([this, fd] {
        serveSession(fd);
        ::close(fd);
        if (config_.verbose)
            std::fprintf(stderr, "box_simulator: session closed\n");
    });
}

void BoxServer::serveSession(int fd)
{
    SceneRenderer renderer;
    const auto start = Clock::now();
    const auto period = std::chrono::microseconds(1000000 / std::max(1, config_.fps));
    auto nextFrame = start;
    bool greeted = false;
    bool streaming = false;
    bool stalled = false;
    bool answerFaultDone = false;
    uint32_t frames = 0;
    std::vector<int32_t> pendingSnapshot; // resolution code, width, height
    Clock::time_point snapshotDue;
    std::vector<uint8_t> encoded;
    const Fault fault = config_.fault;

    auto elapsedMs = [&] {
        return static_cast<uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    };

    while (!stopping_) {
        int timeoutMs = 100;
        if (!pendingSnapshot.empty())
            timeoutMs = 10;
        if (streaming && !stalled) {
            const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(nextFrame - Clock::now()).count();
            timeoutMs = static_cast<int>(std::clamp<long long>(wait, 0, 100));
        }
        pollfd pfd{fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, timeoutMs);
        if (ready > 0 && (pfd.revents & (POLLIN | POLLHUP | POLLERR))) {
            if (stalled) {
                // A stalled box still notices a client that hangs up.
                uint8_t scratch[4096];
                if (::recv(fd, scratch, sizeof scratch, 0) <= 0)
                    return;
                continue;
            }
            uint8_t headerBytes[boxproto::kHeaderSize];
            boxproto::Header header;
            if (!boxnet::recvAll(fd, headerBytes, sizeof headerBytes) ||
                boxproto::parseHeader(std::span<const uint8_t, boxproto::kHeaderSize>(headerBytes), header) !=
                    boxproto::HeaderError::None ||
                header.length > 4096)
                return;
            std::vector<uint8_t> payload(header.length);
            if (header.length && !boxnet::recvAll(fd, payload.data(), payload.size()))
                return;
            boxproto::Request request;
            if (!boxproto::decodeRequest(header, payload, request)) {
                if (!sendReply(fd, header.type, header.seq, Reply{boxproto::kStatusBadRequest, {}}))
                    return;
                continue;
            }
            Reply reply;
            switch (static_cast<MsgType>(request.type)) {
            case MsgType::Hello:
                greeted = model_.accepts(request.accessCode);
                reply.status = greeted ? boxproto::kStatusOk : boxproto::kStatusAccessDenied;
                break;
            case MsgType::Bye: sendReply(fd, request.type, request.seq, reply); return;
            case MsgType::VideoBegin:
            case MsgType::VideoEnd:
                if (greeted) {
                    streaming = request.type == static_cast<uint8_t>(MsgType::VideoBegin);
                    nextFrame = Clock::now();
                }
                break;
            case MsgType::Snapshot:
                if (greeted && !model_.validResolution(request.fields[0]))
                    reply.status = boxproto::kStatusBadValue;
                else if (greeted && fault.kind != Fault::Kind::NoPicture) {
                    pendingSnapshot = request.fields;
                    snapshotDue = Clock::now() + std::chrono::milliseconds(config_.pictureDelayMs);
                }
                break;
            default:
                if (greeted)
                    reply = model_.handle(request);
                break;
            }
            if (!greeted)
                reply = Reply{boxproto::kStatusAccessDenied, {}};
            const bool answerFault =
                (fault.kind == Fault::Kind::LateAnswer || fault.kind == Fault::Kind::ShortAnswer) && !answerFaultDone &&
                frames >= fault.afterFrames && request.type == static_cast<uint8_t>(MsgType::GetCtrl);
            if (answerFault) {
                answerFaultDone = true;
                if (fault.kind == Fault::Kind::ShortAnswer) {
                    const uint8_t two[2] = {0, 0};
                    if (!sendMessage(fd, static_cast<uint8_t>(request.type | boxproto::kResponseBit), request.seq, two))
                        return;
                    continue;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(3500));
            }
            if (!sendReply(fd, request.type, request.seq, reply))
                return;
        }
        if (stalled)
            continue;

        if (!pendingSnapshot.empty() && Clock::now() >= snapshotDue) {
            int w = 0, h = 0;
            boxproto::analysisResolu(pendingSnapshot[0], w, h);
            const int format = model_.format();
            if (renderer.encode(format, w, h, frames, model_.scene(), encoded)) {
                const auto frame =
                    boxproto::buildFramePayload(format, pendingSnapshot[0], frames, elapsedMs(), encoded);
                if (!sendMessage(fd, static_cast<uint8_t>(MsgType::Picture), 0, frame))
                    return;
            }
            pendingSnapshot.clear();
        }

        if (!streaming || Clock::now() < nextFrame)
            continue;
        nextFrame += period;
        if (nextFrame < Clock::now())
            nextFrame = Clock::now() + period; // fell behind: do not burst

        if (fault.kind != Fault::Kind::None && fault.kind != Fault::Kind::NoPicture && frames == fault.afterFrames) {
            switch (fault.kind) {
            case Fault::Kind::Drop: return;
            case Fault::Kind::Stall: stalled = true; continue;
            case Fault::Kind::Garbage: {
                const uint8_t garbage[boxproto::kHeaderSize] = {'G', 'A', 'R', 'B', 'A', 'G', 'E'};
                boxnet::sendAll(fd, garbage, sizeof garbage);
                break;
            }
            case Fault::Kind::Oversized: {
                uint8_t header[boxproto::kHeaderSize];
                boxproto::writeHeader(header,
                                      boxproto::Header{static_cast<uint8_t>(MsgType::VideoFrame), 0, 0x7FFFFFF0u});
                boxnet::sendAll(fd, header, sizeof header);
                stalled = true;
                continue;
            }
            case Fault::Kind::Malformed: {
                // A frame whose inner length claims more bytes than it carries.
                auto frame = boxproto::buildFramePayload(model_.format(), model_.resolution(), frames, elapsedMs(),
                                                         std::vector<uint8_t>(64, 0x55));
                frame[16] = 0xFF;
                frame[17] = 0xFF;
                if (!sendMessage(fd, static_cast<uint8_t>(MsgType::VideoFrame), 0, frame))
                    return;
                ++frames;
                continue;
            }
            default: break;
            }
        }

        const int32_t resolution = model_.resolution();
        int w = 0, h = 0;
        boxproto::analysisResolu(resolution, w, h);
        const int format = model_.format();
        if (!renderer.encode(format, w, h, frames, model_.scene(), encoded))
            continue;
        const auto frame = boxproto::buildFramePayload(format, resolution, frames, elapsedMs(), encoded);
        if (!sendMessage(fd, static_cast<uint8_t>(MsgType::VideoFrame), 0, frame))
            return;
        ++frames;
        model_.stepAutomatic();
    }
}

} // namespace boxsim
