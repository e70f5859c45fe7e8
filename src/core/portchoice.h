// Which device each of the consoles' ports COM1..COM4 stands for. First match wins:
//   1. the command line (--com1 .. --com4, this run only),
//   2. the environment (VESKPANEL_COM1 .. VESKPANEL_COM4),
//   3. the operator's saved choice (INI file, group [ports], keys COM1..COM4),
//   4. the default: the USB serial adapters present take COM1, COM2 .. in turn, the remaining
//      ports the platform's built-in name (/dev/ttyS(n-1), COMn on Windows).
// A value that is not a port form falls back to the next source, with one warning.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

#include "core/portlocation.h"

namespace vesk {

class SerialPortControl;

inline constexpr int PortCount = 4;

enum class PortSource { CommandLine, Environment, Saved, Default };

struct ResolvedPort {
    PortLocation location;
    PortSource source = PortSource::Default;
};

// Everything the choice depends on, index 0 for COM1. Empty strings are "not given".
struct PortInputs {
    std::array<QString, PortCount> commandLine;
    std::array<QString, PortCount> environment;
    std::array<QString, PortCount> saved;
    QStringList adapters; // default candidates, in order
    bool windows = false;
};

// The rule above as a pure function; `warnings` receives one line per unusable value.
std::array<ResolvedPort, PortCount> resolvePorts(const PortInputs& inputs,
                                                 QStringList* warnings = nullptr);

// The USB serial adapters in `devDir` (ttyUSB* by number, then ttyACM* by number), each by its
// link in `byIdDir` where it has one.
QStringList usbAdapters(const QString& devDir = QStringLiteral("/dev"),
                        const QString& byIdDir = QStringLiteral("/dev/serial/by-id"));

// $XDG_CONFIG_HOME/veskpanel/veskpanel.conf, ~/.config/veskpanel/veskpanel.conf when unset.
QString portSettingsPath();

// Writes `line` to standard error unless the same line was written before in this process.
void warnOnce(const QString& line);

// The consoles' port choices: resolved at construction from the command line, the environment,
// the settings file and the adapters present; the operator's choices saved at once.
class PortChoices : public QObject {
    Q_OBJECT
public:
    explicit PortChoices(std::array<QString, PortCount> commandLine = {},
                         QString settingsPath = portSettingsPath(), QObject* parent = nullptr);

    // commPort 1..4.
    const ResolvedPort& port(int commPort) const { return m_ports.at(commPort - 1); }
    // Stores the operator's choice and uses it from now on, ahead of every other source.
    // False (with one warning) when the settings file cannot be written; the choice still holds
    // for this run.
    bool choose(int commPort, const PortLocation& location);
    // Removes the saved choice; the port falls back to the remaining sources.
    void forget(int commPort);
    // Hands the current choices to the port.
    void applyTo(SerialPortControl& port) const;
    QString settingsPath() const { return m_path; }

signals:
    void changed(int commPort);

private:
    void resolve();
    bool writeSaved(int commPort, const QString& value);

    QString m_path;
    PortInputs m_inputs;
    std::array<std::optional<PortLocation>, PortCount> m_chosen; // chosen in this run
    std::array<ResolvedPort, PortCount> m_ports;
};

} // namespace vesk
