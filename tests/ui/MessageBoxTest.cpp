// The message box and the error-code box, answered as a user answers them.
#include "UiTestSupport.h"

#include "ui/MessageDialog.h"
#include "ui/ModalWindows.h"

#include <optional>

namespace {

struct BoxState {
    std::string caption, text, picture;
    bool cancelShown = false, okShown = false;
};

// Records what the box shows before the answer is given.
Driver::ModalAnswer inspecting(Driver::ModalAnswer answer, std::optional<BoxState>& seen)
{
    answer.inspect = [&seen](CWindowWnd& window, CPaintManagerUI& pm) {
        Driver ui(pm);
        (void)window;
        seen = BoxState{pm.FindControl("caption")->GetText(), pm.FindControl("Tex_Message")->GetText(),
                        pm.FindControl("TextLayout")->GetBkImage(), ui.isShown("cancelbtn"), ui.isShown("okbtn")};
    };
    return answer;
}

class MessageBoxTest : public UiTest {
protected:
    void SetUp() override
    {
        UiTest::SetUp();
        open(owner);
    }
    UINT ask(int buttons, Driver::ModalAnswer answer)
    {
        Driver::answerNextModal(inspecting(std::move(answer), seen));
        return ShowMessage(owner, "Are you sure?", "Question", buttons, MB_ICONQUESTION);
    }
    TestWindow owner;
    std::optional<BoxState> seen;
};

TEST_F(MessageBoxTest, OkAndCancelBoxReturnsWhatTheUserChose)
{
    const int before = Driver::modalCount();
    EXPECT_EQ(ask(1, Driver::ClickControl("okbtn")), 1u);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->caption, "Question");
    EXPECT_EQ(seen->text, "Are you sure?");
    EXPECT_TRUE(seen->cancelShown);
    EXPECT_EQ(ask(1, Driver::ClickControl("cancelbtn")), 2u);
    EXPECT_EQ(ask(1, Driver::ClickControl("closebtn")), 2u);
    EXPECT_EQ(ask(1, Driver::PressKey(VK_RETURN)), 1u);
    EXPECT_EQ(ask(1, Driver::PressKey(VK_ESCAPE)), 2u);
    EXPECT_EQ(ask(1, Driver::CloseByWindowManager()), 2u);
    EXPECT_EQ(Driver::modalCount() - before, 6);
}

TEST_F(MessageBoxTest, OkOnlyBoxHidesCancel)
{
    EXPECT_EQ(ask(0, Driver::ClickControl("okbtn")), 1u);
    ASSERT_TRUE(seen);
    EXPECT_FALSE(seen->cancelShown);
    EXPECT_TRUE(seen->okShown);
    Driver::ModalAnswer escape = Driver::PressKey(VK_ESCAPE);
    escape.inspect = [](CWindowWnd&, CPaintManagerUI& pm) {
        EXPECT_FALSE(Driver(pm).click("cancelbtn")) << "a hidden button cannot be clicked";
    };
    Driver::answerNextModal(escape);
    EXPECT_EQ(ShowMessage(owner, "t", "c", 0, MB_ICONWARNING), 2u);
    EXPECT_EQ(ask(0, Driver::ClickControl("closebtn")), 2u);
}

TEST_F(MessageBoxTest, OtherButtonValuesShowNothing)
{
    const int before = Driver::modalCount();
    EXPECT_EQ(ShowMessage(owner, "x", "y", 2, MB_ICONWARNING), 0u);
    EXPECT_EQ(ShowMessage(owner, "x", "y", -1, MB_ICONWARNING), 0u);
    EXPECT_EQ(Driver::modalCount(), before);
}

TEST_F(MessageBoxTest, IconsChooseThePicture)
{
    const std::string warning = "file='ui\\images\\msgboxbg_warning.png' dest='0,0,110,110'";
    const std::string question = "file='ui\\images\\msgboxbg_question.png' dest='0,0,110,110'";
    const std::string information = "file='ui\\images\\msgboxbg_information.png' dest='0,0,110,110'";
    const std::pair<int, std::string> cases[] = {
        {MB_ICONERROR, warning},           {MB_ICONWARNING, warning}, {MB_ICONQUESTION, question},
        {MB_ICONINFORMATION, information}, {0, information},          {99, information}};
    for (const auto& [icon, picture] : cases) {
        seen.reset();
        Driver::answerNextModal(inspecting(Driver::ClickControl("okbtn"), seen));
        EXPECT_EQ(ShowMessage(owner, "t", "c", 0, icon), 1u);
        ASSERT_TRUE(seen);
        EXPECT_EQ(seen->picture, picture) << "icon " << icon;
    }
}

TEST_F(MessageBoxTest, ErrorCodesShowTheirMessages)
{
    const std::pair<int, const char*> rows[] = {{-1, "Failed to get personal document folder."},
                                                {-2, "Failed to create directory."},
                                                {-3, "Failed to open configuration file."},
                                                {-4, "Failed to save configuration file."},
                                                {-5, "Configuration file path error."},
                                                {-6, "This version of the software does not support automatic update."},
                                                {-7, "Failed to initialize image render."}};
    for (const auto& [code, message] : rows) {
        seen.reset();
        Driver::answerNextModal(inspecting(Driver::ClickControl("okbtn"), seen));
        ShowErrorCode(code, owner);
        ASSERT_TRUE(seen) << code;
        EXPECT_EQ(seen->text, message);
        EXPECT_EQ(seen->caption, "Error");
        EXPECT_FALSE(seen->cancelShown);
        EXPECT_NE(seen->picture.find("msgboxbg_warning.png"), std::string::npos);
    }
}

