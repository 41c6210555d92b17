#include "MosquittoBroker.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <unistd.h>

namespace mqtt_test {

namespace {

// A port nobody listens on now; the broker takes it a moment later.
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

bool accepts(quint16 port)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    return socket.waitForConnected(200);
}

bool run(const QString& program, const QStringList& args, QString* error)
{
    QProcess process;
    process.start(program, args);
    if (process.waitForFinished(20000) && process.exitStatus() == QProcess::NormalExit &&
        process.exitCode() == 0)
        return true;
    if (error)
        *error = program + ' ' + args.join(' ') + ": " + process.readAllStandardError();
    return false;
}

} // namespace

MosquittoBroker::MosquittoBroker() : port_(freePort())
{
    process_.setProcessChannelMode(QProcess::MergedChannels);
}

MosquittoBroker::~MosquittoBroker() { Stop(); }

bool MosquittoBroker::RequireLogin(const Login& login)
{
    login_ = true;
    return run("mosquitto_passwd",
               {"-b", "-c", dir_.filePath("passwords"), login.user, login.password}, nullptr);
}

QString MosquittoBroker::Url() const
{
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(tls_.certFile.isEmpty() ? "mqtt" : "mqtts")
        .arg(port_);
}

bool MosquittoBroker::writeConfig(QString* error)
{
    QByteArray config = "listener " + QByteArray::number(port_) +
                        " 127.0.0.1\n"
                        "persistence false\n"
                        "log_dest stdout\n";
    // Started as root it would become the mosquitto user, who cannot read this folder.
    if (::geteuid() == 0)
        config += "user root\n";
    config += login_ ? "allow_anonymous false\npassword_file " +
                           dir_.filePath("passwords").toUtf8() + '\n'
                     : QByteArray("allow_anonymous true\n");
    if (!tls_.certFile.isEmpty())
        config += "cafile " + tls_.caFile.toUtf8() + "\ncertfile " + tls_.certFile.toUtf8() +
                  "\nkeyfile " + tls_.keyFile.toUtf8() + '\n';
    QFile file(dir_.filePath("mosquitto.conf"));
    if (file.open(QIODevice::WriteOnly) && file.write(config) == config.size())
        return true;
    if (error)
        *error = "cannot write " + file.fileName();
    return false;
}

bool MosquittoBroker::Start(QString* error)
{
    if (Running())
        return true;
    if (!writeConfig(error))
        return false;
    process_.start("mosquitto", {"-c", dir_.filePath("mosquitto.conf")});
    if (process_.waitForStarted(5000) &&
        QTest::qWaitFor([this] { return !Running() || accepts(port_); }, 10000) && Running())
        return true;
    if (error)
        *error = "mosquitto did not start: " + process_.readAll();
    Stop();
    return false;
}

void MosquittoBroker::Stop()
{
    if (!Running())
        return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) {
        process_.kill();
        process_.waitForFinished(2000);
    }
}

bool MakeTestCertificates(const QString& dir, MosquittoBroker::Tls& tls, QString* error)
{
    tls.caFile = dir + "/ca.pem";
    tls.certFile = dir + "/server.pem";
    tls.keyFile = dir + "/server.key";
    const QString caKey = dir + "/ca.key";
    const QString request = dir + "/server.csr";
    const QString extensions = dir + "/server.ext";
    QFile ext(extensions);
    if (!ext.open(QIODevice::WriteOnly) ||
        ext.write("subjectAltName=DNS:localhost,IP:127.0.0.1\n") < 0)
        return false;
    ext.close();
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    return run("openssl",
               QStringList{"req", "-x509", "-days", "2", "-subj", "/CN=Test CA", "-keyout", caKey,
                           "-out", tls.caFile} +
                   ec,
               error) &&
           run("openssl",
               QStringList{"req", "-subj", "/CN=localhost", "-keyout", tls.keyFile, "-out",
                           request} +
                   ec,
               error) &&
           run("openssl",
               {"x509", "-req", "-in", request, "-CA", tls.caFile, "-CAkey", caKey,
                "-CAcreateserial", "-days", "2", "-extfile", extensions, "-out", tls.certFile},
               error);
}

} // namespace mqtt_test
