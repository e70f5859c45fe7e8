// The window's layout in both programs: no two controls overlap except where the design puts them
// together, every caption fits its control, every control lies inside its frame, the rows and grids
// operators find their controls by, and the fixed client size.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QStyle>
#include <QStyleOption>
#include <QTest>

#include <algorithm>
#include <optional>

#include "app/application.h"
#include "support/fixture.h"

using namespace vesk;

namespace {

enum Builds { Both, FullOnly, ClassicOnly };

// Widgets a control makes for itself (a scroll area's viewport and bars, a spin control's arrows)
// belong to that control; the window's own controls and frames are the direct children of the
// window or of a frame.
bool isPlaced(const QWidget* w, const QWidget* window) {
    const QWidget* parent = w->parentWidget();
    return parent == window || qobject_cast<const QGroupBox*>(parent);
}

QList<QWidget*> placedWidgets(const QWidget* window) {
    QList<QWidget*> widgets;
    for (QWidget* w : window->findChildren<QWidget*>())
        if (!w->isWindow() && isPlaced(w, window))
            widgets << w;
    return widgets;
}

QRect windowRect(const QWidget* w, const QWidget* window) {
    return QRect(w->mapTo(window, QPoint(0, 0)), w->size());
}

// Places that overlap by design. Each entry must be met in at least one series of the programs
// it applies to, so that it cannot outlive the overlap it excuses.
struct Overlap {
    QString first, second; // anchored patterns on object names
    QString reason;
    Builds builds = Both;
};
// clang-format off
const QList<Overlap> IntendedOverlaps = {
    {"Frame6", "frame2", "the power-on frame stands over the lower part of the interlock frame"},
    {"Fusuo_\\d", "frame2", "the interlock boxes lie on the window inside the interlock frame"},
    {"Option1_1", "frame2", "the 5200 option lies on the window inside the interlock frame"},
    {"Option1_1", "Option1_0", "the two series options' places overlap by 15 twips"},
    {"TestButton", "Frame6|frame2", "the query button lies on the window inside the power-on frame"},
    {"err1", "Frame5", "the reply box sits on the top edge of the channel frame"},
    {"Label24", "IDset", "the link label's place ends 15 twips into the address button"},
    {"Label28_(\\d)", "PCheck_\\1", "the dash lies under its channel selector and shows beside it", FullOnly},
    {"Label28_(\\d)", "PortCheck_\\1", "the dash's place ends 15 twips into its state box", FullOnly},
    {"Check2|IDset", "Frame5", "their places end 15 twips into the channel frame's top edge"},
    {"Label27", "HourCombo", "the heading's place ends 15 twips into the list below it", FullOnly},
    {"Line5", "Line6", "the two dividing lines meet", FullOnly},
};
// clang-format on

// Index of the entry that excuses the two names, or -1.
qsizetype intendedOverlap(const QString& a, const QString& b) {
    for (qsizetype k = 0; k < IntendedOverlaps.size(); ++k) {
        const Overlap& o = IntendedOverlaps[k];
        for (const auto& [x, y] : {std::pair(a, b), std::pair(b, a)}) {
            const QRegularExpression first(QRegularExpression::anchoredPattern(o.first));
            const QRegularExpressionMatch m = first.match(x);
            if (!m.hasMatch())
                continue;
            // A back-reference in the second pattern ties an array element to its partner.
            QString second = o.second;
            if (m.lastCapturedIndex() >= 1)
                second.replace(QStringLiteral("\\1"), QRegularExpression::escape(m.captured(1)));
            if (QRegularExpression(QRegularExpression::anchoredPattern(second)).match(y).hasMatch())
                return k;
        }
    }
    return -1;
}

QWidget* frameOf(QWidget* w, const QWidget* window) {
    QWidget* parent = w->parentWidget();
    return parent == window ? nullptr : parent;
}

// Pairs of visible placed widgets that overlap on the window without an entry above; a control is
// not compared with its own frame, and a frame's contents share the excuse of their frame.
QStringList unexpectedOverlaps(QWidget* window, QSet<qsizetype>& used) {
    QList<QWidget*> visible;
    for (QWidget* w : placedWidgets(window))
        if (w->isVisibleTo(window))
            visible << w;
    QStringList found;
    for (qsizetype i = 0; i < visible.size(); ++i) {
        for (qsizetype j = i + 1; j < visible.size(); ++j) {
            QWidget* a = visible[i];
            QWidget* b = visible[j];
            if (a->isAncestorOf(b) || b->isAncestorOf(a))
                continue;
            if (!windowRect(a, window).intersects(windowRect(b, window)))
                continue;
            qsizetype k = intendedOverlap(a->objectName(), b->objectName());
            // The contents of a frame lie over whatever their frame may overlap.
            for (QWidget* fa : {a, frameOf(a, window)})
                for (QWidget* fb : {b, frameOf(b, window)})
                    if (k < 0 && fa && fb && fa != fb)
                        k = intendedOverlap(fa->objectName(), fb->objectName());
            if (k < 0)
                found << a->objectName() + QStringLiteral(" / ") + b->objectName();
            else
                used.insert(k);
        }
    }
    return found;
}

QString withoutMnemonic(QString text) {
    return text.replace(QStringLiteral("&&"), QStringLiteral("\x01"))
        .remove(QLatin1Char('&'))
        .replace(QLatin1Char('\x01'), QLatin1Char('&'));
}

// The rectangle in which the style draws a control's caption, and how it aligns it there.
struct TextSpace {
    QString text;
    QRect rect;
    Qt::Alignment alignment;
};

std::optional<TextSpace> captionSpace(QWidget* w) {
    QStyle* style = w->style();
    if (auto* box = qobject_cast<QCheckBox*>(w); box || qobject_cast<QRadioButton*>(w)) {
        auto* button = static_cast<QAbstractButton*>(w);
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        opt.iconSize = button->iconSize();
        const auto element = box ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents;
        return TextSpace{button->text(), style->subElementRect(element, &opt, button),
                         Qt::AlignLeft | Qt::AlignVCenter};
    }
    if (auto* button = qobject_cast<QPushButton*>(w)) {
        QStyleOptionButton opt;
        opt.initFrom(button);
        opt.text = button->text();
        if (button->autoDefault())
            opt.features |= QStyleOptionButton::AutoDefaultButton;
        return TextSpace{button->text(),
                         style->subElementRect(QStyle::SE_PushButtonContents, &opt, button),
                         Qt::AlignCenter};
    }
    if (auto* label = qobject_cast<QLabel*>(w)) {
        const int m = label->margin();
        return TextSpace{label->text(), label->contentsRect().adjusted(m, m, -m, -m),
                         label->alignment()};
    }
    return std::nullopt;
}

// Why the caption is cut off, or an empty text when it is not: its width against the space the
// style gives it.
QString clipping(QWidget* w, const TextSpace& space) {
    const QString text = withoutMnemonic(space.text);
    const int advance = QFontMetrics(w->font()).horizontalAdvance(text);
    if (advance <= space.rect.width())
        return QString();
    return QStringLiteral("%1 \"%2\": %3 px wide, text space %4 wide")
        .arg(w->objectName(), text)
        .arg(advance)
        .arg(space.rect.width());
}

// The widest entry of a drop-down list against the field that shows the chosen entry.
QString comboClipping(QComboBox* combo) {
    QStyleOptionComboBox opt;
    opt.initFrom(combo);
    opt.editable = combo->isEditable();
    // The style draws the chosen entry one pixel inside the field on either side, and clips it.
    const QRect field =
        combo->style()
            ->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField, combo)
            .adjusted(1, 0, -1, 0);
    const QFontMetrics fm(combo->font());
    for (int i = 0; i < combo->count(); ++i) {
        const int advance = fm.horizontalAdvance(combo->itemText(i));
        if (advance > field.width())
            return QStringLiteral("%1 \"%2\": %3 px wide, field %4")
                .arg(combo->objectName(), combo->itemText(i))
                .arg(advance)
                .arg(field.width());
    }
    return QString();
}

