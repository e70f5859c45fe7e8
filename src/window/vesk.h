// The console's one window: its frames, the controls shared by several areas, and the start-up
// sequence. The window creates the operation areas, hands each the services it uses, and wires
// them together with signals.
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

#include "areas/buildprofile.h"

class QCheckBox;
class QGroupBox;

namespace vesk {

class AddressArea;
class DataDisplay;
class DeviceLink;
class LineRoute;
class MessageSink;
class PortChoices;
class PortSelector;
class ReplyReceiver;
class SerialPortControl;
class SeriesArea;
class SingleChannelArea;
class StatusQuery;
class Waits;
namespace toolkit {
class ClickLabel;
}

// What tests put in place of the desktop: where messages go and how a web address is opened.
// Left empty, messages are modal boxes and the desktop opens the address.
struct WindowSeams {
    MessageSink* messages = nullptr;
    std::function<void(const QString&)> openUrl;
    // Which device each port button stands for; left empty, the window resolves it without a
    // command line (environment, saved choice, adapters present).
    PortChoices* ports = nullptr;
};

class VESK : public QWidget {
    Q_OBJECT
public:
    // The fixed client area: 8925 x 9840 twips.
    static constexpr int ClientWidthTwips = 8925;
    static constexpr int ClientHeightTwips = 9840;
    static QString webAddress();

    VESK(BuildProfile profile, Waits& waits, WindowSeams seams = {}, QWidget* parent = nullptr);
    ~VESK() override;

    // Runs once before the window is first shown: opens the port, fills the address lists, ticks
    // broadcast, selects COM1 and the 5200 series, and sends one status query.
    void startUp();

    const BuildProfile& profile() const { return m_profile; }
    Waits& waits() { return m_waits; }
    SerialPortControl& port() { return *m_port; }
    DataDisplay& display() { return *m_display; }
    DeviceLink& link() { return *m_link; }
    StatusQuery& statusQuery() { return *m_status; }
    PortSelector& portSelector() { return *m_portSelector; }
    PortChoices& portChoices() { return *m_choices; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QGroupBox* makeFrame(const char* name, const QString& caption, int left, int top, int width,
                         int height);
    void createLabels();
    void createAreas();

    BuildProfile m_profile;
    Waits& m_waits;
    std::function<void(const QString&)> m_openUrl;
    std::unique_ptr<MessageSink> m_ownMessages;
    MessageSink* m_messages = nullptr;
    // The way to a port another program holds and shares; set on m_port.
    std::unique_ptr<LineRoute> m_route;
    SerialPortControl* m_port = nullptr;
    std::unique_ptr<PortChoices> m_ownChoices;
    PortChoices* m_choices = nullptr;
    QGroupBox* m_frame3 = nullptr;
    QGroupBox* m_frame2 = nullptr;
    QGroupBox* m_frame6 = nullptr;
    QGroupBox* m_frame5 = nullptr;
    QGroupBox* m_frame1 = nullptr;
    QGroupBox* m_frame4 = nullptr;
    DataDisplay* m_display = nullptr;
    DeviceLink* m_link = nullptr;
    StatusQuery* m_status = nullptr;
    QCheckBox* m_err1 = nullptr;
    QWidget* m_label24 = nullptr;
    toolkit::ClickLabel* m_label23 = nullptr;
    PortSelector* m_portSelector = nullptr;
    AddressArea* m_address = nullptr;
    SeriesArea* m_series = nullptr;
    SingleChannelArea* m_single = nullptr;
    ReplyReceiver* m_receiver = nullptr;
    MultiChannelHooks* m_multi = nullptr;
};

} // namespace vesk
