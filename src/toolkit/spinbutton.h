// A spin control with two arrows side by side: the left arrow steps down, the right arrow steps
// up. Each arrow steps once when pressed and again at the repeat rate while it is held. The control
// keeps no value; whoever listens does the stepping. A disabled control does not step.
#pragma once

#include <QWidget>

class QToolButton;

namespace vesk {

class SpinButton : public QWidget {
    Q_OBJECT
public:
    explicit SpinButton(QWidget* parent = nullptr);

    // Names the control and its two arrows for screen readers: "<subject>调节", "<subject>减小",
    // "<subject>增大".
    void nameFor(const QString& subject);

    QToolButton* downArrow() const { return m_down; }
    QToolButton* upArrow() const { return m_up; }

signals:
    void up();
    void down();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QToolButton* makeArrow(Qt::ArrowType direction, const char* name);

    QToolButton* m_down = nullptr;
    QToolButton* m_up = nullptr;
};

} // namespace vesk
