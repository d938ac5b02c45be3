// The render view on an X display: fit and letterboxing as drawn, measurements
// after a resize, the recording overlay, mouse routing and the driver check.
#include "RenderTestSupport.h"

#include "app/common/AppMessages.h"
#include "app/view/RenderCapability.h"
#include "platform/UserFolders.h"
#include "ui/Application.h"
#include "ui/testing/UiDriver.h"

#include <SFML/Graphics/Font.hpp>
#include <SFML/Graphics/RenderTexture.hpp>
#include <SFML/Graphics/Text.hpp>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <memory>

using namespace rendertest;
using ui::testing::Driver;

namespace {

const sf::Color kRed(220, 40, 40), kGreen(40, 200, 60), kBlue(40, 60, 220), kWhite(240, 240, 240);
const sf::Color kBlack(0, 0, 0);

// Records the framework events the view receives.
class RecordingView : public CImageRenderUI {
public:
    void DoEvent(TEventUI& event) override
    {
        events.push_back(event);
        CImageRenderUI::DoEvent(event);
    }
    std::vector<TEventUI> events;
};

class RenderView : public ::testing::Test {
protected:
    void SetUp() override
    {
        view = std::make_unique<RecordingView>();
        ASSERT_TRUE(view->loadOverlayResources());
        ASSERT_TRUE(showAt(*view, 1000, 800));
        ASSERT_EQ(view->attachWindow(&mainWindow), 1);
    }
    void TearDown() override
    {
        if (view) {
            view->detachWindow();
            view.reset();
        }
        Driver::processEvents();
    }

    TEventUI mouse(int type, int x, int y)
    {
        TEventUI e;
        e.Type = type;
        e.pSender = view.get();
        e.ptMouse = {x, y};
        return e;
    }
    void send(int type, int x, int y)
    {
        TEventUI e = mouse(type, x, y);
        view->DoEvent(e);
    }
    // Draws a line with the line tool by two clicks at view (or host) points.
    void clickLine(int x0, int y0, int x1, int y1)
    {
        view->container().setTool(ToolLine);
        send(UIEVENT_BUTTONDOWN, x0, y0);
        send(UIEVENT_BUTTONUP, x0, y0);
        send(UIEVENT_MOUSEMOVE, x1, y1);
        send(UIEVENT_BUTTONDOWN, x1, y1);
        send(UIEVENT_BUTTONUP, x1, y1);
        view->container().setTool(ToolNone);
    }

    MainWindowStub mainWindow;
    std::unique_ptr<RecordingView> view;
};

// Looks for a pixel of `color` within `radius` of (x, y).
bool colourNear(const sf::Image& image, int x, int y, sf::Color color, int radius = 2, int tolerance = 40)
{
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const int px = x + dx, py = y + dy;
            if (px >= 0 && py >= 0 && unsigned(px) < image.getSize().x && unsigned(py) < image.getSize().y &&
                near(image.getPixel(unsigned(px), unsigned(py)), color, tolerance))
                return true;
        }
    return false;
}

} // namespace

TEST_F(RenderView, WideFrameFillsTheWidthWithBarsAboveAndBelow)
{
    const auto frame = quadrantFrame(1920, 1080, kRed, kGreen, kBlue, kWhite);
    sf::Image shot;
    ASSERT_TRUE(snapshot(*view, frame, 1920, 1080, shot));
    const ViewFit fit = view->currentFit();
    EXPECT_FLOAT_EQ(fit.zoom, 1000.0f / 1920.0f);
    EXPECT_FLOAT_EQ(fit.originX, 0.0f);
    EXPECT_FLOAT_EQ(fit.originY, 118.75f);

    ASSERT_EQ(shot.getSize(), sf::Vector2u(1000, 800));
    // Bars: rows above 118.75 and from 681.25 down are black.
    for (unsigned x : {10u, 500u, 990u}) {
        EXPECT_TRUE(near(shot.getPixel(x, 5), kBlack)) << x;
        EXPECT_TRUE(near(shot.getPixel(x, 116), kBlack)) << x;
        EXPECT_TRUE(near(shot.getPixel(x, 684), kBlack)) << x;
        EXPECT_TRUE(near(shot.getPixel(x, 795), kBlack)) << x;
    }
    // The picture spans the full width; its quadrants land where the fit says.
    EXPECT_TRUE(near(shot.getPixel(2, 122), kRed));
    EXPECT_TRUE(near(shot.getPixel(997, 122), kGreen));
    EXPECT_TRUE(near(shot.getPixel(2, 678), kBlue));
    EXPECT_TRUE(near(shot.getPixel(997, 678), kWhite));
    // Image column 960 / row 540 (the quadrant borders) at 500 / 400.
    EXPECT_TRUE(near(shot.getPixel(495, 395), kRed));
    EXPECT_TRUE(near(shot.getPixel(505, 395), kGreen));
    EXPECT_TRUE(near(shot.getPixel(495, 405), kBlue));
    EXPECT_TRUE(near(shot.getPixel(505, 405), kWhite));
}

