#include "spinbutton.h"

#include <QResizeEvent>
#include <QToolButton>

namespace vesk {

SpinButton::SpinButton(QWidget* parent) : QWidget(parent) {
    m_down = makeArrow(Qt::LeftArrow, "down");
    m_up = makeArrow(Qt::RightArrow, "up");
    // A step happens on the press itself and on every repeat while the arrow is held; the release
    // adds none.
    connect(m_down, &QToolButton::pressed, this, [this] {
        if (isEnabled())
            emit down();
    });
    connect(m_up, &QToolButton::pressed, this, [this] {
        if (isEnabled())
            emit up();
    });
}

QToolButton* SpinButton::makeArrow(Qt::ArrowType direction, const char* name) {
    auto* arrow = new QToolButton(this);
    arrow->setObjectName(QString::fromLatin1(name));
    arrow->setArrowType(direction);
    arrow->setAutoRepeat(true);
    arrow->setFocusPolicy(Qt::NoFocus);
    return arrow;
}

void SpinButton::nameFor(const QString& subject) {
    setAccessibleName(tr("%1调节").arg(subject));
    m_down->setAccessibleName(tr("%1减小").arg(subject));
    m_up->setAccessibleName(tr("%1增大").arg(subject));
}

void SpinButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int w = width();
    const int h = height();
    m_down->setGeometry(0, 0, w / 2, h);
    m_up->setGeometry(w / 2, 0, w - w / 2, h);
}

} // namespace vesk
