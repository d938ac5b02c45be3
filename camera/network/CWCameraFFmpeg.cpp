#include "camera/network/CWCameraFFmpeg.h"

#include "camera/usb/UsbOpenFailure.h"
#include "platform/DebugOutput.h"
#include "platform/Tick.h"

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
}

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>

namespace {
constexpr size_t kMaxUrl = 2083;

void initNetworkOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { avformat_network_init(); });
}

uint32_t nonZeroTick()
{
    const uint32_t tick = platform::GetTickCount();
    return tick ? tick : 1;
}

// Why FFmpeg could not open the input, as the user can act on it. A name
// that does not resolve comes back as an input/output error.
int openFailureOf(int error)
{
    if (error == AVERROR(ECONNREFUSED))
        return CM_OPEN_FAILURE_REFUSED;
    if (error == AVERROR(ETIMEDOUT))
        return CM_OPEN_FAILURE_TIMED_OUT;
    if (error == AVERROR(EHOSTUNREACH) || error == AVERROR(ENETUNREACH) || error == AVERROR(EIO))
        return CM_OPEN_FAILURE_UNREACHABLE;
    return CM_OPEN_FAILURE_NOT_A_STREAM;
}
} // namespace

CWCameraFFmpegCore::CWCameraFFmpegCore(Seal seal, const std::string& url) : CMCameraSDKThread(seal, -1), m_url(url)
{
    initNetworkOnce();
    _tag_VideoDeviceInfo info;
    std::memset(&info, 0, sizeof info);
    std::strcpy(info.name, "RTSP");
    info.vid = kNetworkVendorId;
    info.pid = kRtspProductId;
    std::memcpy(info.address, m_url.data(), m_url.size() < kMaxUrl ? m_url.size() : kMaxUrl);
    SetDeviceInfo(info);
}

CWCameraFFmpegCore::~CWCameraFFmpegCore() { Release(); }

// ---- the I/O interrupt ----

int CWCameraFFmpegCore::interruptCallback(void* opaque)
{
    return static_cast<CWCameraFFmpegCore*>(opaque)->shouldInterrupt() ? 1 : 0;
}

bool CWCameraFFmpegCore::shouldInterrupt()
{
    if (m_bClosing)
        return true;
    if (m_bOpenAborted && m_bConnecting)
        return true;
    if (!m_bConnecting)
        return false;
    // Once the time-out has struck, every further question gets "abort" too:
    // FFmpeg asks again while it unwinds, and a fresh "go on" would cost a
    // second time-out.
    if (m_bOpenTimedOut)
        return true;
    const uint32_t last = m_lastActivity;
    if (last != 0 && platform::GetTickCount() - last > m_openTimeoutMs) {
        m_bOpenTimedOut = true;
        platform::DebugPrintf("no activity for 10 seconds\n");
        return true;
    }
    return false;
}

// ---- open and close ----

