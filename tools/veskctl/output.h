// What veskctl tells: the text or JSON on stdout, errors on stderr.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QString>

#include <array>
#include <map>

namespace vesk::ctl {

struct Request;

class Output {
public:
    Output(const Request& request, const QString& port);

    // A frame was sent.
    void sent(const QByteArray& frame);
    // The port was reached through a share ("through vesk-mqtt, process 4711"): one line on stderr
    // (stdout stays what it is on a free line) and "via" in the JSON object.
    void via(const QString& text);
    // A remark for the user (read-back off and why).
    void note(const QString& text);
    // The channel states the device reported.
    void states(const std::array<bool, 8>& channels);
    // A failure: one line on stderr (and in the JSON object's "error", after any earlier one).
    void error(const QString& text);
    // The command was ended by a signal: `text` says what was sent and what was left.
    void interrupted(const QString& text);
    // Writes the JSON object, when asked for; call once at the end.
    void finish(int exitCode);

    // The JSON object for a command line that was not understood.
    static void badInput(const QString& text);

private:
    // The keys of the JSON object, in the order they are written.
    enum Key { Exit, Error, Interrupted, Port, Via, Address, Command, Sent, Channels, Note };
    void line(const QString& text);
    static void writeObject(const std::map<Key, QJsonValue>& values);

    bool m_json;
    bool m_quiet;
    std::map<Key, QJsonValue> m_values;
    QJsonArray m_sent;
};

// The frame as one line of the console's data display, without the blank that ends it there.
QString frameLine(const QByteArray& frame);

} // namespace vesk::ctl
