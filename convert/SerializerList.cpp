#include "convert/SerializerList.h"

#include "base/FileException.h"
#include "base/FileNameText.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "convert/KomSerializer.h"
#include "convert/PngSerializer.h"
#include "model/KSData.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

namespace {

bool Matches(const CSerializer& serializer, int mask) {
    return (serializer.GetCapabilities() & mask) != 0;
}

// Gives `target`'s current palette the contents of `source`'s: everything when
// both have the same count, else the name and the first min(count, 256)
// colours, black beyond.
void CopyCurrentPalette(const CKSData& source, CKSData& target) {
    const CKSPalette& from = *source.GetCurrentPalette();
    CKSPalette& to = *target.GetCurrentPalette();
    if (from.m_nCount == to.m_nCount) {
        to.CopyFrom(from);
        return;
    }
    to.m_strName = from.m_strName;
    const std::array<quint8, 768> rgb = from.GetRgb256();
    std::memcpy(to.m_pColors.get(), rgb.data(), rgb.size());
}

// True when the layers side by side are no wider than a 32-bit width holds.
bool TiledWidthFits(const CKSData& document) {
    return qint64(document.m_nWidth) * document.GetLayerCount() <= INT_MAX;
}

// One layer holding all layers of a consistent document side by side, layer 0
// leftmost; null when the combined width does not fit a 32-bit value.
std::unique_ptr<CKSData> TileLayers(const CKSData& document) {
    const int count = document.GetLayerCount();
    const qint64 tiledWidth = qint64(document.m_nWidth) * count;
    if (!TiledWidthFits(document))
        return nullptr;
    auto tiled = std::make_unique<CKSData>();
    tiled->Create(qint32(tiledWidth), document.m_nHeight);
    tiled->m_nLayerDisplayMode = document.m_nLayerDisplayMode;
    tiled->m_nBackColorIndex = document.m_nBackColorIndex;
    tiled->m_nTransparentIndex = document.m_nTransparentIndex;
    CopyCurrentPalette(document, *tiled);

    const size_t width = size_t(document.m_nWidth);
    quint8* out = tiled->GetCurrentLayer()->m_pBits.get();
    for (qint32 row = 0; row < document.m_nHeight; ++row) {
        for (int i = 0; i < count; ++i, out += width)
            std::memcpy(out, document.m_pLayers->GetLayer(i)->m_pBits.get() + row * width, width);
    }
    return tiled;
}

// Stores every pixel of `layer` that is not `transparent` over `out`. Written
// as a select so that the compiler turns it into vector blends.
void CoverWith(quint8* __restrict out, const quint8* __restrict layer, size_t count,
               quint8 transparent) {
    for (size_t i = 0; i < count; ++i) {
        const quint8 pixel = layer[i];
        out[i] = pixel != transparent ? pixel : out[i];
    }
}

// Runs one serializer call and shows why it failed: a file-layer exception
// or a failed allocation by its own text, else the serializer's own text,
// else string `fallbackId`.
template <typename Call> bool RunSerializer(CSerializer& serializer, int fallbackId, Call call) {
    serializer.m_strLastError.clear();
    QString exceptionText;
    if (CatchFileErrors(call, exceptionText))
        return true;
    if (!exceptionText.isEmpty())
        ShowMessage(exceptionText);
    else if (!serializer.m_strLastError.isEmpty())
        ShowMessage(serializer.m_strLastError);
    else
        ShowMessage(LoadStringResource(fallbackId));
    return false;
}

} // namespace

void CSerializerList::AddStandardSerializers() {
    AddTail(std::make_unique<CPngSerializer>());
    AddTail(std::make_unique<CKomSerializer>());
}

CSerializer* CSerializerList::FindByPath(const QString& path, int mask) const {
    const QString extension = ExtensionOf(path);
    if (extension.isEmpty())
        return nullptr;
    for (const auto& serializer : *this) {
        if (Matches(*serializer, mask) &&
            serializer->GetExtension().compare(extension, Qt::CaseInsensitive) == 0)
            return serializer.get();
    }
    return nullptr;
}

