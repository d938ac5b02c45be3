// The kernel layer through its call table: the capture-node listing over a
// temporary dev and sysfs tree (metadata node beside the capture node, a
// node the user may not open, USB ids), the retries after EINTR, a failed
// mmap, and an unplug as UVC delivers it.
#include "camera/v4l2/KernelVideoDevice.h"

#include <gtest/gtest.h>

#include <linux/videodev2.h>
#include <sys/mman.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

namespace fs = std::filesystem;

// A temporary dev folder with nodes and a sysfs folder beside it.
class NodeTree {
public:
    NodeTree()
    {
        char pattern[] = "/tmp/pellumo-v4l2-XXXXXX";
        root = mkdtemp(pattern);
        fs::create_directories(root / "dev");
        fs::create_directories(root / "sys");
    }
    ~NodeTree() { fs::remove_all(root); }
    void node(const std::string& name) { std::ofstream(root / "dev" / name) << ""; }
    void sysName(const std::string& node, const std::string& name)
    {
        fs::create_directories(root / "sys" / node);
        std::ofstream(root / "sys" / node / "name") << name << "\n";
    }
    // videoN/device → a USB interface folder whose parent holds the ids.
    void usbDevice(const std::string& node, const char* vid, const char* pid)
    {
        const fs::path usb = root / "bus" / "1-1";
        fs::create_directories(usb / "1-1:1.0");
        std::ofstream(usb / "idVendor") << vid << "\n";
        std::ofstream(usb / "idProduct") << pid << "\n";
        fs::create_directories(root / "sys" / node);
        fs::create_directory_symlink(usb / "1-1:1.0", root / "sys" / node / "device");
    }
    fs::path root;
};

// A kernel that knows a few file descriptors, each with its own answers.
struct FakeKernel {
    std::map<std::string, int> openResult; // path → fd, or -errno
    std::map<int, uint32_t> deviceCaps;    // fd → device_caps
    int eintrLeft = 0;                     // ioctl and poll fail with EINTR this often first
    int ioctlCalls = 0, pollCalls = 0;
    int dequeueError = 0; // VIDIOC_DQBUF answers this errno
    short pollEvents = POLLIN;
    std::map<int, int> closed;

    v4l2::KernelCalls calls(const fs::path& root)
    {
        v4l2::KernelCalls c;
        c.open = [this](const char* path, int) {
            auto it = openResult.find(path);
            const int rc = it == openResult.end() ? -ENOENT : it->second;
            if (rc < 0) {
                errno = -rc;
                return -1;
            }
            return rc;
        };
        c.close = [this](int fd) {
            ++closed[fd];
            return 0;
        };
        c.ioctl = [this](int fd, unsigned long request, void* arg) {
            ++ioctlCalls;
            if (eintrLeft > 0) {
                --eintrLeft;
                errno = EINTR;
                return -1;
            }
            if (request == VIDIOC_QUERYCAP) {
                auto* cap = static_cast<v4l2_capability*>(arg);
                std::memset(cap, 0, sizeof *cap);
                std::snprintf(reinterpret_cast<char*>(cap->card), sizeof cap->card, "Camera %d", fd);
                cap->device_caps = deviceCaps[fd];
                cap->capabilities = cap->device_caps | V4L2_CAP_DEVICE_CAPS;
                return 0;
            }
            if (request == VIDIOC_DQBUF && dequeueError) {
                errno = dequeueError;
                return -1;
            }
            errno = EAGAIN;
            return -1;
        };
        c.mmap = [](size_t, int, off_t) {
            errno = ENOMEM;
            return MAP_FAILED;
        };
        c.munmap = [](void*, size_t) { return 0; };
        c.poll = [this](pollfd* fds, nfds_t, int) {
            ++pollCalls;
            if (eintrLeft > 0) {
                --eintrLeft;
                errno = EINTR;
                return -1;
            }
            fds[0].revents = pollEvents;
            return 1;
        };
        c.devFolder = (root / "dev").string();
        c.sysFolder = (root / "sys").string();
        return c;
    }
};

