#include "ServerTls.h"

#include "ServerLog.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>

namespace {

constexpr int kMaxHandshakes = 1024;

std::optional<QByteArray> readFile(const QString& path, const char* what, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the TLS %1 %2: %3")
                     .arg(QLatin1String(what), path, file.errorString());
        return std::nullopt;
    }
    // Certificates and keys are a few KiB; a file far larger is something else.
    return file.read(1024 * 1024);
}

QSslKey readKey(const QByteArray& pem)
{
    for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
        QSslKey key(pem, algorithm, QSsl::Pem, QSsl::PrivateKey);
        if (!key.isNull())
            return key;
    }
    return {};
}

} // namespace

std::optional<QSslConfiguration> LoadServerTls(const QString& certFile, const QString& keyFile,
                                               QString* error)
{
    if (!QSslSocket::supportsSsl()) {
        *error = QStringLiteral("TLS is not available on this system");
        return std::nullopt;
    }
    const auto certPem = readFile(certFile, "certificate", error);
    const auto keyPem = certPem ? readFile(keyFile, "key", error) : std::nullopt;
    if (!keyPem)
        return std::nullopt;
    const QList<QSslCertificate> chain = QSslCertificate::fromData(*certPem, QSsl::Pem);
    if (chain.isEmpty()) {
        *error = QStringLiteral("%1 holds no PEM certificate").arg(certFile);
        return std::nullopt;
    }
    const QSslKey key = readKey(*keyPem);
    if (key.isNull()) {
        *error = QStringLiteral("%1 holds no unencrypted PEM private key").arg(keyFile);
        return std::nullopt;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setProtocol(QSsl::TlsV1_2OrLater);
    tls.setLocalCertificateChain(chain);
    tls.setPrivateKey(key);
    // Clients show a token, not a certificate.
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    return tls;
}

QTcpServer* MakeListener(const std::optional<QSslConfiguration>& tls, const QString& name,
                         QObject* parent)
{
    if (!tls)
        return new QTcpServer(parent);
    auto* server = new QSslServer(parent);
    server->setSslConfiguration(*tls);
    // Connections still in their handshake count as pending, and at the limit the server stops
    // accepting until one is taken: the few that clients give up on, or that never finish
    // (each ends within the handshake timeout), must not hold up the rest. The client quota
    // bounds the handshakes that succeed.
    server->setMaxPendingConnections(kMaxHandshakes);
    QObject::connect(server, &QSslServer::errorOccurred, server,
                     [name](QSslSocket* socket, QAbstractSocket::SocketError) {
                         ServerLog(QStringLiteral("%1 client %2:%3: TLS handshake failed: %4")
                                       .arg(name, socket->peerAddress().toString())
                                       .arg(socket->peerPort())
                                       .arg(socket->errorString()));
                         // Gone at once: until then it counts among the pending connections,
                         // and a few clients that give up mid-handshake would hold up the rest.
                         socket->deleteLater();
                     });
    return server;
}
