#include "portline.h"

namespace vesk::mqtt {

namespace {

// COMn names the device the port control maps it to ($VESKPANEL_COMn or the platform's name).
PortSpec resolved(const QString& text) {
    PortSpec spec = parsePortSpec(text).value_or(PortSpec{});
#ifndef Q_OS_WIN
    if (spec.kind == PortSpec::Kind::WindowsCom) {
        spec.kind = PortSpec::Kind::Device;
        spec.path = SerialPortControl::deviceNameFor(spec.path.mid(3).toInt());
    }
#endif
    return spec;
}

} // namespace

bool isPortForm(const QString& text, QString* reason) {
    return parsePortSpec(text, reason).has_value();
}

QString canonicalPortKey(const QString& text) {
    const PortSpec spec = resolved(text);
    if (spec.isTcp())
        return spec.text();
    const QString canonical = SerialPortControl::canonicalDevice(spec.path);
    return canonical.isEmpty() ? spec.path : canonical;
}

PortLine::PortLine(const QString& text, QObject* parent)
    : QObject(parent), m_text(text), m_spec(resolved(text)) {
    connect(&m_port, &SerialPortControl::onComm, this, [this] { emit batch(m_port.input()); });
    connect(&m_port, &SerialPortControl::portLost, this, [this] {
        m_reopener.watch(0, m_spec);
        emit lost();
    });
    connect(&m_port, &SerialPortControl::opened, this, &PortLine::opened);
    connect(&m_port, &SerialPortControl::openFailed, this, [this](const PortError& error) {
        if (!m_reopener.watching())
            m_reopener.watch(0, m_spec);
        emit openFailed(error.text);
    });
}

void PortLine::open() {
    m_port.openSpec(m_spec);
}

} // namespace vesk::mqtt
