#include "app/shell/session/CameraListPanel.h"

#include "app/common/AppMessages.h"
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/ProcessorName.h"
#include "app/shell/dialogs/Dialogs.h"
#include "app/shell/session/CameraSession.h"
#include "app/shell/session/CameraSettingsStore.h"
#include "app/shell/session/DeviceMonitor.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMCameraBase.h"
#include "camera/factory/CMFactory.h"
#include "camera/usb/UsbOpenFailure.h"
#include "ui/Controls.h"
#include "ui/DialogBuilder.h"
#include "ui/List.h"
#include "ui/MessageDialog.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"

#include <cstdio>

namespace shell {
namespace {

std::string SizeText(const _tag_CMSIZE& size)
{
    char text[32];
    std::snprintf(text, sizeof text, "%d x %d", size.width, size.height);
    return text;
}

int IndexOfSize(const std::vector<_tag_CMSIZE>& sizes, const _tag_CMSIZE& size)
{
    for (size_t i = 0; i < sizes.size(); ++i)
        if (sizes[i].width == size.width && sizes[i].height == size.height)
            return int(i);
    return -1;
}

void AddComboRow(CComboUI* combo, const std::string& text)
{
    if (CListLabelElementUI* row = combo->AddString(text))
        row->SetAttribute("textpadding", "3,0,0,0");
}

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

// A text with one "%s" put in.
std::string TextWith(const char* id, const std::string& value)
{
    std::string text = Text(id);
    if (const size_t at = text.find("%s"); at != std::string::npos)
        text.replace(at, 2, value);
    return text;
}

} // namespace

CameraListPanel::CameraListPanel(MainWindowServices& services) : WindowPart(services) {}

CameraListPanel::~CameraListPanel() = default;

void CameraListPanel::Init()
{
    CPaintManagerUI& paint = m_services.paint;
    m_list = dynamic_cast<CListUI*>(paint.FindControl("CameraList"));
    m_formatCombo = dynamic_cast<CComboUI*>(paint.FindControl("combo_preview_format"));
    m_previewSizeCombo = dynamic_cast<CComboUI*>(paint.FindControl("combo_preview_size"));
    m_captureSizeCombo = dynamic_cast<CComboUI*>(paint.FindControl("combo_capture_size"));
    m_lockSnap = dynamic_cast<COptionUI*>(paint.FindControl("option_lock_snap"));
    m_services.window.SetTimer(kSessionTimerId, kSessionTimerMs);
    m_deviceMonitor = std::make_unique<DeviceMonitor>(m_services.window.GetHWND());
}

void CameraListPanel::OnWindowInit()
{
    FillList();
    m_services.session.RefreshDevices();
}

void CameraListPanel::OnLanguageChanged()
{
    FillList();
    // The hint this panel put in the status bar follows the language, unless
    // something else has been said there since.
    CControlUI* label = m_services.paint.FindControl("StatusBarLabelInfo");
    if (m_statusTextId && label && label->GetText() == m_statusText)
        SetStatusFromId(m_statusTextId);
}

void CameraListPanel::SetStatusFromId(const char* id)
{
    m_statusTextId = id;
    m_statusText = Text(id);
    m_services.setStatus(m_statusText);
}

void CameraListPanel::OnClosing()
{
    m_services.window.KillTimer(kFrameRateTimer);
    m_services.window.KillTimer(kSessionTimerId);
    m_deviceMonitor.reset();
}

// ---- the list ----

void CameraListPanel::FillList()
{
    if (!m_list)
        return;
    CameraSession& session = m_services.session;
    int openGroup = -1, openDevice = -1;
    const bool localOpen = (session.Camera() || session.IsLost()) && session.FindOpenCameraRow(openGroup, openDevice);
    // Only the wireless box marks "Network Cameras" (ids 0xFFFF, 0xFFFF): an
    // RTSP user opens the dialog again to reach another stream.
    const bool networkOpen = session.Source().kind == CameraSource::Kind::Network &&
                             session.Source().protocol == CMFactory::kWirelessBox &&
                             (session.Camera() || session.IsLost());
    m_list->RemoveAll();
    int selected = -1;
    auto addRow = [&](const std::string& name, UINT_PTR address) {
        CDialogBuilder builder;
        CControlUI* row = builder.Create("xmls\\listadapter_camera.xml", nullptr, &m_services.paint);
        if (!row)
            return -1;
        m_list->Add(row);
        const int number = m_list->GetCount() - 1;
        row->SetTag(static_cast<UINT_PTR>(number) << 16 | address);
        if (CControlUI* text = row->FindSubControl("camera_name"))
            text->SetText("{a}" + name + "{/a}");
        return number;
    };
    const auto& groups = session.Devices();
    for (size_t g = 0; g < groups.size() && g < 256; ++g)
        for (size_t d = 0; d < groups[g].devices.size() && d < 256; ++d) {
            const int row = addRow(groups[g].devices[d].name, (g << 8) | d);
            if (localOpen && int(g) == openGroup && int(d) == openDevice)
                selected = row;
        }
    const int networkRow = addRow(Text("STR_NETWORK_CAMERAS"), 0xFFFF);
    if (networkOpen)
        selected = networkRow;
    MarkRow(selected);
}

void CameraListPanel::MarkRow(int selected)
{
    if (!m_list)
        return;
    for (int i = 0; i < m_list->GetCount(); ++i) {
        CControlUI* row = m_list->GetItemAt(i);
        const bool marked = i == selected;
        row->SetBkColor(marked ? 0xFFF0F0F0 : 0x00808080);
        row->SetEnabled(!marked);
        if (CControlUI* text = row->FindSubControl("camera_name")) {
            text->SetFont(marked ? 3 : 2);
            text->SetTextColor(marked ? 0xFF101010 : 0xFFA4A4A4);
            text->SetEnabled(!marked);
        }
    }
}

void CameraListPanel::OnLinkClicked(CControlUI* sender)
{
    CameraSession& session = m_services.session;
    // A lost camera's reconnect attempt never holds the user: it is cancelled.
    if (session.IsOpening() && !session.CancelReconnect())
        return;
    CControlUI* row = sender;
    while (row && row->GetParent() != m_list)
        row = row->GetParent();
    if (!row)
        return;
    const UINT_PTR tag = row->GetTag();
    m_clickedRow = int(tag >> 16);
    int started = kSessionNotOpened;
    if ((tag & 0xFFFF) == 0xFFFF) {
        const NetworkCameraChoice choice = ShowNetworkCameraDialog(m_services.window.GetHWND());
        if (!choice.chosen || choice.address.empty())
            return;
        started = session.OpenNetwork(choice.protocol, choice.address);
        if (started == kSessionOpened) {
            m_openingName = choice.address;
            // An address may take seconds to answer (or to time out).
            m_services.setStatus(TextWith("STR_CONNECTING_TO", choice.address));
        }
    } else {
        started = session.OpenLocal(int((tag >> 8) & 0xFF), int(tag & 0xFF));
        m_openingName = DeviceName(int((tag >> 8) & 0xFF), int(tag & 0xFF));
    }
    if (started != kSessionOpened)
        return;
    m_userOpen = true;
    m_services.window.KillTimer(kFrameRateTimer);
    SetBusy(true);
    // The old camera is being released: the window shows none until the new one is there.
    m_services.window.CameraChanged();
}

std::string CameraListPanel::DeviceName(int group, int device) const
{
    const auto& groups = m_services.session.Devices();
    if (group < 0 || device < 0 || size_t(group) >= groups.size() || size_t(device) >= groups[group].devices.size())
        return {};
    return groups[group].devices[device].name;
}

void CameraListPanel::SetBusy(bool busy)
{
    if (busy == m_busy)
        return;
    m_busy = busy;
    SetWaitCursor(busy);
    if (m_list)
        m_list->SetEnabled(!busy);
}

void CameraListPanel::OpenDone(int result, bool reconnect)
{
    CameraSession& session = m_services.session;
    if (!reconnect && m_userOpen) {
        m_userOpen = false;
        SetBusy(false);
    }
    if (session.Camera()) {
        m_services.window.SetTimer(kFrameRateTimer, 1000);
        if (!reconnect) {
            TellPictureSizeRequested(true);
            m_services.window.OpenDrawerBody("drawerPreviewResolution", true);
            // What to do next, for whoever sees the program the first time.
            SetStatusFromId("STR_CAMERA_OPENED_HINT");
            // On this processor the camera is switched to the first preview
            // size and back three seconds after it opened.
            std::string processor;
            if (ReadProcessorName(processor) && processor.find("x5-Z8350") != std::string::npos)
                m_services.window.SetTimer(kProcessorCheckTimer, 2000);
        }
    } else if (!reconnect && result == kSessionOpenFailed) {
        // No camera is open now (the old one was released first): the view
        // shows none, the drawers close, and the status bar and the box say
        // which camera failed and why (a USB3 camera without access names
        // the udev rule to install, a network camera what its address did).
        if (m_services.view)
            m_services.view->clearPicture();
        m_services.window.OpenDrawerBody(std::string(), true);
        const char* reason = CMOpenFailureTextId(session.LastOpenFailure());
        const std::string failed = TextWith("STR_OPEN_FAILED_NAMED", m_openingName);
        m_services.setStatus(reason ? failed + " — " + Text(reason) : failed);
        std::string text = Text("STR_CAMERA_OPEN_FAILED");
        if (!m_openingName.empty())
            text += "\n" + m_openingName;
        if (reason)
            text += "\n" + Text(reason);
        // Another camera sat where the row's was: the list is shown anew.
        if (session.LastOpenFoundAnotherCamera()) {
            text += '\n';
            text += Text("STR_CAMERA_LIST_CHANGED");
            session.RefreshDevices();
        }
        ShowMessage(m_services.window.GetHWND(), text, "Message", 0, MB_ICONWARNING);
    }
}

void CameraListPanel::ShowFrameRate()
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!camera)
        return;
    char text[32];
    std::snprintf(text, sizeof text, "%.2f fps", camera->GetFrameRate());
    if (CControlUI* label = m_services.paint.FindControl("StatusbarLabelRate"))
        label->SetText(text);
}

