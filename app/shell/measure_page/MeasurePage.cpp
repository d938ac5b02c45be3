#include "app/shell/measure_page/MeasurePage.h"

#include "app/common/AppMessages.h"
#include "app/measure/SFPrimitiveContainer.h"
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/PictureSource.h"
#include "app/shell/capture/SnapshotFiles.h"
#include "app/shell/measure_page/MarkerTextDialog.h"
#include "app/shell/measure_page/MeasureColorDialog.h"
#include "app/shell/session/CameraSession.h"
#include "app/view/ImageRenderUI.h"
#include "camera/CMTypes.h"
#include "platform/AtomicFile.h"
#include "ui/Controls.h"
#include "ui/FileDialog.h"
#include "ui/List.h"
#include "ui/MessageDialog.h"
#include "ui/ResourceManager.h"

#include <cmath>
#include <strings.h>
#include <utility>

namespace shell {
namespace {

// A tool, its button and what the mode field says it needs.
struct ToolButton {
    const char* name;
    int tool;
    const char* hint;
};

constexpr ToolButton kToolButtons[] = {
    {"MeasureBtnNone", ToolNone, nullptr},
    {"MeasureBtnMove", ToolMove, "STR_HINT_MOVE"},
    {"MeasureBtnDelete", ToolDelete, "STR_HINT_DELETE"},
    {"MeasureBtnPoint", ToolPoint, "STR_HINT_ONE_POINT"},
    {"MeasureBtnLine", ToolLine, "STR_HINT_TWO_POINTS"},
    {"MeasureBtnLineDistance", ToolLineDistance, "STR_HINT_TWO_LINES"},
    {"MeasureBtnBrokenLine", ToolBrokenLine, "STR_HINT_POINTS_FINISH"},
    {"MeasureBtnRect", ToolRect, "STR_HINT_TWO_CORNERS"},
    {"MeasureBtnPolygon", ToolPolygon, "STR_HINT_POINTS_FINISH"},
    {"MeasureBtnCircle", ToolCircle, "STR_HINT_CENTRE_RIM"},
    {"MeasureBtnCircle2", ToolCircle2, "STR_HINT_DIAMETER"},
    {"MeasureBtnCircle3", ToolCircle3, "STR_HINT_THREE_ON_EDGE"},
    {"MeasureBtnArc", ToolArc, "STR_HINT_THREE_ON_EDGE"},
    {"MeasureBtnAngle", ToolAngle, "STR_HINT_ANGLE"},
    {"MeasureBtnText", ToolText, "STR_HINT_TEXT"},
    {"MeasureBtnPerpendicular", ToolPerpendicular, "STR_HINT_PERPENDICULAR"},
    {"MeasureBtnCrosshair", ToolCrosshair, "STR_HINT_ONE_POINT"},
    {"MeasureBtnCrosshair2", ToolCrosshair2, "STR_HINT_TWO_POINTS"},
    {"MeasureBtnParallel", ToolParallel, "STR_HINT_PARALLEL"},
    {"MeasureBtnParallels", ToolParallels, "STR_HINT_PARALLELS"},
    {"MeasureBtnConcentrical", ToolConcentrical, "STR_HINT_CONCENTRIC"},
};

struct TwoCirclesItem {
    const char* name;
    int tool;
    const char* hint;
};

constexpr TwoCirclesItem kTwoCirclesItems[] = {
    {"MTool_TwoCircles", ToolTwoCircles, "STR_HINT_TWO_CIRCLES"},
    {"MTool_TwoCircles2", ToolTwoCircles2, "STR_HINT_TWO_DIAMETERS"},
    {"MTool_TwoCircles3", ToolTwoCircles3, "STR_HINT_TWO_CIRCLES_EDGE"},
};

const char* TwoCirclesHint(int tool)
{
    for (const TwoCirclesItem& item : kTwoCirclesItems)
        if (item.tool == tool)
            return item.hint;
    return nullptr;
}

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

// Aspect ratios within 1 % are the same field (sizes rounded to even or to a
// multiple of 8 or 16 differ by a little), as for calibrations.
bool SameAspectRatio(int width, int height, int otherWidth, int otherHeight)
{
    const double here = double(width) * otherHeight, there = double(height) * otherWidth;
    return std::fabs(here - there) <= 0.01 * std::max(here, there);
}

} // namespace

MeasurePage::MeasurePage(MainWindowServices& services)
    : WindowPart(services),
      m_calibration(std::make_unique<CalibrationPage>(services, m_store, [this] { FillCalibrationCombo(); }))
{
}

MeasurePage::~MeasurePage() { m_services.pictureSizeRequested = nullptr; }

SFPrimitiveContainer* MeasurePage::Container() const
{
    return m_services.view ? &m_services.view->container() : nullptr;
}

CControlUI* MeasurePage::Find(const char* name) const { return m_services.paint.FindControl(name); }

void MeasurePage::Init()
{
    std::string path;
    if (CalibrationStore::calibrationFilePath(path) == CalibrationOk)
        m_store.load(path); // a first start has no file yet: an empty list
    if (auto* list = dynamic_cast<CListUI*>(Find("MeasureDataList")))
        list->SetTextCallback(&m_results);
    m_services.pictureSizeRequested = [this](int width, int height, bool otherCamera) {
        OnPictureSizeRequested(width, height, otherCamera);
    };
}

void MeasurePage::OnWindowInit()
{
    // The render view exists now: its container reports to this window.
    if (m_services.pictures)
        m_services.pictures->setCalibrationApplier([this] {
            if (!m_calibration->IsShown())
                ApplyCalibration();
        });
    FillCalibrationCombo();
    // The scale bar as the user left it.
    if (Config().ScaleBar != 0) {
        if (auto* option = dynamic_cast<COptionUI*>(Find("MeasureChkScaleBar")))
            option->Selected(true, false);
        ShowScaleBar(true);
    }
}

void MeasurePage::OnLanguageChanged()
{
    ShowToolHint();
    ShowZoom();
    m_calibration->RebuildList();
    if (!m_calibration->IsShown())
        ApplyCalibration(); // the unit label may carry a translated text
}

void MeasurePage::OnCameraChanged()
{
    // Whether a calibration is scaled depends on the camera too.
    if (!m_calibration->IsShown())
        ApplyCalibration();
}

void MeasurePage::FillCalibrationCombo()
{
    auto* combo = dynamic_cast<CComboUI*>(Find("ComboCaliDataList"));
    if (!combo)
        return;
    combo->RemoveAll();
    for (int i = 0; i < m_store.count(); ++i)
        if (CListLabelElementUI* item = combo->AddString(m_store.at(i).nameUtf8()))
            item->SetTextPadding(RECT{3, 0, 0, 0});
    const AppConfig& config = Config();
    int index = -1;
    if (!config.curCaliName.empty()) {
        // The name wins: an index names another calibration once the list changed.
        index = m_store.indexOf(config.curCaliName);
        if (index < 0)
            m_services.setStatus(Text("STR_CALI_GONE_PIXELS"));
    } else if (config.curCaliData >= 0 && m_store.count() > 0) {
        index = config.curCaliData < m_store.count() ? config.curCaliData : 0;
    }
    // The selection's "itemselect" applies it too; applying here as well
    // covers an empty list and a selection that did not change.
    combo->SelectItem(index, false, false);
    ChooseCalibration(index);
}

void MeasurePage::ChooseCalibration(int index)
{
    AppConfig& config = Config();
    const bool known = index >= 0 && index < m_store.count();
    // With nothing to choose from the choice stays open, so that the first
    // calibration made is the one in force.
    const int chosen = known ? index : (m_store.count() > 0 || !config.curCaliName.empty() ? -1 : config.curCaliData);
    const std::string name = known ? m_store.at(index).nameUtf8() : std::string();
    if (chosen != config.curCaliData || name != config.curCaliName) {
        config.curCaliData = chosen;
        config.curCaliName = name;
        config.SaveCalibrationChoice();
    }
    ApplyCalibration();
}

void MeasurePage::ApplyCalibration()
{
    // A picture that carries its own scale is measured in it while it is
    // shown (unless the user chose otherwise); the label says where it is from.
    if (const PictureSource* pictures = m_services.pictures; pictures && pictures->usesOwnScale()) {
        sf::String unit;
        if (const SFPrimitiveContainer* container = Container())
            container->calibration(unit);
        const auto utf8 = unit.toUtf8();
        if (CControlUI* label = Find("CaliDataListUnit"))
            label->SetText(std::string(utf8.begin(), utf8.end()) + "  (" + Text("STR_SCALE_FROM_FILE") + ")");
        RefreshAllRows();
        return;
    }
    const int index = Config().curCaliData;
    const bool known = index >= 0 && index < m_store.count();
    const CalibrationRecord record = m_store.at(index);
    int width = 0, height = 0;
    if (m_services.view)
        m_services.view->pictureSize(width, height);
    // A SensorLink camera's sizes are windows on its sensor: a picture pixel is
    // a sensor pixel at every size, so its calibrations need no scaling.
    const CameraSource& source = m_services.session.Source();
    const bool sensorWindow =
        source.kind == CameraSource::Kind::Local && source.groupType == VIDEO_DEVICE_GROUP_SENSORLINK;
    CalibrationScale scale{1.0f, true};
    if (known)
        scale = sensorWindow ? CalibrationScale{record.factor, true} : record.scaleFor(width, height);
    // With no calibration the measurements are in pixels.
    const std::string unit = known ? CalibrationStore::unitName(record.unit) : "px";
    if (CControlUI* label = Find("CaliDataListUnit"))
        label->SetText(scale.sizeFits ? unit
                                      : unit + "  (" + Text("STR_CALIBRATED_AT") + " " + std::to_string(record.width) +
                                            " × " + std::to_string(record.height) + ")");
    if (SFPrimitiveContainer* container = Container())
        container->setCalibration(sf::String(unit), scale.factor);
    RefreshAllRows();
}

std::string MeasurePage::ChosenUnitName() const
{
    const int index = Config().curCaliData;
    if (index < 0 || index >= m_store.count())
        return "px";
    return CalibrationStore::unitName(m_store.at(index).unit);
}

void MeasurePage::RefreshAllRows()
{
    SFPrimitiveContainer* container = Container();
    if (!container)
        return;
    for (int i = 0; i < m_results.count(); ++i)
        m_results.setAt(i, container->measureData(i));
    if (auto* list = dynamic_cast<CListUI*>(Find("MeasureDataList")))
        list->Refresh();
}

bool MeasurePage::Notify(TNotifyUI& msg)
{
    if (m_calibration->Notify(msg))
        return true;
    const std::string name = msg.pSender ? msg.pSender->GetName() : std::string();
    if (msg.sType == "itemselect" && name == "ComboCaliDataList") {
        ChooseCalibration(static_cast<int>(msg.wParam));
        // A calibration picked while a picture shows its own scale is wanted now.
        if (m_services.pictures && m_services.pictures->usesOwnScale())
            m_services.pictures->useOwnScale(false);
        return true;
    }
    if (msg.sType == "selectchanged" && name == "MeasureChkScaleBar") {
        auto* option = dynamic_cast<COptionUI*>(msg.pSender);
        ShowScaleBar(option && option->IsSelected());
        return true;
    }
    if (msg.sType != "click")
        return false;
    for (const ToolButton& button : kToolButtons)
        if (name == button.name) {
            SelectTool(button.tool, button.hint);
            return true;
        }
    if (name == "MeasureBtnTwoCircles") {
        ShowTwoCirclesMenu();
        return true;
    }
    if (name == "MeasureBtnDeleteAll") {
        DeleteAll();
        return true;
    }
    if (name == "MeasureBtnColorPicker") {
        if (SFPrimitiveContainer* container = Container())
            ShowMeasureColorDialog(m_services.window.GetHWND(), *container);
        return true;
    }
    if (name == "MeasureBtnCSV") {
        ExportCsv();
        return true;
    }
    return false;
}

void MeasurePage::ShowTwoCirclesMenu()
{
    if (m_twoCirclesTool == 0)
        m_twoCirclesTool = ToolTwoCircles3;
    SelectTool(m_twoCirclesTool, TwoCirclesHint(m_twoCirclesTool));
    CControlUI* button = Find("MeasureBtnTwoCircles");
    if (!button)
        return;
    const RECT pos = button->GetPos();
    POINT pt{pos.left, pos.bottom};
    m_services.window.ClientToScreen(pt);
    m_menu.reset();
    for (const TwoCirclesItem& item : kTwoCirclesItems)
        m_menuCheckInfo.Set(item.name, nullptr);
    auto menu = std::make_unique<CMenuWnd>();
    if (!menu->Init(nullptr, "xmls\\menus\\menu_measure_twocircles.xml", pt, &m_services.paint, &m_menuCheckInfo,
                    eMenuAlignment_Left | eMenuAlignment_Top))
        return;
    for (const TwoCirclesItem& item : kTwoCirclesItems)
        if (CMenuElementUI* element = menu->FindMenuItem(item.name)) {
            element->SetChecked(item.tool == m_twoCirclesTool);
            m_menuCheckInfo.Set(item.name, item.tool == m_twoCirclesTool ? element : nullptr);
        }
    m_menu = std::move(menu);
}

bool MeasurePage::OnMenuCommand(const std::string& item)
{
    for (const TwoCirclesItem& variant : kTwoCirclesItems)
        if (::strcasecmp(item.c_str(), variant.name) == 0) {
            m_twoCirclesTool = variant.tool;
            SelectTool(variant.tool, variant.hint);
            return true;
        }
    return false;
}

void MeasurePage::SelectTool(int tool, const char* hint)
{
    if (SFPrimitiveContainer* container = Container())
        container->setTool(tool);
    m_toolHint = hint;
    ShowToolHint();
}

void MeasurePage::ShowToolHint()
{
    // The field also serves long-running modes: it is emptied only when a
    // hint of this page stands in it.
    if (!m_services.pictures || (!m_toolHint && !m_hintShown))
        return;
    m_services.pictures->setModeText(m_toolHint ? Text(m_toolHint) : std::string());
    m_hintShown = m_toolHint != nullptr;
}

void MeasurePage::ShowZoom()
{
    if (CControlUI* label = Find("StatusBarLabelZoom"); label && m_zoomPercent > 0)
        label->SetText(Text("STR_ZOOM") + " " + std::to_string(m_zoomPercent) + " %");
}

bool MeasurePage::OnKeyWithState(WPARAM key, LPARAM keyState)
{
    SFPrimitiveContainer* container = Container();
    if (!container || !KeyIsFree(keyState))
        return false;
    if (key == 'Z' && KeyModifiers(keyState) == KEYSTATE_CONTROL)
        return container->undo();
    auto* list = dynamic_cast<CListUI*>(Find("MeasureDataList"));
    if (key != VK_DELETE || KeyModifiers(keyState) != 0 || !list || list->GetCurSel() < 0)
        return false;
    container->removeAt(list->GetCurSel());
    return true;
}

void MeasurePage::OnPictureSizeRequested(int width, int height, bool otherCamera)
{
    m_sizeRequest = SizeRequest{width, height, otherCamera};
    // The picture may have that size already (its frames came first).
    FollowLivePictureSize();
    if (m_sizeRequest && width == m_liveWidth && height == m_liveHeight)
        m_sizeRequest.reset(); // nothing will change
}

void MeasurePage::FollowLivePictureSize()
{
    // A still shown instead, or no camera (one is opening): the live
    // picture's size is looked at again when it shows.
    if (!m_services.view || !m_services.pictures || !m_services.pictures->isLive() || !m_services.session.Camera())
        return;
    int width = 0, height = 0;
    m_services.view->pictureSize(width, height);
    if (width <= 0 || height <= 0 || (width == m_liveWidth && height == m_liveHeight))
        return;
    const int oldWidth = std::exchange(m_liveWidth, width), oldHeight = std::exchange(m_liveHeight, height);
    const std::optional<SizeRequest> request = std::exchange(m_sizeRequest, std::nullopt);
    if (request && request->width == width && request->height == height && oldWidth > 0 && oldHeight > 0)
        KeepMeasurementsOnSpecimen(oldWidth, oldHeight, width, height, request->otherCamera);
}

void MeasurePage::KeepMeasurementsOnSpecimen(int oldWidth, int oldHeight, int width, int height, bool otherCamera)
{
    SFPrimitiveContainer* container = Container();
    if (!container || (container->count() == 0 && !container->isCalibrationMode()))
        return;
    // A SensorLink camera's sizes are windows centred on its sensor: the
    // specimen stays where it is and the window grows or shrinks around it.
    const CameraSource& source = m_services.session.Source();
    if (!otherCamera && source.kind == CameraSource::Kind::Local && source.groupType == VIDEO_DEVICE_GROUP_SENSORLINK) {
        container->mapPictureCoordinates(1.0f, float(width - oldWidth) / 2, float(height - oldHeight) / 2);
        return;
    }
    if (SameAspectRatio(oldWidth, oldHeight, width, height)) {
        container->mapPictureCoordinates(float(width) / float(oldWidth), 0, 0);
        return;
    }
    if (container->isCalibrationMode())
        return;
    if (ShowMessage(m_services.window.GetHWND(), Text("STR_MEASURE_OTHER_ASPECT"), Text("STR_DELETE"), 1,
                    MB_ICONQUESTION) == IDOK)
        container->clearAll(true);
}

void MeasurePage::AskForMarkerText(int index)
{
    SFPrimitiveContainer* container = Container();
    if (!container)
        return;
    const std::optional<std::string> text = AskMarkerText(m_services.window.GetHWND());
    if (text && !text->empty())
        container->setMarkerText(index, sf::String::fromUtf8(text->begin(), text->end()));
    else
        container->undoAdd(index);
}

void MeasurePage::DeleteAll()
{
    SFPrimitiveContainer* container = Container();
    if (!container || container->count() == 0)
        return;
    if (ShowMessage(m_services.window.GetHWND(), Text("STR_SURE_REMOVE_ALL_TOOL"), Text("STR_DELETE"), 1,
                    MB_ICONWARNING) == IDOK)
        container->clearAll(true);
}

void MeasurePage::ExportCsv()
{
    SFPrimitiveContainer* container = Container();
    if (!container || container->count() == 0)
        return;
    ui::FileDialogRequest request;
    request.owner = m_services.window.GetHWND();
    // Starts where the pictures go, not in whatever folder the program was started from.
    const std::string folder = ImageFolder();
    request.defaultName = folder.empty() ? "results.csv" : folder + "/results.csv";
    request.filters = {{"CSV files(*.csv)", "*.csv"}};
    request.defaultExtension = "csv";
    const std::string path = ui::GetSaveFileName(request);
    if (path.empty())
        return;
    // Written whole under a temporary name, then moved over the chosen one.
    platform::AtomicFile file(path, platform::ExistingFile::Replace);
    if (file.isOpen() && container->exportCsv(file.tempPath(), ChosenUnitName()) && file.commit()) {
        if (m_services.pictures)
            m_services.pictures->markMeasurementsSaved(m_services.pictures->measurementFingerprint());
        m_services.setStatus(Text("STR_SAVED_TO") + " " + file.finalPath());
    } else
        m_services.setStatus(Text("STR_CSV_FAIL"));
}

void MeasurePage::ShowScaleBar(bool on)
{
    Config().ScaleBar = on ? 1 : 0;
    if (m_services.view)
        m_services.view->showScaleBar(on);
}

bool MeasurePage::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result)
{
    auto* list = dynamic_cast<CListUI*>(Find("MeasureDataList"));
    const int index = static_cast<int>(wParam);
    result = 0;
    switch (message) {
    case WM_RENDER_PICTURE_SIZE:
        FollowLivePictureSize();
        // The calibration page applies the choice when it is left.
        if (!m_calibration->IsShown())
            ApplyCalibration();
        return true;
    case WM_MEASURE_TEXT_PLACED: AskForMarkerText(index); return true;
    case WM_RENDER_ZOOM_CHANGED:
        m_zoomPercent = index;
        ShowZoom();
        return true;
    case WM_MEASURE_ADDED:
        m_results.append(MeasureData());
        if (list) {
            list->Add(new CListTextElementUI);
            list->SelectItem(list->GetCount() - 1, false, false);
            list->EnsureVisible(list->GetCount() - 1);
        }
        return true;
    case WM_MEASURE_REMOVED:
        m_results.removeAt(index);
        if (list && index >= 0 && index < list->GetCount())
            list->RemoveAt(index);
        return true;
    case WM_MEASURE_CLEARED:
        m_results.clear();
        if (list)
            list->RemoveAll();
        return true;
    case WM_MEASURE_CHANGED: {
        SFPrimitiveContainer* container = Container();
        if (!container)
            return true;
        const MeasureData data = container->measureData(index);
        if (lParam == 1) {
            if (!data.lengths.empty())
                m_calibration->OnLineLength(data.lengths[0]);
            return true;
        }
        if (index < 0 || index >= m_results.count())
            return true;
        m_results.setAt(index, data);
        if (list) {
            // Only this row's values changed.
            if (CControlUI* row = list->GetItemAt(index))
                row->Invalidate();
            list->SelectItem(index, false, false);
            list->EnsureVisible(index);
        }
        return true;
    }
    default: return false;
    }
}

} // namespace shell