TEST(KernelVideoNodes, CaptureNodesWithTheirIdsAndNodesTheUserMayNotOpen)
{
    NodeTree tree;
    for (const char* name : {"video0", "video1", "video2", "video7", "video", "videoX", "vbi0"})
        tree.node(name);
    tree.usbDevice("video0", "046d", "0825");
    tree.sysName("video2", "Locked Camera");
    FakeKernel kernel;
    const std::string dev = (tree.root / "dev").string();
    kernel.openResult = {
        {dev + "/video0", 10}, {dev + "/video1", 11}, {dev + "/video2", -EACCES}, {dev + "/video7", -ENXIO}};
    kernel.deviceCaps[10] = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
    kernel.deviceCaps[11] = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING; // the UVC metadata node
    kernel.eintrLeft = 1;                                               // the first query is interrupted

    const v4l2::KernelCalls calls = kernel.calls(tree.root);
    const std::vector<v4l2::VideoNode> nodes = v4l2::listKernelVideoNodes(10, calls);
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(nodes[0].name, "Camera 10");
    EXPECT_EQ(nodes[0].path, dev + "/video0");
    EXPECT_EQ(nodes[0].vid, 0x046D);
    EXPECT_EQ(nodes[0].pid, 0x0825);
    EXPECT_EQ(nodes[0].devicePath, "usb#vid_046d&pid_0825#" + dev + "/video0");
    // The USB port the camera is plugged into tells it from a twin.
    EXPECT_EQ(nodes[0].port, "usb:1-1");
    EXPECT_FALSE(nodes[0].accessDenied);
    EXPECT_EQ(nodes[1].name, "Locked Camera");
    EXPECT_TRUE(nodes[1].accessDenied);
    EXPECT_EQ(nodes[1].vid, 0);
    EXPECT_EQ(nodes[1].port, dev + "/video2"); // no USB device behind it
    // Every node opened for the query is closed again.
    EXPECT_EQ(kernel.closed[10], 1);
    EXPECT_EQ(kernel.closed[11], 1);
    EXPECT_EQ(v4l2::listKernelVideoNodes(1, calls).size(), 1u);

    int error = 0;
    EXPECT_EQ(v4l2::openKernelVideoNode(dev + "/video2", error, calls), nullptr);
    EXPECT_EQ(error, EACCES);
}

TEST(KernelVideoDevice, RetriesInterruptedCallsAndReportsFailuresAndAnUnplug)
{
    NodeTree tree;
    FakeKernel kernel;
    kernel.openResult = {{"/dev/video0", 10}};
    const v4l2::KernelCalls calls = kernel.calls(tree.root);
    int error = -1;
    std::unique_ptr<v4l2::VideoDeviceIo> io = v4l2::openKernelVideoNode("/dev/video0", error, calls);
    ASSERT_NE(io, nullptr);
    EXPECT_EQ(error, 0);

    // EINTR is retried; EAGAIN goes to the caller.
    kernel.eintrLeft = 2;
    v4l2_buffer buf{};
    EXPECT_EQ(io->ioctl(VIDIOC_DQBUF, &buf), -EAGAIN);
    EXPECT_EQ(kernel.ioctlCalls, 3);
    kernel.eintrLeft = 1;
    EXPECT_EQ(io->poll(100), 1);
    EXPECT_EQ(kernel.pollCalls, 2);

    EXPECT_EQ(io->map(4096, 0), nullptr);

    // Unplugged: poll reports an error, the dequeue says which.
    kernel.pollEvents = POLLERR;
    EXPECT_EQ(io->poll(100), 1);
    kernel.dequeueError = ENODEV;
    EXPECT_EQ(io->ioctl(VIDIOC_DQBUF, &buf), -ENODEV);
    kernel.dequeueError = EIO;
    EXPECT_EQ(io->ioctl(VIDIOC_DQBUF, &buf), -EIO);

    io.reset();
    EXPECT_EQ(kernel.closed[10], 1);
}

} // namespace
