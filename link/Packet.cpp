#include "link/Packet.h"

QByteArray MakeRequestLine(QByteArrayView command, QByteArrayView argument) {
    QByteArray line;
    line.reserve(command.size() + argument.size() + 2);
    line.append(command).append(':').append(argument).append('\n');
    return line;
}

bool SplitPacketLine(QByteArrayView line, QByteArray& name, QByteArray& value) {
    const qsizetype nColon = line.indexOf(':');
    if (nColon < 0)
        return false;
    name = line.first(nColon).toByteArray();
    value = line.sliced(nColon + 1).toByteArray();
    return true;
}
