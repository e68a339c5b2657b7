#include "mainwnd/KomaSlateServerDlg.h"

#include "base/FileNameText.h"
#include "base/IniFile.h"
#include "base/LargeBuffers.h"
#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "base/VersionInfo.h"
#include "convert/dialogs/KomaSlateServerFileDialog.h"
#include "link/LocalAddress.h"
#include "link/UploadRules.h"
#include "link/dialogs/CommandDlgs.h"
#include "link/dialogs/OverwriteDlg.h"
#include "mainwnd/AboutDlg.h"
#include "mainwnd/FileListCtrl.h"
#include "mainwnd/StatusLog.h"
#include "model/KSData.h"
#include "ui/DialogUnits.h"
#include "ui/ProgramResources.h"
#include "ui/WaitCursor.h"

#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>

namespace {

// The local files among the URLs of a drag, in their order.
QStringList LocalFiles(const QMimeData* data) {
    QStringList paths;
    if (data && data->hasUrls()) {
        for (const QUrl& url : data->urls()) {
            if (url.isLocalFile())
                paths.append(url.toLocalFile());
        }
    }
    return paths;
}

} // namespace

CKomaSlateServerDlg::CKomaSlateServerDlg(quint16 port, const QString& settingsPath, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint),
      m_strSettingsPath(settingsPath.isEmpty() ? SettingsFilePath() : settingsPath), m_link(port),
      m_hIcon(ProgramIcon()) {
    m_serializerList.AddStandardSerializers();
    CreateControls();
    setWindowTitle(ProgramTitleText());
    setWindowIcon(m_hIcon);
    setAcceptDrops(true);

    connect(&m_link, &CDeviceLink::ConnectionAccepted, this,
            &CKomaSlateServerDlg::AcceptConnection);
    connect(&m_link, &CDeviceLink::ConnectionClosed, this,
            &CKomaSlateServerDlg::OnConnectionClosed);
    connect(&m_link, &CDeviceLink::SocketFailed, this, &CKomaSlateServerDlg::OnSocketError);
    StartListening();

    m_pFileList->PrepareColumns();
    UpdateControls();
}

CKomaSlateServerDlg::~CKomaSlateServerDlg() = default;

void CKomaSlateServerDlg::CreateControls() {
    setFont(MainWindowFont());
    const CDialogUnits units(font());
    setFixedSize(units.ToPixels(335, 423));

    // Created in tab order.
    auto* statusLabel = new QLabel(QStringLiteral(u"状態(&S):"), this);
    units.Place(statusLabel, 7, 7, 183, 8);
    m_pLog = new CStatusLog(this);
    units.Place(m_pLog, 7, 17, 321, 60);
    statusLabel->setBuddy(m_pLog);

    auto* listLabel =
        new QLabel(QStringLiteral(u"iPhone / iPod touch内のファイル一覧(&L): "), this);
    units.Place(listLabel, 7, 82, 248, 8);
    m_pFileList = new CFileListCtrl(this);
    units.Place(m_pFileList, 7, 92, 253, 324);
    m_pFileList->setContextMenuPolicy(Qt::PreventContextMenu);
    listLabel->setBuddy(m_pFileList);

    const auto makeButton = [&](const QString& text, int y) {
        auto* button = new QPushButton(text, this);
        units.Place(button, 266, y, 62, 16);
        button->setContextMenuPolicy(Qt::PreventContextMenu);
        return button;
    };
    m_pDownload = makeButton(QStringLiteral(u"ダウンロード(&O)..."), 92);
    m_pUpload = makeButton(QStringLiteral(u"アップロード(&U)..."), 111);
    m_pDelete = makeButton(QStringLiteral(u"削除(&D)"), 155);
    m_pDisconnect = makeButton(QStringLiteral(u"切断(&C)"), 243);

    connect(m_pDownload, &QPushButton::clicked, this, &CKomaSlateServerDlg::OnDownload);
    connect(m_pUpload, &QPushButton::clicked, this, &CKomaSlateServerDlg::OnUpload);
    connect(m_pDelete, &QPushButton::clicked, this, &CKomaSlateServerDlg::OnDelete);
    connect(m_pDisconnect, &QPushButton::clicked, this, &CKomaSlateServerDlg::Disconnect);
    connect(m_pFileList, &QTableWidget::itemSelectionChanged, this,
            &CKomaSlateServerDlg::UpdateControls);
}

void CKomaSlateServerDlg::StartListening() {
    if (m_link.Listen()) {
        AppendLog(FormatStringResource(IDS_CONNECT_INSTRUCTIONS,
                                       {GetLocalAddress(), int(m_link.Port())}));
        return;
    }
    // Binding and listening are one step here; either failure leaves the
    // window not listening and says why.
    AppendLog(FormatStringResource(IDS_SOCKET_ERROR_CODE, {m_link.ListenError().nCode}));
}

void CKomaSlateServerDlg::AppendLog(const QString& text) {
    m_pLog->AppendLog(text);
}

