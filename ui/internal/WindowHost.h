#pragma once
// The top-level Qt widget of a CWindowWnd (ui/ internal): frameless, draws
// the shadow and round corners, turns the caption and size box into system
// moves and resizes, and forwards keys, closes and size changes as window
// messages.
#include "ui/UIDefs.h"

#include <QWidget>

#include <set>

class CWindowWnd;

namespace ui::detail {

class WindowHost : public QWidget {
public:
    WindowHost(CWindowWnd* owner, QWidget* ownerWidget);
    ~WindowHost() override;
    QWidget* client() const { return m_client; }
    int shadowMargin() const;
    void applyFrame();
    void detach() { m_owner = nullptr; }
    CWindowWnd* owner() const { return m_owner; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    int hitTestAt(const QPoint& hostPos) const;
    void updateMask();
    void sendSize();
    // Sends WM_KEYUP for every key still held (the window lost the keyboard).
    void releaseHeldKeys();

    CWindowWnd* m_owner;
    QWidget* m_client;
    bool m_translucent = false;
    bool m_initSent = false;
    bool m_dragging = false;
    QPoint m_dragOffset;
    std::set<unsigned> m_heldKeys;
};

// Qt key → virtual key code (0: none).
unsigned virtualKey(int qtKey);
// Qt modifiers → KEYSTATE_SHIFT, _CONTROL, _ALT bits.
LPARAM keyState(Qt::KeyboardModifiers modifiers);

} // namespace ui::detail
