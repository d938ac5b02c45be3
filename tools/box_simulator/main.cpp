// box_simulator: a wireless camera box on the loopback network, for tests,
// demos and development. See --help.
#include "BoxServer.h"

#include <arpa/inet.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

namespace {
std::atomic<bool> g_stop{false};

void onSignal(int) { g_stop = true; }

void usage()
{
    std::puts("usage: box_simulator [options]\n"
              "  --bind ADDR             loopback address to serve on (127.0.0.0/8), default 127.0.0.1\n"
              "  --discovery-port PORT   UDP discovery port, default 48620; 0 picks a free one\n"
              "  --session-port PORT     TCP session port, default 48621; 0 picks a free one\n"
              "  --name NAME             box name (at most 19 bytes), default \"Pellumo Box\"\n"
              "  --value N               value in the scan record, default 1\n"
              "  --access-code CODE      code a client must present, default vemra;\n"
              "                          \"\" makes a box without a code (it refuses any code)\n"
              "  --open                  accept any access code\n"
              "  --fps N                 video frames per second, default 15\n"
              "  --format mjpeg|yuyv     format at start, default mjpeg\n"
              "  --picture-delay MS      answer snapshot requests this much later\n"
              "  --resolutions LIST      e.g. 640x480,1280x720 (at most 12; the first is used at start)\n"
              "  --unsupported-controls LIST   control ids (0..9) the box reports as unsupported\n"
              "  --fault KIND[:N]        after N frames of a session: drop, stall, garbage (bad header),\n"
              "                          oversized (absurd length), malformed (bad frame record);\n"
              "                          no-picture ignores snapshot requests; late-answer answers the\n"
              "                          next control read 3.5 s late, short-answer with 2 bytes\n"
              "  --quiet                 no session messages on stderr\n"
              "Prints \"READY discovery=ADDR:PORT session=ADDR:PORT\" when serving; stops on SIGTERM or SIGINT.");
}

bool parseList(const std::string& text, std::vector<int>& out)
{
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        char* end = nullptr;
        const long v = std::strtol(item.c_str(), &end, 10);
        if (item.empty() || *end)
            return false;
        out.push_back(static_cast<int>(v));
    }
    return true;
}

bool parseResolutions(const std::string& text, std::vector<std::pair<int, int>>& out)
{
    out.clear();
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        int w = 0, h = 0;
        char extra = 0;
        if (std::sscanf(item.c_str(), "%dx%d%c", &w, &h, &extra) != 2 || boxproto::groupResolu(w, h) == 0 || w % 2)
            return false;
        out.emplace_back(w, h);
    }
    return !out.empty() && out.size() <= boxproto::kAbilityResolutions;
}

bool parsePort(const char* text, uint16_t& port)
{
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (*end || v < 0 || v > 65535)
        return false;
    port = static_cast<uint16_t>(v);
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    boxsim::ServerConfig server;
    boxsim::BoxConfig box;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        auto value = [&]() -> const char* { return argv[++i]; };
        bool ok = true;
        if (arg == "--help" || arg == "-h") {
            usage();
            return 0;
        } else if (arg == "--open") {
            box.accessCode.reset();
        } else if (arg == "--quiet") {
            server.verbose = false;
        } else if (!hasValue) {
            ok = false;
        } else if (arg == "--bind") {
            server.bindAddress = value();
        } else if (arg == "--discovery-port") {
            ok = parsePort(value(), server.discoveryPort);
        } else if (arg == "--session-port") {
            ok = parsePort(value(), server.sessionPort);
        } else if (arg == "--name") {
            box.name = value();
            ok = !box.name.empty() && box.name.size() < boxproto::kNameSize;
        } else if (arg == "--value") {
            box.value = std::atoi(value());
        } else if (arg == "--access-code") {
            box.accessCode = value();
            ok = box.accessCode->size() <= boxproto::kMaxAccessCode;
        } else if (arg == "--fps") {
            server.fps = std::atoi(value());
            ok = server.fps >= 1 && server.fps <= 120;
        } else if (arg == "--picture-delay") {
            server.pictureDelayMs = std::atoi(value());
            ok = server.pictureDelayMs >= 0;
        } else if (arg == "--format") {
            const std::string f = value();
            ok = f == "mjpeg" || f == "yuyv";
            box.initialFormat = f == "yuyv" ? boxproto::kBoxFormatYUYV : boxproto::kBoxFormatMJPEG;
        } else if (arg == "--resolutions") {
            ok = parseResolutions(value(), box.resolutions);
        } else if (arg == "--unsupported-controls") {
            ok = parseList(value(), box.unsupportedControls);
        } else if (arg == "--fault") {
            ok = boxsim::parseFault(value(), server.fault);
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "box_simulator: bad option %s\n", arg.c_str());
            usage();
            return 2;
        }
    }
    // The simulator never serves anything but the loopback network.
    in_addr bind{};
    if (inet_pton(AF_INET, server.bindAddress.c_str(), &bind) != 1 || (ntohl(bind.s_addr) >> 24) != 127) {
        std::fprintf(stderr, "box_simulator: --bind must be a loopback address (127.0.0.0/8)\n");
        return 2;
    }

    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    boxsim::BoxServer simulator(server, box);
    if (!simulator.start())
        return 1;
    std::printf("READY discovery=%s:%u session=%s:%u\n", server.bindAddress.c_str(), simulator.discoveryPort(),
                server.bindAddress.c_str(), simulator.sessionPort());
    std::fflush(stdout);
    simulator.run(g_stop);
    return 0;
}
