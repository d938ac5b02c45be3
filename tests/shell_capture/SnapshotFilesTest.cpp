// Snapshot files without a window: names and folders, the conversion of every
// camera format, the four file types decoded back, the calibrated TIFF and
// the saver thread.
#include "../shell/ShellTestFolders.h"

#include "app/measure/SFPrimitiveContainer.h"
#include "app/shell/AppConfig.h"
#include "app/shell/capture/ImageFileWriter.h"
#include "app/shell/capture/ImageScale.h"
#include "app/shell/capture/SnapshotFiles.h"
#include "app/shell/capture/SnapshotImage.h"
#include "app/shell/capture/SnapshotSaver.h"
#include "app/shell/capture/TimeLapseRecording.h"
#include "app/view/FrameConverter.h"
#include "camera/CMCameraBase.h"
#include "platform/AtomicFile.h"
#include "tests/view/ProcessingCamera.h"

#include <gtest/gtest.h>
#include <libyuv.h>
#include <opencv2/imgcodecs.hpp>
#include <tiffio.h>
#include <turbojpeg.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using namespace shell;

namespace {

// Four vertical patches: red, green, blue, white, as B, G, R, A.
constexpr std::array<std::array<uint8_t, 4>, 4> kPatches = {{
    {0, 0, 255, 255},
    {0, 255, 0, 255},
    {255, 0, 0, 255},
    {255, 255, 255, 255},
}};
constexpr int kW = 64, kH = 32;

std::vector<uint8_t> patchesBgra()
{
    std::vector<uint8_t> bgra(size_t(kW) * kH * 4);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x)
            std::copy(kPatches[size_t(x / 16)].begin(), kPatches[size_t(x / 16)].end(),
                      &bgra[(size_t(y) * kW + x) * 4]);
    return bgra;
}

// The B, G, R of pixel (x, y) of a decoded file (3 or 4 channels).
std::array<int, 3> pixelOf(const cv::Mat& image, int x, int y)
{
    const uint8_t* p = image.ptr<uint8_t>(y) + size_t(x) * image.channels();
    return {p[0], p[1], p[2]};
}

void expectPatchColours(const cv::Mat& image, int tolerance, const std::string& what)
{
    ASSERT_EQ(image.cols, kW) << what;
    ASSERT_EQ(image.rows, kH) << what;
    for (int patch = 0; patch < 4; ++patch) {
        const auto bgr = pixelOf(image, patch * 16 + 8, kH / 2);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(bgr[size_t(c)], kPatches[size_t(patch)][size_t(c)], tolerance)
                << what << " patch " << patch << " channel " << c;
    }
}

class SnapshotFilesTest : public testing::Test {
protected:
    void SetUp() override { Config().SetDefaults(); }
    shelltest::TempHome home;
};

} // namespace

TEST_F(SnapshotFilesTest, AutomaticNamesAndTheImageFolderRule)
{
    std::tm local{};
    local.tm_year = 2018 - 1900;
    local.tm_mon = 2;
    local.tm_mday = 28;
    local.tm_hour = 14;
    local.tm_min = 15;
    local.tm_sec = 2;
    EXPECT_EQ(AutomaticFileName("/pics", ".jpg", local, 7), "/pics/20180328-141502-7.jpg");
    EXPECT_EQ(AutomaticFileName("/pics/", ".mp4", local, 120), "/pics/20180328-141502-120.mp4");
    EXPECT_STREQ(SnapshotExtension(0), ".tif");
    EXPECT_STREQ(SnapshotExtension(3), ".jpg");
    EXPECT_STREQ(SnapshotExtension(9), ".tif") << "an unknown type names TIFF files";
    EXPECT_STREQ(SnapshotPattern(9), "*.jpg") << "and offers the JPEG pattern";

    // The documents rule, created on first use.
    Config().ImagePath_MyDoc = 1;
    const std::string documents = ImageFolder();
    EXPECT_EQ(fs::path(documents), fs::path(home.documentsImages()));
    EXPECT_TRUE(fs::is_directory(documents));
    // A custom folder with missing parents.
    Config().ImagePath_MyDoc = 0;
    Config().ImagePath = home.root + "/a/b/c";
    EXPECT_EQ(ImageFolder(), home.root + "/a/b/c");
    EXPECT_TRUE(fs::is_directory(home.root + "/a/b/c"));
    // One that cannot be made: no folder, no snapshot.
    std::ofstream(home.root + "/file") << "x";
    Config().ImagePath = home.root + "/file/sub";
    EXPECT_EQ(ImageFolder(), "");
}

