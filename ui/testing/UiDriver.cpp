#include "ui/testing/UiDriver.h"

#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/List.h"
#include "ui/Menu.h"
#include "ui/internal/ModalObserver.h"
#include "ui/internal/Resources.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <memory>

using namespace ui::detail;

namespace ui::testing {
namespace {

bool usable(QWidget* w)
{
    return w && w->isEnabled() && (w->window()->isVisible() ? w->isVisible() : w->isVisibleTo(w->window()));
}

int qtKey(WPARAM vk)
{
    switch (vk) {
    case VK_RETURN: return Qt::Key_Return;
    case VK_ESCAPE: return Qt::Key_Escape;
    case VK_TAB: return Qt::Key_Tab;
    case VK_BACK: return Qt::Key_Backspace;
    case VK_DELETE: return Qt::Key_Delete;
    case VK_SPACE: return Qt::Key_Space;
    default: break;
    }
    if (vk >= VK_LEFT && vk <= VK_DOWN)
        return static_cast<int>(Qt::Key_Left + (vk - VK_LEFT));
    if (vk >= VK_F1 && vk < VK_F1 + 24)
        return static_cast<int>(Qt::Key_F1 + (vk - VK_F1));
    if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9'))
        return static_cast<int>(vk);
    if (vk == VK_OEM_PLUS)
        return Qt::Key_Plus;
    if (vk == VK_OEM_MINUS)
        return Qt::Key_Minus;
    return 0;
}

Qt::KeyboardModifiers qtModifiers(LPARAM keyState)
{
    Qt::KeyboardModifiers modifiers;
    if (keyState & KEYSTATE_SHIFT)
        modifiers |= Qt::ShiftModifier;
    if (keyState & KEYSTATE_CONTROL)
        modifiers |= Qt::ControlModifier;
    if (keyState & KEYSTATE_ALT)
        modifiers |= Qt::AltModifier;
    return modifiers;
}

// Answers modal windows and file dialogs from the queue.
class Answerer : public ModalObserver {
public:
    std::deque<Driver::ModalAnswer> answers;
    int shown = 0;

    Driver::ModalAnswer next(const char* what)
    {
        ++shown;
        if (answers.empty()) {
            ADD_FAILURE() << "a " << what << " opened without a queued answer; closing it";
            return Driver::CloseByWindowManager();
        }
        Driver::ModalAnswer answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }

    void modalWindowShown(CWindowWnd* window) override
    {
        Driver::ModalAnswer answer = next("modal window");
        QTimer::singleShot(0, window->GetWidget(), [window, answer] {
            Driver driver(*window);
            if (answer.inspect && window->GetFrameManager())
                answer.inspect(*window, *window->GetFrameManager());
            bool done = false;
            switch (answer.kind) {
            case Driver::ModalAnswer::Kind::Click: done = driver.click(answer.text); break;
            case Driver::ModalAnswer::Kind::Key: done = driver.pressKey(answer.key); break;
            case Driver::ModalAnswer::Kind::Close: done = driver.closeWindow(); break;
            case Driver::ModalAnswer::Kind::Nothing: done = true; break;
            default: ADD_FAILURE() << "a file-dialog answer was given to a modal window"; break;
            }
            if (!done) {
                ADD_FAILURE() << "could not answer the modal window with '" << answer.text << "'; closing it";
                window->DestroyWindow();
            }
        });
    }

