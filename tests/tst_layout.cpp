// Every control at its designed place (twips, relative to its container) in both programs, and the
// window's fixed client size.
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

#include <optional>

#include "app/application.h"
#include "support/fixture.h"

using namespace vesk;

namespace {

enum Builds { Both, FullOnly, ClassicOnly };

struct Place {
    QString name;
    QString parent; // object name of the container; "VESK" for the window
    int left, top, width, height;
    Builds builds;
};

// clang-format off
const QList<Place> FixedPlaces = {
    {"Frame3", "VESK", 120, 120, 3855, 615, Both},
    {"frame2", "VESK", 120, 960, 2175, 5415, Both},
    {"Frame6", "VESK", 120, 3240, 2175, 3135, Both},
    {"Frame5", "VESK", 2400, 840, 6375, 5055, Both},
    {"Frame1", "VESK", 2400, 6000, 3855, 2775, FullOnly},
    {"Frame1", "VESK", 2400, 6000, 6375, 2775, ClassicOnly},
    {"Frame7", "VESK", 6360, 6000, 2415, 2775, FullOnly},
    {"Frame4", "VESK", 120, 8880, 8655, 855, Both},
    {"COM_0", "Frame3", 120, 240, 855, 315, Both},
    {"COM_1", "Frame3", 1050, 240, 855, 315, Both},
    {"COM_2", "Frame3", 1980, 240, 855, 315, Both},
    {"COM_3", "Frame3", 2910, 240, 855, 315, Both},
    {"Label24", "VESK", 4200, 30, 3450, 285, Both},
    {"Label22", "VESK", 4140, 540, 615, 255, Both},
    {"IDCombo_1", "VESK", 4800, 540, 615, 300, Both},
    {"Check2", "VESK", 5520, 480, 855, 375, Both},
    {"IDset", "VESK", 6720, 300, 975, 555, Both},
    {"Label21", "VESK", 7950, 360, 345, 165, Both},
    {"IDCombo_0", "VESK", 7800, 540, 735, 300, Both},
    {"err1", "VESK", 2760, 780, 1095, 255, Both},
    {"TestButton", "VESK", 360, 5400, 1695, 375, Both},
    {"Checktest", "Frame6", 180, 2640, 1815, 300, Both},
    {"Label23", "Frame6", 120, 870, 1935, 255, Both},
    {"Text2", "Frame4", 120, 240, 8415, 495, Both},
    {"Label17", "Frame5", 240, 240, 1575, 255, Both},
    {"Command5", "Frame5", 120, 4440, 1455, 495, Both},
    {"Label18", "Frame5", 2160, 240, 1575, 255, Both},
    {"Label19", "Frame5", 4440, 240, 1575, 255, Both},
    {"Command1", "Frame5", 1800, 4440, 2055, 495, Both},
    {"Command2", "Frame5", 4200, 4440, 2055, 495, Both},
    {"Command3_0", "VESK", 120, 7680, 2175, 495, Both},
    {"Command3_1", "VESK", 120, 8280, 2175, 495, Both},
    {"Label27", "Frame7", 120, 1800, 855, 255, FullOnly},
    {"HourCombo", "Frame7", 120, 2040, 855, 300, FullOnly},
    {"MinteCombo", "Frame7", 120, 2400, 855, 300, FullOnly},
    {"Command4", "Frame7", 1200, 1800, 1095, 855, FullOnly},
    {"Line5", "Frame7", 0, 1680, 2415, 30, FullOnly},
    {"Line6", "Frame7", 1100, 1680, 30, 1080, FullOnly},
    {"kj_ID_0", "Frame6", 120, 240, 1935, 300, Both},
    {"kj_ID_1", "Frame6", 120, 540, 1935, 300, Both},
    {"Label25", "Frame6", 120, 1200, 375, 255, Both},
    {"Label26", "Frame6", 120, 1560, 375, 255, Both},
    {"Option1_0", "frame2", 120, 240, 855, 375, Both},
    {"Option1_1", "VESK", 1080, 1200, 1095, 375, Both},
    {"Fusuo_0", "VESK", 240, 1680, 1935, 300, Both},
    {"Fusuo_1", "VESK", 240, 2040, 1935, 300, Both},
    {"Fusuo_3", "VESK", 240, 2400, 1935, 300, Both},
    {"Fusuo_2", "VESK", 240, 2760, 1935, 300, Both},
    {"Command25_1", "VESK", 120, 6480, 2175, 495, Both},
    {"Command25_0", "VESK", 120, 7080, 2175, 495, Both},
};
// clang-format on

QString indexed(const char* name, int i) {
    return QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i);
}

