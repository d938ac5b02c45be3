// The program's main window with emulated USB3 cameras, driven as a user
// would: the list shows them, a click opens one, its frames reach the view in
// true colours, the frame rate shows, another camera and another size are
// chosen, the camera is unplugged and comes back, full screen, and the window
// closes while the camera streams.
#include "ChildProcess.h"
#include "ShellTestFolders.h"

#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "app/shell/session/DemoMode.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMCameraBase.h"
#include "camera/CWImage.h"
#include "camera/factory/CMFactory.h"
#include "platform/Tick.h"
#include "platform/UserFolders.h"
#include "tests/shell_session/MainWindowHarness.h"
#include "ui/Controls.h"
#include "ui/List.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"
#include "usbsdk/emulator/SyntheticScene.h"

#include <SFML/Graphics/Image.hpp>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

using shell::CMainWnd;
using shell::Config;
using ui::testing::Driver;

PELLUMO_UI_TEST_APPLICATION();

namespace {

namespace emu = usbsdk::emulator;

constexpr int kSensorWidth = 1940;
constexpr int kSensorHeight = 1460;

// The box simulator on a chosen session port (0: a free one), ended on destruction.
class BoxProcess {
public:
    explicit BoxProcess(int sessionPort)
    {
        int out[2];
        if (::pipe(out) != 0)
            return;
        const std::string program = platform::helperProgram("box_simulator");
        const std::string port = std::to_string(sessionPort);
        m_pid = ::fork();
        if (m_pid == 0) {
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            ::dup2(out[1], STDOUT_FILENO);
            ::execl(program.c_str(), program.c_str(), "--discovery-port", "0", "--session-port", port.c_str(), "--open",
                    "--quiet", "--format", "yuyv", nullptr);
            ::_exit(127);
        }
        ::close(out[1]);
        pollfd waiting{out[0], POLLIN, 0};
        char c = 0;
        std::string line;
        while (::poll(&waiting, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        const size_t at = line.find("session=");
        if (at != std::string::npos)
            m_address = line.substr(at + 8);
    }
    ~BoxProcess()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    const std::string& address() const { return m_address; }
    int port() const { return std::atoi(m_address.substr(m_address.rfind(':') + 1).c_str()); }

private:
    pid_t m_pid = -1;
    std::string m_address;
};

struct Rgba {
    int r, g, b;
};

class MainWindowCameraTest : public testing::Test {
protected:
    // `faults`: SENSORLINK_EMULATE_FAULTS for this test (a new emulated bus).
    void start(const char* faults)
    {
        ::setenv("SENSORLINK_EMULATE", "2", 1);
        ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
        ::setenv("SENSORLINK_EMULATE_FAULTS", faults, 1);
        ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
        ::unsetenv("SENSORLINK_EMULATE_SIZE");
        shelltest::OpenMainWindow(window);
    }
    void TearDown() override { shelltest::CloseMainWindow(window); }

    shell::CameraSession& session() { return *window->Session(); }
    CListUI* list() { return dynamic_cast<CListUI*>(window->PaintManager().FindControl("CameraList")); }
    CControlUI* rowText(int row) { return list()->GetItemAt(row)->FindSubControl("camera_name"); }
    bool rowMarked(int row) { return !list()->GetItemAt(row)->IsEnabled(); }
    std::string textOf(const char* name)
    {
        CControlUI* control = window->PaintManager().FindControl(name);
        return control ? control->GetText() : std::string();
    }
    bool waitFrames(unsigned long more, int timeoutMs = 10000)
    {
        const unsigned long from = session().FramesDelivered();
        return Driver::processEventsUntil(
            [&] { return session().Camera() && session().FramesDelivered() >= from + more; }, timeoutMs);
    }
    // Opens list row `row` with a click and waits for its frames.
    void openRow(int row)
    {
        Driver ui(*window);
        ASSERT_TRUE(ui.clickLink(rowText(row)));
        ASSERT_TRUE(Driver::processEventsUntil([&] { return session().Camera() && !session().IsOpening(); }));
        ASSERT_TRUE(waitFrames(5));
        Driver::processEvents();
        EXPECT_TRUE(rowMarked(row));
    }
    // The colour at sensor position (x, y) of the latest converted picture.
    Rgba pictureAt(int sensorX, int sensorY, int& width, int& height)
    {
        CWImage picture;
        EXPECT_TRUE(session().Pipeline().copyDisplayImage(picture));
        width = picture.width;
        height = picture.height;
        // The camera's window is centred in the sensor.
        const int x = sensorX - (kSensorWidth - width) / 2, y = sensorY - (kSensorHeight - height) / 2;
        Rgba c{-1, -1, -1};
        if (picture.data && x >= 0 && y >= 0 && x < width && y < height) {
            const unsigned char* p = static_cast<unsigned char*>(picture.data) + (size_t(y) * width + x) * 4;
            c = {p[0], p[1], p[2]};
        }
        return c;
    }
    // Checks the four colour patches in the converted picture.
    void expectTrueColours()
    {
        const Rgba expected[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
        for (int i = 0; i < 4; ++i) {
            const int x = emu::kSensorCentreX + emu::kPatchX + i * emu::kPatchStep + emu::kPatchSize / 2;
            const int y = emu::kSensorCentreY + emu::kPatchY + emu::kPatchSize / 2;
            int width = 0, height = 0;
            const Rgba c = pictureAt(x, y, width, height);
            SCOPED_TRACE("patch " + std::to_string(i));
            EXPECT_NEAR(c.r, expected[i].r, 24);
            EXPECT_NEAR(c.g, expected[i].g, 24);
            EXPECT_NEAR(c.b, expected[i].b, 24);
        }
    }

    shelltest::TempHome home;
    shelltest::LocaleEnv locale{"en_US.UTF-8"};
    std::unique_ptr<CMainWnd> window;
};

TEST_F(MainWindowCameraTest, OpensSwitchesResizesAndClosesWhileStreaming)
{
    start("");
    Driver ui(*window);
    // Two emulated cameras and "Network Cameras".
    ASSERT_TRUE(Driver::processEventsUntil([&] { return list() && list()->GetCount() == 3; }));
    EXPECT_EQ(rowText(2)->GetText(), "{a}Network Cameras{/a}");
    EXPECT_FALSE(ui.find("ToolbarBtnCapture")->IsEnabled());

    openRow(0);
    EXPECT_TRUE(ui.find("ToolbarBtnCapture")->IsEnabled());
    // The status bar's hint follows a switch of language.
    const std::string hint = textOf("StatusBarLabelInfo");
    EXPECT_EQ(hint.rfind("Live picture.", 0), 0u) << hint;
    for (const char* language : {"Main_Menu_Item_Japanese", "Main_Menu_Item_English"}) {
        ASSERT_TRUE(ui.click("Btn_Title_Main_Menu"));
        Driver::processEvents();
        ASSERT_NE(Driver::openMenu(), nullptr);
        ASSERT_TRUE(Driver::pickMenuItem(language));
        Driver::processEvents();
        EXPECT_EQ(textOf("StatusBarLabelInfo") == hint, language == std::string("Main_Menu_Item_English"))
            << textOf("StatusBarLabelInfo");
    }
    expectTrueColours();
    // The view drew the picture: its snapshot is not black where the scene is.
    CImageRenderUI* view = window->PaintManager().FindControl("ImageRenderView")
                               ? dynamic_cast<CImageRenderUI*>(ui.find("ImageRenderView"))
                               : nullptr;
    ASSERT_NE(view, nullptr);
    ASSERT_TRUE(view->isRendering());
    ASSERT_TRUE(Driver::processEventsUntil([&] { return view->passesDrawn() > 2; }));
    const std::string shotPath = home.root + "/view.png";
    const int served = view->snapshotsServed();
    view->requestSnapshot(shotPath);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return view->snapshotsServed() > served; }));
    sf::Image shot;
    ASSERT_TRUE(shot.loadFromFile(shotPath));
    int lit = 0, samples = 0;
    for (unsigned y = shot.getSize().y / 20; y < shot.getSize().y; y += shot.getSize().y / 10)
        for (unsigned x = shot.getSize().x / 20; x < shot.getSize().x; x += shot.getSize().x / 10, ++samples) {
            const sf::Color c = shot.getPixel(x, y);
            lit += int(c.r) + c.g + c.b > 60 ? 1 : 0;
        }
    EXPECT_GT(lit, samples / 2) << "the view drew black where the picture is";

