#pragma once
// The top-level Qt widget of a CWindowWnd (ui/ internal): frameless, draws
// the shadow and round corners, turns the caption and size box into system
// moves and resizes, and forwards keys, closes and size changes as window
// messages.
#include "ui/UIDefs.h"

#include <QWidget>

#include <set>
#include <vector>

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
    // Puts the size grips over the client's edges and corners; hidden while
    // the window cannot be resized (maximised, full screen, no size box).
    void placeGrips();
    void sendSize();
    // Sends WM_KEYUP for every key still held (the window lost the keyboard).
    void releaseHeldKeys();

    CWindowWnd* m_owner;
    QWidget* m_client;
    bool m_translucent = false;
    bool m_initSent = false;
    bool m_dragging = false;
    // A press on the caption moves the window only once the pointer moves:
    // a double-click there maximises or restores instead.
    bool m_movePending = false;
    QPoint m_pressGlobal;
    QPoint m_dragOffset;
    std::set<unsigned> m_heldKeys;
    std::vector<QWidget*> m_grips;
};

// Qt key → virtual key code (0: none).
unsigned virtualKey(int qtKey);
// Qt modifiers → KEYSTATE_SHIFT, _CONTROL, _ALT bits.
LPARAM keyState(Qt::KeyboardModifiers modifiers);

} // namespace ui::detail
