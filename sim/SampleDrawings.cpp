#include "sim/SampleDrawings.h"

#include "model/KSData.h"
#include "sim/DeviceStore.h"

#include <array>
#include <cstring>
#include <functional>
#include <initializer_list>

namespace {

// 16 named colours, a 6 × 6 × 6 colour cube and 24 greys: 256 in all.
// Index 0 is the transparent index of every sample.
enum Ink : quint8 {
    CLEAR,
    BLACK,
    WHITE,
    ORANGE,
    YELLOW,
    PINK,
    RED,
    GREEN,
    DARK_GREEN,
    BLUE,
    NAVY,
    BROWN,
    SKY,
    LIGHT_GREY,
    DARK_GREY,
    VIOLET,
};

constexpr std::array<std::array<quint8, 3>, 16> kNamedColors = {{
    {255, 255, 255},
    {20, 20, 28},
    {250, 250, 250},
    {240, 150, 60},
    {250, 220, 80},
    {245, 160, 180},
    {210, 50, 50},
    {90, 190, 80},
    {40, 110, 60},
    {70, 120, 220},
    {30, 40, 110},
    {130, 80, 40},
    {140, 200, 250},
    {200, 200, 200},
    {90, 90, 90},
    {150, 90, 200},
}};

// The palette index of a colour-cube entry, each channel 0 to 5.
quint8 Cube(int r, int g, int b) {
    return quint8(16 + 36 * r + 6 * g + b);
}

void FillPalette(CKSPalette& palette) {
    quint8* rgb = palette.m_pColors.get();
    for (const auto& color : kNamedColors) {
        std::memcpy(rgb, color.data(), 3);
        rgb += 3;
    }
    for (int r = 0; r < 6; ++r) {
        for (int g = 0; g < 6; ++g) {
            for (int b = 0; b < 6; ++b, rgb += 3) {
                rgb[0] = quint8(r * 51);
                rgb[1] = quint8(g * 51);
                rgb[2] = quint8(b * 51);
            }
        }
    }
    for (int v = 8; v < 248; v += 10, rgb += 3)
        std::memset(rgb, v, 3);
}

using PixelFunction = std::function<quint8(int x, int y)>;

// A document of one size whose layers are added from the top down.
class CSample {
public:
    CSample(int width, int height) : m_nWidth(width), m_nHeight(height) {
        m_document.Create(width, height);
        FillPalette(*m_document.GetCurrentPalette());
    }

    CSample& Layer(const char16_t* name, const PixelFunction& pixel, bool visible = true) {
        CKSLayerArray& layers = *m_document.m_pLayers;
        // Create made the first layer already.
        CKSLayer* layer = m_bFirstUsed ? layers.AddNewLayer(m_nWidth, m_nHeight, layers.GetCount())
                                       : layers.GetLayer(0);
        m_bFirstUsed = true;
        layer->SetName(QString::fromUtf16(name));
        layer->m_bVisible = visible ? 1 : 0;
        quint8* bits = layer->m_pBits.get();
        for (int y = 0; y < m_nHeight; ++y) {
            for (int x = 0; x < m_nWidth; ++x)
                *bits++ = pixel(x, y);
        }
        return *this;
    }

    CKSData& Document() { return m_document; }

