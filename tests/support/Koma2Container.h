#pragma once

// Header-only, so the fuzz targets (linked to an instrumented copy of the
// core library) can use it as well as the tests and benchmarks.
#include <QByteArray>
#include <QtEndian>

#include <zlib.h>

// A KOMA2 file around `body`: signature, two skipped bytes, the compression
// mode, the declared body length (the body's own by default) and the body
// compressed with zlib at `level`.
inline QByteArray Koma2Container(const QByteArray& body, quint8 mode = 1,
                                 qint64 declaredLength = -1, int level = 6) {
    QByteArray file("KOMA2\0\0", 7);
    file.append(char(mode));
    uchar length[4];
    qToLittleEndian<quint32>(quint32(declaredLength < 0 ? body.size() : declaredLength), length);
    file.append(reinterpret_cast<const char*>(length), 4);
    uLongf compressedLength = compressBound(uLong(body.size()));
    QByteArray compressed(qsizetype(compressedLength), Qt::Uninitialized);
    compress2(reinterpret_cast<Bytef*>(compressed.data()), &compressedLength,
              reinterpret_cast<const Bytef*>(body.constData()), uLong(body.size()), level);
    compressed.truncate(qsizetype(compressedLength));
    return file + compressed;
}
