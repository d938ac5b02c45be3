#include "camera/v4l2/EmulatedVideoDevice.h"

#include "camera/v4l2/EmulatedPictures.h"
#include "camera/v4l2/EmulatedScene.h"

#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <sstream>

namespace v4l2 {
namespace {

constexpr const char* kPathPrefix = "emulated:video";
constexpr uint32_t kMaxBuffers = 8;

bool isCompressed(uint32_t fourcc) { return fourcc == V4L2_PIX_FMT_MJPEG || fourcc == V4L2_PIX_FMT_H264; }

uint32_t bytesPerLine(uint32_t fourcc, int width)
{
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV: return static_cast<uint32_t>(width) * 2;
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_RGB24: return static_cast<uint32_t>(width) * 3;
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_GREY: return static_cast<uint32_t>(width); // the luma plane's
    default: return 0;
    }
}

uint32_t imageSize(uint32_t fourcc, int width, int height)
{
    const uint32_t luma = static_cast<uint32_t>(width) * static_cast<uint32_t>(height);
    const uint32_t chroma = static_cast<uint32_t>((width + 1) / 2) * static_cast<uint32_t>((height + 1) / 2);
    switch (fourcc) {
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_YUV420: return luma + 2 * chroma;
    case V4L2_PIX_FMT_GREY: return luma;
    default: break;
    }
    const uint32_t line = bytesPerLine(fourcc, width);
    // Compressed pictures get the worst case a UVC camera announces.
    return line ? line * static_cast<uint32_t>(height) : luma * 2;
}

// Pictures drawn once per phase of the moving square; the others get the
// square drawn over a copy of one picture.
bool drawnPerPhase(uint32_t fourcc) { return isCompressed(fourcc) || isEmulatedPictureFormat(fourcc); }

bool isRange(const EmulatedFormat& f) { return f.kind != EmulatedFormat::Sizes::Discrete && f.sizes.size() == 2; }

int gridStep(const EmulatedFormat& f, bool horizontal)
{
    if (f.kind != EmulatedFormat::Sizes::Stepwise)
        return 1;
    return std::max(1, horizontal ? f.stepWidth : f.stepHeight);
}

// Nearest of min, min + step, … ≤ max.
int onGrid(long wanted, int min, int max, int step)
{
    const long clamped = std::clamp<long>(wanted, min, max);
    const long steps = (clamped - min + step / 2) / step;
    return static_cast<int>(std::min<long>(min + steps * step, max - (max - min) % step));
}

bool offersSize(const EmulatedFormat& f, uint32_t width, uint32_t height)
{
    if (isRange(f))
        return int(width) >= f.sizes[0].first && int(width) <= f.sizes[1].first && int(height) >= f.sizes[0].second &&
               int(height) <= f.sizes[1].second && (int(width) - f.sizes[0].first) % gridStep(f, true) == 0 &&
               (int(height) - f.sizes[0].second) % gridStep(f, false) == 0;
    for (const auto& [w, h] : f.sizes)
        if (static_cast<uint32_t>(w) == width && static_cast<uint32_t>(h) == height)
            return true;
    return false;
}

// The size a driver makes of a wish: the nearest offered one.
std::pair<int, int> nearestSize(const EmulatedFormat& f, uint32_t width, uint32_t height)
{
    if (isRange(f))
        return {onGrid(width, f.sizes[0].first, f.sizes[1].first, gridStep(f, true)),
                onGrid(height, f.sizes[0].second, f.sizes[1].second, gridStep(f, false))};
    std::pair<int, int> best{0, 0};
    long bestDistance = -1;
    for (const auto& [w, h] : f.sizes) {
        const long distance = std::labs(long(w) - long(width)) + std::labs(long(h) - long(height));
        if (bestDistance < 0 || distance < bestDistance) {
            bestDistance = distance;
            best = {w, h};
        }
    }
    return best;
}

void copyName(uint8_t* to, size_t size, const std::string& from)
{
    std::memset(to, 0, size);
    std::memcpy(to, from.data(), std::min(size - 1, from.size()));
}

uint32_t pageAligned(uint32_t length) { return (length + 4095u) & ~4095u; }

} // namespace

// ---- the shared camera ----

EmulatedCamera::EmulatedCamera(EmulatedCameraSpec spec) : m_spec(std::move(spec))
{
    powerOn();
    if (!m_spec.formats.empty() && !m_spec.formats[0].sizes.empty()) {
        m_fourcc = m_spec.formats[0].fourcc;
        m_width = m_spec.formats[0].sizes[0].first;
        m_height = m_spec.formats[0].sizes[0].second;
    }
    m_framesPerSecond = fullRate(m_fourcc);
}

void EmulatedCamera::setFaults(const EmulatedFaults& faults)
{
    std::lock_guard lock(m_mutex);
    m_faults = faults;
    m_changed.notify_all();
}

void EmulatedCamera::setOptics(const optics::OpticsSettings& settings)
{
    std::lock_guard lock(m_mutex);
    m_optics = settings.on ? std::make_unique<EmulatedOptics>(settings, m_framesPerSecond) : nullptr;
}

