// Snap when the copy of the frame cannot be allocated. The program's array
// allocations are replaced (here, for this test program only) by malloc-based
// ones that can be told to refuse one size, the size of the test frame.
#include "ScriptedSdk.h"
#include "camera/usb/CMCameraISSR.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

namespace {
std::atomic<size_t> g_refusedSize{0};

void* allocateArray(std::size_t n) { return std::malloc(n ? n : 1); }
} // namespace

void* operator new[](std::size_t n)
{
    if (void* p = allocateArray(n))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept
{
    return n == g_refusedSize.load() ? nullptr : allocateArray(n);
}
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

struct NoHost {
    static int callback(void*, int, long, long) { return 0; }
};

TEST(SnapAllocationTest, ASnapWhoseCopyCannotBeAllocatedFailsWithoutAPicture)
{
    ScriptedSdk::reset();
    ScriptedSdk& sdk = ScriptedSdk::instance();
    sdk.addCamera();
    CMCameraISSR camera(0, ScriptedSdk::api());
    ASSERT_EQ(camera.Init(&NoHost::callback, nullptr, 0, 0), CM_OK);
    constexpr size_t kPayload = 123457; // a size nothing else here allocates
    const auto frame = makeStreamFrame(0x0210003B, 4, 3, kPayload);
    auto snap = [&](CWImage& image) {
        std::atomic<int> result{1};
        std::thread snapper([&] { result = camera.Snap(&image); });
        while (result == 1) {
            sdk.callback(frame.data(), static_cast<int32_t>(frame.size()), sdk.userData, sdk.userValue);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        snapper.join();
        return result.load();
    };

    g_refusedSize = kPayload;
    CWImage refused;
    EXPECT_EQ(snap(refused), CM_E_TIMEOUT);
    EXPECT_EQ(refused.data, nullptr);

    g_refusedSize = 0;
    CWImage taken;
    ASSERT_EQ(snap(taken), CM_OK);
    ASSERT_NE(taken.data, nullptr);
    EXPECT_EQ(taken.dataSize, kPayload);
    delete[] taken.data;
    taken.data = nullptr;
}

} // namespace
