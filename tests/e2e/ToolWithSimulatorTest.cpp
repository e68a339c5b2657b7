// komaslate-tool against the simulator, both as processes of their own:
// backing up the app's drawings and sending files back.
#include "EndToEndSupport.h"

#include "mainwnd/WindowTestSupport.h"

#include "base/MessageFormat.h"
#include "base/StringTable.h"
#include "convert/SerializerList.h"
#include "link/LocalAddress.h"
#include "support/KomFixtures.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct CToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    int simExitCode = -1;
    QByteArray simLog;
};

// Runs the tool with `arguments` on a free port and, once it listens, a
// simulator serving `store` for one connection.
CToolRun RunWithSimulator(const QStringList& arguments, const QString& store,
                          const QStringList& simOptions = {}) {
    const quint16 port = FreePort();
    CChildProcess tool(QStringLiteral(KS_TOOL_PATH),
                       arguments + QStringList({"--port", QString::number(port)}));
    const QString listening = Message(IDS_CONNECT_INSTRUCTIONS, {GetLocalAddress(), int(port)});
    EXPECT_TRUE(WaitUntil(
        [&] { return QString::fromUtf8(tool.Err()).contains(listening) || !tool.IsRunning(); }));
    auto sim = StartSimulator(port, store, QStringList({"--once"}) + simOptions);
    EXPECT_TRUE(tool.WaitFinished(60000));
    EXPECT_TRUE(sim->WaitFinished());
    return {tool.ExitCode(), tool.Out(), tool.Err(), sim->ExitCode(), sim->Err()};
}

QStringList FilesIn(const QString& folder, const QString& pattern) {
    QStringList names = QDir(folder).entryList({pattern}, QDir::Files);
    names.sort();
    return names;
}

} // namespace

TEST(ToolWithSimulator, PullsAndPushesTheSimulatorsDrawings) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString store = dir.filePath("store");
    const QString backup = dir.filePath("backup");

    // A backup as device documents holds the stored bytes.
    CToolRun run = RunWithSimulator({"pull", backup, "--format", "ksd"}, store, {"--samples"});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.simExitCode, 0) << run.simLog.toStdString();
    const QMap<QString, QByteArray> stored = StoreFiles(store);
    ASSERT_GE(stored.size(), 2);
    EXPECT_EQ(StoreFiles(backup), stored);

    // Pushed back over the drawings, the backup leaves the store as it was.
    QStringList ksdFiles;
    for (const QString& name : FilesIn(backup, "*.ksd"))
        ksdFiles.append(QDir(backup).filePath(name));
    run = RunWithSimulator(QStringList({"push"}) + ksdFiles + QStringList({"--overwrite"}), store);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.simLog.count("SetFile"), stored.size()) << run.simLog.toStdString();
    EXPECT_EQ(StoreFiles(store), stored);

    // KOM files pulled and pushed back over the drawings: each is replaced
    // by the document the import reads from its KOM file, which keeps all
    // a KOM file holds (the same KOM export). The document's text and
    // background colour have no place in a KOM file and are not compared.
    const QString kom = dir.filePath("kom");
    run = RunWithSimulator({"pull", kom, "--format", "kom"}, store);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QStringList komFiles;
    for (const QString& name : FilesIn(kom, "*.kom"))
        komFiles.append(QDir(kom).filePath(name));
    ASSERT_EQ(komFiles.size(), stored.size());
    run = RunWithSimulator(QStringList({"push"}) + komFiles + QStringList({"--overwrite"}), store);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(run.simExitCode, 0) << run.simLog.toStdString();
    // The tool prints the app's drawings after the uploads.
    EXPECT_EQ(QString::fromUtf8(run.out).split(u'\n', Qt::SkipEmptyParts), stored.keys());
    CSerializerList registry;
    registry.AddStandardSerializers();
    const QMap<QString, QByteArray> replaced = StoreFiles(store);
    ASSERT_EQ(replaced.keys(), stored.keys());
    for (const QString& name : stored.keys()) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_EQ(run.simLog.count(("SetFile " + name + " -> ok").toUtf8()), 1);
        CKSData imported;
        ASSERT_TRUE(ImportDocument(registry, imported, QDir(kom).filePath(name + ".kom")));
        EXPECT_EQ(replaced[name], Bytes(imported));
        const QString before = dir.filePath("before.kom");
        const QString after = dir.filePath("after.kom");
        ASSERT_TRUE(ExportDocument(registry, Document(stored[name]), before, false));
        ASSERT_TRUE(ExportDocument(registry, Document(replaced[name]), after, false));
        EXPECT_EQ(ReadFile(before), ReadFile(after));
    }

    // Without a flag, a name the app holds is skipped: the tool says so,
    // uploads nothing and succeeds.
    const QString name = stored.firstKey();
    const QString other = dir.filePath(name + ".png");
    ASSERT_TRUE(ExportDocument(registry, Drawing(7, 5, 1), other, false));
    run = RunWithSimulator({"push", other}, store);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(QString::fromUtf8(run.err).contains(
        Shown(FormatStringResource(IDS_TOOL_SKIPPED, {name, name + "_2"}))))
        << run.err.toStdString();
    EXPECT_FALSE(run.simLog.contains("SetFile")) << run.simLog.toStdString();
    EXPECT_EQ(StoreFiles(store), replaced);

    // A second backup into the same folder takes numbered names and leaves
    // the first as it was.
    run = RunWithSimulator({"pull", backup, "--format", "ksd"}, store);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    QMap<QString, QByteArray> expected = stored;
    for (const QString& key : replaced.keys())
        expected.insert(key + "_2", replaced[key]);
    EXPECT_EQ(StoreFiles(backup), expected);
}