// ---- the format and size chain ----

void CameraListPanel::FillFormats()
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!m_formatCombo || !camera)
        return;
    std::vector<int> formats;
    camera->GetSupportedFormats(&formats);
    int current = -1;
    camera->GetFormat(current);
    m_formatCombo->RemoveAll();
    int selected = formats.empty() ? -1 : 0;
    for (size_t i = 0; i < formats.size(); ++i) {
        AddComboRow(m_formatCombo, CMFactory::GetImageFormatDesc(formats[i]));
        if (formats[i] == current)
            selected = int(i);
    }
    if (selected >= 0)
        m_formatCombo->SelectItem(selected, false);
}

void CameraListPanel::OnFormatSelected(int index)
{
    CameraSession& session = m_services.session;
    CMCameraBase* camera = session.Camera();
    if (!camera)
        return;
    session.SetFormatIndex(index);
    FillPreviewSizes();
    FillCaptureSizes();
    const bool still = camera->isSupportStillCapture();
    for (const char* name : {"option_lock_snap", "option_lock_dummy"})
        if (CControlUI* control = m_services.paint.FindControl(name))
            control->SetVisible(still);
}

void CameraListPanel::FillPreviewSizes()
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!m_previewSizeCombo || !camera)
        return;
    std::vector<_tag_CMSIZE> sizes;
    camera->GetSupportedPreviewSizes(&sizes);
    _tag_CMSIZE current{0, 0};
    camera->GetPreviewSize(current);
    m_previewSizeCombo->RemoveAll();
    for (const _tag_CMSIZE& size : sizes)
        AddComboRow(m_previewSizeCombo, SizeText(size));
    const int index = IndexOfSize(sizes, current);
    if (!sizes.empty())
        m_previewSizeCombo->SelectItem(index < 0 ? 0 : index, false);
}

