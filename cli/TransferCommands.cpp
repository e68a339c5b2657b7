#include "cli/TransferCommands.h"

#include "base/FileNameText.h"
#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "base/TextRoutines.h"
#include "cli/DeviceSession.h"
#include "cli/DocumentFiles.h"
#include "cli/ProgressLine.h"
#include "convert/SerializerList.h"
#include "link/GetFileTransaction.h"
#include "link/SetFileTransaction.h"
#include "link/UploadRules.h"
#include "model/KSData.h"

#include <QDir>

#include <cstdio>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;

// Saves each downloaded drawing into the folder under its safe name.
class CFolderTarget : public IDownloadTarget {
public:
    explicit CFolderTarget(const CPullOptions& options) : m_options(options) {}

    bool SaveDownloadedDocument(const CKSData& document, const QByteArray& bytes,
                                const QString& defaultName) override {
        const QString baseName = MakeSafeFileName(defaultName);
        const QString extension = u'.' + m_options.strFormat;
        m_strPath = m_options.bOverwrite ? QDir(m_options.strFolder).filePath(baseName + extension)
                                         : FreeFilePath(m_options.strFolder, baseName, extension);
        if (m_options.strFormat == u"ksd")
            return DocumentFiles::WriteBytes(m_strPath, bytes);
        return ExportDocument(DocumentFiles::Serializers(), document, m_strPath,
                              m_options.bTileLayers);
    }

    const QString& SavedPath() const { return m_strPath; }

private:
    const CPullOptions& m_options;
    QString m_strPath;
};

// Answers the question about an existing name from the command line.
class CFlagChooser : public IOverwriteChooser {
public:
    explicit CFlagChooser(const CPushOptions& options) : m_options(options) {}

    Choice ChooseOverwrite(const QString& name, const QString& altName) override {
        if (m_options.bOverwrite)
            return OVERWRITE;
        if (m_options.bRename)
            return SAVE_AS_ALT;
        ShowMessage(FormatStringResource(IDS_TOOL_SKIPPED, {name, altName}));
        m_bSkipped = true;
        return CANCEL;
    }

    bool TakeSkipped() { return std::exchange(m_bSkipped, false); }

private:
    const CPushOptions& m_options;
    bool m_bSkipped = false;
};

// Listens, waits for the app and checks its version.
bool Connect(CDeviceSession& session) {
    return session.Listen() && session.WaitForApp();
}

} // namespace

int RunPull(const CPullOptions& options) {
    if (!QDir().mkpath(options.strFolder)) {
        ShowMessage(FormatStringResource(IDS_OPEN_FAILURE, {options.strFolder, QString()}));
        return kExitFailure;
    }
    CDeviceSession session(options.nPort);
    if (!Connect(session))
        return kExitFailure;
    const std::optional<QList<CDeviceSession::CListedFile>> files = session.ListFiles();
    if (!files)
        return kExitFailure;

    CFolderTarget target(options);
    CProgressLine progress;
    const int count = int(files->size());
    int saved = 0;
    for (int i = 0; i < count; ++i) {
        const CDeviceSession::CListedFile& file = files->at(i);
        const QString name = Utf8ToWide(file.m_rawName);
        progress.Begin(i + 1, count, name);
        CGetFileTransaction download(session.Link(), target, file.m_rawName, file.m_nSizeBytes);
        if (session.Run(download, &progress) == CTransaction::kSucceeded) {
            ++saved;
            progress.Finish(FormatStringResource(
                IDS_TOOL_SAVED,
                {i + 1, count, name, QDir::toNativeSeparators(target.SavedPath())}));
        } else {
            progress.Finish(FormatStringResource(IDS_TOOL_NOT_SAVED, {name}));
        }
    }
    ShowMessage(FormatStringResource(IDS_TOOL_PULL_SUMMARY, {saved, count}));
    return saved == count ? kExitOk : kExitFailure;
}

int RunPush(const CPushOptions& options) {
    CDeviceSession session(options.nPort);
    if (!Connect(session))
        return kExitFailure;
    CFlagChooser chooser(options);
    bool allDone = true;
    for (const QString& path : options.files) {
        CKSData document;
        const std::optional<QString> name = PrepareUpload(
            path, session.ProtocolVersion(), document, [](CKSData& target, const QString& file) {
                // Device documents (a pull's .ksd backups) too.
                QString format;
                return DocumentFiles::Read(file, target, format);
            });
        if (!name) {
            ShowMessage(FormatStringResource(IDS_TOOL_NOT_UPLOADED, {path}));
            allDone = false;
            continue;
        }
        CSetFileTransaction upload(session.Link(), chooser, document, *name);
        if (session.Run(upload) == CTransaction::kSucceeded) {
            ShowMessage(FormatStringResource(IDS_TOOL_UPLOADED, {path, upload.ChosenName()}));
        } else if (!chooser.TakeSkipped()) {
            ShowMessage(FormatStringResource(IDS_TOOL_NOT_UPLOADED, {path}));
            allDone = false;
        }
    }
    const std::optional<QList<CDeviceSession::CListedFile>> files = session.ListFiles();
    if (!files)
        return kExitFailure;
    for (const CDeviceSession::CListedFile& file : *files) {
        const QByteArray line = file.m_rawName + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stdout);
    }
    return allDone ? kExitOk : kExitFailure;
}