void CKomaSlateServerDlg::UpdateControls() {
    const bool connected = m_link.IsConnected();
    const bool selected = connected && m_pFileList->HasSelection();
    m_pFileList->setEnabled(connected);
    m_pDownload->setEnabled(selected);
    m_pUpload->setEnabled(connected);
    m_pDisconnect->setEnabled(connected);
    m_pDelete->setEnabled(selected);
}

void CKomaSlateServerDlg::AcceptConnection(quint64 nSerial) {
    AppendLog(FormatStringResource(IDS_CONNECTION_ACCEPTED));
    UpdateControls();

    CGetProtVerDlg versionDlg(this, m_link);
    const int result = versionDlg.exec();
    if (result == CWaitDlg::kSucceeded) {
        // A connection that went while the window ended has been handled by
        // its close; one that took its place runs its own check.
        if (m_link.ConnectionSerial() == nSerial) {
            m_nProtocolVersion = versionDlg.Transaction().ProtocolVersion();
            RefreshFileList();
        }
        return;
    }
    // Refused or failed: end this connection, and report the end also when
    // it is already gone. A newer connection accepted meanwhile stays.
    if (m_link.ConnectionSerial() == nSerial || !m_link.IsConnected())
        Disconnect();
}

void CKomaSlateServerDlg::Disconnect() {
    m_link.Disconnect();
    ClearConnectionView();
}

void CKomaSlateServerDlg::OnConnectionClosed(quint64) {
    // The link has closed the connection and ended its transaction already.
    ClearConnectionView();
}

void CKomaSlateServerDlg::ClearConnectionView() {
    AppendLog(FormatStringResource(IDS_DISCONNECTED));
    m_pFileList->DeleteAllRows();
    UpdateControls();
}

void CKomaSlateServerDlg::OnSocketError(quint64, int, const QString& strErrorText) {
    // The link has closed the connection and ended its transaction; the
    // rows stay, disabled with the list.
    const QString message = FormatStringResource(IDS_SOCKET_ERROR_TEXT, {strErrorText});
    AppendLog(message);
    UpdateControls();
    ShowMessage(message);
}

void CKomaSlateServerDlg::RefreshFileList() {
    m_pFileList->DeleteAllRows();
    CGetFileListDlg listDlg(this, m_link, *this);
    listDlg.exec();
}

void CKomaSlateServerDlg::AddFileRow(const QByteArray& rawName, const QString& sizeText,
                                     const QString& dateText, const CDibSection* thumbnail,
                                     qint64 nSizeBytes) {
    if (!thumbnail) {
        m_pFileList->AddFileRow(rawName, sizeText, dateText, nullptr, nSizeBytes);
        return;
    }
    const QImage image = ImageFromDib(*thumbnail);
    m_pFileList->AddFileRow(rawName, sizeText, dateText, &image, nSizeBytes);
}

bool CKomaSlateServerDlg::StillConnected(quint64 nSerial) const {
    return nSerial != 0 && m_link.ConnectionSerial() == nSerial;
}

void CKomaSlateServerDlg::OnDownload() {
    // The drawings of one command share resident buffers; then they go.
    const CReleaseKeptBuffersAtEnd releaseBuffers;
    const quint64 serial = m_link.ConnectionSerial();
    // The rows are taken now: a download changes nothing in the list, and a
    // lost connection, which empties it, ends the loop.
    const QList<int> rows = m_pFileList->SelectedRows();
    m_saveRest = CSaveRest();
    m_nDownloadCount = int(rows.size());
    for (qsizetype i = 0; i < rows.size() && StillConnected(serial); ++i) {
        CGetFileDlg download(this, m_link, *this, m_pFileList->RowRawName(rows[i]),
                             m_pFileList->RowSize(rows[i]));
        download.SetPosition(int(i + 1), int(rows.size()));
        if (download.exec() != CWaitDlg::kSucceeded)
            break;
    }
    m_saveRest = CSaveRest();
    m_nDownloadCount = 0;
}

bool CKomaSlateServerDlg::SaveDownloadedDocument(const CKSData& document, const QByteArray&,
                                                 const QString& defaultName) {
    if (m_saveRest.bActive) {
        const QString path = FreeFilePath(m_saveRest.strFolder, MakeSafeFileName(defaultName),
                                          m_saveRest.strExtension);
        CWaitCursor waitCursor;
        return ExportDocument(m_serializerList, document, path, m_saveRest.bTileLayers);
    }
    // The main window is the dialog's parent, so the dialog stays up for the
    // user to finish even when the progress window ends behind it.
    CKomaSlateServerFileDialog dialog(defaultName,
                                      m_serializerList.BuildFilter(false, CSerializer::CAP_EXPORT),
                                      m_strSettingsPath, this);
    if (m_nDownloadCount > 1)
        dialog.OfferSaveRest();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    const QString path = dialog.GetPathName();
    if (dialog.m_bSaveRest)
        m_saveRest = {true, QFileInfo(path).absolutePath(), ExtensionOf(path),
                      dialog.m_bTileLayers};
    CWaitCursor waitCursor;
    return ExportDocument(m_serializerList, document, path, dialog.m_bTileLayers);
}