    void fileDialogShown(QFileDialog* dialog) override
    {
        Driver::ModalAnswer answer = next("file dialog");
        QTimer::singleShot(0, dialog, [dialog, answer] {
            if (answer.kind != Driver::ModalAnswer::Kind::FilePath) {
                if (answer.kind != Driver::ModalAnswer::Kind::CancelFile)
                    ADD_FAILURE() << "a window answer was given to a file dialog";
                dialog->reject();
                return;
            }
            const QFileInfo chosen(QDir::cleanPath(toQString(answer.text)));
            if (dialog->fileMode() == QFileDialog::Directory) {
                dialog->setDirectory(chosen.absoluteFilePath());
            } else {
                dialog->setDirectory(chosen.absolutePath());
                dialog->selectFile(chosen.fileName());
            }
            const bool overwrite =
                dialog->acceptMode() == QFileDialog::AcceptSave && QFileInfo::exists(toQString(answer.text));
            if (overwrite)
                static_cast<QDialog*>(dialog)->done(QDialog::Accepted); // skip the overwrite question
            else
                static_cast<QDialog*>(dialog)->accept();
        });
    }
};

Answerer& answerer()
{
    static Answerer instance;
    return instance;
}

QtMessageHandler g_previousHandler = nullptr;

// The offscreen platform warns about every window feature it lacks.
void quietMessages(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (message.startsWith(QLatin1String("This plugin does not support")))
        return;
    if (g_previousHandler)
        g_previousHandler(type, context, message);
}

class TestApplication : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_previousHandler = qInstallMessageHandler(quietMessages);
        // Without a display the logic tests still run, on Qt's offscreen platform.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
            qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "pellumo-ui-test";
        static char* argv[] = {name, nullptr};
        m_app = std::make_unique<ui::Application>(argc, argv);
        setModalObserver(&answerer());
    }
    void TearDown() override
    {
        setModalObserver(nullptr);
        m_app.reset();
    }

private:
    std::unique_ptr<ui::Application> m_app;
};

} // namespace

void installTestApplication() { ::testing::AddGlobalTestEnvironment(new TestApplication); }

void answerModalWindows(bool on) { setModalObserver(on ? &answerer() : nullptr); }

Driver::Driver(CWindowWnd& window) : m_manager(window.GetFrameManager()) {}

CControlUI* Driver::find(const std::string& name) const
{
    CControlUI* control = m_manager ? m_manager->FindControl(name) : nullptr;
    if (!control)
        ADD_FAILURE() << "no control named '" << name << "'";
    return control;
}

bool Driver::click(const std::string& name)
{
    CControlUI* control = find(name);
    auto* button = control ? qobject_cast<QAbstractButton*>(control->GetWidget()) : nullptr;
    if (!usable(button))
        return false;
    QPointer<QAbstractButton> guard(button);
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

bool Driver::clickLink(const std::string& name, int link) { return clickLink(find(name), link); }

bool Driver::clickLink(CControlUI* control, int link)
{
    auto* label = control ? qobject_cast<QLabel*>(control->GetWidget()) : nullptr;
    if (!usable(label) || !control->GetInterface("Text"))
        return false;
    const std::string text = control->GetText();
    int links = 0;
    for (size_t at = text.find("{a}"); at != std::string::npos; at = text.find("{a}", at + 3))
        ++links;
    if (link < 0 || link >= links)
        return false;
    emit label->linkActivated(QString::number(link));
    return true;
}

bool Driver::selectComboIndex(const std::string& name, int index)
{
    CControlUI* control = find(name);
    auto* combo = control ? qobject_cast<QComboBox*>(control->GetWidget()) : nullptr;
    if (!usable(combo) || index < 0 || index >= combo->count())
        return false;
    // What picking an entry from the open drop-down does.
    combo->setCurrentIndex(index);
    emit combo->activated(index);
    return true;
}

bool Driver::selectListRow(const std::string& name, int index)
{
    auto* list = dynamic_cast<CListUI*>(find(name));
    if (!list || !usable(list->GetWidget()))
        return false;
    CControlUI* row = list->GetItemAt(index);
    if (!row || !row->GetWidget())
        return false;
    list->EnsureVisible(index);
    QWidget* w = row->GetWidget();
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(2, w->height() / 2));
    return true;
}

bool Driver::moveSlider(const std::string& name, const std::vector<int>& positions)
{
    CControlUI* control = find(name);
    auto* slider = control ? qobject_cast<QSlider*>(control->GetWidget()) : nullptr;
    if (!usable(slider) || positions.empty())
        return false;
    slider->setSliderDown(true);
    for (int position : positions)
        slider->setSliderPosition(position);
    slider->setSliderDown(false);
    return true;
}

bool Driver::clickSliderTrack(const std::string& name, bool towardsMax)
{
    CControlUI* control = find(name);
    auto* slider = control ? qobject_cast<QSlider*>(control->GetWidget()) : nullptr;
    if (!usable(slider))
        return false;
    slider->triggerAction(towardsMax ? QAbstractSlider::SliderPageStepAdd : QAbstractSlider::SliderPageStepSub);
    return true;
}

