// Every control at its designed place (twips, relative to its container) in both programs, and the
// window's fixed client size.
#include <QTest>

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
    // Single-channel buttons: on 1-4, off 1-4, on 5-8, off 5-8.
    {"Command_CPort_0", "Frame1", 120, 240, 735, 495, FullOnly},
    {"Command_CPort_3", "Frame1", 3000, 240, 735, 495, FullOnly},
    {"Command_CPort_8", "Frame1", 120, 840, 735, 495, FullOnly},
    {"Command_CPort_11", "Frame1", 3000, 840, 735, 495, FullOnly},
    {"Command_CPort_4", "Frame1", 120, 1440, 735, 495, FullOnly},
    {"Command_CPort_6", "Frame1", 2040, 1440, 735, 495, FullOnly},
    {"Command_CPort_13", "Frame1", 1080, 2040, 735, 495, FullOnly},
    {"Command_CPort_15", "Frame1", 3000, 2040, 735, 495, FullOnly},
    {"Command_CPort_0", "Frame1", 240, 240, 1215, 495, ClassicOnly},
    {"Command_CPort_3", "Frame1", 4920, 240, 1215, 495, ClassicOnly},
    {"Command_CPort_9", "Frame1", 1800, 840, 1215, 495, ClassicOnly},
    {"Command_CPort_6", "Frame1", 3360, 1440, 1215, 495, ClassicOnly},
    {"Command_CPort_15", "Frame1", 4920, 2040, 1215, 495, ClassicOnly},
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
        places << Place{indexed("Label28", r), "Frame7", left, row, 495, 255, FullOnly}
               << Place{indexed("PCheck", r), "Frame7", left, row, 255, 255, FullOnly}
               << Place{indexed("PortCheck", r), "Frame7", left + 480, row, 495, 255, FullOnly};
    }
    return places;
}

QList<Place> allPlaces() {
    return FixedPlaces + arrayPlaces();
}

} // namespace

class TestLayout : public QObject {
    Q_OBJECT
private slots:
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