    // The frame-rate label reads about the emulated 30 frames/s.
    ASSERT_TRUE(Driver::processEventsUntil(
        [&] {
            float rate = 0;
            return std::sscanf(textOf("StatusbarLabelRate").c_str(), "%f fps", &rate) == 1 && rate > 15 && rate < 45;
        },
        8000))
        << textOf("StatusbarLabelRate");

    // Another camera: the first is released, the second marked.
    openRow(1);
    EXPECT_FALSE(rowMarked(0));
    EXPECT_EQ(session().Source().device, 1);
    EXPECT_EQ(session().Source().pid, 0x5ec6);

    // A burst of device changes lists the cameras again (merged into one or
    // two listings); the open camera stays marked.
    const unsigned listings = session().ListingsDone();
    for (platform::WPARAM kind : {0x8000u, 0x8004u, 0x8000u})
        window->PostMessage(platform::WM_DEVICECHANGE, kind);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session().ListingsDone() > listings; }));
    Driver::processEventsUntil([] { return false; }, 300);
    EXPECT_LE(session().ListingsDone() - listings, 2u);
    ASSERT_EQ(list()->GetCount(), 3);
    EXPECT_TRUE(rowMarked(1));
    EXPECT_FALSE(rowMarked(0));

    // Another preview size from the chain: frames of that size arrive.
    auto* sizes = ui.findAs<CComboUI>("combo_preview_size");
    ASSERT_NE(sizes, nullptr);
    int index640 = -1;
    for (int i = 0; i < sizes->GetCount(); ++i)
        if (sizes->GetItemAt(i)->GetText() == "640 x 480")
            index640 = i;
    ASSERT_GE(index640, 0);
    ASSERT_TRUE(ui.selectComboIndex("combo_preview_size", index640));
    ASSERT_TRUE(Driver::processEventsUntil([&] {
        int width = 0, height = 0;
        pictureAt(0, 0, width, height);
        return width == 640 && height == 480;
    }));
    expectTrueColours();

    // Enter typed into a text box is the box's; Enter elsewhere takes a snapshot.
    namespace fs = std::filesystem;
    auto snapshots = [&] {
        std::error_code ec;
        int n = 0;
        for (auto it = fs::directory_iterator(home.documentsImages(), ec); !ec && it != fs::directory_iterator();
             it.increment(ec))
            ++n;
        return n;
    };
    ASSERT_TRUE(ui.click("MainTabOptMeasure"));
    ASSERT_TRUE(ui.click("MeasureBtnCaliEdit"));
    ASSERT_TRUE(ui.typeText("CaliEdtName", "ruler"));
    ASSERT_TRUE(ui.pressKey(VK_RETURN));
    Driver::processEventsUntil([] { return false; }, 500);
    EXPECT_EQ(snapshots(), 0) << "Enter in a text box took a snapshot";
    ASSERT_TRUE(ui.click("CaliBtnBack"));
    ASSERT_TRUE(ui.click("MainTabOptCamera"));
    ASSERT_TRUE(ui.pressKey(VK_RETURN));
    EXPECT_TRUE(Driver::processEventsUntil([&] { return snapshots() == 1; }));

    // Full screen and back.
    ASSERT_TRUE(ui.click("StatusbarBtnFullscreen"));
    EXPECT_TRUE(window->IsFullscreen());
    EXPECT_FALSE(ui.isShown("SideBar"));
    ASSERT_TRUE(ui.pressKey(VK_F11));
    EXPECT_FALSE(window->IsFullscreen());

    // Closing while frames arrive: no hang, the camera released, settings kept.
    Config().DisableStillCap = 0;
    ASSERT_TRUE(ui.closeWindow());
    ASSERT_TRUE(Driver::processEventsUntil([&] { return !window->IsWindow(); }));
    EXPECT_EQ(session().Camera(), nullptr);
}

