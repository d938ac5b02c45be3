#pragma once
// A scripted USB SDK behind the SensorlinkApi table: cameras to report,
// register memory, injected failures, and a log of every call, so the USB
// camera's use of the SDK can be checked call by call. Frames are handed to
// the stored capture callback by the test itself.
#include "camera/usb/SensorlinkApi.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct ScriptedSdk {
    struct Call {
        std::string op;
        int32_t index = 0;
        uint32_t reg = 0;
        int32_t value = 0;
        bool operator==(const Call&) const = default;
    };

    // Script.
    std::vector<CameraInfo> cameras;
    int32_t searchResult = -1;           // -1: the number of cameras
    int32_t loginFailure = 0;            // non-zero: login returns it
    int32_t openFailure = VEXEL_OPEN_OK; // what the SDK reports as the reason of a failed login
    std::function<void()> onStopCapture; // runs inside stopCapture (e.g. a frame that races the stop)
    int32_t startCaptureResult = VEXEL_OK;
    std::map<uint32_t, int32_t> registers;
    std::map<uint32_t, bool> failingRegisters; // reads and writes of these fail

    // Observations.
    std::vector<Call> calls;
    int initialised = 0;
    VexelCaptureCallback callback = nullptr;
    void* userData = nullptr;
    int32_t userValue = 0;

    static ScriptedSdk& instance()
    {
        static ScriptedSdk sdk;
        return sdk;
    }
    static void reset() { instance() = ScriptedSdk{}; }

    void addCamera(const char* name = "")
    {
        CameraInfo info;
        std::memset(&info, 0, sizeof info);
        info.index = static_cast<int32_t>(cameras.size());
        info.vendorId = 0x1209;
        info.productId = 0x5ec5;
        std::strncpy(info.name, name, sizeof info.name - 1);
        cameras.push_back(info);
    }

    std::vector<Call> callsOf(const std::string& op) const
    {
        std::vector<Call> out;
        for (const Call& c : calls)
            if (c.op == op)
                out.push_back(c);
        return out;
    }
    std::vector<std::string> ops() const
    {
        std::vector<std::string> out;
        for (const Call& c : calls)
            out.push_back(c.op);
        return out;
    }

    static const SensorlinkApi& api()
    {
        static const SensorlinkApi table{
            [] {
                auto& s = instance();
                s.calls.push_back({"init"});
                if (s.initialised)
                    return VEXEL_E_STATE;
                s.initialised = 1;
                return VEXEL_OK;
            },
            [] {
                auto& s = instance();
                s.calls.push_back({"uninit"});
                if (!s.initialised)
                    return VEXEL_E_STATE;
                s.initialised = 0;
                return VEXEL_OK;
            },
            [](CameraInfo* list) {
                auto& s = instance();
                s.calls.push_back({"search"});
                if (!s.initialised)
                    return VEXEL_E_NOT_INITIALISED;
                if (s.searchResult >= 0 || s.searchResult < -1)
                    return s.searchResult;
                for (size_t i = 0; i < s.cameras.size(); ++i)
                    list[i] = s.cameras[i];
                return static_cast<int32_t>(s.cameras.size());
            },
            [](const CameraInfo* info) {
                auto& s = instance();
                s.calls.push_back({"login", info->index});
                return s.loginFailure ? s.loginFailure : info->index;
            },
            [](int32_t index) {
                instance().calls.push_back({"logout", index});
                return VEXEL_OK;
            },
            [](int32_t index, VexelCaptureCallback callback, void* userData, int32_t userValue) {
                auto& s = instance();
                s.calls.push_back({"setCaptureCallback", index});
                s.callback = callback;
                s.userData = userData;
                s.userValue = userValue;
                return VEXEL_OK;
            },
            [](int32_t index) {
                auto& s = instance();
                s.calls.push_back({"startCapture", index});
                return s.startCaptureResult;
            },
            [](int32_t index) {
                auto& s = instance();
                s.calls.push_back({"stopCapture", index});
                if (s.onStopCapture)
                    s.onStopCapture();
                return VEXEL_OK;
            },
            [](int32_t index) {
                instance().calls.push_back({"startCtrl", index});
                return VEXEL_OK;
            },
            [](int32_t index) {
                instance().calls.push_back({"stopCtrl", index});
                return VEXEL_OK;
            },
            [](int32_t index, uint32_t reg, int32_t value) {
                auto& s = instance();
                s.calls.push_back({"set", index, reg, value});
                if (s.failingRegisters[reg])
                    return VEXEL_E_TRANSACTION;
                s.registers[reg] = value;
                return VEXEL_OK;
            },
            [](int32_t index, uint32_t reg, int32_t* value) {
                auto& s = instance();
                s.calls.push_back({"get", index, reg});
                if (s.failingRegisters[reg])
                    return VEXEL_E_TRANSACTION;
                *value = s.registers[reg];
                return VEXEL_OK;
            },
            [] { return instance().openFailure; },
            [](int32_t index, char* port, int32_t size) {
                // Each position is its own port.
                const std::string text = "scripted:" + std::to_string(index);
                if (!port || size <= int32_t(text.size()))
                    return VEXEL_E_ARGUMENT;
                std::snprintf(port, size_t(size), "%s", text.c_str());
                return int32_t(text.size());
            },
        };
        return table;
    }
};

// A stream frame as the SDK delivers it: 52-byte leader + 2 bytes per pixel.
inline std::vector<uint8_t> makeStreamFrame(uint32_t pixelFormat, uint32_t width, uint32_t height, size_t payloadBytes)
{
    std::vector<uint8_t> frame(52 + payloadBytes);
    auto put32 = [&](size_t offset, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            frame[offset + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    put32(0, 0x4C563355);
    put32(28, pixelFormat);
    put32(32, width);
    put32(36, height);
    for (size_t i = 0; i < payloadBytes; ++i)
        frame[52 + i] = static_cast<uint8_t>(i * 13 + 1);
    return frame;
}