TEST_F(RenderView, FourByThreeFrameIsScaledUpAndCentred)
{
    const auto frame = quadrantFrame(640, 480, kRed, kGreen, kBlue, kWhite);
    sf::Image shot;
    ASSERT_TRUE(snapshot(*view, frame, 640, 480, shot));
    const ViewFit fit = view->currentFit();
    EXPECT_FLOAT_EQ(fit.zoom, 1.5625f);
    EXPECT_FLOAT_EQ(fit.originX, 0.0f);
    EXPECT_FLOAT_EQ(fit.originY, 25.0f);

    EXPECT_TRUE(near(shot.getPixel(500, 22), kBlack));
    EXPECT_TRUE(near(shot.getPixel(500, 778), kBlack));
    EXPECT_TRUE(near(shot.getPixel(2, 28), kRed));
    EXPECT_TRUE(near(shot.getPixel(997, 28), kGreen));
    EXPECT_TRUE(near(shot.getPixel(2, 772), kBlue));
    EXPECT_TRUE(near(shot.getPixel(997, 772), kWhite));
    // Image (320, 240) is view (500, 400).
    EXPECT_TRUE(near(shot.getPixel(495, 395), kRed));
    EXPECT_TRUE(near(shot.getPixel(505, 405), kWhite));
}

TEST_F(RenderView, ANewFrameSizeAndANewControlSizeRefitThePicture)
{
    const auto wide = quadrantFrame(1920, 1080, kRed, kGreen, kBlue, kWhite);
    ASSERT_TRUE(drawFrame(*view, wide, 1920, 1080));
    // A square frame in a wider control: height fills, bars left and right.
    const auto square = quadrantFrame(400, 400, kRed, kGreen, kBlue, kWhite);
    sf::Image shot;
    ASSERT_TRUE(snapshot(*view, square, 400, 400, shot));
    EXPECT_FLOAT_EQ(view->currentFit().zoom, 2.0f);
    EXPECT_FLOAT_EQ(view->currentFit().originX, 100.0f);
    EXPECT_TRUE(near(shot.getPixel(95, 400), kBlack));
    EXPECT_TRUE(near(shot.getPixel(104, 10), kRed));
    EXPECT_TRUE(near(shot.getPixel(905, 400), kBlack));

    // The control shrinks to 600 × 300: the same picture refits without a new frame.
    ASSERT_TRUE(showAt(*view, 600, 300));
    ASSERT_TRUE(snapshot(*view, square, 400, 400, shot));
    ASSERT_EQ(shot.getSize(), sf::Vector2u(600, 300));
    EXPECT_FLOAT_EQ(view->currentFit().zoom, 0.75f);
    EXPECT_FLOAT_EQ(view->currentFit().originX, 150.0f);
    EXPECT_TRUE(near(shot.getPixel(145, 150), kBlack));
    EXPECT_TRUE(near(shot.getPixel(154, 5), kRed));
    EXPECT_TRUE(near(shot.getPixel(445, 295), kWhite));
    EXPECT_TRUE(near(shot.getPixel(455, 150), kBlack));
}

