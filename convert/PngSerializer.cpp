#include "convert/PngSerializer.h"

#include "base/FileException.h"
#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "convert/DibSection.h"
#include "model/KSData.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <vector>

namespace {

static_assert(sizeof(png_color) == 3, "PLTE entries are read and written as packed triples");

// What the libpng callbacks share with the code that drives libpng. Plain
// data only: the callbacks may leave through a long jump.
struct PngIo {
    QIODevice* device = nullptr;
    bool endOfFile = false;
    bool writeFault = false;
    char message[128] = {};
};

[[noreturn]] void OnPngError(png_structp png, png_const_charp message) {
    auto* io = static_cast<PngIo*>(png_get_error_ptr(png));
    qstrncpy(io->message, message ? message : "", sizeof io->message);
    png_longjmp(png, 1);
}

// libpng warns about conditions it recovers from (a damaged ancillary chunk,
// an unusual but readable layout); the image is still good, so the warning is
// not passed on.
void OnPngWarning(png_structp, png_const_charp) {}

void ReadFromDevice(png_structp png, png_bytep data, size_t length) {
    auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
    if (io->device->read(reinterpret_cast<char*>(data), qint64(length)) != qint64(length)) {
        io->endOfFile = true;
        png_error(png, "unexpected end of data");
    }
}

void WriteToDevice(png_structp png, png_bytep data, size_t length) {
    auto* io = static_cast<PngIo*>(png_get_io_ptr(png));
    if (io->device->write(reinterpret_cast<const char*>(data), qint64(length)) != qint64(length)) {
        io->writeFault = true;
        png_error(png, "write failed");
    }
}

// The device is flushed by its owner when it is committed or closed.
void FlushDevice(png_structp) {}

using PngStep = void (*)(png_structp png, png_infop info, void* arg);

// Runs libpng calls that may fail. libpng reports a failure by a long jump
// back to this frame; neither it nor a step holds an object with a
// destructor, so the jump skips no cleanup. Every libpng call that can fail
// runs inside a step, so no jump ever targets a frame that has returned.
bool RunPngStep(png_structp png, png_infop info, PngStep step, void* arg) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    step(png, info, arg);
    return true;
}

QString DeviceName(const QIODevice* device) {
    const auto* file = qobject_cast<const QFile*>(device);
    return file ? file->fileName() : QString();
}

// `summary`, followed by libpng's own description of the fault when it gave one.
QString FaultText(const QString& summary, const PngIo& io) {
    return io.message[0] ? summary + u'\n' + QString::fromLatin1(io.message) : summary;
}

struct PngHeader {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int bitDepth = 0;
    int colorType = 0;
};

struct PngRowLayout {
    bool bgr = false;
    size_t rowBytes = 0;
};