QString CSerializerList::BuildFilter(bool includeAll, int mask) const {
    QString filter;
    if (includeAll) {
        QStringList patterns;
        for (const auto& serializer : *this) {
            if (Matches(*serializer, mask))
                patterns.append(u'*' + serializer->GetExtension());
        }
        filter += LoadStringResource(IDS_FILTER_ALL_SUPPORTED) + u'|' + patterns.join(u';') + u'|';
    }
    for (const auto& serializer : *this) {
        if (Matches(*serializer, mask))
            filter += serializer->GetDescription() + QStringLiteral("|*") +
                      serializer->GetExtension() + u'|';
    }
    return filter + u'|';
}

QStringList NameFiltersOf(const QString& filter) {
    const QStringList entries = filter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < entries.size(); i += 2) {
        if (entries[i].isEmpty())
            break; // the empty entry that ends the string
        QString patterns = entries[i + 1];
        filters.append(entries[i] + QStringLiteral(" (") + patterns.replace(u';', u' ') + u')');
    }
    return filters;
}

std::unique_ptr<CKSData> FlattenShownLayers(const CKSData& document) {
    auto flat = std::make_unique<CKSData>();
    flat->Create(document.m_nWidth, document.m_nHeight);
    flat->m_nBackColorIndex = document.m_nBackColorIndex;
    flat->m_nTransparentIndex = document.m_nTransparentIndex;
    CopyCurrentPalette(document, *flat);

    const quint8 transparent = document.m_nTransparentIndex;
    const size_t area = size_t(document.m_nWidth) * size_t(document.m_nHeight);
    quint8* out = flat->GetCurrentLayer()->m_pBits.get();
    std::memset(out, transparent, area);
    std::vector<int> shown;
    document.m_pLayers->GetShownLayers(document.m_nLayerDisplayMode, shown);
    for (auto it = shown.rbegin(); it != shown.rend(); ++it)
        CoverWith(out, document.m_pLayers->GetLayer(*it)->m_pBits.get(), area, transparent);
    return flat;
}

bool ExportDocument(const CSerializerList& list, const CKSData& document, const QString& path,
                    bool tileLayers) {
    CSerializer* serializer = list.FindByPath(path, CSerializer::CAP_EXPORT);
    if (!serializer) {
        ShowMessage(LoadStringResource(IDS_FORMAT_NOT_SUPPORTED));
        return false;
    }
    return RunSerializer(*serializer, IDS_EXPORT_FAILED, [&] {
        // A document from the network may not hold what its sizes promise;
        // nothing below reads it unless it does.
        if (!document.IsConsistent())
            return false;
        const bool layered = document.GetLayerCount() >= 2;
        std::unique_ptr<CKSData> arranged;
        // A type that tiles by itself reads the layers in place, without a
        // tiled copy of the whole document.
        if (layered && tileLayers && (serializer->GetCapabilities() & CSerializer::CAP_TILES))
            return TiledWidthFits(document) && serializer->ExportTiles(document, path);
        if (layered && tileLayers) {
            arranged = TileLayers(document);
            if (!arranged)
                return false;
        } else if (layered && !(serializer->GetCapabilities() & CSerializer::CAP_LAYERS)) {
            arranged = FlattenShownLayers(document);
        }
        return serializer->Export(arranged ? *arranged : document, path);
    });
}

bool ImportDocument(const CSerializerList& list, CKSData& document, const QString& path) {
    CSerializer* serializer = list.FindByPath(path, CSerializer::CAP_IMPORT);
    if (!serializer) {
        ShowMessage(LoadStringResource(IDS_FORMAT_NOT_SUPPORTED));
        return false;
    }
    // What an importer hands on is uploaded as it is, so it must read as a
    // picture without going past a buffer.
    return RunSerializer(*serializer, IDS_IMPORT_FAILED, [&] {
        return serializer->Import(document, path) && document.IsConsistent();
    });
}
