#include "convert/KomSerializer.h"

#include "base/AnsiCodePage.h"
#include "base/FileException.h"
#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "convert/KomaFile.h"
#include "model/KSData.h"
#include "model/Koma2Data.h"

#include <cstring>

namespace {

// Layer `index` of a document being imported: layer 0 comes from Create, the
// later ones are added behind it.
CKSLayer* ImportedLayer(CKSData& document, int index) {
    if (index == 0)
        return document.m_pLayers->GetLayer(0);
    return document.m_pLayers->AddNewLayer(document.m_nWidth, document.m_nHeight, index);
}

void FillLayer(CKSLayer& layer, quint8 visible, const QByteArray& ansiName, const quint8* pixels) {
    layer.m_bVisible = visible;
    layer.SetName(AnsiCodePage::ToUnicode(ansiName));
    std::memcpy(layer.m_pBits.get(), pixels, size_t(layer.GetBitsLength()));
}

} // namespace

QString CKomSerializer::GetDescription() const {
    return LoadStringResource(IDS_KOM_DESCRIPTION);
}

QString CKomSerializer::GetExtension() const {
    return QStringLiteral(".kom");
}

int CKomSerializer::GetCapabilities() const {
    return CAP_IMPORT | CAP_EXPORT | CAP_LAYERS;
}

bool CKomSerializer::Fail(int id) {
    m_strLastError = LoadStringResource(id);
    return false;
}

bool CKomSerializer::Import(CKSData& document, const QString& path) {
    m_strLastError.clear();
    return CatchFileErrors(
        [&] {
            if (IsKomaFile(path)) {
                // A damaged older-layout file fails without a text of its own.
                CKomaFile file;
                return file.Load(path) == KOMA_OK && ImportFrom(document, file);
            }
            CKoma2Data drawing;
            return LoadFromPath(drawing, path, &m_strLastError) && ImportFrom(document, drawing);
        },
        m_strLastError);
}

bool CKomSerializer::ImportFrom(CKSData& document, const CKomaFile& file) {
    if (!CKomaFile::IsValidSize(file.m_nWidth, file.m_nHeight))
        return false;
    document.Create(file.m_nWidth, file.m_nHeight);
    document.m_nTransparentIndex = file.m_nTransparentIndex;
    for (int i = 0; i < file.GetLayerCount(); ++i) {
        const CKomaLayer& source = *file.GetLayer(i);
        FillLayer(*ImportedLayer(document, i), source.GetVisible(), source.GetName(),
                  source.GetBits());
    }
    const std::array<quint8, 768>& palette = file.m_palette;
    std::memcpy(document.GetCurrentPalette()->m_pColors.get(), palette.data(), palette.size());
    return true;
}

bool CKomSerializer::ImportFrom(CKSData& document, const CKoma2Data& drawing) {
    if (drawing.m_nBitsPerPixel > 8)
        return Fail(IDS_TOO_MANY_COLORS);
    const CKoma2Page* page = drawing.GetCurrentPage();
    const CKoma2Palette* palette = drawing.GetCurrentPalette();
    // Current indices are stored unchecked, and a page may have no size. A
    // page without layers becomes one blank layer, as long as its size is
    // one that a layered file may hold (nothing in the file bounds it).
    if (!page || !palette || page->m_nWidth <= 0 || page->m_nHeight <= 0)
        return Fail(IDS_IMPORT_FAILED);
    if (page->m_layers.GetCount() == 0 && !CKomaFile::IsValidSize(page->m_nWidth, page->m_nHeight))
        return Fail(IDS_IMPORT_FAILED);
    if (page->m_layers.GetCount() > CKomaFile::kMaxLayers) {
        m_strLastError =
            FormatDirectives(LoadStringResource(IDS_TOO_MANY_LAYERS), {CKomaFile::kMaxLayers});
        return false;
    }
    // Every layer must hold one byte per pixel of the page's size. A layer
    // made under another depth or size (chunks that came in an unusual order)
    // is never copied from.
    for (int i = 0; i < page->m_layers.GetCount(); ++i) {
        const CKoma2Layer& layer = *page->GetLayer(i);
        if (layer.m_nBytesPerPixel > 1)
            return Fail(IDS_TOO_MANY_COLORS);
        if (layer.m_nBytesPerPixel != 1 || !layer.m_pBits || layer.m_nWidth != page->m_nWidth ||
            layer.m_nHeight != page->m_nHeight)
            return Fail(IDS_IMPORT_FAILED);
    }

    document.Create(page->m_nWidth, page->m_nHeight);
    document.m_nLayerDisplayMode = page->m_nLayerDisplayMode;
    document.m_nBackColorIndex = drawing.m_backColor1.m_nIndex;
    document.m_nTransparentIndex = drawing.m_backColor2.m_nIndex;
    for (int i = 0; i < page->m_layers.GetCount(); ++i) {
        const CKoma2Layer& source = *page->GetLayer(i);
        FillLayer(*ImportedLayer(document, i), source.m_bVisible, source.m_strName,
                  source.m_pBits.get());
    }

    // KOMA2 stores each colour blue first; kind 2 marks an entry whose extra
    // record counts, which the device calls kind 1. Entries beyond the
    // device palette's 256 are dropped, and those beyond the source's count
    // stay black.
    CKSPalette& target = *document.GetCurrentPalette();
    const qint32 count = std::min(palette->m_nCount, target.m_nCount);
    for (qint32 k = 0; k < count; ++k) {
        const quint8* bgr = palette->m_pColors.get() + k * 3;
        quint8* rgb = target.m_pColors.get() + k * 3;
        rgb[0] = bgr[2];
        rgb[1] = bgr[1];
        rgb[2] = bgr[0];
        if (palette->m_pKinds[k] == 2) {
            target.m_pKinds[k] = 1;
            std::memcpy(target.m_pExtra.get() + k * 3, palette->m_pExtra.get() + k * 3,
                        3 * sizeof(quint16));
        }
    }
    return true;
}

bool CKomSerializer::Export(const CKSData& document, const QString& path) {
    m_strLastError.clear();
    return CatchFileErrors(
        [&] {
            const auto inRange = [](qint32 side) { return side >= 1 && side <= kMaxExportSide; };
            // A document from the device may lack pixels or hold bad indices;
            // such a document is not written rather than read past its buffers.
            if (!inRange(document.m_nWidth) || !inRange(document.m_nHeight) ||
                !document.IsConsistent())
                return false;
            if (document.GetLayerCount() > CKomaFile::kMaxLayers) {
                m_strLastError = FormatDirectives(LoadStringResource(IDS_TOO_MANY_LAYERS),
                                                  {CKomaFile::kMaxLayers});
                return false;
            }

            CKomaFile file;
            file.m_nWidth = document.m_nWidth;
            file.m_nHeight = document.m_nHeight;
            file.m_nTransparentIndex = document.m_nTransparentIndex;
            for (int i = 0; i < document.GetLayerCount(); ++i) {
                const CKSLayer& layer = *document.m_pLayers->GetLayer(i);
                // Cut at a character boundary, so no name ends in half a character.
                const QByteArray name =
                    AnsiCodePage::FromUnicode(layer.m_strName, CKomaLayer::kNameSize - 1);
                if (file.AddLayer(layer.m_pBits.get(), name.constData(), layer.m_bVisible) !=
                    KOMA_OK)
                    return false;
            }
            file.m_palette = document.GetCurrentPalette()->GetRgb256();
            return file.Save(path) == KOMA_OK;
        },
        m_strLastError);
}
