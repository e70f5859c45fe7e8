// A console on a line the daemon holds, with the real programs: vesk-mqtt (without a broker) on
// the simulator's line, the console window in-process opening the same port through the share.
#include "support/fixture.h"
#include "support/simprocess.h"

#include "app/language.h"
#include "core/frames.h"
#include "core/serialport.h"
#include "core/share.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <csignal>
#include <ctime>

using namespace vesk;

class TestConsoleShare : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        m_link = m_dir.filePath(QStringLiteral("line"));
        m_sim = std::make_unique<SimProcess>(QStringList{"--link", m_link, "--address", "3"});
        QVERIFY(m_sim->isRunning());
        startDaemon();
        const QString line = QFileInfo(m_link).canonicalFilePath();
        QTRY_VERIFY_WITH_TIMEOUT(
            share::readPointer(line).value_or(share::Pointer{}).pid == m_daemon.processId(), 5000);
    }
    void cleanupTestCase() {
        m_daemon.kill();
        m_daemon.waitForFinished();
        useLanguage(*qApp, Language::Chinese);
    }

    // COM1 opens through the share with no busy box and its tooltip names the way; a switch puts
    // its exact frame on the line and the status query colours the lamps as the controller is.
    void throughShare_data() {
        QTest::addColumn<Language>("language");
        QTest::addColumn<QString>("way");
        QTest::addColumn<int>("channel"); // lamp index
        QTest::newRow("zh") << Language::Chinese << "经由 vesk-mqtt（进程 %1）" << 1;
        QTest::newRow("en") << Language::English << "through vesk-mqtt, process %1" << 5;
    }
    void throughShare() {
        QFETCH(Language, language);
        QFETCH(QString, way);
        QFETCH(int, channel);
        useLanguage(*qApp, language);
        Console c(false, false);
        QVERIFY(openThroughShare(c));
        const QString tooltip = c.button("COM_0")->toolTip();
        QVERIFY2(tooltip.split('\n').contains(way.arg(m_daemon.processId())), qPrintable(tooltip));
        QVERIFY(switchesOn(c, channel));
        QTest::mouseClick(c.button("TestButton"), Qt::LeftButton);
        QTRY_COMPARE_WITH_TIMEOUT(lampMask(c), m_sim->state().value("channels").toInt(), 2000);
        QVERIFY(lampMask(c) & (1 << channel));
    }

    // A user outside the device's group: the share refuses, and the console tells why as for any
    // other busy port (on standard error as in the box).
    void otherUserRefused() {
        if (QStandardPaths::findExecutable("setpriv").isEmpty())
            QSKIP("setpriv is not installed: cannot run the console as another user");
        QProcess console;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_CONFIG_HOME", m_dir.path());
        console.setProcessEnvironment(env);
        console.start("setpriv", {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                  VESKPANEL_BIN, "--lang", "en", "--com1", m_sim->ptyPath()});
        const QByteArray told =
            "COM1: " + m_sim->ptyPath().toUtf8() + ": in use by process " +
            QByteArray::number(m_daemon.processId()) +
            " (vesk-mqtt), which shares it, but this user may not use its share";
        QByteArray err;
        const bool refused = QTest::qWaitFor(
            [&] { return (err += console.readAllStandardError()).contains(told); }, 10000);
        console.kill();
        console.waitForFinished();
        QVERIFY2(refused, err.constData());
    }

    // The daemon is killed under an open console and started again at once: the console gets the
    // line back by itself (through the new share or directly, whichever comes first) and queries
    // it, without a box and without spinning while it waits; its next switch reaches the line.
    void daemonRestarts() {
        Console c(false, false);
        QVERIFY(openThroughShare(c));
        const std::clock_t cpu = std::clock();
        QElapsedTimer clock;
        clock.start();
        ::kill(pid_t(m_daemon.processId()), SIGKILL);
        m_daemon.waitForFinished(3000);
        QTRY_VERIFY(!c.window->port().portOpen());
        const int lost = m_sim->received().size();
        startDaemon();
        QTRY_VERIFY_WITH_TIMEOUT(c.window->port().portOpen(), 4000);
        // The console's broadcast query, not the daemon's poll of address 3.
        QTRY_VERIFY(framesSince(lost).contains("CA 20 FE 20 01 01 F5"));
        const double busy = double(std::clock() - cpu) * 1000 / CLOCKS_PER_SEC;
        QVERIFY2(busy < 0.3 * double(clock.elapsed()),
                 qPrintable(QStringLiteral("%1 ms CPU in %2 ms").arg(busy).arg(clock.elapsed())));
        QVERIFY(c.settle());
        QCOMPARE(c.messageTexts(), QStringList());
        QVERIFY(switchesOn(c, 7));
    }

    // A daemon that accepted the connection but does not answer (stopped): the window goes on
    // handling events while it waits for the share's greeting, then says why the port is busy.
    void daemonStopped() {
        Console c(false, false);
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 longest = 0; // the longest the event loop went without running the timer
        QTimer tick;
        connect(&tick, &QTimer::timeout, this, [&] {
            longest = std::max(longest, clock.elapsed() - last);
            last = clock.elapsed();
        });
        ::kill(pid_t(m_daemon.processId()), SIGSTOP);
        clock.start();
        tick.start(10);
        c.window->port().setLocationFor(1, *parsePortLocation(m_link));
        c.window->startUp();
        const bool told = QTest::qWaitFor([&] { return !c.messages.isEmpty(); }, 6000);
        ::kill(pid_t(m_daemon.processId()), SIGCONT);
        QVERIFY(told);
        QVERIFY2(longest < 500, qPrintable(QString::number(longest)));
        QVERIFY2(c.messages.first().detail.contains("did not greet within"),
                 qPrintable(c.messages.first().detail));
        QVERIFY(!c.window->port().portOpen());
    }

