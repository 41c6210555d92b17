#pragma once
// What a program shows a server behind a network port, and whom it trusts there: the token a
// `tavloctl serve` asks of its clients, and for a tls:// port the CA certificate (or the
// server's own self-signed one) its certificate must verify against; none: the system's CAs.
// A program's choice for its run; both programs read the token file the same way.
#include <QByteArray>
#include <QString>
#include <optional>

struct RemoteAccess {
    QByteArray token; // empty: none is sent
    QString caFile;   // PEM; empty: the system's CAs
};

// The token a file holds: one non-empty line, read whole (a server and its clients must agree
// on every byte of it). Nothing, and the reason in *error, when the file cannot be read, is
// longer than a token may be, or holds no single line.
std::optional<QByteArray> ReadTokenFile(const QString& path, QString* error);

// The token of the file named by the option, or by TAVLO_TOKEN_FILE when the option is empty;
// an empty token when neither names one. Nothing (and the reason in *error) as ReadTokenFile.
std::optional<QByteArray> ReadTokenFileOption(const QString& option, QString* error);
