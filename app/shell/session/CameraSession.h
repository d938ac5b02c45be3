#pragma once
// The open camera and what its frames go through, without any UI: open,
// close, switch and reconnect run here; the window learns of changes through
// posted messages.
#include "app/view/FramePipeline.h"
#include "platform/WindowMessages.h"

class CMCameraBase;
class CImageRenderUI;

namespace shell {

class CameraSession {
public:
    explicit CameraSession(platform::HWND window);
    CameraSession(const CameraSession&) = delete;
    CameraSession& operator=(const CameraSession&) = delete;
    ~CameraSession();

    // UI thread only. The open camera, null when none.
    CMCameraBase* Camera() const { return m_camera; }
    // Converts, processes, shows and records every frame (capture thread);
    // its lock() guards the frames, the working buffers and the recorder.
    FramePipeline& Pipeline() { return m_pipeline; }
    // The render view frames are shown in; null until the layout made it.
    CImageRenderUI* View() const { return m_view; }
    void SetView(CImageRenderUI* view);
    platform::HWND Window() const { return m_window; }

private:
    platform::HWND m_window;
    CMCameraBase* m_camera = nullptr;
    CImageRenderUI* m_view = nullptr;
    FramePipeline m_pipeline;
};

} // namespace shell
