// Flat-field correction of the emulated microscope's uneven light.
#include "app/view/ShadingCorrection.h"
#include "app/view/FramePipeline.h"
#include "app/view/FrameSink.h"
#include "app/view/ShadingStore.h"
#include "camera/CMTypes.h"
#include "optics/Microscope.h"
#include "optics/Slide.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace {

constexpr int kWidth = 320, kHeight = 240;

// Frames of an empty stretch of glass under 35 % corner shading, with noise.
class ShadedGlass {
public:
    explicit ShadedGlass(double shading = 35, double noise = 2) : m_microscope(settings(shading, noise), 30)
    {
        m_microscope.holdStageAt(optics::Slide::instance().emptyGlass(cv::Size(kWidth, kHeight)));
    }
    // RGBA, as the frame converter hands pictures on.
    cv::Mat frame(uint64_t n)
    {
        cv::Mat rgb, rgba;
        m_microscope.render(n, cv::Size(kWidth, kHeight), 0.5, rgb);
        cv::cvtColor(rgb, rgba, cv::COLOR_RGB2RGBA);
        return rgba;
    }
    optics::Microscope& microscope() { return m_microscope; }

private:
    static optics::OpticsSettings settings(double shading, double noise)
    {
        optics::OpticsSettings s;
        s.on = true;
        s.shadingPercent = shading;
        s.noiseLevels = noise;
        return s;
    }
    optics::Microscope m_microscope;
};

CWImage imageOf(cv::Mat& rgba)
{
    const unsigned bytes = unsigned(rgba.total() * 4);
    return CWImage(rgba.cols, rgba.rows, rgba.data, bytes, bytes, true, FMT_RGBA32, 0);
}

// Corner over centre brightness per channel (means of 16 × 16 patches).
cv::Vec3d cornerRatios(const cv::Mat& rgba)
{
    const cv::Scalar centre = cv::mean(rgba(cv::Rect(rgba.cols / 2 - 8, rgba.rows / 2 - 8, 16, 16)));
    cv::Vec3d worst(1, 1, 1);
    for (const cv::Point corner : {cv::Point(0, 0), cv::Point(rgba.cols - 16, 0), cv::Point(0, rgba.rows - 16),
                                   cv::Point(rgba.cols - 16, rgba.rows - 16)}) {
        const cv::Scalar level = cv::mean(rgba(cv::Rect(corner, cv::Size(16, 16))));
        for (int c = 0; c < 3; ++c)
            if (std::abs(level[c] / centre[c] - 1) > std::abs(worst[c] - 1))
                worst[c] = level[c] / centre[c];
    }
    return worst;
}

ShadingRefusal referenceFrom(const std::vector<cv::Mat>& frames, ShadingCorrection& correction)
{
    correction.collect(static_cast<int>(frames.size()));
    for (const cv::Mat& f : frames) {
        cv::Mat copy = f.clone();
        CWImage image = imageOf(copy);
        correction.process(image);
    }
    ShadingReference made;
    return correction.finishCollecting(made);
}

TEST(ShadingCorrectionTest, AReferenceIsRefusedWhenClippedTooDarkOrTexturedAndTakenFromAnEvenField)
{
    ShadingCorrection correction;
    ShadingReference unused;
    EXPECT_EQ(correction.finishCollecting(unused), ShadingRefusal::NoFrames);

    cv::Mat white(kHeight, kWidth, CV_8UC4, cv::Scalar(255, 255, 255, 255));
    EXPECT_EQ(referenceFrom({white}, correction), ShadingRefusal::Clipped);
    cv::Mat dark(kHeight, kWidth, CV_8UC4, cv::Scalar(20, 20, 20, 255));
    EXPECT_EQ(referenceFrom({dark}, correction), ShadingRefusal::TooDark);

    // The slide's centre: the micrometer and specimens are no flat field.
    ShadedGlass glass;
    glass.microscope().holdStageAt(cv::Point2d(optics::kSlideWidth / 2.0, optics::kSlideHeight / 2.0 + 100));
    EXPECT_EQ(referenceFrom({glass.frame(0), glass.frame(1)}, correction), ShadingRefusal::Textured);
    EXPECT_FALSE(correction.correctsSize(kWidth, kHeight)) << "no reference was kept";

    ShadedGlass empty;
    EXPECT_EQ(referenceFrom({empty.frame(0), empty.frame(1), empty.frame(2), empty.frame(3)}, correction),
              ShadingRefusal::None);
    EXPECT_TRUE(correction.correctsSize(kWidth, kHeight));
    EXPECT_FALSE(correction.correctsSize(kWidth * 2, kHeight * 2));
}