void CameraListPanel::OnPreviewSizeSelected(int index)
{
    CameraSession& session = m_services.session;
    if (!session.Camera())
        return;
    // The processor check's switch and back is the program's own, not the user's.
    if (session.SetPreviewSizeIndex(index) && !m_automaticSizeSwitch)
        TellPictureSizeRequested(false);
    FillCaptureSizes();
}

void CameraListPanel::TellPictureSizeRequested(bool otherCamera)
{
    _tag_CMSIZE size{0, 0};
    if (m_services.pictureSizeRequested && m_services.session.Camera() &&
        m_services.session.Camera()->GetPreviewSize(size) == 0)
        m_services.pictureSizeRequested(size.width, size.height, otherCamera);
}

void CameraListPanel::FillCaptureSizes()
{
    CMCameraBase* camera = m_services.session.Camera();
    if (!m_captureSizeCombo || !camera)
        return;
    const bool enabled = camera->isSupportStillCapture() && Config().DisableStillCap == 0;
    m_captureSizeCombo->RemoveAll();
    m_captureSizeCombo->SetEnabled(enabled);
    if (enabled) {
        std::vector<_tag_CMSIZE> sizes;
        camera->GetSupportedStillCaptureSizes(&sizes);
        _tag_CMSIZE current{0, 0};
        camera->GetStillCaptureSize(current);
        for (const _tag_CMSIZE& size : sizes)
            AddComboRow(m_captureSizeCombo, SizeText(size));
        const int index = IndexOfSize(sizes, current);
        if (!sizes.empty())
            m_captureSizeCombo->SelectItem(index < 0 ? 0 : index, false);
    } else {
        _tag_CMSIZE preview{0, 0};
        camera->GetPreviewSize(preview);
        AddComboRow(m_captureSizeCombo, SizeText(preview));
        m_captureSizeCombo->SelectItem(0, false);
    }
}

