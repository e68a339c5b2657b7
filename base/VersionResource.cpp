#include "base/VersionResource.h"

#include "base/ApplicationName.h"
#include "base/LittleEndian.h"
#include "base/ProgramVersion.h"

#include <QStringList>

namespace {

constexpr qsizetype kHeaderSize = 6; // length, value length, type
constexpr quint16 kTypeBinary = 0;
constexpr quint16 kTypeText = 1;
constexpr quint32 kFixedInfoSignature = 0xFEEF04BD;
const QString kRootKey = QStringLiteral("VS_VERSION_INFO");

qsizetype Align4(qsizetype offset) {
    return (offset + 3) & ~qsizetype(3);
}

// ---- writing ---------------------------------------------------------------

void PadTo4(QByteArray& out) {
    out.append(Align4(out.size()) - out.size(), '\0');
}

// The text as UTF-16LE code units followed by a terminating zero.
QByteArray ZeroTerminatedUtf16(const QString& text) {
    QByteArray out;
    out.reserve((text.size() + 1) * 2);
    for (const QChar c : text)
        LittleEndian::Append<quint16>(out, c.unicode());
    LittleEndian::Append<quint16>(out, 0);
    return out;
}

// Appends one child node to a list of siblings, each starting on a 32-bit
// boundary relative to the first.
void AppendChild(QByteArray& children, const QByteArray& child) {
    PadTo4(children);
    children += child;
}

// One node: header, key, value and children. `valueLength` counts characters
// for text nodes and bytes for binary nodes.
QByteArray MakeNode(const QString& key, quint16 type, const QByteArray& value, quint16 valueLength,
                    const QByteArray& children = {}) {
    QByteArray out(kHeaderSize, '\0');
    out += ZeroTerminatedUtf16(key);
    PadTo4(out);
    out += value;
    if (!children.isEmpty()) {
        PadTo4(out);
        out += children;
    }
    Q_ASSERT(out.size() <= CVersionResource::kMaxSize);
    LittleEndian::PutAt<quint16>(out, 0, quint16(out.size()));
    LittleEndian::PutAt<quint16>(out, 2, valueLength);
    LittleEndian::PutAt<quint16>(out, 4, type);
    return out;
}

QByteArray MakeStringNode(const QString& key, const QString& value) {
    return MakeNode(key, kTypeText, ZeroTerminatedUtf16(value), quint16(value.size() + 1));
}

QByteArray MakeFixedFileInfo(const CVersionResourceContent& content) {
    QByteArray info;
    LittleEndian::Append<quint32>(info, kFixedInfoSignature);
    LittleEndian::Append<quint32>(info, 0x00010000); // structure version 1.0
    LittleEndian::Append<quint32>(info, quint32(content.m_nFileVersion >> 32));
    LittleEndian::Append<quint32>(info, quint32(content.m_nFileVersion));
    LittleEndian::Append<quint32>(info, quint32(content.m_nProductVersion >> 32));
    LittleEndian::Append<quint32>(info, quint32(content.m_nProductVersion));
    LittleEndian::Append<quint32>(info, 0x3F);    // file flags mask
    LittleEndian::Append<quint32>(info, 0);       // file flags
    LittleEndian::Append<quint32>(info, 0x40004); // operating system: 32-bit Windows NT
    LittleEndian::Append<quint32>(info, 1);       // file type: application
    LittleEndian::Append<quint32>(info, 0);       // file subtype
    LittleEndian::Append<quint32>(info, 0);       // file date, high part
    LittleEndian::Append<quint32>(info, 0);       // file date, low part
    return info;
}

// ---- reading ---------------------------------------------------------------

quint16 WordAt(const QByteArray& data, qsizetype offset) {
    return LittleEndian::At<quint16>(data, offset);
}

QString Utf16At(const QByteArray& data, qsizetype offset, qsizetype count) {
    QString text;
    text.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        text.append(QChar(WordAt(data, offset + 2 * i)));
    return text;
}

// Offsets of one node, all checked to lie within [m_nStart, m_nEnd).
struct CNode {
    qsizetype m_nStart = 0;
    qsizetype m_nEnd = 0;
    quint16 m_nValueLength = 0;
    quint16 m_nType = 0;
    qsizetype m_nKeyChars = 0;
    qsizetype m_nValueStart = 0;

