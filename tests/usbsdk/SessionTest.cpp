// Library and session life cycle and the result code of every entry point.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include "SdkTestSupport.h"

namespace usbsdk::testing {
namespace {

class SessionTest : public SdkOverEmulator {};

TEST_F(SessionTest, InitAndUnInitReportTheirOrder)
{
    makeSdk();
    EXPECT_EQ(sdk->uninit(), VEXEL_E_STATE);
    EXPECT_EQ(sdk->init(), VEXEL_OK);
    EXPECT_EQ(sdk->init(), VEXEL_E_STATE);
    EXPECT_EQ(sdk->uninit(), VEXEL_OK);
    EXPECT_EQ(sdk->uninit(), VEXEL_E_STATE);
}

TEST_F(SessionTest, InitFailsWhenNoBusCanBeCreated)
{
    sdk = std::make_unique<Sdk>(SdkOptions{4096, 300, [] { return std::shared_ptr<UsbBus>(); }});
    EXPECT_EQ(sdk->init(), VEXEL_E_NO_MEMORY);
    EXPECT_EQ(sdk->uninit(), VEXEL_E_STATE);
}

TEST_F(SessionTest, EveryCallNeedsAnInitialisedLibrary)
{
    makeSdk();
    CameraInfo info{};
    int32_t value = 0;
    uint8_t block[8] = {};
    int32_t length = 0;
    EXPECT_EQ(sdk->searchCamera(&info), VEXEL_E_NOT_INITIALISED);
    EXPECT_EQ(sdk->loginCamera(&info), VEXEL_E_NOT_INITIALISED);
    EXPECT_EQ(sdk->startCapture(0), VEXEL_E_NOT_INITIALISED);
    EXPECT_EQ(sdk->setParam(0, 0x1100, 3), VEXEL_E_NOT_INITIALISED);
    EXPECT_EQ(sdk->getParam(0, 0x1100, &value), VEXEL_E_NOT_INITIALISED);
    EXPECT_EQ(sdk->setBlockParam(0, 0x10, block, 8), VEXEL_E_NOT_INITIALISED);
    EXPECT_EQ(sdk->getBlockParam(0, 0x10, block, &length), VEXEL_E_NOT_INITIALISED);
    EXPECT_EQ(sdk->fwUpdate(0, "/nonexistent", 1), VEXEL_E_NOT_INITIALISED);
    EXPECT_EQ(sdk->getCameraInfo(0), nullptr);
    EXPECT_EQ(sdk->logoutCamera(0), VEXEL_OK);
}

TEST_F(SessionTest, SearchWithoutCamerasWritesNothing)
{
    makeSdk();
    ASSERT_EQ(sdk->init(), VEXEL_OK);
    CameraInfo list[VEXEL_MAX_CAMERAS];
    std::memset(list, 0xAB, sizeof list);
    EXPECT_EQ(sdk->searchCamera(list), 0);
    EXPECT_EQ(list[0].index, int32_t(0xABABABAB));
    EXPECT_EQ(sdk->searchCamera(nullptr), VEXEL_E_ARGUMENT);
}

TEST_F(SessionTest, SearchReportsIdsAndLeavesNamesAlone)
{
    emulator::EmulatorConfig a, b;
    b.vendorId = 0x1234;
    b.productId = 0xABCD;
    bus->addCamera(a);
    bus->addCamera(b);
    makeSdk();
    ASSERT_EQ(sdk->init(), VEXEL_OK);
    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    std::strcpy(list[1].name, "kept");
    ASSERT_EQ(sdk->searchCamera(list), 2);
    EXPECT_EQ(list[0].index, 0);
    EXPECT_EQ(list[0].vendorId, 0x1209);
    EXPECT_EQ(list[0].productId, 0x5EC5);
    EXPECT_EQ(list[1].index, 1);
    EXPECT_EQ(list[1].vendorId, 0x1234);
    EXPECT_EQ(list[1].productId, 0xABCD);
    EXPECT_STREQ(list[1].name, "kept");
}

TEST_F(SessionTest, SearchNeverWritesMoreRecordsThanThereAreSessions)
{
    for (int i = 0; i < 20; ++i)
        bus->addCamera();
    makeSdk();
    ASSERT_EQ(sdk->init(), VEXEL_OK);
    CameraInfo list[VEXEL_MAX_CAMERAS + 1];
    std::memset(list, 0, sizeof list);
    list[VEXEL_MAX_CAMERAS].index = -77;
    EXPECT_EQ(sdk->searchCamera(list), VEXEL_MAX_CAMERAS);
    EXPECT_EQ(list[VEXEL_MAX_CAMERAS - 1].index, VEXEL_MAX_CAMERAS - 1);
    EXPECT_EQ(list[VEXEL_MAX_CAMERAS].index, -77);
}

TEST_F(SessionTest, LoginChecksItsArguments)
{
    bus->addCamera();
    makeSdk();
    ASSERT_EQ(sdk->init(), VEXEL_OK);
    CameraInfo info{};
    EXPECT_EQ(sdk->loginCamera(nullptr), VEXEL_E_ARGUMENT);
    info.index = 16;
    EXPECT_EQ(sdk->loginCamera(&info), VEXEL_E_LOGIN_INDEX);
    info.index = -1;
    EXPECT_EQ(sdk->loginCamera(&info), VEXEL_E_LOGIN_INDEX);
    EXPECT_EQ(sdk->logoutCamera(16), VEXEL_E_ARGUMENT);
    EXPECT_EQ(sdk->logoutCamera(5), VEXEL_OK); // never logged in
}

TEST_F(SessionTest, LoginCopiesTheRecordAndLogoutEndsTheSession)
{
    loginCamera();
    CameraInfo* info = sdk->getCameraInfo(0);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->index, 0);
    EXPECT_EQ(info->vendorId, 0x1209);
    EXPECT_EQ(info->name[0], '\0');
    EXPECT_EQ(sdk->getCameraInfo(1), nullptr);
    EXPECT_EQ(sdk->getCameraInfo(16), nullptr);
    EXPECT_EQ(sdk->logoutCamera(0), VEXEL_OK);
    EXPECT_EQ(sdk->logoutCamera(0), VEXEL_E_STATE);
    EXPECT_EQ(sdk->getCameraInfo(0), nullptr);
    int32_t value;
    EXPECT_EQ(sdk->getParam(0, 0x1100, &value), VEXEL_E_NO_SESSION);
    EXPECT_EQ(sdk->startCapture(0), VEXEL_E_NO_SESSION);
    EXPECT_EQ(sdk->startCapture(16), VEXEL_E_ARGUMENT);
}

TEST_F(SessionTest, FailedLoginLeavesASessionWithoutEndpoints)
{
    makeSdk();
    ASSERT_EQ(sdk->init(), VEXEL_OK);
    CameraInfo info{};
    info.index = 3; // no camera there
    EXPECT_EQ(sdk->loginCamera(&info), VEXEL_E_NO_SESSION);
    ASSERT_NE(sdk->getCameraInfo(3), nullptr); // marked logged in
    int32_t value = 0;
    EXPECT_EQ(sdk->getParam(3, 0x1100, &value), VEXEL_E_NOT_INITIALISED);
    EXPECT_EQ(sdk->setParam(3, 0x1100, 0), VEXEL_E_NOT_INITIALISED);
    EXPECT_EQ(sdk->startCapture(3), VEXEL_E_NO_ENDPOINT);
    EXPECT_EQ(sdk->startCtrl(3), VEXEL_E_NO_ENDPOINT);
}

TEST_F(SessionTest, ControlStateFollowsStartAndStop)
{
    loginCamera();
    EXPECT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_STOPPED);
    EXPECT_EQ(sdk->startCtrl(0), VEXEL_OK);
    EXPECT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_RUNNING);
    EXPECT_EQ(sdk->startCtrl(0), VEXEL_E_STATE);
    EXPECT_EQ(sdk->stopCtrl(0), VEXEL_OK);
    EXPECT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_STOPPED);
    EXPECT_EQ(sdk->startCtrl(0), VEXEL_OK);
    EXPECT_EQ(sdk->logoutCamera(0), VEXEL_OK);
    CameraInfo info{};
    ASSERT_EQ(sdk->loginCamera(&info), 0);
    EXPECT_EQ(sdk->getCtrlConnectState(0), VEXEL_STATE_STOPPED);
}

