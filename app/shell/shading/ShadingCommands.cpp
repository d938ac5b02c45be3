#include "app/shell/shading/ShadingCommands.h"

#include "app/shell/MainWnd.h"
#include "app/shell/PictureSource.h"
#include "app/shell/session/CameraSession.h"
#include "camera/CMCameraBase.h"
#include "ui/MessageDialog.h"
#include "ui/ResourceManager.h"

#include <cstdio>
#include <mutex>

namespace shell {
namespace {

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

const char* RefusalText(ShadingRefusal refusal)
{
    switch (refusal) {
    case ShadingRefusal::Clipped: return "STR_SHADING_CLIPPED";
    case ShadingRefusal::TooDark: return "STR_SHADING_DARK";
    case ShadingRefusal::Textured: return "STR_SHADING_TEXTURED";
    default: return "STR_SHADING_NO_FRAMES";
    }
}

} // namespace

ShadingCommands::ShadingCommands(MainWindowServices& services) : ShadingCommands(services, ShadingStore()) {}

ShadingCommands::ShadingCommands(MainWindowServices& services, ShadingStore store)
    : WindowPart(services), m_store(std::move(store))
{
}

std::string ShadingCommands::Identity() const
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera)
        return {};
    const _tag_VideoDeviceInfo info = camera->GetDeviceInfo();
    char ids[32];
    std::snprintf(ids, sizeof ids, "%04x:%04x ", info.vid & 0xFFFF, info.pid & 0xFFFF);
    return ids + std::string(info.name) + (info.address[0] ? std::string(" ") + info.address : std::string());
}

void ShadingCommands::Say(const char* textId, const std::string& detail)
{
    std::string text = Text(textId);
    if (!detail.empty())
        text += " " + detail;
    if (m_services.pictures)
        m_services.pictures->setModeText(text);
    else
        m_services.setStatus(text);
}

bool ShadingCommands::OnMenuCommand(const std::string& item)
{
    if (item == "Main_Menu_Item_Shading") {
        if (!m_services.session.Camera()) {
            Say("STR_ERROR_CAMERA_NOT_OPEN");
            return true;
        }
        if (ShowMessage(m_services.window.GetHWND(), Text("STR_SHADING_ASK"), Text("MENU_MAIN_SHADING"), 1,
                        MB_ICONINFORMATION) == IDOK)
            TakeReference();
        return true;
    }
    if (item == "Main_Menu_Item_Shading_Toggle") {
        Toggle();
        return true;
    }
    if (item == "Main_Menu_Item_Shading_Clear") {
        Clear();
        return true;
    }
    return false;
}

bool ShadingCommands::TakeReference()
{
    if (!m_services.session.Camera())
        return false;
    {
        FramePipeline& pipeline = m_services.session.Pipeline();
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().collect(kReferenceFrames);
    }
    m_taking = true;
    Say("STR_SHADING_TAKING");
    m_services.window.SetTimer(kTimer, kTimerMs);
    return true;
}

void ShadingCommands::Toggle()
{
    FramePipeline& pipeline = m_services.session.Pipeline();
    std::lock_guard lock(pipeline.lock());
    ShadingCorrection& shading = pipeline.shading();
    shading.setEnabled(!shading.enabled());
    Say(shading.enabled() ? "STR_SHADING_ON" : "STR_SHADING_OFF");
}

void ShadingCommands::Clear()
{
    {
        FramePipeline& pipeline = m_services.session.Pipeline();
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().clear();
    }
    if (!m_identity.empty() && m_width > 0)
        m_store.remove(m_identity, m_width, m_height);
    m_width = m_height = 0;
    Say("STR_SHADING_CLEARED");
}

void ShadingCommands::OnCameraChanged()
{
    m_identity = Identity();
    m_width = m_height = 0;
    m_taking = false;
    {
        FramePipeline& pipeline = m_services.session.Pipeline();
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().clear();
    }
    // The reference is found once the first picture says its size.
    if (m_identity.empty())
        m_services.window.KillTimer(kTimer);
    else
        m_services.window.SetTimer(kTimer, kTimerMs);
}

void ShadingCommands::OnClosing() { m_services.window.KillTimer(kTimer); }

bool ShadingCommands::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT&)
{
    if (message != WM_TIMER || wParam != kTimer)
        return false;
    Poll();
    return true;
}

void ShadingCommands::Poll()
{
    FramePipeline& pipeline = m_services.session.Pipeline();
    ShadingReference made;
    ShadingRefusal refusal = ShadingRefusal::NoFrames;
    int width = 0, height = 0;
    bool hadReference = false;
    {
        std::lock_guard lock(pipeline.lock());
        ShadingCorrection& shading = pipeline.shading();
        if (m_taking && !shading.collecting())
            refusal = shading.finishCollecting(made);
        width = shading.lastWidth();
        height = shading.lastHeight();
        hadReference = !shading.reference().empty();
    }
    if (m_taking && refusal != ShadingRefusal::NoFrames) {
        m_taking = false;
        if (refusal == ShadingRefusal::None) {
            m_width = made.width;
            m_height = made.height;
            if (m_identity.empty() || !m_store.save(m_identity, made))
                Say("STR_SHADING_NOT_KEPT");
            else
                Say("STR_SHADING_DONE");
        } else {
            Say(RefusalText(refusal));
        }
        return;
    }
    if (m_taking || width <= 0 || (width == m_width && height == m_height))
        return;
    // A new picture size (or the first picture): its own reference, if one is kept.
    ShadingReference kept;
    const bool found = !m_identity.empty() && m_store.load(m_identity, width, height, kept);
    {
        std::lock_guard lock(pipeline.lock());
        if (found)
            pipeline.shading().setReference(kept);
        else
            pipeline.shading().clear();
    }
    m_width = width;
    m_height = height;
    if (!found && hadReference)
        Say("STR_SHADING_NO_REFERENCE", std::to_string(width) + " × " + std::to_string(height));
}

} // namespace shell