TEST_F(SnapshotFilesTest, EveryCameraFormatConvertsToTrueColours)
{
    const std::vector<uint8_t> bgra = patchesBgra();
    SnapshotConverter converter;
    std::vector<uint8_t> out;
    auto check = [&](const CWImage& picture, int tolerance, const std::string& what) {
        ASSERT_TRUE(converter.convert(picture, out)) << what;
        expectPatchColours(cv::Mat(kH, kW, CV_8UC4, out.data()), tolerance, what);
    };

    std::vector<uint8_t> rgb(size_t(kW) * kH * 3), bgr(rgb.size()), yuy2(size_t(kW) * kH * 2);
    libyuv::ARGBToRAW(bgra.data(), kW * 4, rgb.data(), kW * 3, kW, kH);
    libyuv::ARGBToRGB24(bgra.data(), kW * 4, bgr.data(), kW * 3, kW, kH);
    libyuv::ARGBToYUY2(bgra.data(), kW * 4, yuy2.data(), kW * 2, kW, kH);
    check(CWImage(kW, kH, rgb.data(), unsigned(rgb.size()), unsigned(rgb.size()), true, FMT_RGB24, 0), 0, "RGB");
    check(CWImage(kW, kH, bgr.data(), unsigned(bgr.size()), unsigned(bgr.size()), true, FMT_BGR24, 0), 0, "BGR");
    check(CWImage(kW, kH, yuy2.data(), unsigned(yuy2.size()), unsigned(yuy2.size()), true, FMT_YUY2, 0), 6, "YUY2");

    tjhandle encoder = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    ASSERT_EQ(tjCompress2(encoder, bgra.data(), kW, kW * 4, kH, TJPF_BGRA, &jpeg, &jpegSize, TJSAMP_444, 95, 0), 0);
    check(CWImage(kW, kH, jpeg, unsigned(jpegSize), unsigned(jpegSize), true, FMT_MJPG, 0), 8, "MJPEG");
    tjFree(jpeg);
    tjDestroy(encoder);

    // A bottom-up picture comes out top-down.
    std::vector<uint8_t> flipped(bgr.size());
    for (int y = 0; y < kH; ++y)
        std::copy_n(&bgr[size_t(y) * kW * 3], kW * 3, &flipped[size_t(kH - 1 - y) * kW * 3]);
    flipped[0] = 0x11; // mark the first byte of the last row of the picture
    ASSERT_TRUE(converter.convert(
        CWImage(kW, kH, flipped.data(), unsigned(flipped.size()), unsigned(flipped.size()), true, FMT_BGR24, 1), out));
    EXPECT_EQ(out[(size_t(kH - 1) * kW) * 4], 0x11);

    // Short data, an undecodable JPEG and formats without a conversion fail.
    EXPECT_FALSE(converter.convert(CWImage(kW, kH, rgb.data(), 100, 100, true, FMT_RGB24, 0), out));
    EXPECT_TRUE(out.empty());
    EXPECT_FALSE(converter.convert(CWImage(kW, kH, rgb.data(), 100, 100, true, FMT_MJPG, 0), out));
    EXPECT_FALSE(converter.convert(
        CWImage(kW, kH, rgb.data(), unsigned(rgb.size()), unsigned(rgb.size()), true, FMT_H264, 0), out));
}