TEST_F(MainWindowCameraTest, UnpluggedCameraIsReportedAndOpenedAgainWhenItReturns)
{
    start("unplug_after=60,replug_after_ms=2500");
    Driver ui(*window);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return list() && list()->GetCount() == 3; }));
    openRow(0);
    auto* sizes = ui.findAs<CComboUI>("combo_preview_size");
    ASSERT_NE(sizes, nullptr);
    ASSERT_TRUE(ui.selectComboIndex("combo_preview_size", sizes->GetCount() - 1));
    const std::string chosen = sizes->GetText();

    // The frames stop: the status bar says so and the window keeps working.
    const std::string lost = "Camera disconnected. Waiting for it to return…";
    ASSERT_TRUE(Driver::processEventsUntil([&] { return textOf("StatusBarLabelInfo") == lost; }, 20000));
    EXPECT_TRUE(session().IsLost());
    EXPECT_EQ(session().Camera(), nullptr);

    // It returns and is opened again with the same size.
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session().Camera() && !session().IsLost(); }, 20000));
    ASSERT_TRUE(waitFrames(5));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return textOf("StatusBarLabelInfo") == "Camera reconnected"; }));
    EXPECT_EQ(sizes->GetText(), chosen);
    EXPECT_TRUE(rowMarked(0));
}

