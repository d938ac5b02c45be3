#include "app/shell/measure_page/CalibrationPage.h"

#include "app/measure/CalibrationStore.h"
#include "app/measure/SFPrimitiveContainer.h"
#include "app/shell/AppConfig.h"
#include "app/shell/MainWnd.h"
#include "app/shell/measure_page/NumberFormat.h"
#include "app/view/ImageRenderUI.h"
#include "ui/Controls.h"
#include "ui/FileDialog.h"
#include "ui/List.h"
#include "ui/MessageDialog.h"
#include "ui/ResourceManager.h"

#include <cmath>

namespace shell {
namespace {

constexpr int kUnitCount = 6;

std::string Text(const char* id) { return CResourceManager::GetInstance()->GetTextOrId(id); }

ui::FileDialogRequest IniRequest(HWND owner, const std::string& defaultName)
{
    ui::FileDialogRequest request;
    request.owner = owner;
    request.defaultName = defaultName;
    request.filters = {{"Configuration Files(*.ini) ", "*.ini"}};
    request.defaultExtension = "ini";
    return request;
}

} // namespace

CalibrationPage::CalibrationPage(MainWindowServices& services, CalibrationStore& store, std::function<void()> leaving)
    : m_services(services), m_store(store), m_leaving(std::move(leaving)), m_adapter(store)
{
}

CControlUI* CalibrationPage::Find(const char* name) const { return m_services.paint.FindControl(name); }

SFPrimitiveContainer* CalibrationPage::Container() const
{
    return m_services.view ? &m_services.view->container() : nullptr;
}

bool CalibrationPage::Notify(TNotifyUI& msg)
{
    const std::string name = msg.pSender ? msg.pSender->GetName() : std::string();
    if (msg.sType == "textchanged" && name == "CaliEdtPhyLen") {
        ShowFactor();
        return true;
    }
    if (msg.sType == "itemselect" && name == "ComboCaliPhyLenUnit") {
        const int unit = static_cast<int>(msg.wParam);
        Config().curPhyUnit = unit;
        if (CControlUI* label = Find("CaliEdtCaliUnit"))
            label->SetText(CalibrationStore::unitName(unit) + "/px");
        return true;
    }
    if (msg.sType != "click")
        return false;
    if (name == "MeasureBtnCaliEdit")
        Enter();
    else if (name == "CaliBtnBack")
        Leave();
    else if (name == "CaliBtnNew")
        CreateCalibration();
    else if (name == "CaliBtnDel")
        DeleteSelected();
    else if (name == "CaliBtnBackup")
        Backup();
    else if (name == "CaliBtnRecover")
        Recover();
    else
        return false;
    return true;
}

void CalibrationPage::Enter()
{
    if (m_shown)
        return;
    m_shown = true;
    if (CControlUI* page = Find("PageMeasureCalibration"))
        page->SetVisible(true);
    if (CControlUI* page = Find("PageMeasureNormal"))
        page->SetVisible(false);
    if (CControlUI* tab = Find("MainTabOptCamera"))
        tab->SetEnabled(false);
    RebuildList();
    if (auto* units = dynamic_cast<CComboUI*>(Find("ComboCaliPhyLenUnit"))) {
        units->RemoveAll();
        for (int unit = 0; unit < kUnitCount; ++unit)
            if (CListLabelElementUI* item = units->AddString(CalibrationStore::unitName(unit)))
                item->SetTextPadding(RECT{3, 0, 0, 0});
        AppConfig& config = Config();
        if (config.curPhyUnit < 0 || config.curPhyUnit >= kUnitCount)
            config.curPhyUnit = 0;
        units->SelectItem(config.curPhyUnit, false, false);
        if (CControlUI* label = Find("CaliEdtCaliUnit"))
            label->SetText(CalibrationStore::unitName(config.curPhyUnit) + "/px");
    }
    if (SFPrimitiveContainer* container = Container())
        container->setCalibrationMode(true);
}

void CalibrationPage::Leave()
{
    if (!m_shown)
        return;
    ShowErrorCode(m_store.saveIfModified(), m_services.window.GetHWND());
    if (SFPrimitiveContainer* container = Container())
        container->setCalibrationMode(false);
    m_shown = false;
    if (CControlUI* page = Find("PageMeasureNormal"))
        page->SetVisible(true);
    if (CControlUI* page = Find("PageMeasureCalibration"))
        page->SetVisible(false);
    if (CControlUI* tab = Find("MainTabOptCamera"))
        tab->SetEnabled(true);
    if (m_leaving)
        m_leaving();
}

void CalibrationPage::RebuildList()
{
    auto* list = dynamic_cast<CListUI*>(Find("CaliDataList"));
    if (!list)
        return;
    list->SetTextCallback(&m_adapter);
    list->RemoveAll();
    for (int i = 0; i < m_store.count(); ++i)
        list->Add(new CListTextElementUI);
    list->Refresh();
}

float CalibrationPage::Factor() const
{
    double physical = 0;
    if (CControlUI* edit = Find("CaliEdtPhyLen"); !edit || !ParseDecimal(edit->GetText(), physical))
        physical = 0;
    float pixels = 0;
    if (SFPrimitiveContainer* container = Container()) {
        const MeasureData line = container->measureData(0);
        if (!line.lengths.empty())
            pixels = line.lengths[0];
    }
    if (!(physical > 0) || !(pixels > 0))
        return 0;
    const float factor = static_cast<float>(physical / pixels);
    return std::isfinite(factor) && factor > 0 ? factor : 0;
}

void CalibrationPage::ShowFactor()
{
    const float factor = Factor();
    if (CControlUI* edit = Find("CaliEdtCaliData"))
        edit->SetText(factor > 0 ? FormatFixed(factor, 6) : Text("STR_ERROR"));
}

void CalibrationPage::OnLineLength(float pixels)
{
    if (CControlUI* edit = Find("CaliEdtPixLen"))
        edit->SetText(FormatFixed(pixels, 2));
    // The factor follows the line while a length is entered.
    if (CControlUI* edit = Find("CaliEdtPhyLen"); edit && !edit->GetText().empty())
        ShowFactor();
}

void CalibrationPage::InputError()
{
    ShowMessage(m_services.window.GetHWND(), Text("STR_ERROR_INPUT"), Text("STR_MESSAGE"), 0, MB_ICONWARNING);
}

void CalibrationPage::KeepingChoice(const std::function<void()>& change)
{
    AppConfig& config = Config();
    const bool chosen = !config.curCaliName.empty() && config.curCaliData >= 0 && config.curCaliData < m_store.count();
    const std::string name = chosen ? m_store.at(config.curCaliData).nameUtf8() : std::string();
    change();
    // Written at once: the choice saved beside it must never name a list
    // that exists only in memory.
    ShowErrorCode(m_store.saveIfModified(), m_services.window.GetHWND());
    if (chosen) {
        const int index = m_store.indexOf(name);
        if (index < 0) {
            config.curCaliName.clear();
            m_services.setStatus(Text("STR_CALI_GONE_PIXELS"));
        }
        config.curCaliData = index;
        config.SaveCalibrationChoice();
    }
    RebuildList();
}

void CalibrationPage::CreateCalibration()
{
    CControlUI* nameEdit = Find("CaliEdtName");
    const std::string name = nameEdit ? nameEdit->GetText() : std::string();
    const float factor = Factor();
    // A name the file cannot keep, or one longer than the record's 63
    // characters, would come back changed or not at all after a restart.
    CalibrationRecord record;
    if (!CalibrationStore::isStorableName(name) || !(factor > 0) ||
        !CalibrationRecord::make(name, factor, Config().curPhyUnit, record)) {
        InputError();
        return;
    }
    // The factor counts pixels of the picture the line was drawn on.
    if (m_services.view)
        m_services.view->pictureSize(record.width, record.height);
    int added = 0;
    KeepingChoice([&] { added = m_store.add(record); });
    if (added == 1)
        ShowMessage(m_services.window.GetHWND(), Text("STR_ITEM_ALREADY_EXIST"), Text("STR_MESSAGE"), 0,
                    MB_ICONWARNING);
    if (nameEdit)
        nameEdit->SetText("");
    if (CControlUI* edit = Find("CaliEdtPhyLen"))
        edit->SetText("");
}

void CalibrationPage::DeleteSelected()
{
    auto* list = dynamic_cast<CListUI*>(Find("CaliDataList"));
    const int row = list ? list->GetCurSel() : -1;
    if (row < 0 || row >= m_store.count())
        return;
    if (ShowMessage(m_services.window.GetHWND(), Text("STR_SURE_TO_DEL_CALIDATA"), Text("STR_DELETE"), 1,
                    MB_ICONQUESTION) != IDOK)
        return;
    KeepingChoice([&] { m_store.removeAt(row); });
}

void CalibrationPage::Backup()
{
    const std::string path = ui::GetSaveFileName(IniRequest(m_services.window.GetHWND(), "backup.ini"));
    if (path.empty())
        return;
    ShowErrorCode(m_store.exportTo(path), m_services.window.GetHWND());
}

void CalibrationPage::Recover()
{
    const std::string path = ui::GetOpenFileName(IniRequest(m_services.window.GetHWND(), {}));
    if (path.empty())
        return;
    int result = 0;
    KeepingChoice([&] { result = m_store.restore(path); });
    ShowErrorCode(result, m_services.window.GetHWND());
}

} // namespace shell
