#include "app/view/Mp4Recorder.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/video_enc_params.h>
}

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {
// A clock the test moves by hand; sleeping advances it at once.
struct ManualClock {
    std::atomic<int64_t> now{1'700'000'000'000'000};
    std::atomic<int64_t> slept{0};
    Mp4Recorder::Clock clock()
    {
        return {[this] { return now.load(); },
                [this](int64_t micros) {
                    slept += micros;
                    now += micros;
                }};
    }
};

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

// key=value lines of ffprobe for the video stream and the container.
std::map<std::string, std::string> probe(const fs::path& file)
{
    std::map<std::string, std::string> values;
    std::istringstream lines(run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                 "stream=codec_name,profile,level,width,height,nb_read_frames:format=duration "
                                 "-of default=nw=1 '" +
                                 file.string() + "' 2>&1"));
    std::string line;
    while (std::getline(lines, line))
        if (auto eq = line.find('='); eq != std::string::npos)
            values[line.substr(0, eq)] = line.substr(eq + 1);
    return values;
}

std::vector<double> packetTimes(const fs::path& file)
{
    std::vector<double> times;
    std::istringstream lines(
        run("ffprobe -v error -select_streams v:0 -show_entries packet=pts_time -of csv=p=0 '" + file.string() + "'"));
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty())
            times.push_back(std::stod(line));
    std::sort(times.begin(), times.end());
    return times;
}

// The quantiser the file's first picture was coded with; -1 when it does not
// read back.
int firstFrameQuantiser(const fs::path& file)
{
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, file.c_str(), nullptr, nullptr) < 0)
        return -1;
    const AVCodec* codec = nullptr;
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    AVCodecContext* decoder = stream >= 0 ? avcodec_alloc_context3(codec) : nullptr;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "export_side_data", "venc_params", 0);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    int qp = -1;
    if (decoder && packet && frame && avcodec_parameters_to_context(decoder, format->streams[stream]->codecpar) >= 0 &&
        avcodec_open2(decoder, codec, &options) >= 0) {
        while (qp < 0 && av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream && avcodec_send_packet(decoder, packet) >= 0 &&
                avcodec_receive_frame(decoder, frame) >= 0)
                if (const AVFrameSideData* data = av_frame_get_side_data(frame, AV_FRAME_DATA_VIDEO_ENC_PARAMS)) {
                    // The picture's base plus each macroblock's own difference, averaged.
                    auto* params = reinterpret_cast<AVVideoEncParams*>(data->data);
                    int64_t sum = 0;
                    for (unsigned i = 0; i < params->nb_blocks; ++i)
                        sum += params->qp + av_video_enc_params_block(params, i)->delta_qp;
                    qp = params->nb_blocks ? int(sum / params->nb_blocks) : params->qp;
                }
            av_packet_unref(packet);
        }
    }
    av_dict_free(&options);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&decoder);
    avformat_close_input(&format);
    return qp;
}

std::vector<uint8_t> greyFrame(int w, int h, uint8_t luma)
{
    std::vector<uint8_t> yuv(size_t(w) * h * 3 / 2, 128);
    std::fill(yuv.begin(), yuv.begin() + w * h, luma);
    return yuv;
}

class Mp4RecorderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        dir = fs::temp_directory_path() / ("pellumo-mp4-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
    ManualClock manual;
};
} // namespace

TEST_F(Mp4RecorderTest, WritesConstrainedBaselineH264WithWallClockTimes)
{
    const fs::path file = dir / "clip.mp4";
    {
        Mp4Recorder recorder(manual.clock());
        ASSERT_TRUE(recorder.open(320, 240, file.c_str()));
        for (int i = 0; i < 10; ++i) {
            auto frame = greyFrame(320, 240, uint8_t(16 + i * 20));
            recorder.writeFrame(frame.data());
            manual.now += 500'000; // frames 0.5 s apart
        }
        recorder.close();
    }
    const auto info = probe(file);
    EXPECT_EQ(info.at("codec_name"), "h264");
    EXPECT_EQ(info.at("profile"), "Constrained Baseline");
    EXPECT_LE(std::stoi(info.at("level")), 30) << "planned for 30 frames/s, not one per 1/90000 s";
    EXPECT_EQ(info.at("width"), "320");
    EXPECT_EQ(info.at("height"), "240");
    EXPECT_EQ(info.at("nb_read_frames"), "10");
    const auto times = packetTimes(file);
    ASSERT_EQ(times.size(), 10u);
    EXPECT_DOUBLE_EQ(times[0], 0.0);
    EXPECT_NEAR(times[1], 0.5, 1e-6) << "45000 in units of 1/90000 s";
    EXPECT_NEAR(times[9], 4.5, 1e-6);
    EXPECT_NEAR(std::stod(info.at("duration")), 5.0, 0.01) << "a closed file knows its duration";
    EXPECT_EQ(manual.slept, 0) << "a recording of over three seconds closes at once";
}

