#include "ApiEndpoint.h"

#include "ApiClient.h"
#include "ApiRequests.h"
#include "DecodedChunk.h"
#include "InputChoice.h"
#include "MatrixLink.h"
#include "Refusal.h"
#include "ServerErrors.h"
#include "StateDocument.h"
#include "WireSender.h"

#include <QJsonDocument>

namespace {

QString messageOf(const Refusal& refusal) { return QString::fromStdString(refusal.message); }

} // namespace

ApiEndpoint::ApiEndpoint(const ServerOptions& options, ClientQuota& quota, TokenGate& gate,
                         WireSender& sender, const MatrixLink& link, QObject* parent)
    : Endpoint(QStringLiteral("JSON"), options, quota, gate, sender, parent),
      defaultWaitMs_(options.defaultWaitMs), maxWaitMs_(options.maxWaitMs), link_(link),
      pending_([this] { return state_; })
{
    refreshState();
    connect(this, &Endpoint::clientGone, this,
            [this](ClientConnection* client) { PeerGone(*static_cast<ApiClient*>(client)); });
}

void ApiEndpoint::OnDecoded(const DecodedChunk& chunk)
{
    const bool changed = refreshState();
    pending_.OnChunk(link_.Status(), chunk.frames, chunk.text);
    if (changed)
        publish(stateEvent());
}

void ApiEndpoint::OnLinkChanged(bool up)
{
    if (!up)
        pending_.FailAll(
            ServerError::LinkDown,
            QStringLiteral("the line to the matrix is down: %1").arg(link_.DownReason()));
    publish(linkEvent());
    if (refreshState())
        publish(stateEvent());
}

void ApiEndpoint::OnCommandDone(quint64 ticket, bool onWire)
{
    pending_.OnCommandDone(ticket, onWire);
}

void ApiEndpoint::Shutdown()
{
    pending_.FailAll(ServerError::ShuttingDown, QStringLiteral("the server is ending"));
    publish(ApiClient::Line({{"event", "shutdown"}}));
    CloseAll();
}

ClientConnection* ApiEndpoint::makeClient(QTcpSocket* socket)
{
    return new ApiClient(
        socket, Limits(),
        [this](ApiClient& client, const QJsonValue& id, const QJsonObject& request) {
            Handle(client, id, request);
        },
        this);
}

void ApiEndpoint::Handle(ApiPeer& client, const QJsonValue& id, const QJsonObject& request)
{
    const QString cmd = request.value("cmd").toString();
    // A misspelt field would otherwise be a default silently taken ("wiat": no wait).
    if (const std::optional<QString> unknown = UnknownFieldMessage(cmd, request)) {
        client.Fail(id, ServerError::UnknownField, *unknown);
        return;
    }
    if (cmd == QLatin1String("auth")) {
        // Already past its token, as every request that reaches here is.
        client.Reply(id, {{"api", kStateApiVersion}});
    } else if (cmd == QLatin1String("status")) {
        client.Reply(id, {{"state", state_}});
    } else if (cmd == QLatin1String("subscribe")) {
        subscribe(client, id);
    } else if (cmd == QLatin1String("unsubscribe")) {
        client.SetSubscribed(false);
        client.Reply(id);
    } else {
        act(client, id, cmd, request);
    }
}

void ApiEndpoint::PeerGone(const ApiPeer& peer) { pending_.ForgetPeer(&peer); }

// The subscriber starts in step: the line's state and the whole document follow the reply.
void ApiEndpoint::subscribe(ApiPeer& client, const QJsonValue& id)
{
    client.Reply(id);
    if (client.Subscribed())
        return;
    client.SetSubscribed(true);
    client.SendLine(linkEvent());
    client.SendLine(stateEvent());
}