TEST_F(SessionTest, TwoCamerasWorkSideBySide)
{
    bus->addCamera(smallCamera(32, 8));
    bus->addCamera(smallCamera(16, 4));
    makeSdk();
    ASSERT_EQ(sdk->init(), VEXEL_OK);
    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    ASSERT_EQ(sdk->searchCamera(list), 2);
    ASSERT_EQ(sdk->loginCamera(&list[0]), 0);
    ASSERT_EQ(sdk->loginCamera(&list[1]), 1);
    EXPECT_EQ(sdk->setParam(0, 0x1140, 11), VEXEL_OK);
    EXPECT_EQ(sdk->setParam(1, 0x1140, 22), VEXEL_OK);
    EXPECT_EQ(bus->camera(0)->registerValue(0x1140), 11);
    EXPECT_EQ(bus->camera(1)->registerValue(0x1140), 22);
}

} // namespace
} // namespace usbsdk::testing

namespace usbsdk::testing {
namespace {

// The emulated bus seen through a gate: counts what is opened and still open,
// and refuses to open the devices it is told to, as a device node without
// access rights does.
class GatedBus final : public UsbBus {
public:
    explicit GatedBus(std::shared_ptr<emulator::EmulatedBus> inner) : inner_(std::move(inner)) {}
    int deviceCount() override { return inner_->deviceCount(); }
    std::vector<UsbDeviceIds> listDevices() override { return inner_->listDevices(); }
    std::unique_ptr<UsbConnection> open(int index) override
    {
        ++opens;
        if (refused.count(index)) {
            lastError_ = UsbOpenError::NoPermission;
            return nullptr;
        }
        auto connection = inner_->open(index);
        lastError_ = connection ? UsbOpenError::None : UsbOpenError::Gone;
        return connection ? std::make_unique<Counted>(std::move(connection), live) : nullptr;
    }
    UsbOpenError lastOpenError() const override { return lastError_; }

