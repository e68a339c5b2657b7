#pragma once

#include <QByteArray>
#include <QList>

class CDeviceStore;

// A drawing made in code: its name (UTF-8) and its device document bytes.
struct CSampleDrawing {
    QByteArray m_name;
    QByteArray m_document;
};

// A handful of small pixel-art drawings with several layers each, some of
// them hidden, and a 256-entry palette; one of them is named "ねこ".
QList<CSampleDrawing> MakeSampleDrawings();

// Writes the sample drawings into `store`; false when one cannot be written.
bool AddSampleDrawings(const CDeviceStore& store);
