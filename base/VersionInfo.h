#pragma once

#include <QByteArray>
#include <QString>

#include <array>

// The twelve standard strings of a version resource, read from the string
// block of its first translation entry.
class CVersionInfo {
public:
    // Field indexes, in the order the fields are filled.
    enum Field {
        CompanyName,
        FileDescription,
        FileVersion,
        InternalName,
        LegalCopyright,
        OriginalFileName,
        ProductName,
        ProductVersion,
        Comments,
        LegalTrademarks,
        PrivateBuild,
        SpecialBuild,
        FieldCount
    };

    CVersionInfo() = default;
    virtual ~CVersionInfo() = default;

    // Reads the version resource of `fileName`, a file holding one version
    // resource block; an empty name reads the program's own resource. Every
    // value that cannot be found becomes "-".
    void Load(const QString& fileName = QString());
    // The same for a version resource already in memory.
    void LoadFromData(const QByteArray& resource);

    QString GetField(Field field) const { return m_strFields[field]; }
    QString GetCompanyName() const { return GetField(CompanyName); }
    QString GetFileDescription() const { return GetField(FileDescription); }
    QString GetFileVersion() const { return GetField(FileVersion); }
    QString GetInternalName() const { return GetField(InternalName); }
    QString GetLegalCopyright() const { return GetField(LegalCopyright); }
    QString GetOriginalFileName() const { return GetField(OriginalFileName); }
    QString GetProductName() const { return GetField(ProductName); }
    QString GetProductVersion() const { return GetField(ProductVersion); }
    QString GetComments() const { return GetField(Comments); }
    QString GetLegalTrademarks() const { return GetField(LegalTrademarks); }
    QString GetPrivateBuild() const { return GetField(PrivateBuild); }
    QString GetSpecialBuild() const { return GetField(SpecialBuild); }

private:
    std::array<QString, FieldCount> m_strFields;
};

// "<application name> Version <FileVersion>", the window title and the first
// line of the about box.
QString TitleText(const CVersionInfo& info);
// TitleText of the program's own version resource.
QString ProgramTitleText();
