#include "frame.h"

namespace vesk {

quint8 checksum(QByteArrayView bytes) {
    unsigned sum = 0;
    for (char c : bytes)
        sum += static_cast<quint8>(c);
    return static_cast<quint8>(255 - (sum % 256));
}

QByteArray commandFrame(quint8 address, quint8 command, QByteArrayView data) {
    // The length byte cannot count more; a wrapped count would make the device misread the frame.
    if (data.size() > MaxCommandData)
        return {};
    QByteArray frame;
    frame.reserve(6 + data.size());
    frame.append(char(FrameStart));
    frame.append(char(FrameSecond));
    frame.append(char(address));
    frame.append(char(command));
    frame.append(char(data.size()));
    frame.append(data);
    frame.append(char(checksum(frame)));
    return frame;
}

QByteArray statusQueryFrame(quint8 address) {
    const char data[] = {0x01};
    return commandFrame(address, Cmd::StatusQuery, QByteArrayView(data, 1));
}

QString hexByte(quint8 byte) {
    static const char digits[] = "0123456789ABCDEF";
    const QChar text[3] = {QChar(digits[byte >> 4]), QChar(digits[byte & 0x0F]), QChar(' ')};
    return QString(text, 3);
}

QString hexText(QByteArrayView bytes) {
    QString text;
    text.reserve(bytes.size() * 3);
    for (char c : bytes)
        text += hexByte(static_cast<quint8>(c));
    return text;
}

} // namespace vesk
