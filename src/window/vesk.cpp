#include "vesk.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QMouseEvent>

#include "areas/addressarea.h"
#include "areas/channelstatearea.h"
#include "areas/context.h"
#include "areas/delaytablearea.h"
#include "areas/interlockarea.h"
#include "areas/keylockarea.h"
#include "areas/portselector.h"
#include "areas/poweronarea.h"
#include "areas/queryarea.h"
#include "areas/seriesarea.h"
#include "areas/singlechannelarea.h"
#include "areas/timedallarea.h"
#include "core/devicelink.h"
#include "core/portchoice.h"
#include "core/receiver.h"
#include "core/serialport.h"
#include "core/share.h"
#include "core/statusquery.h"
#include "core/waits.h"
#include "toolkit/datadisplay.h"
#include "toolkit/toolkit.h"

namespace vesk {

using toolkit::placeTwips;

QString VESK::webAddress() {
    return QStringLiteral("http://www.vesk-power.example/");
}

VESK::VESK(BuildProfile profile, Waits& waits, WindowSeams seams, QWidget* parent)
    : QWidget(parent), m_profile(std::move(profile)), m_waits(waits),
      m_openUrl(std::move(seams.openUrl)), m_messages(seams.messages), m_choices(seams.ports) {
    setObjectName(QStringLiteral("VESK"));
    // The profile is made before any translation is installed; its caption is translated here.
    setWindowTitle(QCoreApplication::translate("vesk::BuildProfile", m_profile.caption.toUtf8()));
    // The version is told here too, to screen readers and UI automation.
    setAccessibleDescription(m_profile.program + QLatin1Char(' ') + QStringLiteral(VESK_VERSION));
    setFixedSize(toolkit::twipsToPixels(ClientWidthTwips),
                 toolkit::twipsToPixels(ClientHeightTwips));
    setMouseTracking(true);
    if (!m_messages) {
        m_ownMessages = std::make_unique<toolkit::MessageBoxes>(this, m_waits);
        m_messages = m_ownMessages.get();
    }
    if (!m_openUrl)
        m_openUrl = &toolkit::openWebPage;

    m_port = new SerialPortControl(this);
    m_port->setObjectName(QStringLiteral("MSComm1"));
    // A port the daemon holds and shares is reached through its share, as the same operations.
    m_route = std::make_unique<share::ShareRoute>();
    m_port->setRoute(m_route.get());
    if (!m_choices) {
        m_ownChoices = std::make_unique<PortChoices>();
        m_choices = m_ownChoices.get();
    }
    m_choices->applyTo(*m_port);

    // Frames first, so that the controls placed over them later stack above them. Frame6 overlaps
    // the lower part of frame2 and is stacked above it.
    m_frame3 = makeFrame("Frame3", tr("控制端口"), 120, 120, 3855, 615);
    m_frame2 = makeFrame("frame2", tr("互锁设置模块"), 120, 960, 2175, 5415);
    m_frame6 = makeFrame("Frame6", tr("开机状态设置"), 120, 3240, 2175, 3135);
    m_frame5 = makeFrame("Frame5", QString(), 2400, 840, 6375, 5055);
    m_frame5->setAccessibleName(tr("通道状态与延时时间"));
    if (m_profile.classic)
        m_frame1 = makeFrame("Frame1", tr("通道开关设置区"), 2400, 6000, 6375, 2775);
    else
        m_frame1 = makeFrame("Frame1", tr("单端口操作区"), 2400, 6000, 3855, 2775);
    m_frame4 = makeFrame("Frame4", tr("数据显示区"), 120, 8880, 8655, 855);

    m_display = new DataDisplay(m_frame4);
    placeTwips(m_display, 120, 240, 8415, 495);
    toolkit::setAccessible(m_display, tr("数据显示"));

    m_link = new DeviceLink(*m_port, m_waits, *m_display, *m_messages, this);
    m_status = new StatusQuery(*m_link, this);

    m_err1 = new QCheckBox(tr("忽略返回"), this);
    m_err1->setObjectName(QStringLiteral("err1"));
    m_err1->setChecked(true);
    placeTwips(m_err1, 2760, 780, 1095, 255);
    m_link->setRepliesIgnored([box = m_err1] { return box->isChecked(); });

    createLabels();
    createAreas();
}

VESK::~VESK() {
    // The port, a child, outlives the route.
    m_port->setRoute(nullptr);
}

void VESK::createAreas() {
    const AreaContext ctx{*m_link, *m_status, m_waits, *m_messages, m_profile, this};
    m_portSelector = new PortSelector(ctx, *m_choices, m_frame3);
    m_address = new AddressArea(ctx);
    auto* query = new QueryArea(ctx, m_frame6);
    m_single = new SingleChannelArea(ctx, m_frame1);
    m_receiver = new ReplyReceiver(
        *m_port, m_waits, *m_display, [this](int k, bool on) { m_single->setLamp(k, on); }, this);
    connect(m_receiver, &ReplyReceiver::statusReplied, m_status, &StatusQuery::answered);
    auto* states = new ChannelStateArea(ctx, m_frame5);
    auto* delays = new DelayTableArea(ctx, m_frame5);
    new TimedAllArea(ctx);
    new PowerOnArea(ctx, m_frame6);
    auto* interlock = new InterlockArea(ctx, m_frame2);
    new KeyLockArea(ctx);
    m_series = new SeriesArea(ctx, m_frame2);
    if (m_profile.multiArea)
        m_multi = m_profile.multiArea(ctx);

    // A channel set to off cannot have its delays stepped.
    connect(states, &ChannelStateArea::stateToggled, delays,
            [delays](int index, bool off) { delays->setChannelEditable(index, !off); });
    // Each series has its own set of controls.
    connect(m_series, &SeriesArea::seriesChosen, interlock, &InterlockArea::showSeries);
    connect(m_series, &SeriesArea::seriesChosen, states, &ChannelStateArea::showSeries);
    connect(m_series, &SeriesArea::seriesChosen, m_frame6,
            [frame6 = m_frame6](bool qx) { frame6->setVisible(!qx); });
    connect(m_series, &SeriesArea::seriesChosen, query, &QueryArea::showSeries);
}

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
    connect(link, &toolkit::ClickLabel::clicked, this, [this] { m_openUrl(VESK::webAddress()); });
    m_label24 = link;

    m_label23 = new toolkit::ClickLabel(tr("说明:选中为开未选为关!"), m_frame6);
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
    // Handlers waiting inside a wait or a message box unwind at once; the port closes with the
    // window.
    m_portSelector->stopWatching();
    m_port->setPortOpen(false);
    m_waits.close(0);
}

void VESK::startUp() {
    // Each step that fails is skipped; the only message is the port-busy box of the port switch.
    m_port->setCommPort(1);
    m_port->setPortOpen(true);

    if (m_multi)
        m_multi->fillUnits();
    QStringList addresses;
    addresses.reserve(256);
    for (int i = 0; i < 256; ++i) {
        if (i < 8 && m_multi)
            m_multi->tickState(i);
        addresses << QString::number(i, 16).toUpper();
    }
    m_address->appendEntries(addresses);
    m_address->selectInitialEntries(1);
    m_err1->setEnabled(false);
    m_address->setBroadcast(true);
    if (m_waits.closing())
        return;

    m_portSelector->selectAtStartUp(0);
    if (m_waits.closing())
        return;
    m_series->selectAtStartUp();
    // A tcp:// port is still connecting here: its query goes out once the connection stands.
    if (m_port->connecting())
        m_portSelector->queryWhenOpened();
    else
        spawn(m_status->run());
}

} // namespace vesk
