#pragma once
// The raw endpoint: each client talks to the matrix as over the serial line itself. Commands
// go through the sender's queue, and every chunk the matrix sends goes to every client as it
// came. While the line is down clients stay, as a serial line stays with nothing at its end,
// and hear the matrix again once the server has it back; new ones are told that the line is
// down and closed.
//
// I/O thread only.
#include "Endpoint.h"
#include "ServerOptions.h"

class MatrixLink;
class WireSender;

class RawEndpoint : public Endpoint {
    Q_OBJECT
public:
    RawEndpoint(const ServerOptions& options, ClientQuota& quota, TokenGate& gate,
                WireSender& sender, const MatrixLink& link, QObject* parent = nullptr);

    void Broadcast(const QByteArray& chunk);

protected:
    ClientConnection* makeClient(QTcpSocket* socket) override;
    void welcome(ClientConnection* client) override;

private:
    int idleGapMs_;
    const MatrixLink& link_;
};
