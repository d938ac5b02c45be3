#pragma once
// Shared pieces of the UI layer's tests: the test skin, a window that records
// what it receives, and a custom control.
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/EmbeddedResource.h"
#include "ui/List.h"
#include "ui/Menu.h"
#include "ui/PaintManager.h"
#include "ui/ResourceManager.h"
#include "ui/Window.h"
#include "ui/testing/UiDriver.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

PELLUMO_DECLARE_EMBEDDED(pellumo_test_skin)

using ui::testing::Driver;

struct Note {
    std::string type;
    std::string sender;
    WPARAM wParam;
    LPARAM lParam;
    bool operator==(const Note&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Note& n)
{
    return os << "{" << n.type << ", " << n.sender << ", " << n.wParam << ", " << n.lParam << "}";
}

struct Received {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

// A custom control created through the control-creation callback.
class SlotControl : public CControlUI {
public:
    LPCTSTR GetClass() const override { return "ImageSlotUI"; }
    void SetPos(RECT rc, bool invalidate) override
    {
        CControlUI::SetPos(rc, invalidate);
        lastPos = rc;
        ++posCalls;
    }
    void DoEvent(TEventUI& event) override { events.push_back(event.Type); }
    RECT lastPos;
    int posCalls = 0;
    std::vector<int> events;
};

class TestWindow : public WindowImplBase {
public:
    LPCTSTR GetWindowClassName() const override { return "TestWnd"; }
    std::string GetSkinFile() override { return skin; }
    CControlUI* CreateControl(LPCTSTR pstrClass) override
    {
        if (std::string(pstrClass) == "ImageSlot")
            return slot = new SlotControl;
        return nullptr;
    }
    void Notify(TNotifyUI& msg) override
    {
        notes.push_back({msg.sType, msg.pSender ? msg.pSender->GetName() : "", msg.wParam, msg.lParam});
        lastNotePointer = msg.ptMouse;
        WindowImplBase::Notify(msg);
    }
    LRESULT HandleCustomMessage(UINT uMsg, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override
    {
        if (uMsg == WM_KEYUP)
            releasedKeys.push_back(wParam);
        if (uMsg == WM_TIMER || uMsg >= WM_USER) {
            received.push_back({uMsg, wParam, lParam});
            if (uMsg == WM_MENUCLICK) {
                menuCommands.push_back(*reinterpret_cast<MenuCmd*>(wParam));
                CPaintManagerUI::DeletePtr(reinterpret_cast<void*>(wParam));
            }
            bHandled = TRUE;
            return static_cast<LRESULT>(wParam) + 1;
        }
        return WindowImplBase::HandleCustomMessage(uMsg, wParam, lParam, bHandled);
    }
    LRESULT OnKeyDown(UINT, WPARAM wParam, LPARAM lParam, BOOL& bHandled) override
    {
        keys.push_back(wParam);
        keyStates.push_back(lParam);
        bHandled = FALSE;
        return 0;
    }
    LRESULT ResponseDefaultKeyEvent(WPARAM wParam) override
    {
        defaultKeys.push_back(wParam);
        return consumeDefaultKeys ? TRUE : FALSE;
    }
    LRESULT OnClose(UINT, WPARAM, LPARAM, BOOL& bHandled) override
    {
        ++closeRequests;
        bHandled = keepOpen ? TRUE : FALSE;
        return 0;
    }
    LRESULT OnDestroy(UINT, WPARAM, LPARAM, BOOL& bHandled) override
    {
        destroyed = true;
        bHandled = FALSE;
        return 0;
    }
    CPaintManagerUI& pm() { return m_PaintManager; }
    template <class T> T* find(const char* name) { return dynamic_cast<T*>(m_PaintManager.FindControl(name)); }
    std::vector<Note> notesOf(const std::string& type) const
    {
        std::vector<Note> out;
        for (auto& n : notes)
            if (n.type == type)
                out.push_back(n);
        return out;
    }

    std::string skin = "xmls\\test_window.xml";
    SlotControl* slot = nullptr;
    std::vector<Note> notes;
    POINT lastNotePointer{}; // the pointer where the last notification says it was
    std::vector<Received> received;
    std::vector<MenuCmd> menuCommands;
    std::vector<WPARAM> keys, defaultKeys, releasedKeys;
    std::vector<LPARAM> keyStates;
    bool consumeDefaultKeys = false;
    bool keepOpen = false;
    bool destroyed = false;
    int closeRequests = 0;
};

// Loads the test skin and the English texts; checks no modal answer is left.
class UiTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const ui::EmbeddedResource skin = pellumo_test_skin();
        ASSERT_TRUE(CPaintManagerUI::SetResourceZip(skin.data, skin.size));
        CResourceManager::GetInstance()->Release();
        ASSERT_TRUE(CResourceManager::GetInstance()->LoadLanguage("xmls\\lang\\strings_en_US.xml"));
        Driver::clearAnswers();
    }
    void TearDown() override
    {
        Driver::processEvents();
        EXPECT_EQ(Driver::pendingAnswers(), 0) << "a queued modal answer was not used";
        Driver::clearAnswers();
    }

    // Creates and shows the test window and lets "windowinit" arrive.
    void open(TestWindow& window)
    {
        ASSERT_NE(window.Create(nullptr, "Test", UI_WNDSTYLE_FRAME, 0), nullptr);
        Driver::processEvents();
    }
};
