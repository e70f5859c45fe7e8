// The window's layout in both programs: no two controls overlap except where the design puts them
// together, every caption fits, every control lies inside its frame, the rows and grids operators
// find their controls by, and the fixed client size.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOption>
#include <QTest>

#include <algorithm>

#include "app/application.h"
#include "support/fixture.h"

using namespace vesk;

namespace {

// The window's own controls and frames are the direct children of the window or of a frame;
// widgets a control makes for itself (viewport, arrows) belong to that control.
QList<QWidget*> placedWidgets(const QWidget* window) {
    QList<QWidget*> widgets;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (!w->isWindow() &&
            (w->parentWidget() == window || qobject_cast<const QGroupBox*>(w->parentWidget())))
            widgets << w;
    return widgets;
}

QRect place(const QWidget* w, const QWidget* window) {
    return w ? QRect(w->mapTo(window, QPoint(0, 0)), w->size()) : QRect();
}

// Places that overlap by design, as anchored patterns on "name / name" (either order; a
// back-reference ties an array element to its partner), the last three in the full program only.
// Each must still be met, so that it cannot outlive the overlap it excuses.
const QStringList IntendedOverlaps = {
    "Frame6 / frame2",                // power-on frame over the interlock frame's lower part
    "(Fusuo_\\d|Option1_1) / frame2", // on the window inside the interlock frame
    "Option1_1 / Option1_0",          // the two series options, by 15 twips
    "TestButton / (Frame6|frame2)",   // query button on the window inside the power-on frame
    "err1 / Frame5",                  // reply box on the channel frame's top edge
    "(Label24 / IDset|(Check2|IDset) / Frame5)", // 15 twips into the next control
    "Label28_(\\d) / P(ort)?Check_\\1",          // the dash under its channel selector
    "Label27 / HourCombo",                       // the heading 15 twips into the list below
    "Line5 / Line6",                             // the two dividing lines meet
};
constexpr qsizetype FullOnly = 6;

// Visible placed widgets overlapping without an excuse; a frame's contents share their frame's.
QStringList unexpectedOverlaps(QWidget* window, QList<bool>& used) {
    QList<QWidget*> visible;
    for (QWidget* w : placedWidgets(window))
        if (w->isVisibleTo(window))
            visible << w;
    const auto frameOf = [window](QWidget* w) {
        return w->parentWidget() == window ? w : w->parentWidget();
    };
    const auto excuse = [](QWidget* a, QWidget* b) {
        for (qsizetype k = 0; k < IntendedOverlaps.size(); ++k) {
            const QRegularExpression re(QRegularExpression::anchoredPattern(IntendedOverlaps[k]));
            for (const auto& [x, y] : {std::pair(a, b), std::pair(b, a)})
                if (re.match(x->objectName() + " / " + y->objectName()).hasMatch())
                    return k;
        }
        return qsizetype(-1);
    };
    QStringList found;
    for (qsizetype i = 0; i < visible.size(); ++i)
        for (QWidget* b : visible.mid(i + 1)) {
            QWidget* a = visible[i];
            if (a->isAncestorOf(b) || b->isAncestorOf(a) ||
                !place(a, window).intersects(place(b, window)))
                continue;
            qsizetype k = -1;
            for (QWidget* fa : {a, frameOf(a)})
                for (QWidget* fb : {b, frameOf(b)})
                    k = k < 0 && fa != fb ? excuse(fa, fb) : k;
            if (k < 0)
                found << a->objectName() + " / " + b->objectName();
            else
                used[k] = true;
        }
    return found;
}

// How far a caption (or a list's widest entry) overflows the space the style draws it in; none
// for controls without one.
std::optional<int> overflow(QWidget* w) {
    QStyle* style = w->style();
    const QFontMetrics fm = w->fontMetrics();
    if (auto* combo = qobject_cast<QComboBox*>(w)) {
        QStyleOptionComboBox opt;
        opt.initFrom(combo);
        int widest = 2; // the style draws the chosen entry one pixel inside the field either side
        for (int i = 0; i < combo->count(); ++i)
            widest = std::max(widest, fm.horizontalAdvance(combo->itemText(i)) + 2);
        return widest -
               style->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo)
                   .width();
    }
    QString text;
    int space = 0;
    if (auto* label = qobject_cast<QLabel*>(w)) {
        text = label->text();
        space = label->contentsRect().width() - 2 * label->margin();
    } else if (qobject_cast<QPushButton*>(w) || qobject_cast<QCheckBox*>(w) ||
               qobject_cast<QRadioButton*>(w)) {
        auto* button = static_cast<QAbstractButton*>(w);
        QStyleOptionButton opt;
        opt.initFrom(w);
        opt.text = text = button->text();
        auto element = qobject_cast<QCheckBox*>(w) ? QStyle::SE_CheckBoxContents
                                                   : QStyle::SE_RadioButtonContents;
        if (auto* push = qobject_cast<QPushButton*>(w)) {
            element = QStyle::SE_PushButtonContents;
            if (push->autoDefault())
                opt.features |= QStyleOptionButton::AutoDefaultButton;
        } else {
            opt.iconSize = button->iconSize();
        }
        space = style->subElementRect(element, &opt, w).width();
    }
    if (text.isEmpty())
        return std::nullopt;
    text.replace("&&", "\x01").remove('&').replace('\x01', '&'); // without the mnemonic mark
    return fm.horizontalAdvance(text) - space;
}