void ApiEndpoint::act(ApiPeer& client, const QJsonValue& id, const QString& cmd,
                      const QJsonObject& request)
{
    PendingActions::Request pending{&client, client.Lifetime(), id, {}, 0, false};
    try {
        std::optional<ApiAction> action =
            ActionForRequest(cmd, request, InputNames(link_.Status()));
        if (!action) {
            client.Fail(id, ServerError::UnknownCommand,
                        QStringLiteral("no request \"%1\" (see docs/api.md)").arg(cmd));
            return;
        }
        pending.action = std::move(action->action);
        pending.wantsAnswer = action->wantsAnswer;
        pending.waitMs = waitMs(request);
    } catch (const Refusal& refusal) {
        client.Fail(id, RefusalCodeName(refusal.code), messageOf(refusal));
        return;
    } catch (const BadRequest& bad) {
        client.Fail(id, ServerError::BadRequest, bad.message);
        return;
    }
    if (pending.action.commands.empty()) {
        client.Reply(id, {{"sent", 0}});
        return;
    }
    if (!link_.IsUp()) {
        client.Fail(id, ServerError::LinkDown,
                    QStringLiteral("the line to the matrix is down: %1").arg(link_.DownReason()));
        return;
    }
    submit(client, id, std::move(pending));
}

// "wait": true waits for the confirmation, as long as "timeout" says (ms), within bounds.
int ApiEndpoint::waitMs(const QJsonObject& request) const
{
    const QJsonValue wait = request.value("wait");
    if (!wait.isUndefined() && !wait.isBool())
        throw BadRequest{QStringLiteral("\"wait\" must be true or false")};
    if (!wait.toBool())
        return 0;
    const QJsonValue timeout = request.value("timeout");
    if (timeout.isUndefined())
        return defaultWaitMs_;
    const double ms = timeout.toDouble(-1);
    if (!timeout.isDouble() || ms < 1 || ms > maxWaitMs_)
        throw BadRequest{QStringLiteral("\"timeout\" must be a number of milliseconds from 1 to %1")
                             .arg(maxWaitMs_)};
    return static_cast<int>(ms);
}

void ApiEndpoint::submit(ApiPeer& client, const QJsonValue& id, PendingActions::Request request)
{
    std::vector<WireCommand> commands = WireCommandsFor(request.action.commands, client.SourceId());
    const uint64_t ticket = pending_.Add(std::move(request));
    for (WireCommand& command : commands)
        command.ticket = ticket;
    QString full;
    switch (Sender().Submit(std::move(commands), &full)) {
    case WireSender::Refusal::None:
        return;
    case WireSender::Refusal::QueueFull:
        pending_.Forget(ticket);
        client.Fail(id, ServerError::QueueFull,
                    full + QStringLiteral("; try again when some have been answered"));
        return;
    case WireSender::Refusal::Stopped:
        pending_.Forget(ticket);
        client.Fail(id, ServerError::ShuttingDown, QStringLiteral("the server is ending"));
        return;
    }
}

// True when the document differs from the one last published.
bool ApiEndpoint::refreshState()
{
    QJsonObject state = StateDocument(link_.Status());
    state.insert("link", link_.IsUp() ? "up" : "down");
    state.insert("stale", link_.IsStale());
    if (state == state_)
        return false;
    state_ = state;
    return true;
}

// Built once and shared by every subscriber.
void ApiEndpoint::publish(const QByteArray& eventLine)
{
    for (ClientConnection* client : Clients()) {
        auto* api = static_cast<ApiClient*>(client);
        if (api->Subscribed())
            api->SendLine(eventLine);
    }
    emit published(eventLine);
}

QByteArray ApiEndpoint::linkEvent() const
{
    QJsonObject event{{"event", "link"}, {"state", link_.IsUp() ? "up" : "down"}};
    if (!link_.IsUp())
        event.insert("reason", link_.DownReason());
    return ApiClient::Line(event);
}

QByteArray ApiEndpoint::stateEvent() const
{
    return ApiClient::Line({{"event", "state"}, {"state", state_}});
}