void CameraListPanel::OnCameraChanged()
{
    CMCameraBase* camera = m_services.session.Camera();
    FillList();
    if (!camera) {
        if (CControlUI* label = m_services.paint.FindControl("StatusbarLabelRate"))
            label->SetText("");
        return;
    }
    if (m_lockSnap)
        m_lockSnap->Selected(Config().DisableStillCap != 0, false);
    FillFormats();
}

// ---- notifications and messages ----

bool CameraListPanel::Notify(TNotifyUI& msg)
{
    const std::string name = msg.pSender ? msg.pSender->GetName() : std::string();
    if (msg.sType == "link") {
        CControlUI* control = msg.pSender;
        for (CControlUI* up = control; up; up = up->GetParent())
            if (up == m_list) {
                OnLinkClicked(control);
                return true;
            }
        return false;
    }
    if (msg.sType == "itemselect") {
        const int index = int(msg.wParam);
        if (name == "combo_preview_format") {
            OnFormatSelected(index);
            return true;
        }
        if (name == "combo_preview_size") {
            OnPreviewSizeSelected(index);
            return true;
        }
        if (name == "combo_capture_size") {
            m_services.session.SetStillSizeIndex(index);
            return true;
        }
        return false;
    }
    if (msg.sType == "selectchanged" && name == "option_lock_snap") {
        if (m_services.session.Camera() && m_lockSnap) {
            Config().DisableStillCap = m_lockSnap->IsSelected() ? 1 : 0;
            FillCaptureSizes();
        }
        return true;
    }
    return false;
}

bool CameraListPanel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    result = 0;
    if (message == WM_TIMER && wParam == kFrameRateTimer) {
        ShowFrameRate();
        return true;
    }
    if (message == WM_TIMER && (wParam == kProcessorCheckTimer || wParam == kProcessorCheckBackTimer)) {
        m_services.window.KillTimer(UINT(wParam));
        if (!m_previewSizeCombo || !m_services.session.Camera())
            return true;
        m_automaticSizeSwitch = true;
        if (wParam == kProcessorCheckTimer) {
            m_notedPreviewSize = m_previewSizeCombo->GetCurSel();
            m_previewSizeCombo->SelectItem(0, false);
            m_services.window.SetTimer(kProcessorCheckBackTimer, 1000);
        } else if (m_notedPreviewSize >= 0) {
            m_previewSizeCombo->SelectItem(m_notedPreviewSize, false);
        }
        m_automaticSizeSwitch = false;
        return true;
    }
    if (message == WM_SESSION_STATUS) {
        // A loss was said when it was seen, before the window's parts reacted to it.
        if (wParam == kSessionCameraBack)
            m_services.setStatus(Text("STR_CAMERA_RECONNECTED"));
        return true;
    }
    CameraSession& session = m_services.session;
    const bool hadCamera = session.Camera() != nullptr;
    bool changed = false;
    if (!session.HandleMessage(message, wParam, lParam, changed))
        return false;
    if (hadCamera && !session.Camera())
        m_services.window.KillTimer(kFrameRateTimer);
    // Said first, so that what the loss ends (a recording) can say so after it.
    if (hadCamera && !session.Camera() && session.IsLost())
        m_services.setStatus(Text("STR_CAMERA_DISCONNECTED"));
    if (changed)
        m_services.window.CameraChanged();
    else if (message == WM_SESSION_DEVICES_LISTED)
        FillList();
    if (message == WM_SESSION_OPEN_DONE)
        OpenDone(int(wParam), lParam != 0);
    if (message == WM_SESSION_DEVICES_LISTED && !m_firstListingSeen) {
        m_firstListingSeen = true;
        // At start the camera used last opens again when it is there (demo
        // mode opens its own camera instead).
        int group = -1, device = -1;
        if (!m_openFirstUsbCamera && !session.Camera() && !session.IsOpening() &&
            session.FindCamera(CameraSettingsStore().LastCamera(), group, device) &&
            session.OpenLocal(group, device) == kSessionOpened) {
            m_openingName = DeviceName(group, device);
            m_userOpen = true;
            SetBusy(true);
        }
    }
    if (message == WM_SESSION_DEVICES_LISTED && m_openFirstUsbCamera && !session.Camera() && !session.IsOpening()) {
        m_openFirstUsbCamera = false;
        const auto& groups = session.Devices();
        for (size_t g = 0; g < groups.size(); ++g)
            if (groups[g].type == VIDEO_DEVICE_GROUP_SENSORLINK && !groups[g].devices.empty()) {
                if (session.OpenLocal(int(g), 0) == kSessionOpened) {
                    m_userOpen = true;
                    SetBusy(true);
                }
                break;
            }
    }
    return true;
}

} // namespace shell
