#include "toolkit.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>
#include <QUrl>

#include "core/waits.h"

namespace vesk::toolkit {

namespace {
class RoomyStyle : public QProxyStyle {
public:
    RoomyStyle(int indicatorSpacing, int arrowTrim)
        : QProxyStyle(QStyleFactory::create(QApplication::style()->name())),
          m_indicatorSpacing(indicatorSpacing), m_arrowTrim(arrowTrim) {}

    int pixelMetric(PixelMetric metric, const QStyleOption* option,
                    const QWidget* widget) const override {
        if (m_indicatorSpacing >= 0 &&
            (metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing))
            return m_indicatorSpacing;
        return QProxyStyle::pixelMetric(metric, option, widget);
    }

    QRect subControlRect(ComplexControl control, const QStyleOptionComplex* option, SubControl sub,
                         const QWidget* widget) const override {
        QRect rect = QProxyStyle::subControlRect(control, option, sub, widget);
        if (control == CC_ComboBox && sub == SC_ComboBoxArrow)
            rect.setLeft(rect.left() + m_arrowTrim);
        else if (control == CC_ComboBox && sub == SC_ComboBoxEditField)
            rect.setRight(rect.right() + m_arrowTrim);
        return rect;
    }

private:
    int m_indicatorSpacing;
    int m_arrowTrim;
};

// Draws a push button whose face colour is not the normal face flat in that colour inside the
// frame: the base style would shade it into a pale gradient. Frame, focus and caption stay the
// base style's, and so does every button in the normal face.
class FaceStyle : public QProxyStyle {
public:
    FaceStyle() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) {}

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override {
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        const QColor face = option->palette.color(QPalette::Button);
        if (element != PE_PanelButtonCommand || !button || face == buttonFace()) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        // The frame as on a button in the normal face, then the colour inside it: the frame is a
        // one-pixel rounded outline along the edge of the rectangle.
        QStyleOptionButton normal(*button);
        normal.palette.setColor(QPalette::Button, buttonFace());
        QProxyStyle::drawPrimitive(element, &normal, painter, widget);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(face);
        painter->drawRoundedRect(QRectF(option->rect).adjusted(1, 1, -1, -1), 2.0, 2.0);
        painter->restore();
    }
};

QStyle* faceStyle() {
    static QPointer<FaceStyle> style;
    if (!style) {
        style = new FaceStyle;
        style->setParent(qApp);
    }
    return style;
}

} // namespace

QRect twips(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}

void placeTwips(QWidget* widget, int left, int top, int width, int height) {
    widget->setGeometry(twips(left, top, width, height));
}

QFont songti(int pointSize, bool bold) {
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("WenQuanYi Zen Hei")});
    font.setPointSize(pointSize);
    font.setBold(bold);
    // Matching by style name takes the regular face; the font engine then emboldens it.
    if (bold)
        font.setStyleName(QStringLiteral("Regular"));
    return font;
}

QColor buttonFace() {
    return QApplication::palette().color(QPalette::Button);
}

void setFaceColor(QWidget* widget, const QColor& colour) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::Button, colour);
    pal.setColor(QPalette::Base, colour);
    widget->setPalette(pal);
    if (auto* button = qobject_cast<QPushButton*>(widget)) {
        // The face style paints the colour inside the frame; a filled background would show it
        // in the corners outside the frame too.
        button->setAutoFillBackground(false);
        if (button->style() != faceStyle())
            button->setStyle(faceStyle());
    }
}

QColor faceColor(const QWidget* widget) {
    return widget->palette().color(QPalette::Button);
}

void setTextColor(QWidget* widget, const QColor& colour) {
    QPalette pal = widget->palette();
    pal.setColor(QPalette::ButtonText, colour);
    pal.setColor(QPalette::WindowText, colour);
    widget->setPalette(pal);
}

QColor textColor(const QWidget* widget) {
    return widget->palette().color(QPalette::ButtonText);
}

void addPressFeedback(QAbstractButton* button, const QColor& pressedFace) {
    QObject::connect(button, &QAbstractButton::pressed, button,
                     [button, pressedFace] { setFaceColor(button, pressedFace); });
    QObject::connect(button, &QAbstractButton::released, button,
                     [button] { setFaceColor(button, buttonFace()); });
}

void MessageBoxes::show(const Message& message) {
    if (m_waits.closing())
        return;
    QMessageBox box(m_parent);
    box.setWindowTitle(message.title);
    box.setText(message.text);
    box.setInformativeText(message.detail);
    switch (message.icon) {
    case Icon::None:
        box.setIcon(QMessageBox::NoIcon);
        break;
    case Icon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case Icon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    }
    if (message.buttons == Buttons::Ok) {
        box.setStandardButtons(QMessageBox::Ok);
    } else {
        box.addButton(QCoreApplication::translate("vesk::toolkit", "取消"),
                      QMessageBox::RejectRole);
        box.addButton(QCoreApplication::translate("vesk::toolkit", "重试"),
                      QMessageBox::ActionRole);
        box.setDefaultButton(box.addButton(QCoreApplication::translate("vesk::toolkit", "继续"),
                                           QMessageBox::AcceptRole));
    }
    box.exec();
}

void openWebPage(const QString& address) {
    QUrl url = QUrl::fromUserInput(address);
    QDesktopServices::openUrl(url);
}

void setAccessible(QWidget* widget, const QString& name, const QString& description) {
    widget->setAccessibleName(name);
    if (!description.isEmpty())
        widget->setAccessibleDescription(description);
}

QString channelName(int channel, const QString& subject) {
    return QCoreApplication::translate("vesk::toolkit", "通道%1 %2").arg(channel).arg(subject);
}

void makeRoomForCaption(QWidget* widget, int indicatorSpacing, int arrowTrim) {
    // The widget does not own its style; the style goes with the widget.
    auto* style = new RoomyStyle(indicatorSpacing, arrowTrim);
    style->setParent(widget);
    widget->setStyle(style);
}

void ClickLabel::mouseReleaseEvent(QMouseEvent* event) {
    QLabel::mouseReleaseEvent(event);
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked();
}

} // namespace vesk::toolkit
