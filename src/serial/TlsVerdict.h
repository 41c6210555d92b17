#pragma once
// Why a server's certificate did not verify, in the words a user acts on, and the certificates a
// program is told to trust. Qt Network only; the TLS itself is Qt's.
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>

// "certificate not trusted", "name does not match HOST", …, joined; empty when no error.
QString TlsVerdict(const QList<QSslError>& errors, const QString& host);

// The PEM certificates in the file; none, with the reason in *error, when it holds none.
QList<QSslCertificate> ReadCertificates(const QString& path, QString* error);