int CWCameraFFmpegCore::Init(CMFrameCallback cb, void* userData, long, long)
{
    if (m_url.empty())
        return CM_E_INVALIDARG;
    if (m_input)
        return CM_OK; // already open
    m_bClosing = false;
    m_bDrained = false;
    m_openFailure = CM_OPEN_FAILURE_NONE;
    m_frame.reset(av_frame_alloc());
    m_packet.reset(av_packet_alloc());
    AVFormatContext* input = avformat_alloc_context();
    if (!m_frame || !m_packet || !input) {
        avformat_free_context(input);
        closeStream();
        return CM_E_NOMEM;
    }
    input->interrupt_callback.callback = &CWCameraFFmpegCore::interruptCallback;
    input->interrupt_callback.opaque = this;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "rtsp_transport", "tcp", 0);

    // Opening and probing may block on a silent server; the interrupt ends
    // them once nothing has happened for the time-out.
    m_bOpenTimedOut = false;
    m_lastActivity = nonZeroTick();
    m_bConnecting = true;
    const int opened = avformat_open_input(&input, m_url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened >= 0)
        m_input.reset(input); // a failed open has freed the context itself
    // A time-out may surface as any error code, or even as an open that
    // "succeeded" on partial data: our own flag decides.
    if (opened < 0 || m_bOpenTimedOut || m_bOpenAborted) {
        m_bConnecting = false;
        std::printf("Can not open this file");
        std::fflush(stdout);
        failOpen(openFailureOf(opened));
        return CM_E_STREAM;
    }
    const int probed = avformat_find_stream_info(input, nullptr);
    m_bConnecting = false;
    if (probed < 0 || m_bOpenTimedOut || m_bOpenAborted) {
        std::printf("Unable to get stream info");
        std::fflush(stdout);
        failOpen(CM_OPEN_FAILURE_NOT_A_STREAM);
        return CM_E_OPEN;
    }

    for (unsigned i = 0; i < input->nb_streams; ++i) {
        if (input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
            m_videoStream = static_cast<int>(i);
            break;
        }
    }
    if (m_videoStream < 0) {
        std::printf("Unable to find video stream");
        std::fflush(stdout);
        failOpen(CM_OPEN_FAILURE_NOT_A_STREAM);
        return CM_E_OPEN;
    }
    AVStream* stream = input->streams[m_videoStream];
    AVCodecParameters* parameters = stream->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (!decoder) {
        std::printf("Unsupported codec");
        std::fflush(stdout);
        failOpen(CM_OPEN_FAILURE_NOT_A_STREAM);
        return CM_E_OPEN;
    }
    m_codec.reset(avcodec_alloc_context3(decoder));
    if (!m_codec || avcodec_parameters_to_context(m_codec.get(), parameters) < 0 ||
        avcodec_open2(m_codec.get(), decoder, nullptr) < 0) {
        std::printf("Unable to open codec");
        std::fflush(stdout);
        failOpen(CM_OPEN_FAILURE_NOT_A_STREAM);
        return CM_E_OPEN;
    }
    // A stream whose first pictures come later than the probe looked (a
    // late key frame, other streams first) has no size yet: the first
    // decoded picture gives it, within the open time-out.
    if ((parameters->width <= 0 || parameters->height <= 0) && !sizeFromFirstPicture(*parameters)) {
        std::printf("Unable to get stream info");
        std::fflush(stdout);
        failOpen(CM_OPEN_FAILURE_NOT_A_STREAM);
        return CM_E_OPEN;
    }
    // Nothing else in the program handles larger pictures; a stream that
    // announces more is unusable rather than a reason to run out of memory.
    if (parameters->width > kMaxPictureSide || parameters->height > kMaxPictureSide) {
        std::printf("Unsupported video size %dx%d", parameters->width, parameters->height);
        std::fflush(stdout);
        failOpen(CM_OPEN_FAILURE_NOT_A_STREAM);
        return CM_E_OPEN;
    }
    m_streamWidth = parameters->width;
    m_streamHeight = parameters->height;
    try {
        m_rgb.assign(static_cast<size_t>(m_streamWidth) * m_streamHeight * 3, 0);
    } catch (const std::bad_alloc&) {
        closeStream();
        return CM_E_NOMEM;
    }
    std::printf("video size : width=%d height=%d \n", m_streamWidth, m_streamHeight);

    // Frames without time stamps are given one frame's duration each.
    AVRational rate = av_guess_frame_rate(input, stream, nullptr);
    if (rate.num <= 0 || rate.den <= 0)
        rate = AVRational{25, 1};
    m_frameTicks = av_rescale_q(1, av_inv_q(rate), stream->time_base);
    if (m_frameTicks <= 0)
        m_frameTicks = 1;
    std::printf("initial successfully");
    std::fflush(stdout);
    return startThread(cb, userData);
}

void CWCameraFFmpegCore::failOpen(int reason)
{
    // The time-out may surface as any of FFmpeg's errors; a cancelled open
    // has no reason to show.
    m_openFailure = m_bOpenTimedOut ? CM_OPEN_FAILURE_TIMED_OUT : m_bOpenAborted ? CM_OPEN_FAILURE_NONE : reason;
    closeStream();
}

