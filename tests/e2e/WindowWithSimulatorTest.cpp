// The window against the simulator as a separate process: what the user
// does with the app's drawings reaches the simulator's store and back.
#include "SimulatorWindowTest.h"

#include "base/FileNameText.h"
#include "support/KomFixtures.h"

#include <QFile>

namespace {

// Whether the two documents have the same size and layers, pixel for pixel.
void ExpectSameLayers(const CKSData& actual, const CKSData& expected) {
    ASSERT_EQ(actual.m_nWidth, expected.m_nWidth);
    ASSERT_EQ(actual.m_nHeight, expected.m_nHeight);
    ASSERT_EQ(actual.GetLayerCount(), expected.GetLayerCount());
    const qsizetype pixels = qsizetype(expected.m_nWidth) * expected.m_nHeight;
    for (int i = 0; i < expected.GetLayerCount(); ++i) {
        const auto* a = reinterpret_cast<const char*>(actual.m_pLayers->GetLayer(i)->m_pBits.get());
        const auto* e =
            reinterpret_cast<const char*>(expected.m_pLayers->GetLayer(i)->m_pBits.get());
        EXPECT_EQ(QByteArray(a, pixels), QByteArray(e, pixels)) << "layer " << i;
    }
}

} // namespace

TEST_F(SimulatorWindowTest, DownloadsUploadsAndDeletesThroughTheSimulatorsStore) {
    const QString store = WorkPath("store");
    auto sim = StartSim(store, {"--samples"});
    ASSERT_TRUE(WaitUntil([&] { return IsIdleWithRows(); })) << sim->Err().toStdString();
    const QMap<QString, QByteArray> samples = StoreFiles(store);
    ASSERT_GE(samples.size(), 2);
    EXPECT_TRUE(WaitForList(samples.keys()));
    for (int row = 0; row < Window().FileList()->rowCount(); ++row)
        EXPECT_FALSE(Window().FileList()->RowPicture(row).isNull()) << row;

    // Every drawing as PNG, one dialog each, then as KOM with the rest
    // saved alike after the first dialog.
    const QString pngFolder = WorkPath("png");
    const QString komFolder = WorkPath("kom");
    ASSERT_TRUE(QDir().mkpath(pngFolder) && QDir().mkpath(komFolder));
    int pngDialogs = 0;
    int komDialogs = 0;
    SelectNames(samples.keys());
    {
        auto answer = AnswerSaves(pngFolder, "png", false, pngDialogs);
        Window().DownloadButton()->click();
    }
    SelectNames(samples.keys());
    {
        auto answer = AnswerSaves(komFolder, "kom", true, komDialogs);
        Window().DownloadButton()->click();
    }
    EXPECT_EQ(pngDialogs, samples.size());
    EXPECT_EQ(komDialogs, 1);
    const QString expectedFolder = WorkPath("expected");
    ASSERT_TRUE(QDir().mkpath(expectedFolder));
    for (auto it = samples.cbegin(); it != samples.cend(); ++it) {
        SCOPED_TRACE(it.key().toStdString());
        const CKSData stored = Document(it.value());
        const QString fileName = MakeSafeFileName(it.key());
        // The files are what the convert code writes from the stored document.
        for (const QString& type : {QStringLiteral("png"), QStringLiteral("kom")}) {
            const QString expected = QDir(expectedFolder).filePath(fileName + u'.' + type);
            ASSERT_TRUE(ExportDocument(m_registry, stored, expected, false));
            EXPECT_EQ(ReadFile(QDir(WorkPath(type)).filePath(fileName + u'.' + type)),
                      ReadFile(expected))
                << type.toStdString();
        }
        // And they read back as the drawing: PNG flattened into one layer,
        // KOM with every layer.
        CKSData fromPng;
        ASSERT_TRUE(
            ImportDocument(m_registry, fromPng, QDir(pngFolder).filePath(fileName + ".png")));
        EXPECT_EQ(fromPng.m_nWidth, stored.m_nWidth);
        EXPECT_EQ(fromPng.m_nHeight, stored.m_nHeight);
        EXPECT_EQ(fromPng.GetLayerCount(), 1);
        CKSData fromKom;
        ASSERT_TRUE(
            ImportDocument(m_registry, fromKom, QDir(komFolder).filePath(fileName + ".kom")));
        ExpectSameLayers(fromKom, stored);
    }

    // A PNG, a KOM and a KOMA2 file uploaded: each lands in the store as the
    // document the import reads, and the refreshed list shows it.
    const QString upFolder = WorkPath("up");
    ASSERT_TRUE(QDir().mkpath(upFolder));
    const QString png = QDir(upFolder).filePath("e2e-png.png");
    const QString kom = QDir(upFolder).filePath("e2e-kom.kom");
    const QString koma2 = QDir(upFolder).filePath("e2e-koma2.kom");
    ASSERT_TRUE(ExportDocument(m_registry, Drawing(12, 9, 3), png, false));
    ASSERT_TRUE(ExportDocument(m_registry, Drawing(10, 6, 4), kom, false));
    QFile koma2File(koma2);
    ASSERT_TRUE(koma2File.open(QIODevice::WriteOnly));
    koma2File.write(Koma2File(Koma2Drawing(Koma2Page(6, 4,
                                                     {Koma2Layer(DrawingPixels(24, 1), "ink"),
                                                      Koma2Layer(DrawingPixels(24, 2), "paper")}))
                                  .Bytes()));
    koma2File.close();
    Window().OnDropFiles({png, kom, koma2});
    QMap<QString, QByteArray> files = StoreFiles(store);
    for (const QString& path : {png, kom, koma2}) {
        SCOPED_TRACE(path.toStdString());
        CKSData imported;
        ASSERT_TRUE(ImportDocument(m_registry, imported, path));
        EXPECT_EQ(files.value(QFileInfo(path).completeBaseName()), Bytes(imported));
    }
    EXPECT_EQ(files.size(), samples.size() + 3);
    QStringList names = Names();
    names.sort();
    EXPECT_EQ(names, files.keys());

    // Delete one after answering Yes.
    SelectNames({"e2e-kom"});
    m_boxes.questionAnswers = {QMessageBox::Yes};
    Window().DeleteButton()->click();
    EXPECT_EQ(m_boxes.texts,
              QStringList({Message(IDS_DELETE_QUESTION, {QStringLiteral("e2e-kom")})}));
    files.remove("e2e-kom");
    EXPECT_EQ(StoreFiles(store), files);
    names = Names();
    names.sort();
    EXPECT_EQ(names, files.keys());
    EXPECT_EQ(States(), kConnected);
    EXPECT_TRUE(sim->IsRunning());
}

TEST_F(SimulatorWindowTest, ASimulatorOfANewerProtocolIsRefusedAndDisconnected) {
    auto sim = StartSim(WorkPath("store"), {"--samples", "--once", "--protocol-version", "5"});
    // With --once the simulator ends when its connection has been closed.
    ASSERT_TRUE(sim->WaitFinished());
    EXPECT_EQ(sim->ExitCode(), 0) << sim->Err().toStdString();
    EXPECT_EQ(m_boxes.texts, QStringList({Message(IDS_VERSION_TOO_NEW)}));
    EXPECT_EQ(LogLines(Window()).mid(3), QStringList({Message(IDS_CONNECTION_ACCEPTED).trimmed(),
                                                      Message(IDS_DISCONNECTED).trimmed()}));
    EXPECT_EQ(States(), kAllDisabled);
    // The list was never asked for.
    const QString log = QString::fromUtf8(sim->Err());
    EXPECT_TRUE(log.contains(QStringLiteral("GetProtVer -> ok (version 5)"))) << log.toStdString();
    EXPECT_FALSE(log.contains(QStringLiteral("GetFileList"))) << log.toStdString();
}
