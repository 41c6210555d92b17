// `tavloctl tls-cert`: a self-signed certificate and its key for `tavloctl serve --tls-cert`,
// made by the system's openssl command, so that a server's TLS is one command away.
#include "CliFailure.h"
#include "CommandRunner.h"
#include "MatrixCommands.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QStandardPaths>
#include <memory>

namespace {

struct TlsCertArgs {
    std::string out;
    std::vector<std::string> hosts;
    int days = 825;
    bool force = false;
};

// DNS:matrix.lan or IP:192.168.1.20, as a certificate names what clients connect to.
QString altNames(const std::vector<std::string>& hosts)
{
    QStringList names;
    for (const std::string& host : hosts) {
        const QString name = QString::fromStdString(host);
        names << (QHostAddress(name).isNull() ? QStringLiteral("DNS:") : QStringLiteral("IP:")) +
                     name;
    }
    return names.join(',');
}

// The key is readable by its owner only from the first byte on.
void makePrivateFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate,
                   QFile::ReadOwner | QFile::WriteOwner))
        throw CliFailure{ExitFailure, "cannot write " + path.toStdString() + ": " +
                                          file.errorString().toStdString()};
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
}

int runTlsCert(const TlsCertArgs& args)
{
    const QString openssl = QStandardPaths::findExecutable(QStringLiteral("openssl"));
    if (openssl.isEmpty())
        throw CliFailure{ExitFailure, "tls-cert is not available here: it needs the openssl "
                                      "command (Debian: apt install openssl); or make the "
                                      "certificate and key elsewhere and pass them to serve"};
    const QDir dir(QString::fromStdString(args.out));
    if (!dir.mkpath(QStringLiteral(".")))
        throw CliFailure{ExitFailure, "cannot make the folder " + args.out};
    const QString cert = dir.filePath(QStringLiteral("tavlo.crt"));
    const QString key = dir.filePath(QStringLiteral("tavlo.key"));
    if (!args.force && (QFile::exists(cert) || QFile::exists(key)))
        throw CliFailure{ExitFailure, cert.toStdString() + " or " + key.toStdString() +
                                          " is there already; --force replaces them"};
    makePrivateFile(key);
    const QString subject = QStringLiteral("/CN=") + QString::fromStdString(args.hosts.front());
    QProcess process;
    process.start(openssl,
                  {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                   QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                   QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                   QStringLiteral("-days"), QString::number(args.days), QStringLiteral("-subj"),
                   subject, QStringLiteral("-addext"),
                   QStringLiteral("subjectAltName=") + altNames(args.hosts),
                   QStringLiteral("-addext"), QStringLiteral("extendedKeyUsage=serverAuth"),
                   QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert});
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw CliFailure{ExitFailure, "openssl could not make the certificate: " +
                                          process.readAllStandardError().trimmed().toStdString()};
    PrintOut("certificate " + cert.toStdString() + "\nkey " + key.toStdString() +
             "\nserve: --tls-cert " + cert.toStdString() + " --tls-key " + key.toStdString() +
             "\nclients: --tls-ca " + cert.toStdString() + "\n");
    return ExitOk;
}

} // namespace

void RegisterTlsCertCommand(CLI::App& app, CliContext& context)
{
    auto args = std::make_shared<TlsCertArgs>();
    CLI::App* command = app.add_subcommand(
        "tls-cert", "Make a self-signed certificate and key for `serve --tls-cert`: tavlo.crt "
                    "and tavlo.key in DIR. Clients trust it with --tls-ca DIR/tavlo.crt.");
    command->add_option("--out", args->out, "the folder to write them to")
        ->type_name("DIR")
        ->required();
    command
        ->add_option("--host", args->hosts,
                     "a name or address clients connect to (repeat for more); the first names "
                     "the certificate")
        ->type_name("NAME")
        ->required();
    command->add_option("--days", args->days, "days it is valid (825)")
        ->check(CLI::Range(1, 36500));
    command->add_flag("--force", args->force, "replace a certificate and key already there");
    command->callback([&context, args] { RunGuarded(context, [&] { return runTlsCert(*args); }); });
}
