#pragma once
// The capture manager of one camera object: lists the system's capture
// devices, sets one up (format choice, memory-mapped buffers, a capture
// thread that delivers the preview frames, the still method when the device
// has one), changes its format and tears it down.
//
// Threads: every operation runs on a host thread (the UI thread); frames and
// stills reach the sink on the capture thread (stills: on whichever thread
// the device delivers them), never after teardown() has returned.
#include "camera/v4l2/FormatList.h"
#include "camera/v4l2/SharedDevice.h"
#include "camera/v4l2/SubtypeTable.h"
#include "camera/v4l2/VideoDeviceIo.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace v4l2 {

// Frame sink: kind 0 a preview frame, kind 1 a still. `data` is valid only
// during the call.
using FrameSink = std::function<void(int kind, const uint8_t* data, size_t length)>;

// One device slot. Fields are written by host threads while no capture
// thread runs; the capture thread only reads them.
struct CMCaptureDevice {
    int tryWidth = 0, tryHeight = 0; // requested preview size
    int width = 0, height = 0;       // connected preview size
    int stillWidth = 0, stillHeight = 0;
    bool setup = false;
    std::string name;
    std::unique_ptr<VideoDeviceIo> io;
    // `io` for those that may outlive this slot (the settings page);
    // invalidated before `io` closes.
    std::shared_ptr<SharedDevice> shared;
    std::vector<Capability> capabilities;
    std::vector<FormatEntry> previewFormats;
    std::vector<FormatEntry> stillFormats;
    uint32_t fourcc = 0;       // connected preview pixel format
    StillPin* still = nullptr; // connected still method, or null
    uint32_t stillFourcc = 0;  // connected still pixel format

    struct MappedBuffer {
        void* address = nullptr;
        size_t length = 0;
    };
    std::vector<MappedBuffer> buffers; // owned by the capture thread while it runs
    std::thread thread;
    std::atomic<bool> stopping{false};
    std::atomic<bool> lost{false}; // the device went away mid-stream
};

class CMCaptureManager {
public:
    static constexpr int kMaxDevices = 20;

    CMCaptureManager();
    ~CMCaptureManager();
    CMCaptureManager(const CMCaptureManager&) = delete;
    CMCaptureManager& operator=(const CMCaptureManager&) = delete;

    // Lists the capture devices again (at most 20); returns their number.
    int listDevices();
    const std::vector<VideoNode>& nodes() const { return m_nodes; }

    // Where frames go; set before setupDevice.
    void setFrameSink(FrameSink sink) { m_sink = std::move(sink); }

    // Opens device `index` of the last listing and starts its stream at the
    // requested subtype and size (or the closest the device offers). 0, or
    // CM_E_OPEN after tearing the device down again (not listed, busy, no
    // format accepted, buffers refused, stream refused).
    int setupDevice(int index);
    // Stops the capture thread and frees the device; the slot is fresh after.
    void teardown(int index);
    CMCaptureDevice& device(int index) { return *m_devices[static_cast<size_t>(index)]; }
    bool isSetup(int index) const;

    // Restarts the stream with another pixel format or size. 0 when the
    // device took exactly that and streams it; CM_E_FAILED when it refused,
    // is busy, or cannot stream it (the previous format and size stream
    // again where the device allows).
    int changeFormat(int index, uint32_t fourcc, int width, int height);
    // The errno of the last failed open of a node (EACCES: the user may not
    // open it); 0 when the node opened.
    int lastOpenError() const { return m_lastOpenError; }
    // Asks the device's still method for one picture; 0 or CM_E_FAILED.
    int triggerStill(int index);

    bool stillReady = false;
    int requestedStillWidth = 0, requestedStillHeight = 0; // 0: the device default
    int requestedPreviewSubtype = kSubtypeMjpg;
    int requestedStillSubtype = kSubtypeYuy2;

private:
    enum class TryResult { Accepted, Refused, Busy };
    // S_FMT; `exactly`: anything but that size and format is a refusal
    // (the previous format is put back).
    TryResult setFormat(CMCaptureDevice& dev, uint32_t fourcc, int width, int height, bool exactly);
    void setFastestRate(CMCaptureDevice& dev);
    int chooseFormat(CMCaptureDevice& dev);
    void connectStill(CMCaptureDevice& dev);
    bool startStreaming(int index);
    void stopStreaming(CMCaptureDevice& dev);
    void releaseBuffers(CMCaptureDevice& dev);
    void captureLoop(CMCaptureDevice& dev, int index);
    int fail(int index, const char* message);

    std::vector<VideoNode> m_nodes;
    int m_lastOpenError = 0;
    std::vector<std::unique_ptr<CMCaptureDevice>> m_devices;
    FrameSink m_sink;
};

} // namespace v4l2