bool ascending(const QList<int>& v) {
    return std::adjacent_find(v.begin(), v.end(), std::greater_equal<>()) == v.end();
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

    // Each program in each language: the English captions must fit the same fixed places.
    static void programs() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<int>("captions");  // captions and lists, so that none is passed over
        QTest::addColumn<QString>("title"); // ".*": the build date goes there
        QTest::addColumn<Language>("language");
        for (const Language language : {Language::Chinese, Language::English}) {
            const bool en = language == Language::English;
            QTest::addRow("full%s", en ? " en" : "")
                << false << 119
                << QString(en ? "VESK Series Power Controller V3.0  Data: 100715"
                              : "VESK系列电源控制器V3.0  Data：100715")
                << language;
            QTest::addRow("classic%s", en ? " en" : "")
                << true << 91
                << QString(en ? "VESK Series Power Controller V3.0   .*  Data: 090717"
                              : "VESK系列电源控制器V3.0   .*  Data：090717")
                << language;
        }
    }
    static void useRowLanguage() {
        QFETCH(Language, language);
        useLanguage(*qApp, language);
    }

private slots:
    // The programs' own style and fonts, which the caption checks measure.
    void initTestCase() { vesk::setUpApplication(*qApp, QStringLiteral("tst_layout")); }

    // Every control lies inside its frame or the window; every caption and list entry fits; no
    // unexpected overlap in either series (5200, then QX), every intended one still met.
    void drawn_data() { programs(); }
    void drawn() {
        QFETCH(bool, classic);
        QFETCH(int, captions);
        useRowLanguage();
        Console c(classic);
        QVERIFY(c.settle());
        QList<bool> used(IntendedOverlaps.size());
        QStringList faults = unexpectedOverlaps(c.window.get(), used);
        c.find<QRadioButton>("Option1_0")->setChecked(true);
        QVERIFY(c.settle() && c.find("S1_0")->isVisibleTo(c.window.get()));
        faults << unexpectedOverlaps(c.window.get(), used);
        for (qsizetype k = 0; k < IntendedOverlaps.size(); ++k)
            if (!used[k] && !(classic && k >= FullOnly))
                faults << IntendedOverlaps[k] + " overlap no more";
        const QList<QWidget*> placed = placedWidgets(c.window.get());
        QVERIFY(placed.size() > 100);
        int checked = 0;
        for (QWidget* w : placed) {
            if (!w->parentWidget()->rect().contains(w->geometry()))
                faults << w->objectName() + " outside";
            const std::optional<int> over = overflow(w);
            checked += over.has_value();
            if (over > 0)
                faults << w->objectName() + QString(" cut off by %1 px").arg(*over);
        }
        QCOMPARE(checked, captions);
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join("; ")));
    }

    // Ports in one row from COM1 on; switch buttons as rows on 1-4, off 1-4, on 5-8, off 5-8 with
    // one channel a column; each channel's toggle, on- and off-delay boxes in a row, 1 at the top.
    void places_data() { programs(); }
    void places() {
        QFETCH(bool, classic);
        QFETCH(QString, title);
        useRowLanguage();
        Console c(classic, false);
        const auto at = [&c](const QString& name, int i) {
            return place(c.find(name.arg(i)), c.window.get());
        };
        QList<int> lefts, rowTop(4), columnLeft(4), tops;
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(at("COM_%1", i).top(), at("COM_%1", 0).top());
            lefts << at("COM_%1", i).left();
        }
        for (int i = 0; i < 16; ++i) {
            const int row = 2 * (i % 8 / 4) + i / 8;
            const QRect lamp = at("Command_CPort_%1", i);
            rowTop[row] = i % 4 ? rowTop[row] : lamp.top();
            columnLeft[i % 4] = i < 4 ? lamp.left() : columnLeft[i % 4];
            QVERIFY(lamp.top() == rowTop[row] && lamp.left() == columnLeft[i % 4]);
        }
        for (int r = 0; r < 8; ++r) {
            const QRect toggle = at("Check1_%1", r), on = at("Text1_%1", r),
                        off = at("Text1_%1", r + 8);
            QVERIFY(on.top() == toggle.top() && off.top() == toggle.top());
            QVERIFY(ascending({toggle.left(), on.left(), off.left()}));
            tops << toggle.top();
        }
        for (const auto& [what, order] : {std::pair("ports", lefts),
                                          {"lamp rows", rowTop},
                                          {"lamp columns", columnLeft},
                                          {"channel rows", tops}})
            QVERIFY2(ascending(order), what);

        // The client area keeps its size, whatever the window manager asks; the title names the
        // build.
        QCOMPARE(c.window->size(), QSize(595, 656));
        c.window->show();
        c.window->resize(900, 900);
        QCOMPARE(c.window->size(), QSize(595, 656));
        c.window->showMaximized();
        QCOMPARE(c.window->size(), QSize(595, 656));
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(title))
                     .match(c.window->windowTitle())
                     .hasMatch(),
                 qPrintable(c.window->windowTitle()));
        QCOMPARE(!c.find("Frame7"), classic);

        // Captions in the row's language.
        QFETCH(Language, language);
        for (const auto& [name, zh, en] : {std::tuple("Frame3", "控制端口", "Port"),
                                           {"Command1", "设置端口开启延世时间", "Set on delays"},
                                           {"Check2", "广播ID", "All"},
                                           {"Command25_1", "面板按键上锁", "Lock panel keys"},
                                           {"Label20_2", "通道三", "Ch 3"}}) {
            QCOMPARE(shownTexts(c.find(name)),
                     QStringList(language == Language::English ? en : zh));
        }
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
