// Screen readers and UI automation find every control of both programs by a name of its own, and
// the window tells which program and version it is.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include "app/application.h"
#include "support/fixture.h"
#include "toolkit/spinbutton.h"

using namespace vesk;

namespace {

bool isControl(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
           qobject_cast<const SpinButton*>(w);
}

QString accessibleText(QWidget* w, QAccessible::Text which) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    return iface ? iface->text(which) : QString();
}

// The name a control gives itself. Qt's bridge on Unix names a drop-down list by its chosen entry
// and leaves the name to the label relation; elsewhere it uses this name.
QString controlName(QWidget* w) {
    if (qobject_cast<QComboBox*>(w))
        return w->accessibleName();
    return accessibleText(w, QAccessible::Name);
}

// The labels that name a control through the "labelled by" relation.
QStringList labelNames(QWidget* w) {
    QStringList names;
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(w);
    for (const auto& [label, relation] : iface->relations(QAccessible::Label))
        names << label->text(QAccessible::Name);
    return names;
}

// "SpinButton1_0/up": a control's own part, by the control's name and the part's.
QWidget* findPath(const Console& c, const QString& path) {
    QWidget* w = c.window.get();
    for (const QString& name : path.split(QLatin1Char('/'))) {
        w = w ? w->findChild<QWidget*>(name) : nullptr;
    }
    return w;
}

} // namespace

class TestAccess : public QObject {
    Q_OBJECT
private slots:
    void everyControlHasAUniqueName_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<int>("controls"); // so that a control left out of the walk shows
        QTest::newRow("full") << false << 150;
        QTest::newRow("classic") << true << 131;
    }
    void everyControlHasAUniqueName() {
        QFETCH(bool, classic);
        QFETCH(int, controls);
        Console c(classic);
        QVERIFY(c.settle());
        QStringList unnamed;
        QHash<QString, QString> owner; // accessible name -> object name
        QStringList clashes;
        int count = 0;
        for (QWidget* w : c.window->findChildren<QWidget*>()) {
            if (w->objectName().isEmpty() || w->objectName().startsWith(QStringLiteral("qt_")) ||
                !isControl(w))
                continue;
            ++count;
            const QString name = controlName(w);
            if (name.trimmed().isEmpty() || accessibleText(w, QAccessible::Name).isEmpty()) {
                unnamed << w->objectName();
                continue;
            }
            if (owner.contains(name))
                clashes << QStringLiteral("%1: %2, %3").arg(name, owner[name], w->objectName());
            owner.insert(name, w->objectName());
        }
        QCOMPARE(count, controls);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        QVERIFY2(clashes.isEmpty(), qPrintable(clashes.join(QStringLiteral("; "))));
    }

    // Names stay put when the caption shows a changing state; "toggle" first clicks the control.
    void names_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("toggle");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("description"); // empty: not checked
        const auto row = [](const char* tag, bool classic, const char* path, bool toggle,
                            const char* name, const char* description = "") {
            QTest::newRow(tag) << classic << QString::fromUtf8(path) << toggle
                               << QString::fromUtf8(name) << QString::fromUtf8(description);
        };
        row("on-delay box", false, "Text1_2", false, "通道3 开延时(秒)");
        row("off-delay box", true, "Text1_10", false, "通道3 关延时(秒)");
        row("spin arrow up", true, "SpinButton1_0/up", false, "通道1 开延时增大");
        row("state toggle pressed", false, "Check1_7", true, "通道8 状态",
            "按下为关闭，弹起为开启");
        row("power-on box", true, "port_0", false, "通道1 开机状态", "选中为开，未选为关");
        row("selector ticked", false, "PCheck_4", true, "通道5 不参与");
        row("address list", false, "IDCombo_1", false, "设备ID");
        row("display", true, "Text2", false, "数据显示");
        row("lamp classic", true, "Command_CPort_2", false, "开启通道三", "底色为红时通道3已开启");
        row("interlock box", false, "Fusuo_2", true, "通道五与通道六", "通道五与通道六互锁");
        row("frame without caption", false, "Frame5", false, "通道状态与延时时间");
    }
    void names() {
        QFETCH(bool, classic);
        QFETCH(QString, path);
        QFETCH(bool, toggle);
        QFETCH(QString, name);
        QFETCH(QString, description);
        Console c(classic);
        QVERIFY(c.settle());
        QWidget* w = findPath(c, path);
        QVERIFY2(w, qPrintable(path));
        if (toggle) {
            auto* button = qobject_cast<QAbstractButton*>(w);
            QVERIFY(button && button->isCheckable());
            const bool before = button->isChecked();
            button->toggle();
            QCOMPARE(button->isChecked(), !before);
            QVERIFY(c.settle());
        }
        QCOMPARE(controlName(w), name);
        if (!description.isEmpty())
            QCOMPARE(accessibleText(w, QAccessible::Description), description);
    }

    // Drop-down lists are also named by their labels, for bridges that name a list by its entry.
    void listLabels_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("label");
        QTest::newRow("address") << QStringLiteral("IDCombo_1") << QStringLiteral("设备ID");
        QTest::newRow("new address") << QStringLiteral("IDCombo_0") << QStringLiteral("新设备ID");
        QTest::newRow("delay number") << QStringLiteral("HourCombo") << QStringLiteral("延时参数");
    }
    void listLabels() {
        QFETCH(QString, list);
        QFETCH(QString, label);
        Console c(false, false);
        auto* combo = c.find<QComboBox>(list);
        QVERIFY(combo);
        QVERIFY2(labelNames(combo).contains(label), qPrintable(labelNames(combo).join(", ")));
    }

    // The program and its version: in the application's metadata and in the window's description,
    // with the window's title left as it is.
    void version_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<QString>("program");
        QTest::newRow("full") << false << QStringLiteral("veskpanel");
        QTest::newRow("classic") << true << QStringLiteral("veskpanel-classic");
    }
    void version() {
        QFETCH(bool, classic);
        QFETCH(QString, program);
        const QString version = QStringLiteral(VESK_PROJECT_VERSION);
        setUpApplication(*qApp, program);
        QCOMPARE(QCoreApplication::applicationName(), program);
        QCOMPARE(QCoreApplication::applicationVersion(), version);

        Console c(classic, false);
        QCOMPARE(accessibleText(c.window.get(), QAccessible::Description),
                 program + QLatin1Char(' ') + version);
        QCOMPARE(accessibleText(c.window.get(), QAccessible::Name), c.window->windowTitle());
        QVERIFY(!c.window->windowTitle().contains(version));
    }
};

QTEST_MAIN(TestAccess)
#include "tst_access.moc"