// A libpng read structure with its info structure, reading from a device and
// refusing images wider or taller than a limit while reading the header.
class CPngReader {
public:
    CPngReader(QIODevice& device, png_uint_32 maxSize) {
        m_io.device = &device;
        m_png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &m_io, OnPngError, OnPngWarning);
        if (!m_png)
            return;
        m_info = png_create_info_struct(m_png);
        png_set_read_fn(m_png, &m_io, ReadFromDevice);
        png_set_user_limits(m_png, maxSize, maxSize);
    }
    ~CPngReader() { png_destroy_read_struct(&m_png, &m_info, nullptr); }
    CPngReader(const CPngReader&) = delete;
    CPngReader& operator=(const CPngReader&) = delete;

    bool IsReady() const { return m_png && m_info; }
    QString CreationError() const {
        return m_png ? LoadStringResource(IDS_PNG_INIT_FAILED)
                     : LoadStringResource(IDS_PNG_CREATE_FAILED);
    }
    png_structp Png() const { return m_png; }
    png_infop Info() const { return m_info; }

    // Reads the chunks before the image data and the header values. Only
    // IHDR, PLTE, tRNS, IDAT and IEND are looked at; every other chunk is
    // skipped unread, so no chunk length makes libpng allocate memory.
    bool ReadInfo(PngHeader& header) {
        return RunPngStep(
            m_png, m_info,
            [](png_structp png, png_infop info, void* arg) {
                auto* h = static_cast<PngHeader*>(arg);
                png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
                png_read_info(png, info);
                png_get_IHDR(png, info, &h->width, &h->height, &h->bitDepth, &h->colorType, nullptr,
                             nullptr, nullptr);
            },
            &header);
    }

    // Asks for one byte per sample under 8 bits, blue-green-red order when
    // `bgr`, and whole rows for interlaced images; true when rows then take
    // exactly `rowBytes` bytes.
    bool PrepareRows(bool bgr, size_t rowBytes) {
        PngRowLayout layout{bgr, 0};
        const bool prepared = RunPngStep(
            m_png, m_info,
            [](png_structp png, png_infop info, void* arg) {
                auto* l = static_cast<PngRowLayout*>(arg);
                if (png_get_bit_depth(png, info) < 8)
                    png_set_packing(png);
                if (l->bgr)
                    png_set_bgr(png);
                png_set_interlace_handling(png);
                png_read_update_info(png, info);
                l->rowBytes = png_get_rowbytes(png, info);
            },
            &layout);
        return prepared && layout.rowBytes == rowBytes;
    }

    // Reads every row through `rows` (one pointer per row), then the chunks
    // after the image data.
    bool ReadImage(png_bytepp rows) {
        return RunPngStep(
            m_png, m_info,
            [](png_structp png, png_infop, void* arg) {
                png_read_image(png, static_cast<png_bytepp>(arg));
                png_read_end(png, nullptr);
            },
            rows);
    }

    QString ErrorText() const {
        if (m_io.endOfFile)
            return CFileException::EndOfFile(DeviceName(m_io.device)).GetErrorMessage();
        return FaultText(LoadStringResource(IDS_PNG_READ_FAILED), m_io);
    }

private:
    PngIo m_io;
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

// An 8-bit image to write: a palette image (colour type 3) with its 256
// colours, or an RGB image (colour type 2) without a palette. Its rows come
// from `rows`, one pointer per row, or, when `rows` is null, from `tiles`:
// row r is then row r of each tile in turn, put together in `rowBuffer`
// (width bytes) just before it is written, so that side-by-side pictures are
// never copied into one whole image first.
struct PngImage {
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    int colorType = PNG_COLOR_TYPE_PALETTE;
    png_const_colorp palette = nullptr; // 256 entries; palette images only
    png_bytepp rows = nullptr;
    const quint8* const* tiles = nullptr; // tileCount pictures, tileWidth bytes a row
    size_t tileCount = 0;
    size_t tileWidth = 0;
    png_bytep rowBuffer = nullptr;
};

// zlib settings of palette images. Drawings are mostly runs of one colour:
// zlib's run-length strategy with no PNG row filter codes them smaller than
// the default strategy at level 6 (about a fifth on drawing-like pixels) and
// several times faster, and it is also faster on noise, which no setting
// compresses. The strategy gives the same output at every level above 0.
constexpr int kPaletteZlibLevel = 1;
constexpr int kPaletteZlibStrategy = Z_RLE;

void WriteRows(png_structp png, const PngImage& image) {
    if (image.rows) {
        png_write_image(png, image.rows);
        return;
    }
    for (png_uint_32 r = 0; r < image.height; ++r) {
        png_bytep out = image.rowBuffer;
        const size_t offset = size_t(r) * image.tileWidth;
        for (size_t t = 0; t < image.tileCount; ++t, out += image.tileWidth)
            std::memcpy(out, image.tiles[t] + offset, image.tileWidth);
        png_write_row(png, image.rowBuffer);
    }
}