TEST_F(MainWindowCameraTest, OpensTheBoxSimulatorThroughTheNetworkCameraDialog)
{
    shell::DemoMode demo; // the box simulator on free loopback ports
    ASSERT_TRUE(demo.StartBoxSimulator());
    start("");
    Driver ui(*window);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return list() && list()->GetCount() == 3; }));
    // The last row opens the dialog; the box's address is typed and connected.
    Driver::ModalAnswer connect = Driver::ClickControl("okbtn");
    connect.inspect = [&](CWindowWnd&, CPaintManagerUI& dialog) {
        if (CControlUI* address = dialog.FindControl("edt_wmpbox_ipaddress"))
            address->SetText(demo.BoxSessionAddress());
    };
    Driver::answerNextModal(connect);
    ASSERT_TRUE(ui.clickLink(rowText(2)));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session().Camera() && !session().IsOpening(); }, 15000));
    EXPECT_EQ(session().Source().kind, shell::CameraSource::Kind::Network);
    EXPECT_EQ(session().Source().address, demo.BoxSessionAddress());
    ASSERT_TRUE(waitFrames(5));
    Driver::processEvents();
    EXPECT_TRUE(rowMarked(2));
    EXPECT_FALSE(rowMarked(0));
}

TEST_F(MainWindowCameraTest, NetworkCameraThatGoesAwayIsOpenedAgainWhenItAnswers)
{
    auto box = std::make_unique<BoxProcess>(0);
    ASSERT_FALSE(box->address().empty());
    const std::string address = box->address();
    const int port = box->port();
    start("");
    ASSERT_EQ(session().OpenNetwork(7, address), shell::kSessionOpened);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session().Camera() && !session().IsOpening(); }, 15000));
    ASSERT_TRUE(waitFrames(5));

    // The box goes away: reported, and the window keeps working.
    box.reset();
    const std::string lost = "Camera disconnected. Waiting for it to return…";
    ASSERT_TRUE(Driver::processEventsUntil([&] { return textOf("StatusBarLabelInfo") == lost; }, 20000));
    EXPECT_EQ(session().Camera(), nullptr);

    // It answers again at the same address: opened again without a click.
    box = std::make_unique<BoxProcess>(port);
    ASSERT_EQ(box->address(), address);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session().Camera() && !session().IsLost(); }, 20000));
    ASSERT_TRUE(waitFrames(5));
    EXPECT_EQ(textOf("StatusBarLabelInfo"), "Camera reconnected");
    EXPECT_EQ(session().Source().address, address);
}