QRect placeOf(const Console& c, const QString& name) {
    QWidget* w = c.find<QWidget>(name);
    return w ? windowRect(w, c.window.get()) : QRect();
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

    static void programs() {
        QTest::addColumn<bool>("classic");
        QTest::newRow("full") << false;
        QTest::newRow("classic") << true;
    }

private slots:
    void initTestCase() {
        // The programs' own style and fonts, which the caption checks measure.
        vesk::setUpApplication(*qApp, QStringLiteral("tst_layout"));
    }

    // No two visible controls overlap except where the design puts them together, in either series.
    void noUnintendedOverlap_data() { programs(); }
    void noUnintendedOverlap() {
        QFETCH(bool, classic);
        Console c(classic);
        QVERIFY(c.settle());
        QSet<qsizetype> used;
        QStringList found = unexpectedOverlaps(c.window.get(), used); // 5200 series
        c.find<QRadioButton>(QStringLiteral("Option1_0"))->setChecked(true);
        QVERIFY(c.settle());
        QVERIFY(c.find<QWidget>(QStringLiteral("S1_0"))->isVisibleTo(c.window.get()));
        found << unexpectedOverlaps(c.window.get(), used); // QX series
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QStringLiteral("; "))));

        for (qsizetype k = 0; k < IntendedOverlaps.size(); ++k) {
            const Builds builds = IntendedOverlaps[k].builds;
            if (builds != Both && (builds == ClassicOnly) != classic)
                continue;
            QVERIFY2(used.contains(k),
                     qPrintable(IntendedOverlaps[k].first + QStringLiteral(" / ") +
                                IntendedOverlaps[k].second + QStringLiteral(" overlap no more")));
        }
    }

    // Every control lies inside its frame (or the window), so nothing is cut off at an edge.
    void insideFrames_data() { programs(); }
    void insideFrames() {
        QFETCH(bool, classic);
        Console c(classic, false);
        QStringList outside;
        int placed = 0;
        for (QWidget* w : placedWidgets(c.window.get())) {
            ++placed;
            if (!w->parentWidget()->rect().contains(w->geometry()))
                outside << w->objectName();
        }
        QVERIFY(placed > 100);
        QVERIFY2(outside.isEmpty(), qPrintable(outside.join(QStringLiteral(", "))));
    }

    // The places operators find their controls by: the four ports in one row from COM1 on, the
    // sixteen switch buttons as rows on 1-4, off 1-4, on 5-8, off 5-8 with one channel a column,
    // and each channel's toggle and delay boxes in one row, channel 1 at the top.
    void operatorPlaces_data() { programs(); }
    void operatorPlaces() {
        QFETCH(bool, classic);
        Console c(classic, false);
        const auto ascending = [](const QList<int>& v) {
            return std::adjacent_find(v.begin(), v.end(), std::greater_equal<>()) == v.end();
        };
        QList<int> lefts;
        for (int i = 0; i < 4; ++i) {
            const QRect port = placeOf(c, QStringLiteral("COM_%1").arg(i));
            QCOMPARE(port.top(), placeOf(c, QStringLiteral("COM_0")).top());
            lefts << port.left();
        }
        QVERIFY(ascending(lefts));
        QList<int> rowTop(4, -1), columnLeft(4, -1);
        for (int i = 0; i < 16; ++i) {
            const int row = 2 * (i % 8 / 4) + i / 8, column = i % 4;
            const QRect lamp = placeOf(c, QStringLiteral("Command_CPort_%1").arg(i));
            if (i % 4 == 0)
                rowTop[row] = lamp.top();
            if (i < 4)
                columnLeft[column] = lamp.left();
            QCOMPARE(lamp.top(), rowTop[row]);
            QCOMPARE(lamp.left(), columnLeft[column]);
        }
        QVERIFY(ascending(rowTop) && ascending(columnLeft));
        QList<int> tops;
        for (int r = 0; r < 8; ++r) {
            const QRect toggle = placeOf(c, QStringLiteral("Check1_%1").arg(r));
            const QRect on = placeOf(c, QStringLiteral("Text1_%1").arg(r));
            const QRect off = placeOf(c, QStringLiteral("Text1_%1").arg(r + 8));
            QVERIFY(on.top() == toggle.top() && off.top() == toggle.top());
            QVERIFY(ascending({toggle.left(), on.left(), off.left()}));
            tops << toggle.top();
        }
        QVERIFY(ascending(tops));
    }

    // Every caption fits the space its control gives it, at the program's own style and fonts.
    void captionsFit_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<int>("captions"); // controls with a caption, so none is passed over
        QTest::newRow("full") << false << 115;
        QTest::newRow("classic") << true << 89;
    }
    void captionsFit() {
        QFETCH(bool, classic);
        QFETCH(int, captions);
        Console c(classic);
        QVERIFY(c.settle());
        QStringList clipped;
        int checked = 0;
        for (QWidget* w : c.window->findChildren<QWidget*>()) {
            if (w->objectName().isEmpty() || w->objectName().startsWith(QStringLiteral("qt_")))
                continue;
            if (auto* combo = qobject_cast<QComboBox*>(w)) {
                if (const QString why = comboClipping(combo); !why.isEmpty())
                    clipped << why;
                continue;
            }
            const std::optional<TextSpace> space = captionSpace(w);
            if (!space || space->text.isEmpty())
                continue;
            ++checked;
            if (const QString why = clipping(w, *space); !why.isEmpty())
                clipped << why;
        }
        QCOMPARE(checked, captions);
        QVERIFY2(clipped.isEmpty(), qPrintable(clipped.join(QStringLiteral("; "))));
    }

    // The client area keeps its size, whatever the window manager asks; the title names the build.
    void clientAreaAndTitle_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<QString>("title"); // "*": the build date goes there
        QTest::newRow("full") << false << QStringLiteral("VESK系列电源控制器V3.0  Data：100715");
        QTest::newRow("classic") << true
                                 << QStringLiteral("VESK系列电源控制器V3.0   *  Data：090717");
    }
    void clientAreaAndTitle() {
        QFETCH(bool, classic);
        QFETCH(QString, title);
        Console c(classic, false);
        QCOMPARE(c.window->size(), QSize(595, 656));
        c.window->show();
        c.window->resize(900, 900);
        QCOMPARE(c.window->size(), QSize(595, 656));
        c.window->showMaximized();
        QCOMPARE(c.window->size(), QSize(595, 656));
        const QRegularExpression pattern(
            QRegularExpression::anchoredPattern(QRegularExpression::escape(title).replace(
                QStringLiteral("\\*"), QStringLiteral(".*"))));
        QVERIFY2(pattern.match(c.window->windowTitle()).hasMatch(),
                 qPrintable(c.window->windowTitle()));
        QCOMPARE(!c.find<QWidget>(QStringLiteral("Frame7")), classic);
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
