#include "camera/v4l2/KernelVideoDevice.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace v4l2 {
namespace {

// An ioctl, again after EINTR; 0 or -1 with errno set.
int ioctlRetried(const KernelCalls& calls, int fd, unsigned long request, void* arg)
{
    int rc;
    do
        rc = calls.ioctl(fd, request, arg);
    while (rc != 0 && errno == EINTR);
    return rc;
}

class KernelVideoDevice : public VideoDeviceIo {
public:
    KernelVideoDevice(int fd, const KernelCalls& calls) : m_fd(fd), m_calls(calls) {}
    ~KernelVideoDevice() override { m_calls.close(m_fd); }
    KernelVideoDevice(const KernelVideoDevice&) = delete;
    KernelVideoDevice& operator=(const KernelVideoDevice&) = delete;

    int ioctl(unsigned long request, void* arg) override
    {
        return ioctlRetried(m_calls, m_fd, request, arg) == 0 ? 0 : -errno;
    }

    void* map(size_t length, uint32_t offset) override
    {
        void* address = m_calls.mmap(length, m_fd, static_cast<off_t>(offset));
        return address == MAP_FAILED ? nullptr : address;
    }

    void unmap(void* address, size_t length) override
    {
        if (address)
            m_calls.munmap(address, length);
    }

    int poll(int timeoutMs) override
    {
        pollfd p{m_fd, POLLIN, 0};
        for (;;) {
            const int rc = m_calls.poll(&p, 1, timeoutMs);
            if (rc < 0 && errno == EINTR)
                continue;
            if (rc < 0)
                return -errno;
            if (rc == 0)
                return 0;
            // A vanished device, or a stream in error, reports POLLERR; the
            // dequeue then says which (ENODEV, EIO, EINVAL).
            return 1;
        }
    }

private:
    const int m_fd;
    const KernelCalls m_calls;
};

int nodeNumber(const char* name)
{
    if (std::strncmp(name, "video", 5) != 0 || !name[5])
        return -1;
    char* end = nullptr;
    const long n = std::strtol(name + 5, &end, 10);
    return *end == '\0' && n >= 0 && n < 100000 ? static_cast<int>(n) : -1;
}

std::string readLine(const std::string& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

bool readHex(const std::string& file, int& value)
{
    std::ifstream in(file);
    std::string text;
    if (!(in >> text))
        return false;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 16);
    if (end == text.c_str() || *end != '\0' || parsed < 0 || parsed > 0xFFFF)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

} // namespace

const KernelCalls& systemCalls()
{
    static const KernelCalls calls{
        [](const char* path, int flags) { return ::open(path, flags); },
        [](int fd) { return ::close(fd); },
        [](int fd, unsigned long request, void* arg) { return ::ioctl(fd, request, arg); },
        [](size_t length, int fd, off_t offset) {
            return ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
        },
        [](void* address, size_t length) { return ::munmap(address, length); },
        [](pollfd* fds, nfds_t count, int timeoutMs) { return ::poll(fds, count, timeoutMs); },
    };
    return calls;
}

bool readUsbIds(const std::string& deviceFolder, int& vid, int& pid, std::string* port)
{
    std::string folder = deviceFolder;
    for (int level = 0; level < 4 && folder.size() > 1; ++level) {
        int v = 0, p = 0;
        if (readHex(folder + "/idVendor", v) && readHex(folder + "/idProduct", p)) {
            vid = v;
            pid = p;
            // The USB device's folder is named after its port path ("1-2.3").
            if (port)
                *port = "usb:" + folder.substr(folder.find_last_of('/') + 1);
            return true;
        }
        folder = folder.substr(0, folder.find_last_of('/'));
    }
    return false;
}

std::vector<VideoNode> listKernelVideoNodes(size_t limit, const KernelCalls& calls)
{
    std::vector<int> numbers;
    if (DIR* dev = ::opendir(calls.devFolder.c_str())) {
        while (const dirent* entry = ::readdir(dev)) {
            const int n = nodeNumber(entry->d_name);
            if (n >= 0)
                numbers.push_back(n);
        }
        ::closedir(dev);
    }
    std::sort(numbers.begin(), numbers.end());

    std::vector<VideoNode> nodes;
    for (int n : numbers) {
        if (nodes.size() >= limit)
            break;
        const std::string name = "video" + std::to_string(n);
        const std::string path = calls.devFolder + "/" + name;
        const std::string sysNode = calls.sysFolder + "/" + name;
        VideoNode node;
        const int fd = calls.open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            // A camera the user may not open is still a camera: it is listed,
            // and opening it says why it fails. Other failures (a node being
            // removed) leave it out.
            if (errno != EACCES && errno != EPERM)
                continue;
            node.name = readLine(sysNode + "/name");
            node.accessDenied = true;
        } else {
            v4l2_capability cap{};
            const bool queried = ioctlRetried(calls, fd, VIDIOC_QUERYCAP, &cap) == 0;
            calls.close(fd);
            if (!queried)
                continue;
            const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
            if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || !(caps & V4L2_CAP_STREAMING))
                continue;
            node.name.assign(reinterpret_cast<const char*>(cap.card),
                             strnlen(reinterpret_cast<const char*>(cap.card), sizeof cap.card));
        }
        node.path = path;
        node.devicePath = path;
        node.port = path;
        char resolved[PATH_MAX];
        const std::string link = sysNode + "/device";
        if (::realpath(link.c_str(), resolved) && readUsbIds(resolved, node.vid, node.pid, &node.port)) {
            char ids[32];
            std::snprintf(ids, sizeof ids, "usb#vid_%04x&pid_%04x#", node.vid, node.pid);
            node.devicePath = ids + path;
        }
        nodes.push_back(std::move(node));
    }
    return nodes;
}

std::unique_ptr<VideoDeviceIo> openKernelVideoNode(const std::string& path, int& error, const KernelCalls& calls)
{
    const int fd = calls.open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return nullptr;
    }
    error = 0;
    return std::make_unique<KernelVideoDevice>(fd, calls);
}

} // namespace v4l2