// A libpng write structure with its info structure, writing to a device.
class CPngWriter {
public:
    explicit CPngWriter(QIODevice& device) {
        m_io.device = &device;
        m_png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &m_io, OnPngError, OnPngWarning);
        if (!m_png)
            return;
        m_info = png_create_info_struct(m_png);
        png_set_write_fn(m_png, &m_io, WriteToDevice, FlushDevice);
    }
    ~CPngWriter() { png_destroy_write_struct(&m_png, &m_info); }
    CPngWriter(const CPngWriter&) = delete;
    CPngWriter& operator=(const CPngWriter&) = delete;

    bool IsReady() const { return m_png && m_info; }

    // Writes an 8-bit image, not interlaced, with the standard compression
    // and filter methods and nothing beyond IHDR, PLTE (palette images only),
    // the image data and IEND. Palette images are coded with the settings
    // above; RGB images keep libpng's defaults, whose row filters suit them.
    bool Write(PngImage& image) {
        return RunPngStep(
            m_png, m_info,
            [](png_structp png, png_infop info, void* arg) {
                auto* i = static_cast<PngImage*>(arg);
                png_set_IHDR(png, info, i->width, i->height, 8, i->colorType, PNG_INTERLACE_NONE,
                             PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
                if (i->colorType == PNG_COLOR_TYPE_PALETTE) {
                    png_set_PLTE(png, info, i->palette, 256);
                    png_set_compression_level(png, kPaletteZlibLevel);
                    png_set_compression_strategy(png, kPaletteZlibStrategy);
                    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
                }
                png_write_info(png, info);
                WriteRows(png, *i);
                png_write_end(png, nullptr);
            },
            &image);
    }

    QString ErrorText() const {
        if (m_io.writeFault) {
            return CFileException::WriteFault(DeviceName(m_io.device), m_io.device->errorString())
                .GetErrorMessage();
        }
        return FaultText(LoadStringResource(IDS_PNG_WRITE_FAILED), m_io);
    }

private:
    PngIo m_io;
    png_structp m_png = nullptr;
    png_infop m_info = nullptr;
};

const QString& DeepBitsText() {
    static const QString text = LoadStringResource(IDS_PNG_DEEPER_THAN_8_BITS);
    return text;
}

// Row pointers from the top row of a picture stored top-down.
std::vector<png_bytep> TopDownRows(quint8* pixels, png_uint_32 height, size_t rowBytes) {
    std::vector<png_bytep> rows(height);
    for (png_uint_32 r = 0; r < height; ++r)
        rows[r] = pixels + size_t(r) * rowBytes;
    return rows;
}

// Row pointers that put PNG row r at memory row height - 1 - r of a
// bottom-up picture, so that it stands upright.
std::vector<png_bytep> BottomUpRows(CDibSection& dib) {
    const qint32 height = dib.GetHeight();
    std::vector<png_bytep> rows(static_cast<size_t>(height));
    for (qint32 r = 0; r < height; ++r)
        rows[size_t(r)] = dib.GetRow(height - 1 - r);
    return rows;
}

// A 256-entry colour table in blue-green-red order: grey (k, k, k) for a grey
// image, the PLTE entries for a palette image. Entries past the PLTE count,
// which a malformed image may still use, are black.
std::array<quint8, 768> ThumbnailColorTable(const CPngReader& reader, int colorType) {
    std::array<quint8, 768> table{};
    if (colorType == PNG_COLOR_TYPE_GRAY) {
        for (int k = 0; k < 256; ++k)
            std::memset(&table[size_t(k) * 3], k, 3);
        return table;
    }
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(reader.Png(), reader.Info(), &palette, &count);
    for (int k = 0; k < std::min(count, 256); ++k) {
        table[size_t(k) * 3] = palette[k].blue;
        table[size_t(k) * 3 + 1] = palette[k].green;
        table[size_t(k) * 3 + 2] = palette[k].red;
    }
    return table;
}

