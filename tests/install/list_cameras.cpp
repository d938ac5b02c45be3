// A program of a library user, built against the installed headers and
// libraries only (pkg-config lensbridge sensorlink): asks the USB SDK for its
// cameras, then lists every camera group through lensbridge and opens the
// first USB camera. Prints one line per finding; exit 0 when all worked.
#include <camera/factory/CMFactory.h>
#include <usbsdk/Vexel.h>

#include <cstdio>
#include <vector>

int main()
{
    // The SDK directly: initialise, search, uninitialise.
    if (Vexel_Init() != VEXEL_OK) {
        std::puts("Vexel_Init failed");
        return 1;
    }
    CameraInfo found[VEXEL_MAX_CAMERAS] = {};
    std::printf("sdk cameras: %d\n", Vexel_SearchCamera(found));
    Vexel_UnInit();

    // The camera library: every group, then the first USB camera opened.
    std::vector<_tag_VideoDeviceList> groups;
    CMFactory::GetVideoDeviceList(&groups);
    for (unsigned g = 0; g < groups.size(); ++g) {
        std::printf("group %u: %s, %zu camera(s)\n", g, groups[g].name, groups[g].devices.size());
        if (groups[g].type != VIDEO_DEVICE_GROUP_SENSORLINK || groups[g].devices.empty())
            continue;
        char name[64] = {};
        int vid = 0, pid = 0;
        CMCameraBase* camera = CMFactory::GetCamera(g, 0, name, sizeof name - 1, &vid, &pid, false);
        if (!camera) {
            std::puts("GetCamera failed");
            return 1;
        }
        const int init = camera->Init([](void*, int, long, long) { return 0; }, nullptr, 640, 480);
        std::vector<_tag_CMSIZE> sizes;
        camera->GetSupportedPreviewSizes(&sizes);
        int format = 0;
        camera->GetFormat(format);
        std::printf("opened %s [%04x:%04x]: init %d, %zu preview sizes, format %s\n", name, vid, pid, init,
                    sizes.size(), CMFactory::GetImageFormatDesc(format));
        camera->Release();
        delete camera;
    }
    return 0;
}
