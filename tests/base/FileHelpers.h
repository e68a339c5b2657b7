#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

inline QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The text of a UTF-16LE file after its byte-order mark.
inline QString ReadUtf16File(const QString& path) {
    const QByteArray bytes = ReadFileBytes(path);
    if (!bytes.startsWith("\xFF\xFE"))
        return QStringLiteral("<no UTF-16LE mark>");
    return QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData() + 2),
                              (bytes.size() - 2) / 2);
}

inline bool WriteUtf16File(const QString& path, const QString& text) {
    return WriteFileBytes(
        path, QByteArray("\xFF\xFE")
                  .append(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
}
