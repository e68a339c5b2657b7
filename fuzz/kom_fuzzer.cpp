// Feeds arbitrary bytes to the KOM file reader. A file that loads must save,
// load again to the same content and import into a consistent document.
#include "FuzzRequire.h"
#include "convert/KomSerializer.h"
#include "convert/KomaFile.h"
#include "model/KSData.h"

#include <QBuffer>
#include <QtEndian>

#include <cstring>

namespace {

// A valid file may describe 128 layers of 16384 × 16384 pixels in a few
// bytes; headers that ask for more than this are skipped to keep the
// fuzzer's memory small.
constexpr qint64 kPixelBudget = qint64(64) << 20;

bool FitsBudget(const uint8_t* data, size_t size) {
    if (size < 20)
        return true;
    const qint64 width = qFromLittleEndian<qint32>(data + 10);
    const qint64 height = qFromLittleEndian<qint32>(data + 14);
    const qint64 layers = qFromLittleEndian<quint16>(data + 18);
    if (!CKomaFile::IsValidSize(width, height) || layers > CKomaFile::kMaxLayers)
        return true; // refused before anything is allocated
    return width * height * std::max<qint64>(layers, 1) <= kPixelBudget;
}

int LoadFrom(CKomaFile& file, QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return file.Load(buffer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (!FitsBudget(data, size))
        return 0;
    CKomaFile file;
    if (LoadFrom(file, QByteArray::fromRawData(reinterpret_cast<const char*>(data),
                                               qsizetype(size))) != KOMA_OK)
        return 0;

    QBuffer saved;
    saved.open(QIODevice::WriteOnly);
    Require(file.Save(saved) == KOMA_OK);
    CKomaFile again;
    Require(LoadFrom(again, saved.data()) == KOMA_OK);
    Require(again.m_nWidth == file.m_nWidth && again.m_nHeight == file.m_nHeight);
    Require(again.m_nTransparentIndex == file.m_nTransparentIndex &&
            again.m_palette == file.m_palette);
    Require(again.GetLayerCount() == file.GetLayerCount());
    const size_t area = size_t(file.m_nWidth) * size_t(file.m_nHeight);
    for (int i = 0; i < file.GetLayerCount(); ++i) {
        const CKomaLayer& a = *file.GetLayer(i);
        const CKomaLayer& b = *again.GetLayer(i);
        Require(a.GetName() == b.GetName() && a.GetVisible() == b.GetVisible());
        Require(std::memcmp(a.GetBits(), b.GetBits(), area) == 0);
    }

    CKomSerializer serializer;
    CKSData document;
    Require(serializer.ImportFrom(document, file) && document.IsConsistent());
    return 0;
}
