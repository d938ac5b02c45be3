// The RTSP camera against the GStreamer test server on 127.0.0.1, against a
// silent listener, and on local files.
#include "ChildProcess.h"
#include "FrameSink.h"
#include "camera/network/CWCameraFFmpeg.h"
#include "camera/usb/UsbOpenFailure.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

long msSince(Clock::time_point start)
{
    return static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

std::string run(const std::string& command)
{
    std::string output;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[512];
        while (std::fgets(buffer, sizeof buffer, pipe))
            output += buffer;
        ::pclose(pipe);
    }
    return output;
}

struct RtspServer {
    explicit RtspServer(std::vector<std::string> args) : process("rtsp_test_server", args), url(process.readyLine()) {}
    ChildProcess process;
    std::string url;
};

// A folder of its own for each test's files.
struct TempDir {
    TempDir()
    {
        char pattern[] = "/tmp/pellumo-rtsp-XXXXXX";
        path = ::mkdtemp(pattern) ? pattern : "/tmp";
    }
    ~TempDir() { fs::remove_all(path); }
    std::string path;
};

// A loopback listener that accepts connections and never says a word.
struct SilentListener {
    SilentListener()
    {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 4) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~SilentListener() { ::close(fd); }
    int fd = -1;
    int port = 0;
};

// An RTSP server that answers the handshake (OPTIONS, DESCRIBE, SETUP, PLAY)
// for an H.264 stream and then never sends a packet.
struct HandshakeThenSilence {
    HandshakeThenSilence()
    {
        thread = std::thread([this] { serve(); });
    }
    ~HandshakeThenSilence()
    {
        stop = true;
        thread.join();
    }
    void serve()
    {
        pollfd pfd{listener.fd, POLLIN, 0};
        while (!stop && ::poll(&pfd, 1, 50) <= 0) {
        }
        if (stop)
            return;
        const int fd = ::accept(listener.fd, nullptr, nullptr);
        std::string buffer;
        while (!stop) {
            pollfd cfd{fd, POLLIN, 0};
            if (::poll(&cfd, 1, 50) <= 0)
                continue;
            char chunk[2048];
            const ssize_t got = ::recv(fd, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            buffer.append(chunk, static_cast<size_t>(got));
            size_t end;
            while ((end = buffer.find("\r\n\r\n")) != std::string::npos) {
                const std::string request = buffer.substr(0, end);
                buffer.erase(0, end + 4);
                const auto cseqAt = request.find("CSeq:");
                const std::string cseq = cseqAt == std::string::npos
                                             ? "0"
                                             : request.substr(cseqAt + 6, request.find("\r\n", cseqAt) - cseqAt - 6);
                std::string reply = "RTSP/1.0 200 OK\r\nCSeq: " + cseq + "\r\n";
                if (request.rfind("OPTIONS", 0) == 0) {
                    reply += "Public: OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN\r\n\r\n";
                } else if (request.rfind("DESCRIBE", 0) == 0) {
                    const std::string sdp = "v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=silent\r\nc=IN IP4 127.0.0.1\r\n"
                                            "t=0 0\r\nm=video 0 RTP/AVP 96\r\na=rtpmap:96 H264/90000\r\n"
                                            "a=control:track1\r\n";
                    reply += "Content-Type: application/sdp\r\nContent-Length: " + std::to_string(sdp.size()) +
                             "\r\n\r\n" + sdp;
                } else if (request.rfind("SETUP", 0) == 0) {
                    reply += "Transport: RTP/AVP/TCP;unicast;interleaved=0-1\r\nSession: 4242\r\n\r\n";
                } else {
                    reply += "Session: 4242\r\n\r\n";
                }
                ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
            }
        }
        ::close(fd);
    }
    SilentListener listener;
    std::atomic<bool> stop{false};
    std::thread thread;
};
} // namespace

