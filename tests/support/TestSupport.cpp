#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QTimer>

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

void WriteFuzzSeed(const char* fuzzer, const QString& name, const QByteArray& bytes) {
    const QString dir = QStringLiteral(KS_FUZZ_SEED_DIR "/") + QLatin1String(fuzzer);
    QDir().mkpath(dir);
    QFile file(dir + u'/' + name);
    if (file.open(QIODevice::WriteOnly))
        file.write(bytes);
}

QString PngSuitePath(const QString& fileName) {
    return QStringLiteral(KS_TESTDATA_DIR "/pngsuite/") + fileName;
}

bool WaitUntil(const std::function<bool()>& done, int limitMs) {
    QDeadlineTimer deadline(limitMs);
    QTimer wake;
    wake.start(100);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}
