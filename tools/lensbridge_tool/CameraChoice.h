#pragma once
// Which camera a command means: "<group>:<index>" from the list, or a network
// camera "rtsp://..." / "box:<address>".
#include "camera/CMCameraBase.h"

#include <memory>
#include <string>

struct CameraRelease {
    void operator()(CMCameraBase* camera) const
    {
        camera->Release();
        delete camera;
    }
};
using CameraHandle = std::unique_ptr<CMCameraBase, CameraRelease>;

// Creates the camera named by `choice` (not yet initialised); null with
// `error` set when the text names no camera.
CameraHandle createCamera(const std::string& choice, std::string& error);