double EmulatedCamera::opticsFocus() const
{
    const EmulatedControl* automatic = findControl(V4L2_CID_FOCUS_AUTO);
    const EmulatedControl* absolute = findControl(V4L2_CID_FOCUS_ABSOLUTE);
    constexpr double kRest = 0.5;
    if (!automatic || !absolute || m_spec.registerTunnel || absolute->max <= absolute->min)
        return kRest;
    auto value = [&](const EmulatedControl* control) {
        const auto it = m_controls.find(control->id);
        return it == m_controls.end() ? control->def : it->second;
    };
    if (value(automatic) != 0)
        return kRest;
    return static_cast<double>(value(absolute) - absolute->min) / (absolute->max - absolute->min);
}

void EmulatedCamera::unplug()
{
    std::lock_guard lock(m_mutex);
    m_plugged = false;
    m_unpluggedAt = std::chrono::steady_clock::now();
    m_changed.notify_all();
}

void EmulatedCamera::powerOn()
{
    for (const EmulatedControl& c : m_spec.controls)
        m_controls[c.id] = std::clamp(c.def, c.min, c.max);
    std::fill(std::begin(m_registers), std::end(m_registers), uint16_t(0));
    for (const auto& [reg, value] : m_spec.registerDefaults)
        m_registers[reg & 0xFF] = static_cast<uint16_t>(value);
}

void EmulatedCamera::replug()
{
    std::lock_guard lock(m_mutex);
    if (m_plugged)
        return;
    m_plugged = true;
    ++m_generation;
    m_framesSincePlug = 0;
    m_owner = nullptr;
    powerOn();
}

bool EmulatedCamera::plugged()
{
    std::lock_guard lock(m_mutex);
    replugWhenDue();
    return m_plugged;
}

void EmulatedCamera::replugWhenDue()
{
    if (m_plugged || m_faults.replugAfterMs <= 0)
        return;
    if (std::chrono::steady_clock::now() - m_unpluggedAt < std::chrono::milliseconds(m_faults.replugAfterMs))
        return;
    m_plugged = true;
    ++m_generation;
    m_framesSincePlug = 0;
    m_owner = nullptr;
    powerOn();
}

void EmulatedCamera::countFrame()
{
    ++m_framesDelivered;
    ++m_framesSincePlug;
}

void EmulatedCamera::unplugWhenDue()
{
    if (m_plugged && m_faults.unplugAfterFrames > 0 &&
        m_framesSincePlug >= static_cast<uint64_t>(m_faults.unplugAfterFrames)) {
        m_plugged = false;
        m_unpluggedAt = std::chrono::steady_clock::now();
        m_changed.notify_all();
    }
}

bool parseEmulatedFaults(const std::string& text, EmulatedFaults& faults, std::string& error)
{
    std::stringstream list(text);
    std::string item;
    while (std::getline(list, item, ',')) {
        if (item.empty())
            continue;
        const size_t eq = item.find('=');
        const std::string name = item.substr(0, eq);
        int value = 0;
        if (eq != std::string::npos) {
            char* end = nullptr;
            const long parsed = std::strtol(item.c_str() + eq + 1, &end, 10);
            if (end == item.c_str() + eq + 1 || *end != '\0' || parsed < 0 || parsed > 1000000000) {
                error = "bad LENSBRIDGE_EMULATE_VIDEO_FAULTS entry: " + item;
                return false;
            }
            value = static_cast<int>(parsed);
        }
        if (name == "unplug_after")
            faults.unplugAfterFrames = value;
        else if (name == "replug_after_ms")
            faults.replugAfterMs = value;
        else if (name == "error_every")
            faults.errorEvery = value;
        else if (name == "short_mjpeg_every")
            faults.shortMjpegEvery = value;
        else if (name == "stall" && eq == std::string::npos)
            faults.stall = true;
        else if (name == "access_denied" && eq == std::string::npos)
            faults.accessDenied = true;
        else if (name == "unplug_eio" && eq == std::string::npos)
            faults.unplugEio = true;
        else if (name == "still_refused" && eq == std::string::npos)
            faults.stillRefused = true;
        else if (name == "still_lost" && eq == std::string::npos)
            faults.stillLost = true;
        else if (name == "bandwidth_limit")
            faults.bandwidthLimit = value;
        else {
            error = "bad LENSBRIDGE_EMULATE_VIDEO_FAULTS entry: " + item;
            return false;
        }
    }
    return true;
}

bool EmulatedCamera::accessDenied()
{
    std::lock_guard lock(m_mutex);
    return m_faults.accessDenied;
}

int EmulatedCamera::registerValue(int reg)
{
    std::lock_guard lock(m_mutex);
    return m_registers[reg & 0xFF];
}

std::vector<std::pair<uint32_t, int>> EmulatedCamera::controlWrites()
{
    std::lock_guard lock(m_mutex);
    return m_writes;
}

uint64_t EmulatedCamera::framesDelivered()
{
    std::lock_guard lock(m_mutex);
    return m_framesDelivered;
}

EmulatedCamera::Stream EmulatedCamera::stream()
{
    std::lock_guard lock(m_mutex);
    return Stream{m_fourcc, m_width, m_height, m_framesPerSecond};
}

const EmulatedControl* EmulatedCamera::findControl(uint32_t id) const
{
    for (const EmulatedControl& c : m_spec.controls)
        if (c.id == id)
            return &c;
    return nullptr;
}