TEST_F(RenderView, MeasurementsStayOnTheirImagePixelsWhenTheControlIsResized)
{
    const sf::Color kMagenta(255, 0, 255);
    const auto grey = uniformFrame(640, 480, sf::Color(128, 128, 128));
    ASSERT_TRUE(drawFrame(*view, grey, 640, 480));
    SFPrimitiveContainer& container = view->container();
    container.setColors(kMagenta, kMagenta, sf::Color(255, 255, 0), sf::Color(255, 255, 0), true);
    // Image (100, 100) → (500, 100): view x = u × 1.5625, y = 25 + v × 1.5625.
    clickLine(156, 181, 781, 181);
    ASSERT_EQ(container.count(), 1);
    EXPECT_EQ(mainWindow.count(WM_MEASURE_ADDED), 1);
    auto expectImagePoints = [&](const char* when) {
        const MeasureData data = container.measureData(0);
        EXPECT_NEAR(data.startX, 100, 1) << when;
        EXPECT_NEAR(data.startY, 100, 1) << when;
        EXPECT_NEAR(data.endX, 500, 1) << when;
        EXPECT_NEAR(data.endY, 100, 1) << when;
    };
    expectImagePoints("before the resize");

    sf::Image shot;
    ASSERT_TRUE(snapshot(*view, grey, 640, 480, shot));
    for (int x : {250, 400, 600})
        EXPECT_TRUE(colourNear(shot, x, 181, kMagenta)) << "before the resize, x " << x;

    // 800 × 800: zoom 1.25, origin (0, 100): the line is now at y = 225, x 125…625.
    ASSERT_TRUE(showAt(*view, 800, 800));
    ASSERT_TRUE(snapshot(*view, grey, 640, 480, shot));
    for (int x : {200, 375, 550})
        EXPECT_TRUE(colourNear(shot, x, 225, kMagenta)) << "after the resize, x " << x;
    for (int x : {200, 375, 550})
        EXPECT_FALSE(colourNear(shot, x, 181, kMagenta, 4)) << "old place, x " << x;
    EXPECT_FALSE(colourNear(shot, 700, 225, kMagenta, 4)) << "the line ends at x 625";
    expectImagePoints("after the resize");
}

TEST_F(RenderView, ZoomedFourTimesAboutAPointALineIsDrawnAndMeasuredInPictureCoordinates)
{
    const sf::Color kMagenta(255, 0, 255);
    const auto grey = uniformFrame(640, 480, sf::Color(128, 128, 128));
    ASSERT_TRUE(drawFrame(*view, grey, 640, 480));
    SFPrimitiveContainer& container = view->container();
    container.setColors(kMagenta, kMagenta, sf::Color(255, 255, 0), sf::Color(255, 255, 0), true);
    // Fitted: zoom 1.5625, origin (0, 25). Eight notches of the wheel over
    // picture point (320, 240) = view (500, 400) make it four times that.
    TEventUI wheel = mouse(UIEVENT_SCROLLWHEEL, 500, 400);
    wheel.wParam = WPARAM(LPARAM(960));
    view->DoEvent(wheel);
    ViewFit fit = view->currentFit();
    EXPECT_FLOAT_EQ(fit.zoom, 6.25f);
    EXPECT_EQ(view->zoomPercent(), 625);
    EXPECT_NEAR((500 - fit.originX) / fit.zoom, 320, 0.01) << "the point under the pointer stays";
    EXPECT_NEAR((400 - fit.originY) / fit.zoom, 240, 0.01);

    // A line from picture (300, 230) to (340, 230): view x 375 … 625, y 337.5.
    clickLine(375, 338, 625, 338);
    ASSERT_EQ(container.count(), 1);
    auto expectPicturePoints = [&](const char* when) {
        const MeasureData data = container.measureData(0);
        EXPECT_NEAR(data.startX, 300, 0.2) << when;
        EXPECT_NEAR(data.startY, 230, 0.2) << when;
        EXPECT_NEAR(data.endX, 340, 0.2) << when;
        EXPECT_NEAR(data.endY, 230, 0.2) << when;
    };
    expectPicturePoints("drawn zoomed");
    sf::Image shot;
    ASSERT_TRUE(snapshot(*view, grey, 640, 480, shot));
    EXPECT_TRUE(colourNear(shot, 500, 338, kMagenta)) << "drawn where it was drawn";

    // The middle button pans: the line moves with the picture.
    send(UIEVENT_MBUTTONDOWN, 500, 500);
    send(UIEVENT_MOUSEMOVE, 540, 440);
    send(UIEVENT_MBUTTONUP, 540, 440);
    EXPECT_EQ(container.count(), 1) << "a pan draws nothing";
    fit = view->currentFit();
    EXPECT_NEAR(fit.originX, -1460, 0.01);
    EXPECT_NEAR(fit.originY, -1160, 0.01);
    ASSERT_TRUE(snapshot(*view, grey, 640, 480, shot));
    EXPECT_TRUE(colourNear(shot, 540, 278, kMagenta)) << "moved with the picture";
    EXPECT_FALSE(colourNear(shot, 500, 338, kMagenta, 4));

    // Back to the fit: the line is where picture (300..340, 230) is fitted.
    view->zoomToFit();
    expectPicturePoints("fitted again");
    ASSERT_TRUE(snapshot(*view, grey, 640, 480, shot));
    EXPECT_TRUE(colourNear(shot, 500, 25 + 230 * 1.5625, kMagenta));
    EXPECT_GE(mainWindow.count(WM_RENDER_ZOOM_CHANGED), 2);
}