TEST_F(SnapshotFilesTest, TheFourFileTypesDecodeBackToThePicture)
{
    const std::vector<uint8_t> bgra = patchesBgra();
    const fs::path dir = home.root;
    for (const char* name : {"a.tif", "a.png", "a.bmp", "a.jpg", "A.JPG"}) {
        const fs::path path = dir / name;
        ASSERT_TRUE(WriteImageFile(path.string(), bgra.data(), kW, kH)) << name;
        const cv::Mat image = cv::imread(path.string(), cv::IMREAD_UNCHANGED);
        const bool jpeg =
            std::string(name).find("jpg") != std::string::npos || std::string(name).find("JPG") != std::string::npos;
        expectPatchColours(image, jpeg ? 10 : 0, name);
    }
    EXPECT_FALSE(WriteImageFile((dir / "a.xyz").string(), bgra.data(), kW, kH)) << "no writer for the name";
    EXPECT_FALSE(WriteImageFile((dir / "missing" / "a.png").string(), bgra.data(), kW, kH));
}

TEST_F(SnapshotFilesTest, ACalibratedTiffCarriesItsScaleTheImageJWay)
{
    // A calibration of 0.5 micron per preview pixel in force; a still twice
    // as wide as the preview has 4 pixels per micron.
    SFPrimitiveContainer measurements;
    measurements.setCalibration("um", 0.5f);
    ImageScale scale;
    ASSERT_TRUE(CurrentImageScale(measurements, 1280, 2560, scale));
    EXPECT_DOUBLE_EQ(scale.pixelsPerUnit, 4.0);
    EXPECT_EQ(scale.unit, "micron");
    measurements.setCalibration("px", 1.0f);
    EXPECT_FALSE(CurrentImageScale(measurements, 1280, 2560, scale)) << "pixels are no calibration";
    measurements.setCalibration("um", 0.5f);
    ASSERT_TRUE(CurrentImageScale(measurements, 1280, 1280, scale));
    EXPECT_DOUBLE_EQ(scale.pixelsPerUnit, 2.0);

    const std::vector<uint8_t> bgra = patchesBgra();
    const std::string path = home.root + "/scaled.tif";
    scale.pixelsPerUnit = 1.0 / 0.3125; // 3.2 pixels per micron
    ASSERT_TRUE(WriteImageFile(path, bgra.data(), kW, kH, &scale));

    TIFF* tiff = TIFFOpen(path.c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    uint16_t unit = 0, samples = 0;
    float xres = 0, yres = 0;
    char* description = nullptr;
    EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_RESOLUTIONUNIT, &unit));
    EXPECT_EQ(unit, RESUNIT_NONE);
    ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &xres));
    ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &yres));
    EXPECT_NEAR(xres, 3.2, 1e-6);
    EXPECT_NEAR(yres, 3.2, 1e-6);
    ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description));
    EXPECT_EQ(std::string(description).rfind("ImageJ=", 0), 0u);
    EXPECT_NE(std::string(description).find("\nunit=micron\n"), std::string::npos);
    TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
    EXPECT_EQ(samples, 3) << "R, G, B; the alpha of the buffer is not kept";
    TIFFClose(tiff);
    expectPatchColours(cv::imread(path, cv::IMREAD_UNCHANGED), 0, "calibrated TIFF");
}