const std::vector<uint8_t>& EmulatedCamera::scene(uint32_t fourcc, int width, int height, int phase)
{
    const auto key = std::make_tuple(fourcc, width, height, phase);
    auto it = m_scenes.find(key);
    if (it != m_scenes.end())
        return it->second;
    if (fourcc == V4L2_PIX_FMT_H264) {
        // The whole group of pictures at once: each refers to the one before.
        std::vector<std::vector<uint8_t>> units = encodeH264Scene(width, height);
        units.resize(kScenePhases);
        for (int p = 0; p < kScenePhases; ++p)
            m_scenes.emplace(std::make_tuple(fourcc, width, height, p), std::move(units[size_t(p)]));
        return m_scenes[std::make_tuple(fourcc, width, height, std::max(phase, 0))];
    }
    std::vector<uint8_t> picture;
    if (m_spec.specimen && fourcc == V4L2_PIX_FMT_MJPEG)
        picture = renderSpecimenJpeg(width, height, std::max(phase, 0));
    else if (isEmulatedPictureFormat(fourcc))
        picture = renderPlanarScene(fourcc, width, height, std::max(phase, 0));
    else
        picture = renderScene(fourcc, width, height, phase);
    return m_scenes.emplace(key, std::move(picture)).first->second;
}

int EmulatedCamera::fullRate(uint32_t fourcc) const
{
    for (const EmulatedFormat& f : m_spec.formats)
        if (f.fourcc == fourcc && f.framesPerSecond > 0)
            return f.framesPerSecond;
    return m_spec.framesPerSecond > 0 ? m_spec.framesPerSecond : 30;
}

// ---- the still method ----

class EmulatedStillPin : public StillPin {
public:
    EmulatedStillPin(EmulatedCamera& camera, unsigned generation) : m_camera(camera), m_generation(generation)
    {
        const auto& formats = camera.spec().stillFormats;
        if (!formats.empty() && !formats[0].sizes.empty()) {
            m_fourcc = formats[0].fourcc;
            m_width = formats[0].sizes[0].first;
            m_height = formats[0].sizes[0].second;
        }
    }

    std::vector<Format> formats() override
    {
        std::vector<Format> out;
        for (const EmulatedFormat& f : m_camera.spec().stillFormats)
            out.push_back({f.fourcc, f.sizes});
        return out;
    }

    int setFormat(uint32_t fourcc, int width, int height) override
    {
        std::lock_guard lock(m_camera.m_mutex);
        if (!alive())
            return -ENODEV;
        for (const EmulatedFormat& f : m_camera.spec().stillFormats)
            if (f.fourcc == fourcc)
                for (const auto& [w, h] : f.sizes)
                    if (w == width && h == height) {
                        m_fourcc = fourcc;
                        m_width = width;
                        m_height = height;
                        return 0;
                    }
        return -EINVAL;
    }

    void getFormat(uint32_t& fourcc, int& width, int& height) override
    {
        std::lock_guard lock(m_camera.m_mutex);
        fourcc = m_fourcc;
        width = m_width;
        height = m_height;
    }

    void setHandler(Handler handler) override
    {
        std::lock_guard lock(m_camera.m_mutex);
        m_handler = std::move(handler);
    }

    int trigger() override
    {
        std::unique_lock lock(m_camera.m_mutex);
        if (!alive())
            return -ENODEV;
        if (m_camera.m_faults.stillRefused)
            return -EIO;
        if (m_camera.m_faults.stillLost || !m_handler)
            return 0;
        const std::vector<uint8_t>& picture = m_camera.scene(m_fourcc, m_width, m_height);
        Handler handler = m_handler;
        lock.unlock(); // scenes are never dropped, so the picture stays valid
        handler(picture.data(), picture.size());
        return 0;
    }

private:
    bool alive() const { return m_camera.m_plugged && m_camera.m_generation == m_generation; }

    EmulatedCamera& m_camera;
    const unsigned m_generation;
    uint32_t m_fourcc = 0;
    int m_width = 0, m_height = 0;
    Handler m_handler;
};

// ---- one open handle ----

class EmulatedVideoDevice : public VideoDeviceIo {
public:
    EmulatedVideoDevice(std::shared_ptr<EmulatedCamera> camera, int node) : m_camera(std::move(camera)), m_node(node)
    {
        {
            std::lock_guard lock(m_camera->m_mutex);
            m_generation = m_camera->m_generation;
        }
        if (!m_camera->spec().stillFormats.empty())
            m_still = std::make_unique<EmulatedStillPin>(*m_camera, m_generation);
    }

    ~EmulatedVideoDevice() override
    {
        std::lock_guard lock(m_camera->m_mutex);
        if (m_camera->m_owner == this)
            m_camera->m_owner = nullptr;
        m_camera->m_changed.notify_all();
    }

    int ioctl(unsigned long request, void* arg) override;
    void* map(size_t length, uint32_t offset) override;
    void unmap(void*, size_t) override {}
    int poll(int timeoutMs) override;
    StillPin* stillPin() override { return m_still.get(); }

private:
    struct Buffer {
        std::vector<uint8_t> memory;
        uint32_t offset = 0;
        uint32_t bytesused = 0;
        uint32_t flags = 0;
        uint32_t sequence = 0;
        bool queued = false;
    };
    using Clock = std::chrono::steady_clock;

    int queryCap(v4l2_capability& cap);
    int enumFormat(v4l2_fmtdesc& desc);
    int enumSizes(v4l2_frmsizeenum& sizes);
    int enumIntervals(v4l2_frmivalenum& intervals);
    int format(v4l2_format& fmt, bool apply);
    int parm(v4l2_streamparm& parm, bool apply);
    int requestBuffers(v4l2_requestbuffers& req);
    int queryBuffer(v4l2_buffer& buf);
    int queueBuffer(v4l2_buffer& buf);
    int dequeueBuffer(v4l2_buffer& buf);
    int streamOn();
    int streamOff();
    int queryControl(v4l2_queryctrl& query);
    int queryMenu(v4l2_querymenu& menu);
    int getControl(v4l2_control& control);
    int setControl(v4l2_control& control);
    bool controlInactive(uint32_t id) const;
    // Fills the oldest queued buffer with the next frame. Caller holds the lock.
    void produceFrame();

