#include "TlsVerdict.h"

#include <QFile>

namespace {

QString reasonFor(const QSslError& error, const QString& host)
{
    switch (error.error()) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
    case QSslError::CertificateRejected:
    case QSslError::InvalidCaCertificate:
        return QStringLiteral("certificate not trusted");
    case QSslError::HostNameMismatch:
        return QStringLiteral("name does not match %1").arg(host);
    case QSslError::CertificateExpired:
        return QStringLiteral("certificate expired");
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("certificate not yet valid");
    default:
        return error.errorString();
    }
}

} // namespace

QString TlsVerdict(const QList<QSslError>& errors, const QString& host)
{
    QStringList reasons;
    for (const QSslError& error : errors) {
        const QString reason = reasonFor(error, host);
        if (!reasons.contains(reason))
            reasons.append(reason);
    }
    return reasons.join(QStringLiteral(", "));
}

QList<QSslCertificate> ReadCertificates(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error =
            QStringLiteral("cannot read the CA certificate %1: %2").arg(path, file.errorString());
        return {};
    }
    const QList<QSslCertificate> certificates = QSslCertificate::fromDevice(&file, QSsl::Pem);
    if (certificates.isEmpty())
        *error = QStringLiteral("%1 holds no PEM certificate").arg(path);
    return certificates;
}
