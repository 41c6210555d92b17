// `tavloctl serve`: holds the matrix's port and serves it to many clients at once, raw and as
// JSON, until interrupted. SIGHUP reads the token file again.
#include "CliFailure.h"
#include "CommandRunner.h"
#include "InterruptWatcher.h"
#include "ListenAddress.h"
#include "MatrixCommands.h"
#include "MatrixServer.h"
#include "MatrixSession.h"
#include "MqttBrokerQuery.h"
#include "MqttCliOptions.h"
#include "MySerialPortComm.h"
#include "RemoteAccess.h"
#include "ServerLog.h"
#include "ServerTls.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <memory>

namespace {

struct ServeArgs {
    std::string listen = "127.0.0.1:4001";
    std::string api = "127.0.0.1:4002";
    std::string http; // empty: no page
    std::string tokenFile;
    std::string tlsCert;
    std::string tlsKey;
    int maxClients = 64;
    int maxClientsPerAddress = 16;
    int clientBufferKib = 1024;
    MqttArguments mqtt;
};

// Read at the start and again on SIGHUP, with the same checks each time.
std::optional<QByteArray> readToken(const QString& file, QString* error)
{
    // As ssh does with keys: a secret that every user of the machine can read is none.
    if (QFileInfo::exists(file) && (QFile::permissions(file) & QFileDevice::ReadOther)) {
        *error = QStringLiteral("the token file %1 is readable by every user; make it private "
                                "first (chmod o-rwx %1)")
                     .arg(file);
        return std::nullopt;
    }
    std::optional<QByteArray> token = ReadTokenFile(file, error);
    // A raw client that starts with '#' is sending a command, not its token.
    if (token && token->startsWith('#')) {
        *error = QStringLiteral("the token in %1 must not begin with '#'").arg(file);
        return std::nullopt;
    }
    return token;
}

QString tokenFileOf(const ServeArgs& args)
{
    return args.tokenFile.empty() ? qEnvironmentVariable("TAVLO_TOKEN_FILE")
                                  : QString::fromStdString(args.tokenFile);
}

// The matrix's line stays open throughout. Clients already past the old token keep their
// connection: the new one is asked of those that come after.
void readTokenAgain(MatrixServer& server, const QString& file)
{
    if (file.isEmpty()) {
        ServerLog(QStringLiteral("SIGHUP: no token file to read again"));
        return;
    }
    QString error;
    std::optional<QByteArray> token = readToken(file, &error);
    if (!token) {
        ServerLog(QStringLiteral("SIGHUP: keeping the token as it was: %1").arg(error));
        return;
    }
    server.SetToken(std::move(*token));
    ServerLog(QStringLiteral("SIGHUP: the token was read again from %1").arg(file));
}

// Two bridges on one set of topics would push each other off the broker, and Home Assistant
// would show the one device flipping between two matrices. A broker that cannot be asked now
// is no reason not to serve: the bridge keeps trying to reach it.
void refuseRivalBridge(const MqttOptions& mqtt)
{
    QString unknown;
    const QString rival = RivalBridge(mqtt, std::chrono::seconds(3), &unknown);
    if (!rival.isEmpty())
        throw UsageError{rival.toStdString()};
    if (!unknown.isEmpty())
        ServerLog(QStringLiteral("MQTT: no answer from %1 on whether another bridge holds %2 "
                                 "(%3); starting")
                      .arg(mqtt.BrokerText(), mqtt.BaseTopic(), unknown));
}

ServerOptions optionsFor(const CliContext& context, const ServeArgs& args)
{
    ServerOptions options;
    options.portName = ResolvePortName(context.port);
    ParseListenAddress(args.listen, options.rawAddress, options.rawPort);
    ParseListenAddress(args.api, options.apiAddress, options.apiPort);
    if (!args.http.empty()) {
        options.http = true;
        // A port alone serves the page on this machine only.
        const bool portOnly = args.http.find(':') == std::string::npos;
        ParseListenAddress(portOnly ? "127.0.0.1:" + args.http : args.http, options.httpAddress,
                           options.httpPort);
    }
    if (const QString tokenFile = tokenFileOf(args); !tokenFile.isEmpty()) {
        QString error;
        const std::optional<QByteArray> token = readToken(tokenFile, &error);
        if (!token)
            throw UsageError{error.toStdString()};
        options.token = *token;
    }
    if (args.tlsCert.empty() != args.tlsKey.empty())
        throw UsageError{"TLS needs both --tls-cert FILE and --tls-key FILE"};
    if (!args.tlsCert.empty()) {
        QString error;
        options.tls = LoadServerTls(QString::fromStdString(args.tlsCert),
                                    QString::fromStdString(args.tlsKey), &error);
        if (!options.tls)
            throw UsageError{error.toStdString()};
    }
    const bool loopbackOnly = options.rawAddress.isLoopback() && options.apiAddress.isLoopback() &&
                              (!options.http || options.httpAddress.isLoopback());
    if (!loopbackOnly && options.token.isEmpty())
        throw UsageError{"listening beyond this machine needs --token-file FILE: anyone who can "
                         "reach the port could drive the matrix"};
    options.maxClients = args.maxClients;
    options.maxClientsPerAddress = std::min(args.maxClientsPerAddress, args.maxClients);
    options.maxClientOutput = qint64(args.clientBufferKib) * 1024;
    if (args.mqtt.AnyGiven()) {
        QString error;
        options.mqtt = ReadMqttOptions(args.mqtt, &error);
        if (!options.mqtt)
            throw UsageError{error.toStdString()};
        refuseRivalBridge(*options.mqtt);
    }
    return options;
}

std::string endpointLine(std::string name, const QHostAddress& address, quint16 port)
{
    const QString host = address.protocol() == QAbstractSocket::IPv6Protocol
                             ? '[' + address.toString() + ']'
                             : address.toString();
    return std::string(name) + " " + host.toStdString() + ":" + std::to_string(port) + "\n";
}

int runServe(const ServerOptions& options, const QString& tokenFile)
{
    MatrixServer server(GlobalSerialPort(), options);
    QString error;
    if (!server.Start(&error))
        throw CliFailure{ExitPortError, error.toStdString()};
    // The ports actually bound (port 0 picks one): scripts and tests read them here.
    PrintOut(endpointLine("raw", options.rawAddress, server.RawPort()) +
             endpointLine("json", options.apiAddress, server.ApiPort()) +
             (options.http ? endpointLine(options.tls ? "https" : "http", options.httpAddress,
                                          server.HttpPort())
                           : ""));
    QEventLoop loop;
    InterruptWatcher interrupts;
    QObject::connect(&interrupts, &InterruptWatcher::interrupted, &server, &MatrixServer::Shutdown);
    QObject::connect(&interrupts, &InterruptWatcher::hangUp, &server,
                     [&server, tokenFile] { readTokenAgain(server, tokenFile); });
    QObject::connect(&server, &MatrixServer::finished, &loop, &QEventLoop::quit);
    loop.exec();
    return ExitOk;
}

} // namespace