    std::set<int> refused;
    int opens = 0;
    std::shared_ptr<int> live = std::make_shared<int>(0);

private:
    class Counted final : public UsbConnection {
    public:
        Counted(std::unique_ptr<UsbConnection> inner, std::shared_ptr<int> live)
            : inner_(std::move(inner)), live_(std::move(live))
        {
            ++*live_;
        }
        ~Counted() override { --*live_; }
        ControlResult control(uint8_t type, uint8_t request, uint16_t value, uint16_t index, uint8_t* data,
                              uint16_t length, uint32_t timeoutMs) override
        {
            return inner_->control(type, request, value, index, data, length, timeoutMs);
        }
        std::unique_ptr<UsbTransfer> submitBulk(uint8_t endpoint, uint8_t* data, int length) override
        {
            return inner_->submitBulk(endpoint, data, length);
        }
        void abortPipe(uint8_t endpoint) override { inner_->abortPipe(endpoint); }
        int interfaceNumber() const override { return inner_->interfaceNumber(); }
        std::string path() const override { return inner_->path(); }

    private:
        std::unique_ptr<UsbConnection> inner_;
        std::shared_ptr<int> live_;
    };

    std::shared_ptr<emulator::EmulatedBus> inner_;
    UsbOpenError lastError_ = UsbOpenError::None;
};

TEST(SessionAccessTest, SearchOpensNothingAndLogoutClosesTheCamera)
{
    auto emulated = std::make_shared<emulator::EmulatedBus>();
    emulated->addCamera();
    emulated->addCamera();
    auto bus = std::make_shared<GatedBus>(emulated);
    bus->refused.insert(1); // no access to the second camera
    Sdk sdk(SdkOptions{4096, 300, [bus] { return bus; }});
    ASSERT_EQ(sdk.init(), VEXEL_OK);

    // Listing reads ids only: the camera without access is listed too.
    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    ASSERT_EQ(sdk.searchCamera(list), 2);
    EXPECT_EQ(bus->opens, 0);
    EXPECT_EQ(list[1].index, 1);
    EXPECT_EQ(list[1].vendorId, 0x1209);

    // Its login fails and says why; the other camera's succeeds.
    EXPECT_EQ(sdk.loginCamera(&list[1]), VEXEL_E_NO_SESSION);
    EXPECT_EQ(sdk.openFailure(), VEXEL_OPEN_NO_PERMISSION);
    ASSERT_EQ(sdk.loginCamera(&list[0]), 0);
    EXPECT_EQ(sdk.openFailure(), VEXEL_OPEN_OK);
    EXPECT_EQ(*bus->live, 1);

    // Logging out hands the camera back; switching cameras leaves none held.
    EXPECT_EQ(sdk.logoutCamera(0), VEXEL_OK);
    EXPECT_EQ(*bus->live, 0);
    bus->refused.clear();
    ASSERT_EQ(sdk.loginCamera(&list[1]), 1);
    EXPECT_EQ(*bus->live, 1);
    EXPECT_EQ(sdk.logoutCamera(1), VEXEL_OK);
    EXPECT_EQ(*bus->live, 0);
    EXPECT_EQ(sdk.uninit(), VEXEL_OK);
}

// Two cameras with the same ids are told apart by the port they sit at, in
// the search and once logged in; one held by another program, or gone since
// the search, fails its login and says why.
TEST(SessionAccessTest, TwinCamerasDifferByPortAndHeldOrGoneOnesFailTheirLogin)
{
    auto bus = std::make_shared<emulator::EmulatedBus>();
    bus->addCamera();
    bus->addCamera();
    const std::string control = ::testing::TempDir() + "sensorlink-control-" + std::to_string(::getpid());
    bus->setControlFile(control);
    Sdk sdk(SdkOptions{4096, 300, [bus] { return bus; }});
    ASSERT_EQ(sdk.init(), VEXEL_OK);
    auto portOf = [&](int32_t index) {
        char port[VEXEL_MAX_PORT] = {};
        return sdk.getCameraPort(index, port, sizeof port) >= 0 ? std::string(port) : std::string("error");
    };

    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    ASSERT_EQ(sdk.searchCamera(list), 2);
    EXPECT_EQ(list[0].productId, list[1].productId);
    EXPECT_EQ(portOf(0), "emulated:0");
    EXPECT_EQ(portOf(1), "emulated:1");
    char tiny[4];
    EXPECT_EQ(sdk.getCameraPort(0, tiny, sizeof tiny), VEXEL_E_ARGUMENT);

    // Held elsewhere: busy, not an open camera without its stream.
    bus->setHeld(0, true);
    EXPECT_EQ(sdk.loginCamera(&list[0]), VEXEL_E_NO_SESSION);
    EXPECT_EQ(sdk.openFailure(), VEXEL_OPEN_BUSY);
    sdk.logoutCamera(0);
    bus->setHeld(0, false);

    // The second camera unplugged (by the control file) after the search:
    // its record finds nobody at position 1, and the first keeps its port.
    std::ofstream(control) << "unplugged 1\n";
    EXPECT_EQ(sdk.loginCamera(&list[1]), VEXEL_E_NO_SESSION);
    EXPECT_EQ(sdk.openFailure(), VEXEL_OPEN_GONE);
    sdk.logoutCamera(1);
    ASSERT_EQ(sdk.searchCamera(list), 1);
    EXPECT_EQ(portOf(0), "emulated:0");

    // Back, and the first one gone: position 0 is now the second camera,
    // and a login reports the port of the device it opened.
    std::ofstream(control) << "unplugged 0\n";
    ASSERT_EQ(sdk.searchCamera(list), 1);
    EXPECT_EQ(portOf(0), "emulated:1");
    ASSERT_EQ(sdk.loginCamera(&list[0]), 0);
    EXPECT_EQ(portOf(0), "emulated:1");
    EXPECT_EQ(sdk.logoutCamera(0), VEXEL_OK);
    EXPECT_EQ(sdk.uninit(), VEXEL_OK);
    std::remove(control.c_str());
}

} // namespace
} // namespace usbsdk::testing