TEST_F(SnapshotFilesTest, TheSaverWritesInTheBackgroundAndRefusesWhatWouldPileUp)
{
    // A large picture keeps the saver busy while more are handed over.
    const int w = 1920, h = 1080;
    std::vector<uint8_t> noise(size_t(w) * h * 4);
    uint32_t state = 1;
    for (auto& byte : noise)
        byte = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    SnapshotSaver saver(1);
    int accepted = 0, refused = 0;
    for (int i = 0; i < 4; ++i) {
        SnapshotSaver::Job job{home.root + "/s" + std::to_string(i) + ".png", noise, w, h, std::nullopt};
        if (saver.submit(job)) {
            ++accepted;
        } else {
            ++refused;
            EXPECT_EQ(job.bgra.size(), noise.size()) << "a refused picture stays with the caller";
        }
    }
    EXPECT_GE(accepted, 1);
    EXPECT_GE(refused, 1) << "one waiting picture at most";
    saver.waitIdle();
    EXPECT_EQ(saver.pending(), 0u);
    const auto results = saver.takeResults();
    ASSERT_EQ(int(results.size()), accepted);
    for (const auto& result : results) {
        EXPECT_TRUE(result.saved);
        EXPECT_EQ(cv::imread(result.path).cols, w);
    }
    SnapshotSaver::Job bad{home.root + "/none/x.png", noise, w, h, std::nullopt};
    ASSERT_TRUE(saver.submit(bad));
    saver.waitIdle();
    const auto failed = saver.takeResults();
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_FALSE(failed[0].saved);
}

namespace {
// Files in `dir`, hidden ones included.
std::vector<std::string> filesIn(const std::string& dir)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> noiseBgra(int w, int h)
{
    std::vector<uint8_t> noise(size_t(w) * h * 4);
    uint32_t state = 7;
    for (auto& byte : noise)
        byte = uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    return noise;
}

// A file-size limit makes writes fail part way, as a disk filling up does
// (EFBIG instead of ENOSPC); SIGXFSZ is ignored so the write reports it.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_previous = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previous);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    void (*m_previous)(int) = nullptr;
};

} // namespace

TEST_F(SnapshotFilesTest, FullDiskLeavesEveryPictureTypeWholeOrNotAtAll)
{
    const int w = 256, h = 256; // 256 KB as a BMP, far over the limit
    const std::vector<uint8_t> noise = noiseBgra(w, h);
    const std::string dir = home.root + "/full";
    fs::create_directories(dir);
    ImageScale scale{2.0, "micron"};
    struct Case {
        const char* name;
        const ImageScale* scale;
    };
    const Case cases[] = {
        {"a.tif", nullptr}, {"a.png", nullptr}, {"a.bmp", nullptr}, {"a.jpg", nullptr}, {"c.tif", &scale}};
    {
        FileSizeLimit limit(32 * 1024);
        for (const Case& c : cases)
            EXPECT_FALSE(WriteImageFile(dir + "/" + c.name, noise.data(), w, h, c.scale)) << c.name;
        // The saver reports the failure (the status shows the snapshot-failure text).
        SnapshotSaver saver;
        SnapshotSaver::Job job{dir + "/s.bmp", noise, w, h, std::nullopt};
        ASSERT_TRUE(saver.submit(job));
        saver.waitIdle();
        const auto results = saver.takeResults();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_FALSE(results[0].saved);
    }
    EXPECT_TRUE(filesIn(dir).empty()) << "neither partial pictures nor temporary files are left";

    // With room, each is a whole picture under its own name and nothing else.
    for (const Case& c : cases) {
        std::string saved;
        ASSERT_TRUE(WriteImageFile(dir + "/" + c.name, noise.data(), w, h, c.scale, &saved)) << c.name;
        EXPECT_EQ(saved, dir + "/" + c.name);
        EXPECT_EQ(cv::imread(saved, cv::IMREAD_UNCHANGED).cols, w) << c.name;
    }
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"a.bmp", "a.jpg", "a.png", "a.tif", "c.tif"}));
}

