#pragma once
// What an emulated camera looks like on the bus and how it streams.
#include <cstdint>
#include <string>
#include <vector>

#include "optics/OpticsSettings.h"
#include "usbsdk/sdk/StreamFormat.h"

namespace usbsdk::emulator {

struct EmulatorConfig {
    uint16_t vendorId = 0x1209;
    uint16_t productId = 0x5EC5;
    uint16_t bcdUSB = 0x0300; // 0x0210: USB 2.1 without BOS
    std::vector<uint16_t> languages{0x0409};
    std::string manufacturer = "Pellumo";
    std::string product = "Emulated USB3 Microscope Camera";
    std::string serial = "EMU0001";
    uint32_t width = 1280; // initial region of interest
    uint32_t height = 960;
    uint32_t pixelFormat = stream::kPixelFormatYuv422;
    // Frames per second; 0 = frames only on emitFrames().
    double fps = 30.0;
    // Frames the camera's own memory holds for a host that reads late; older
    // ones are lost (the block ids then skip).
    int bufferedFrames = 4;
    // Stamps the frame number and the applied register values into the
    // first bytes of every payload (see FrameStamp).
    bool stamp = false;
    // Acknowledgement code a block read is answered with.
    uint16_t blockReadAckCode = 0x0801;
    // The microscope it looks through (off: the plain scene).
    optics::OpticsSettings optics;

    // Periodic faults (0 = off), for demos and soak runs.
    int shortPayloadEvery = 0; // every n-th frame misses 2 bytes
    int failStreamEvery = 0;   // every n-th stream transfer fails
    int badAckEvery = 0;       // every n-th acknowledgement carries a stale id
    int unplugAfterFrames = 0; // the camera disappears after this many frames
    int replugAfterMs = 0;     // an unplugged camera comes back after this long (0: never)

    // A file that gets a line "open <serial>" when a connection to the
    // camera is made and "close <serial>" when it ends (empty: none), so a
    // test sees which camera the program opened, and in which order.
    std::string eventsPath;
    int unplugEveryFrames = 0; // the camera disappears again after this many frames of each plug-in
};

} // namespace usbsdk::emulator
