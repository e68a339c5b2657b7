#pragma once

#include "base/AutoDeletePtr.h"
#include "convert/Serializer.h"

#include <QString>
#include <QStringList>

#include <memory>

class CKSData;

// The registry of desktop file types, in the order the file dialogs list
// them. It owns its serializers.
class CSerializerList : public CAutoDeletePtrList<CSerializer> {
public:
    // Appends the program's own file types, in registry order.
    void AddStandardSerializers();

    // The first serializer that shares a capability bit with `mask` and whose
    // extension equals the extension of the path's file name, ignoring case;
    // null when there is none. A name without a dot has no extension and
    // matches nothing.
    CSerializer* FindByPath(const QString& path, int mask) const;

    // The '|'-separated filter string of the file dialogs: description and
    // pattern of each serializer that shares a bit with `mask`, preceded by
    // an all-supported-formats entry when `includeAll`, and ended by an empty
    // entry.
    QString BuildFilter(bool includeAll, int mask) const;
};

// A BuildFilter string as the name filters of a Qt file dialog, one per
// description and pattern pair: "PNG - Portable Network Graphics (*.png)";
// patterns separated by ';' are listed with spaces between them.
QStringList NameFiltersOf(const QString& filter);

// One layer holding the layers that the document's display mode shows, the
// first shown layer on top, with the document's current palette; pixels no
// shown layer covers hold the transparent index. The document must be
// consistent (CKSData::IsConsistent).
std::unique_ptr<CKSData> FlattenShownLayers(const CKSData& document);

// Writes `document` to `path` with the serializer of the path's extension.
// With `tileLayers`, a document of two or more layers is written as one layer
// that holds all layers side by side, layer 0 leftmost; otherwise a file type
// that keeps no layers receives the shown layers flattened into one. Every
// failure is shown through the message sink. True when the file was written.
bool ExportDocument(const CSerializerList& list, const CKSData& document, const QString& path,
                    bool tileLayers);

// Reads the file at `path` into a fresh `document` with the serializer of
// the path's extension. Every failure is shown through the message sink.
// True when the document holds the picture.
bool ImportDocument(const CSerializerList& list, CKSData& document, const QString& path);
