#pragma once

#include "convert/Serializer.h"

#include <QtGlobal>

class CDibSection;
class QIODevice;

// PNG images: writes a document's current layer as an 8-bit palette image
// with a 256-entry palette and no transparency chunk; reads grey and palette
// images of up to 8 bits into a one-layer document.
class CPngSerializer : public CSerializer {
public:
    // Width and height above this are refused before any pixel memory is
    // allocated.
    static constexpr quint32 kMaxImageSize = 16384;

    QString GetDescription() const override;
    QString GetExtension() const override;
    int GetCapabilities() const override { return CAP_IMPORT | CAP_EXPORT | CAP_TILES; }
    bool Import(CKSData& document, const QString& path) override;
    // Writes through a temporary file that replaces the file at `path` only
    // once the whole image is written, so a failure leaves any earlier file
    // as it was and no partial file behind.
    bool Export(const CKSData& document, const QString& path) override;
    // The same for the document's layers side by side, layer 0 leftmost; each
    // row is put together from the layers as it is written.
    bool ExportTiles(const CKSData& document, const QString& path) override;

    // Reads a PNG image from an open readable device into `document`.
    bool ImportFrom(CKSData& document, QIODevice& device);
    // Writes `document` as a PNG image to an open writable device. A document
    // that cannot be read as a picture fails with no text.
    bool ExportTo(const CKSData& document, QIODevice& device);
    // Writes the document's layers side by side as one PNG image; the same
    // picture as ExportTo of a one-layer document holding them so.
    bool ExportTilesTo(const CKSData& document, QIODevice& device);
};

// Writes an 8-bit RGB image (colour type 2) to an open writable device:
// `rgb` holds width × height pixels of red, green and blue, row by row from
// the top. False when libpng fails or the device takes fewer bytes.
bool WriteRgbPng(QIODevice& device, quint32 width, quint32 height, const quint8* rgb);

// Width and height above this are refused for thumbnails.
constexpr quint32 kMaxThumbnailSize = 4096;

// Decodes a PNG image of colour type 0, 2, 3 or 6 (up to 8 bits) from `file`
// into `dib` as an upright 24-bit picture; colour type 6 is drawn over white.
// On failure returns false, and sets `errorText` for failures that carry a
// text; it never throws.
bool LoadPngThumbnail(CDibSection& dib, QIODevice& file, QString& errorText);