// Turns each row of one index byte per pixel, at the start of its DIB row,
// into three table bytes per pixel. Working from the right end keeps every
// index byte unread-over until it has been used.
void ExpandIndexedRows(CDibSection& dib, const std::array<quint8, 768>& table) {
    const qint32 width = dib.GetWidth();
    for (qint32 row = 0; row < dib.GetHeight(); ++row) {
        quint8* line = dib.GetRow(row);
        for (qint32 j = width - 1; j >= 0; --j)
            std::memcpy(line + size_t(j) * 3, &table[size_t(line[j]) * 3], 3);
    }
}

// Draws blue-green-red-alpha rows over white into the DIB's top-down rows.
void CompositeOverWhite(CDibSection& dib, const std::vector<quint8>& bgra) {
    const qint32 width = dib.GetWidth();
    const qint32 height = dib.GetHeight();
    for (qint32 r = 0; r < height; ++r) {
        const quint8* from = bgra.data() + size_t(r) * size_t(width) * 4;
        quint8* to = dib.GetRow(height - 1 - r);
        for (qint32 j = 0; j < width; ++j, from += 4, to += 3) {
            const unsigned alpha = from[3];
            const unsigned white = (255 - alpha) * 255;
            to[0] = quint8((from[0] * alpha + white) / 255);
            to[1] = quint8((from[1] * alpha + white) / 255);
            to[2] = quint8((from[2] * alpha + white) / 255);
        }
    }
}

// The PLTE and tRNS chunks as stored. libpng 1.6 cuts a palette down to the
// 2^depth entries that the pixels can index (and then drops a tRNS longer
// than that), but the document keeps every stored colour, so both chunks are
// read here from the chunks before the first IDAT. Only lengths and types
// are looked at; libpng checks the chunks' integrity when it decodes.
struct StoredPalette {
    int count = 0; // 0: no PLTE seen
    std::array<quint8, 768> rgb{};
    QByteArray alpha;
};

StoredPalette ScanPaletteChunks(QIODevice& device) {
    StoredPalette stored;
    const qint64 start = device.pos();
    qint64 chunk = start + 8; // after the PNG signature
    uchar head[8];
    while (device.seek(chunk) && device.read(reinterpret_cast<char*>(head), 8) == 8) {
        const qint64 length = qFromBigEndian<quint32>(head);
        const QByteArrayView type(reinterpret_cast<const char*>(head + 4), 4);
        if (type == "IDAT" || type == "IEND" || length > device.size() - device.pos())
            break;
        if (type == "PLTE" && length <= 768) {
            stored.count = int(length / 3);
            if (device.read(reinterpret_cast<char*>(stored.rgb.data()), length) != length)
                stored.count = 0;
        } else if (type == "tRNS" && length <= 256) {
            stored.alpha = device.read(length);
        }
        chunk += 8 + length + 4; // header, data, CRC
    }
    device.seek(start);
    return stored;
}

} // namespace

QString CPngSerializer::GetDescription() const {
    return LoadStringResource(IDS_PNG_DESCRIPTION);
}

QString CPngSerializer::GetExtension() const {
    return QStringLiteral(".png");
}

bool CPngSerializer::Import(CKSData& document, const QString& path) {
    m_strLastError.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        m_strLastError = LoadStringResource(IDS_FILE_OPEN_FAILED);
        return false;
    }
    return ImportFrom(document, file);
}

