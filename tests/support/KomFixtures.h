#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

#include <initializer_list>

// Builders for the desktop editor's files, so that every test fixture is
// made from code (with zlib) instead of committed binaries.

// A chunk list: a 16-bit id, a 32-bit size and the payload per chunk.
class CChunkList {
public:
    CChunkList& Byte(quint16 id, quint8 value);
    CChunkList& Word(quint16 id, quint16 value);
    CChunkList& Long(quint16 id, qint32 value);
    CChunkList& Data(quint16 id, const QByteArray& payload);
    CChunkList& Object(quint16 id, const CChunkList& children) {
        return Data(id, children.m_bytes);
    }
    const QByteArray& Bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};

// A KOMA2 file around `body`: signature, two skipped bytes, the compression
// mode, the declared body length (the body's own by default) and the body
// compressed with zlib.
QByteArray Koma2File(const QByteArray& body, quint8 mode = 1, qint64 declaredLength = -1);

// The children of a KOMA2 layer holding `pixels`, optionally named.
CChunkList Koma2Layer(const QByteArray& pixels, const QByteArray& name = {}, quint8 visible = 1);
// The children of a KOMA2 page of the given size, with its layers.
CChunkList Koma2Page(quint16 width, quint16 height, std::initializer_list<CChunkList> layers);
// A drawing of depth 8 with one page (current) and one palette of `count`
// entries (current) whose colour k is (blue k, green k+1, red k+2).
CChunkList Koma2Drawing(const CChunkList& page, quint16 paletteCount = 256);

// Pixels that look like a drawing: long spans of a few colours with some
// single-pixel detail in between.
QByteArray DrawingPixels(qint64 count, quint32 seed);

// A KOM file header followed by raw layer records, for hand-made files.
QByteArray KomHeader(qint32 width, qint32 height, quint16 layerCount, quint8 transparent = 0);
QByteArray KomLayerRecord(const QByteArray& name, quint8 visible, const QByteArray& stream);
// One coded layer stream from runs (position, length, value) and literals.
struct CRunSpec {
    quint32 position;
    quint32 length;
    quint8 value;
};
QByteArray KomStream(std::initializer_list<CRunSpec> runs, const QByteArray& literals,
                     qint64 declaredLiteralCount = -1);

// Writes `bytes` to `name` inside `dir` and returns the path.
QString WriteFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes);
QByteArray ReadFile(const QString& path);
