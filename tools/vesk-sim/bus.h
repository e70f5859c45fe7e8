// Several controllers on one serial line. Every controller hears every frame and takes the ones for
// its own address or the broadcast address; controllers that answer the same frame send at the
// same moment, and their replies overlap on the wire.
#pragma once

#include "device.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

#include <optional>
#include <vector>

namespace vesk::sim {

// Reads a list of addresses 0-255: single ones and ranges, comma-separated ("1", "1-40",
// "1,3,5-9", "0x10-0x1F"). Returns them in ascending order, each once.
std::optional<QList<quint8>> parseAddresses(QStringView text, QString* error = nullptr);
// The compact form of an ascending list, as parseAddresses() reads it: "1-40", "1,3,5-9".
QString addressesText(const QList<quint8>& addresses);

// What the line carries when several senders start the same moment: their bytes overlap one for
// one, and a bit is 0 when any sender drives it 0 (the idle level of the line is 1), so the bytes
// are ANDed. A sender that has already finished leaves the line idle, so a longer transmission's
// remaining bytes pass unchanged.
QByteArray collide(const QList<QByteArray>& transmissions);

class Bus {
public:
    // Who takes frames with a given address byte.
    enum class Reach {
        Nobody,    // no controller has the address
        MutedOnly, // only muted controllers have it: nobody hears the frame
        Listening, // at least one controller that is not muted takes it
    };
    struct Result {
        Device::Outcome outcome = Device::Outcome::Ignored;
        QByteArray reply; // what the line carries back: the answers collided
        int answers = 0;  // how many controllers answered
        QString reason;   // why the frame was rejected
    };

    // One controller per address, in the order given.
    explicit Bus(const QList<quint8>& addresses, double timeScale = 1.0);

    int size() const { return static_cast<int>(m_devices.size()); }
    Device& device(int index) { return m_devices[static_cast<size_t>(index)]; }
    const Device& device(int index) const { return m_devices[static_cast<size_t>(index)]; }

    // A muted controller is off the line: it hears no frame and sends nothing. It keeps its state
    // and its pending switches still fall due.
    bool muted(int index) const { return m_muted[static_cast<size_t>(index)]; }
    void setMuted(int index, bool muted) { m_muted[static_cast<size_t>(index)] = muted; }

    // The controllers that have one of these addresses now (several after a shared new address).
    QList<int> indexesAt(const QList<quint8>& addresses) const;
    Reach reach(quint8 address) const;

    // Hands one complete frame to every controller that is not muted. The outcome is that of the
    // first controller that takes the frame (they all judge it alike); the reply is the collided
    // answers of all of them.
    Result handleFrame(QByteArrayView frame);
    // Counts input the parser rejected, at every controller that hears it.
    void noteMalformed();

    // Moves every controller's time on to nowMs, carrying out the switches that fall due.
    void advanceTo(qint64 nowMs);
    // Milliseconds until the next pending switch of any controller is due, if any.
    std::optional<qint64> msUntilNextSwitch() const;

private:
    std::vector<Device> m_devices;
    std::vector<bool> m_muted;
};

} // namespace vesk::sim