// Two identical USB3 cameras and two identical video cameras: a camera keeps
// its row when the other of its pair goes, comes back with the settings the
// user gave it after it lost power, and the remaining row opens the
// remaining camera.
TEST_F(MainWindowCameraTest, TwinCamerasKeepTheirRowsAndSettingsWhenTheOtherGoes)
{
    const std::string usbControl = home.root + "/usb-control", videoControl = home.root + "/video-control";
    auto write = [](const std::string& path, const char* text) { std::ofstream(path) << text; };
    ::setenv("SENSORLINK_EMULATE", "2", 1);
    ::setenv("SENSORLINK_EMULATE_SAME_IDS", "1", 1);
    ::setenv("SENSORLINK_EMULATE_FPS", "30", 1);
    ::setenv("SENSORLINK_EMULATE_FAULTS", "", 1);
    ::setenv("SENSORLINK_EMULATE_CONTROL", usbControl.c_str(), 1);
    ::unsetenv("SENSORLINK_EMULATE_SIZE");
    ::setenv("LENSBRIDGE_EMULATE_VIDEO", "2", 1);
    ::setenv("LENSBRIDGE_EMULATE_VIDEO_SAME_IDS", "1", 1);
    ::setenv("LENSBRIDGE_EMULATE_VIDEO_CONTROL", videoControl.c_str(), 1);
    shelltest::OpenMainWindow(window);
    Driver ui(*window);
    auto relist = [&](int rows) {
        window->PostMessage(platform::WM_DEVICECHANGE, 0x8000);
        return Driver::processEventsUntil([&] { return list()->GetCount() == rows; });
    };
    // Two video cameras, two USB3 cameras, "Network Cameras".
    ASSERT_TRUE(Driver::processEventsUntil([&] { return list() && list()->GetCount() == 5; }));

    // The second USB3 camera, set to manual exposure by the user.
    openRow(3);
    const std::string second = session().Source().identity;
    EXPECT_EQ(second, "usb3 1209:5ec5 emulated:1");
    auto* autoExposure = ui.findAs<COptionUI>("AdjustOptionAE");
    ASSERT_NE(autoExposure, nullptr);
    ASSERT_TRUE(autoExposure->IsSelected());
    autoExposure->Selected(false);
    bool automatic = true;
    ASSERT_EQ(session().Camera()->getExposure(automatic), 0);
    ASSERT_FALSE(automatic);

    // The first USB3 camera goes: the second stays open, marked at its new row.
    write(usbControl, "unplugged 0\n");
    ASSERT_TRUE(relist(4));
    EXPECT_TRUE(rowMarked(2));
    EXPECT_NE(session().Camera(), nullptr);
    EXPECT_FALSE(session().IsLost());

    // It loses power and comes back: reopened, manual exposure again.
    write(usbControl, "unplugged 0\nunplugged 1\n");
    ASSERT_TRUE(relist(3));
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session().IsLost(); }));
    write(usbControl, "unplugged 0\n");
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session().Camera() && !session().IsLost(); }, 20000));
    ASSERT_TRUE(waitFrames(3));
    EXPECT_EQ(CMFactory::GetCameraIdentity(session().Camera()), second);
    automatic = true;
    EXPECT_EQ(session().Camera()->getExposure(automatic), 0);
    EXPECT_FALSE(automatic) << "the camera came back with its power-on automatic exposure";
    Driver::processEvents();
    EXPECT_TRUE(rowMarked(2));
    EXPECT_FALSE(ui.findAs<COptionUI>("AdjustOptionAE")->IsSelected());

    // The second video camera; the first goes: the second stays open and marked.
    openRow(1);
    write(videoControl, "unplugged 0\n");
    ASSERT_TRUE(relist(3));
    EXPECT_TRUE(rowMarked(0));
    EXPECT_NE(session().Camera(), nullptr);
    EXPECT_EQ(session().Source().identity, "video 1209:7600 emulated:video1");

    // The remaining USB3 row opens the remaining USB3 camera.
    openRow(1);
    EXPECT_EQ(session().Source().identity, second);
    EXPECT_EQ(CMFactory::GetCameraIdentity(session().Camera()), second);

    // The next start opens the camera used last by itself.
    shelltest::CloseMainWindow(window);
    shelltest::OpenMainWindow(window);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return session().Camera() && !session().IsOpening(); }));
    EXPECT_EQ(CMFactory::GetCameraIdentity(session().Camera()), second);
    for (const char* name : {"SENSORLINK_EMULATE_SAME_IDS", "SENSORLINK_EMULATE_CONTROL", "LENSBRIDGE_EMULATE_VIDEO",
                             "LENSBRIDGE_EMULATE_VIDEO_SAME_IDS", "LENSBRIDGE_EMULATE_VIDEO_CONTROL"})
        ::unsetenv(name);
}

