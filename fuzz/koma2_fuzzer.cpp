// Feeds arbitrary bytes to the KOMA2 reader and imports what loads into a
// device document, which must then be consistent. Input that does not start
// with the signature is taken as the inflated body and wrapped in a valid
// header and zlib stream first, so that mutations reach the chunk tree.
#include "convert/KomSerializer.h"
#include "model/KSData.h"
#include "model/Koma2Data.h"
#include "support/Koma2Container.h"

#include <QBuffer>

namespace {

QByteArray WrapBody(const QByteArray& body) {
    return Koma2Container(body, 1, -1, 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), qsizetype(size));
    if (!bytes.startsWith("KOMA2"))
        bytes = WrapBody(bytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    CKoma2Data drawing;
    QString error;
    if (!drawing.Load(buffer, &error)) {
        if (error.isEmpty())
            __builtin_trap(); // every failure carries a text
        return 0;
    }
    CKomSerializer serializer;
    CKSData document;
    if (serializer.ImportFrom(document, drawing)) {
        if (!document.IsConsistent())
            __builtin_trap();
    } else if (serializer.m_strLastError.isEmpty()) {
        __builtin_trap();
    }
    return 0;
}
