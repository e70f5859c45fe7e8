// What veskctl tells: the text or JSON on stdout, errors on stderr.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <array>
#include <optional>

namespace vesk::ctl {

struct Request;

class Output {
public:
    Output(const Request& request, const QString& port);

    // A frame was sent.
    void sent(const QByteArray& frame);
    // A remark for the user (read-back off and why).
    void note(const QString& text);
    // The channel states the device reported.
    void states(const std::array<bool, 8>& channels);
    // A failure: one line on stderr (and in the JSON object).
    void error(const QString& text);
    // Writes the JSON object, when asked for; call once at the end.
    void finish(int exitCode);

private:
    void line(const QString& text);

    bool m_json;
    bool m_quiet;
    QJsonObject m_object;
    QJsonArray m_sent;
};

// The frame as one line of the console's data display, without the blank that ends it there.
QString frameLine(const QByteArray& frame);

} // namespace vesk::ctl
