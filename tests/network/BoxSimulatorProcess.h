#pragma once
// A box simulator on free loopback ports for one test.

#include "ChildProcess.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class BoxSimulatorProcess {
public:
    explicit BoxSimulatorProcess(std::vector<std::string> extra = {})
    {
        std::vector<std::string> args{"--discovery-port", "0", "--session-port", "0", "--quiet", "--resolutions",
                                      "320x240,640x480"};
        args.insert(args.end(), extra.begin(), extra.end());
        process_ = std::make_unique<ChildProcess>("box_simulator", args);
        const std::string line = process_->readyLine();
        discovery_ = fieldOf(line, "discovery");
        session_ = fieldOf(line, "session");
    }

    bool ready() const { return !session_.empty() && !discovery_.empty(); }
    // "127.0.0.1:port" of the session and discovery sockets.
    const std::string& session() const { return session_; }
    const std::string& discovery() const { return discovery_; }
    ChildProcess& process() { return *process_; }

private:
    std::unique_ptr<ChildProcess> process_;
    std::string discovery_;
    std::string session_;
};