TEST_F(RenderView, ScaleBarStandsInsideThePictureInViewPixels)
{
    // Run also with QT_SCALE_FACTOR=2: the snapshot then has two device
    // pixels per view pixel, and the bar must still be where the view puts it.
    const sf::Color kYellow(255, 255, 0);
    const auto grey = uniformFrame(1920, 1080, sf::Color(128, 128, 128));
    ASSERT_TRUE(drawFrame(*view, grey, 1920, 1080));
    SFPrimitiveContainer& container = view->container();
    container.setColors(kYellow, kYellow, kYellow, kYellow, true);
    view->showScaleBar(true);
    const sf::FloatRect picture = view->visiblePicture();
    EXPECT_NEAR(picture.top, 118.75f, 0.01) << "the picture is letterboxed";
    ScaleBar::Choice choice;
    sf::FloatRect bar;
    ASSERT_TRUE(ScaleBar::place(1.0f, view->currentFit().zoom, "px", picture, choice, bar));
    EXPECT_LE(bar.top + bar.height, picture.top + picture.height - ScaleBar::kMargin + 0.01f);
    sf::Image shot;
    ASSERT_TRUE(snapshot(*view, grey, 1920, 1080, shot));
    const float ratio = float(shot.getSize().x) / 1000.0f;
    auto at = [&](float x, float y) { return shot.getPixel(unsigned(x * ratio), unsigned(y * ratio)); };
    const float middle = bar.top + bar.height / 2;
    for (float x : {bar.left + 2, bar.left + bar.width / 2, bar.left + bar.width - 2})
        EXPECT_TRUE(near(at(x, middle), kYellow)) << "bar at x " << x << ", device ratio " << ratio;
    EXPECT_TRUE(near(at(bar.left - 4, middle), sf::Color(128, 128, 128))) << "the bar starts where it was placed";
    // Its label (yellow text) is inside the picture, above the bar.
    int labelPixels = 0;
    for (float y = picture.top; y < bar.top; y += 0.5f)
        for (float x = picture.left; x < picture.left + picture.width; x += 0.5f)
            labelPixels += near(at(x, y), kYellow, 60);
    EXPECT_GT(labelPixels, 10);
    int below = 0;
    for (float x = 0; x < 1000; x += 1)
        below += near(at(x, picture.top + picture.height + 4), kYellow, 60);
    EXPECT_EQ(below, 0) << "nothing of it below the picture";
}

