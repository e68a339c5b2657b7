// PNG export and import of a 1024 × 1024 picture, each beside a bare libpng
// program doing the same work with the same settings, and ExportDocument
// flattening 128 layers of 1024 × 1024.
#include "convert/PngSerializer.h"
#include "convert/SerializerList.h"
#include "model/KSData.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr int kSide = 1024;

// Pixel-art-like content: flat blocks with outlines and some dithering.
quint8 Pixel(int layer, int x, int y) {
    const quint32 noise = quint32(x * 2654435761u ^ y * 40503u ^ layer * 97u) >> 27;
    if (x % 64 == 0 || y % 48 == 0)
        return quint8(1 + layer % 3);
    return quint8(((x / 32 + y / 24 + layer) % 12) * 20 + (noise < 3 ? noise : 0));
}

void MakePicture(CKSData& document, int layers) {
    document.Create(kSide, kSide);
    for (int i = 1; i < layers; ++i)
        document.m_pLayers->AddNewLayer(kSide, kSide, i);
    for (int i = 0; i < layers; ++i) {
        quint8* bits = document.m_pLayers->GetLayer(i)->m_pBits.get();
        for (int y = 0; y < kSide; ++y) {
            for (int x = 0; x < kSide; ++x)
                bits[y * kSide + x] = Pixel(i, x, y);
        }
    }
    quint8* colors = document.GetCurrentPalette()->m_pColors.get();
    for (int k = 0; k < 768; ++k)
        colors[k] = quint8(k * 7);
}

const QTemporaryDir& Folder() {
    static const QTemporaryDir folder;
    return folder;
}

std::string PathOf(const char* name) {
    return Folder().filePath(QString::fromLatin1(name)).toStdString();
}

// The bare libpng program. Nothing with a destructor lives in these frames.
bool BareWrite(const char* path, const quint8* pixels, const quint8* rgb) {
    FILE* file = std::fopen(path, "wb");
    if (!file)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_bytep rows[kSide];
    for (int r = 0; r < kSide; ++r)
        rows[r] = const_cast<png_bytep>(pixels + r * kSide);
    bool ok = false;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_set_IHDR(png, info, kSide, kSide, 8, PNG_COLOR_TYPE_PALETTE, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_PLTE(png, info, reinterpret_cast<png_const_colorp>(rgb), 256);
        png_write_info(png, info);
        png_write_image(png, rows);
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    return ok;
}

bool BareRead(const char* path, quint8* pixels, quint8* rgb) {
    FILE* file = std::fopen(path, "rb");
    if (!file)
        return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_bytep rows[kSide];
    for (int r = 0; r < kSide; ++r)
        rows[r] = pixels + r * kSide;
    bool ok = false;
    if (!setjmp(png_jmpbuf(png))) {
        png_init_io(png, file);
        png_read_info(png, info);
        png_colorp palette = nullptr;
        int count = 0;
        png_get_PLTE(png, info, &palette, &count);
        std::memcpy(rgb, palette, size_t(count) * 3);
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        png_read_image(png, rows);
        png_read_end(png, nullptr);
        ok = true;
    }
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return ok;
}

void BM_PngExport(benchmark::State& state) {
    CKSData document;
    MakePicture(document, 1);
    CPngSerializer serializer;
    const QString path = QString::fromStdString(PathOf("export.png"));
    for (auto _ : state) {
        if (!serializer.Export(document, path))
            state.SkipWithError("export failed");
    }
    state.SetBytesProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_PngExport)->Unit(benchmark::kMillisecond);

void BM_PngExportBareLibpng(benchmark::State& state) {
    CKSData document;
    MakePicture(document, 1);
    const std::string path = PathOf("bare-export.png");
    const auto rgb = document.GetCurrentPalette()->GetRgb256();
    for (auto _ : state) {
        if (!BareWrite(path.c_str(), document.GetCurrentLayer()->m_pBits.get(), rgb.data()))
            state.SkipWithError("export failed");
    }
    state.SetBytesProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_PngExportBareLibpng)->Unit(benchmark::kMillisecond);

QString WrittenPicture() {
    static const QString path = [] {
        CKSData document;
        MakePicture(document, 1);
        const QString written = QString::fromStdString(PathOf("import.png"));
        CPngSerializer().Export(document, written);
        return written;
    }();
    return path;
}

void BM_PngImport(benchmark::State& state) {
    const QString path = WrittenPicture();
    CPngSerializer serializer;
    for (auto _ : state) {
        CKSData document;
        if (!serializer.Import(document, path))
            state.SkipWithError("import failed");
        benchmark::DoNotOptimize(document.m_pLayers.get());
    }
    state.SetBytesProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_PngImport)->Unit(benchmark::kMillisecond);

void BM_PngImportBareLibpng(benchmark::State& state) {
    const std::string path = WrittenPicture().toStdString();
    for (auto _ : state) {
        // The bare program, like the importer, makes a new picture each time.
        std::unique_ptr<quint8[]> pixels(new quint8[size_t(kSide) * kSide]);
        quint8 rgb[768];
        if (!BareRead(path.c_str(), pixels.get(), rgb))
            state.SkipWithError("import failed");
        benchmark::DoNotOptimize(pixels.get());
    }
    state.SetBytesProcessed(state.iterations() * kSide * kSide);
}
BENCHMARK(BM_PngImportBareLibpng)->Unit(benchmark::kMillisecond);

// Accepts every export and writes nothing, so that only the arranging of the
// layers is measured.
class CDiscardSerializer : public CSerializer {
public:
    QString GetExtension() const override { return QStringLiteral(".discard"); }
    int GetCapabilities() const override { return CAP_EXPORT; }
    bool Export(const CKSData& document, const QString&) override {
        benchmark::DoNotOptimize(document.GetCurrentLayer()->m_pBits.get());
        return true;
    }
};

constexpr int kLayers = 128;

// ExportDocument flattening 128 shown layers; bytes are layer bytes read.
void BM_ExportDocumentFlatten128(benchmark::State& state) {
    CKSData document;
    MakePicture(document, kLayers);
    document.m_nTransparentIndex = 0;
    CSerializerList list;
    list.AddTail(std::make_unique<CDiscardSerializer>());
    for (auto _ : state) {
        if (!ExportDocument(list, document, QStringLiteral("/unused/flat.discard"), false))
            state.SkipWithError("export failed");
    }
    state.SetBytesProcessed(state.iterations() * qint64(kLayers) * kSide * kSide);
}
BENCHMARK(BM_ExportDocumentFlatten128)->Unit(benchmark::kMillisecond);

// The same through the PNG serializer, encoding and file included.
void BM_ExportDocumentFlatten128ToPng(benchmark::State& state) {
    CKSData document;
    MakePicture(document, kLayers);
    CSerializerList list;
    list.AddStandardSerializers();
    const QString path = QString::fromStdString(PathOf("flat.png"));
    for (auto _ : state) {
        if (!ExportDocument(list, document, path, false))
            state.SkipWithError("export failed");
    }
    state.SetBytesProcessed(state.iterations() * qint64(kLayers) * kSide * kSide);
}
BENCHMARK(BM_ExportDocumentFlatten128ToPng)->Unit(benchmark::kMillisecond);

} // namespace
