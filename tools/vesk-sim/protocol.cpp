#include "protocol.h"

#include <QList>

#include <algorithm>
#include <array>

namespace vesk::sim {

namespace {

constexpr std::array<CommandShape, 5> Commands{{
    {Cmd::StatusQuery, 1},
    {Cmd::SwitchChannel, 2},
    {Cmd::TimedSwitch, 3},
    {Cmd::KeyLock, 1},
    {Cmd::ParameterWrite, -1},
}};

} // namespace

const CommandShape* findCommand(quint8 code) {
    const auto it = std::find_if(Commands.begin(), Commands.end(),
                                 [code](const CommandShape& shape) { return shape.code == code; });
    return it == Commands.end() ? nullptr : &*it;
}

quint8 checksum(QByteArrayView bytes) {
    unsigned sum = 0;
    for (const char byte : bytes)
        sum += static_cast<quint8>(byte);
    return static_cast<quint8>(255 - sum % 256);
}

QString toHex(QByteArrayView bytes) {
    return QString::fromLatin1(bytes.toByteArray().toHex(' ').toUpper());
}

std::optional<QByteArray> fromHex(QStringView text) {
    QByteArray bytes;
    const QString simplified = text.toString().simplified();
    const QList<QStringView> tokens = QStringView(simplified).split(u' ', Qt::SkipEmptyParts);
    for (QStringView token : tokens) {
        if (token.startsWith(u"0x", Qt::CaseInsensitive))
            token = token.mid(2);
        if (token.isEmpty() || (token.size() > 2 && token.size() % 2 != 0))
            return std::nullopt;
        for (qsizetype at = 0; at < token.size(); at += 2) {
            bool ok = false;
            const uint value = token.mid(at, 2).toUInt(&ok, 16);
            if (!ok)
                return std::nullopt;
            bytes.append(char(value));
        }
    }
    return bytes;
}

} // namespace vesk::sim
