#pragma once
// MeasurePage: page 1 of the side bar and the results list below the picture.
// The tool buttons and the paired-circles variant menu, delete-all, the colour
// dialog, CSV export, the chosen calibration ("ComboCaliDataList"), the scale
// bar switch, the container's change messages (WM_MEASURE_*) and, through
// CalibrationPage, the calibration editor.
#include "app/measure/CalibrationStore.h"
#include "app/shell/WindowPart.h"
#include "app/shell/measure_page/CalibrationPage.h"
#include "app/shell/measure_page/MeasureListAdapter.h"
#include "ui/Menu.h"

#include <memory>
#include <optional>

class SFPrimitiveContainer;

namespace shell {

class MeasurePage : public WindowPart {
public:
    explicit MeasurePage(MainWindowServices& services);
    ~MeasurePage() override;

    void Init() override;
    void OnWindowInit() override;
    bool Notify(TNotifyUI& msg) override;
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;
    bool OnMenuCommand(const std::string& item) override;
    void OnLanguageChanged() override;
    void OnCameraChanged() override;
    // Ctrl+Z takes back the last add, delete or move; Delete removes the
    // measurement selected in the results list (only when no text box has
    // the key).
    bool OnKeyWithState(WPARAM key, LPARAM keyState) override;

    // The stored calibrations (loaded from "calibrations.ini" at Init).
    const CalibrationStore& Calibrations() const { return m_store; }
    // The variant of the paired-circles button (0 until one was used).
    int TwoCirclesTool() const { return m_twoCirclesTool; }
    // The records behind the rows of "MeasureDataList".
    const MeasureListAdapter& Results() const { return m_results; }

private:
    SFPrimitiveContainer* Container() const;
    CControlUI* Find(const char* name) const;
    // Lists the calibrations and puts the chosen one in force: the one named
    // in the settings, else the index there (older settings); pixels when
    // the named one is gone (and the status bar says so).
    void FillCalibrationCombo();
    // Makes `index` the choice (pixels when out of range) and applies it.
    void ChooseCalibration(int index);
    // The chosen calibration on the container, for the picture's size, and
    // its unit on the label; the results list shows the new values.
    void ApplyCalibration();
    void RefreshAllRows();
    void ShowTwoCirclesMenu();
    void DeleteAll();
    void ExportCsv();
    void ShowScaleBar(bool on);
    // Selects `tool` and says in the mode field what it needs (hint: a text id).
    void SelectTool(int tool, const char* hint);
    void ShowToolHint();
    void ShowZoom();
    std::string ChosenUnitName() const;
    // The user asked for a live picture of width × height (services'
    // pictureSizeRequested).
    void OnPictureSizeRequested(int width, int height, bool otherCamera);
    // Called whenever the live picture may have changed size: when it now
    // has the size the user asked for, the live measurements follow it;
    // every other change (the program's own switch and back, a reconnect, a
    // still shown instead) leaves their picture coordinates as they are.
    void FollowLivePictureSize();
    // Keeps the live measurements on the specimen across oldWidth × oldHeight
    // → width × height: scaled for the same aspect ratio, shifted with a
    // window on a sensor; for another aspect ratio the user is asked whether
    // to delete them (kept unscaled otherwise).
    void KeepMeasurementsOnSpecimen(int oldWidth, int oldHeight, int width, int height, bool otherCamera);
    // The text marker `index` was placed: its text is asked for; Cancel or
    // an empty text takes the marker back.
    void AskForMarkerText(int index);

    CalibrationStore m_store;
    MeasureListAdapter m_results;
    std::unique_ptr<CalibrationPage> m_calibration;
    int m_twoCirclesTool = 0;
    const char* m_toolHint = nullptr;
    bool m_hintShown = false;
    int m_zoomPercent = 0;
    // The live picture's size the live measurements are placed on (0 × 0
    // before the first), and the size the user asked for, until the next
    // change of the live picture's size.
    int m_liveWidth = 0;
    int m_liveHeight = 0;
    struct SizeRequest {
        int width;
        int height;
        bool otherCamera;
    };
    std::optional<SizeRequest> m_sizeRequest;
    std::unique_ptr<CMenuWnd> m_menu;
    CStdStringPtrMap m_menuCheckInfo;
};

} // namespace shell