TEST_F(SnapshotFilesTest, PicturesGetTheUsersUsualPermissionsAndAReplacedFileKeepsItsOwn)
{
    const std::vector<uint8_t> bgra = patchesBgra();
    const auto modeOf = [](const std::string& path) { return fs::status(path).permissions() & fs::perms::mask; };
    const mode_t before = ::umask(027);
    std::string saved;
    EXPECT_TRUE(WriteImageFile(home.root + "/group.png", bgra.data(), kW, kH, nullptr, &saved));
    EXPECT_EQ(modeOf(saved), fs::perms(0640));
    ::umask(022);
    EXPECT_TRUE(WriteImageFile(home.root + "/all.png", bgra.data(), kW, kH, nullptr, &saved));
    EXPECT_EQ(modeOf(saved), fs::perms(0644));
    ::umask(before);

    fs::permissions(saved, fs::perms(0600));
    platform::AtomicFile replacement(saved, platform::ExistingFile::Replace);
    ASSERT_TRUE(replacement.write("x", 1));
    ASSERT_TRUE(replacement.commit());
    EXPECT_EQ(modeOf(saved), fs::perms(0600));
}

TEST_F(SnapshotFilesTest, AClockSteppedBackNeverOverwritesAnEarlierPicture)
{
    // At the end of summer time the clock shows the same minute again: the
    // automatic name of a new picture is that of an older one.
    std::tm local{};
    local.tm_year = 2026 - 1900;
    local.tm_mon = 9;
    local.tm_mday = 25;
    local.tm_hour = 2;
    local.tm_min = 30;
    const std::string name = AutomaticFileName(home.root, ".png", local, 500);
    const std::vector<uint8_t> first = patchesBgra();
    std::vector<uint8_t> second = first;
    std::reverse(second.begin(), second.end());

    SnapshotSaver saver;
    for (const std::vector<uint8_t>* picture : std::vector<const std::vector<uint8_t>*>{&first, &second, &second}) {
        SnapshotSaver::Job job{name, *picture, kW, kH, std::nullopt};
        ASSERT_TRUE(saver.submit(job));
        saver.waitIdle();
    }
    const auto results = saver.takeResults();
    ASSERT_EQ(results.size(), 3u);
    const std::string stem = name.substr(0, name.size() - 4);
    EXPECT_EQ(results[0].path, name);
    EXPECT_EQ(results[1].path, stem + "-1.png");
    EXPECT_EQ(results[2].path, stem + "-2.png");
    expectPatchColours(cv::imread(name, cv::IMREAD_UNCHANGED), 0, "the first picture is untouched");

    // A name the user chose in the save dialog replaces its file.
    SnapshotSaver::Job chosen{name, second, kW, kH, std::nullopt, platform::ExistingFile::Replace};
    ASSERT_TRUE(saver.submit(chosen));
    saver.waitIdle();
    EXPECT_EQ(saver.takeResults().at(0).path, name);

    // Where the filesystem refuses the no-replace rename or hard links, the
    // fallbacks keep the same promise.
    for (const platform::MoveMethod method : {platform::MoveMethod::Link, platform::MoveMethod::Placeholder}) {
        const std::string temp = home.root + "/temp.png";
        std::ofstream(temp) << "new";
        std::string moved;
        ASSERT_EQ(platform::MoveIntoPlace(temp, name, platform::ExistingFile::Number, moved, method), 0);
        EXPECT_NE(moved, name);
        EXPECT_FALSE(fs::exists(temp));
    }
    EXPECT_TRUE(fs::exists(stem + "-3.png"));
    EXPECT_TRUE(fs::exists(stem + "-4.png"));
}

