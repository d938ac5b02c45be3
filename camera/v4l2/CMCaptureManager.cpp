#include "camera/v4l2/CMCaptureManager.h"

#include "camera/CMTypes.h"
#include "camera/v4l2/MjpegPayload.h"
#include "platform/DebugOutput.h"

#include <linux/videodev2.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace v4l2 {
namespace {

constexpr uint32_t kBufferCount = 4;
// The capture thread wakes this often to notice a stop request.
constexpr int kPollSliceMs = 100;
// A device silent this long is reported (once, until frames flow again).
constexpr int kStallReportMs = 2000;
// Pause after a failed dequeue before asking again.
constexpr int kErrorPauseMs = 20;

v4l2_buffer captureBuffer()
{
    v4l2_buffer buf{};
    buf.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    buf.memory = V4L2_MEMORY_MMAP;
    return buf;
}

bool currentFormat(VideoDeviceIo& io, v4l2_format& fmt)
{
    std::memset(&fmt, 0, sizeof fmt);
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    return io.ioctl(VIDIOC_G_FMT, &fmt) == 0;
}

} // namespace

CMCaptureManager::CMCaptureManager()
{
    for (int i = 0; i < kMaxDevices; ++i)
        m_devices.push_back(std::make_unique<CMCaptureDevice>());
}

CMCaptureManager::~CMCaptureManager()
{
    for (int i = 0; i < kMaxDevices; ++i)
        teardown(i);
}

int CMCaptureManager::listDevices()
{
    m_nodes = listVideoNodes();
    if (m_nodes.size() > static_cast<size_t>(kMaxDevices))
        m_nodes.resize(kMaxDevices);
    return static_cast<int>(m_nodes.size());
}

bool CMCaptureManager::isSetup(int index) const
{
    return index >= 0 && index < kMaxDevices && m_devices[static_cast<size_t>(index)]->setup;
}

int CMCaptureManager::fail(int index, const char* message)
{
    platform::ConsolePrintf("%s", message);
    teardown(index);
    return CM_E_OPEN;
}

CMCaptureManager::TryResult CMCaptureManager::setFormat(CMCaptureDevice& dev, uint32_t fourcc, int width, int height,
                                                        bool exactly)
{
    if (fourcc == 0 || width <= 0 || height <= 0)
        return TryResult::Refused;
    v4l2_format previous;
    const bool havePrevious = currentFormat(*dev.io, previous);
    v4l2_format fmt{};
    fmt.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    fmt.fmt.pix.pixelformat = fourcc;
    fmt.fmt.pix.width = static_cast<uint32_t>(width);
    fmt.fmt.pix.height = static_cast<uint32_t>(height);
    fmt.fmt.pix.field = V4L2_FIELD_ANY;
    const int rc = dev.io->ioctl(VIDIOC_S_FMT, &fmt);
    if (rc == -EBUSY)
        return TryResult::Busy;
    // A V4L2 driver adjusts what it cannot do. A size the user picked must be
    // exactly that; a size the search chose from the driver's own list may
    // come back adjusted, as long as it stays a format the program shows.
    const bool same = fmt.fmt.pix.pixelformat == fourcc && fmt.fmt.pix.width == static_cast<uint32_t>(width) &&
                      fmt.fmt.pix.height == static_cast<uint32_t>(height);
    const bool usable = isShowableSubtype(subtypeOfFourcc(fmt.fmt.pix.pixelformat)) && fmt.fmt.pix.width > 0 &&
                        fmt.fmt.pix.height > 0 && fmt.fmt.pix.width <= 65535 && fmt.fmt.pix.height <= 65535;
    if (rc == 0 && (same || (!exactly && usable))) {
        dev.fourcc = fmt.fmt.pix.pixelformat;
        dev.width = static_cast<int>(fmt.fmt.pix.width);
        dev.height = static_cast<int>(fmt.fmt.pix.height);
        return TryResult::Accepted;
    }
    if (havePrevious)
        dev.io->ioctl(VIDIOC_S_FMT, &previous);
    return TryResult::Refused;
}

void CMCaptureManager::setFastestRate(CMCaptureDevice& dev)
{
    uint32_t numerator = 0, denominator = 0;
    if (!fastestInterval(*dev.io, dev.fourcc, dev.width, dev.height, numerator, denominator))
        return;
    v4l2_streamparm parm{};
    parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    parm.parm.capture.timeperframe = {numerator, denominator};
    dev.io->ioctl(VIDIOC_S_PARM, &parm); // a device that keeps its rate still streams
}

