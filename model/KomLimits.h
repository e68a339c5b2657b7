#pragma once

#include <QtGlobal>

// How large the layers of the desktop editor's files may be, in both layouts
// (the older KOM file and KOMA2). Both readers refuse a file that claims more
// before they allocate its layers.
namespace KomLimits {

// Pixels of one layer: 16384 × 16384.
inline constexpr qint64 kMaxLayerArea = qint64(16384) * 16384;

// Pixel bytes of all layers of one file together. A blank layer costs a file
// next to nothing (a few runs in the older layout, no pixel chunk at all in
// KOMA2), so without this bound a file of a few kilobytes could claim
// hundreds of gigabytes.
inline constexpr qint64 kMaxLoadedBytes = qint64(1) << 30;

} // namespace KomLimits
