#include "EndToEndSupport.h"

#include "mainwnd/WindowTestSupport.h"
#include "support/TestSupport.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTcpServer>

#include <gtest/gtest.h>

#include <algorithm>

CChildProcess::CChildProcess(const QString& program, const QStringList& arguments) {
    m_process.start(program, arguments);
    EXPECT_TRUE(m_process.waitForStarted(20000)) << program.toStdString();
}

CChildProcess::~CChildProcess() {
    Kill();
}

bool CChildProcess::WaitFinished(int limitMs) {
    return WaitUntil([this] { return !IsRunning(); }, limitMs);
}

int CChildProcess::ExitCode() const {
    if (IsRunning() || m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

QByteArray CChildProcess::Out() {
    m_out += m_process.readAllStandardOutput();
    return m_out;
}

QByteArray CChildProcess::Err() {
    m_err += m_process.readAllStandardError();
    return m_err;
}

void CChildProcess::Kill() {
    if (!IsRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(20000);
}

std::unique_ptr<CChildProcess> StartSimulator(quint16 port, const QString& store,
                                              const QStringList& extra) {
    return std::make_unique<CChildProcess>(
        QStringLiteral(KS_DEVICESIM_PATH),
        QStringList({"--host", "127.0.0.1", "--port", QString::number(port), "--store", store}) +
            extra);
}

quint16 FreePort() {
    QTcpServer server;
    EXPECT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    return server.serverPort();
}

QMap<QString, QByteArray> StoreFiles(const QString& store) {
    QMap<QString, QByteArray> files;
    const QDir folder(store);
    for (const QString& name : folder.entryList({QStringLiteral("*.ksd")}, QDir::Files)) {
        QFile file(folder.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        files.insert(name.chopped(4), file.readAll());
    }
    return files;
}

void PutDrawing(const QString& store, const QString& name, const CKSData& document) {
    ASSERT_TRUE(QDir().mkpath(store));
    QFile file(QDir(store).filePath(name + QStringLiteral(".ksd")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(Bytes(document));
}

CKSData PlainDrawing(int width, int height) {
    CKSData document;
    document.Create(width, height);
    std::fill_n(document.GetCurrentLayer()->m_pBits.get(), width * height, quint8(3));
    return document;
}

CKSData Document(const QByteArray& bytes) {
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    CKSData document;
    QString error;
    EXPECT_TRUE(document.Load(buffer, &error)) << error.toStdString();
    return document;
}
