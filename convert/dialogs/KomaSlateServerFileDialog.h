#pragma once

#include <QFileDialog>
#include <QStringList>

class QCheckBox;

// Whether replacing the file at `finalPath` still has to be confirmed. Qt's
// own question asked about `confirmedPath`, the path the user confirmed;
// when the type's extension forced onto it names another file that exists,
// that file would otherwise be replaced without a word.
bool NeedsReplaceQuestion(const QString& confirmedPath, const QString& finalPath);

// The save dialog for a downloaded drawing: Qt's own (non-native) file
// dialog with one extra check box for writing all layers side by side on one
// sheet. It opens in the folder of the last export, offers the last
// extension and preselects its file type, keeps the name's extension in step
// with the type the user picks, and forces the selected type's extension
// onto the final path, since the serializer is chosen by that extension.
//
// Settings, section "FileDlg" of the settings file: "ExportFolder" and
// "ExportExt" are read at construction, "ExportLayerTile" when the dialog is
// shown; all three are written only when the user confirms a name, so
// Cancel leaves them as they were.
class CKomaSlateServerFileDialog : public QFileDialog {
    Q_OBJECT
public:
    // `initialName` is the drawing's name as the app listed it; it is
    // offered as a safe file name (MakeSafeFileName) with the remembered
    // extension. `filter` is the '|'-separated filter string of
    // CSerializerList::BuildFilter.
    CKomaSlateServerFileDialog(const QString& initialName, const QString& filter,
                               QWidget* parent = nullptr);
    // The same with the settings file at `settingsPath` (empty: the
    // program's own settings file).
    CKomaSlateServerFileDialog(const QString& initialName, const QString& filter,
                               const QString& settingsPath, QWidget* parent);

    // The check box: set from "ExportLayerTile" when the dialog is shown and
    // from the box when the user confirms.
    bool m_bTileLayers = false;

    // The path to write after the dialog ended with Accepted: the confirmed
    // path with the selected type's extension. Empty before that.
    QString GetPathName() const { return m_strPathName; }

    QCheckBox* TileLayersBox() const { return m_pTileLayers; }

    // For a download of several drawings: adds a second box, clear and not
    // remembered, to save the rest of them in the same folder and format
    // without asking again. Its state when the user confirmed:
    void OfferSaveRest();
    bool m_bSaveRest = false;
    QCheckBox* SaveRestBox() const { return m_pSaveRest; }
    // "." and the first three characters of the selected type's description
    // in lower case (".png", ".kom"); empty when no type is selected.
    QString SelectedTypeExtension() const;

    // An accepting end takes the confirmed name: it may ask once more
    // (NeedsReplaceQuestion) and, on No, keeps the dialog open.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void PreselectType(const QString& extension);
    void OnTypeChanged();
    void UpdateDefaultSuffix();
    // Takes the confirmed name; false when the dialog is to stay open.
    bool ConfirmName();
    bool AskReplace(const QString& path);

    QString m_strSettingsPath;
    // The remembered folder the dialog opened in.
    QString m_strFolder;
    QCheckBox* m_pTileLayers = nullptr;
    QCheckBox* m_pSaveRest = nullptr;
    QString m_strPathName;
};