TEST_F(RenderView, MousePositionsAreTakenRelativeToTheControlInItsHostWindow)
{
    const auto grey = uniformFrame(640, 480, sf::Color(128, 128, 128));
    ASSERT_TRUE(drawFrame(*view, grey, 640, 480));
    // The framework reports the control at (100, 50) of its host window, and
    // mouse positions in host coordinates.
    view->SetPos(RECT{100, 50, 1100, 850}, false);
    SFPrimitiveContainer& container = view->container();
    clickLine(100 + 156, 50 + 181, 100 + 781, 50 + 181);
    ASSERT_EQ(container.count(), 1);
    const MeasureData data = container.measureData(0);
    EXPECT_NEAR(data.startX, 100, 1);
    EXPECT_NEAR(data.startY, 100, 1);
    EXPECT_NEAR(data.endX, 500, 1);
}

TEST_F(RenderView, RecordingOverlayShowsTheBoxSymbolAndElapsedTime)
{
    auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(100);
    view->setElapsedClock([&now] { return now; });
    const sf::Color grey(100, 100, 100);
    const auto frame = uniformFrame(1000, 800, grey);
    sf::Image plain;
    ASSERT_TRUE(snapshot(*view, frame, 1000, 800, plain));
    EXPECT_TRUE(near(plain.getPixel(10, 40), grey, 4));

    view->showRecordingIndicator(true);
    now += std::chrono::seconds(3725);
    sf::Image shot;
    ASSERT_TRUE(snapshot(*view, frame, 1000, 800, shot));
    // The half-transparent black box over the picture, nothing outside it.
    EXPECT_TRUE(near(shot.getPixel(10, 45), sf::Color(50, 50, 50), 6));
    EXPECT_TRUE(near(shot.getPixel(145, 8), sf::Color(50, 50, 50), 6));
    EXPECT_TRUE(near(shot.getPixel(155, 30), grey, 4));
    EXPECT_TRUE(near(shot.getPixel(10, 52), grey, 4));
    // The symbol's strip is red on transparent: some red in its 20 × 20 square.
    bool red = false;
    for (unsigned y = 17; y < 37; ++y)
        for (unsigned x = 15; x < 35; ++x)
            red = red || (shot.getPixel(x, y).r > 120 && shot.getPixel(x, y).g < 90);
    EXPECT_TRUE(red);

    // The text reads 01:02:05: compare with the two candidates drawn alike.
    sf::Font font;
    ASSERT_TRUE(font.loadFromFile(platform::executableFolder() + "/fonts/fzht.ttf"));
    auto differenceTo = [&](const std::string& text) {
        sf::RenderTexture target;
        EXPECT_TRUE(target.create(200, 60));
        target.clear(sf::Color(50, 50, 50));
        sf::Text t(text, font, 24);
        t.setStyle(sf::Text::Bold);
        t.setFillColor(sf::Color::White);
        t.setPosition(44.f, 11.f);
        target.draw(t);
        target.display();
        const sf::Image expected = target.getTexture().copyToImage();
        long difference = 0;
        for (unsigned y = 11; y < 48; ++y)
            for (unsigned x = 44; x < 150; ++x)
                difference += std::abs(int(expected.getPixel(x, y).g) - int(shot.getPixel(x, y).g));
        return difference;
    };
    const long right = differenceTo("01:02:05");
    const long wrong = differenceTo("00:00:00");
    EXPECT_LT(right * 4, wrong) << right << " vs " << wrong;

    view->showRecordingIndicator(false);
    ASSERT_TRUE(snapshot(*view, frame, 1000, 800, shot));
    EXPECT_TRUE(near(shot.getPixel(10, 45), grey, 4));
}

TEST_F(RenderView, WithoutTheSymbolStripTheRecordingOverlayIsNotDrawn)
{
    RecordingView bare;
    EXPECT_FALSE(bare.loadOverlayResources(tempPath("no-such-folder")));
    view.reset();
    ASSERT_TRUE(showAt(bare, 400, 300));
    ASSERT_EQ(bare.attachWindow(&mainWindow), 1);
    bare.showRecordingIndicator(true);
    const auto frame = uniformFrame(400, 300, sf::Color(100, 100, 100));
    sf::Image shot;
    ASSERT_TRUE(snapshot(bare, frame, 400, 300, shot));
    EXPECT_TRUE(near(shot.getPixel(10, 45), sf::Color(100, 100, 100), 4));
    EXPECT_EQ(bare.detachWindow(), &mainWindow);
}

