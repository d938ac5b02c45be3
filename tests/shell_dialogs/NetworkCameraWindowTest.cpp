// From the main window's "Network Cameras" row through the network camera
// dialog to a live picture: an RTSP URL of the test server, a wrong URL that
// gives the failure box and leaves the window usable, and the box simulator
// picked from the scan list. Closing the main window posts the quit message,
// after which no modal loop runs in that process: each case needs a process
// of its own, as ctest runs them (or --gtest_filter one case).
#include "BoxSimulatorProcess.h"
#include "ChildProcess.h"
#include "ShellTestFolders.h"

#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/Startup.h"
#include "app/shell/session/CameraSession.h"
#include "camera/CMCameraBase.h"
#include "camera/CWImage.h"
#include "tests/shell_session/MainWindowHarness.h"
#include "ui/Controls.h"
#include "ui/List.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

using shell::CMainWnd;
using shell::Config;
using ui::testing::Driver;

namespace {

// A loopback port where nothing listens.
int closedPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}

class NetworkCameraWindowTest : public testing::Test {
protected:
    void SetUp() override
    {
        ::unsetenv("PELLUMO_BOX_SCAN_HOSTS");
        ::unsetenv("SENSORLINK_EMULATE");
        ::unsetenv("LENSBRIDGE_EMULATE_VIDEO");
        shelltest::OpenMainWindow(window);
    }
    void TearDown() override { shelltest::CloseMainWindow(window); }

    shell::CameraSession& session() { return *window->Session(); }
    CListUI* list() { return dynamic_cast<CListUI*>(window->PaintManager().FindControl("CameraList")); }
    // The "Network Cameras" row: the last one.
    CControlUI* networkRow()
    {
        CListUI* rows = list();
        if (!rows || rows->GetCount() == 0)
            return nullptr;
        return rows->GetItemAt(rows->GetCount() - 1)->FindSubControl("camera_name");
    }
    // Clicks "Network Cameras", answers the dialog with `answer`, and waits
    // until the session has finished opening (and any box is answered).
    void openFromDialog(Driver::ModalAnswer answer)
    {
        ASSERT_TRUE(Driver::processEventsUntil([&] { return networkRow() != nullptr; }));
        EXPECT_EQ(networkRow()->GetText(), "{a}Network Cameras{/a}");
        Driver::answerNextModal(std::move(answer));
        Driver ui(*window);
        ASSERT_TRUE(ui.clickLink(networkRow()));
        ASSERT_TRUE(Driver::processEventsUntil(
            [&] { return !session().IsOpening() && Driver::pendingAnswers() == 0 && list()->IsEnabled(); }, 30000));
    }
    // Waits for frames and returns the size of the converted picture.
    SIZE livePicture()
    {
        const unsigned long from = session().FramesDelivered();
        EXPECT_TRUE(Driver::processEventsUntil(
            [&] { return session().Camera() && session().FramesDelivered() >= from + 5; }, 15000));
        CWImage picture;
        EXPECT_TRUE(session().Pipeline().copyDisplayImage(picture)); // the record owns the copy
        return {picture.width, picture.height};
    }

    shelltest::TempHome home;
    shelltest::LocaleEnv locale{"en_US.UTF-8"};
    std::unique_ptr<CMainWnd> window;
};

TEST_F(NetworkCameraWindowTest, AWrongUrlGivesTheFailureBoxThenAnRtspUrlShowsLive)
{
    // A URL where nothing answers: the failure box, no camera, the list usable.
    const std::string wrong = "rtsp://127.0.0.1:" + std::to_string(closedPort()) + "/none";
    Driver::ModalAnswer typeWrong = Driver::ClickControl("okbtn");
    typeWrong.inspect = [&](CWindowWnd&, CPaintManagerUI& pm) {
        Driver ui(pm);
        EXPECT_TRUE(ui.click("networkcamera_OptTypeRTSP"));
        EXPECT_TRUE(ui.clearText("edt_rtsp_url"));
        EXPECT_TRUE(ui.typeText("edt_rtsp_url", wrong));
    };
    // The box and the status bar name the address and what it did.
    const std::string refused = "The camera refused the connection: nothing answers at this address and port.";
    Driver::ModalAnswer failure = Driver::ClickControl("okbtn");
    failure.inspect = [&](CWindowWnd&, CPaintManagerUI& pm) {
        CControlUI* message = pm.FindControl("Tex_Message");
        EXPECT_EQ(message ? message->GetText() : "", "Failed to open camera\n" + wrong + "\n" + refused);
    };
    Driver::answerNextModal(typeWrong);
    openFromDialog(failure);
    EXPECT_EQ(session().Camera(), nullptr);
    EXPECT_TRUE(list()->IsEnabled());
    Driver ui(*window);
    EXPECT_EQ(ui.find("StatusBarLabelInfo")->GetText(), "Could not open " + wrong + " — " + refused);
    EXPECT_EQ(ui.find("StatusBarLabelSource")->GetText(), "No camera");
    EXPECT_FALSE(ui.find("camera_adjust_drawers")->IsEnabled());

    // The test server's URL typed on the dialog's second page.
    ChildProcess server("rtsp_test_server", {"--width", "320", "--height", "240", "--fps", "15"});
    const std::string url = server.readyLine();
    ASSERT_EQ(url.rfind("rtsp://127.0.0.1:", 0), 0u) << url;
    Driver::ModalAnswer rtsp = Driver::ClickControl("okbtn");
    rtsp.inspect = [&](CWindowWnd&, CPaintManagerUI& pm) {
        Driver ui(pm);
        EXPECT_TRUE(ui.click("networkcamera_OptTypeRTSP"));
        EXPECT_EQ(ui.find("edt_rtsp_url")->GetText(), wrong) << "the last URL is offered again";
        EXPECT_TRUE(ui.clearText("edt_rtsp_url"));
        EXPECT_TRUE(ui.typeText("edt_rtsp_url", url));
    };
    openFromDialog(rtsp);
    ASSERT_NE(session().Camera(), nullptr);
    const SIZE streamed = livePicture();
    EXPECT_EQ(streamed.cx, 320);
    EXPECT_EQ(streamed.cy, 240);
    EXPECT_EQ(Config().rtspURL, url);
    // A stream has no settings dialog of its own.
    EXPECT_FALSE(Driver(*window).find("AdjustBtnPropertyPage")->IsEnabled());
}

TEST_F(NetworkCameraWindowTest, BoxPickedFromTheScanListShowsLive)
{
    BoxSimulatorProcess simulator({"--name", "Bench 7"});
    ASSERT_TRUE(simulator.ready());
    Driver::ModalAnswer box = Driver::ClickControl("okbtn");
    box.inspect = [&](CWindowWnd&, CPaintManagerUI& pm) {
        Driver ui(pm);
        EXPECT_TRUE(ui.typeText("edt_box_scan_hosts", simulator.discovery()));
        EXPECT_TRUE(ui.click("btn_box_scan"));
        auto* found = ui.findAs<CListUI>("list_scan_devices");
        ASSERT_NE(found, nullptr);
        ASSERT_TRUE(Driver::processEventsUntil([&] { return found->GetCount() > 0; }, 15000));
        EXPECT_TRUE(ui.selectListRow("list_scan_devices", 0));
    };
    openFromDialog(box);
    ASSERT_NE(session().Camera(), nullptr);
    const SIZE boxed = livePicture();
    EXPECT_GT(boxed.cx, 0);
    EXPECT_GT(boxed.cy, 0);
    EXPECT_EQ(std::string(session().Camera()->GetDeviceInfo().address), simulator.session());
}

} // namespace