    // The device this handle was opened on is still there. Caller holds the lock.
    bool alive() const { return m_camera->m_plugged && m_camera->m_generation == m_generation; }

    std::shared_ptr<EmulatedCamera> m_camera;
    const int m_node;
    unsigned m_generation = 0;
    std::unique_ptr<EmulatedStillPin> m_still;
    std::vector<Buffer> m_buffers;
    std::deque<size_t> m_queued, m_done;
    bool m_streaming = false;
    uint32_t m_sequence = 0;
    Clock::time_point m_nextFrame;
};

int EmulatedVideoDevice::ioctl(unsigned long request, void* arg)
{
    if (!arg)
        return -EFAULT;
    std::lock_guard lock(m_camera->m_mutex);
    if (!alive()) {
        // An unplugged UVC camera fails the dequeue with EIO while its node
        // is being removed; every other call finds the node gone.
        if (request == VIDIOC_DQBUF && m_streaming && m_camera->m_faults.unplugEio)
            return -EIO;
        return -ENODEV;
    }
    switch (request) {
    case VIDIOC_QUERYCAP: return queryCap(*static_cast<v4l2_capability*>(arg));
    case VIDIOC_ENUM_FMT: return enumFormat(*static_cast<v4l2_fmtdesc*>(arg));
    case VIDIOC_ENUM_FRAMESIZES: return enumSizes(*static_cast<v4l2_frmsizeenum*>(arg));
    case VIDIOC_ENUM_FRAMEINTERVALS: return enumIntervals(*static_cast<v4l2_frmivalenum*>(arg));
    case VIDIOC_G_FMT: return format(*static_cast<v4l2_format*>(arg), false);
    case VIDIOC_TRY_FMT: {
        auto* fmt = static_cast<v4l2_format*>(arg);
        return format(*fmt, false);
    }
    case VIDIOC_S_FMT: return format(*static_cast<v4l2_format*>(arg), true);
    case VIDIOC_G_PARM: return parm(*static_cast<v4l2_streamparm*>(arg), false);
    case VIDIOC_S_PARM: return parm(*static_cast<v4l2_streamparm*>(arg), true);
    case VIDIOC_REQBUFS: return requestBuffers(*static_cast<v4l2_requestbuffers*>(arg));
    case VIDIOC_QUERYBUF: return queryBuffer(*static_cast<v4l2_buffer*>(arg));
    case VIDIOC_QBUF: return queueBuffer(*static_cast<v4l2_buffer*>(arg));
    case VIDIOC_DQBUF: return dequeueBuffer(*static_cast<v4l2_buffer*>(arg));
    case VIDIOC_STREAMON: return streamOn();
    case VIDIOC_STREAMOFF: return streamOff();
    case VIDIOC_QUERYCTRL: return queryControl(*static_cast<v4l2_queryctrl*>(arg));
    case VIDIOC_QUERYMENU: return queryMenu(*static_cast<v4l2_querymenu*>(arg));
    case VIDIOC_G_CTRL: return getControl(*static_cast<v4l2_control*>(arg));
    case VIDIOC_S_CTRL: return setControl(*static_cast<v4l2_control*>(arg));
    default: return -ENOTTY;
    }
}

int EmulatedVideoDevice::queryCap(v4l2_capability& cap)
{
    std::memset(&cap, 0, sizeof cap);
    copyName(cap.driver, sizeof cap.driver, "uvcvideo");
    copyName(cap.card, sizeof cap.card, m_camera->spec().name);
    copyName(cap.bus_info, sizeof cap.bus_info, "usb-emulated-" + std::to_string(m_node));
    cap.version = 0x060100;
    cap.device_caps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    cap.capabilities = cap.device_caps | V4L2_CAP_DEVICE_CAPS;
    return 0;
}

int EmulatedVideoDevice::enumFormat(v4l2_fmtdesc& desc)
{
    const auto& formats = m_camera->spec().formats;
    if (desc.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || desc.index >= formats.size())
        return -EINVAL;
    const uint32_t index = desc.index;
    std::memset(&desc, 0, sizeof desc);
    desc.index = index;
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    desc.pixelformat = formats[index].fourcc;
    desc.flags = isCompressed(desc.pixelformat) ? V4L2_FMT_FLAG_COMPRESSED : 0;
    const uint32_t f = desc.pixelformat;
    const char fourcc[5] = {char(f & 0xFF), char(f >> 8 & 0xFF), char(f >> 16 & 0xFF), char(f >> 24 & 0xFF), 0};
    copyName(desc.description, sizeof desc.description, fourcc);
    return 0;
}