bool CWCameraFFmpegCore::sizeFromFirstPicture(AVCodecParameters& parameters)
{
    AVPacket* packet = m_packet.get();
    m_bOpenTimedOut = false;
    m_lastActivity = nonZeroTick();
    m_bConnecting = true; // the interrupt ends a read that goes past the time-out
    bool found = false;
    while (!found && !m_bOpenTimedOut && !m_bOpenAborted &&
           platform::GetTickCount() - m_lastActivity <= m_openTimeoutMs) {
        if (av_read_frame(m_input.get(), packet) < 0)
            break;
        if (packet->stream_index == m_videoStream && avcodec_send_packet(m_codec.get(), packet) == 0 &&
            avcodec_receive_frame(m_codec.get(), m_frame.get()) == 0) {
            found = m_frame->width > 0 && m_frame->height > 0;
            // The recording copies the stream's parameters: they get the size too.
            parameters.width = m_frame->width;
            parameters.height = m_frame->height;
            av_frame_unref(m_frame.get());
        }
        av_packet_unref(packet);
    }
    m_bConnecting = false;
    return found;
}

void CWCameraFFmpegCore::Release()
{
    // Blocking reads give up at once, so a silent server cannot hold us.
    m_bClosing = true;
    stopThread();
    // A recording still running is finished properly rather than lost.
    finishRecording();
    closeStream();
    m_url.clear();
}

void CWCameraFFmpegCore::closeStream()
{
    // Closing may talk to the server once more (teardown): never wait for it.
    m_bClosing = true;
    m_scaler.reset();
    m_codec.reset();
    m_input.reset();
    m_frame.reset();
    m_packet.reset();
    m_rgb.clear();
    m_rgb.shrink_to_fit();
    m_videoStream = -1;
    m_streamWidth = 0;
    m_streamHeight = 0;
}

// ---- sizes and formats ----

bool CWCameraFFmpegCore::hasBuiltInRecorder() { return true; }

int CWCameraFFmpegCore::GetSupportedPreviewSizes(std::vector<_tag_CMSIZE>* sizes)
{
    if (!sizes)
        return CM_E_INVALIDARG;
    sizes->clear();
    if (m_streamWidth > 0 && m_streamHeight > 0)
        sizes->push_back(_tag_CMSIZE{m_streamWidth, m_streamHeight});
    return CM_OK;
}

int CWCameraFFmpegCore::GetPreviewSize(_tag_CMSIZE& size)
{
    if (m_streamWidth <= 0 || m_streamHeight <= 0)
        return CM_E_FAILED;
    size = _tag_CMSIZE{m_streamWidth, m_streamHeight};
    return CM_OK;
}

int CWCameraFFmpegCore::SetPreviewSize(_tag_CMSIZE size)
{
    return size.width == m_streamWidth && size.height == m_streamHeight ? CM_OK : CM_E_INVALIDARG;
}

int CWCameraFFmpegCore::GetSupportedFormats(std::vector<int>* formats)
{
    if (!formats)
        return CM_E_INVALIDARG;
    *formats = {FMT_H264};
    return CM_OK;
}

int CWCameraFFmpegCore::GetFormat(int& format)
{
    format = FMT_H264;
    return CM_OK;
}

int CWCameraFFmpegCore::SetFormat(int format) { return format == FMT_H264 ? CM_OK : CM_E_INVALIDARG; }

// ---- polling ----

int CWCameraFFmpegCore::captureOnce()
{
    AVPacket* packet = m_packet.get();
    const int read = av_read_frame(m_input.get(), packet);
    if (read < 0) {
        // At the end of a file the decoder still holds the pictures it kept
        // back for reordering: hand them over once.
        if (read == AVERROR_EOF && !m_bDrained) {
            m_bDrained = true;
            if (avcodec_send_packet(m_codec.get(), nullptr) == 0)
                deliverDecoded();
        }
        return CM_E_TIMEOUT;
    }
    if (packet->stream_index == m_videoStream) {
        // Every video packet goes to a running recording, also those the
        // decoder holds back for a while, so the file loses nothing.
        if (m_bRecording)
            record(packet);
        if (avcodec_send_packet(m_codec.get(), packet) == 0)
            deliverDecoded();
    }
    av_packet_unref(packet);
    return CM_OK;
}

void CWCameraFFmpegCore::deliverDecoded()
{
    while (avcodec_receive_frame(m_codec.get(), m_frame.get()) == 0) {
        if (convert(m_frame.get())) {
            const auto size = static_cast<unsigned>(m_rgb.size());
            CWImage image(m_streamWidth, m_streamHeight, m_rgb.data(), size, size, true, FMT_RGB24, 0);
            deliverFrame(&image, DeliveryOrder::GrabThenCallback, false);
        }
        av_frame_unref(m_frame.get());
    }
}