TEST(RtspCamera, StreamOf1280x720GivesItsSizeFormatAndRgbFrames)
{
    RtspServer server({"--width", "1280", "--height", "720", "--fps", "10"});
    ASSERT_FALSE(server.url.empty());
    FrameSink sink;
    // The server answers, but has no stream under another path.
    CWCameraFFmpeg wrongPath(server.url + "-none");
    EXPECT_EQ(wrongPath.Init(&FrameSink::callback, &sink, 0, 0), CM_E_STREAM);
    EXPECT_EQ(wrongPath.GetOpenFailure(), CM_OPEN_FAILURE_NOT_A_STREAM);
    CWCameraFFmpeg camera(server.url);
    EXPECT_TRUE(camera.hasBuiltInRecorder());
    EXPECT_FALSE(camera.IsNetworkCamera()); // only the box counts as one
    EXPECT_EQ(camera.GetDeviceInfo().pid, 0xFFFE);
    EXPECT_EQ(std::string(camera.GetDeviceInfo().address), server.url);
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    EXPECT_EQ(camera.GetOpenFailure(), CM_OPEN_FAILURE_NONE);

    std::vector<_tag_CMSIZE> sizes;
    ASSERT_EQ(camera.GetSupportedPreviewSizes(&sizes), CM_OK);
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0].width, 1280);
    EXPECT_EQ(sizes[0].height, 720);
    std::vector<int> formats;
    ASSERT_EQ(camera.GetSupportedFormats(&formats), CM_OK);
    EXPECT_EQ(formats, std::vector<int>{FMT_H264});
    int format = 0;
    ASSERT_EQ(camera.GetFormat(format), CM_OK);
    EXPECT_EQ(format, FMT_H264);
    EXPECT_EQ(camera.SetFormat(FMT_H264), CM_OK);
    EXPECT_EQ(camera.SetFormat(FMT_MJPG), CM_E_INVALIDARG);
    EXPECT_EQ(camera.SetPreviewSize(640, 480), CM_E_INVALIDARG);
    EXPECT_EQ(camera.SetPreviewSize(1280, 720), CM_OK);

    EXPECT_TRUE(sink.staysQuiet(500)); // nothing before startPreview
    camera.startPreview();
    ASSERT_TRUE(sink.waitFor(3));
    const FrameSink::Seen seen = sink.last();
    EXPECT_EQ(seen.format, FMT_RGB24);
    EXPECT_EQ(seen.width, 1280);
    EXPECT_EQ(seen.height, 720);
    EXPECT_EQ(seen.bottomUp, 0);
    EXPECT_EQ(seen.dataSize, 2764800u);

    // A preview grab copies one of these frames.
    CWImage grabbed;
    ASSERT_EQ(camera.Snap(&grabbed), CM_OK);
    EXPECT_EQ(grabbed.dataSize, 2764800u);
    delete[] grabbed.data;
    camera.Release();
}

TEST(RtspCamera, NothingListeningFailsAtOnce)
{
    FrameSink sink;
    CWCameraFFmpeg camera("rtsp://127.0.0.1:1/stream");
    const auto start = Clock::now();
    EXPECT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_E_STREAM);
    EXPECT_LT(msSince(start), 5000);
    EXPECT_EQ(camera.GetOpenFailure(), CM_OPEN_FAILURE_REFUSED);
    CWCameraFFmpeg empty("");
    EXPECT_EQ(empty.Init(&FrameSink::callback, &sink, 0, 0), CM_E_INVALIDARG);
}

TEST(RtspCamera, SilentServerEndsTheOpenAtTheTimeOut)
{
    SilentListener listener;
    ASSERT_GT(listener.port, 0);
    FrameSink sink;
    CWCameraFFmpeg camera("rtsp://127.0.0.1:" + std::to_string(listener.port) + "/stream");
    camera.setOpenTimeoutMs(1500);
    const auto start = Clock::now();
    EXPECT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_E_STREAM);
    const long elapsed = msSince(start);
    EXPECT_GE(elapsed, 1400);
    EXPECT_LT(elapsed, 2900); // at the time-out, not a second one later
    EXPECT_EQ(camera.GetOpenFailure(), CM_OPEN_FAILURE_TIMED_OUT);
}

TEST(RtspCamera, ServerKilledMidStreamStopsFramesAndReleaseReturns)
{
    auto server = std::make_unique<RtspServer>(std::vector<std::string>{"--width", "320", "--height", "240"});
    ASSERT_FALSE(server->url.empty());
    FrameSink sink;
    CWCameraFFmpeg camera(server->url);
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    camera.startPreview();
    ASSERT_TRUE(sink.waitFor(5));
    server->process.stop(SIGKILL);
    for (int i = 0; i < 40 && !sink.staysQuiet(500); ++i) {
    }
    EXPECT_TRUE(sink.staysQuiet(300));
    const auto start = Clock::now();
    camera.Release();
    EXPECT_LT(msSince(start), 3000);
}

