#pragma once

#include <QByteArray>
#include <QSize>

class CKSData;

// The side of the square a thumbnail fits in.
constexpr int kThumbnailBox = 88;

// The shown layers of `document` flattened and scaled (nearest pixel) so
// that the longer side is `box` pixels, as an 8-bit RGB PNG image. Pixels
// that no shown layer covers show the document's back colour when that is
// not the transparent index, else white. Empty when the document cannot be
// read as a picture. `size` receives the image's size.
QByteArray MakeThumbnailPng(const CKSData& document, int box, QSize* size = nullptr);
