#include "vesk.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QMouseEvent>

#include "channels/channelstatearea.h"
#include "channels/delaytablearea.h"
#include "channels/singlechannelarea.h"
#include "channels/timedallarea.h"
#include "config/addressarea.h"
#include "config/interlockarea.h"
#include "config/keylockarea.h"
#include "config/poweronarea.h"
#include "config/seriesarea.h"
#include "link/datadisplay.h"
#include "link/delay.h"
#include "link/devicelink.h"
#include "link/frame.h"
#include "link/portselector.h"
#include "link/receiver.h"
#include "link/serialport.h"
#include "window/statusquery.h"
#include "window/toolkit.h"

namespace vesk {

using toolkit::placeTwips;

QString VESK::webAddress() {
    return QStringLiteral("http://www.vesk-power.example/");
}

VESK::VESK(BuildProfile profile, QWidget* parent) : QWidget(parent), m_profile(std::move(profile)) {
    setObjectName(QStringLiteral("VESK"));
    setWindowTitle(m_profile.caption);
    // The window has no menu and the program no command line: the version is told here, to
    // screen readers and UI automation, and in the package.
    setAccessibleDescription(m_profile.program + QLatin1Char(' ') + QStringLiteral(VESK_VERSION));
    setFixedSize(toolkit::twipsToPixels(ClientWidthTwips),
                 toolkit::twipsToPixels(ClientHeightTwips));
    setMouseTracking(true);

    m_port = new SerialPortControl(this);
    m_port->setObjectName(QStringLiteral("MSComm1"));

    // Frames first, so that the controls placed over them later stack above them. Frame6 overlaps
    // the lower part of frame2 and is stacked above it.
    m_frame3 = makeFrame("Frame3", QStringLiteral("控制端口"), 120, 120, 3855, 615);
    m_frame2 = makeFrame("frame2", QStringLiteral("互锁设置模块"), 120, 960, 2175, 5415);
    m_frame6 = makeFrame("Frame6", QStringLiteral("开机状态设置"), 120, 3240, 2175, 3135);
    m_frame5 = makeFrame("Frame5", QString(), 2400, 840, 6375, 5055);
    m_frame5->setAccessibleName(QStringLiteral("通道状态与延时时间"));
    if (m_profile.classic)
        m_frame1 = makeFrame("Frame1", QStringLiteral("通道开关设置区"), 2400, 6000, 6375, 2775);
    else
        m_frame1 = makeFrame("Frame1", QStringLiteral("单端口操作区"), 2400, 6000, 3855, 2775);
    m_frame4 = makeFrame("Frame4", QStringLiteral("数据显示区"), 120, 8880, 8655, 855);

    m_display = new DataDisplay(m_frame4);
    placeTwips(m_display, 120, 240, 8415, 495);
    toolkit::setAccessible(m_display, QStringLiteral("数据显示"));

    m_link = new DeviceLink(*m_port, *m_display, this);

    m_err1 = new QCheckBox(QStringLiteral("忽略返回"), this);
    m_err1->setObjectName(QStringLiteral("err1"));
    m_err1->setChecked(true);
    placeTwips(m_err1, 2760, 780, 1095, 255);
    m_link->setIgnoreRepliesBox(m_err1);

    createLabels();

    m_portSelector = new PortSelector(*m_link, m_frame3);
    m_address = new AddressArea(*this);
    m_status = new StatusQuery(*this);
    m_single = new SingleChannelArea(*this);
    m_receiver = new ReplyReceiver(
        *m_port, *m_display, [this](int k, bool on) { m_single->setLamp(k, on); }, this);
    m_channelState = new ChannelStateArea(*this);
    m_delayTable = new DelayTableArea(*this);
    m_timedAll = new TimedAllArea(*this);
    m_powerOn = new PowerOnArea(*this);
    m_interlock = new InterlockArea(*this);
    m_keyLock = new KeyLockArea(*this);
    m_series = new SeriesArea(*this);
    if (m_profile.multiArea)
        m_multi = m_profile.multiArea(*this);
}

VESK::~VESK() = default;

QGroupBox* VESK::makeFrame(const char* name, const QString& caption, int left, int top, int width,
                           int height) {
    auto* frame = new QGroupBox(caption, this);
    frame->setObjectName(QString::fromLatin1(name));
    placeTwips(frame, left, top, width, height);
    return frame;
}

void VESK::createLabels() {
    auto* link = new toolkit::ClickLabel(webAddress(), this);
    link->setObjectName(QStringLiteral("Label24"));
    placeTwips(link, 4200, 30, 3450, 285);
    toolkit::setTextColor(link, QColor(0, 0, 128));
    link->setCursor(Qt::PointingHandCursor);
    link->setMouseTracking(true);
    link->installEventFilter(this);
    connect(link, &toolkit::ClickLabel::clicked, this,
            [] { toolkit::openWebPage(VESK::webAddress()); });
    m_label24 = link;

    m_label23 = new toolkit::ClickLabel(QStringLiteral("说明:选中为开未选为关!"), m_frame6);
    m_label23->setObjectName(QStringLiteral("Label23"));
    placeTwips(m_label23, 120, 870, 1935, 255);
    toolkit::setTextColor(m_label23, toolkit::Red);
    connect(m_label23, &toolkit::ClickLabel::clicked, m_label23,
            [label = m_label23] { label->setText(QString()); });
}

bool VESK::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_label24 && event->type() == QEvent::MouseMove) {
        toolkit::setTextColor(m_label24, toolkit::Red);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void VESK::mouseMoveEvent(QMouseEvent* event) {
    // Moves over controls without mouse tracking also bubble up here; only the window's own
    // background turns the visited link label dark grey.
    if (!childAt(event->position().toPoint()))
        toolkit::setTextColor(m_label24, QColor(64, 64, 64));
    QWidget::mouseMoveEvent(event);
}

void VESK::closeEvent(QCloseEvent* event) {
    event->accept();
    // Handlers waiting inside Delay or a message box unwind at once; the port closes with the
    // window.
    m_port->setPortOpen(false);
    requestShutdown(0);
}

std::optional<quint8> VESK::GiveID_Set() {
    return m_link->GiveID_Set();
}
void VESK::Com_Set() {
    m_link->Com_Set();
}
void VESK::Error_set() {
    m_link->Error_set();
}

void VESK::startUp() {
    // Each step that fails is skipped; the only message is the port-busy box of the port switch.
    m_port->setCommPort(1);
    m_port->setPortOpen(true);

    if (m_multi)
        m_multi->fillUnits();
    for (int i = 0; i < 256; ++i) {
        if (i < 8 && m_multi)
            m_multi->tickState(i);
        m_address->appendEntry(QString::number(i, 16).toUpper());
    }
    m_address->selectInitialEntries(1);
    m_err1->setEnabled(false);
    m_address->setBroadcast(true);
    if (shuttingDown())
        return;

    m_portSelector->select(0);
    if (shuttingDown())
        return;
    m_series->selectAtStartUp();
    spawn(m_status->run());
}

} // namespace vesk