    qsizetype KeyStart() const { return m_nStart + kHeaderSize; }
    qsizetype ValueBytes() const {
        return m_nType == kTypeText ? qsizetype(m_nValueLength) * 2 : m_nValueLength;
    }
    qsizetype ChildrenStart() const { return Align4(m_nValueStart + ValueBytes()); }
};

// The node at `start`, which must end by `limit`; empty when its length or
// key do not fit.
std::optional<CNode> ParseNode(const QByteArray& data, qsizetype start, qsizetype limit) {
    if (start + kHeaderSize > limit)
        return {};
    CNode node;
    node.m_nStart = start;
    const quint16 length = WordAt(data, start);
    if (length < kHeaderSize || start + length > limit)
        return {};
    node.m_nEnd = start + length;
    node.m_nValueLength = WordAt(data, start + 2);
    node.m_nType = WordAt(data, start + 4);
    qsizetype pos = node.KeyStart();
    while (pos + 2 <= node.m_nEnd && WordAt(data, pos) != 0)
        pos += 2;
    if (pos + 2 > node.m_nEnd)
        return {};
    node.m_nKeyChars = (pos - node.KeyStart()) / 2;
    node.m_nValueStart = Align4(pos + 2);
    return node;
}

// The child of `parent` whose key is `key`, ignoring case.
std::optional<CNode> FindChild(const QByteArray& data, const CNode& parent, QStringView key) {
    qsizetype pos = parent.ChildrenStart();
    while (pos + kHeaderSize <= parent.m_nEnd) {
        const std::optional<CNode> child = ParseNode(data, pos, parent.m_nEnd);
        if (!child)
            return {};
        if (child->m_nKeyChars == key.size() && Utf16At(data, child->KeyStart(), child->m_nKeyChars)
                                                        .compare(key, Qt::CaseInsensitive) == 0)
            return child;
        pos = Align4(child->m_nEnd);
    }
    return {};
}

} // namespace

QByteArray BuildVersionResource(const CVersionResourceContent& content) {
    QByteArray tables;
    for (const CVersionStringBlock& block : content.m_blocks) {
        QByteArray strings;
        for (const auto& [key, value] : block.m_strings)
            AppendChild(strings, MakeStringNode(key, value));
        const QString name =
            QString::asprintf("%04x%04x", unsigned(block.m_nLanguage), unsigned(block.m_nCodePage));
        AppendChild(tables, MakeNode(name, kTypeText, {}, 0, strings));
    }

    QByteArray translations;
    for (const quint32 entry : content.m_translations)
        LittleEndian::Append<quint32>(translations, entry);
    QByteArray vars;
    AppendChild(vars, MakeNode(QStringLiteral("Translation"), kTypeBinary, translations,
                               quint16(translations.size())));

    QByteArray children;
    AppendChild(children, MakeNode(QStringLiteral("StringFileInfo"), kTypeText, {}, 0, tables));
    AppendChild(children, MakeNode(QStringLiteral("VarFileInfo"), kTypeText, {}, 0, vars));
    const QByteArray fixed = MakeFixedFileInfo(content);
    return MakeNode(kRootKey, kTypeBinary, fixed, quint16(fixed.size()), children);
}

const QByteArray& ProgramVersionResource() {
    static const QByteArray resource = [] {
        const QString version = QString::fromLatin1(kProgramVersion);
        const QString fileName = QStringLiteral("KomaSlateUtility.exe");
        CVersionResourceContent content;
        content.m_nFileVersion = content.m_nProductVersion = 0x0001000000000000;
        content.m_blocks.append(
            {0x0411,
             0x03A4,
             {
                 {QStringLiteral("Comments"), ApplicationName()},
                 {QStringLiteral("CompanyName"), QStringLiteral("KomaSlate Project")},
                 {QStringLiteral("FileVersion"), version},
                 {QStringLiteral("InternalName"), fileName},
                 {QStringLiteral("LegalCopyright"),
                  QStringLiteral("Copyright (C) KomaSlate Project")},
                 {QStringLiteral("OriginalFilename"), fileName},
                 {QStringLiteral("ProductName"), ApplicationName()},
                 {QStringLiteral("ProductVersion"), version},
             }});
        content.m_translations.append(0x03A40411);
        return BuildVersionResource(content);
    }();
    return resource;
}

CVersionResource::CVersionResource(QByteArray data) : m_data(std::move(data)) {
    const std::optional<CNode> root = ParseNode(m_data, 0, m_data.size());
    if (root && root->m_nKeyChars == kRootKey.size() &&
        Utf16At(m_data, root->KeyStart(), root->m_nKeyChars) == kRootKey)
        m_nRootLength = root->m_nEnd;
}

std::optional<QByteArray> CVersionResource::QueryValue(const QString& path) const {
    if (!IsValid())
        return {};
    std::optional<CNode> node = ParseNode(m_data, 0, m_nRootLength);
    const QStringList keys = path.split(u'\\', Qt::SkipEmptyParts);
    for (const QString& key : keys) {
        node = FindChild(m_data, *node, key);
        if (!node)
            return {};
    }
    const qsizetype start = std::min(node->m_nValueStart, node->m_nEnd);
    if (node->m_nType != kTypeText)
        return m_data.mid(start, std::min(node->ValueBytes(), node->m_nEnd - start));
    // Text runs to its terminating zero; a value length of 0 means no text.
    qsizetype end = start;
    if (node->m_nValueLength > 0) {
        while (end + 2 <= node->m_nEnd && WordAt(m_data, end) != 0)
            end += 2;
    }
    return m_data.mid(start, end - start);
}

std::optional<QString> CVersionResource::QueryText(const QString& path) const {
    const std::optional<QByteArray> value = QueryValue(path);
    if (!value)
        return {};
    return Utf16At(*value, 0, value->size() / 2);
}