// The control arrays, row by row.
QList<Place> arrayPlaces() {
    QList<Place> places;
    for (int r = 0; r < 8; ++r) {
        const int top = 600 + 480 * r;
        places << Place{indexed("Check1", r), "Frame5", 720, top, 855, 375, Both}
               << Place{indexed("Label20", r), "Frame5", 120, 705 + 480 * r, 555, 255, Both}
               << Place{indexed("Text1", r), "Frame5", 1920, top, 735, 270, Both}
               << Place{indexed("Text1", r + 8), "Frame5", 4200, top, 735, 270, Both}
               << Place{QStringLiteral("Label%1").arg(r + 1), "Frame5", 2760, top, 255, 270, Both}
               << Place{QStringLiteral("Label%1").arg(r + 9), "Frame5", 5040, top, 255, 270, Both}
               << Place{indexed("SpinButton1", r), "Frame5", 3120, top, 735, 255, Both}
               << Place{indexed("SpinButton1", r + 8), "Frame5", 5400, top, 735, 255, Both};
        places << Place{indexed("S1", r), "frame2", 120, 720 + 570 * r, 1935, 495, Both}
               << Place{indexed("port", r),
                        "Frame6",
                        540 + 360 * (r % 4),
                        r < 4 ? 1200 : 1560,
                        255,
                        255,
                        Both};
        const int left = r < 4 ? 120 : 1320;
        const int row = 240 + 360 * (r % 4);
        // Single-channel buttons: rows on 1-4, off 1-4, on 5-8, off 5-8; one channel a column.
        for (int off = 0; off < 2; ++off) {
            const int i = r + 8 * off;
            const int top = 240 + 600 * (2 * (r / 4) + off);
            const int column = r % 4;
            places << Place{indexed("Command_CPort", i),
                            "Frame1",
                            120 + 960 * column,
                            top,
                            735,
                            495,
                            FullOnly}
                   << Place{indexed("Command_CPort", i),
                            "Frame1",
                            240 + 1560 * column,
                            top,
                            1215,
                            495,
                            ClassicOnly};
        }
        places << Place{indexed("Label28", r), "Frame7", left, row, 495, 255, FullOnly}
               << Place{indexed("PCheck", r), "Frame7", left, row, 255, 255, FullOnly}
               << Place{indexed("PortCheck", r), "Frame7", left + 480, row, 495, 255, FullOnly};
    }
    return places;
}

QList<Place> allPlaces() {
    return FixedPlaces + arrayPlaces();
}

QList<Place> placesOf(bool classic) {
    QList<Place> places;
    for (const Place& p : allPlaces())
        if (p.builds == Both || (p.builds == ClassicOnly) == classic)
            places << p;
    return places;
}

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

// Why the caption is cut off, or an empty text when it is not: its ink, laid out as the style lays
// it out, must stay inside what clips it.
QString clipping(QWidget* w, const TextSpace& space) {
    const QString text = withoutMnemonic(space.text);
    const QFontMetrics fm(w->font());
    const int advance = fm.horizontalAdvance(text);
    const QRect laidOut = QStyle::alignedRect(w->layoutDirection(), space.alignment,
                                              QSize(advance, fm.height()), space.rect);
    QRect ink = fm.tightBoundingRect(text);
    ink.translate(laidOut.left(), laidOut.top() + fm.ascent());
    // Text that needs more room than its space is clipped to that space; otherwise only the
    // control's own edges clip it.
    const bool overflows = advance > space.rect.width() || fm.height() > space.rect.height();
    const QRect clip = overflows ? space.rect & w->rect() : w->rect();
    if (!clip.contains(ink))
        return QStringLiteral(
                   "%1 \"%2\": %3 px wide, ink %4,%5 %6x%7 in %8x%9, text space %10 wide")
            .arg(w->objectName(), text)
            .arg(advance)
            .arg(ink.x())
            .arg(ink.y())
            .arg(ink.width())
            .arg(ink.height())
            .arg(w->width())
            .arg(w->height())
            .arg(space.rect.width());
    return QString();
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

    void places_data() {
        QTest::addColumn<bool>("classic");
        QTest::addColumn<int>("row");
        int row = 0;
        for (const Place& p : allPlaces()) {
            if (p.builds != ClassicOnly)
                QTest::addRow("full %s", qPrintable(p.name)) << false << row;
            if (p.builds != FullOnly)
                QTest::addRow("classic %s", qPrintable(p.name)) << true << row;
            ++row;
        }
    }
    void places() {
        QFETCH(bool, classic);
        QFETCH(int, row);
        const Place p = allPlaces().at(row);
        Console c(classic, false);
        auto* widget = c.find<QWidget>(p.name);
        QVERIFY2(widget, qPrintable(p.name));
        QCOMPARE(widget->parentWidget()->objectName(), p.parent);
        QCOMPARE(widget->geometry(), toolkit::twips(p.left, p.top, p.width, p.height));
    }

    // Every widget of the window has its place in the table, or is part of a control that has.
    void everyWidgetHasAPlace_data() { programs(); }
    void everyWidgetHasAPlace() {
        QFETCH(bool, classic);
        Console c(classic, false);
        QSet<QString> listed;
        for (const Place& p : placesOf(classic))
            listed.insert(p.name);
        QStringList missing;
        for (QWidget* w : placedWidgets(c.window.get()))
            if (!listed.contains(w->objectName()))
                missing << (w->objectName().isEmpty()
                                ? QString::fromLatin1(w->metaObject()->className())
                                : w->objectName());
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(", "))));
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

    void clientAreaIsFixed_data() {
        QTest::addColumn<bool>("classic");
        QTest::newRow("full") << false;
        QTest::newRow("classic") << true;
    }
    void clientAreaIsFixed() {
        QFETCH(bool, classic);
        Console c(classic, false);
        QCOMPARE(c.window->size(), QSize(595, 656));
        QCOMPARE(c.window->minimumSize(), c.window->maximumSize());
    }

    void classicHasNoMultiChannelArea() {
        Console c(true, false);
        QVERIFY(!c.find<QWidget>("Frame7"));
        QVERIFY(c.window->windowTitle().startsWith(QStringLiteral("VESK系列电源控制器V3.0   ")));
        QVERIFY(c.window->windowTitle().endsWith(QStringLiteral("  Data：090717")));
        Console full(false, false);
        QCOMPARE(full.window->windowTitle(),
                 QStringLiteral("VESK系列电源控制器V3.0  Data：100715"));
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
