// komaslate-tool: inspects and converts KomaSlate drawings on the desktop,
// with the same code the utility window uses.
#include "cli/DocumentFiles.h"
#include "cli/DocumentJson.h"
#include "model/KSData.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QStringList>

#include <cstdio>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] = "Usage:\n"
                      "  komaslate-tool info FILE\n"
                      "      Prints the drawing in FILE as one JSON object.\n"
                      "  komaslate-tool convert IN OUT [--tile-layers]\n"
                      "      Reads IN and writes OUT; the file types follow the extensions.\n"
                      "      --tile-layers lays all layers side by side in one layer.\n"
                      "  komaslate-tool --help\n"
                      "\n"
                      "File types: .ksd (device document, the bytes the app exchanges).\n"
                      "Exit status: 0 success, 1 failure (the reason on stderr), 2 usage error.\n";

int UsageError() {
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

int RunInfo(const QString& path) {
    CKSData document;
    QString format;
    if (!DocumentFiles::Read(path, document, format))
        return kExitFailure;
    const QByteArray json = QJsonDocument(DescribeDocument(document, format)).toJson();
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return kExitOk;
}

int RunConvert(const QString& in, const QString& out, bool tileLayers) {
    CKSData document;
    QString format;
    if (!DocumentFiles::Read(in, document, format))
        return kExitFailure;
    return DocumentFiles::Write(document, out, tileLayers) ? kExitOk : kExitFailure;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);

    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (args.isEmpty())
        return UsageError();

    const QString command = args.takeFirst();
    if (command == u"info" && args.size() == 1)
        return RunInfo(args[0]);
    if (command == u"convert") {
        const bool tileLayers = args.removeAll(QStringLiteral("--tile-layers")) > 0;
        if (args.size() == 2)
            return RunConvert(args[0], args[1], tileLayers);
    }
    return UsageError();
}