bool Driver::typeText(const std::string& name, const std::string& text)
{
    CControlUI* control = find(name);
    auto* edit = control ? qobject_cast<QLineEdit*>(control->GetWidget()) : nullptr;
    if (!usable(edit))
        return false;
    // As a click into the box would: the window's focus control is the box
    // even while another window (a suite beside this one) is active.
    m_manager->SetFocus(control);
    edit->setFocus(Qt::MouseFocusReason);
    edit->end(false);
    QTest::keyClicks(edit, toQString(text));
    return true;
}

bool Driver::clearText(const std::string& name)
{
    CControlUI* control = find(name);
    auto* edit = control ? qobject_cast<QLineEdit*>(control->GetWidget()) : nullptr;
    if (!usable(edit))
        return false;
    edit->setFocus(Qt::MouseFocusReason);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(edit, Qt::Key_Backspace);
    return true;
}

bool Driver::pressKey(WPARAM vk, LPARAM modifiers) { return keyAction(vk, modifiers, KeyAction::Click); }

bool Driver::keyDown(WPARAM vk) { return keyAction(vk, 0, KeyAction::Press); }

bool Driver::keyUp(WPARAM vk) { return keyAction(vk, 0, KeyAction::Release); }

bool Driver::keyAction(WPARAM vk, LPARAM modifiers, KeyAction action)
{
    const int key = qtKey(vk);
    CWindowWnd* window = m_manager ? m_manager->GetWindow() : nullptr;
    if (!key || !window || !window->GetWidget())
        return false;
    QWidget* host = window->GetWidget();
    QWidget* target = QApplication::focusWidget();
    if (!target || target->window() != host) {
        // Another window is active (a suite beside this one): the key goes
        // where this window's focus is, or to the window itself.
        CControlUI* focus = m_manager->GetFocus();
        target = focus && focus->GetWidget() && focus->GetWidget()->isVisible() ? focus->GetWidget() : host;
    }
    switch (action) {
    case KeyAction::Click: QTest::keyClick(target, static_cast<Qt::Key>(key), qtModifiers(modifiers)); break;
    case KeyAction::Press: QTest::keyPress(target, static_cast<Qt::Key>(key), qtModifiers(modifiers)); break;
    case KeyAction::Release: QTest::keyRelease(target, static_cast<Qt::Key>(key), qtModifiers(modifiers)); break;
    }
    return true;
}

namespace {
// Buttons the driver holds down (press without release yet).
Qt::MouseButtons g_heldButtons = Qt::NoButton;

// The widget under a client point and the point in its coordinates.
QWidget* widgetAt(CPaintManagerUI* pm, POINT pt, QPoint& local)
{
    CWindowWnd* window = pm ? pm->GetWindow() : nullptr;
    QWidget* client = window ? window->GetClientWidget() : nullptr;
    if (!client)
        return nullptr;
    QWidget* target = client->childAt(pt.x, pt.y);
    if (!target)
        target = client;
    local = target->mapFrom(client, QPoint(pt.x, pt.y));
    return target;
}
} // namespace

bool Driver::mousePress(POINT pt, bool right)
{
    QPoint local;
    QWidget* target = widgetAt(m_manager, pt, local);
    if (!target)
        return false;
    QTest::mousePress(target, right ? Qt::RightButton : Qt::LeftButton, {}, local);
    g_heldButtons |= right ? Qt::RightButton : Qt::LeftButton;
    return true;
}

bool Driver::mouseRelease(POINT pt, bool right)
{
    QPoint local;
    QWidget* target = widgetAt(m_manager, pt, local);
    if (!target)
        return false;
    QTest::mouseRelease(target, right ? Qt::RightButton : Qt::LeftButton, {}, local);
    g_heldButtons &= ~Qt::MouseButtons(right ? Qt::RightButton : Qt::LeftButton);
    return true;
}

bool Driver::mouseMove(POINT pt)
{
    QPoint local;
    QWidget* target = widgetAt(m_manager, pt, local);
    if (!target)
        return false;
    if (g_heldButtons != Qt::NoButton) {
        QTest::mouseMove(target, local);
        return true;
    }
    // Without a button QTest only warps the pointer, and the server's motion
    // event arrives whenever it does: hovering would race the next action. A
    // direct event reaches the widget now.
    QMouseEvent move(QEvent::MouseMove, QPointF(local), QPointF(target->mapToGlobal(local)), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(target, &move);
    return true;
}

bool Driver::dropFiles(const std::vector<std::string>& paths, POINT pt)
{
    QPoint local;
    QWidget* target = widgetAt(m_manager, pt, local);
    if (!target)
        return false;
    // What a file manager's drag hands over; Qt passes each event up to the
    // first widget that takes drops, as it does for a drag from outside.
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths)
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(path)));
    data.setUrls(urls);
    QDragEnterEvent enter(local, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(local), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
}