// A lost RTSP camera is tried again in the background; the attempt (up to
// ten seconds against a server that stopped answering) never holds the user.
TEST_F(MainWindowCameraTest, ReconnectAttemptGivesWayToAnotherCameraAndToClosing)
{
    ChildProcess server("rtsp_test_server", {"--width", "320", "--height", "240", "--fps", "15"});
    const std::string url = server.readyLine();
    ASSERT_FALSE(url.empty());
    start("");
    Driver ui(*window);
    ASSERT_TRUE(Driver::processEventsUntil([&] { return list() && list()->GetCount() == 3; }));
    // Frames, then the server stops mid-stream; the watchdog gives the camera
    // up and the reconnect attempt blocks in the server's silence.
    auto openStreamAndStopServer = [&] {
        ::kill(server.pid(), SIGCONT);
        ASSERT_EQ(session().OpenNetwork(8, url), shell::kSessionOpened);
        ASSERT_TRUE(Driver::processEventsUntil([&] { return session().Camera() && !session().IsOpening(); }, 20000));
        ASSERT_TRUE(waitFrames(5));
        Driver::processEvents();
        EXPECT_FALSE(rowMarked(2)) << "an RTSP stream leaves the network row open for another";
        ::kill(server.pid(), SIGSTOP);
        ASSERT_TRUE(Driver::processEventsUntil([&] { return session().IsLost() && session().IsOpening(); }, 20000));
    };

    openStreamAndStopServer();
    // A click on the USB3 camera cancels the attempt and opens that camera.
    const unsigned clicked = platform::GetTickCount();
    ASSERT_TRUE(ui.clickLink(rowText(0)));
    ASSERT_TRUE(Driver::processEventsUntil(
        [&] { return session().Camera() && session().Source().kind == shell::CameraSource::Kind::Local; }, 20000));
    std::printf("reconnect attempt cancelled by a click: camera open %u ms after the click\n",
                platform::GetTickCount() - clicked);
    EXPECT_FALSE(session().IsLost());
    Driver::processEvents();
    EXPECT_TRUE(rowMarked(0));

    openStreamAndStopServer();
    // Closing the window during an attempt does not wait for it either.
    const unsigned closing = platform::GetTickCount();
    ASSERT_TRUE(ui.closeWindow());
    ASSERT_TRUE(Driver::processEventsUntil([&] { return !window->IsWindow(); }, 20000));
    std::printf("reconnect attempt cancelled by closing: window closed %u ms after the close\n",
                platform::GetTickCount() - closing);
    EXPECT_EQ(session().Camera(), nullptr);
    ::kill(server.pid(), SIGCONT);
}

} // namespace
