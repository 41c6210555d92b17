#include "RawEndpoint.h"

#include "ServerErrors.h"

#include "MatrixLink.h"
#include "RawClient.h"
#include "WireSender.h"

RawEndpoint::RawEndpoint(const ServerOptions& options, ClientQuota& quota, TokenGate& gate,
                         WireSender& sender, const MatrixLink& link, QObject* parent)
    : Endpoint(QStringLiteral("raw"), options, quota, gate, sender, parent),
      idleGapMs_(options.rawIdleGapMs), link_(link)
{
}

void RawEndpoint::Broadcast(const QByteArray& chunk)
{
    for (ClientConnection* client : Clients())
        client->Send(chunk);
}

ClientConnection* RawEndpoint::makeClient(QTcpSocket* socket)
{
    auto submit = [this](RawClient& client, WireCommand command) {
        QString full;
        switch (Sender().Submit({std::move(command)}, &full)) {
        case WireSender::Refusal::None:
            return;
        case WireSender::Refusal::QueueFull:
            client.Refuse(ServerError::QueueFull, full + QStringLiteral("; closing"));
            return;
        case WireSender::Refusal::Stopped:
            client.Close();
            return;
        }
    };
    return new RawClient(socket, Limits(), idleGapMs_, submit, this);
}

void RawEndpoint::welcome(ClientConnection* client)
{
    if (!link_.IsUp())
        client->Refuse(
            ServerError::LinkDown,
            QStringLiteral("the line to the matrix is down (%1); closing").arg(link_.DownReason()));
}
