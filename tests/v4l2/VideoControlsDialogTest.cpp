// The video camera's property page as a user works it: rows from the
// control descriptions, changes sent to the device at once, rows an
// automatic mode drives greyed out until it lets go.
#include "app/shell/dialogs/VideoControlsDialog.h"
#include "ui/Controls.h"
#include "ui/EmbeddedResource.h"
#include "ui/MessageDialog.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"
#include "ui/testing/UiDriver.h"

#include <gtest/gtest.h>

#include <linux/videodev2.h>

#include <cstdlib>
#include <map>

using ui::testing::Driver;

PELLUMO_UI_TEST_APPLICATION();
PELLUMO_DECLARE_EMBEDDED(pellumo_skin)

namespace {

CMControlDescription describe(unsigned id, CMControlDescription::Kind kind, const char* name, int min, int max,
                              int step, int def)
{
    CMControlDescription d;
    d.id = id;
    d.kind = kind;
    d.name = name;
    d.minimum = min;
    d.maximum = max;
    d.step = step;
    d.defaultValue = def;
    return d;
}

// A device with gain, automatic white balance driving the temperature,
// mains frequency and a button.
class FakePanel : public CMControlPanel {
public:
    std::vector<CMControlDescription> controls() override
    {
        const auto gain = describe(V4L2_CID_GAIN, CMControlDescription::Integer, "Gain", 0, 100, 1, 10);
        const auto awb =
            describe(V4L2_CID_AUTO_WHITE_BALANCE, CMControlDescription::Boolean, "White Balance, Auto", 0, 1, 1, 1);
        auto temperature = describe(V4L2_CID_WHITE_BALANCE_TEMPERATURE, CMControlDescription::Integer,
                                    "Temperature <K>", 2800, 6500, 10, 4600);
        temperature.inactive = values[V4L2_CID_AUTO_WHITE_BALANCE] != 0;
        auto mains = describe(V4L2_CID_POWER_LINE_FREQUENCY, CMControlDescription::Menu, "Power Line", 0, 2, 1, 1);
        mains.menu = {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}};
        const auto reset = describe(V4L2_CID_PAN_RESET, CMControlDescription::Button, "Pan Reset", 0, 0, 1, 0);
        return {gain, awb, temperature, mains, reset};
    }
    int getControl(unsigned id, int* value) override
    {
        *value = values[id];
        return 0;
    }
    int setControl(unsigned id, int value) override
    {
        writes.emplace_back(id, value);
        values[id] = value;
        return 0;
    }
    std::map<unsigned, int> values{{V4L2_CID_GAIN, 10},
                                   {V4L2_CID_AUTO_WHITE_BALANCE, 1},
                                   {V4L2_CID_WHITE_BALANCE_TEMPERATURE, 4600},
                                   {V4L2_CID_POWER_LINE_FREQUENCY, 1}};
    std::vector<std::pair<unsigned, int>> writes;
};

std::string row(unsigned id) { return "ctl_" + std::to_string(id); }

TEST(VideoControlsDialog, ChangesGoToTheDeviceAndAutomaticModesGreyOutTheirRows)
{
    // The program's skin: the dialog uses its images and language texts.
    CPaintManagerUI::SetResourceType(4);
    const ui::EmbeddedResource skin = pellumo_skin();
    ASSERT_TRUE(CPaintManagerUI::SetResourceZip(skin.data, skin.size));
    FakePanel panel;
    bool inspected = false;
    Driver::ModalAnswer answer = Driver::ClickControl("okbtn");
    answer.inspect = [&](CWindowWnd& window, CPaintManagerUI& pm) {
        inspected = true;
        if (const char* shot = std::getenv("VIDEO_CONTROLS_SCREENSHOT"))
            Driver::saveScreenshot(window, shot); // a picture to look at
        Driver ui(pm);
        ASSERT_NE(pm.FindControl("caption"), nullptr);
        EXPECT_EQ(pm.FindControl("caption")->GetText(), "Scope & Co");
        auto* temperature = pm.FindControl(row(V4L2_CID_WHITE_BALANCE_TEMPERATURE));
        ASSERT_NE(temperature, nullptr);
        EXPECT_FALSE(temperature->IsEnabled());
        EXPECT_EQ(static_cast<CSliderUI*>(temperature)->GetValue(), 4600);
        auto* mains = dynamic_cast<CComboUI*>(pm.FindControl(row(V4L2_CID_POWER_LINE_FREQUENCY)));
        ASSERT_NE(mains, nullptr);
        EXPECT_EQ(mains->GetCurSel(), 1);

        EXPECT_TRUE(ui.moveSlider(row(V4L2_CID_GAIN), {20, 30}));
        EXPECT_EQ(panel.values[V4L2_CID_GAIN], 30);
        EXPECT_EQ(pm.FindControl("val_" + std::to_string(V4L2_CID_GAIN))->GetText(), "30");
        EXPECT_TRUE(ui.click(row(V4L2_CID_AUTO_WHITE_BALANCE)));
        EXPECT_EQ(panel.values[V4L2_CID_AUTO_WHITE_BALANCE], 0);
        EXPECT_TRUE(temperature->IsEnabled());
        EXPECT_TRUE(ui.selectComboIndex(row(V4L2_CID_POWER_LINE_FREQUENCY), 2));
        EXPECT_EQ(panel.values[V4L2_CID_POWER_LINE_FREQUENCY], 2);
        EXPECT_TRUE(ui.click(row(V4L2_CID_PAN_RESET)));
        EXPECT_EQ(panel.values[V4L2_CID_PAN_RESET], 1);
    };
    Driver::answerNextModal(answer);
    shell::ShowVideoControls(nullptr, "Scope & Co", &panel);
    EXPECT_TRUE(inspected);
    // Only what the user changed was written.
    for (const auto& [id, value] : panel.writes)
        EXPECT_NE(id, static_cast<unsigned>(V4L2_CID_WHITE_BALANCE_TEMPERATURE));
    Driver::clearAnswers();

    // The camera goes away while the dialog is open, with a question on top
    // of it: closing the settings ends both, innermost first, and nothing
    // reaches the panel after that.
    FakePanel lost;
    UINT questionResult = 0;
    Driver::ModalAnswer open = Driver::LeaveOpen();
    open.inspect = [&](CWindowWnd& window, CPaintManagerUI&) {
        Driver::ModalAnswer question = Driver::LeaveOpen();
        question.inspect = [](CWindowWnd&, CPaintManagerUI&) { shell::CloseVideoControls(); };
        Driver::answerNextModal(question);
        questionResult = ShowMessage(window.GetHWND(), "Reset?", "Question", 1);
    };
    Driver::answerNextModal(open);
    shell::ShowVideoControls(nullptr, "Lost", &lost);
    EXPECT_EQ(questionResult, 2u); // cancelled
    EXPECT_TRUE(lost.writes.empty());
    shell::CloseVideoControls(); // none open: nothing happens
    Driver::clearAnswers();
    CResourceManager::GetInstance()->Release();
}

} // namespace
