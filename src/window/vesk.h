// The console's one window: its frames, the controls shared by several areas, and the start-up
// sequence. Each operation area is its own unit that places its controls into these frames.
#pragma once

#include <QGroupBox>
#include <QWidget>

#include <optional>

#include "window/buildprofile.h"

class QCheckBox;

namespace vesk {

class AddressArea;
class ChannelStateArea;
class DataDisplay;
class DelayTableArea;
class DeviceLink;
class InterlockArea;
class KeyLockArea;
class PortSelector;
class PowerOnArea;
class ReplyReceiver;
class SerialPortControl;
class SeriesArea;
class SingleChannelArea;
class StatusQuery;
class TimedAllArea;
namespace toolkit {
class ClickLabel;
}

class VESK : public QWidget {
    Q_OBJECT
public:
    // The fixed client area: 8925 x 9840 twips.
    static constexpr int ClientWidthTwips = 8925;
    static constexpr int ClientHeightTwips = 9840;
    static QString webAddress();

    explicit VESK(BuildProfile profile, QWidget* parent = nullptr);
    ~VESK() override;

    // Runs once before the window is first shown: opens the port, fills the address lists, ticks
    // broadcast, selects COM1 and the 5200 series, and sends one status query.
    void startUp();

    const BuildProfile& profile() const { return m_profile; }
    SerialPortControl& port() { return *m_port; }
    DataDisplay& display() { return *m_display; }
    DeviceLink& link() { return *m_link; }
    StatusQuery& statusQuery() { return *m_status; }

    std::optional<quint8> GiveID_Set();
    void Com_Set();
    void Error_set();

    // The group frames: Frame3, frame2, Frame6, Frame5, Frame1, Frame4.
    QGroupBox* Frame3() const { return m_frame3; }
    QGroupBox* frame2() const { return m_frame2; }
    QGroupBox* Frame6() const { return m_frame6; }
    QGroupBox* Frame5() const { return m_frame5; }
    QGroupBox* Frame1() const { return m_frame1; }
    QGroupBox* Frame4() const { return m_frame4; }
    QCheckBox* err1() const { return m_err1; }

    SingleChannelArea& singleChannel() { return *m_single; }
    AddressArea& address() { return *m_address; }
    ChannelStateArea& channelState() { return *m_channelState; }
    DelayTableArea& delayTable() { return *m_delayTable; }
    TimedAllArea& timedAll() { return *m_timedAll; }
    PowerOnArea& powerOn() { return *m_powerOn; }
    InterlockArea& interlock() { return *m_interlock; }
    KeyLockArea& keyLock() { return *m_keyLock; }
    SeriesArea& series() { return *m_series; }
    PortSelector& portSelector() { return *m_portSelector; }
    MultiChannelHooks* multiChannel() const { return m_multi; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* makeFrame(const char* name, const QString& caption, int left, int top, int width,
                         int height);
    void createLabels();

    BuildProfile m_profile;
    SerialPortControl* m_port = nullptr;
    QGroupBox* m_frame3 = nullptr;
    QGroupBox* m_frame2 = nullptr;
    QGroupBox* m_frame6 = nullptr;
    QGroupBox* m_frame5 = nullptr;
    QGroupBox* m_frame1 = nullptr;
    QGroupBox* m_frame4 = nullptr;
    DataDisplay* m_display = nullptr;
    DeviceLink* m_link = nullptr;
    QCheckBox* m_err1 = nullptr;
    QWidget* m_label24 = nullptr;
    toolkit::ClickLabel* m_label23 = nullptr;
    StatusQuery* m_status = nullptr;
    PortSelector* m_portSelector = nullptr;
    SingleChannelArea* m_single = nullptr;
    ReplyReceiver* m_receiver = nullptr;
    AddressArea* m_address = nullptr;
    ChannelStateArea* m_channelState = nullptr;
    DelayTableArea* m_delayTable = nullptr;
    TimedAllArea* m_timedAll = nullptr;
    PowerOnArea* m_powerOn = nullptr;
    InterlockArea* m_interlock = nullptr;
    KeyLockArea* m_keyLock = nullptr;
    SeriesArea* m_series = nullptr;
    MultiChannelHooks* m_multi = nullptr;
};

} // namespace vesk
