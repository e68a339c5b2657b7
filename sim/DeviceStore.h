#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// The drawings of the simulated app: one file "<name>.ksd" per drawing in
// one folder, holding the device document's bytes. A name is the UTF-8 text
// the utility sends and lists, matched byte for byte; no name reaches a file
// outside the folder.
class CDeviceStore {
public:
    struct CEntry {
        QByteArray m_name;
        qint64 m_nSize = 0;
        QDateTime m_modified;
    };

    enum class Result { Done, Missing, Failed };

    // A file name may have 255 bytes; the extension takes four of them.
    static constexpr qsizetype kMaxNameBytes = 255 - 4;

    explicit CDeviceStore(const QString& folder) : m_folder(folder) {}

    const QString& Folder() const { return m_folder; }
    // Makes the folder when it is missing; false when it cannot be made.
    bool Prepare() const;

    // A name the store can hold: valid UTF-8 of 1 to kMaxNameBytes bytes, not
    // "." or "..", without '/', '\\' or NUL (which would leave the folder or
    // cut the path) and without CR or LF (which would break the fields and
    // lines of the replies that carry the name).
    static bool IsStorableName(const QByteArray& name);

    // The drawings, ordered by name bytes. Files whose names the store could
    // not hold are left out.
    QList<CEntry> List() const;
    bool Exists(const QByteArray& name) const;
    // Reads drawing `name`; Failed when it is larger than `maxBytes` or
    // cannot be read.
    Result Read(const QByteArray& name, qint64 maxBytes, QByteArray& bytes) const;
    // Replaces drawing `name` by `bytes` as a whole: a failed write leaves
    // the earlier file as it was.
    bool Write(const QByteArray& name, const QByteArray& bytes) const;
    Result Remove(const QByteArray& name) const;
    // The first of name + "_2", name + "_3", ... under which nothing is
    // stored. The name is shortened by whole characters when the suffix
    // would make it too long to store.
    QByteArray AlternativeName(const QByteArray& name) const;

private:
    QString PathOf(const QByteArray& name) const;

    QString m_folder;
};