bool CPngSerializer::ImportFrom(CKSData& document, QIODevice& device) {
    m_strLastError.clear();
    const StoredPalette stored = ScanPaletteChunks(device);
    CPngReader reader(device, kMaxImageSize);
    if (!reader.IsReady()) {
        m_strLastError = reader.CreationError();
        return false;
    }
    PngHeader header;
    if (!reader.ReadInfo(header)) {
        m_strLastError = reader.ErrorText();
        return false;
    }
    if (header.bitDepth > 8) {
        m_strLastError = DeepBitsText();
        return false;
    }
    if (header.colorType != PNG_COLOR_TYPE_GRAY && header.colorType != PNG_COLOR_TYPE_PALETTE) {
        m_strLastError = LoadStringResource(IDS_TOO_MANY_COLORS);
        return false;
    }
    if (!reader.PrepareRows(false, header.width)) {
        m_strLastError = reader.ErrorText();
        return false;
    }

    document.Create(qint32(header.width), qint32(header.height));
    CKSPalette* palette = document.GetCurrentPalette();
    quint8* colors = palette->m_pColors.get();
    if (header.colorType == PNG_COLOR_TYPE_GRAY) {
        for (int k = 0; k < 256; ++k)
            std::memset(colors + size_t(k) * 3, k, 3);
    } else {
        // libpng has accepted the PLTE; its stored entries all count. The
        // stored tRNS is used where libpng kept one, or where it dropped it
        // only because it had cut the palette; it is valid when no longer
        // than the palette.
        png_colorp entries = nullptr;
        int count = 0;
        png_bytep alpha = nullptr;
        int libpngAlphaCount = 0;
        if (png_get_PLTE(reader.Png(), reader.Info(), &entries, &count) && entries &&
            stored.count >= count) {
            std::memcpy(colors, stored.rgb.data(), size_t(stored.count) * 3);
            const bool keptAlpha =
                png_get_tRNS(reader.Png(), reader.Info(), &alpha, &libpngAlphaCount, nullptr) &&
                alpha;
            const bool useAlpha = keptAlpha || stored.count > count;
            const int alphaCount =
                useAlpha ? int(std::min<qsizetype>(stored.alpha.size(), stored.count)) : 0;
            for (int k = 0; k < alphaCount; ++k) {
                if (stored.alpha[k] == 0) {
                    document.m_nTransparentIndex = quint8(k);
                    break;
                }
            }
        }
    }

    std::vector<png_bytep> rows =
        TopDownRows(document.GetCurrentLayer()->m_pBits.get(), header.height, header.width);
    if (!reader.ReadImage(rows.data())) {
        m_strLastError = reader.ErrorText();
        return false;
    }
    return true;
}

namespace {

// Writes a new file at `path` with `write`, through a temporary file that
// replaces `path` only when `write` succeeded and the file was committed.
template <typename Write> bool ExportToFile(const QString& path, QString& errorText, Write write) {
    errorText.clear();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        errorText = LoadStringResource(IDS_FILE_CANNOT_OPEN);
        return false;
    }
    // An export that fails leaves the save file uncommitted, which removes
    // its temporary file and keeps whatever was at `path`.
    if (!write(file))
        return false;
    if (!file.commit()) {
        errorText = CFileException::WriteFault(path, file.errorString()).GetErrorMessage();
        return false;
    }
    return true;
}

// Writes `image`, whose width and rows are set, as a palette image of the
// document's height and current palette.
bool WritePalettePicture(const CKSData& document, PngImage& image, QIODevice& device,
                         QString& errorText) {
    CPngWriter writer(device);
    if (!writer.IsReady()) {
        errorText = LoadStringResource(IDS_PNG_SETUP_FAILED);
        return false;
    }
    const std::array<quint8, 768> rgb = document.GetCurrentPalette()->GetRgb256();
    image.height = png_uint_32(document.m_nHeight);
    image.colorType = PNG_COLOR_TYPE_PALETTE;
    image.palette = reinterpret_cast<png_const_colorp>(rgb.data());
    if (!writer.Write(image)) {
        errorText = writer.ErrorText();
        return false;
    }
    return true;
}

} // namespace

bool CPngSerializer::Export(const CKSData& document, const QString& path) {
    return ExportToFile(path, m_strLastError,
                        [&](QIODevice& file) { return ExportTo(document, file); });
}

bool CPngSerializer::ExportTiles(const CKSData& document, const QString& path) {
    return ExportToFile(path, m_strLastError,
                        [&](QIODevice& file) { return ExportTilesTo(document, file); });
}

