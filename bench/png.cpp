// PNG export and import of a 1024 × 1024 picture, each beside a bare libpng
// program doing the same work with the same settings, ExportDocument
// flattening 128 layers of 1024 × 1024, and the zlib level, strategy and row
// filter choices on a 20480 × 1024 picture of drawing-like pixels and of
// noise (encoded to memory; counter out_MB is the PNG's size).
#include "convert/PngSerializer.h"
#include "convert/SerializerList.h"
#include "model/KSData.h"
#include "support/KomFixtures.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>
#include <png.h>
#include <zlib.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
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

// ---- zlib settings ----

constexpr png_uint_32 kWideWidth = 20480;
constexpr png_uint_32 kWideHeight = 1024;

struct MemoryOut {
    std::vector<quint8>* bytes;
};

void AppendToMemory(png_structp png, png_bytep data, size_t length) {
    auto* out = static_cast<MemoryOut*>(png_get_io_ptr(png));
    out->bytes->insert(out->bytes->end(), data, data + length);
}

void NoFlush(png_structp) {}

// A palette PNG of `pixels` with the given zlib level and strategy and PNG
// row filters. Nothing with a destructor lives in this frame.
bool BareEncode(const quint8* pixels, png_bytepp rows, MemoryOut* out, int level, int strategy,
                int filters) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    static png_color palette[256];
    for (png_uint_32 r = 0; r < kWideHeight; ++r)
        rows[r] = const_cast<png_bytep>(pixels + size_t(r) * kWideWidth);
    bool ok = false;
    if (!setjmp(png_jmpbuf(png))) {
        png_set_write_fn(png, out, AppendToMemory, NoFlush);
        png_set_IHDR(png, info, kWideWidth, kWideHeight, 8, PNG_COLOR_TYPE_PALETTE,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_PLTE(png, info, palette, 256);
        png_set_compression_level(png, level);
        png_set_compression_strategy(png, strategy);
        png_set_filter(png, PNG_FILTER_TYPE_BASE, filters);
        png_write_info(png, info);
        png_write_image(png, rows);
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return ok;
}

const QByteArray& WidePixels(bool noise) {
    static const QByteArray art = DrawingPixels(qint64(kWideWidth) * kWideHeight, 42);
    static const QByteArray random = [] {
        std::mt19937 engine(7);
        QByteArray bytes(qint64(kWideWidth) * kWideHeight, Qt::Uninitialized);
        for (char& byte : bytes)
            byte = char(engine());
        return bytes;
    }();
    return noise ? random : art;
}

// Arguments: content (0 drawing, 1 noise), zlib level, strategy (0 default,
// 1 Z_FILTERED, 3 Z_RLE), filters (0 none, 1 libpng's adaptive choice among all five).
void BM_PngSettings(benchmark::State& state) {
    const QByteArray& pixels = WidePixels(state.range(0) != 0);
    const int filters = state.range(3) ? PNG_ALL_FILTERS : PNG_FILTER_NONE;
    std::vector<png_bytep> rows(kWideHeight);
    std::vector<quint8> bytes;
    for (auto _ : state) {
        bytes.clear();
        bytes.reserve(size_t(pixels.size()) + size_t(pixels.size()) / 64 + 4096);
        MemoryOut out{&bytes};
        if (!BareEncode(reinterpret_cast<const quint8*>(pixels.constData()), rows.data(), &out,
                        int(state.range(1)), int(state.range(2)), filters))
            state.SkipWithError("encode failed");
    }
    state.counters["out_MB"] = double(bytes.size()) / 1e6;
    state.SetBytesProcessed(state.iterations() * pixels.size());
}
BENCHMARK(BM_PngSettings)
    ->ArgNames({"noise", "level", "strategy", "adaptive"})
    ->ArgsProduct({{0, 1}, {1, 3, 6, 9}, {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_RLE}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

} // namespace
