// Screen readers and UI automation find every control of both programs by a name of its own, and
// the window tells which program and version it is.
#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTest>

#include "app/application.h"
#include "areas/portselector.h"
#include "core/statusquery.h"
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

} // namespace

class TestAccess : public QObject {
    Q_OBJECT
private slots:
    void namesAndVersion_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<int>("controls"); // so that a control left out of the walk shows
        QTest::addColumn<QString>("program");
        QTest::addColumn<Language>("language");
        for (const Language language : {Language::Chinese, Language::English}) {
            const char* en = language == Language::English ? " en" : "";
            QTest::addRow("full%s", en) << false << 150 << QString("veskpanel") << language;
            QTest::addRow("classic%s", en)
                << true << 131 << QString("veskpanel-classic") << language;
        }
    }
    // Every control has a name and a description of its own that stay put when a control shows a
    // changing state; the program and its version are in the application's metadata and the
    // window's description, with the title left as it is.
    void namesAndVersion() {
        QFETCH(bool, classic);
        QFETCH(int, controls);
        QFETCH(QString, program);
        QFETCH(Language, language);
        const QString version = QStringLiteral(VESK_PROJECT_VERSION);
        setUpApplication(*qApp, program, language);
        QCOMPARE(QCoreApplication::applicationName(), program);
        QCOMPARE(QCoreApplication::applicationVersion(), version);
        Console c(classic);
        QVERIFY(c.settle());
        QCOMPARE(accessibleText(c.window.get(), QAccessible::Description), program + ' ' + version);
        QCOMPARE(accessibleText(c.window.get(), QAccessible::Name), c.window->windowTitle());
        QVERIFY(!c.window->windowTitle().contains(version));

        // Each control's object name, accessible name (empty: none) and description.
        const auto names = [&c] {
            QList<QStringList> names;
            for (QWidget* w : c.window->findChildren<QWidget*>())
                if (!w->objectName().isEmpty() && !w->objectName().startsWith("qt_") &&
                    isControl(w))
                    names.append({w->objectName(),
                                  accessibleText(w, QAccessible::Name).isEmpty()
                                      ? QString()
                                      : controlName(w).trimmed(),
                                  accessibleText(w, QAccessible::Description)});
            return names;
        };
        // Nothing answers on this line: the lamps' descriptions tell so once the query's wait is
        // over, and from then on stay put.
        QTRY_VERIFY_WITH_TIMEOUT(c.window->statusQuery().silent(), 2000);
        const QList<QStringList> before = names();
        QCOMPARE(before.size(), controls);
        QHash<QString, QString> owner; // accessible name -> object name
        QStringList faults;
        for (const QStringList& control : before) {
            if (control[1].isEmpty())
                faults << control[0] + " unnamed";
            else if (owner.contains(control[1]))
                faults << control[1] + ": " + owner[control[1]] + ", " + control[0];
            owner.insert(control[1], control[0]);
        }
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
        // The English console shows no Chinese, the port menu included.
        QStringList shown{c.window->windowTitle()};
        for (QWidget* w : c.window->findChildren<QWidget*>())
            shown << w->toolTip() << w->accessibleName() << w->accessibleDescription()
                  << shownTexts(w);
        for (const QAction* action : c.window->portSelector().buildMenu(0)->actions())
            shown << action->text();
        if (language == Language::English) {
            shown = shown.filter(QRegularExpression("[\\x{3000}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
            QVERIFY2(shown.isEmpty(), qPrintable(shown.join(" | ")));
        }
        for (const char* toggled : {"Check1_7", "PCheck_4", "Fusuo_2", "port_0", "Check2"})
            if (auto* button = c.find<QAbstractButton>(toggled); button && button->isCheckable())
                button->toggle();
        QVERIFY(c.settle());
        QCOMPARE(names(), before);
    }

    // Drop-down lists are also named by their labels, for bridges that name a list by its entry.
    void listLabels() {
        useLanguage(*qApp, Language::Chinese);
        Console c(false, false);
        for (const auto& [list, label] :
             {std::pair("IDCombo_1", "设备ID"), std::pair("IDCombo_0", "新设备ID"),
              std::pair("HourCombo", "延时参数")}) {
            QStringList names;
            auto* iface = QAccessible::queryAccessibleInterface(c.find<QComboBox>(list));
            QVERIFY2(iface, list);
            for (const auto& relation : iface->relations(QAccessible::Label))
                names << relation.first->text(QAccessible::Name);
            QVERIFY2(names.contains(QString::fromUtf8(label)), qPrintable(names.join(", ")));
        }
    }

    // Typing into the data display still works, but Tab and Shift+Tab move the focus on and back
    // instead of inserting a tab character, in both programs.
    void tabLeavesTheDataDisplay_data() {
        QTest::addColumn<bool>("classic");
        QTest::newRow("full") << false;
        QTest::newRow("classic") << true;
    }
    void tabLeavesTheDataDisplay() {
        QFETCH(bool, classic);
        Console c(classic);
        QVERIFY(c.settle());
        c.window->show();
        QVERIFY(QTest::qWaitForWindowActive(c.window.get()));
        auto* display = c.find<QPlainTextEdit>("Text2");
        display->setFocus();
        display->moveCursor(QTextCursor::End);
        QTest::keyClicks(display, "ab");
        const QString typed = display->toPlainText();
        QVERIFY(typed.endsWith("ab"));
        QTest::keyClick(display, Qt::Key_Tab);
        QWidget* next = QApplication::focusWidget();
        QVERIFY(next && next != display && isControl(next));
        QCOMPARE(display->toPlainText(), typed);
        QTest::keyClick(next, Qt::Key_Backtab, Qt::ShiftModifier);
        QCOMPARE(QApplication::focusWidget(), display);
        QCOMPARE(display->toPlainText(), typed);
    }
};

QTEST_MAIN(TestAccess)
#include "tst_access.moc"