TEST_F(Mp4RecorderTest, TheFirstKeyFrameOfA1080pRecordingIsNotStarvedOfBits)
{
    // The bit rate's share of one frame at 1080p is a few kilobits: a first
    // key frame held to it is coded near the coarsest quantisers (about 42 for
    // this textured picture, up to the limit of 50 for a noisy one).
    const fs::path file = dir / "first.mp4";
    Mp4Recorder recorder(manual.clock());
    ASSERT_TRUE(recorder.open(1920, 1080, file.c_str()));
    std::vector<uint8_t> frame(1920 * 1080 * 3 / 2, 128);
    for (int i = 0; i < 2; ++i) {
        for (size_t k = 0; k < 1920 * 1080; ++k)
            frame[k] = uint8_t((k % 1920) / 4 + k / 1920 / 8 + ((k * 2654435761u) >> 13) % 24 + i * 8);
        recorder.writeFrame(frame.data());
        manual.now += 1'600'000;
    }
    recorder.close();
    const int qp = firstFrameQuantiser(file);
    ASSERT_GE(qp, 0) << "the first picture reads back";
    EXPECT_LE(qp, 34) << "the first key frame was coded near the coarsest quantisers";
}

TEST_F(Mp4RecorderTest, TimesComeFromTheMonotonicClock)
{
    // The wall clock may be stepped back by the operator or time sync; the
    // recorder's default clock is the one that never steps.
    const auto before =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    const int64_t now = Mp4Recorder::Clock::monotonic().nowMicros();
    const auto after =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);
}

TEST_F(Mp4RecorderTest, TheLastPictureIsCopiedOnlyWhileTheRecordingIsShort)
{
    Mp4Recorder recorder(manual.clock());
    ASSERT_TRUE(recorder.open(160, 120, (dir / "copy.mp4").c_str()));
    auto frame = greyFrame(160, 120, 80);
    recorder.writeFrame(frame.data());
    EXPECT_TRUE(recorder.keepsLastFrame());
    manual.now += 2'900'000;
    recorder.writeFrame(frame.data());
    EXPECT_TRUE(recorder.keepsLastFrame());
    manual.now += 200'000;
    recorder.writeFrame(frame.data());
    EXPECT_FALSE(recorder.keepsLastFrame()) << "past three seconds no frame is copied";
    manual.now += 100'000;
    recorder.writeFrame(frame.data());
    EXPECT_FALSE(recorder.keepsLastFrame());
    recorder.close();
    EXPECT_EQ(recorder.framesWritten(), 4) << "counted once they reached the file";
    EXPECT_EQ(probe(dir / "copy.mp4").at("nb_read_frames"), "4") << "no picture repeated after three seconds";
}

TEST_F(Mp4RecorderTest, ARecordingCutShortStillPlaysUpToItsLastSecond)
{
    // The bytes on disk while the recorder still holds the file open are what
    // a killed program leaves behind.
    const fs::path file = dir / "cut.mp4";
    Mp4Recorder recorder(manual.clock());
    ASSERT_TRUE(recorder.open(320, 240, file.c_str()));
    for (int i = 0; i < 50; ++i) { // 5 s at 10 frames/s, key frames only every 250
        auto frame = greyFrame(320, 240, uint8_t(i * 5));
        recorder.writeFrame(frame.data());
        manual.now += 100'000;
    }
    // The writer thread puts each second on the disk moments later; what it
    // counts as written is in the file.
    for (int wait = 0; wait < 2000 && recorder.framesWritten() < 40; ++wait)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(recorder.framesWritten(), 40);
    const fs::path left = dir / "left.mp4";
    fs::copy_file(file, left);
    const auto info = probe(left);
    EXPECT_EQ(info.at("codec_name"), "h264");
    ASSERT_TRUE(info.count("duration"));
    EXPECT_GE(std::stod(info.at("duration")), 4.0);
    EXPECT_GE(std::stoi(info.at("nb_read_frames")), 40);
    recorder.close();
    EXPECT_EQ(probe(file).at("nb_read_frames"), "50");
}

