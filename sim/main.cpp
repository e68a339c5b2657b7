// komaslate-devicesim: stands in for the KomaSlate app. Connects to the
// utility and answers its requests from a folder of drawings, optionally
// misbehaving in one of several ways to try the utility against a faulty app.
#include "base/LargeBuffers.h"
#include "base/MessageFormat.h"
#include "base/MessageSink.h"
#include "base/StringTable.h"
#include "sim/AppClient.h"
#include "sim/DeviceStore.h"
#include "sim/FaultStrategy.h"
#include "sim/RequestHandler.h"
#include "sim/SampleDrawings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QStandardPaths>

#include <cstdio>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int UsageError(const QString& text) {
    ShowMessage(text);
    return kExitUsage;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    KeepLargeBuffersResident();
    QCoreApplication::setApplicationName(QStringLiteral("komaslate-devicesim"));
    const QString defaultStore =
        QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
                                 QStringLiteral("/drawings"));
    const QString modes = FaultModeNames().join(QStringLiteral(", "));

    QCommandLineParser parser;
    parser.setApplicationDescription(LoadStringResource(IDS_SIM_DESCRIPTION));
    parser.addHelpOption();
    const QCommandLineOption host(QStringLiteral("host"), LoadStringResource(IDS_SIM_OPTION_HOST),
                                  QStringLiteral("H"), QStringLiteral("127.0.0.1"));
    const QCommandLineOption port(QStringLiteral("port"), LoadStringResource(IDS_SIM_OPTION_PORT),
                                  QStringLiteral("P"), QStringLiteral("3210"));
    const QCommandLineOption protocol(QStringLiteral("protocol-version"),
                                      LoadStringResource(IDS_SIM_OPTION_PROTOCOL),
                                      QStringLiteral("N"), QStringLiteral("4"));
    const QCommandLineOption store(QStringLiteral("store"),
                                   FormatStringResource(IDS_SIM_OPTION_STORE, {defaultStore}),
                                   QStringLiteral("DIR"), defaultStore);
    const QCommandLineOption samples(QStringLiteral("samples"),
                                     LoadStringResource(IDS_SIM_OPTION_SAMPLES));
    const QCommandLineOption once(QStringLiteral("once"), LoadStringResource(IDS_SIM_OPTION_ONCE));
    const QCommandLineOption quiet(QStringLiteral("quiet"),
                                   LoadStringResource(IDS_SIM_OPTION_QUIET));
    const QCommandLineOption fault(QStringLiteral("fault"),
                                   FormatStringResource(IDS_SIM_OPTION_FAULT, {modes}),
                                   QStringLiteral("MODE"));
    parser.addOptions({host, port, protocol, store, samples, once, quiet, fault});
    if (!parser.parse(app.arguments()))
        return UsageError(parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(kExitOk);
    if (!parser.positionalArguments().isEmpty())
        return UsageError(parser.helpText());

    CAppClient::COptions options;
    options.m_strHost = parser.value(host);
    bool valid = false;
    const uint portNumber = parser.value(port).toUInt(&valid);
    if (!valid || portNumber < 1 || portNumber > 65535)
        return UsageError(FormatStringResource(IDS_SIM_BAD_PORT, {parser.value(port)}));
    options.m_nPort = quint16(portNumber);
    const int protocolVersion = parser.value(protocol).toInt(&valid);
    if (!valid)
        return UsageError(FormatStringResource(IDS_SIM_BAD_PROTOCOL, {parser.value(protocol)}));
    const std::unique_ptr<CFaultStrategy> strategy = MakeFaultStrategy(parser.value(fault));
    if (!strategy)
        return UsageError(FormatStringResource(IDS_SIM_BAD_FAULT, {parser.value(fault), modes}));
    options.m_bOnce = parser.isSet(once);

    const bool beQuiet = parser.isSet(quiet);
    const auto log = [beQuiet](const QString& text) {
        if (!beQuiet)
            std::fprintf(stderr, "%s\n", text.toUtf8().constData());
    };

    const CDeviceStore drawings(parser.value(store));
    if (!drawings.Prepare()) {
        ShowMessage(FormatStringResource(IDS_SIM_STORE_FAILED, {drawings.Folder()}));
        return kExitFailure;
    }
    if (parser.isSet(samples)) {
        if (!drawings.List().isEmpty()) {
            log(QStringLiteral("the store holds drawings already; no samples added"));
        } else if (!AddSampleDrawings(drawings)) {
            ShowMessage(FormatStringResource(IDS_SIM_SAMPLES_FAILED, {drawings.Folder()}));
            return kExitFailure;
        }
    }
    log(QStringLiteral("serving %1 drawings from %2, protocol version %3, fault %4")
            .arg(drawings.List().size())
            .arg(drawings.Folder())
            .arg(protocolVersion)
            .arg(parser.isSet(fault) ? parser.value(fault) : QStringLiteral("none")));

    const CRequestHandler handler(drawings, protocolVersion);
    CAppClient client(handler, *strategy, options, log);
    QObject::connect(&client, &CAppClient::Finished, &app, &QCoreApplication::quit);
    client.Start();
    return app.exec();
}