IOverwriteChooser::Choice CKomaSlateServerDlg::ChooseOverwrite(const QString& name,
                                                               const QString& altName) {
    COverwriteDlg question(name, altName, this);
    switch (question.exec()) {
    case COverwriteDlg::IDYES:
        return OVERWRITE;
    case COverwriteDlg::IDC_SAVE_AS_ALT:
        return SAVE_AS_ALT;
    default:
        return CANCEL;
    }
}

void CKomaSlateServerDlg::OnUpload() {
    QFileDialog dialog(this);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    // The font of the program's other dialogs, the save dialog's among them.
    dialog.setFont(DialogFont());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilters(
        NameFiltersOf(m_serializerList.BuildFilter(true, CSerializer::CAP_IMPORT)));
    if (dialog.exec() != QDialog::Accepted)
        return;
    UploadFiles(dialog.selectedFiles());
}

void CKomaSlateServerDlg::OnDropFiles(const QStringList& paths) {
    if (!m_link.IsConnected())
        return;
    UploadFiles(paths);
}

void CKomaSlateServerDlg::UploadFiles(const QStringList& paths) {
    const CReleaseKeptBuffersAtEnd releaseBuffers;
    const quint64 serial = m_link.ConnectionSerial();
    bool anyAccepted = false;
    for (const QString& path : paths) {
        if (!StillConnected(serial))
            return; // a newer app has fetched its own list
        anyAccepted |= UploadFile(path);
    }
    if (anyAccepted && StillConnected(serial))
        RefreshFileList();
}

bool CKomaSlateServerDlg::UploadFile(const QString& path) {
    CKSData document;
    std::optional<QString> name;
    {
        // The wait cursor covers reading and checking the file; the
        // transaction window and its questions show the normal one.
        CWaitCursor waitCursor;
        name = PrepareUpload(path, m_nProtocolVersion, document,
                             [this](CKSData& target, const QString& file) {
                                 return ImportDocument(m_serializerList, target, file);
                             });
    }
    if (!name)
        return false;
    CSetFileDlg upload(this, m_link, *this, document, *name);
    return upload.exec() == CWaitDlg::kSucceeded;
}

void CKomaSlateServerDlg::OnDelete() {
    const quint64 serial = m_link.ConnectionSerial();
    while (StillConnected(serial)) {
        const QList<int> rows = m_pFileList->SelectedRows();
        if (rows.isEmpty())
            break;
        const int row = rows.first();
        const QByteArray rawName = m_pFileList->RowRawName(row);
        const bool yes = AskYesNo(
            FormatStringResource(IDS_DELETE_QUESTION, {ShortenedForDisplay(Utf8ToWide(rawName))}));
        // The connection may have gone while the question was open.
        if (!StillConnected(serial))
            break;
        if (!yes) {
            m_pFileList->selectionModel()->select(m_pFileList->model()->index(row, 0),
                                                  QItemSelectionModel::Deselect |
                                                      QItemSelectionModel::Rows);
            continue;
        }
        CDeleteFileDlg remove(this, m_link, rawName);
        if (remove.exec() != CWaitDlg::kSucceeded)
            break;
        m_pFileList->removeRow(row);
    }
    UpdateControls();
}

void CKomaSlateServerDlg::ShowAboutBox() {
    CAboutDlg about(this);
    about.exec();
}

void CKomaSlateServerDlg::contextMenuEvent(QContextMenuEvent* event) {
    // The about item, which a dialog window carries in its system menu.
    const QString aboutText = LoadStringResource(IDS_ABOUTBOX);
    if (aboutText.isEmpty())
        return;
    QMenu menu(this);
    const QAction* about = menu.addAction(aboutText);
    if (menu.exec(event->globalPos()) == about)
        ShowAboutBox();
}

void CKomaSlateServerDlg::keyPressEvent(QKeyEvent* event) {
    // Enter ends the window unless it presses the focused button.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && event->modifiers() == Qt::NoModifier &&
        !qobject_cast<QPushButton*>(focusWidget())) {
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void CKomaSlateServerDlg::dragEnterEvent(QDragEnterEvent* event) {
    // Only while an app is connected, so the pointer never promises a drop
    // that would be ignored.
    if (m_link.IsConnected() && !LocalFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void CKomaSlateServerDlg::dropEvent(QDropEvent* event) {
    const QStringList paths = LocalFiles(event->mimeData());
    if (paths.isEmpty() || !m_link.IsConnected())
        return;
    event->acceptProposedAction();
    // The uploads run their dialogs after the drop has ended, so the source
    // of the drag is not kept waiting.
    QMetaObject::invokeMethod(
        this, [this, paths] { OnDropFiles(paths); }, Qt::QueuedConnection);
}