int EmulatedVideoDevice::enumSizes(v4l2_frmsizeenum& sizes)
{
    for (const EmulatedFormat& f : m_camera->spec().formats) {
        if (f.fourcc != sizes.pixel_format)
            continue;
        if (isRange(f)) {
            if (sizes.index > 0)
                return -EINVAL;
            const bool stepwise = f.kind == EmulatedFormat::Sizes::Stepwise;
            sizes.type = stepwise ? V4L2_FRMSIZE_TYPE_STEPWISE : V4L2_FRMSIZE_TYPE_CONTINUOUS;
            sizes.stepwise.min_width = static_cast<uint32_t>(f.sizes[0].first);
            sizes.stepwise.max_width = static_cast<uint32_t>(f.sizes[1].first);
            sizes.stepwise.step_width = static_cast<uint32_t>(gridStep(f, true));
            sizes.stepwise.min_height = static_cast<uint32_t>(f.sizes[0].second);
            sizes.stepwise.max_height = static_cast<uint32_t>(f.sizes[1].second);
            sizes.stepwise.step_height = static_cast<uint32_t>(gridStep(f, false));
            return 0;
        }
        if (sizes.index >= f.sizes.size())
            return -EINVAL;
        sizes.type = V4L2_FRMSIZE_TYPE_DISCRETE;
        sizes.discrete.width = static_cast<uint32_t>(f.sizes[sizes.index].first);
        sizes.discrete.height = static_cast<uint32_t>(f.sizes[sizes.index].second);
        return 0;
    }
    return -EINVAL;
}

int EmulatedVideoDevice::enumIntervals(v4l2_frmivalenum& intervals)
{
    bool offered = false;
    for (const EmulatedFormat& f : m_camera->spec().formats)
        if (f.fourcc == intervals.pixel_format)
            offered |= offersSize(f, intervals.width, intervals.height);
    const int fps = m_camera->fullRate(intervals.pixel_format);
    // The full rate and half of it.
    const int rates[2] = {fps, fps / 2};
    if (!offered || intervals.index >= 2 || rates[intervals.index] <= 0)
        return -EINVAL;
    intervals.type = V4L2_FRMIVAL_TYPE_DISCRETE;
    intervals.discrete.numerator = 1;
    intervals.discrete.denominator = static_cast<uint32_t>(rates[intervals.index]);
    return 0;
}

