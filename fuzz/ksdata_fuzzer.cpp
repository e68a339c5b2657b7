// Loads arbitrary bytes as a device document from a memory stream, the way a
// download does, and saves what loaded. Any crash, leak, overflow or
// uninitialised read is a finding.
#include "model/KSData.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QBuffer input;
    input.setData(reinterpret_cast<const char*>(data), qsizetype(size));
    input.open(QIODevice::ReadOnly);
    CKSData document;
    QString error;
    if (document.Load(input, &error)) {
        QBuffer output;
        output.open(QIODevice::WriteOnly);
        document.Save(output, &error);
        document.IsConsistent();
    }
    return 0;
}
