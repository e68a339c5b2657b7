// komaslate-tool: inspects and converts KomaSlate drawings on the desktop, and
// backs them up from the app or sends files to it without a window, with the
// same code the utility window uses.
#include "base/LargeBuffers.h"
#include "cli/DocumentFiles.h"
#include "cli/DocumentJson.h"
#include "cli/TransferCommands.h"
#include "model/KSData.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QJsonDocument>
#include <QStringList>

#include <cstdio>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

const char kUsage[] =
    "Usage:\n"
    "  komaslate-tool info FILE\n"
    "      Prints the drawing in FILE as one JSON object.\n"
    "  komaslate-tool convert IN OUT [--tile-layers]\n"
    "      Reads IN and writes OUT; the file types follow the extensions.\n"
    "      --tile-layers lays all layers side by side in one layer.\n"
    "  komaslate-tool pull DIR [--format png|kom|ksd] [--tile-layers] [--overwrite] [--port P]\n"
    "      Waits for the app, then saves every drawing in it into DIR as <name>.<format>\n"
    "      (png by default; ksd keeps the document bytes as received). Existing files\n"
    "      are kept and a numbered name is chosen, unless --overwrite.\n"
    "  komaslate-tool push FILE... [--overwrite | --rename] [--port P]\n"
    "      Waits for the app, then uploads the PNG, KOM and KSD files with the checks of the\n"
    "      window's upload. A name the app already holds is skipped, unless --overwrite\n"
    "      (replace it) or --rename (upload under the name the app proposes). Then prints\n"
    "      the app's drawings, one name a line.\n"
    "  komaslate-tool --help\n"
    "\n"
    "pull and push listen on port 3210 (or --port) like the utility's window and print\n"
    "the address and port to type into the app; progress goes to stderr.\n"
    "File types: .ksd (device document, the bytes the app exchanges), .png (8-bit\n"
    "palette image), .kom (layered KOM file; KOMA2 files with the same extension\n"
    "are read, and KOM files are written in the older layout).\n"
    "Exit status: 0 success, 1 failure (the reason on stderr), 2 usage error.\n";

int UsageError(const QString& reason) {
    std::fprintf(stderr, "komaslate-tool: %s\n", qPrintable(reason));
    std::fputs("Try 'komaslate-tool --help'.\n", stderr);
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

// The options of one command; parsing stops with a usage error on an
// unknown option or a wrong number of arguments.
class CCommandLine {
public:
    explicit CCommandLine(const QStringList& arguments) : m_arguments(arguments) {
        m_parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    }

    void AddFlag(const QString& name) { m_parser.addOption(QCommandLineOption(name)); }
    void AddValue(const QString& name) {
        m_parser.addOption(QCommandLineOption(name, QString(), name));
    }

    // Parses; with the number of arguments after the command at least
    // `minArguments` and at most `maxArguments` (-1: any).
    bool Parse(int minArguments, int maxArguments, QString& error) {
        if (!m_parser.parse(m_arguments)) {
            error = m_parser.errorText();
            return false;
        }
        const qsizetype count = Arguments().size();
        if (count < minArguments || (maxArguments >= 0 && count > maxArguments)) {
            error = count < minArguments ? QStringLiteral("missing arguments")
                                         : QStringLiteral("too many arguments");
            return false;
        }
        return true;
    }

    // The positional arguments after the command.
    QStringList Arguments() const { return m_parser.positionalArguments().mid(1); }
    bool IsSet(const QString& name) const { return m_parser.isSet(name); }
    QString Value(const QString& name) const { return m_parser.value(name); }

private:
    QStringList m_arguments;
    QCommandLineParser m_parser;
};

// The --port value, or 3210.
bool ReadPort(const CCommandLine& line, quint16& port, QString& error) {
    if (!line.IsSet(QStringLiteral("port")))
        return true;
    bool ok = false;
    const uint value = line.Value(QStringLiteral("port")).toUInt(&ok);
    if (!ok || value > 65535) {
        error = QStringLiteral("--port takes a number from 0 to 65535");
        return false;
    }
    port = quint16(value);
    return true;
}

int RunCommand(const QString& command, const QStringList& arguments) {
    CCommandLine line(arguments);
    QString error;
    if (command == u"info") {
        if (!line.Parse(1, 1, error))
            return UsageError(error);
        return RunInfo(line.Arguments()[0]);
    }
    if (command == u"convert") {
        line.AddFlag(QStringLiteral("tile-layers"));
        if (!line.Parse(2, 2, error))
            return UsageError(error);
        return RunConvert(line.Arguments()[0], line.Arguments()[1],
                          line.IsSet(QStringLiteral("tile-layers")));
    }
    if (command == u"pull") {
        line.AddValue(QStringLiteral("format"));
        line.AddValue(QStringLiteral("port"));
        line.AddFlag(QStringLiteral("tile-layers"));
        line.AddFlag(QStringLiteral("overwrite"));
        CPullOptions options;
        if (!line.Parse(1, 1, error) || !ReadPort(line, options.nPort, error))
            return UsageError(error);
        if (line.IsSet(QStringLiteral("format")))
            options.strFormat = line.Value(QStringLiteral("format")).toLower();
        if (!QStringList({"png", "kom", "ksd"}).contains(options.strFormat))
            return UsageError(QStringLiteral("--format takes png, kom or ksd"));
        options.strFolder = line.Arguments()[0];
        options.bTileLayers = line.IsSet(QStringLiteral("tile-layers"));
        options.bOverwrite = line.IsSet(QStringLiteral("overwrite"));
        return RunPull(options);
    }
    if (command == u"push") {
        line.AddValue(QStringLiteral("port"));
        line.AddFlag(QStringLiteral("overwrite"));
        line.AddFlag(QStringLiteral("rename"));
        CPushOptions options;
        if (!line.Parse(1, -1, error) || !ReadPort(line, options.nPort, error))
            return UsageError(error);
        options.bOverwrite = line.IsSet(QStringLiteral("overwrite"));
        options.bRename = line.IsSet(QStringLiteral("rename"));
        if (options.bOverwrite && options.bRename)
            return UsageError(QStringLiteral("--overwrite and --rename exclude each other"));
        options.files = line.Arguments();
        return RunPush(options);
    }
    return UsageError(QStringLiteral("unknown command '%1'").arg(command));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    KeepLargeBuffersResident();
    const QStringList arguments = app.arguments();
    if (arguments.contains(QStringLiteral("--help")) || arguments.contains(QStringLiteral("-h"))) {
        std::fputs(kUsage, stdout);
        return kExitOk;
    }
    if (arguments.size() < 2)
        return UsageError(QStringLiteral("missing command"));
    return RunCommand(arguments[1], arguments);
}
