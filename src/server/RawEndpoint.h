#pragma once
// The raw endpoint: each client talks to the matrix as over the serial line itself. Commands
// go through the sender's queue, and every chunk the matrix sends goes to every client as it
// came. While the line is down there is nothing to talk to: clients are closed, as a lost
// line closes a serial port, and new ones are told so.
//
// I/O thread only.
#include "Endpoint.h"
#include "ServerOptions.h"

class MatrixLink;
class WireSender;

class RawEndpoint : public Endpoint {
    Q_OBJECT
public:
    RawEndpoint(const ServerOptions& options, ClientQuota& quota, WireSender& sender,
                const MatrixLink& link, QObject* parent = nullptr);

    void Broadcast(const QByteArray& chunk);
    void OnLinkChanged(bool up);

protected:
    ClientConnection* makeClient(QTcpSocket* socket) override;
    void welcome(ClientConnection* client) override;

private:
    int idleGapMs_;
    const MatrixLink& link_;
};
