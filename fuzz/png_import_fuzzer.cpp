// Reads arbitrary bytes as a PNG image into a device document through the
// same entry point that the import of a path uses.
#include "convert/PngSerializer.h"
#include "model/KSData.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char*>(data), qsizetype(size));
    buffer.open(QIODevice::ReadOnly);
    CKSData document;
    CPngSerializer serializer;
    if (serializer.ImportFrom(document, buffer) && !document.IsConsistent())
        __builtin_trap();
    return 0;
}
