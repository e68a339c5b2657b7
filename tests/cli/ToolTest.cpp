#include "base/TextRoutines.h"
#include "model/KSData.h"
#include "support/KomFixtures.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun RunTool(const QStringList& args) {
    QProcess process;
    process.start(QStringLiteral(KS_TOOL_PATH), args);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput(), process.readAllStandardError()};
}

class ToolTest : public ::testing::Test {
protected:
    QString PathOf(const QString& name) const { return m_dir.filePath(name); }

    QString WriteDocument(const QString& name) {
        CKSData document;
        document.Create(3, 2);
        document.m_pLayers->AddNewLayer(3, 2, 1)->m_bVisible = 0;
        for (int i = 0; i < 6; ++i)
            document.m_pLayers->GetLayer(0)->m_pBits[size_t(i)] = quint8(i);
        document.m_strText = QStringLiteral(u"テスト");
        document.m_nTransparentIndex = 4;
        QFile file(PathOf(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        EXPECT_TRUE(document.Save(file, nullptr));
        return file.fileName();
    }

    static QByteArray ReadAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir m_dir;
};

} // namespace

TEST_F(ToolTest, InfoPrintsTheDocumentAsJson) {
    const ToolRun run = RunTool({"info", WriteDocument("a.ksd")});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject info = QJsonDocument::fromJson(run.out).object();
    EXPECT_EQ(info["format"].toString(), "ksd");
    EXPECT_EQ(info["width"].toInt(), 3);
    EXPECT_EQ(info["height"].toInt(), 2);
    EXPECT_EQ(info["transparentIndex"].toInt(), 4);
    EXPECT_EQ(info["text"].toString(), QStringLiteral(u"テスト"));
    EXPECT_EQ(info["value64"].toString(), "0000000000000000");
    EXPECT_EQ(info["value32"].toInt(), 31);
    EXPECT_EQ(info["flag1011"].toInt(), 0);
    EXPECT_EQ(info["layerDisplayMode"].toInt(), 0);
    EXPECT_EQ(info["backColorIndex"].toInt(), 0);

    const QJsonObject layers = info["layers"].toObject();
    EXPECT_EQ(layers["serial"].toInt(), 2);
    const QJsonArray layerItems = layers["items"].toArray();
    ASSERT_EQ(layerItems.size(), 2);
    EXPECT_EQ(layerItems[0]["name"].toString(), "Layer01");
    EXPECT_EQ(layerItems[0]["pixelsMd5"].toString(), MD5Hex(QByteArray("\0\1\2\3\4\5", 6)));
    EXPECT_EQ(layerItems[1]["visible"].toInt(), 0);
    EXPECT_EQ(layerItems[1]["id"].toInt(), 2);

    const QJsonArray palettes = info["palettes"].toObject()["items"].toArray();
    ASSERT_EQ(palettes.size(), 1);
    EXPECT_EQ(palettes[0]["name"].toString(), "Pal01");
    EXPECT_EQ(palettes[0]["count"].toInt(), 256);
    EXPECT_EQ(palettes[0]["colorsMd5"].toString(), MD5Hex(QByteArray(768, 0)));
    EXPECT_EQ(palettes[0]["extraMd5"].toString(), MD5Hex(QByteArray(1536, 0)));
    EXPECT_EQ(palettes[0]["kindsMd5"].toString(), MD5Hex(QByteArray(256, 0)));
}

TEST_F(ToolTest, InfoShowsNullForMissingArraysAndPixels) {
    // A document with a layer that has no pixels and no palette array.
    const QByteArray layer = QByteArray::fromHex("e9030400000002000000");
    const QByteArray element =
        QByteArray::fromHex("eb03") + QByteArray::fromHex("0a000000") + layer;
    const QByteArray layers =
        QByteArray::fromHex("eb03") + QByteArray::fromHex("10000000") + element;
    QByteArray bytes = QByteArray("KomaSlateData00") + QByteArray::fromHex("0000") +
                       QByteArray::fromHex("16000000") + layers;
    QFile file(PathOf("sparse.ksd"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    const ToolRun run = RunTool({"info", file.fileName()});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    const QJsonObject info = QJsonDocument::fromJson(run.out).object();
    EXPECT_TRUE(info["palettes"].isNull());
    const QJsonArray items = info["layers"].toObject()["items"].toArray();
    ASSERT_EQ(items.size(), 1);
    EXPECT_EQ(items[0]["width"].toInt(), 2);
    EXPECT_TRUE(items[0]["pixelsMd5"].isNull());
}

TEST_F(ToolTest, ConvertResavesByteForByte) {
    const QString in = WriteDocument("in.ksd");
    const QString out = PathOf("out.KSD");
    const ToolRun run = RunTool({"convert", in, out});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_EQ(ReadAll(out), ReadAll(in));
}

TEST_F(ToolTest, FailuresAndUsageHaveTheirExitCodes) {
    QFile junk(PathOf("junk.ksd"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a drawing at all");
    junk.close();
    ToolRun run = RunTool({"info", junk.fileName()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("not a KomaSlate device document")) << run.err.toStdString();

    // A document cut short fails with the file layer's text.
    const QByteArray whole = ReadAll(WriteDocument("whole.ksd"));
    QFile cut(PathOf("cut.ksd"));
    ASSERT_TRUE(cut.open(QIODevice::WriteOnly));
    cut.write(whole.left(whole.size() / 2));
    cut.close();
    run = RunTool({"info", cut.fileName()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.err.trimmed().isEmpty());
    EXPECT_TRUE(run.out.isEmpty());

    run = RunTool({"info", PathOf("missing.ksd")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.err.contains("missing.ksd"));

    run = RunTool({"convert", WriteDocument("x.ksd"), PathOf("x.bmp")});
    EXPECT_EQ(run.exitCode, 1);
    // The message of the window, and what the tool can write instead.
    EXPECT_EQ(QString::fromUtf8(run.err).trimmed(),
              QStringLiteral(u"このファイル形式には対応していません。\n"
                             u"Supported extensions: .ksd, .png, .kom"));
    EXPECT_FALSE(QFile::exists(PathOf("x.bmp")));

    // Usage errors: one line with the reason.
    for (const QStringList& args :
         {QStringList(), QStringList({"info"}), QStringList({"frobnicate", "a"}),
          QStringList({"convert", "a.ksd"}), QStringList({"convert", "a", "b", "--bogus"}),
          QStringList({"pull"}), QStringList({"pull", "d", "--format", "bmp"}),
          QStringList({"pull", "d", "--port", "70000"}),
          QStringList({"push", "a.png", "--overwrite", "--rename"}), QStringList({"push"})}) {
        run = RunTool(args);
        EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.startsWith("komaslate-tool: ")) << run.err.toStdString();
    }
    run = RunTool({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.contains("komaslate-tool info FILE"));
    EXPECT_TRUE(run.out.contains("komaslate-tool pull DIR"));
    EXPECT_TRUE(run.out.contains("komaslate-tool push FILE..."));
}

namespace {

// Writes a three-layer document whose layers differ, with layer 1 hidden.
QString WriteLayeredDocument(const QString& path) {
    CKSData document;
    document.Create(4, 2);
    document.m_pLayers->AddNewLayer(4, 2, 1)->m_bVisible = 0;
    document.m_pLayers->AddNewLayer(4, 2, 2);
    for (int layer = 0; layer < 3; ++layer) {
        quint8* bits = document.m_pLayers->GetLayer(layer)->m_pBits.get();
        for (int i = 0; i < 8; ++i)
            bits[i] = quint8(layer * 10 + i);
    }
    document.GetCurrentPalette()->m_pColors[3] = 200;
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_TRUE(document.Save(file, nullptr));
    return path;
}

QJsonObject Info(const QString& path) {
    const ToolRun run = RunTool({"info", path});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    return QJsonDocument::fromJson(run.out).object();
}

} // namespace

TEST_F(ToolTest, ConvertsBetweenDeviceDocumentsPngAndKom) {
    const QString ksd = WriteLayeredDocument(PathOf("layers.ksd"));
    ASSERT_EQ(RunTool({"convert", ksd, PathOf("layers.kom")}).exitCode, 0);
    ASSERT_EQ(RunTool({"convert", ksd, PathOf("flat.png")}).exitCode, 0);
    ASSERT_EQ(RunTool({"convert", ksd, PathOf("tiled.png"), "--tile-layers"}).exitCode, 0);

    const QJsonObject original = Info(ksd);
    const QJsonObject kom = Info(PathOf("layers.kom"));
    EXPECT_EQ(kom["format"].toString(), "kom");
    const QJsonArray komLayers = kom["layers"].toObject()["items"].toArray();
    ASSERT_EQ(komLayers.size(), 3);
    const QJsonArray originalLayers = original["layers"].toObject()["items"].toArray();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(komLayers[i]["pixelsMd5"], originalLayers[i]["pixelsMd5"]) << i;
        EXPECT_EQ(komLayers[i]["visible"], originalLayers[i]["visible"]) << i;
        EXPECT_EQ(komLayers[i]["name"], originalLayers[i]["name"]) << i;
    }

    // PNG keeps no layers: the shown layers are flattened into one.
    const QJsonObject flat = Info(PathOf("flat.png"));
    EXPECT_EQ(flat["format"].toString(), "png");
    EXPECT_EQ(flat["width"].toInt(), 4);
    EXPECT_EQ(flat["layers"].toObject()["items"].toArray().size(), 1);
    EXPECT_EQ(flat["palettes"].toObject()["items"].toArray()[0].toObject()["colorsMd5"],
              original["palettes"].toObject()["items"].toArray()[0].toObject()["colorsMd5"]);

    // Tiled: the three layers side by side in one layer.
    const QJsonObject tiled = Info(PathOf("tiled.png"));
    EXPECT_EQ(tiled["width"].toInt(), 12);
    EXPECT_EQ(tiled["height"].toInt(), 2);

    // Back to a device document from the KOM file: the layers survive.
    ASSERT_EQ(RunTool({"convert", PathOf("layers.kom"), PathOf("back.ksd")}).exitCode, 0);
    EXPECT_EQ(
        Info(PathOf("back.ksd"))["layers"].toObject()["items"].toArray()[2].toObject()["pixelsMd5"],
        originalLayers[2]["pixelsMd5"]);
}

TEST_F(ToolTest, RefusedImportsAndExportsWriteNothing) {
    QFile broken(PathOf("broken.png"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("\x89PNG\r\n\x1a\n garbage");
    broken.close();
    ToolRun run = RunTool({"info", broken.fileName()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(run.err.trimmed().isEmpty());

    // An RGB image has more than 256 colours: refused with the window's text.
    run = RunTool({"info", QStringLiteral(KS_TESTDATA_DIR "/pngsuite/basn2c08.png")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(QString::fromUtf8(run.err).contains(
        QStringLiteral(u"256色を超える色数の画像は読み込めません。")))
        << run.err.toStdString();

    run = RunTool({"convert", WriteLayeredDocument(PathOf("a.ksd")), PathOf("a.gif")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_FALSE(QFile::exists(PathOf("a.gif")));
}

TEST_F(ToolTest, InfoTellsTheTwoKomLayoutsApart) {
    const QString koma2 =
        WriteFile(m_dir, "new.kom",
                  Koma2File(Koma2Drawing(Koma2Page(2, 2, {Koma2Layer("abcd", "ink")})).Bytes()));
    const QJsonObject info = Info(koma2);
    EXPECT_EQ(info["format"].toString(), "koma2");
    const QJsonArray layers = info["layers"].toObject()["items"].toArray();
    ASSERT_EQ(layers.size(), 1);
    EXPECT_EQ(layers[0].toObject()["name"].toString(), "ink");
    EXPECT_EQ(layers[0].toObject()["pixelsMd5"].toString(), MD5Hex(QByteArray("abcd")));

    const QString kom = PathOf("old.kom");
    ASSERT_EQ(RunTool({"convert", koma2, kom}).exitCode, 0);
    EXPECT_EQ(Info(kom)["format"].toString(), "kom");
    EXPECT_EQ(Info(kom)["layers"], info["layers"]);
}
