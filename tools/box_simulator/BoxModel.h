#pragma once
// The simulated box's state: resolutions, formats, controls 0..9 and the
// access code, and the answers to every session request. Shared by all
// sessions, like the one camera of a real box.

#include "SceneRenderer.h"
#include "camera/boxclient/BoxProtocol.h"

#include <array>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace boxsim {

struct Control {
    bool supported = true;
    int min = 0;
    int max = 0;
    int def = 0;
    int value = 0;
    bool autoAvailable = false;
    bool autoOn = false;
    int autoTarget = 0; // where automatic mode steers the value
};

struct BoxConfig {
    std::string name = "Pellumo Box";
    int value = 1;
    std::optional<std::string> accessCode = std::string("vemra"); // nullopt: any code is accepted
    std::vector<std::pair<int, int>> resolutions{{640, 480}, {1280, 720}, {1920, 1080}, {320, 240}};
    std::vector<int> formats{boxproto::kBoxFormatMJPEG, boxproto::kBoxFormatYUYV};
    int initialFormat = boxproto::kBoxFormatMJPEG;
    std::vector<int> unsupportedControls;
};

struct Reply {
    int32_t status = boxproto::kStatusOk;
    std::vector<int32_t> fields;
};

class BoxModel {
public:
    static constexpr int kControls = 10;

    explicit BoxModel(const BoxConfig& config);

    bool accepts(const std::string& code) const;
    // Answers one request other than Hello and Bye.
    Reply handle(const boxproto::Request& request);
    // A snapshot request is valid for a listed resolution only.
    bool validResolution(int32_t code) const;

    int32_t resolution() const;
    int format() const;
    SceneControls scene() const;
    // Automatic modes take one step per delivered frame.
    void stepAutomatic();
    const BoxConfig& config() const { return config_; }

private:
    Reply control(int id) const;
    Reply setControl(const std::vector<int32_t>& fields);

    BoxConfig config_;
    mutable std::mutex mutex_;
    int32_t resolution_;
    int format_;
    std::array<Control, kControls> controls_;
};

} // namespace boxsim
