#include "portline.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace vesk::mqtt {

namespace {

// The port control maps a port number to its device through $VESKPANEL_COMn; device paths get
// numbers of their own above the ones an operator would use.
int g_nextPrivatePort = 100;

QString devicePath(const QString& spec) {
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]?)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (const auto m = com.match(spec); m.hasMatch())
        return SerialPortControl::deviceNameFor(m.captured(1).toInt());
    return spec;
}

} // namespace

bool isPortForm(const QString& text, QString* reason) {
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]?)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    if (text.startsWith(QLatin1Char('/')) || com.match(text).hasMatch())
        return true;
    *reason = QStringLiteral("port '%1' is not a device path or COMn").arg(text);
    return false;
}

QString canonicalPortKey(const QString& text) {
    const QString path = devicePath(text);
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

PortLine::PortLine(const QString& spec, QObject* parent) : QObject(parent), m_spec(spec) {
    const int number = g_nextPrivatePort++;
    qputenv(QByteArray("VESKPANEL_COM") + QByteArray::number(number),
            devicePath(spec).toLocal8Bit());
    m_port.setCommPort(number);
    connect(&m_port, &SerialPortControl::onComm, this, [this] { emit batch(m_port.input()); });
    connect(&m_port, &SerialPortControl::portLost, this, &PortLine::lost);
}

bool PortLine::open(QString* reason) {
    if (m_port.setPortOpen(true))
        return true;
    const QString path = devicePath(m_spec);
    const QFileInfo info(path);
    if (!info.exists())
        *reason = QStringLiteral("%1 does not exist").arg(path);
    else if (!info.isReadable() || !info.isWritable())
        *reason = QStringLiteral("no permission to open %1").arg(path);
    else
        *reason = QStringLiteral("%1 is busy or not a serial port").arg(path);
    return false;
}

int PortLine::retryDelayMs(int) const {
    return 1000;
}

} // namespace vesk::mqtt
