#include "ui/PaintManager.h"

#include "platform/Tick.h"
#include "platform/UserFolders.h"
#include "ui/Controls.h"
#include "ui/Window.h"
#include "ui/internal/ControlRelay.h"
#include "ui/internal/LastPointer.h"
#include "ui/internal/Resources.h"

#include <QApplication>
#include <QFont>
#include <QLayout>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

namespace ui::detail {
bool setResourceZip(const void* data, unsigned size);
void setResourcePath(const std::string& path);
const std::string& getResourcePath();
} // namespace ui::detail

using namespace ui::detail;

struct CPaintManagerUI::FontInfo {
    std::string family;
    int size;
    bool bold, underline, italic;
};

int CPaintManagerUI::s_resourceType = 0;
void* CPaintManagerUI::s_instance = nullptr;

namespace {
std::vector<CPaintManagerUI*>& managers()
{
    static std::vector<CPaintManagerUI*> list;
    return list;
}

bool containsControl(CControlUI* tree, CControlUI* control)
{
    if (!tree)
        return false;
    if (tree == control)
        return true;
    if (auto* container = dynamic_cast<CContainerUI*>(tree))
        for (int i = 0; i < container->GetCount(); ++i)
            if (containsControl(container->GetItemAt(i), control))
                return true;
    return false;
}

// Focus changes made by the user (clicks, Tab) reach the manager here.
void watchFocus()
{
    static bool connected = false;
    if (connected || !qApp)
        return;
    connected = true;
    QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget*, QWidget* now) {
        CControlUI* control = controlOfWidget(now);
        if (control && control->GetManager())
            control->GetManager()->SetFocus(control);
    });
}
} // namespace

CPaintManagerUI::CPaintManagerUI() { managers().push_back(this); }

CPaintManagerUI::~CPaintManagerUI()
{
    auto& list = managers();
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
    // Hiding the controls moves the focus; nobody is told any more.
    m_notifiers.clear();
    m_filters.clear();
    CControlUI* root = m_root;
    m_root = nullptr;
    m_focus = nullptr;
    delete root;
}

const std::vector<CPaintManagerUI*>& CPaintManagerUI::Managers() { return managers(); }

void CPaintManagerUI::Init(HWND hWnd)
{
    m_window = CWindowWnd::FromHandle(hWnd);
    watchFocus();
}

HWND CPaintManagerUI::GetPaintWindow() const { return m_window ? m_window->GetHWND() : nullptr; }

bool CPaintManagerUI::AttachDialog(CControlUI* root)
{
    if (!root)
        return false;
    if (m_root && m_root != root) {
        CControlUI* old = m_root;
        m_root = nullptr;
        m_focus = nullptr;
        delete old;
    }
    m_root = root;
    root->SetManager(this, nullptr);
    if (m_window) {
        if (QWidget* client = m_window->GetClientWidget()) {
            QWidget* w = root->GetWidget();
            w->setParent(client);
            client->layout()->addWidget(w);
            w->setVisible(root->IsVisible());
        }
    }
    return true;
}

