// The shipped libraries, loaded the way a program loads them, with emulated
// cameras chosen by SENSORLINK_EMULATE.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "usbsdk/Vexel.h"
#include "usbsdk/emulator/FrameStamp.h"
#include "usbsdk/sdk/StreamFormat.h"

namespace {

// The exported functions of one loaded library.
struct VexelLibrary {
    void* handle = nullptr;
    decltype(&Vexel_Init) init;
    decltype(&Vexel_UnInit) uninit;
    decltype(&Vexel_SearchCamera) search;
    decltype(&Vexel_LoginCamera) login;
    decltype(&Vexel_LogoutCamera) logout;
    decltype(&Vexel_GetCameraInfo) info;
    decltype(&Vexel_SetCaptureCallback) setCallback;
    decltype(&Vexel_StartCapture) startCapture;
    decltype(&Vexel_StopCapture) stopCapture;
    decltype(&Vexel_GetCaptureConnectState) captureState;
    decltype(&Vexel_StartCtrl) startCtrl;
    decltype(&Vexel_StopCtrl) stopCtrl;
    decltype(&Vexel_GetCtrlConnectState) ctrlState;
    decltype(&Vexel_SetParam) setParam;
    decltype(&Vexel_GetParam) getParam;
    decltype(&Vexel_SetBlockParam) setBlock;
    decltype(&Vexel_GetBlockParam) getBlock;
    decltype(&Vexel_FwUpdate) fwUpdate;
    decltype(&Vexel_GetCameraPort) cameraPort;

    explicit VexelLibrary(const char* path)
    {
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (!handle)
            return;
        load(init, "Vexel_Init");
        load(uninit, "Vexel_UnInit");
        load(search, "Vexel_SearchCamera");
        load(login, "Vexel_LoginCamera");
        load(logout, "Vexel_LogoutCamera");
        load(info, "Vexel_GetCameraInfo");
        load(setCallback, "Vexel_SetCaptureCallback");
        load(startCapture, "Vexel_StartCapture");
        load(stopCapture, "Vexel_StopCapture");
        load(captureState, "Vexel_GetCaptureConnectState");
        load(startCtrl, "Vexel_StartCtrl");
        load(stopCtrl, "Vexel_StopCtrl");
        load(ctrlState, "Vexel_GetCtrlConnectState");
        load(setParam, "Vexel_SetParam");
        load(getParam, "Vexel_GetParam");
        load(setBlock, "Vexel_SetBlockParam");
        load(getBlock, "Vexel_GetBlockParam");
        load(fwUpdate, "Vexel_FwUpdate");
        load(cameraPort, "Vexel_GetCameraPort");
    }
    ~VexelLibrary()
    {
        if (handle)
            dlclose(handle);
    }
    template <typename F> void load(F& f, const char* name)
    {
        f = reinterpret_cast<F>(dlsym(handle, name));
        if (!f)
            missing.push_back(name);
    }
    std::vector<std::string> missing;
};

struct Frames {
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> frames;
    static int callback(const uint8_t* frame, int32_t size, void* userData, int32_t)
    {
        auto* self = static_cast<Frames*>(userData);
        std::lock_guard lock(self->mutex);
        if (self->frames.size() < 8)
            self->frames.emplace_back(frame, frame + size);
        return 0;
    }
    size_t count()
    {
        std::lock_guard lock(mutex);
        return frames.size();
    }
    bool waitFor(size_t n)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (count() < n) {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return true;
    }
};

uint32_t le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        setenv("SENSORLINK_EMULATE", "2", 1);
        setenv("SENSORLINK_EMULATE_SIZE", "64x48", 1);
        setenv("SENSORLINK_EMULATE_FPS", "200", 1);
        setenv("SENSORLINK_EMULATE_STAMP", "1", 1);
        unsetenv("SENSORLINK_EMULATE_FAULTS");
    }
    void TearDown() override
    {
        for (const char* v : {"SENSORLINK_EMULATE", "SENSORLINK_EMULATE_SIZE", "SENSORLINK_EMULATE_FPS",
                              "SENSORLINK_EMULATE_STAMP", "SENSORLINK_EMULATE_FAULTS"})
            unsetenv(v);
    }
};

TEST_F(LibraryTest, ExportsExactlyTheVexelFunctions)
{
    for (const char* path : {SENSORLINK_PATH, VEXEL_PATH}) {
        VexelLibrary lib(path);
        ASSERT_NE(lib.handle, nullptr) << dlerror();
        EXPECT_TRUE(lib.missing.empty()) << lib.missing.front();
        // Internals stay hidden.
        EXPECT_EQ(dlsym(lib.handle, "_ZN6usbsdk3Sdk4initEv"), nullptr);
        EXPECT_EQ(dlsym(lib.handle, "_ZN6usbsdk9UsbDevice4openEi"), nullptr);
    }
}