void RegisterServeCommand(CLI::App& app, CliContext& context)
{
    auto args = std::make_shared<ServeArgs>();
    CLI::App* serve = app.add_subcommand(
        "serve", "Hold the matrix's port and serve it to many clients: raw TCP (as the serial "
                 "line itself; `--port socket://HOST:PORT` elsewhere) and newline-delimited "
                 "JSON (docs/api.md), and with --http a control page for browsers. Runs until "
                 "interrupted.");
    serve->fallthrough();
    serve->add_option("--listen", args->listen, "raw endpoint, ADDR:PORT (127.0.0.1:4001)");
    serve->add_option("--api", args->api, "JSON endpoint, ADDR:PORT (127.0.0.1:4002)");
    serve->add_option("--http", args->http,
                      "serve the control page, its REST API and WebSocket on [ADDR:]PORT "
                      "(a port alone: 127.0.0.1)");
    serve->add_option("--token-file", args->tokenFile,
                      "clients must first send the token in FILE; needed for any address "
                      "beyond loopback (default: $TAVLO_TOKEN_FILE)");
    serve
        ->add_option("--tls-cert", args->tlsCert,
                     "every endpoint behind TLS with this certificate (PEM; `tavloctl tls-cert` "
                     "makes one); clients then use tls://HOST:PORT and https://")
        ->type_name("FILE");
    serve->add_option("--tls-key", args->tlsKey, "the certificate's private key (PEM)")
        ->type_name("FILE");
    serve->add_option("--max-clients", args->maxClients, "clients at once, all endpoints (64)")
        ->check(CLI::Range(1, 4096));
    serve
        ->add_option("--max-clients-per-address", args->maxClientsPerAddress,
                     "of those, from any one address (16); a gateway or NAT in front of many "
                     "operators may need more")
        ->check(CLI::Range(1, 4096));
    serve
        ->add_option("--client-buffer", args->clientBufferKib,
                     "KiB a client may leave unread before it is dropped (1024)")
        ->check(CLI::Range(16, 1024 * 1024));
    AddMqttOptions(*serve, args->mqtt);
    serve->callback([&context, args] {
        RequirePort(context);
        const ServerOptions options = optionsFor(context, *args);
        RunGuarded(context, [&] { return runServe(options, tokenFileOf(*args)); });
    });
}
