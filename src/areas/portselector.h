// The four port buttons COM1..COM4: picking one closes the port, opens the chosen one and marks the
// open port's caption red; a port that does not open is reported once and all captions turn black.
#pragma once

#include <QObject>

#include <array>

class QButtonGroup;
class QPushButton;
class QWidget;

namespace vesk {

class DeviceLink;

class PortSelector : public QObject {
    Q_OBJECT
public:
    PortSelector(DeviceLink& link, QWidget* frame3);

    QPushButton* button(int index) const { return m_buttons.at(index); }
    // Selects button `index` as the program, which runs the port switch like a click does.
    void select(int index);
    // The port switch for button `index` (0..3).
    void switchPort(int index);

private:
    void colourCaptions(int openIndex);

    DeviceLink& m_link;
    QButtonGroup* m_group = nullptr;
    std::array<QPushButton*, 4> m_buttons{};
};

} // namespace vesk