TEST_F(Mp4RecorderTest, AOneSecondRecordingStillSpansThreeSeconds)
{
    const fs::path file = dir / "short.mp4";
    Mp4Recorder recorder(manual.clock());
    ASSERT_TRUE(recorder.open(160, 120, file.c_str()));
    for (int i = 0; i < 5; ++i) {
        auto frame = greyFrame(160, 120, 100);
        recorder.writeFrame(frame.data());
        manual.now += 250'000;
    }
    recorder.close();
    EXPECT_EQ(manual.slept, 1'750'000) << "the rest of the three seconds is waited for";
    const auto info = probe(file);
    EXPECT_GE(std::stod(info.at("duration")), 3.0);
    const auto times = packetTimes(file);
    ASSERT_FALSE(times.empty());
    EXPECT_NEAR(times.back(), 3.0, 1e-6) << "the last picture is shown again at the three-second mark";
}

TEST_F(Mp4RecorderTest, ARecordingWithoutFramesIsStillAValidFile)
{
    const fs::path file = dir / "empty.mp4";
    Mp4Recorder recorder(manual.clock());
    ASSERT_TRUE(recorder.open(160, 120, file.c_str()));
    recorder.close();
    EXPECT_EQ(manual.slept, 3'000'000);
    // The container parses cleanly (header and trailer); MP4 leaves out a
    // track that has no samples.
    const std::string errors =
        run("ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 '" + file.string() + "' 2>&1");
    EXPECT_EQ(errors, "mov,mp4,m4a,3gp,3g2,mj2\n");
    EXPECT_TRUE(packetTimes(file).empty());
}

TEST_F(Mp4RecorderTest, OpenFailsForAFolderThatCannotBeWrittenAndForBadArguments)
{
    Mp4Recorder recorder(manual.clock());
    testing::internal::CaptureStdout();
    EXPECT_FALSE(recorder.open(160, 120, (dir / "missing" / "sub" / "x.mp4").c_str()));
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Failed to open output file! \n"), std::string::npos);
    EXPECT_FALSE(recorder.open(0, 120, (dir / "a.mp4").c_str()));
    EXPECT_FALSE(recorder.open(160, 120, nullptr));
    EXPECT_FALSE(recorder.open(160, 120, ""));
    EXPECT_EQ(recorder.writeFrame(nullptr), -1);
    recorder.close(); // after a failed open: nothing to do, no crash
}

TEST_F(Mp4RecorderTest, FramesArrivingInTheSameTickKeepRisingTimes)
{
    const fs::path file = dir / "burst.mp4";
    {
        Mp4Recorder recorder(manual.clock());
        ASSERT_TRUE(recorder.open(160, 120, file.c_str()));
        auto frame = greyFrame(160, 120, 50);
        for (int i = 0; i < 4; ++i)
            recorder.writeFrame(frame.data()); // the clock does not move
        manual.now += 4'000'000;
        recorder.close();
    }
    const auto info = probe(file);
    // Four frames, none refused for a repeated time stamp, plus the last one
    // held at the three-second mark.
    EXPECT_EQ(info.at("nb_read_frames"), "5");
}

TEST_F(Mp4RecorderTest, AFullDiskStopsTheRecordingWithAFilePlayingWhatWasCountedWritten)
{
    // Six seconds of changing pictures; the disk fills half way through.
    // When it is to fail, the last picture waits until the writer has met the
    // failure (it may be behind the encoder), so it is offered to a failed file.
    auto record = [&](const fs::path& file, Mp4Recorder& recorder, int& refused, bool failing) {
        if (!recorder.open(320, 240, file.c_str()))
            return false;
        for (int i = 0; i < 60; ++i) {
            std::vector<uint8_t> frame(320 * 240 * 3 / 2, 128);
            for (int k = 0; k < 320 * 240; ++k)
                frame[size_t(k)] = uint8_t((k % 320) + k / 320 * 2 + i * 8);
            for (int wait = 0; failing && i == 59 && recorder.writeError() == 0 && wait < 2000; ++wait)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const bool failed = recorder.writeError() != 0;
            if (recorder.writeFrame(frame.data()) == -1 && failed)
                ++refused;
            manual.now += 100'000;
        }
        recorder.close();
        return true;
    };
    int refused = 0;
    Mp4Recorder whole(manual.clock());
    ASSERT_TRUE(record(dir / "whole.mp4", whole, refused, false));
    const auto wholeSize = fs::file_size(dir / "whole.mp4");

    // A file-size limit makes writes fail part way, as a disk filling up does
    // (EFBIG instead of ENOSPC).
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto* previous = std::signal(SIGXFSZ, SIG_IGN);
    rlimit half = saved;
    half.rlim_cur = wholeSize / 2;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &half), 0);
    const fs::path file = dir / "full.mp4";
    Mp4Recorder recorder(manual.clock());
    const bool opened = record(file, recorder, refused, true);
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    ASSERT_TRUE(opened);
    EXPECT_FALSE(recorder.isOpen());
    EXPECT_TRUE(recorder.writeError() == EFBIG || recorder.writeError() == ENOSPC) << recorder.writeError();
    EXPECT_GT(refused, 0) << "nothing more is encoded once the file failed";
    EXPECT_GT(recorder.framesDropped(), 0);
    EXPECT_LE(fs::file_size(file), wholeSize / 2);
    // The file was cut back to its last whole fragment: it plays, and exactly
    // the frames counted as written.
    const auto info = probe(file);
    EXPECT_EQ(info.count("codec_name") ? info.at("codec_name") : "", "h264");
    EXPECT_GT(recorder.framesWritten(), 0);
    EXPECT_LT(recorder.framesWritten(), 60);
    EXPECT_EQ(info.count("nb_read_frames") ? std::stoll(info.at("nb_read_frames")) : -1, recorder.framesWritten());
}

