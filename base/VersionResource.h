#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>
#include <utility>

// Version resources in the binary layout of a VS_VERSIONINFO block: a tree of
// nodes, each a 16-bit total length, a 16-bit value length, a 16-bit type
// (1 text, 0 binary), a zero-terminated UTF-16 key, the value and the
// children, every part starting on a 32-bit boundary; all little-endian.

// One string table: "StringFileInfo\<llllcccc>" with its key/value pairs.
struct CVersionStringBlock {
    quint16 m_nLanguage = 0;
    quint16 m_nCodePage = 0;
    QList<std::pair<QString, QString>> m_strings;
};

// Everything a version resource holds.
struct CVersionResourceContent {
    // Four 16-bit parts, most significant first (1.0.0.0 is 0x0001000000000000).
    quint64 m_nFileVersion = 0;
    quint64 m_nProductVersion = 0;
    QList<CVersionStringBlock> m_blocks;
    // "VarFileInfo\Translation" entries: language in the low 16 bits, code page
    // in the high 16 bits.
    QList<quint32> m_translations;
};

// Lays `content` out as a VS_VERSIONINFO block.
QByteArray BuildVersionResource(const CVersionResourceContent& content);

// The program's own version resource (string block "041103a4").
const QByteArray& ProgramVersionResource();

// Reads values out of a version resource the way the platform's version query
// does. The data is untrusted: every length is checked against its parent.
class CVersionResource {
public:
    // A block over 65535 bytes cannot be addressed by its 16-bit length, so
    // files are read up to this size only.
    static constexpr qsizetype kMaxSize = 0xFFFF;

    explicit CVersionResource(QByteArray data);

    // True when the data starts with a complete "VS_VERSION_INFO" root node.
    bool IsValid() const { return m_nRootLength > 0; }

    // The value at `path`, a list of keys separated by backslashes and
    // compared ignoring case ("\" alone is the root). For binary nodes the
    // value bytes; for text nodes the UTF-16LE bytes before the terminating
    // zero. Empty optional when a key is missing or the tree is malformed.
    std::optional<QByteArray> QueryValue(const QString& path) const;
    // QueryValue decoded as text.
    std::optional<QString> QueryText(const QString& path) const;

private:
    QByteArray m_data;
    qsizetype m_nRootLength = 0;
};