bool CPngSerializer::ExportTo(const CKSData& document, QIODevice& device) {
    m_strLastError.clear();
    if (!document.IsConsistent())
        return false;
    // libpng only reads the rows it is given.
    std::vector<png_bytep> rows =
        TopDownRows(document.GetCurrentLayer()->m_pBits.get(), png_uint_32(document.m_nHeight),
                    size_t(document.m_nWidth));
    PngImage image;
    image.width = png_uint_32(document.m_nWidth);
    image.rows = rows.data();
    return WritePalettePicture(document, image, device, m_strLastError);
}

bool CPngSerializer::ExportTilesTo(const CKSData& document, QIODevice& device) {
    m_strLastError.clear();
    if (!document.IsConsistent())
        return false;
    const size_t count = size_t(document.GetLayerCount());
    const size_t tileWidth = size_t(document.m_nWidth);
    if (tileWidth * count > PNG_UINT_31_MAX)
        return false;
    std::vector<const quint8*> tiles(count);
    for (size_t i = 0; i < count; ++i)
        tiles[i] = document.m_pLayers->GetLayer(int(i))->m_pBits.get();
    std::vector<quint8> rowBuffer(tileWidth * count);
    PngImage image;
    image.width = png_uint_32(tileWidth * count);
    image.tiles = tiles.data();
    image.tileCount = count;
    image.tileWidth = tileWidth;
    image.rowBuffer = rowBuffer.data();
    return WritePalettePicture(document, image, device, m_strLastError);
}

bool WriteRgbPng(QIODevice& device, quint32 width, quint32 height, const quint8* rgb) {
    CPngWriter writer(device);
    if (!writer.IsReady())
        return false;
    // libpng only reads the rows.
    std::vector<png_bytep> rows =
        TopDownRows(const_cast<quint8*>(rgb), png_uint_32(height), size_t(width) * 3);
    PngImage image{png_uint_32(width), png_uint_32(height), PNG_COLOR_TYPE_RGB, nullptr,
                   rows.data()};
    return writer.Write(image);
}

bool LoadPngThumbnail(CDibSection& dib, QIODevice& file, QString& errorText) {
    CPngReader reader(file, kMaxThumbnailSize);
    if (!reader.IsReady()) {
        errorText = reader.CreationError();
        return false;
    }
    PngHeader header;
    if (!reader.ReadInfo(header)) {
        errorText = reader.ErrorText();
        return false;
    }
    if (header.bitDepth > 8) {
        errorText = DeepBitsText();
        return false;
    }
    size_t channels = 0;
    switch (header.colorType) {
    case PNG_COLOR_TYPE_GRAY:
    case PNG_COLOR_TYPE_PALETTE:
        channels = 1;
        break;
    case PNG_COLOR_TYPE_RGB:
        channels = 3;
        break;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        channels = 4;
        break;
    default:
        errorText = FormatDirectives(LoadStringResource(IDS_COLOR_TYPE_UNSUPPORTED),
                                     {QString::number(header.colorType)});
        return false;
    }
    if (!reader.PrepareRows(true, size_t(header.width) * channels)) {
        errorText = reader.ErrorText();
        return false;
    }
    if (!dib.Create(qint32(header.width), qint32(header.height), 24))
        return false;

    bool read = false;
    if (channels == 4) {
        std::vector<quint8> bgra(size_t(header.width) * 4 * header.height);
        std::vector<png_bytep> rows = TopDownRows(bgra.data(), header.height, header.width * 4);
        read = reader.ReadImage(rows.data());
        if (read)
            CompositeOverWhite(dib, bgra);
    } else {
        std::vector<png_bytep> rows = BottomUpRows(dib);
        read = reader.ReadImage(rows.data());
        if (read && channels == 1)
            ExpandIndexedRows(dib, ThumbnailColorTable(reader, header.colorType));
    }
    if (!read) {
        dib.Release();
        errorText = reader.ErrorText();
        return false;
    }
    return true;
}
