#pragma once

#include "convert/SerializerList.h"
#include "link/DeviceLink.h"
#include "link/GetFileListTransaction.h"
#include "link/GetFileTransaction.h"
#include "link/SetFileTransaction.h"

#include <QDialog>
#include <QIcon>
#include <QStringList>

class CFileListCtrl;
class CStatusLog;
class QPushButton;

// The program's main window: it listens for the app, shows the connection
// instructions and events in the status log, checks the app's protocol
// version on every accepted connection, lists the app's documents and holds
// the command buttons: download the selected drawings, upload files
// (chosen in an open dialog or dropped on the window) and delete the
// selected drawings.
//
// States: not listening (the port could not be opened), waiting (listening,
// list and buttons disabled), checking and loading (connected, a transaction
// window runs modally), idle (connected, commands usable).
class CKomaSlateServerDlg : public QDialog,
                            public IFileRowTarget,
                            public IDownloadTarget,
                            public IOverwriteChooser {
    Q_OBJECT
public:
    // The port the app connects to.
    static constexpr quint16 kDefaultPort = 3210;

    // `port` and `settingsPath` exist for tests (port 0 listens on a free
    // port); the program uses kDefaultPort and its settings file.
    explicit CKomaSlateServerDlg(quint16 port = kDefaultPort,
                                 const QString& settingsPath = QString(),
                                 QWidget* parent = nullptr);
    ~CKomaSlateServerDlg() override;

    // Appends one message to the status log.
    void AppendLog(const QString& text);
    // Enables the list and the buttons for the connection state and the
    // selection.
    void UpdateControls();
    // Runs the version check on a newly accepted connection, then fetches
    // the list; a failed check ends that connection.
    void AcceptConnection(quint64 nSerial);
    // Ends the current connection: logs message 107 and empties the list.
    void Disconnect();
    // Empties the list and fetches it again.
    void RefreshFileList();
    // IFileRowTarget
    void AddFileRow(const QByteArray& rawName, const QString& sizeText, const QString& dateText,
                    const CDibSection* thumbnail, qint64 nSizeBytes) override;
    // Opens the about box.
    void ShowAboutBox();

    // The commands. Each runs one transaction window per drawing or file
    // and stops when the connection it started on is gone or replaced, so
    // that no request of it reaches another app.
    //
    // Downloads the selected rows in list order, one save dialog each;
    // stops at the first that is not saved.
    void OnDownload();
    // Uploads the files chosen in an open dialog.
    void OnUpload();
    // Uploads files dropped on the window; ignored while no app is connected.
    void OnDropFiles(const QStringList& paths);
    // Checks one local file against the app's limits and uploads it; true
    // when the app accepted it. Every refusal is shown in a message box.
    bool UploadFile(const QString& path);
    // Asks before deleting each selected row, top to bottom; No deselects
    // the row and goes on with the next, a failed delete stops.
    void OnDelete();
    // IDownloadTarget: asks for the file in the export dialog and writes it.
    bool SaveDownloadedDocument(const CKSData& document, const QByteArray& bytes,
                                const QString& defaultName) override;
    // IOverwriteChooser: asks in the overwrite dialog.
    Choice ChooseOverwrite(const QString& name, const QString& altName) override;

    CDeviceLink& Link() { return m_link; }
    const QString& SettingsPath() const { return m_strSettingsPath; }
    // The protocol version of the app at the last accepted connection.
    int ProtocolVersion() const { return m_nProtocolVersion; }

    CStatusLog* Log() const { return m_pLog; }
    CFileListCtrl* FileList() const { return m_pFileList; }
    QPushButton* DownloadButton() const { return m_pDownload; }
    QPushButton* UploadButton() const { return m_pUpload; }
    QPushButton* DeleteButton() const { return m_pDelete; }
    QPushButton* DisconnectButton() const { return m_pDisconnect; }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void StartListening();
    void OnConnectionClosed(quint64 nSerial);
    void OnSocketError(quint64 nSerial, int nErrorCode, const QString& strErrorText);
    void ClearConnectionView();
    // Uploads `paths` in order and refreshes the list when any was accepted.
    void UploadFiles(const QStringList& paths);
    // True while the connection with serial nSerial is the current one.
    bool StillConnected(quint64 nSerial) const;

    QString m_strSettingsPath;
    CDeviceLink m_link;
    int m_nProtocolVersion = 0;
    CSerializerList m_serializerList;
    // Where the rest of a download of several drawings goes once the user
    // chose to save them all alike; inactive otherwise.
    struct CSaveRest {
        bool bActive = false;
        QString strFolder;
        QString strExtension;
        bool bTileLayers = false;
    };
    CSaveRest m_saveRest;
    // The drawings of the running download, for the save dialog.
    int m_nDownloadCount = 0;
    QIcon m_hIcon;
    CStatusLog* m_pLog = nullptr;
    CFileListCtrl* m_pFileList = nullptr;
    QPushButton* m_pDownload = nullptr;
    QPushButton* m_pUpload = nullptr;
    QPushButton* m_pDelete = nullptr;
    QPushButton* m_pDisconnect = nullptr;
};
