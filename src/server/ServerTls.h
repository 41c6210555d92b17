#pragma once
// The server's TLS: its certificate and key, read once at start, and the listener every
// endpoint makes, plain or behind TLS. Qt Network's TLS (1.2 or later); nothing hand-made.
//
// I/O thread only.
#include <QSslConfiguration>
#include <QString>
#include <optional>

class QObject;
class QTcpServer;

// The configuration for a server with this certificate (PEM, with its chain after it) and key
// (PEM, unencrypted); nothing, with the reason in *error, when either cannot be used.
std::optional<QSslConfiguration> LoadServerTls(const QString& certFile, const QString& keyFile,
                                               QString* error);

// A QSslServer with the configuration, or a plain QTcpServer without one. Handshakes that fail
// are logged under the endpoint's name; a connection is handed on only once it is encrypted.
QTcpServer* MakeListener(const std::optional<QSslConfiguration>& tls, const QString& name,
                         QObject* parent);
