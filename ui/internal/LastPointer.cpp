#include "ui/internal/LastPointer.h"

#include <QApplication>
#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QWheelEvent>

namespace ui::detail {
namespace {

class PointerWatch : public QObject {
public:
    PointerWatch() : m_position(QCursor::pos()) {}
    QPoint position() const { return m_position; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseMove:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            m_position = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
            break;
        case QEvent::Wheel: m_position = static_cast<QWheelEvent*>(event)->globalPosition().toPoint(); break;
        case QEvent::Enter: m_position = static_cast<QEnterEvent*>(event)->globalPosition().toPoint(); break;
        default: break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QPoint m_position;
};

} // namespace

QPoint lastPointerPosition()
{
    if (!qApp)
        return QCursor::pos();
    static PointerWatch* watch = [] {
        auto* created = new PointerWatch;
        created->setParent(qApp); // goes with the application
        qApp->installEventFilter(created);
        return created;
    }();
    return watch->position();
}

} // namespace ui::detail