TEST(RtspCamera, RecordsTheStreamToMp4WithoutReencoding)
{
    RtspServer server({"--width", "320", "--height", "240", "--fps", "15", "--key-interval", "5"});
    ASSERT_FALSE(server.url.empty());
    TempDir dir;
    const std::string path = dir.path + "/clip.mp4";
    FrameSink sink;
    CWCameraFFmpeg camera(server.url);
    EXPECT_EQ(camera.startRecording(path), -1); // nothing open yet
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    camera.startPreview();
    ASSERT_TRUE(sink.waitFor(3));
    EXPECT_EQ(camera.stopRecording(), CM_OK); // not recording: nothing to do
    ASSERT_EQ(camera.startRecording(path), CM_OK);
    EXPECT_EQ(camera.startRecording(dir.path + "/second.mp4"), -1); // one at a time
    const size_t before = sink.total();
    ASSERT_TRUE(sink.waitFor(before + 30));
    // Frames shown while recording; a few more may slip in before the stop.
    const size_t delivered = sink.total() - before;
    ASSERT_EQ(camera.stopRecording(), CM_OK);
    camera.Release();

    const std::string probe = run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                  "stream=codec_name,nb_read_frames -show_entries format=duration -of "
                                  "default=noprint_wrappers=1 '" +
                                  path + "'");
    EXPECT_NE(probe.find("codec_name=h264"), std::string::npos) << probe;
    const auto frames = std::stol(fieldOf(probe.substr(probe.find("nb_read_frames")), "nb_read_frames"));
    const double duration = std::stod(fieldOf(probe.substr(probe.find("duration")), "duration"));
    // The recording starts at the first key frame (at most 4 frames in) and
    // may miss a frame at either end.
    EXPECT_GE(frames, static_cast<long>(delivered) - 6) << probe;
    EXPECT_LE(frames, static_cast<long>(delivered) + 15) << probe;
    EXPECT_NEAR(duration, frames / 15.0, 0.25) << probe;
    EXPECT_EQ(camera.startRecording(dir.path + "/after.mp4"), -1); // released
}

TEST(RtspCamera, ReleaseFinishesARunningRecording)
{
    RtspServer server({"--width", "160", "--height", "120", "--fps", "15", "--key-interval", "3"});
    ASSERT_FALSE(server.url.empty());
    TempDir dir;
    const std::string path = dir.path + "/kept.mp4";
    FrameSink sink;
    {
        CWCameraFFmpeg camera(server.url);
        ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
        camera.startPreview();
        ASSERT_EQ(camera.startRecording(path), CM_OK);
        const size_t before = sink.total();
        ASSERT_TRUE(sink.waitFor(before + 15));
    } // destroyed while recording
    const std::string probe =
        run("ffprobe -v error -count_frames -show_entries stream=nb_read_frames -of default=nw=1 '" + path + "'");
    ASSERT_NE(probe.find("nb_read_frames="), std::string::npos)
        << probe << " size " << (fs::exists(path) ? fs::file_size(path) : 0);
    EXPECT_GT(std::stol(fieldOf(probe, "nb_read_frames")), 5);
}