namespace {
// Ten time-lapse frames of a changing picture, each on the disk before the
// next; `written` is told the count after each (a pipe to a parent, or none).
void recordTimeLapse(Mp4Recorder& recorder, const fs::path& file, int frames, int written, ManualClock& manual)
{
    ASSERT_TRUE(recorder.open(160, 120, file.c_str()));
    for (int i = 0; i < frames; ++i) {
        auto frame = greyFrame(160, 120, uint8_t(20 + i * 20));
        recorder.writeFrame(frame.data());
        manual.now += 200'000; // the series' interval; the file ignores it
        for (int wait = 0; wait < 1000 && recorder.framesWritten() < i + 1; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        ASSERT_EQ(recorder.framesWritten(), i + 1) << "each frame reaches the disk before the next tick";
        if (written >= 0) {
            const char byte = 1;
            ASSERT_EQ(::write(written, &byte, 1), 1);
        }
    }
}
} // namespace

TEST_F(Mp4RecorderTest, TimeLapseFramesPlayAtTheChosenRateAndSurviveAKill)
{
    Mp4Recorder::Options options(manual.clock());
    options.timeLapseRate = 25;
    const fs::path file = dir / "lapse.mp4";
    {
        Mp4Recorder recorder(options);
        recordTimeLapse(recorder, file, 10, -1, manual);
        recorder.close();
    }
    const auto info = probe(file);
    EXPECT_EQ(info.at("codec_name"), "h264");
    EXPECT_EQ(info.at("nb_read_frames"), "10");
    EXPECT_NEAR(std::stod(info.at("duration")), 10 / 25.0, 0.01) << "synthetic stamps at 1/25 s, not the clock's";
    const auto times = packetTimes(file);
    ASSERT_EQ(times.size(), 10u);
    EXPECT_NEAR(times[9], 9 / 25.0, 1e-6);
    EXPECT_EQ(manual.slept, 0) << "no three-second minimum";

    // The same series killed after six frames still plays those six: this
    // test's own binary records in a child until it is killed.
    const fs::path cut = dir / "cut.mp4";
    int progress[2];
    ASSERT_EQ(::pipe(progress), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(progress[0]);
        ::dup2(progress[1], 3);
        ::setenv("PELLUMO_TIMELAPSE_FILE", cut.c_str(), 1);
        ::execl("/proc/self/exe", "child", "--gtest_also_run_disabled_tests",
                "--gtest_filter=Mp4RecorderChild.DISABLED_TimeLapseUntilKilled", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(progress[1]);
    int frames = 0;
    char byte = 0;
    while (frames < 6 && ::read(progress[0], &byte, 1) == 1)
        ++frames;
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ::close(progress[0]);
    ASSERT_EQ(frames, 6);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_GE(std::stoi(probe(cut).at("nb_read_frames")), 6);
}

// Run only by the test above, in a child process that is killed mid-series.
TEST(Mp4RecorderChild, DISABLED_TimeLapseUntilKilled)
{
    const char* file = std::getenv("PELLUMO_TIMELAPSE_FILE");
    ASSERT_NE(file, nullptr);
    ManualClock manual;
    Mp4Recorder::Options options(manual.clock());
    options.timeLapseRate = 25;
    Mp4Recorder recorder(options);
    recordTimeLapse(recorder, file, 1000, 3, manual);
}
