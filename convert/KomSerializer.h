#pragma once

#include "convert/Serializer.h"

class CKomaFile;
class CKoma2Data;

// The desktop pixel editor's ".kom" files. Two layouts share the extension:
// the older KOM layout, read and written, and the newer KOMA2 layout, read
// only. Export always writes the older layout.
class CKomSerializer : public CSerializer {
public:
    // The largest width and height an export writes.
    static constexpr qint32 kMaxExportSide = 4000;

    QString GetDescription() const override;
    QString GetExtension() const override;
    int GetCapabilities() const override;
    // Reads either layout; IsKomaFile decides which. `document` must be
    // freshly constructed; after a failure its content is unspecified.
    bool Import(CKSData& document, const QString& path) override;
    // Writes the older layout. A failure never leaves a file behind and never
    // changes an existing one.
    bool Export(const CKSData& document, const QString& path) override;

    // The steps of Import after loading: fill a freshly constructed
    // `document` from a loaded file. Texts of failures go to m_strLastError.
    bool ImportFrom(CKSData& document, const CKomaFile& file);
    bool ImportFrom(CKSData& document, const CKoma2Data& drawing);

private:
    // Leaves string `id` in m_strLastError and returns false.
    bool Fail(int id);
};
