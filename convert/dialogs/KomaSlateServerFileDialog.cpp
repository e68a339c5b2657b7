#include "convert/dialogs/KomaSlateServerFileDialog.h"

#include "base/ApplicationName.h"
#include "base/FileNameText.h"
#include "base/IniFile.h"
#include "convert/SerializerList.h"
#include "ui/DialogUnits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QShowEvent>

namespace {

const QString kSection = QStringLiteral("FileDlg");
const QString kFolderKey = QStringLiteral("ExportFolder");
const QString kExtensionKey = QStringLiteral("ExportExt");
const QString kLayerTileKey = QStringLiteral("ExportLayerTile");
const QString kDefaultExtension = QStringLiteral(".png");

} // namespace

bool NeedsReplaceQuestion(const QString& confirmedPath, const QString& finalPath) {
    return finalPath != confirmedPath && QFileInfo::exists(finalPath);
}

CKomaSlateServerFileDialog::CKomaSlateServerFileDialog(const QString& initialName,
                                                       const QString& filter, QWidget* parent)
    : CKomaSlateServerFileDialog(initialName, filter, QString(), parent) {}

CKomaSlateServerFileDialog::CKomaSlateServerFileDialog(const QString& initialName,
                                                       const QString& filter,
                                                       const QString& settingsPath, QWidget* parent)
    : QFileDialog(parent),
      m_strSettingsPath(settingsPath.isEmpty() ? SettingsFilePath() : settingsPath) {
    // Only Qt's own dialog can carry the extra check box.
    setOption(QFileDialog::DontUseNativeDialog);
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setFont(DialogFont());

    const QStringList filters = NameFiltersOf(filter);
    if (!filters.isEmpty())
        setNameFilters(filters);

    m_pTileLayers = new QCheckBox(QStringLiteral(u"レイヤを１枚に並べて書き出す"), this);
    m_pTileLayers->setObjectName(QStringLiteral("tileLayersBox"));
    m_pTileLayers->setMinimumSize(CDialogUnits(font()).ToPixels(137, 10));
    // Under the file-type row, starting in the column of the file-name
    // label, so its left edge lines up with that label's.
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(m_pTileLayers, grid->rowCount(), 0, 1, 2, Qt::AlignLeft);

    const CIniFile settings(m_strSettingsPath, false);
    // A folder that no longer exists is handed on too; Qt then stays in
    // its default folder.
    m_strFolder = settings.GetString(kSection, kFolderKey, QString());
    if (!m_strFolder.isEmpty())
        setDirectory(m_strFolder);

    if (!initialName.isEmpty()) {
        QString name = MakeSafeFileName(initialName);
        const QString extension = settings.GetString(kSection, kExtensionKey, kDefaultExtension);
        if (!extension.isEmpty())
            name = ReplaceExtension(name, extension);
        PreselectType(extension);
        // After the type: selecting a type rewrites the extension of the
        // name in the field, and a remembered extension that matches no
        // type must stay as it is.
        selectFile(name);
    }
    UpdateDefaultSuffix();

    // Qt reports only the user's own changes of the type.
    connect(this, &QFileDialog::filterSelected, this, &CKomaSlateServerFileDialog::OnTypeChanged);
}

void CKomaSlateServerFileDialog::OfferSaveRest() {
    if (m_pSaveRest)
        return;
    m_pSaveRest = new QCheckBox(QStringLiteral(u"残りも同じフォルダと形式で保存する"), this);
    m_pSaveRest->setObjectName(QStringLiteral("saveRestBox"));
    // Below the first box, in the same column.
    if (auto* grid = qobject_cast<QGridLayout*>(layout()))
        grid->addWidget(m_pSaveRest, grid->rowCount(), 0, 1, 2, Qt::AlignLeft);
}

QString CKomaSlateServerFileDialog::SelectedTypeExtension() const {
    // Each filter starts with its type's description.
    const QString selected = selectedNameFilter();
    if (!nameFilters().contains(selected))
        return {};
    return u'.' + selected.left(3).toLower();
}

void CKomaSlateServerFileDialog::PreselectType(const QString& extension) {
    const QString letters = extension.startsWith(u'.') ? extension.mid(1) : extension;
    // The first three letters of each description are its extension in
    // upper case. No match leaves the first type selected.
    for (const QString& type : nameFilters()) {
        if (type.left(3).compare(letters, Qt::CaseInsensitive) == 0) {
            selectNameFilter(type);
            return;
        }
    }
}

void CKomaSlateServerFileDialog::UpdateDefaultSuffix() {
    // A name typed without an extension gets the selected type's, so that
    // Qt's overwrite question is about the file that will be written.
    const QString extension = SelectedTypeExtension();
    setDefaultSuffix((extension.isEmpty() ? kDefaultExtension : extension).mid(1));
}

void CKomaSlateServerFileDialog::OnTypeChanged() {
    UpdateDefaultSuffix();
    const QString extension = SelectedTypeExtension();
    auto* nameEdit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    if (extension.isEmpty() || !nameEdit || nameEdit->text().isEmpty())
        return;
    // Set directly: Qt ignores selectFile() while the field has the focus.
    nameEdit->setText(ReplaceExtension(nameEdit->text(), extension));
}

void CKomaSlateServerFileDialog::showEvent(QShowEvent* event) {
    QFileDialog::showEvent(event);
    if (event->spontaneous())
        return;
    const CIniFile settings(m_strSettingsPath, false);
    m_bTileLayers = settings.GetInt(kSection, kLayerTileKey, m_bTileLayers ? 1 : 0) > 0;
    m_pTileLayers->setChecked(m_bTileLayers);
}

void CKomaSlateServerFileDialog::done(int result) {
    if (result == QDialog::Accepted && !ConfirmName())
        return;
    QFileDialog::done(result);
}

bool CKomaSlateServerFileDialog::ConfirmName() {
    const QString confirmed = selectedFiles().value(0);
    if (confirmed.isEmpty())
        return true;
    const QString extension = SelectedTypeExtension();
    const QString finalPath =
        extension.isEmpty() ? confirmed : ReplaceExtension(confirmed, extension);
    if (NeedsReplaceQuestion(confirmed, finalPath) && !AskReplace(finalPath))
        return false;

    // A failed write is not reported: the file is saved all the same.
    CIniFile settings(m_strSettingsPath, true);
    settings.WriteString(kSection, kFolderKey, QFileInfo(confirmed).absolutePath());
    m_strPathName = finalPath;
    // The extension as the user confirmed it, before the type's replaced it.
    settings.WriteString(kSection, kExtensionKey, ExtensionOf(confirmed));
    m_bTileLayers = m_pTileLayers->isChecked();
    m_bSaveRest = m_pSaveRest && m_pSaveRest->isChecked();
    settings.WriteInt(kSection, kLayerTileKey, m_bTileLayers ? 1 : 0);
    return true;
}

bool CKomaSlateServerFileDialog::AskReplace(const QString& path) {
    // Qt's own overwrite question, in Qt's own words.
    const QString text =
        QCoreApplication::translate("QFileDialog", "%1 already exists.\nDo you want to replace it?")
            .arg(QFileInfo(path).fileName());
    QMessageBox box(QMessageBox::Question, ApplicationName(), text,
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    return box.exec() == QMessageBox::Yes;
}