int CMCaptureManager::chooseFormat(CMCaptureDevice& dev)
{
    v4l2_format current;
    if (!currentFormat(*dev.io, current)) {
        platform::ConsolePrintf("ERROR: Couldn't getFormat for pAmMediaType!\n");
        return CM_E_OPEN;
    }
    dev.fourcc = current.fmt.pix.pixelformat;
    dev.width = static_cast<int>(current.fmt.pix.width);
    dev.height = static_cast<int>(current.fmt.pix.height);
    platform::ConsolePrintf("SETUP: Default Format is set to %i by %i \n", dev.width, dev.height);
    // No size asked for: the device's current size.
    if (dev.tryWidth <= 0 || dev.tryHeight <= 0) {
        dev.tryWidth = dev.width;
        dev.tryHeight = dev.height;
    }

    // One choice from what the driver enumerates, one S_FMT: no format is
    // tried and put back.
    const StreamChoice choice =
        chooseStream(*dev.io, dev.capabilities, subtypeFourcc(requestedPreviewSubtype), dev.tryWidth, dev.tryHeight);
    if (choice.found) {
        platform::ConsolePrintf("SETUP: requested %s @ %i by %i, choosing %s @ %i by %i at %u/%u s\n",
                                subtypeName(requestedPreviewSubtype), dev.tryWidth, dev.tryHeight,
                                subtypeName(subtypeOfFourcc(choice.fourcc)), choice.width, choice.height,
                                choice.numerator, choice.denominator);
        const TryResult result = setFormat(dev, choice.fourcc, choice.width, choice.height, false);
        if (result == TryResult::Busy)
            return CM_E_OPEN;
        if (result == TryResult::Accepted) {
            requestedPreviewSubtype = subtypeOfFourcc(dev.fourcc);
            return CM_OK;
        }
    }
    // The device's default format stays, if the program can show it.
    if (!currentFormat(*dev.io, current))
        return CM_E_OPEN;
    dev.fourcc = current.fmt.pix.pixelformat;
    dev.width = static_cast<int>(current.fmt.pix.width);
    dev.height = static_cast<int>(current.fmt.pix.height);
    if (!isShowableSubtype(subtypeOfFourcc(dev.fourcc))) {
        platform::ConsolePrintf("ERROR: the device offers no format the program can show\n");
        return CM_E_OPEN;
    }
    requestedPreviewSubtype = subtypeOfFourcc(dev.fourcc);
    return CM_OK;
}

void CMCaptureManager::connectStill(CMCaptureDevice& dev)
{
    stillReady = false;
    dev.still = dev.io->stillPin();
    if (!dev.still) {
        platform::ConsolePrintf("SETUP: Couldn't find still pin\n");
        return;
    }
    std::vector<Capability> stillCaps;
    for (const StillPin::Format& f : dev.still->formats())
        for (const auto& [w, h] : f.sizes)
            stillCaps.push_back(Capability{f.fourcc, w, w, 1, h, h, 1});
    dev.stillFormats = buildFormatList(stillCaps);

    uint32_t fourcc = 0;
    int width = 0, height = 0;
    dev.still->getFormat(fourcc, width, height);
    if (requestedStillWidth > 0 && requestedStillHeight > 0) {
        width = requestedStillWidth;
        height = requestedStillHeight;
    }
    for (const FormatEntry& e : dev.stillFormats)
        if (e.subtype == requestedStillSubtype && e.subtype >= 0)
            fourcc = e.fourcc;
    if (dev.still->setFormat(fourcc, width, height) != 0) {
        platform::ConsolePrintf("ERROR: Couldn't getFormat for pAmMediaTypeStill!\n");
        dev.still->getFormat(fourcc, width, height);
    }
    dev.stillFourcc = fourcc;
    dev.stillWidth = width;
    dev.stillHeight = height;
    dev.still->setHandler([this](const uint8_t* data, size_t length) {
        if (m_sink)
            m_sink(1, data, length);
    });
    platform::ConsolePrintf("SETUP: Still callback set\n");
    stillReady = true;
}

