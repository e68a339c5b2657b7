// Feeds arbitrary bytes to the version-resource reader and walks the paths a
// version lookup takes.
#include "base/VersionResource.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > size_t(CVersionResource::kMaxSize))
        return 0;
    const CVersionResource reader(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    reader.QueryValue(QStringLiteral("\\"));
    const std::optional<QByteArray> translation =
        reader.QueryValue(QStringLiteral("\\VarFileInfo\\Translation"));
    if (translation && translation->size() >= 4) {
        const auto word = [&](int offset) {
            return unsigned(uchar(translation->at(offset)) | uchar(translation->at(offset + 1))
                                                                 << 8);
        };
        reader.QueryText(
            QString::asprintf("\\StringFileInfo\\%04x%04x\\FileVersion", word(0), word(2)));
    }
    reader.QueryText(QStringLiteral("\\StringFileInfo\\041103a4\\LegalCopyright"));
    return 0;
}
