// The real programs against the simulated controller: what goes out on the wire at start-up.
#include <QProcess>
#include <QTest>

#include "support/simprocess.h"

class TestPrograms : public QObject {
    Q_OBJECT
private slots:
    void startUpQueriesTheController_data() {
        QTest::addColumn<QString>("program");
        QTest::newRow("veskpanel") << QStringLiteral(VESKPANEL_BIN);
        QTest::newRow("veskpanel-classic") << QStringLiteral(VESKPANEL_CLASSIC_BIN);
    }
    void startUpQueriesTheController() {
        QFETCH(QString, program);
        SimProcess sim;
        QVERIFY(sim.isRunning());

        QProcess console;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VESKPANEL_COM1"), sim.ptyPath());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        console.setProcessEnvironment(env);
        console.start(program, {});
        QVERIFY(console.waitForStarted(5000));

        QVERIFY(sim.waitForReceived(2, 10000));
        QTest::qWait(300);
        const auto frames = sim.received();
        QCOMPARE(frames.size(), 2);
        QCOMPARE(frames[0].hex, QStringLiteral("CA 20 FE 20 01 01 F5"));
        QCOMPARE(frames[1].hex, QStringLiteral("CA 20 FE 20 01 01 F5"));
        const qint64 gap = frames[0].at.msecsTo(frames[1].at);
        QVERIFY2(gap >= 100 && gap <= 140, qPrintable(QString::number(gap)));
        // The simulator answered both queries; nothing it received was malformed.
        QCOMPARE(sim.state().value(QStringLiteral("malformed")).toInt(), 0);

        console.terminate();
        QVERIFY(console.waitForFinished(5000));
    }
};

QTEST_GUILESS_MAIN(TestPrograms)
#include "tst_programs.moc"