int CMCaptureManager::setupDevice(int index)
{
    if (index < 0 || index >= kMaxDevices)
        return CM_E_OPEN;
    CMCaptureDevice& dev = device(index);
    platform::ConsolePrintf("SETUP: Setting up device %i\n", index);
    if (static_cast<size_t>(index) >= m_nodes.size())
        return fail(index, "ERROR - Could not find specified video device\n");
    int error = 0;
    dev.io = openVideoNode(m_nodes[static_cast<size_t>(index)].path, error);
    m_lastOpenError = dev.io ? 0 : error;
    if (!dev.io)
        return fail(index, error == EACCES || error == EPERM
                               ? "ERROR - No access to the video device: join the video group\n"
                               : "ERROR - Could not find specified video device\n");
    dev.shared = std::make_shared<SharedDevice>(dev.io.get());
    dev.name = m_nodes[static_cast<size_t>(index)].name;
    platform::ConsolePrintf("SETUP: %s\n", dev.name.c_str());

    v4l2_capability cap{};
    if (dev.io->ioctl(VIDIOC_QUERYCAP, &cap) != 0)
        return fail(index, "ERROR: Couldn't config the stream!\n");
    const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
        return fail(index, "ERROR: Couldn't config the stream!\n");

    dev.capabilities = readCapabilities(*dev.io);
    dev.previewFormats = buildFormatList(dev.capabilities);
    if (chooseFormat(dev) != CM_OK)
        return fail(index, "ERROR: connecting device - prehaps it is already being used?\n");
    setFastestRate(dev);

    connectStill(dev);
    if (!startStreaming(index))
        return fail(index, "ERROR: Could not start graph\n");
    platform::ConsolePrintf("SETUP: Device is setup and ready to capture.\n\n");
    dev.setup = true;
    return CM_OK;
}

bool CMCaptureManager::startStreaming(int index)
{
    CMCaptureDevice& dev = device(index);
    v4l2_requestbuffers req{};
    req.count = kBufferCount;
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    if (int rc = dev.io->ioctl(VIDIOC_REQBUFS, &req); rc != 0 || req.count == 0) {
        if (rc == -EBUSY)
            platform::ConsolePrintf("ERROR: connecting device - prehaps it is already being used?\n");
        return false;
    }
    for (uint32_t i = 0; i < req.count; ++i) {
        v4l2_buffer buf = captureBuffer();
        buf.index = i;
        if (dev.io->ioctl(VIDIOC_QUERYBUF, &buf) != 0) {
            releaseBuffers(dev);
            return false;
        }
        void* address = dev.io->map(buf.length, buf.m.offset);
        if (!address) {
            releaseBuffers(dev);
            return false;
        }
        dev.buffers.push_back({address, buf.length});
        if (dev.io->ioctl(VIDIOC_QBUF, &buf) != 0) {
            releaseBuffers(dev);
            return false;
        }
    }
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (int rc = dev.io->ioctl(VIDIOC_STREAMON, &type); rc != 0) {
        if (rc == -EBUSY)
            platform::ConsolePrintf("ERROR: connecting device - prehaps it is already being used?\n");
        releaseBuffers(dev);
        return false;
    }
    dev.stopping = false;
    dev.lost = false;
    dev.thread = std::thread([this, &dev, index] { captureLoop(dev, index); });
    return true;
}

void CMCaptureManager::releaseBuffers(CMCaptureDevice& dev)
{
    if (!dev.io)
        return;
    int type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    dev.io->ioctl(VIDIOC_STREAMOFF, &type);
    for (const CMCaptureDevice::MappedBuffer& b : dev.buffers)
        dev.io->unmap(b.address, b.length);
    dev.buffers.clear();
    v4l2_requestbuffers req{};
    req.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    req.memory = V4L2_MEMORY_MMAP;
    dev.io->ioctl(VIDIOC_REQBUFS, &req); // count 0 frees them
}

void CMCaptureManager::stopStreaming(CMCaptureDevice& dev)
{
    dev.stopping = true;
    if (dev.thread.joinable())
        dev.thread.join();
    releaseBuffers(dev);
}