int EmulatedVideoDevice::format(v4l2_format& fmt, bool apply)
{
    if (fmt.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return -EINVAL;
    EmulatedCamera& cam = *m_camera;
    v4l2_pix_format& pix = fmt.fmt.pix;
    uint32_t fourcc = cam.m_fourcc;
    int width = cam.m_width, height = cam.m_height;
    const bool query = !apply && pix.pixelformat == 0 && pix.width == 0; // G_FMT
    if (!query) {
        // Like a driver: an unknown format becomes the first one, a size the
        // nearest offered size.
        const auto& formats = cam.spec().formats;
        if (formats.empty())
            return -EINVAL;
        const EmulatedFormat* chosen = &formats[0];
        for (const EmulatedFormat& f : formats)
            if (f.fourcc == pix.pixelformat)
                chosen = &f;
        fourcc = chosen->fourcc;
        std::tie(width, height) = nearestSize(*chosen, pix.width, pix.height);
    }
    if (apply) {
        if (cam.m_faults.busyAtFormat || (cam.m_owner && cam.m_owner != this) || !m_buffers.empty())
            return -EBUSY;
        if (cam.m_fourcc != fourcc)
            cam.m_framesPerSecond = cam.fullRate(fourcc);
        cam.m_fourcc = fourcc;
        cam.m_width = width;
        cam.m_height = height;
        cam.m_owner = this;
    }
    std::memset(&pix, 0, sizeof pix);
    pix.pixelformat = fourcc;
    pix.width = static_cast<uint32_t>(width);
    pix.height = static_cast<uint32_t>(height);
    pix.field = V4L2_FIELD_NONE;
    pix.bytesperline = bytesPerLine(fourcc, width);
    pix.sizeimage = imageSize(fourcc, width, height);
    pix.colorspace = V4L2_COLORSPACE_SRGB;
    return 0;
}

int EmulatedVideoDevice::parm(v4l2_streamparm& parm, bool apply)
{
    if (parm.type != V4L2_BUF_TYPE_VIDEO_CAPTURE)
        return -EINVAL;
    EmulatedCamera& cam = *m_camera;
    if (apply) {
        const v4l2_fract wanted = parm.parm.capture.timeperframe;
        const int full = cam.fullRate(cam.m_fourcc);
        // The nearest of the two offered rates.
        const double rate = wanted.numerator ? double(wanted.denominator) / wanted.numerator : full;
        cam.m_framesPerSecond = (full / 2 > 0 && rate < full * 0.75) ? full / 2 : full;
    }
    std::memset(&parm.parm, 0, sizeof parm.parm);
    parm.parm.capture.capability = V4L2_CAP_TIMEPERFRAME;
    parm.parm.capture.timeperframe = {1, static_cast<uint32_t>(cam.m_framesPerSecond)};
    parm.parm.capture.readbuffers = 0;
    return 0;
}

int EmulatedVideoDevice::requestBuffers(v4l2_requestbuffers& req)
{
    if (req.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || req.memory != V4L2_MEMORY_MMAP)
        return -EINVAL;
    EmulatedCamera& cam = *m_camera;
    if (m_streaming)
        return -EBUSY;
    if (req.count == 0) {
        m_buffers.clear();
        m_queued.clear();
        m_done.clear();
        if (cam.m_owner == this)
            cam.m_owner = nullptr;
        return 0;
    }
    if (cam.m_faults.busyAtBuffers || (cam.m_owner && cam.m_owner != this))
        return -EBUSY;
    cam.m_owner = this;
    const uint32_t count = std::min(req.count, kMaxBuffers);
    const uint32_t size = imageSize(cam.m_fourcc, cam.m_width, cam.m_height);
    m_buffers.assign(count, Buffer{});
    for (uint32_t i = 0; i < count; ++i) {
        m_buffers[i].memory.assign(size, 0);
        m_buffers[i].offset = i * pageAligned(size);
    }
    m_queued.clear();
    m_done.clear();
    req.count = count;
    return 0;
}

int EmulatedVideoDevice::queryBuffer(v4l2_buffer& buf)
{
    if (buf.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buf.index >= m_buffers.size())
        return -EINVAL;
    const Buffer& b = m_buffers[buf.index];
    buf.memory = V4L2_MEMORY_MMAP;
    buf.length = static_cast<uint32_t>(b.memory.size());
    buf.m.offset = b.offset;
    buf.flags = V4L2_BUF_FLAG_MAPPED | (b.queued ? V4L2_BUF_FLAG_QUEUED : 0);
    return 0;
}

int EmulatedVideoDevice::queueBuffer(v4l2_buffer& buf)
{
    if (buf.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buf.memory != V4L2_MEMORY_MMAP || buf.index >= m_buffers.size())
        return -EINVAL;
    Buffer& b = m_buffers[buf.index];
    if (b.queued)
        return -EINVAL;
    b.queued = true;
    m_queued.push_back(buf.index);
    m_camera->m_changed.notify_all();
    return 0;
}

int EmulatedVideoDevice::dequeueBuffer(v4l2_buffer& buf)
{
    if (buf.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buf.memory != V4L2_MEMORY_MMAP)
        return -EINVAL;
    if (!m_streaming)
        return -EINVAL;
    if (m_done.empty())
        return -EAGAIN;
    const size_t index = m_done.front();
    m_done.pop_front();
    Buffer& b = m_buffers[index];
    b.queued = false;
    buf.index = static_cast<uint32_t>(index);
    buf.bytesused = b.bytesused;
    buf.flags = b.flags | V4L2_BUF_FLAG_MAPPED | V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC;
    buf.field = V4L2_FIELD_NONE;
    buf.sequence = b.sequence;
    buf.length = static_cast<uint32_t>(b.memory.size());
    buf.m.offset = b.offset;
    return 0;
}

int EmulatedVideoDevice::streamOn()
{
    EmulatedCamera& cam = *m_camera;
    if (cam.m_faults.busyAtStream)
        return -EBUSY;
    if (m_buffers.empty())
        return -EINVAL;
    if (m_streaming)
        return 0;
    const int64_t rate = int64_t(imageSize(cam.m_fourcc, cam.m_width, cam.m_height)) * cam.m_framesPerSecond;
    if (cam.m_faults.bandwidthLimit > 0 && !isCompressed(cam.m_fourcc) && rate > cam.m_faults.bandwidthLimit)
        return -ENOSPC;
    // Render the picture now, not when the first frame is due.
    cam.scene(cam.m_fourcc, cam.m_width, cam.m_height);
    m_streaming = true;
    m_nextFrame = Clock::now() + std::chrono::microseconds(1000000 / cam.m_framesPerSecond);
    return 0;
}

int EmulatedVideoDevice::streamOff()
{
    m_streaming = false;
    // Every buffer returns to the application, queued or filled.
    for (Buffer& b : m_buffers)
        b.queued = false;
    m_queued.clear();
    m_done.clear();
    m_camera->m_changed.notify_all();
    return 0;
}

void EmulatedVideoDevice::produceFrame()
{
    EmulatedCamera& cam = *m_camera;
    const size_t index = m_queued.front();
    m_queued.pop_front();
    Buffer& b = m_buffers[index];
    // Compressed pictures are made once per phase of the moving square; the
    // others get the square drawn over the copied picture.
    size_t length = 0;
    if (cam.m_optics) {
        length = cam.m_optics->render(m_sequence, cam.m_fourcc, cam.m_width, cam.m_height, cam.opticsFocus(),
                                      b.memory.data(), b.memory.size());
    } else {
        const int phase = static_cast<int>(m_sequence % kScenePhases);
        const bool perPhase = drawnPerPhase(cam.m_fourcc);
        const std::vector<uint8_t>& picture = cam.scene(cam.m_fourcc, cam.m_width, cam.m_height, perPhase ? phase : -1);
        length = std::min(picture.size(), b.memory.size());
        std::memcpy(b.memory.data(), picture.data(), length);
        if (!perPhase)
            drawMarker(cam.m_fourcc, b.memory.data(), length, cam.m_width, cam.m_height, phase);
    }
    b.bytesused = static_cast<uint32_t>(length);
    b.flags = 0;
    b.sequence = m_sequence++;
    const uint32_t n = b.sequence + 1;
    if (cam.m_faults.shortMjpegEvery > 0 && cam.m_fourcc == V4L2_PIX_FMT_MJPEG &&
        n % static_cast<uint32_t>(cam.m_faults.shortMjpegEvery) == 0)
        b.bytesused /= 2;
    if (cam.m_faults.errorEvery > 0 && n % static_cast<uint32_t>(cam.m_faults.errorEvery) == 0)
        b.flags |= V4L2_BUF_FLAG_ERROR;
    m_done.push_back(index);
    cam.countFrame();
}

int EmulatedVideoDevice::poll(int timeoutMs)
{
    EmulatedCamera& cam = *m_camera;
    std::unique_lock lock(cam.m_mutex);
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    for (;;) {
        if (!alive())
            return 1; // POLLERR: the dequeue says what happened
        if (!m_streaming)
            return -EINVAL;
        if (!m_done.empty())
            return 1;
        const Clock::time_point now = Clock::now();
        const bool canProduce = !m_queued.empty() && !cam.m_faults.stall;
        if (canProduce && now >= m_nextFrame) {
            // The plug is pulled when the next frame is due, so every frame
            // counted was delivered.
            cam.unplugWhenDue();
            if (!alive())
                return 1;
            produceFrame();
            const auto interval = std::chrono::microseconds(1000000 / cam.m_framesPerSecond);
            m_nextFrame += interval;
            if (m_nextFrame < now) // fell behind: the sensor does not catch up
                m_nextFrame = now + interval;
            continue;
        }
        if (now >= deadline)
            return 0;
        cam.m_changed.wait_until(lock, canProduce ? std::min(deadline, m_nextFrame) : deadline);
    }
}

void* EmulatedVideoDevice::map(size_t length, uint32_t offset)
{
    std::lock_guard lock(m_camera->m_mutex);
    if (!alive())
        return nullptr;
    for (Buffer& b : m_buffers)
        if (b.offset == offset && length <= b.memory.size())
            return b.memory.data();
    return nullptr;
}

// ---- controls ----

bool EmulatedVideoDevice::controlInactive(uint32_t id) const
{
    const auto& values = m_camera->m_controls;
    auto valueOf = [&](uint32_t other, int fallback) {
        auto it = values.find(other);
        return it == values.end() ? fallback : it->second;
    };
    switch (id) {
    case V4L2_CID_EXPOSURE_ABSOLUTE:
        return valueOf(V4L2_CID_EXPOSURE_AUTO, V4L2_EXPOSURE_MANUAL) != V4L2_EXPOSURE_MANUAL;
    case V4L2_CID_WHITE_BALANCE_TEMPERATURE: return valueOf(V4L2_CID_AUTO_WHITE_BALANCE, 0) != 0;
    case V4L2_CID_FOCUS_ABSOLUTE: return valueOf(V4L2_CID_FOCUS_AUTO, 0) != 0;
    default: return false;
    }
}

int EmulatedVideoDevice::queryControl(v4l2_queryctrl& query)
{
    const EmulatedControl* control = nullptr;
    if (query.id & V4L2_CTRL_FLAG_NEXT_CTRL) {
        const uint32_t after = query.id & ~(V4L2_CTRL_FLAG_NEXT_CTRL | V4L2_CTRL_FLAG_NEXT_COMPOUND);
        for (const EmulatedControl& c : m_camera->spec().controls)
            if (c.id > after && (!control || c.id < control->id))
                control = &c;
    } else {
        control = m_camera->findControl(query.id);
    }
    if (!control)
        return -EINVAL;
    std::memset(&query, 0, sizeof query);
    query.id = control->id;
    query.type = control->type;
    copyName(query.name, sizeof query.name, control->name);
    query.minimum = control->min;
    query.maximum = control->max;
    query.step = control->step;
    query.default_value = control->def;
    query.flags = controlInactive(control->id) ? V4L2_CTRL_FLAG_INACTIVE : 0;
    return 0;
}

int EmulatedVideoDevice::queryMenu(v4l2_querymenu& menu)
{
    const EmulatedControl* control = m_camera->findControl(menu.id);
    if (!control || control->type != V4L2_CTRL_TYPE_MENU)
        return -EINVAL;
    for (const auto& [index, name] : control->menu)
        if (static_cast<uint32_t>(index) == menu.index) {
            copyName(menu.name, sizeof menu.name, name);
            return 0;
        }
    return -EINVAL;
}

int EmulatedVideoDevice::getControl(v4l2_control& control)
{
    EmulatedCamera& cam = *m_camera;
    if (!cam.findControl(control.id))
        return -EINVAL;
    if (cam.m_spec.registerTunnel && control.id == V4L2_CID_FOCUS_ABSOLUTE)
        control.value = cam.m_registers[cam.m_selectedRegister];
    else
        control.value = cam.m_controls[control.id];
    return 0;
}

int EmulatedVideoDevice::setControl(v4l2_control& control)
{
    EmulatedCamera& cam = *m_camera;
    const EmulatedControl* spec = cam.findControl(control.id);
    if (!spec)
        return -EINVAL;
    if (controlInactive(control.id))
        return -EACCES; // a manual value while the automatic mode drives it
    int value = control.value;
    if (spec->type == V4L2_CTRL_TYPE_MENU) {
        const bool exists =
            std::any_of(spec->menu.begin(), spec->menu.end(), [&](const auto& item) { return item.first == value; });
        if (!exists)
            return -EINVAL;
    } else {
        // Like the UVC driver: clamp into range and round onto the step.
        value = std::clamp(value, spec->min, spec->max);
        if (spec->step > 1)
            value = spec->min + (value - spec->min + spec->step / 2) / spec->step * spec->step;
        value = std::min(value, spec->max);
    }
    cam.m_writes.emplace_back(control.id, value);
    if (cam.m_spec.registerTunnel && control.id == kRollControlId)
        cam.m_selectedRegister = value & 0xFF;
    else if (cam.m_spec.registerTunnel && control.id == V4L2_CID_FOCUS_ABSOLUTE)
        cam.m_registers[cam.m_selectedRegister] = static_cast<uint16_t>(value & 0xFFFF);
    cam.m_controls[control.id] = value;
    control.value = value;
    return 0;
}

// ---- the bus ----

void EmulatedVideoBus::followEnvironment()
{
    if (m_fixed)
        return;
    const char* count = std::getenv("LENSBRIDGE_EMULATE_VIDEO");
    const char* models = std::getenv("LENSBRIDGE_EMULATE_VIDEO_MODELS");
    const char* faults = std::getenv("LENSBRIDGE_EMULATE_VIDEO_FAULTS");
    const char* profiles = std::getenv("LENSBRIDGE_EMULATE_VIDEO_PROFILES");
    const char* sameIds = std::getenv("LENSBRIDGE_EMULATE_VIDEO_SAME_IDS");
    std::string environment = std::string(count ? count : "") + '\n' + (models ? models : "") + '\n' +
                              (faults ? faults : "") + '\n' + (profiles ? profiles : "") + '\n' +
                              (sameIds ? sameIds : "");
    for (const char* const* suffix = optics::opticsVariableSuffixes(); *suffix; ++suffix) {
        const char* value = std::getenv((std::string("LENSBRIDGE_EMULATE_VIDEO_") + *suffix).c_str());
        environment += '\n' + std::string(value ? value : "-");
    }
    if (const char* control = std::getenv("LENSBRIDGE_EMULATE_VIDEO_CONTROL"))
        m_controlFile = control;
    if (m_read && environment == m_environment)
        return;
    m_read = true;
    m_environment = environment;
    m_cameras.clear();
    EmulatedFaults injected;
    std::string error;
    if (faults && !parseEmulatedFaults(faults, injected, error))
        std::fprintf(stderr, "%s\n", error.c_str());
    const optics::OpticsSettings optics = videoOpticsFromEnvironment();
    for (EmulatedCameraSpec& spec : emulatedSpecsFromEnvironment()) {
        m_cameras.push_back(std::make_shared<EmulatedCamera>(std::move(spec)));
        m_cameras.back()->setFaults(injected);
        m_cameras.back()->setOptics(optics);
    }
}

void EmulatedVideoBus::setControlFile(std::string path)
{
    std::lock_guard lock(m_mutex);
    m_controlFile = std::move(path);
}

void EmulatedVideoBus::followControlFile()
{
    if (m_controlFile.empty())
        return;
    std::vector<size_t> unplugged;
    std::ifstream file(m_controlFile);
    for (std::string line; std::getline(file, line);) {
        std::istringstream words(line);
        std::string what;
        long number = -1;
        if (words >> what >> number && what == "unplugged" && number >= 0)
            unplugged.push_back(size_t(number));
    }
    auto listed = [](const std::vector<size_t>& in, size_t i) {
        return std::find(in.begin(), in.end(), i) != in.end();
    };
    for (size_t i = 0; i < m_cameras.size(); ++i) {
        const bool wanted = listed(unplugged, i), done = listed(m_unpluggedByFile, i);
        if (wanted && !done)
            m_cameras[i]->unplug();
        else if (!wanted && done)
            m_cameras[i]->replug();
    }
    m_unpluggedByFile = std::move(unplugged);
}

EmulatedVideoBus& EmulatedVideoBus::instance()
{
    static EmulatedVideoBus bus;
    return bus;
}

void EmulatedVideoBus::reset(const std::vector<EmulatedCameraSpec>& specs)
{
    std::lock_guard lock(m_mutex);
    m_fixed = true;
    m_cameras.clear();
    for (const EmulatedCameraSpec& spec : specs)
        m_cameras.push_back(std::make_shared<EmulatedCamera>(spec));
}

std::vector<std::pair<std::string, std::shared_ptr<EmulatedCamera>>> EmulatedVideoBus::cameras()
{
    std::lock_guard lock(m_mutex);
    followEnvironment();
    followControlFile();
    std::vector<std::pair<std::string, std::shared_ptr<EmulatedCamera>>> out;
    for (size_t i = 0; i < m_cameras.size(); ++i)
        if (m_cameras[i]->plugged())
            out.emplace_back(kPathPrefix + std::to_string(i), m_cameras[i]);
    return out;
}

std::shared_ptr<EmulatedCamera> EmulatedVideoBus::camera(size_t position)
{
    std::lock_guard lock(m_mutex);
    followEnvironment();
    return position < m_cameras.size() ? m_cameras[position] : nullptr;
}

bool EmulatedVideoBus::isEmulatedPath(const std::string& path) { return path.rfind(kPathPrefix, 0) == 0; }

std::unique_ptr<VideoDeviceIo> EmulatedVideoBus::open(const std::string& path, int& error)
{
    error = ENOENT;
    if (!isEmulatedPath(path))
        return nullptr;
    const std::string number = path.substr(std::strlen(kPathPrefix));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos || number.size() > 3)
        return nullptr;
    const size_t position = std::stoul(number);
    std::shared_ptr<EmulatedCamera> cam = camera(position);
    if (!cam)
        return nullptr;
    {
        std::lock_guard lock(m_mutex);
        followControlFile();
    }
    if (!cam->plugged()) {
        error = ENODEV;
        return nullptr;
    }
    if (cam->accessDenied()) {
        error = EACCES;
        return nullptr;
    }
    error = 0;
    return std::make_unique<EmulatedVideoDevice>(std::move(cam), static_cast<int>(position));
}

} // namespace v4l2