TEST_F(RenderView, AFrameThatArrivesDuringAPassIsDrawnByAFollowingPass)
{
    const auto red = uniformFrame(320, 240, kRed);
    const auto blue = uniformFrame(320, 240, kBlue);
    ASSERT_TRUE(drawFrame(*view, red, 320, 240));
    // The next pass takes a red frame; while it draws, a blue one arrives.
    // Nothing else happens afterwards: only the pending change can draw it.
    std::atomic<bool> injected{false};
    view->setPassObserver([&] {
        if (!injected.exchange(true))
            view->updateFrame(320, 240, blue.data());
    });
    const int before = view->passesDrawn();
    view->updateFrame(320, 240, red.data());
    ASSERT_TRUE(Driver::processEventsUntil([&] { return view->passesDrawn() >= before + 2; }, 30000))
        << "the change made during the pass was lost";
    view->setPassObserver(nullptr);
    const std::string path = tempPath("after-pass.png");
    const int served = view->snapshotsServed();
    view->requestSnapshot(path);
    view->showRecordingIndicator(false); // a change without a new frame
    ASSERT_TRUE(Driver::processEventsUntil([&] { return view->snapshotsServed() > served; }, 30000));
    sf::Image shot;
    ASSERT_TRUE(shot.loadFromFile(path));
    EXPECT_TRUE(near(shot.getPixel(500, 400), kBlue));
    std::filesystem::remove(path);
}

TEST_F(RenderView, DoubleClickAsksTheMainWindowToToggleFullScreen)
{
    send(UIEVENT_DBLCLICK, 10, 10);
    EXPECT_EQ(mainWindow.count(WM_RENDER_TOGGLE_FULLSCREEN), 1);
    EXPECT_EQ(WM_RENDER_TOGGLE_FULLSCREEN, 0x472u);
}

TEST_F(RenderView, MouseEventsRedrawOnlyWhenTheyConcernAMeasurement)
{
    const auto grey = uniformFrame(640, 480, sf::Color(128, 128, 128));
    ASSERT_TRUE(drawFrame(*view, grey, 640, 480));
    ui::Application::processEventsFor(200);
    int before = view->passesDrawn();
    send(UIEVENT_MOUSEMOVE, 300, 300);
    send(UIEVENT_BUTTONDOWN, 300, 300);
    send(UIEVENT_BUTTONUP, 300, 300);
    send(UIEVENT_RBUTTONDOWN, 300, 300);
    send(UIEVENT_MOUSELEAVE, 300, 300);
    ui::Application::processEventsFor(200);
    EXPECT_EQ(view->passesDrawn(), before) << "no measurement under the mouse, nothing to redraw";

    // A press with a shape tool creates a point: the view redraws.
    view->container().setTool(ToolPoint);
    send(UIEVENT_BUTTONDOWN, 300, 300);
    EXPECT_TRUE(Driver::processEventsUntil([&] { return view->passesDrawn() > before; }, 30000));
}

TEST_F(RenderView, PointerReachesTheControlThroughTheDrawingWindow)
{
    const auto grey = uniformFrame(640, 480, sf::Color(128, 128, 128));
    ASSERT_TRUE(drawFrame(*view, grey, 640, 480));
    view->events.clear();
    // Alternates between two points (a warp to where the pointer already is
    // moves nothing) and raises the window each time: other test programs may
    // open windows over it on the same display.
    int warps = 0;
    auto movedThere = [&] {
        for (const TEventUI& e : view->events)
            if (e.Type == UIEVENT_MOUSEMOVE && (e.ptMouse.x == 321 || e.ptMouse.x == 322) &&
                e.ptMouse.y == e.ptMouse.x - 87)
                return true;
        const int step = warps++ % 2;
        warpPointer(view->NativeWindowId(), 321 + step, 234 + step);
        ui::Application::processEventsFor(20);
        return false;
    };
    EXPECT_TRUE(Driver::processEventsUntil(movedThere, 30000));
}