bool Driver::doubleClick(POINT pt)
{
    QPoint local;
    QWidget* target = widgetAt(m_manager, pt, local);
    if (!target)
        return false;
    QTest::mouseDClick(target, Qt::LeftButton, {}, local);
    return true;
}

bool Driver::closeWindow()
{
    CWindowWnd* window = m_manager ? m_manager->GetWindow() : nullptr;
    if (!window || !window->GetWidget())
        return false;
    window->GetWidget()->close();
    return true;
}

bool Driver::isShown(const std::string& name) const
{
    CControlUI* control = find(name);
    return control && control->GetWidget() && control->GetWidget()->isVisible();
}

std::string Driver::listCellText(const std::string& name, int row, int column) const
{
    auto* list = dynamic_cast<CListUI*>(find(name));
    auto* element = list ? dynamic_cast<CListTextElementUI*>(list->GetItemAt(row)) : nullptr;
    return element ? element->GetText(column) : std::string();
}

CMenuWnd* Driver::openMenu()
{
    processEvents();
    return CMenuWnd::GetActiveMenu();
}

bool Driver::pickMenuItem(const std::string& name)
{
    CMenuWnd* menu = openMenu();
    if (!menu) {
        ADD_FAILURE() << "no menu is open to pick '" << name << "' from";
        return false;
    }
    return menu->ClickItem(name);
}

Driver::ModalAnswer Driver::ClickControl(const std::string& name) { return {ModalAnswer::Kind::Click, name, 0, {}}; }
Driver::ModalAnswer Driver::PressKey(WPARAM vk) { return {ModalAnswer::Kind::Key, {}, vk, {}}; }
Driver::ModalAnswer Driver::CloseByWindowManager() { return {ModalAnswer::Kind::Close, {}, 0, {}}; }
Driver::ModalAnswer Driver::ChooseFile(const std::string& path) { return {ModalAnswer::Kind::FilePath, path, 0, {}}; }
Driver::ModalAnswer Driver::CancelFileDialog() { return {ModalAnswer::Kind::CancelFile, {}, 0, {}}; }
Driver::ModalAnswer Driver::LeaveOpen() { return {ModalAnswer::Kind::Nothing, {}, 0, {}}; }

void Driver::answerNextModal(ModalAnswer answer) { answerer().answers.push_back(std::move(answer)); }
int Driver::modalCount() { return answerer().shown; }
int Driver::pendingAnswers() { return static_cast<int>(answerer().answers.size()); }
void Driver::clearAnswers() { answerer().answers.clear(); }

namespace {
bool saveOver(QWidget* widget, const std::string& path)
{
    if (!widget)
        return false;
    const QPixmap shot = widget->grab();
    QImage canvas(shot.size(), QImage::Format_ARGB32);
    canvas.fill(QColor(208, 208, 208));
    QPainter painter(&canvas);
    painter.drawPixmap(0, 0, shot);
    painter.end();
    return canvas.save(toQString(path), "PNG");
}
} // namespace

bool Driver::saveScreenshot(CWindowWnd& window, const std::string& path)
{
    processEvents();
    return saveOver(window.GetWidget(), path);
}

bool Driver::saveScreenCapture(CWindowWnd& window, const std::string& path)
{
    processEvents();
    QWidget* widget = window.GetWidget();
    if (!widget || !widget->screen())
        return false;
    const QPoint origin = widget->mapToGlobal(QPoint(0, 0));
    // Window 0 is the root window: the grab holds every child window's pixels.
    const QPixmap shot = widget->screen()->grabWindow(0, origin.x(), origin.y(), widget->width(), widget->height());
    return !shot.isNull() && shot.save(toQString(path), "PNG");
}

bool Driver::saveMenuScreenshot(const std::string& path)
{
    CMenuWnd* menu = openMenu();
    return menu && saveOver(menu->GetWidget(), path);
}

void Driver::processEvents()
{
    for (int i = 0; i < 3; ++i)
        ui::Application::processEvents();
}

bool Driver::processEventsUntil(const std::function<bool()>& done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        ui::Application::processEventsFor(5);
    }
    return true;
}

} // namespace ui::testing
