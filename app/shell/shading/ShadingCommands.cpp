#include "app/shell/shading/ShadingCommands.h"

#include "app/shell/MainWnd.h"
#include "app/shell/PictureSource.h"
#include "app/shell/session/CameraSession.h"
#include "camera/CMCameraBase.h"
#include "camera/factory/CMFactory.h"
#include "ui/Controls.h"
#include "ui/Menu.h"
#include "ui/MessageDialog.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <chrono>
#include <cstdio>
#include <mutex>
#include <utility>

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

ShadingCommands::~ShadingCommands() { DropWork(); }

std::string ShadingCommands::Identity() const { return CMFactory::GetCameraIdentity(m_services.session.Camera()); }

std::string ShadingCommands::FormerIdentity() const
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
    // A result is said once, in the status bar's wide field; the narrow mode
    // field would cut a refusal's reason short and keep it after the fact.
    std::string text = Text(textId);
    if (!detail.empty())
        text += " " + detail;
    m_services.setStatus(text);
}

void ShadingCommands::ShowTaking(bool taking)
{
    if (!m_services.pictures)
        return;
    const std::string text = Text("STR_SHADING_TAKING");
    if (taking) {
        m_services.pictures->setModeText(text);
        return;
    }
    // The field is shared with the other modes: only our own line is cleared.
    if (CControlUI* field = m_services.paint.FindControl(PictureSource::kModeField); field && field->GetText() == text)
        m_services.pictures->setModeText(std::string());
}

bool ShadingCommands::HasReference() const
{
    FramePipeline& pipeline = m_services.session.Pipeline();
    std::lock_guard lock(pipeline.lock());
    return !pipeline.shading().reference().empty();
}

bool ShadingCommands::Correcting() const
{
    FramePipeline& pipeline = m_services.session.Pipeline();
    std::lock_guard lock(pipeline.lock());
    const ShadingCorrection& shading = pipeline.shading();
    return shading.enabled() && !shading.reference().empty();
}

void ShadingCommands::ShowState()
{
    if (auto* button = dynamic_cast<COptionUI*>(m_services.paint.FindControl("ToolbarBtnShading")))
        if (button->IsSelected() != Correcting())
            button->Selected(!button->IsSelected(), false);
}

void ShadingCommands::OnMainMenu(CMenuWnd& menu)
{
    if (CMenuElementUI* item = menu.FindMenuItem("Main_Menu_Item_Shading_Toggle")) {
        item->SetIcon("ui\\menu\\ic_menu_checked.png");
        item->SetCheckItem(true);
        item->SetChecked(Correcting());
    }
}

bool ShadingCommands::Notify(TNotifyUI& msg)
{
    if (msg.sType != "selectchanged" || !msg.pSender || msg.pSender->GetName() != "ToolbarBtnShading")
        return false;
    auto* button = dynamic_cast<COptionUI*>(msg.pSender);
    const bool wanted = button && button->IsSelected();
    const bool hasReference = HasReference();
    ShowState(); // the button shows what the correction does, not the click
    if (!hasReference) {
        if (wanted)
            AskForReference();
    } else if (wanted != Correcting()) {
        Toggle();
    }
    return true;
}

void ShadingCommands::AskForReference()
{
    if (!m_services.session.Camera()) {
        Say("STR_ERROR_CAMERA_NOT_OPEN");
        return;
    }
    if (ShowMessage(m_services.window.GetHWND(), Text("STR_SHADING_ASK"), Text("MENU_MAIN_SHADING"), 1,
                    MB_ICONINFORMATION) == IDOK)
        TakeReference();
}

