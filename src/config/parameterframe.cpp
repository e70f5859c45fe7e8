#include "parameterframe.h"

#include "link/frame.h"

namespace vesk {

QByteArray parameterFrame(quint8 address, quint8 parameter, QByteArrayView values) {
    if (values.size() > MaxParameterValues)
        return {};
    QByteArray data;
    data.reserve(3 + values.size());
    data.append(char(0x00));
    data.append(char(parameter));
    data.append(char(values.size()));
    data.append(values);
    // Same head and length byte as a command frame; the trailer is the fixed end byte instead
    // of the checksum.
    QByteArray frame = commandFrame(address, Cmd::ParameterWrite, data);
    frame[frame.size() - 1] = char(ParameterEnd);
    return frame;
}

QByteArray parameterFrame(quint8 address, quint8 parameter, quint8 value) {
    const char values[] = {char(value)};
    return parameterFrame(address, parameter, QByteArrayView(values, 1));
}

} // namespace vesk