CControlUI* CPaintManagerUI::FindControl(const std::string& name) const
{
    return m_root && !name.empty() ? m_root->FindSubControl(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, const std::string& name) const
{
    return parent ? parent->FindSubControl(name) : nullptr;
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const
{
    if (!m_root)
        return nullptr;
    QWidget* rootWidget = m_root->GetWidget();
    QWidget* child = rootWidget->childAt(pt.x, pt.y);
    CControlUI* found = controlOfWidget(child ? child : rootWidget);
    return found ? found : m_root;
}

void CPaintManagerUI::AddNotifier(INotifyUI* notifier)
{
    if (notifier && std::find(m_notifiers.begin(), m_notifiers.end(), notifier) == m_notifiers.end())
        m_notifiers.push_back(notifier);
}

void CPaintManagerUI::RemoveNotifier(INotifyUI* notifier)
{
    m_notifiers.erase(std::remove(m_notifiers.begin(), m_notifiers.end(), notifier), m_notifiers.end());
}

void CPaintManagerUI::AddMessageFilter(IMessageFilterUI* filter)
{
    if (filter && std::find(m_filters.begin(), m_filters.end(), filter) == m_filters.end())
        m_filters.push_back(filter);
}

void CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* filter)
{
    m_filters.erase(std::remove(m_filters.begin(), m_filters.end(), filter), m_filters.end());
}

bool CPaintManagerUI::PreMessageHandler(UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lRes)
{
    const std::vector<IMessageFilterUI*> filters = m_filters;
    for (IMessageFilterUI* filter : filters) {
        bool handled = false;
        const LRESULT result = filter->MessageHandler(uMsg, wParam, lParam, handled);
        if (handled) {
            lRes = result;
            return true;
        }
    }
    return false;
}

void CPaintManagerUI::SendNotify(CControlUI* sender, const char* type, WPARAM wParam, LPARAM lParam, bool bAsync)
{
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = sender;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.dwTimestamp = platform::GetTickCount();
    if (!bAsync) {
        SendNotify(msg);
        return;
    }
    // The sender may be gone when the loop gets to it: deliver only while it
    // is still in this manager's tree.
    QTimer::singleShot(0, qApp, [this, msg]() mutable {
        if (std::find(managers().begin(), managers().end(), this) == managers().end())
            return;
        if (msg.pSender && !containsControl(m_root, msg.pSender))
            return;
        SendNotify(msg);
    });
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg)
{
    if (m_window && m_window->GetClientWidget()) {
        const QPoint p = m_window->GetClientWidget()->mapFromGlobal(lastPointerPosition());
        msg.ptMouse = {p.x(), p.y()};
    }
    const std::vector<INotifyUI*> notifiers = m_notifiers;
    for (INotifyUI* notifier : notifiers)
        if (std::find(m_notifiers.begin(), m_notifiers.end(), notifier) != m_notifiers.end())
            notifier->Notify(msg);
}

void CPaintManagerUI::SetFocus(CControlUI* control)
{
    if (control == m_focus)
        return;
    m_focus = control;
    if (control) {
        if (QWidget* w = control->GetWidget(); w && !w->hasFocus())
            w->setFocus(Qt::OtherFocusReason);
        SendNotify(control, "setfocus");
    }
}

void CPaintManagerUI::ForgetControl(CControlUI* control)
{
    if (m_focus == control)
        m_focus = nullptr;
    if (m_root == control)
        m_root = nullptr;
}

void CPaintManagerUI::NeedUpdate()
{
    if (m_root)
        if (QWidget* w = m_root->GetWidget()) {
            w->updateGeometry();
            if (w->layout())
                w->layout()->activate();
        }
}

void CPaintManagerUI::Invalidate()
{
    if (m_root)
        if (QWidget* w = m_root->GetWidget())
            w->update();
}

void CPaintManagerUI::SetDPI(int dpi)
{
    if (dpi <= 0 || dpi == m_dpi)
        return;
    m_dpi = dpi;
    if (m_root)
        m_root->ApplyScale();
    if (m_window)
        m_window->UpdateFrame();
    if (m_window && m_frame.initSize.cx > 0 && m_frame.initSize.cy > 0 && !m_window->IsMaximized())
        m_window->ResizeClient(Scale(m_frame.initSize.cx), Scale(m_frame.initSize.cy));
}

int CPaintManagerUI::Scale(int value) const { return value * m_dpi / 96; }

void CPaintManagerUI::AddFont(int id, const std::string& family, int size, bool bold, bool underline, bool italic,
                              bool isDefault)
{
    m_fonts[id] = std::make_shared<FontInfo>(FontInfo{family, size, bold, underline, italic});
    if (isDefault || m_defaultFont < 0)
        m_defaultFont = id;
}

QFont CPaintManagerUI::GetFontFor(int id) const
{
    auto it = m_fonts.find(id);
    if (it == m_fonts.end())
        it = m_fonts.find(m_defaultFont);
    QFont font = QApplication::font();
    if (it == m_fonts.end()) {
        if (font.pixelSize() > 0)
            font.setPixelSize(Scale(font.pixelSize()));
        else
            font.setPointSizeF(font.pointSizeF() * m_dpi / 96.0);
        return font;
    }
    const FontInfo& info = *it->second;
    if (!info.family.empty())
        font.setFamilies(
            {ui::detail::toQString(info.family), QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("sans-serif")});
    font.setPixelSize(std::max(1, Scale(info.size)));
    font.setBold(info.bold);
    font.setUnderline(info.underline);
    font.setItalic(info.italic);
    return font;
}

void CPaintManagerUI::RegisterOption(COptionUI* option)
{
    if (std::find(m_options.begin(), m_options.end(), option) == m_options.end())
        m_options.push_back(option);
}

void CPaintManagerUI::UnregisterOption(COptionUI* option)
{
    m_options.erase(std::remove(m_options.begin(), m_options.end(), option), m_options.end());
}

std::vector<COptionUI*> CPaintManagerUI::GetOptionGroup(const std::string& group) const
{
    std::vector<COptionUI*> result;
    for (COptionUI* option : m_options)
        if (option->GetGroup() == group)
            result.push_back(option);
    return result;
}

bool CPaintManagerUI::SetResourceZip(const void* data, unsigned size) { return setResourceZip(data, size); }

void CPaintManagerUI::SetResourcePath(const std::string& path) { setResourcePath(path); }

const std::string& CPaintManagerUI::GetResourcePath() { return getResourcePath(); }

std::string CPaintManagerUI::GetInstancePath() { return platform::executableFolder() + "/"; }

bool CPaintManagerUI::LoadResource(const std::string& path, std::string& data)
{
    QByteArray bytes;
    if (!readSkinFile(path, bytes))
        return false;
    data.assign(bytes.constData(), static_cast<size_t>(bytes.size()));
    return true;
}

int CPaintManagerUI::MessageLoop() { return QApplication::exec(); }

void CPaintManagerUI::DeletePtr(void* ptr) { std::free(ptr); }

void SetWaitCursor(bool busy)
{
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else if (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

void PostQuitMessage(int exitCode)
{
    QTimer::singleShot(0, qApp, [exitCode] { QCoreApplication::exit(exitCode); });
}