void CMCaptureManager::captureLoop(CMCaptureDevice& dev, int index)
{
    int silentMs = 0;
    bool stallReported = false, errorReported = false;
    while (!dev.stopping) {
        const int ready = dev.io->poll(kPollSliceMs);
        if (ready == 0 || ready == -EAGAIN) {
            silentMs += kPollSliceMs;
            if (silentMs >= kStallReportMs && !stallReported) {
                platform::DebugPrintf("V4L2: device %d delivers no frames\n", index);
                stallReported = true;
            }
            continue;
        }
        if (ready == -ENODEV) {
            dev.lost = true;
            break;
        }
        v4l2_buffer buf = captureBuffer();
        const int rc = dev.io->ioctl(VIDIOC_DQBUF, &buf);
        if (rc == -EAGAIN)
            continue;
        // An unplugged UVC camera answers poll with POLLERR, then the
        // dequeue with ENODEV, or with EIO while the node is not yet
        // removed; the capabilities query tells that EIO from a stream error.
        v4l2_capability cap{};
        if (rc == -ENODEV || (rc == -EIO && dev.io->ioctl(VIDIOC_QUERYCAP, &cap) == -ENODEV)) {
            dev.lost = true;
            break;
        }
        if (rc != 0 || buf.index >= dev.buffers.size()) {
            if (!errorReported)
                platform::DebugPrintf("V4L2: device %d: dequeue failed (%d)\n", index, rc);
            errorReported = true;
            if (ready < 0) // poll itself fails: the stream is gone
                break;
            // A stream in error answers poll at once; do not spin on it.
            std::this_thread::sleep_for(std::chrono::milliseconds(kErrorPauseMs));
            continue;
        }
        silentMs = 0;
        stallReported = false;
        errorReported = false;

        const CMCaptureDevice::MappedBuffer& mapped = dev.buffers[buf.index];
        size_t length = buf.bytesused < mapped.length ? buf.bytesused : mapped.length;
        const auto* data = static_cast<const uint8_t*>(mapped.address);
        if (dev.fourcc == V4L2_PIX_FMT_MJPEG)
            length = mjpegPictureLength(data, length);
        // A buffer the driver flags as damaged, or an empty one, is dropped.
        if (!(buf.flags & V4L2_BUF_FLAG_ERROR) && length > 0 && m_sink)
            m_sink(0, data, length);

        if (dev.io->ioctl(VIDIOC_QBUF, &buf) == -ENODEV) {
            dev.lost = true;
            break;
        }
    }
    if (dev.lost) {
        platform::DebugPrintf("V4L2: device %d disappeared\n", index);
        releaseBuffers(dev);
    }
}

int CMCaptureManager::changeFormat(int index, uint32_t fourcc, int width, int height)
{
    if (!isSetup(index))
        return CM_E_FAILED;
    CMCaptureDevice& dev = device(index);
    stopStreaming(dev);
    const uint32_t previousFourcc = dev.fourcc;
    const int previousWidth = dev.width, previousHeight = dev.height;
    const TryResult result = setFormat(dev, fourcc, width, height, true);
    if (result == TryResult::Accepted)
        setFastestRate(dev);
    if (startStreaming(index))
        return result == TryResult::Accepted ? CM_OK : CM_E_FAILED;
    // The driver took the format but cannot stream it (a UVC camera answers
    // ENOSPC or EIO when the USB bandwidth is short): the previous format
    // streams again, and the change fails.
    platform::ConsolePrintf("ERROR: %s @ %i by %i does not stream; back to %s @ %i by %i\n",
                            subtypeName(subtypeOfFourcc(fourcc)), width, height,
                            subtypeName(subtypeOfFourcc(previousFourcc)), previousWidth, previousHeight);
    if (setFormat(dev, previousFourcc, previousWidth, previousHeight, true) == TryResult::Accepted) {
        setFastestRate(dev);
        startStreaming(index);
    }
    return CM_E_FAILED;
}

int CMCaptureManager::triggerStill(int index)
{
    if (!isSetup(index) || !device(index).still)
        return CM_E_FAILED;
    return device(index).still->trigger() == 0 ? CM_OK : CM_E_FAILED;
}

void CMCaptureManager::teardown(int index)
{
    if (index < 0 || index >= kMaxDevices)
        return;
    std::unique_ptr<CMCaptureDevice>& slot = m_devices[static_cast<size_t>(index)];
    if (!slot->io && !slot->thread.joinable())
        return;
    platform::ConsolePrintf("\nSETUP: Disconnecting device %i\n", index);
    if (slot->still)
        slot->still->setHandler(nullptr);
    if (slot->shared)
        slot->shared->invalidate();
    stopStreaming(*slot);
    slot = std::make_unique<CMCaptureDevice>();
    stillReady = false;
    platform::ConsolePrintf("SETUP: Device %i disconnected and freed\n\n", index);
}

} // namespace v4l2