TEST_F(RenderView, SnapshotWaitsForTheNextPass)
{
    const auto grey = uniformFrame(640, 480, sf::Color(128, 128, 128));
    const auto red = uniformFrame(640, 480, kRed);
    ASSERT_TRUE(drawFrame(*view, grey, 640, 480));
    const std::string path = tempPath("pending.png");
    sf::Image saved;

    // Nothing changes: the request draws a pass of its own.
    int served = view->snapshotsServed();
    view->requestSnapshot(path);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return view->snapshotsServed() > served; }, 30000));
    ASSERT_TRUE(view->lastSnapshotSaved());
    ASSERT_TRUE(saved.loadFromFile(path));
    EXPECT_TRUE(near(saved.getPixel(500, 400), sf::Color(128, 128, 128)));

    // A frame and then a request arrive while a pass draws the grey frame it
    // has already taken: the snapshot is of the next pass, with the red frame.
    std::atomic<bool> armed{true};
    view->setPassObserver([&] {
        if (armed.exchange(false)) {
            view->updateFrame(640, 480, red.data());
            view->requestSnapshot(path);
        }
    });
    served = view->snapshotsServed();
    view->updateFrame(640, 480, grey.data());
    ASSERT_TRUE(Driver::processEventsUntil([&] { return view->snapshotsServed() > served; }, 30000));
    view->setPassObserver(nullptr);
    ASSERT_TRUE(view->lastSnapshotSaved());
    ASSERT_TRUE(saved.loadFromFile(path));
    EXPECT_TRUE(near(saved.getPixel(500, 400), kRed));
    std::filesystem::remove(path);
}

TEST_F(RenderView, SnapshotToAnUnwritablePlaceIsReportedAsNotSaved)
{
    const auto grey = uniformFrame(64, 48, sf::Color(128, 128, 128));
    const int served = view->snapshotsServed();
    view->requestSnapshot("/nonexistent-folder/x.png");
    view->updateFrame(64, 48, grey.data());
    ASSERT_TRUE(Driver::processEventsUntil(
        [&] {
            view->updateFrame(64, 48, grey.data());
            return view->snapshotsServed() > served;
        },
        30000));
    EXPECT_FALSE(view->lastSnapshotSaved());
}

TEST_F(RenderView, DetachReturnsTheMainWindowOnceAndStopsDrawing)
{
    EXPECT_EQ(view->attachWindow(&mainWindow), 1) << "already attached";
    EXPECT_EQ(view->detachWindow(), &mainWindow);
    EXPECT_EQ(view->detachWindow(), nullptr);
    EXPECT_FALSE(view->isRendering());
    const int passes = view->passesDrawn();
    const auto grey = uniformFrame(64, 48, sf::Color(128, 128, 128));
    view->updateFrame(64, 48, grey.data());
    ui::Application::processEventsFor(100);
    EXPECT_EQ(view->passesDrawn(), passes);
    // And it can be attached again.
    ASSERT_EQ(view->attachWindow(&mainWindow), 1);
    EXPECT_TRUE(drawFrame(*view, grey, 64, 48));
}

TEST(RenderViewAttach, NeedsAMainWindow)
{
    CImageRenderUI view;
    EXPECT_EQ(view.attachWindow(nullptr), 0);
    EXPECT_FALSE(view.isAttached());
}

TEST(RenderCapability, TextureSizeBelow8192FailsWithItsMessage)
{
    testing::internal::CaptureStdout();
    EXPECT_EQ(checkTextureSize(4096), -7);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Err: Maximum Texture Size: 4096\n");
    testing::internal::CaptureStdout();
    EXPECT_EQ(checkTextureSize(8192), 0);
    EXPECT_EQ(checkTextureSize(16384), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    // Mesa's software driver offers 16384.
    EXPECT_EQ(checkRenderCapability(), 0);
}