TEST_F(LibraryTest, EmulatedCamerasEndToEnd)
{
    VexelLibrary lib(SENSORLINK_PATH);
    ASSERT_TRUE(lib.handle && lib.missing.empty());
    ASSERT_EQ(lib.init(), VEXEL_OK);
    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    ASSERT_EQ(lib.search(list), 2);
    EXPECT_EQ(list[1].index, 1);
    EXPECT_EQ(list[1].vendorId, 0x1209);
    ASSERT_EQ(lib.login(&list[1]), 1);
    ASSERT_NE(lib.info(1), nullptr);
    EXPECT_EQ(lib.startCtrl(1), VEXEL_OK);
    EXPECT_EQ(lib.setParam(1, 0x1140, 120), VEXEL_OK);
    int32_t gain = 0;
    EXPECT_EQ(lib.getParam(1, 0x1140, &gain), VEXEL_OK);
    EXPECT_EQ(gain, 120);
    Frames frames;
    ASSERT_EQ(lib.setCallback(1, &Frames::callback, &frames, 0), VEXEL_OK);
    ASSERT_EQ(lib.startCapture(1), VEXEL_OK);
    ASSERT_TRUE(frames.waitFor(3));
    EXPECT_EQ(lib.captureState(1), VEXEL_STATE_RUNNING);
    EXPECT_EQ(lib.stopCapture(1), VEXEL_OK);
    EXPECT_EQ(lib.captureState(1), VEXEL_STATE_STOPPED);
    {
        std::lock_guard lock(frames.mutex);
        const auto& f = frames.frames.front();
        ASSERT_EQ(f.size(), usbsdk::stream::frameSize(64, 48));
        auto stamp = usbsdk::emulator::FrameStamp::read(f.data() + 52, f.size() - 52);
        ASSERT_TRUE(stamp);
        EXPECT_EQ(stamp->gain, 120);
    }
    EXPECT_EQ(lib.stopCtrl(1), VEXEL_OK);
    EXPECT_EQ(lib.logout(1), VEXEL_OK);
    EXPECT_EQ(lib.uninit(), VEXEL_OK);
}

// Leaders 4097 pixels wide: refused by sensorlink, taken by Vexel.
TEST_F(LibraryTest, ImageLimitDiffersBetweenTheBuilds)
{
    setenv("SENSORLINK_EMULATE", "1", 1);
    setenv("SENSORLINK_EMULATE_SIZE", "4097x2", 1);
    {
        VexelLibrary vexel(VEXEL_PATH);
        ASSERT_TRUE(vexel.handle && vexel.missing.empty());
        ASSERT_EQ(vexel.init(), VEXEL_OK);
        CameraInfo list[VEXEL_MAX_CAMERAS]{};
        ASSERT_EQ(vexel.search(list), 1);
        ASSERT_EQ(vexel.login(&list[0]), 0);
        Frames frames;
        vexel.setCallback(0, &Frames::callback, &frames, 0);
        ASSERT_EQ(vexel.startCapture(0), VEXEL_OK);
        ASSERT_TRUE(frames.waitFor(1));
        {
            // Stopping joins the delivery thread, which takes this lock in the callback.
            std::lock_guard lock(frames.mutex);
            EXPECT_EQ(le32(frames.frames[0].data() + usbsdk::stream::kWidthOffset), 4097u);
        }
        vexel.stopCapture(0);
        vexel.uninit();
    }
    VexelLibrary sensorlink(SENSORLINK_PATH);
    ASSERT_TRUE(sensorlink.handle && sensorlink.missing.empty());
    ASSERT_EQ(sensorlink.init(), VEXEL_OK);
    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    ASSERT_EQ(sensorlink.search(list), 1);
    ASSERT_EQ(sensorlink.login(&list[0]), 0);
    Frames frames;
    sensorlink.setCallback(0, &Frames::callback, &frames, 0);
    ASSERT_EQ(sensorlink.startCapture(0), VEXEL_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(frames.count(), 0u);
    ASSERT_EQ(sensorlink.setParam(0, 0x1228, 4096), VEXEL_OK);
    ASSERT_TRUE(frames.waitFor(1));
    {
        std::lock_guard lock(frames.mutex);
        const auto& f = frames.frames[0];
        EXPECT_EQ(le32(f.data() + usbsdk::stream::kWidthOffset), 4096u);
        // Frames were sent all along; the 4097-wide ones were refused.
        EXPECT_GT(le32(f.data() + usbsdk::stream::kBlockIdOffset), 2u);
    }
    sensorlink.stopCapture(0);
    sensorlink.uninit();
}

TEST_F(LibraryTest, UnpluggedCameraEndsCapture)
{
    setenv("SENSORLINK_EMULATE", "1", 1);
    setenv("SENSORLINK_EMULATE_FAULTS", "unplug_after=3", 1);
    VexelLibrary lib(SENSORLINK_PATH);
    ASSERT_TRUE(lib.handle && lib.missing.empty());
    ASSERT_EQ(lib.init(), VEXEL_OK);
    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    ASSERT_EQ(lib.search(list), 1);
    ASSERT_EQ(lib.login(&list[0]), 0);
    Frames frames;
    lib.setCallback(0, &Frames::callback, &frames, 0);
    ASSERT_EQ(lib.startCapture(0), VEXEL_OK);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (lib.captureState(0) != VEXEL_STATE_STOPPED && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(lib.captureState(0), VEXEL_STATE_STOPPED);
    // The three frames sent before the unplug still reach the callback.
    EXPECT_TRUE(frames.waitFor(3));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(frames.count(), 3u);
    CameraInfo again[VEXEL_MAX_CAMERAS]{};
    EXPECT_EQ(lib.search(again), 0);
    EXPECT_EQ(lib.uninit(), VEXEL_OK);
}

TEST_F(LibraryTest, BadEmulatorSettingsFallBackToDefaults)
{
    setenv("SENSORLINK_EMULATE", "1", 1);
    setenv("SENSORLINK_EMULATE_SIZE", "huge", 1);
    VexelLibrary lib(SENSORLINK_PATH);
    ASSERT_TRUE(lib.handle && lib.missing.empty());
    ASSERT_EQ(lib.init(), VEXEL_OK);
    CameraInfo list[VEXEL_MAX_CAMERAS]{};
    ASSERT_EQ(lib.search(list), 1);
    ASSERT_EQ(lib.login(&list[0]), 0);
    int32_t width = 0;
    EXPECT_EQ(lib.getParam(0, 0x1228, &width), VEXEL_OK);
    EXPECT_EQ(width, 1280);
    EXPECT_EQ(lib.uninit(), VEXEL_OK);
}

} // namespace
