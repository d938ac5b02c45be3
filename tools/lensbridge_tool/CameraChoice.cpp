#include "CameraChoice.h"

#include "camera/factory/CMFactory.h"

#include <cstdio>

CameraHandle createCamera(const std::string& choice, std::string& error)
{
    CMCameraBase* camera = nullptr;
    if (choice.rfind("rtsp://", 0) == 0) {
        camera = CMFactory::GetCamera(CMFactory::kRtspStream, choice.c_str());
    } else if (choice.rfind("box:", 0) == 0) {
        camera = CMFactory::GetCamera(CMFactory::kWirelessBox, choice.c_str() + 4);
    } else {
        unsigned group = 0, index = 0;
        char rest = 0;
        if (std::sscanf(choice.c_str(), "%u:%u%c", &group, &index, &rest) != 2) {
            error = "camera '" + choice + "': expected <group>:<index>, rtsp://... or box:<address>";
            return nullptr;
        }
        camera = CMFactory::GetCamera(group, index, nullptr, 0, nullptr, nullptr, false);
        if (!camera)
            error = "no camera " + choice + " (see 'list')";
    }
    return CameraHandle(camera);
}
