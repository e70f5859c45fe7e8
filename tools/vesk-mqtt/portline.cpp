#include "portline.h"

namespace vesk::mqtt {

namespace {

// COMn names the device the port control maps it to ($VESKPANEL_COMn or the platform's name).
PortLocation resolved(const QString& text) {
    PortLocation location = parsePortLocation(text).value_or(PortLocation{});
#ifndef Q_OS_WIN
    if (location.kind == PortLocation::Kind::WindowsCom) {
        location.kind = PortLocation::Kind::Device;
        location.path = SerialPortControl::deviceNameFor(location.path.mid(3).toInt());
    }
#endif
    return location;
}

} // namespace

bool isPortForm(const QString& text, QString* reason) {
    return parsePortLocation(text, reason).has_value();
}

QString canonicalPortKey(const QString& text) {
    const PortLocation location = resolved(text);
    if (location.isTcp())
        return location.text();
    const QString canonical = SerialPortControl::canonicalDevice(location.path);
    return canonical.isEmpty() ? location.path : canonical;
}

QString configuredPortKey(const QString& text) {
    return resolved(text).text();
}

PortLine::PortLine(const QString& text, QObject* parent)
    : QObject(parent), m_text(text), m_location(resolved(text)) {
    connect(&m_port, &SerialPortControl::onComm, this, [this] { emit batch(m_port.input()); });
    connect(&m_port, &SerialPortControl::portLost, this, [this] {
        m_reopener.watch(0, m_location);
        emit lost();
    });
    connect(&m_port, &SerialPortControl::opened, this, &PortLine::opened);
    connect(&m_port, &SerialPortControl::openFailed, this, [this](const PortError& error) {
        if (!m_reopener.watching())
            m_reopener.watch(0, m_location);
        emit openFailed(error.text);
    });
}

void PortLine::open() {
    m_port.openLocation(m_location);
}

} // namespace vesk::mqtt