TEST(RtspCamera, LocalFileInAnotherPixelLayoutDecodesCorrectly)
{
    // 4:4:4 chroma: a converter that assumed 4:2:0 would garble the colours.
    TempDir dir;
    const std::string file = dir.path + "/bars.mkv";
    const std::string reference = dir.path + "/first.rgb";
    run("ffmpeg -v error -y -f lavfi -i smptebars=size=64x48:rate=5 -frames:v 5 -c:v libx264 -pix_fmt yuv444p '" +
        file + "'");
    run("ffmpeg -v error -y -i '" + file + "' -frames:v 1 -sws_flags bicubic -f rawvideo -pix_fmt rgb24 '" + reference +
        "'");
    std::ifstream in(reference, std::ios::binary);
    const std::vector<uint8_t> expected((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(expected.size(), 64u * 48u * 3u);

    FrameSink sink;
    CWCameraFFmpeg camera(file);
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    camera.startPreview();
    ASSERT_TRUE(sink.waitFor(5));
    std::vector<uint8_t> first;
    {
        std::lock_guard<std::mutex> lock(sink.mutex);
        first = sink.first;
    }
    ASSERT_EQ(first.size(), expected.size());
    long difference = 0;
    for (size_t i = 0; i < first.size(); ++i)
        difference += std::abs(int(first[i]) - int(expected[i]));
    EXPECT_LT(static_cast<double>(difference) / first.size(), 3.0);
    // The file has ended: reads fail, the thread keeps retrying, Release returns.
    EXPECT_TRUE(sink.staysQuiet(300));
    const auto start = Clock::now();
    camera.Release();
    EXPECT_LT(msSince(start), 3000);
}

TEST(RtspCamera, RecordingAndPreviewSwitchesRaceThePoll)
{
    RtspServer server({"--width", "160", "--height", "120", "--fps", "30", "--key-interval", "2"});
    ASSERT_FALSE(server.url.empty());
    TempDir dir;
    FrameSink sink;
    CWCameraFFmpeg camera(server.url);
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    camera.startPreview();
    ASSERT_TRUE(sink.waitFor(2));
    std::thread recorder([&] {
        for (int i = 0; i < 6; ++i) {
            camera.startRecording(dir.path + "/race" + std::to_string(i) + ".mp4");
            std::this_thread::sleep_for(std::chrono::milliseconds(60));
            camera.stopRecording();
        }
        camera.startRecording(dir.path + "/last.mp4"); // left running for Release
    });
    std::thread previewer([&] {
        for (int i = 0; i < 20; ++i) {
            camera.stopPreview();
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            camera.startPreview();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    recorder.join();
    previewer.join();
    camera.Release();
    const size_t after = sink.total();
    EXPECT_TRUE(sink.staysQuiet(200));
    EXPECT_EQ(sink.total(), after);
}

TEST(RtspCamera, StreamThatNeverStartsEndsTheOpenAtTheTimeOut)
{
    HandshakeThenSilence server;
    ASSERT_GT(server.listener.port, 0);
    FrameSink sink;
    CWCameraFFmpeg camera("rtsp://127.0.0.1:" + std::to_string(server.listener.port) + "/stream");
    camera.setOpenTimeoutMs(1500);
    const auto start = Clock::now();
    EXPECT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_E_OPEN);
    const long elapsed = msSince(start);
    EXPECT_GE(elapsed, 1400);
    EXPECT_LT(elapsed, 2900); // the probe is cut short like the open
}

TEST(RtspCamera, AStreamLargerThanAnyPictureTheProgramHandlesIsRefused)
{
    // A header announcing 8193 × 8 pictures (and no picture at all); the size
    // alone decides.
    TempDir dir;
    for (const auto& [size, expected] : {std::pair{"W8193 H8", CM_E_OPEN}, std::pair{"W8192 H8", CM_OK}}) {
        const std::string file = dir.path + "/huge.y4m";
        std::ofstream(file, std::ios::binary) << "YUV4MPEG2 " << size << " F25:1 Ip A1:1 C420jpeg\n";
        FrameSink sink;
        CWCameraFFmpeg camera(file);
        EXPECT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), expected) << size;
        camera.Release();
    }
}

TEST(RtspCamera, AStreamWhosePicturesComeAfterTheProbeTakesItsSizeFromTheFirstPicture)
{
    // Nine seconds of sound before the first picture: the probe gives up on
    // the video's size, the first decoded picture tells it.
    TempDir dir;
    const std::string file = dir.path + "/late.ts";
    run("ffmpeg -v error -y -f lavfi -i sine=d=11 -f lavfi -i testsrc=size=64x48:rate=5:d=2 -filter_complex "
        "\"[1:v]setpts=PTS+9/TB[v]\" -map \"[v]\" -map 0:a -c:v libx264 -c:a mp2 -f mpegts '" +
        file + "'");
    FrameSink sink;
    CWCameraFFmpeg camera(file);
    ASSERT_EQ(camera.Init(&FrameSink::callback, &sink, 0, 0), CM_OK);
    int w = 0, h = 0;
    EXPECT_EQ(camera.GetPreviewSize(w, h), CM_OK);
    EXPECT_EQ(w, 64);
    EXPECT_EQ(h, 48);
    camera.startPreview();
    EXPECT_TRUE(sink.waitFor(3));
    camera.Release();
}
