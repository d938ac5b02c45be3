#include "app/shell/session/CameraSession.h"

#include "app/view/ImageRenderUI.h"

namespace shell {

CameraSession::CameraSession(platform::HWND window) : m_window(window) {}

CameraSession::~CameraSession() = default;

void CameraSession::SetView(CImageRenderUI* view)
{
    m_view = view;
    m_pipeline.setSink(view);
}

} // namespace shell
