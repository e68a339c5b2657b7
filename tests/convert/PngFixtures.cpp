#include "PngFixtures.h"

#include "model/KSData.h"

#include <QFile>
#include <QtEndian>

#include <zlib.h>

#include <csetjmp>
#include <cstring>

namespace {

void AppendToBytes(png_structp png, png_bytep data, size_t length) {
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(data), qsizetype(length));
}

void NoFlush(png_structp) {}

struct WriteJob {
    const PngFixture* fixture;
    png_bytepp rows;
};

// Nothing with a destructor lives in this frame: libpng leaves it by a long
// jump on an error.
bool RunWrite(png_structp png, png_infop info, WriteJob* job) {
    if (setjmp(png_jmpbuf(png)))
        return false;
    const PngFixture& f = *job->fixture;
    png_set_IHDR(png, info, f.width, f.height, f.bitDepth, f.colorType,
                 f.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!f.palette.empty())
        png_set_PLTE(png, info, f.palette.data(), int(f.palette.size()));
    if (!f.alpha.empty())
        png_set_tRNS(png, info, f.alpha.data(), int(f.alpha.size()), nullptr);
    if (f.greyTransparent) {
        png_color_16 colour{};
        colour.gray = *f.greyTransparent;
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    png_write_info(png, info);
    if (f.bitDepth < 8)
        png_set_packing(png);
    png_write_image(png, job->rows);
    png_write_end(png, nullptr);
    return true;
}

int Channels(int colorType) {
    switch (colorType) {
    case PNG_COLOR_TYPE_RGB:
        return 3;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return 2;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return 4;
    default:
        return 1;
    }
}

} // namespace

QByteArray WritePng(const PngFixture& fixture) {
    const size_t rowBytes = size_t(fixture.width) * size_t(Channels(fixture.colorType)) *
                            (fixture.bitDepth == 16 ? 2 : 1);
    std::vector<quint8> samples = fixture.samples;
    samples.resize(rowBytes * fixture.height);
    std::vector<png_bytep> rows(fixture.height);
    for (quint32 r = 0; r < fixture.height; ++r)
        rows[r] = samples.data() + r * rowBytes;

    QByteArray bytes;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &bytes, AppendToBytes, NoFlush);
    // Fixtures may use indices past their palette, as malformed files do.
    png_set_check_for_invalid_index(png, 0);
    WriteJob job{&fixture, rows.data()};
    const bool written = RunWrite(png, info, &job);
    png_destroy_write_struct(&png, &info);
    return written ? bytes : QByteArray();
}

QByteArray WithIhdrSize(QByteArray png, quint32 width, quint32 height) {
    // Signature (8), IHDR length (4), "IHDR" (4), then width and height.
    qToBigEndian(width, png.data() + 16);
    qToBigEndian(height, png.data() + 20);
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(png.constData() + 12), 4 + 13);
    qToBigEndian(quint32(crc), png.data() + 29);
    return png;
}

QByteArray PngChunk(const char* type, const QByteArray& data) {
    QByteArray chunk(4, '\0');
    qToBigEndian(quint32(data.size()), chunk.data());
    chunk += QByteArray(type, 4) + data;
    const uLong crc =
        crc32(0, reinterpret_cast<const Bytef*>(chunk.constData() + 4), uInt(chunk.size() - 4));
    QByteArray crcBytes(4, '\0');
    qToBigEndian(quint32(crc), crcBytes.data());
    return chunk + crcBytes;
}

namespace {

template <typename Visit> void ForEachChunk(const QByteArray& png, Visit visit) {
    qsizetype pos = 8;
    while (pos + 12 <= png.size()) {
        const quint32 length = qFromBigEndian<quint32>(png.constData() + pos);
        if (length > quint32(png.size() - pos - 12))
            return;
        if (!visit(png.mid(pos + 4, 4), png.mid(pos + 8, qsizetype(length))))
            return;
        pos += 12 + qsizetype(length);
    }
}

} // namespace

QList<QByteArray> ChunkTypes(const QByteArray& png) {
    QList<QByteArray> types;
    ForEachChunk(png, [&](const QByteArray& type, const QByteArray&) {
        types.append(type);
        return true;
    });
    return types;
}

QByteArray ChunkData(const QByteArray& png, const char* type) {
    QByteArray found;
    ForEachChunk(png, [&](const QByteArray& chunkType, const QByteArray& data) {
        if (chunkType != type)
            return true;
        found = data;
        return false;
    });
    return found;
}

png_color TestColor(int k) {
    return png_color{quint8(k), quint8(255 - k), quint8(k / 2 + 7)};
}

void MakeDocument(CKSData& document, int width, int height, int layers,
                  const std::function<quint8(int, int, int)>& pixel, int paletteCount) {
    document.Create(width, height);
    for (int i = 1; i < layers; ++i)
        document.m_pLayers->AddNewLayer(width, height, i);
    for (int i = 0; i < layers; ++i) {
        quint8* bits = document.m_pLayers->GetLayer(i)->m_pBits.get();
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x)
                bits[y * width + x] = pixel(i, x, y);
        }
    }
    CKSPalette* palette = document.GetCurrentPalette();
    palette->Allocate(paletteCount);
    for (int k = 0; k < paletteCount; ++k) {
        const png_color colour = TestColor(k % 256);
        std::memcpy(palette->m_pColors.get() + k * 3, &colour, 3);
    }
}

QByteArray ReadFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
