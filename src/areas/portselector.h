// The four port buttons COM1..COM4: picking one closes the port, opens the chosen one and marks the
// open port's caption red; a port that does not open is reported once and all captions turn black.
// Each button's tooltip names the device it stands for and how it fares; its context menu picks
// another device, a typed path or tcp:// address, or forgets the saved choice. A port lost to an
// unplug or a dropped connection is reopened by itself when its device is back.
#pragma once

#include <QList>
#include <QObject>
#include <QSerialPortInfo>
#include <QString>

#include <array>

#include "areas/context.h"

class QButtonGroup;
class QMenu;
class QPushButton;
class QWidget;

namespace vesk {

class DeviceLink;
class PortChoices;
class PortReopener;
struct PortError;
struct PortLocation;

class PortSelector : public QObject {
    Q_OBJECT
public:
    PortSelector(const AreaContext& ctx, PortChoices& choices, QWidget* frame3);

    QPushButton* button(int index) const { return m_buttons.at(index); }
    // Selects button `index` as the program, which runs the port switch like a click does.
    void select(int index);
    // Selects button `index` at start-up: as select(), except that the port the start-up has just
    // opened for that button, or is still connecting, is kept instead of being closed and opened a
    // second time (a device server that admits one client may still hold the first connection).
    void selectAtStartUp(int index);
    // The port switch for button `index` (0..3).
    void switchPort(int index);
    // One status query as soon as a connection that is still under way opens (start-up on tcp://).
    void queryWhenOpened() { m_queryWhenOpened = true; }
    // No more reopening by itself (the window closes).
    void stopWatching();

    // The context menu of button `index`, built fresh from the ports present.
    QMenu* buildMenu(int index);
    // The typed-entry dialog for button `index`, opened with `text`.
    void askForPort(int index, const QString& text);
    // Stores `location` for button `index` and, when that button's port is the open one, reopens.
    void choose(int index, const PortLocation& location);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Captions, tooltips or the message for button `index` after its port was opened.
    void showOpenResult(int index);
    void colourCaptions(int openIndex);
    void openFailed(int index, const PortError& error);
    // Rebuilds the tooltips; `rescan` lists the ports present again (some milliseconds, so never
    // while a reply is arriving, and not at start-up: the first list is made when a tooltip is
    // first asked for).
    void refreshTooltips(bool rescan = false);
    QString tooltip(int index, const QList<QSerialPortInfo>& present) const;

    DeviceLink& m_link;
    StatusQuery& m_status;
    MessageSink& m_messages;
    PortChoices& m_choices;
    PortReopener* m_reopener = nullptr;
    QButtonGroup* m_group = nullptr;
    std::array<QPushButton*, 4> m_buttons{};
    std::array<QString, 4> m_reasons; // why each port last failed to open
    QList<QSerialPortInfo> m_present; // the serial ports the system listed last
    bool m_listed = false;            // m_present has been made
    int m_pending = -1;               // button whose tcp:// connection is under way
    bool m_queryWhenOpened = false;
};

} // namespace vesk
