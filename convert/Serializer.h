#pragma once

#include <QString>

class CKSData;

// One desktop file type that device documents are written to or read from.
class CSerializer {
public:
    enum Capability : int {
        CAP_IMPORT = 1, // reads files; offered for upload
        CAP_EXPORT = 2, // writes files; offered when a download is saved
        CAP_LAYERS = 4, // keeps layers, so exports pass multi-layer documents unchanged
        CAP_TILES = 8,  // writes the layers side by side itself (ExportTiles)
    };

    virtual ~CSerializer() = default;

    // The filter description; its first three letters are the extension in
    // upper case.
    virtual QString GetDescription() const { return {}; }
    // The extension with its leading dot.
    virtual QString GetExtension() const { return {}; }
    virtual int GetCapabilities() const { return 0; }
    // Reads the file at `path` into `document`. Starts by clearing
    // m_strLastError, and leaves a text there for failures that carry one.
    virtual bool Import(CKSData& document, const QString& path) {
        (void)document, (void)path;
        return false;
    }
    // Writes `document` to a new file at `path`; same error convention.
    virtual bool Export(const CKSData& document, const QString& path) {
        (void)document, (void)path;
        return false;
    }

    // For CAP_TILES: writes the layers of a consistent document side by
    // side, layer 0 leftmost, as one picture with the document's current
    // palette; same error convention.
    virtual bool ExportTiles(const CKSData& document, const QString& path) {
        (void)document, (void)path;
        return false;
    }

    QString m_strLastError;
};