TEST_F(MessageBoxTest, CodesWithoutAMessageShowNothing)
{
    const int before = Driver::modalCount();
    for (int code : {0, 3, -8, -9, -1000})
        ShowErrorCode(code, owner);
    EXPECT_EQ(Driver::modalCount(), before);
}

TEST_F(MessageBoxTest, OnlyTheUpdateMessageIsTranslated)
{
    ASSERT_TRUE(CResourceManager::GetInstance()->LoadLanguage("xmls\\lang\\strings_ru_RU.xml"));
    EXPECT_EQ(ErrorCodeMessage(-6), "Эта версия программы не поддерживает автоматическое обновление.");
    EXPECT_EQ(ErrorCodeMessage(-3), "Failed to open configuration file.");
    seen.reset();
    Driver::answerNextModal(inspecting(Driver::PressKey(VK_RETURN), seen));
    ShowErrorCode(-6, owner);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->text, ErrorCodeMessage(-6));
    EXPECT_EQ(seen->caption, "Error");
}

TEST_F(MessageBoxTest, DialogReportsItsFinalMessage)
{
    testing::internal::CaptureStdout();
    Driver::answerNextModal(Driver::ClickControl("okbtn"));
    ShowMessage(nullptr, "no owner", "t", 0, MB_ICONINFORMATION);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("OnFinalMessage"), std::string::npos);
}

// A derived dialog: hooks, OK and Cancel overrides.
class NameDialog : public CBaseDialog {
public:
    NameDialog() : CBaseDialog("xmls\\dialog_messagebox.xml") {}
    void OnInitDialog() override { ++inits; }
    void OnClick(TNotifyUI& msg) override { clicks.push_back(msg.pSender->GetName()); }
    void OnOK() override
    {
        stored = true;
        CBaseDialog::OnOK();
    }
    int inits = 0;
    bool stored = false;
    std::vector<std::string> clicks;
};

TEST_F(MessageBoxTest, DerivedDialogHooksRun)
{
    NameDialog dialog;
    ASSERT_NE(dialog.Create(owner, "Name"), nullptr);
    EXPECT_EQ(dialog.inits, 1);
    EXPECT_STREQ(dialog.GetWindowClassName(), "UIBaseDialog");
    dialog.CenterWindow();
    Driver::ModalAnswer answer = Driver::ClickControl("okbtn");
    answer.inspect = [](CWindowWnd&, CPaintManagerUI& pm) {
        Driver ui(pm);
        EXPECT_TRUE(ui.clickLink("Tex_Message") == false); // no link in the text
    };
    Driver::answerNextModal(answer);
    EXPECT_EQ(dialog.ShowModal(), 1u);
    EXPECT_TRUE(dialog.stored);
}

TEST_F(MessageBoxTest, SystemCloseCancelsWithoutStoring)
{
    NameDialog dialog;
    ASSERT_NE(dialog.Create(owner), nullptr);
    Driver::answerNextModal(Driver::CloseByWindowManager());
    EXPECT_EQ(dialog.ShowModal(), 2u);
    EXPECT_FALSE(dialog.stored);
}

// Keeps itself open when asked to close (a dialog that would ask first).
class StubbornDialog : public CBaseDialog {
public:
    StubbornDialog() : CBaseDialog("xmls\\dialog_messagebox.xml") {}
    LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) override
    {
        ++closeRequests;
        bHandled = TRUE;
        return 0;
    }
    int closeRequests = 0;
};

TEST_F(MessageBoxTest, ModalWindowsAreEndedAsCancelledWithThoseOnTopOfThem)
{
    // A dialog, a dialog over it that refuses to close, a box over that.
    NameDialog first;
    StubbornDialog second;
    ASSERT_NE(first.Create(owner), nullptr);
    ASSERT_NE(second.Create(first), nullptr);
    UINT secondResult = 0, boxResult = 0;
    Driver::ModalAnswer inFirst = Driver::LeaveOpen();
    inFirst.inspect = [&](CWindowWnd&, CPaintManagerUI&) {
        Driver::ModalAnswer inSecond = Driver::LeaveOpen();
        inSecond.inspect = [&](CWindowWnd&, CPaintManagerUI&) {
            Driver::ModalAnswer inBox = Driver::LeaveOpen();
            inBox.inspect = [&](CWindowWnd&, CPaintManagerUI&) {
                EXPECT_EQ(ui::ModalWindowCount(), 3);
                EXPECT_FALSE(ui::CloseModalWindow(owner)) << "not a modal window";
                EXPECT_TRUE(ui::CloseModalWindow(second));
            };
            Driver::answerNextModal(inBox);
            boxResult = ShowMessage(second, "Sure?", "Question", 1, MB_ICONQUESTION);
        };
        Driver::answerNextModal(inSecond);
        secondResult = second.ShowModal();
        // The one below them stays open until it is ended too.
        EXPECT_EQ(ui::ModalWindowCount(), 1);
        EXPECT_TRUE(first.IsWindow());
        ui::CloseModalWindows();
    };
    Driver::answerNextModal(inFirst);
    EXPECT_EQ(first.ShowModal(), UINT(IDCANCEL));
    EXPECT_EQ(boxResult, UINT(IDCANCEL));
    EXPECT_EQ(secondResult, UINT(IDCANCEL));
    EXPECT_EQ(second.closeRequests, 1) << "its own close path runs first";
    EXPECT_FALSE(second.IsWindow());
    EXPECT_FALSE(first.stored);
    EXPECT_EQ(ui::ModalWindowCount(), 0);
}

} // namespace
