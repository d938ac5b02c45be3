#pragma once
// The emulated video device: a faithful model of a UVC camera behind the V4L2
// ioctls the capture code uses (capabilities, formats, sizes, frame
// intervals, controls with menus, memory-mapped streaming, a still method),
// with the faults real devices show: unplugged mid-stream (poll reports an
// error, the dequeue ENODEV or EIO), busy in another program, stalls, short
// MJPEG buffers, buffers flagged as errors, too little USB bandwidth.
#include "camera/v4l2/EmulatedCameraSpec.h"
#include "camera/v4l2/EmulatedOptics.h"
#include "camera/v4l2/VideoDeviceIo.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <tuple>
#include <vector>

namespace v4l2 {

// Faults a test (or a curious user) injects; any thread.
struct EmulatedFaults {
    bool busyAtFormat = false;  // S_FMT answers EBUSY
    bool busyAtBuffers = false; // REQBUFS answers EBUSY
    bool busyAtStream = false;  // STREAMON answers EBUSY
    bool stall = false;         // streaming delivers nothing
    int shortMjpegEvery = 0;    // every n-th MJPEG buffer carries half a picture
    int errorEvery = 0;         // every n-th buffer is flagged V4L2_BUF_FLAG_ERROR
    bool stillRefused = false;  // the still trigger fails
    bool stillLost = false;     // the still trigger succeeds, no picture comes
    int unplugAfterFrames = 0;  // the camera is unplugged after that many frames
    int replugAfterMs = 0;      // an unplugged camera comes back after that long
    bool accessDenied = false;  // the user may not open the node (EACCES)
    bool unplugEio = false;     // after an unplug the dequeue answers EIO (the node not yet removed), not ENODEV
    // Bytes per second an uncompressed stream may take over USB; STREAMON
    // above it answers ENOSPC, as the UVC driver does. 0: no limit.
    int64_t bandwidthLimit = 0;
};

// Faults from text: "unplug_after=<frames>,replug_after_ms=<n>,
// error_every=<n>,short_mjpeg_every=<n>,stall,unplug_eio,access_denied,
// still_refused,still_lost,bandwidth_limit=<bytes per second>" (the syntax of
// LENSBRIDGE_EMULATE_VIDEO_FAULTS). False with `error` set for an entry it
// does not understand.
bool parseEmulatedFaults(const std::string& text, EmulatedFaults& faults, std::string& error);

// One emulated camera, shared by every open handle of it. Any thread.
class EmulatedCamera {
public:
    explicit EmulatedCamera(EmulatedCameraSpec spec);

    const EmulatedCameraSpec& spec() const { return m_spec; }
    void setFaults(const EmulatedFaults& faults);
    // Shows the microscope slide through these optics (off: the plain scene).
    void setOptics(const optics::OpticsSettings& settings);
    // Pulls the plug: open handles see ENODEV, the listing drops the camera.
    void unplug();
    // Plugs it in again at once (a new device to the handles of before).
    // Like every replug it powers the camera on: its controls are back at
    // their defaults, as a UVC camera forgets them without power.
    void replug();
    // Plugged in (again, once a replug time has passed); handles opened
    // before an unplug stay dead, like the nodes of a device that went away.
    bool plugged();
    // The user may not open it (the access-denied fault).
    bool accessDenied();
    // Register file behind the tunnel.
    int registerValue(int reg);
    // Every control write so far, in order: (id, value).
    std::vector<std::pair<uint32_t, int>> controlWrites();
    // Frames handed out so far, over all handles.
    uint64_t framesDelivered();
    // The format, size and frame rate set now.
    struct Stream {
        uint32_t fourcc;
        int width, height, framesPerSecond;
    };
    Stream stream();

private:
    friend class EmulatedVideoDevice;
    friend class EmulatedStillPin;

    const EmulatedControl* findControl(uint32_t id) const;
    // The full frame rate of a format.
    int fullRate(uint32_t fourcc) const;
    // Controls and registers at their power-on values. Caller holds m_mutex
    // (or constructs).
    void powerOn();
    // Comes back after an unplug once the replug time has passed. Caller holds m_mutex.
    void replugWhenDue();
    // Counts a frame handed out. Caller holds m_mutex.
    void countFrame();
    // Pulls the plug once the frames the fault allows are out. Caller holds m_mutex.
    void unplugWhenDue();
    // The scene in this format and size (and phase of the moving square,
    // -1 for none), rendered once. Caller holds m_mutex.
    const std::vector<uint8_t>& scene(uint32_t fourcc, int width, int height, int phase = -1);

    const EmulatedCameraSpec m_spec;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_plugged = true;
    unsigned m_generation = 0; // grows with every replug
    std::chrono::steady_clock::time_point m_unpluggedAt;
    uint64_t m_framesSincePlug = 0;
    EmulatedFaults m_faults;
    std::unique_ptr<EmulatedOptics> m_optics;
    // Where the optics focus when no sweep runs: set by the focus controls of
    // the generic cameras, at rest otherwise. Caller holds m_mutex.
    double opticsFocus() const;
    std::map<uint32_t, int> m_controls;
    std::vector<std::pair<uint32_t, int>> m_writes;
    uint16_t m_registers[256] = {};
    int m_selectedRegister = 0;
    const void* m_owner = nullptr; // the handle holding format and buffers
    uint32_t m_fourcc = 0;
    int m_width = 0, m_height = 0;
    int m_framesPerSecond;
    uint64_t m_framesDelivered = 0;
    std::map<std::tuple<uint32_t, int, int, int>, std::vector<uint8_t>> m_scenes;
};

// The emulated cameras of this process, as the environment asks for them.
// The variables are read again when they change (a demo mode may set them
// after start); cameras stay the same objects while they do not. Any thread.
class EmulatedVideoBus {
public:
    static EmulatedVideoBus& instance();
    // Replaces every emulated camera and stops following the environment
    // (tests); handles already open keep theirs.
    void reset(const std::vector<EmulatedCameraSpec>& specs);
    // Another process drives the cameras through this file, read at every
    // listing and open: a line "unplugged <i>" pulls the plug of camera i
    // (a position in the list of all cameras), which comes back once the line
    // is gone. Empty: no file. Set from LENSBRIDGE_EMULATE_VIDEO_CONTROL
    // while the bus follows the environment.
    void setControlFile(std::string path);
    // Plugged cameras, in order, with their node paths.
    std::vector<std::pair<std::string, std::shared_ptr<EmulatedCamera>>> cameras();
    // A camera by list position among all cameras ever added (plugged or not).
    std::shared_ptr<EmulatedCamera> camera(size_t position);
    std::unique_ptr<VideoDeviceIo> open(const std::string& path, int& error);

    static bool isEmulatedPath(const std::string& path);

private:
    EmulatedVideoBus() = default;
    // Rebuilds the cameras when the variables changed. Caller holds m_mutex.
    void followEnvironment();
    // Plugs and unplugs as the control file says. Caller holds m_mutex.
    void followControlFile();

    std::mutex m_mutex;
    bool m_fixed = false;
    bool m_read = false;
    std::string m_environment;
    EmulatedFaults m_environmentFaults;
    std::vector<std::shared_ptr<EmulatedCamera>> m_cameras;
    std::string m_controlFile;
    std::vector<size_t> m_unpluggedByFile;
};

} // namespace v4l2