    QByteArray Bytes() const {
        QByteArray bytes;
        m_document.SaveToBytes(bytes, nullptr);
        return bytes;
    }

private:
    int m_nWidth;
    int m_nHeight;
    bool m_bFirstUsed = false;
    CKSData m_document;
};

// Pixels from rows of letters; with `keep`, only those letters, the rest clear.
PixelFunction FromArt(std::initializer_list<const char*> rows, const char* keep = nullptr) {
    std::vector<const char*> lines(rows);
    return [lines, keep](int x, int y) -> quint8 {
        const char c = lines[size_t(y)][x];
        if (keep && !std::strchr(keep, c))
            return CLEAR;
        switch (c) {
        case 'k':
            return BLACK;
        case 'w':
            return WHITE;
        case 'o':
            return ORANGE;
        case 'p':
            return PINK;
        default:
            return CLEAR;
        }
    };
}

QByteArray Cat() {
    const auto art = {
        "................", ".k............k.", ".kk..........kk.", ".kok........kok.",
        ".kookkkkkkkkook.", ".kooooooooooook.", "kooooooooooooook", "kookkooooookkook",
        "kookwoooooowkook", "kooooooppooooook", "koooookookoooook", ".koooookkoooook.",
        ".kooooooooooook.", "..kooooooooook..", "..kwwkkkkkkwwk..", "...kk......kk...",
    };
    CSample sample(16, 16);
    sample.Layer(u"線画", FromArt(art, "k"))
        .Layer(u"塗り", FromArt(art, "owp"))
        .Layer(u"背景", [](int x, int y) { return (x + y) % 4 == 0 ? PINK : WHITE; });
    sample.Document().m_strText = QStringLiteral(u"にゃー");
    return sample.Bytes();
}

QByteArray Sunset() {
    constexpr int width = 48, height = 32;
    CSample sample(width, height);
    sample
        .Layer(u"雲",
               [](int x, int y) {
                   const bool left = (y - 6) * (y - 6) * 4 + (x - 12) * (x - 12) < 30;
                   const bool right = (y - 9) * (y - 9) * 4 + (x - 36) * (x - 36) < 20;
                   return left || right ? WHITE : CLEAR;
               })
        .Layer(u"山",
               [](int x, int y) {
                   const int ridge = 22 + (x * 7 % 11) / 3 - (x > 10 && x < 24 ? 4 : 0);
                   return y > ridge + 4 ? DARK_GREEN : y > ridge ? GREEN : CLEAR;
               })
        .Layer(u"太陽",
               [](int x, int y) {
                   return (x - 30) * (x - 30) + (y - 20) * (y - 20) < 40 ? YELLOW : CLEAR;
               })
        .Layer(u"空",
               [](int, int y) {
                   // From deep blue at the top to orange at the horizon.
                   const std::array<quint8, 6> bands = {Cube(0, 0, 2), Cube(1, 0, 3),
                                                        Cube(3, 1, 3), Cube(4, 2, 2),
                                                        Cube(5, 3, 1), Cube(5, 4, 1)};
                   return bands[size_t(y * 6 / height)];
               })
        // A hidden sketch: in the document, not in the thumbnail.
        .Layer(
            u"下書き", [](int x, int y) { return x == y || x == width - 1 - y ? RED : CLEAR; },
            false);
    return sample.Bytes();
}

QByteArray Tiles() {
    CSample sample(16, 16);
    sample.Layer(u"目地", [](int x, int y) { return x % 8 == 0 || y % 8 == 0 ? DARK_GREY : CLEAR; })
        .Layer(u"タイル", [](int x, int y) { return (x / 8 + y / 8) % 2 ? SKY : BLUE; });
    return sample.Bytes();
}

// Stars and a moon over the back colour: no layer covers the sky, so the
// thumbnail shows navy there rather than white.
QByteArray Night() {
    CSample sample(40, 24);
    sample
        .Layer(u"moon",
               [](int x, int y) {
                   const bool disc = (x - 30) * (x - 30) + (y - 8) * (y - 8) < 25;
                   const bool shadow = (x - 32) * (x - 32) + (y - 7) * (y - 7) < 20;
                   return disc && !shadow ? YELLOW : CLEAR;
               })
        .Layer(u"stars", [](int x, int y) { return (x * 7 + y * 13) % 37 == 0 ? WHITE : CLEAR; })
        .Layer(
            u"grid", [](int x, int y) { return x % 10 == 0 || y % 10 == 0 ? VIOLET : CLEAR; },
            false);
    sample.Document().m_nBackColorIndex = NAVY;
    return sample.Bytes();
}

} // namespace

QList<CSampleDrawing> MakeSampleDrawings() {
    return {
        {QStringLiteral(u"ねこ").toUtf8(), Cat()},
        {QByteArray("sunset"), Sunset()},
        {QStringLiteral(u"タイル").toUtf8(), Tiles()},
        {QByteArray("night"), Night()},
    };
}

bool AddSampleDrawings(const CDeviceStore& store) {
    for (const CSampleDrawing& sample : MakeSampleDrawings()) {
        if (!store.Write(sample.m_name, sample.m_document))
            return false;
    }
    return true;
}