TEST(ShadingCorrectionTest, TheEmulatedShadingIsCorrectedToTwoPercentAndTheToggleSwitchesIt)
{
    ShadedGlass glass;
    ShadingCorrection correction;
    std::vector<cv::Mat> frames;
    for (uint64_t n = 0; n < 8; ++n)
        frames.push_back(glass.frame(n));
    ASSERT_EQ(referenceFrom(frames, correction), ShadingRefusal::None);

    cv::Mat before = glass.frame(100);
    const cv::Vec3d uneven = cornerRatios(before);
    EXPECT_LT(uneven[1], 0.7) << "the emulated shading is there to correct";
    cv::Mat after = before.clone();
    CWImage image = imageOf(after);
    ASSERT_TRUE(correction.process(image));
    const cv::Vec3d even = cornerRatios(after);
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(even[c], 1.0, 0.02) << "channel " << c;
    // The centre keeps its brightness.
    const cv::Rect centre(kWidth / 2 - 8, kHeight / 2 - 8, 16, 16);
    EXPECT_NEAR(cv::mean(after(centre))[1], cv::mean(before(centre))[1], 1.0);

    // Switched off, pictures pass unchanged; on again, corrected again.
    correction.setEnabled(false);
    cv::Mat untouched = before.clone();
    CWImage off = imageOf(untouched);
    EXPECT_FALSE(correction.process(off));
    EXPECT_EQ(cv::norm(untouched, before, cv::NORM_INF), 0);
    correction.setEnabled(true);
    EXPECT_TRUE(correction.process(off));
    EXPECT_EQ(cv::norm(untouched, after, cv::NORM_INF), 0);
    correction.clear();
    EXPECT_FALSE(correction.correctsSize(kWidth, kHeight));
}

TEST(ShadingCorrectionTest, ReferencesAreKeptPerCameraAndSizeAcrossARestart)
{
    const std::filesystem::path folder = std::filesystem::path(::testing::TempDir()) / "shading-store";
    std::filesystem::remove_all(folder);
    ShadedGlass glass;
    ShadingCorrection correction;
    ASSERT_EQ(referenceFrom({glass.frame(0), glass.frame(1)}, correction), ShadingRefusal::None);
    {
        ShadingStore store(folder.string());
        ASSERT_TRUE(store.save("1209:5ec5 EMU1000", correction.reference()));
    }
    // A new program run: the same camera at the same size finds it, another
    // camera or size does not.
    ShadingStore store(folder.string());
    ShadingReference loaded;
    ASSERT_TRUE(store.load("1209:5ec5 EMU1000", kWidth, kHeight, loaded));
    EXPECT_EQ(loaded.width, kWidth);
    EXPECT_EQ(loaded.height, kHeight);
    EXPECT_FALSE(store.load("1209:5ec6 EMU1001", kWidth, kHeight, loaded));
    EXPECT_FALSE(store.load("1209:5ec5 EMU1000", 640, 480, loaded));
    ASSERT_TRUE(store.load("1209:5ec5 EMU1000", kWidth, kHeight, loaded));
    ShadingCorrection restarted;
    restarted.setReference(loaded);
    cv::Mat a = glass.frame(50), b = a.clone();
    CWImage imageA = imageOf(a), imageB = imageOf(b);
    correction.process(imageA);
    restarted.process(imageB);
    EXPECT_LE(cv::norm(a, b, cv::NORM_INF), 1) << "the stored reference corrects as the one taken";
    // Clear removes it.
    EXPECT_TRUE(store.remove("1209:5ec5 EMU1000", kWidth, kHeight));
    EXPECT_FALSE(store.load("1209:5ec5 EMU1000", kWidth, kHeight, loaded));
}

class KeptPicture : public FrameSink {
public:
    void updateFrame(int width, int height, const uint8_t* rgba) override
    {
        picture = cv::Mat(height, width, CV_8UC4, const_cast<uint8_t*>(rgba)).clone();
    }
    cv::Mat picture;
};

TEST(ShadingCorrectionTest, TheViewAndSnapshotsGetTheCorrectedPicture)
{
    ShadedGlass glass;
    FramePipeline pipeline;
    KeptPicture view;
    pipeline.setSink(&view);
    {
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().collect(4);
    }
    // The camera's frames come as RGB; the pipeline converts them to RGBA.
    auto cameraFrame = [&](uint64_t n) {
        cv::Mat rgb;
        cv::cvtColor(glass.frame(n), rgb, cv::COLOR_RGBA2RGB);
        return rgb;
    };
    for (uint64_t n = 0; n < 4; ++n) {
        cv::Mat rgb = cameraFrame(n);
        pipeline.onFrame(CWImage(kWidth, kHeight, rgb.data, unsigned(rgb.total() * 3), unsigned(rgb.total() * 3), true,
                                 FMT_RGB24, 0));
    }
    ShadingReference made;
    {
        std::lock_guard lock(pipeline.lock());
        ASSERT_EQ(pipeline.shading().finishCollecting(made), ShadingRefusal::None);
    }
    cv::Mat rgb = cameraFrame(9);
    pipeline.onFrame(
        CWImage(kWidth, kHeight, rgb.data, unsigned(rgb.total() * 3), unsigned(rgb.total() * 3), true, FMT_RGB24, 0));
    CWImage snapshot;
    ASSERT_TRUE(pipeline.copyDisplayImage(snapshot));
    const cv::Mat snapped(snapshot.height, snapshot.width, CV_8UC4, snapshot.data);
    EXPECT_EQ(cv::norm(snapped, view.picture, cv::NORM_INF), 0) << "view and snapshot agree";
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(cornerRatios(snapped)[c], 1.0, 0.02) << "channel " << c;
    pipeline.setSink(nullptr);
}

} // namespace
