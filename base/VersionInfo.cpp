#include "base/VersionInfo.h"

#include "base/ApplicationName.h"
#include "base/LittleEndian.h"
#include "base/MessageFormat.h"
#include "base/VersionResource.h"

#include <QFile>

namespace {

// The key queried for each field, in field order.
const char16_t* const kFieldKeys[CVersionInfo::FieldCount] = {
    u"\\CompanyName",    u"\\FileDescription",  u"\\FileVersion",  u"\\InternalName",
    u"\\LegalCopyright", u"\\OriginalFileName", u"\\ProductName",  u"\\ProductVersion",
    u"\\Comments",       u"\\LegalTrademarks",  u"\\PrivateBuild", u"\\SpecialBuild",
};

const QString kMissing = QStringLiteral("-");

} // namespace

void CVersionInfo::Load(const QString& fileName) {
    if (fileName.isEmpty()) {
        LoadFromData(ProgramVersionResource());
        return;
    }
    QFile file(fileName);
    // An unreadable file yields empty data, which the reader rejects.
    QByteArray data;
    if (file.open(QIODevice::ReadOnly))
        data = file.read(CVersionResource::kMaxSize);
    LoadFromData(data);
}

void CVersionInfo::LoadFromData(const QByteArray& resource) {
    m_strFields.fill(QString());
    const CVersionResource reader(resource);
    const std::optional<QByteArray> translation =
        reader.QueryValue(QStringLiteral("\\VarFileInfo\\Translation"));
    if (!translation || translation->size() < 4) {
        m_strFields.fill(kMissing);
        return;
    }
    // Only the first entry counts: language, then code page.
    const unsigned language = LittleEndian::At<quint16>(*translation, 0);
    const unsigned codePage = LittleEndian::At<quint16>(*translation, 2);
    const QString block = QString::asprintf("\\StringFileInfo\\%04x%04x", language, codePage);
    for (int i = 0; i < FieldCount; ++i) {
        const std::optional<QString> text =
            reader.QueryText(block + QString::fromUtf16(kFieldKeys[i]));
        m_strFields[i] = text ? *text : kMissing;
    }
}

QString TitleText(const CVersionInfo& info) {
    return FormatDirectives(QStringLiteral("%s Version %s"),
                            {ApplicationName(), info.GetFileVersion()});
}

QString ProgramTitleText() {
    CVersionInfo info;
    info.Load();
    return TitleText(info);
}
