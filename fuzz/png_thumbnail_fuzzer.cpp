// Decodes arbitrary bytes as a list thumbnail, as the file-list transaction
// does with what the app sends.
#include "convert/DibSection.h"
#include "convert/PngSerializer.h"

#include <QBuffer>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QBuffer buffer;
    buffer.setData(reinterpret_cast<const char*>(data), qsizetype(size));
    buffer.open(QIODevice::ReadOnly);
    CDibSection dib;
    QString errorText;
    if (LoadPngThumbnail(dib, buffer, errorText) && dib.GetBitsPerPixel() != 24)
        __builtin_trap();
    return 0;
}
