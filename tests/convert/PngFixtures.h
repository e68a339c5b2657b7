#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <png.h>

#include <functional>
#include <optional>
#include <vector>

class CKSData;

// A PNG image to be written by libpng for a test.
struct PngFixture {
    quint32 width = 1;
    quint32 height = 1;
    int bitDepth = 8;
    int colorType = PNG_COLOR_TYPE_PALETTE;
    bool interlaced = false;
    std::vector<png_color> palette;         // PLTE entries
    std::vector<quint8> alpha;              // tRNS entries of a palette image
    std::optional<quint16> greyTransparent; // tRNS of a grey image
    // Rows from the top; one byte per sample, even under 8 bits; 16-bit
    // samples as two bytes, high first.
    std::vector<quint8> samples;
};

// The fixture's bytes as libpng writes them; empty when libpng refused.
QByteArray WritePng(const PngFixture& fixture);

// `png` with the IHDR width and height replaced and its CRC recomputed.
QByteArray WithIhdrSize(QByteArray png, quint32 width, quint32 height);

// A chunk of `type` with its length and CRC.
QByteArray PngChunk(const char* type, const QByteArray& data);

// The chunk types of `png` in file order.
QList<QByteArray> ChunkTypes(const QByteArray& png);
// The payload of the first chunk of `type`, or empty.
QByteArray ChunkData(const QByteArray& png, const char* type);

// Makes `document` a picture of `layers` layers of width × height; layer i
// holds pixel(i, x, y). The current palette gets `paletteCount` entries,
// colour k being TestColor(k).
void MakeDocument(CKSData& document, int width, int height, int layers,
                  const std::function<quint8(int, int, int)>& pixel, int paletteCount = 256);
png_color TestColor(int k);

QByteArray ReadFileBytes(const QString& path);
bool WriteFileBytes(const QString& path, const QByteArray& bytes);
