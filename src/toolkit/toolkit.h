// Window toolkit services shared by every area: fonts, twips, colours, message boxes, the web page,
// and small widgets the standard set lacks.
#pragma once

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QRect>
#include <QString>

#include "core/notices.h"

class QAbstractButton;
class QWidget;

namespace vesk {
class Waits;
}

namespace vesk::toolkit {

// Positions and sizes are designed in twips; 15 twips make one device-independent pixel.
constexpr int twipsToPixels(int twips) {
    return (twips + 7) / 15;
}
QRect twips(int left, int top, int width, int height);
void placeTwips(QWidget* widget, int left, int top, int width, int height);

// 宋体 at the given point size, with CJK fallbacks where SimSun is not installed. Bold is drawn
// from the regular face (SimSun has no bold face of its own), so that a few bold captions do not
// load a second CJK font file of several megabytes.
QFont songti(int pointSize, bool bold = false);

QColor buttonFace();
inline const QColor Red{255, 0, 0};
inline const QColor Black{0, 0, 0};
inline const QColor White{255, 255, 255};

// Face (background) colour of a push button or check box drawn as a button. A push button shows
// it flat inside its frame and nothing of it outside; in the normal face it looks like any other.
void setFaceColor(QWidget* widget, const QColor& colour);
QColor faceColor(const QWidget* widget);
// Caption colour of a button, check box, option button or label.
void setTextColor(QWidget* widget, const QColor& colour);
QColor textColor(const QWidget* widget);

// While the mouse button is held on `button`, its face takes `pressedFace`.
void addPressFeedback(QAbstractButton* button, const QColor& pressedFace);

// Modal message boxes, in the window's language. While the program is closing nothing is shown.
class MessageBoxes : public MessageSink {
public:
    MessageBoxes(QWidget* parent, const Waits& waits) : m_parent(parent), m_waits(waits) {}
    void show(const Message& message) override;

private:
    QWidget* m_parent;
    const Waits& m_waits;
};

// Asks the desktop to open a web address in the default browser; failures are not reported.
void openWebPage(const QString& address);

// Names a control for screen readers and UI automation. Controls with a fixed caption are named
// by it already; this is for controls without one, or whose caption shows a changing state. The
// description says what the name alone leaves open.
void setAccessible(QWidget* widget, const QString& name, const QString& description = QString());
// The accessible name of a per-channel control, "通道3 开延时(秒)": channels count from 1, as the
// window shows them.
QString channelName(int channel, const QString& subject);

// Gives a control whose caption is a little too wide for its place more room without moving it:
// `indicatorSpacing` pixels between a check box's or option button's indicator and its caption
// (unchanged when negative), and a drop-down list's arrow button `arrowTrim` pixels narrower.
// Everything else is drawn by the application's style.
void makeRoomForCaption(QWidget* widget, int indicatorSpacing, int arrowTrim = 0);

// A label that reports clicks.
class ClickLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
};

} // namespace vesk::toolkit
