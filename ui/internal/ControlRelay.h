#pragma once
// Bridges a control's widget to the control (ui/ internal): the context
// object of its signal connections (they end with the control) and the event
// filter that reports geometry, visibility and mouse events.
#include <QObject>

class CControlUI;

namespace ui::detail {

class ControlRelay : public QObject {
public:
    explicit ControlRelay(CControlUI* control) : m_control(control) {}
    bool eventFilter(QObject* watched, QEvent* event) override;
    CControlUI* control() const { return m_control; }
    bool wantsMouse = false;

private:
    CControlUI* m_control;
};

// The control a widget (or its nearest ancestor) belongs to.
CControlUI* controlOfWidget(QObject* widget);
// Parses "#AARRGGBB", "#RRGGBB" or "0xAARRGGBB"; 0 when malformed.
unsigned parseColor(const std::string& text);
bool parseBool(const std::string& text);
int parseInt(const std::string& text, int fallback = 0);
bool parseIntList(const std::string& text, int* out, int count);

} // namespace ui::detail