bool CWCameraFFmpegCore::convert(const AVFrame* picture)
{
    // The scaler follows the decoder's real layout and size, which may change
    // within a stream; the output is always the stream's RGB24 picture.
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), picture->width, picture->height,
                                        static_cast<AVPixelFormat>(picture->format), m_streamWidth, m_streamHeight,
                                        AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
    if (!m_scaler)
        return false;
    uint8_t* planes[4] = {m_rgb.data(), nullptr, nullptr, nullptr};
    int strides[4] = {m_streamWidth * 3, 0, 0, 0};
    return sws_scale(m_scaler.get(), picture->data, picture->linesize, 0, picture->height, planes, strides) > 0;
}

// ---- recording ----

int CWCameraFFmpegCore::startRecording(const std::string& path)
{
    if (!m_input || path.empty() || m_bRecording)
        return -1;
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, nullptr, path.c_str()) < 0 || !raw) {
        platform::DebugPrintf("Could not create output context\n");
        return -1;
    }
    ffmpeg::Output output(raw);
    for (unsigned i = 0; i < m_input->nb_streams; ++i) {
        const AVStream* in = m_input->streams[i];
        AVStream* out = avformat_new_stream(raw, nullptr);
        if (!out) {
            platform::DebugPrintf("Failed allocating output stream\n");
            return -1;
        }
        if (avcodec_parameters_copy(out->codecpar, in->codecpar) < 0) {
            platform::DebugPrintf("Failed to copy context from input to output stream codec context\n");
            return -1;
        }
        out->codecpar->codec_tag = 0;
        out->time_base = in->time_base;
        // Global headers travel in codecpar->extradata, copied above.
    }
    av_dump_format(raw, 0, path.c_str(), 1);
    if (!(raw->oformat->flags & AVFMT_NOFILE) && avio_open(&raw->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) {
        std::printf("Could not open output file '%s'", path.c_str());
        std::fflush(stdout);
        return -1;
    }
    if (avformat_write_header(raw, nullptr) < 0) {
        platform::DebugPrintf("Error occurred when opening output file\n");
        return -1;
    }
    // The muxer may have chosen another time base for the video stream.
    auto stamps = std::make_unique<RemuxTimestamps>(m_input->streams[m_videoStream]->time_base,
                                                    raw->streams[m_videoStream]->time_base, m_frameTicks);
    std::lock_guard<std::mutex> lock(m_recordMutex);
    m_output = std::move(output);
    m_stamps = std::move(stamps);
    m_waitingForKeyFrame = true;
    m_bRecording = true;
    return CM_OK;
}

int CWCameraFFmpegCore::stopRecording()
{
    if (!m_bRecording)
        return CM_OK;
    finishRecording();
    return CM_OK;
}

void CWCameraFFmpegCore::finishRecording()
{
    ffmpeg::Output output;
    {
        std::lock_guard<std::mutex> lock(m_recordMutex);
        m_bRecording = false;
        output = std::move(m_output);
    }
    if (output)
        av_write_trailer(output.get());
}

void CWCameraFFmpegCore::record(const AVPacket* packet)
{
    std::lock_guard<std::mutex> lock(m_recordMutex);
    if (!m_output)
        return;
    // A file that starts between key frames would begin with pictures nobody
    // can decode.
    if (m_waitingForKeyFrame) {
        if (!(packet->flags & AV_PKT_FLAG_KEY))
            return;
        m_waitingForKeyFrame = false;
    }
    AVPacket* copy = av_packet_clone(packet);
    if (!copy)
        return;
    const RemuxTimestamps::Stamps stamps = m_stamps->next(packet->pts, packet->dts, packet->duration);
    copy->pts = stamps.pts;
    copy->dts = stamps.dts;
    copy->duration = stamps.duration;
    copy->pos = -1;
    if (av_interleaved_write_frame(m_output.get(), copy) < 0)
        platform::DebugPrintf("Error muxing _packet\n");
    av_packet_free(&copy);
}
