#pragma once
// What `tavloctl serve` is told: where to listen, the token, and the bounds that keep one
// client from taking what the others need.
#include "MqttOptions.h"

#include <QByteArray>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QString>
#include <optional>

struct ServerOptions {
    QString portName; // the matrix's port, as the port object opens it
    QHostAddress rawAddress = QHostAddress::LocalHost;
    quint16 rawPort = 4001;
    QHostAddress apiAddress = QHostAddress::LocalHost;
    quint16 apiPort = 4002;
    // The page and its REST API and WebSocket, only when asked for.
    bool http = false;
    QHostAddress httpAddress = QHostAddress::LocalHost;
    quint16 httpPort = 0;
    // Empty: no handshake. Required by the caller whenever an address is not loopback.
    QByteArray token;
    // Past this many wrong tokens from one address within the window, that address's tries are
    // judged one per slot (TokenGate).
    int wrongTokens = 10;
    int wrongTokenWindowMs = 60000;
    int throttledTryMs = 1000;
    // Every endpoint behind TLS, when given (its certificate and key).
    std::optional<QSslConfiguration> tls;

    int maxClients = 64;                    // both endpoints together
    int maxClientsPerAddress = 16;          // of those, from any one address
    qsizetype maxLineBytes = 64 * 1024;     // a JSON request, a raw command, the token line
    qint64 maxClientOutput = 1024 * 1024;   // unsent bytes before a client counts as gone
    size_t maxQueuedPerClient = 256;        // commands one client may have waiting
    size_t maxQueued = 1024;                // commands all clients together may have waiting
    int rawIdleGapMs = 30;                  // ends a raw client's command, as the matrix does
    int handshakeMs = 10000;                // time a client has to send its token
    qsizetype maxHttpHeadBytes = 16 * 1024; // an HTTP request's line and headers (its body: a line)

    // The server's own requests: the whole state, repeated until it has all arrived (or the
    // deadline passed), and the periodic status request.
    int acquisitionRepeatMs = 3600;
    int acquisitionDeadlineMs = 30000;
    int pollMs = 7000;
    // Waits a JSON request may ask for, until the matrix confirms it.
    int defaultWaitMs = 5000;
    int maxWaitMs = 30000;

    std::optional<MqttOptions> mqtt; // the bridge to an MQTT broker, when asked for
};
