#include "support/ProcessMemory.h"

#include <QByteArray>
#include <QFile>

namespace {

// A "Name:  value kB" line of /proc/self/status; -1 when it is missing.
qint64 StatusKb(const char* name) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(name) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace

qint64 ResidentKb() {
    return StatusKb("VmRSS");
}

qint64 PeakResidentKb() {
    return StatusKb("VmHWM");
}

bool ResetPeakResident() {
    // Writing 5 starts the peak anew (Linux 4.0 and later).
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}