private:
    void startDaemon() {
        QFile file(m_dir.filePath("vesk-mqtt.conf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(
            QStringLiteral("[controller rack]\nport = %1\naddress = 3\n").arg(m_link).toUtf8());
        file.close();
        m_daemon.start(QStringLiteral(VESK_MQTT_BIN), {"--config", file.fileName()});
        QVERIFY(m_daemon.waitForStarted());
    }
    bool openThroughShare(Console& c) {
        c.window->port().setLocationFor(1, *parsePortLocation(m_link));
        c.window->startUp();
        return QTest::qWaitFor([&] { return c.window->port().portOpen(); }, 5000) &&
               !c.window->port().via().isEmpty() && c.settle() && c.messages.isEmpty();
    }
    // Lamp `channel` clicked for address 3: its switch frame, byte for byte, on the line.
    bool switchesOn(Console& c, int channel) {
        const int from = m_sim->received().size();
        c.find<QCheckBox>("Check2")->setChecked(false);
        c.find<QComboBox>("IDCombo_1")->setCurrentIndex(3);
        QTest::mouseClick(c.button(QStringLiteral("Command_CPort_%1").arg(channel)),
                          Qt::LeftButton);
        const QString frame = hexText(switchFrame(3, channel + 1, true)).trimmed();
        return c.settle() &&
               QTest::qWaitFor([&] { return framesSince(from).contains(frame); }, 2000);
    }
    QStringList framesSince(int from) {
        QStringList hex;
        for (const SimFrame& frame : m_sim->received().mid(from))
            hex << frame.hex;
        return hex;
    }
    static int lampMask(const Console& c) {
        int mask = 0;
        for (int k = 0; k < 8; ++k)
            if (toolkit::faceColor(c.button(QStringLiteral("Command_CPort_%1").arg(k))) == Qt::red)
                mask |= 1 << k;
        return mask;
    }

    QTemporaryDir m_dir;
    QString m_link;
    std::unique_ptr<SimProcess> m_sim;
    QProcess m_daemon;
};

QTEST_MAIN(TestConsoleShare)
#include "tst_consoleshare.moc"
