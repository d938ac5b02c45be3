#pragma once
// The simulated box on the network: a discovery responder (UDP) and the
// session server (TCP), both bound to one loopback address, with the faults a
// test may ask for.

#include "BoxModel.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>

namespace boxsim {

struct Fault {
    enum class Kind {
        None,
        Drop,
        Stall,
        Garbage,
        Oversized,
        Malformed,
        NoPicture,
        LateAnswer,  // the first control read after N frames is answered 3.5 s late
        ShortAnswer, // the first control read after N frames is answered with 2 bytes
    } kind = Kind::None;
    unsigned afterFrames = 0; // frames of a session before the fault strikes
};
bool parseFault(const std::string& text, Fault& out);

struct ServerConfig {
    std::string bindAddress = "127.0.0.1";
    uint16_t discoveryPort = boxproto::kDefaultDiscoveryPort; // 0: any free port
    uint16_t sessionPort = boxproto::kDefaultSessionPort;     // 0: any free port
    int fps = 15;
    int pictureDelayMs = 0; // snapshots answered this late
    Fault fault;
    bool verbose = true;
};

class BoxServer {
public:
    BoxServer(const ServerConfig& server, const BoxConfig& box);
    ~BoxServer();

    // Binds both sockets; false (with a message on stderr) when that fails.
    bool start();
    uint16_t discoveryPort() const { return discoveryPort_; }
    uint16_t sessionPort() const { return sessionPort_; }
    // Serves until `stop` becomes true.
    void run(const std::atomic<bool>& stop);

private:
    void answerDiscovery();
    void acceptSession();
    void serveSession(int fd);

    ServerConfig config_;
    BoxModel model_;
    int udp_ = -1;
    int listener_ = -1;
    uint16_t discoveryPort_ = 0;
    uint16_t sessionPort_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex sessionsMutex_;
    std::list<std::thread> sessions_;
};

} // namespace boxsim