TEST_F(SnapshotFilesTest, MonochromeAndColourOffsetsMatchTheLiveView)
{
    ProcessingCamera camera;
    ASSERT_EQ(camera.SetProperty(CM_PROP_COLOR_MODE, CM_COLOR_MODE_MONO), CM_OK);
    std::vector<uint8_t> rgb(size_t(kW) * kH * 3);
    const std::vector<uint8_t> bgra = patchesBgra();
    libyuv::ARGBToRAW(bgra.data(), kW * 4, rgb.data(), kW * 3, kW, kH);
    const CWImage picture(kW, kH, rgb.data(), unsigned(rgb.size()), unsigned(rgb.size()), true, FMT_RGB24, 0);

    // The live view: the frame converter's R, G, B, A with the camera's processing.
    auto liveView = [&] {
        FrameConverter live;
        EXPECT_TRUE(live.convert(picture));
        camera.processPixels(&live.displayImage());
        const CWImage& rgba = live.displayImage();
        return std::vector<uint8_t>(rgba.data, rgba.data + size_t(kW) * kH * 4);
    };
    SnapshotConverter converter;
    std::vector<uint8_t> snapshot;
    auto expectSameAsLive = [&](const std::string& what) {
        const std::vector<uint8_t> live = liveView();
        ASSERT_TRUE(converter.convert(picture, snapshot, &camera));
        for (int patch = 0; patch < 4; ++patch) {
            const size_t at = (size_t(kH / 2) * kW + patch * 16 + 8) * 4;
            EXPECT_EQ(snapshot[at + 0], live[at + 2]) << what << " blue, patch " << patch;
            EXPECT_EQ(snapshot[at + 1], live[at + 1]) << what << " green, patch " << patch;
            EXPECT_EQ(snapshot[at + 2], live[at + 0]) << what << " red, patch " << patch;
        }
    };
    expectSameAsLive("monochrome");
    EXPECT_NEAR(snapshot[(size_t(kH / 2) * kW + 8) * 4], 76, 1) << "a red patch is grey 76, as in the live view";

    ASSERT_EQ(camera.SetProperty(CM_PROP_COLOR_MODE, CM_COLOR_MODE_COLOR), CM_OK);
    ASSERT_EQ(camera.SetProperty(CM_PROP_OFFSET_0, 40), CM_OK);
    expectSameAsLive("offset");
}

TEST_F(SnapshotFilesTest, TimeLapseOfTenTicksIsOneVideoAtItsRateWithItsTimeTable)
{
    const std::string path = home.root + "/lapse.mp4";
    std::ofstream(path) << "an older video";
    TimeLapseRecording lapse;
    ASSERT_TRUE(lapse.start(path, kW, kH, 30));
    std::vector<uint8_t> rgba = patchesBgra();
    for (int tick = 0; tick < 10; ++tick) {
        std::fill(rgba.begin(), rgba.begin() + kW * 4 * 4, uint8_t(tick * 25)); // a changing strip
        const std::string clock = "2026-12-08 15:00:0" + std::to_string(tick) + ".200";
        bool added = false;
        for (int wait = 0; wait < 1000 && !(added = lapse.addFrame(rgba.data(), kW, kH, clock)); ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(5)); // the previous frame's sync
        ASSERT_TRUE(added) << tick;
    }
    EXPECT_FALSE(lapse.addFrame(rgba.data(), kW / 2, kH, "x")) << "a picture of another size";
    const std::string video = lapse.finish();
    EXPECT_EQ(video, home.root + "/lapse-1.mp4") << "the older video is kept";

    std::string probe;
    if (FILE* pipe = ::popen(("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                              "stream=codec_name,r_frame_rate,nb_read_frames -of default=nw=1 '" +
                              video + "'")
                                 .c_str(),
                             "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe))
            probe += buffer;
        ::pclose(pipe);
    }
    EXPECT_EQ(probe, "codec_name=h264\nr_frame_rate=30/1\nnb_read_frames=10\n");

    std::ifstream csv(home.root + "/lapse-1.csv");
    std::vector<std::string> rows;
    for (std::string line; std::getline(csv, line);)
        rows.push_back(line);
    ASSERT_EQ(rows.size(), 11u);
    EXPECT_EQ(rows[0], "frame,time");
    EXPECT_EQ(rows[1], "1,2026-12-08 15:00:00.200");
    EXPECT_EQ(rows[10], "10,2026-12-08 15:00:09.200");
}
