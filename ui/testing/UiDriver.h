#pragma once
// Drives windows of the UI layer the way a user would, for tests. Every
// action goes through the real widgets, so the controls send exactly the
// notifications a user's action causes. Actions on a hidden or disabled
// control fail (return false), as they would for a user.
//
//   PELLUMO_UI_TEST_APPLICATION()       // once per test program: Qt + dispatcher
//   CMyWindow window; window.Create(nullptr, "t", UI_WNDSTYLE_FRAME, 0);
//   ui::testing::Driver ui(window);
//   ui.processEvents();                 // "windowinit" and first "setfocus"
//   ui.click("okbtn");
//   ui.selectComboIndex("combo_preview_size", 2);
//   ui.moveSlider("AdjustSldGain", {10, 20, 30});  // drag, release at 30
//   ui.typeText("CaliEdtName", "ruler");
//   Driver::answerNextModal(Driver::ClickControl("okbtn"));
//   ShowMessage(...);                   // answered from its modal loop
//
// A modal window or file dialog that opens without a queued answer records a
// test failure and is closed, so a test never hangs on it.
#include "ui/PaintManager.h"
#include "ui/UIDefs.h"
#include "ui/Window.h"

#include <functional>
#include <string>
#include <vector>

class CMenuWnd;

namespace ui::testing {

class Driver {
public:
    explicit Driver(CPaintManagerUI& manager) : m_manager(&manager) {}
    explicit Driver(CWindowWnd& window);

    // The named control (null, and a test failure, when missing).
    CControlUI* find(const std::string& name) const;
    template <class T> T* findAs(const std::string& name) const { return dynamic_cast<T*>(find(name)); }

    // Press and release of a button or option (also check boxes).
    bool click(const std::string& name);
    // A click on link number `link` of a text control.
    bool clickLink(const std::string& name, int link = 0);
    // The same for a given text control (e.g. one row of a list).
    bool clickLink(CControlUI* control, int link = 0);
    // Picks an entry of a combo box from its drop-down.
    bool selectComboIndex(const std::string& name, int index);
    // Clicks a row of a list.
    bool selectListRow(const std::string& name, int index);
    // Drags a slider's thumb through the positions and releases it at the last.
    bool moveSlider(const std::string& name, const std::vector<int>& positions);
    // Clicks a slider's track: one page step towards `towardsMax`.
    bool clickSliderTrack(const std::string& name, bool towardsMax);
    // Focuses an edit box and types the text at the end of its contents.
    bool typeText(const std::string& name, const std::string& text);
    // Focuses an edit box and erases its contents with the keyboard.
    bool clearText(const std::string& name);
    // A key press and release (VK_ code, KEYSTATE_ modifiers) in the window,
    // delivered to the focused control.
    bool pressKey(WPARAM vk, LPARAM modifiers = 0);
    // The key alone pressed, or released (held keys: Space while dragging).
    bool keyDown(WPARAM vk);
    bool keyUp(WPARAM vk);
    // Mouse actions at a point of the window's client area, delivered to
    // whatever is drawn there (custom controls get them in DoEvent).
    bool mousePress(POINT pt, bool right = false);
    bool mouseRelease(POINT pt, bool right = false);
    bool mouseMove(POINT pt);
    bool doubleClick(POINT pt);
    // Files dragged from outside and dropped at a point of the client area;
    // false when the window did not take them.
    bool dropFiles(const std::vector<std::string>& paths, POINT pt);
    // The window manager's close button.
    bool closeWindow();
    // Whether the control is on screen now (it and all its parents shown).
    bool isShown(const std::string& name) const;
    // Text of a list cell as drawn now.
    std::string listCellText(const std::string& name, int row, int column) const;

    // --- menus -----------------------------------------------------------
    // The open popup menu (after the message loop has opened it).
    static CMenuWnd* openMenu();
    static bool pickMenuItem(const std::string& name);

    // --- modal windows and file dialogs ------------------------------------
    struct ModalAnswer {
        enum class Kind { Click, Key, Close, FilePath, CancelFile, Nothing } kind;
        std::string text; // control name or file path
        WPARAM key = 0;
        // Runs first, while the modal window is up (look at its controls).
        std::function<void(CWindowWnd&, CPaintManagerUI&)> inspect;
    };
    static ModalAnswer ClickControl(const std::string& name);
    static ModalAnswer PressKey(WPARAM vk);
    static ModalAnswer CloseByWindowManager();
    static ModalAnswer ChooseFile(const std::string& path);
    static ModalAnswer CancelFileDialog();
    // Leaves the window open (the test closes it some other way).
    static ModalAnswer LeaveOpen();
    // Answers for the next modal windows/dialogs, in order.
    static void answerNextModal(ModalAnswer answer);
    // Modal windows and file dialogs shown so far.
    static int modalCount();
    static int pendingAnswers();
    static void clearAnswers();

    // Saves a picture of the window (with its shadow, over a grey backdrop)
    // or of the open menu as PNG.
    static bool saveScreenshot(CWindowWnd& window, const std::string& path);
    static bool saveMenuScreenshot(const std::string& path);
    // The window as the screen shows it, including what other toolkits draw
    // into native child windows (the live picture); X11 only.
    static bool saveScreenCapture(CWindowWnd& window, const std::string& path);

    // Runs the message loop until nothing is pending.
    static void processEvents();
    // Runs it until `done` is true or `timeoutMs` passes; returns done().
    static bool processEventsUntil(const std::function<bool()>& done, int timeoutMs = 10000);

private:
    enum class KeyAction { Click, Press, Release };
    bool keyAction(WPARAM vk, LPARAM modifiers, KeyAction action);

    CPaintManagerUI* m_manager;
};

// Creates the Qt application and the message dispatcher for a gtest program
// (a global test environment). Put it in exactly one source file of the test.
void installTestApplication();
// For programs that drive windows outside GoogleTest (screenshots): the
// answers given with Driver::answerNextModal reach the modal windows.
void answerModalWindows(bool on);
#define PELLUMO_UI_TEST_APPLICATION()                                                                                  \
    static const bool pellumo_ui_test_application_installed = (ui::testing::installTestApplication(), true)

} // namespace ui::testing