bool ShadingCommands::OnMenuCommand(const std::string& item)
{
    if (item == "Main_Menu_Item_Shading") {
        AskForReference();
        return true;
    }
    if (item == "Main_Menu_Item_Shading_Toggle") {
        // Without a reference there is nothing to switch on: ask for one,
        // as the toolbar button does, rather than say "on" and do nothing.
        if (HasReference())
            Toggle();
        else
            AskForReference();
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
    DropWork();
    {
        FramePipeline& pipeline = m_services.session.Pipeline();
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().collect(kReferenceFrames);
    }
    m_taking = true;
    ShowTaking(true);
    m_services.window.SetTimer(kTimer, kTimerMs);
    return true;
}

void ShadingCommands::Toggle()
{
    bool on = false;
    {
        FramePipeline& pipeline = m_services.session.Pipeline();
        std::lock_guard lock(pipeline.lock());
        ShadingCorrection& shading = pipeline.shading();
        shading.setEnabled(!shading.enabled());
        on = shading.enabled();
    }
    Say(on ? "STR_SHADING_ON" : "STR_SHADING_OFF");
    ShowState();
}

void ShadingCommands::Clear()
{
    DropWork();
    m_taking = false;
    ShowTaking(false);
    {
        FramePipeline& pipeline = m_services.session.Pipeline();
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().clear();
    }
    if (!m_identity.empty() && m_width > 0)
        m_store.remove(m_identity, m_width, m_height);
    if (!m_formerIdentity.empty() && m_width > 0)
        m_store.remove(m_formerIdentity, m_width, m_height);
    m_hadReference = false;
    Say("STR_SHADING_CLEARED");
    ShowState();
}

void ShadingCommands::DropWork()
{
    // A worker's result for a camera or size that is gone is not used; its
    // few milliseconds are waited for here rather than left running.
    if (m_work.valid())
        m_work.wait();
    m_work = {};
}

void ShadingCommands::OnCameraChanged()
{
    DropWork();
    m_identity = Identity();
    m_formerIdentity = FormerIdentity();
    m_width = m_height = 0;
    m_taking = false;
    ShowTaking(false);
    m_hadReference = false;
    {
        FramePipeline& pipeline = m_services.session.Pipeline();
        std::lock_guard lock(pipeline.lock());
        pipeline.shading().clear();
    }
    ShowState();
    // The reference is found once the first picture says its size.
    if (m_identity.empty())
        m_services.window.KillTimer(kTimer);
    else
        m_services.window.SetTimer(kTimer, kTimerMs);
}

void ShadingCommands::OnClosing()
{
    m_services.window.KillTimer(kTimer);
    DropWork();
}

bool ShadingCommands::HandleMessage(UINT message, WPARAM wParam, LPARAM, LRESULT&)
{
    if (message != WM_TIMER || wParam != kTimer)
        return false;
    Poll();
    return true;
}

void ShadingCommands::Poll()
{
    if (m_work.valid()) {
        if (m_work.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
            return;
        Install(m_work.get());
        return;
    }
    FramePipeline& pipeline = m_services.session.Pipeline();
    ShadingFrames frames;
    bool framesIn = false;
    int width = 0, height = 0;
    {
        std::lock_guard lock(pipeline.lock());
        ShadingCorrection& shading = pipeline.shading();
        if (m_taking)
            framesIn = shading.takeFrames(frames);
        width = shading.lastWidth();
        height = shading.lastHeight();
        if (!m_taking && width > 0 && (width != m_width || height != m_height))
            m_hadReference = !shading.reference().empty();
    }
    const ShadingStore store = m_store;
    const std::string identity = m_identity;
    if (framesIn) {
        m_work = std::async(std::launch::async, [frames = std::move(frames), store, identity] {
            Prepared made;
            made.refusal = makeShadingReference(frames, made.reference);
            if (made.refusal == ShadingRefusal::None) {
                made.gains = makeShadingGains(made.reference);
                made.kept = !identity.empty() && store.save(identity, made.reference);
            }
            return made;
        });
        return;
    }
    if (m_taking || width <= 0 || (width == m_width && height == m_height))
        return;
    // A new picture size (or the first picture): its own reference, if one is kept.
    m_width = width;
    m_height = height;
    m_work = std::async(std::launch::async, [store, identity, former = m_formerIdentity, width, height] {
        Prepared found;
        found.fromStore = true;
        if ((!identity.empty() && store.load(identity, width, height, found.reference)) ||
            (!former.empty() && store.load(former, width, height, found.reference))) {
            found.refusal = ShadingRefusal::None;
            found.gains = makeShadingGains(found.reference);
        }
        return found;
    });
}

void ShadingCommands::Install(Prepared prepared)
{
    FramePipeline& pipeline = m_services.session.Pipeline();
    if (!prepared.fromStore) {
        m_taking = false;
        ShowTaking(false);
        if (prepared.refusal != ShadingRefusal::None) {
            Say(RefusalText(prepared.refusal));
            return;
        }
        {
            // A reference the user just took is taken to be used, also when
            // the correction was switched off before.
            std::lock_guard lock(pipeline.lock());
            pipeline.shading().setReference(prepared.reference, std::move(prepared.gains));
            pipeline.shading().setEnabled(true);
        }
        m_width = prepared.reference.width;
        m_height = prepared.reference.height;
        Say(prepared.kept ? "STR_SHADING_DONE" : "STR_SHADING_NOT_KEPT");
        ShowState();
        return;
    }
    const bool found = prepared.refusal == ShadingRefusal::None;
    {
        std::lock_guard lock(pipeline.lock());
        if (found)
            pipeline.shading().setReference(prepared.reference, std::move(prepared.gains));
        else
            pipeline.shading().clear();
    }
    if (!found && m_hadReference)
        Say("STR_SHADING_NO_REFERENCE", std::to_string(m_width) + " × " + std::to_string(m_height));
    ShowState();
}

} // namespace shell
