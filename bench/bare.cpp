// vesk-bench-bare: the floor for the console's start-up, the least a Qt Widgets + SerialPort
// program does to reach the same point: a window of the console's size in the console's style and
// typeface (9 pt Song, a CJK serif face), laid out before the port is touched as the console's
// window is complete before its start-up sequence, then the port named by VESKPANEL_COM1 opened
// at 9600 8N1 and the window shown; the broadcast status query goes out 100 ms later, after the
// wait with which the console's status query starts. Nothing of the project.
#include <QApplication>
#include <QLabel>
#include <QSerialPort>
#include <QStyleFactory>
#include <QTimer>
#include <QVBoxLayout>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    app.setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"),
                      QStringLiteral("Noto Serif CJK SC"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("WenQuanYi Zen Hei")});
    font.setPointSize(9);
    app.setFont(font);
    QWidget window;
    window.setWindowTitle(QStringLiteral("VESK"));
    window.setFixedSize(595, 656); // the console's client area at 96 dpi
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel(QStringLiteral("设备返回："), &window));
    layout->activate();

    QSerialPort port(qEnvironmentVariable("VESKPANEL_COM1"));
    if (port.open(QIODevice::ReadWrite)) {
        port.setBaudRate(QSerialPort::Baud9600);
        port.setDataBits(QSerialPort::Data8);
        port.setParity(QSerialPort::NoParity);
        port.setStopBits(QSerialPort::OneStop);
        port.setFlowControl(QSerialPort::NoFlowControl);
        QTimer::singleShot(100, Qt::PreciseTimer, &port, [&port] {
            port.write(QByteArray::fromHex("CA20FE200101F5"));
            port.flush();
        });
    }
    window.show();
    return QApplication::exec();
}
