#include "MqttBridge.h"

#include "MatrixAction.h"
#include "MatrixLink.h"
#include "MqttCommands.h"
#include "MqttDiscovery.h"
#include "Refusal.h"
#include "ServerErrors.h"
#include "ServerLog.h"
#include "StateDocument.h"
#include "WireSender.h"

#include <QJsonDocument>
#include <limits>

namespace {

// The fair queue's source for every MQTT command. Clients count up from 1, the server itself
// is 0: the bridge takes the other end.
constexpr uint64_t kBridgeSource = std::numeric_limits<uint64_t>::max();

const QByteArray kOnline = "online";
const QByteArray kOffline = "offline";

QString seconds(int ms) { return QString::number(ms / 1000.0, 'f', 1); }

} // namespace

MqttBridge::MqttBridge(MqttOptions options, WireSender& sender, const MatrixLink& link,
                       QObject* parent)
    : QObject(parent), options_(std::move(options)), sender_(sender), link_(link),
      base_(options_.BaseTopic() + '/')
{
    session_ = std::make_unique<MqttSession>(
        options_, (base_ + "availability").toUtf8(), kOffline, [this](MqttSession::Event event) {
            QMetaObject::invokeMethod(
                this, [this, event = std::move(event)] { onEvent(event); }, Qt::QueuedConnection);
        });
    connect(&link_, &MatrixLink::decoded, this, &MqttBridge::publishChanges);
    connect(&link_, &MatrixLink::linkChanged, this, &MqttBridge::publishChanges);
}

MqttBridge::~MqttBridge() { Shutdown(); }

void MqttBridge::Start()
{
    // Every command topic ends in "/set", one to four levels below the base. Narrower than
    // "PREFIX/ID/#", which would bring every state message back to the bridge.
    std::vector<QByteArray> filters;
    QString levels;
    for (int depth = 1; depth <= 4; ++depth) {
        levels += QStringLiteral("+/");
        filters.push_back((base_ + levels + "set").toUtf8());
    }
    session_->Start(std::move(filters));
}

void MqttBridge::Shutdown()
{
    if (shutDown_)
        return;
    shutDown_ = true;
    if (connected_) {
        connected_ = false;
        publishChanged({{base_ + "availability", kOffline}});
    }
    session_->Stop();
}

void MqttBridge::onEvent(const MqttSession::Event& event)
{
    switch (event.kind) {
    case MqttSession::Event::Kind::Connected:
        onConnected();
        return;
    case MqttSession::Event::Kind::ConnectFailed:
    case MqttSession::Event::Kind::Lost:
        onDown(event);
        return;
    case MqttSession::Event::Kind::Message:
        onMessage(event.topic, event.payload, event.retained);
        return;
    }
}

// The broker may have lost everything meanwhile (a restart without persistence): it all goes
// out again.
void MqttBridge::onConnected()
{
    ServerLog(
        QStringLiteral("MQTT: connected to %1, topics below %2").arg(options_.BrokerText(), base_));
    lastFailure_.clear();
    connected_ = true;
    published_.clear();
    publishChanges();
}

void MqttBridge::onDown(const MqttSession::Event& event)
{
    const bool lost = event.kind == MqttSession::Event::Kind::Lost;
    connected_ = false;
    if (!lost && event.reason == lastFailure_)
        return;
    lastFailure_ = lost ? QString() : event.reason;
    ServerLog(QStringLiteral("MQTT: %1 %2: %3; trying again in %4 s%5")
                  .arg(lost ? "lost the broker at" : "cannot connect to", options_.BrokerText(),
                       event.reason, seconds(event.retryMs),
                       lost ? QString() : QStringLiteral(" (said once while the reason stays)")));
}

void MqttBridge::onMessage(const QByteArray& topic, const QByteArray& payload, bool retained)
{
    const QString name = QString::fromUtf8(topic);
    if (!name.startsWith(base_) || !name.endsWith(QLatin1String("/set")))
        return;
    // A retained command would come again with every subscription, after every reconnect. It
    // was carried out when it was published; the broker's copy is not carried out again.
    if (retained) {
        ServerLog(
            QStringLiteral("MQTT: the retained command on %1 is not carried out again").arg(name));
        return;
    }
    // Clearing a retained command (an empty retained message) reaches a live subscriber as an
    // empty message; no command takes an empty payload.
    if (payload.isEmpty()) {
        ServerLog(QStringLiteral("MQTT: the empty message on %1 is not a command (a retained "
                                 "command cleared?)")
                      .arg(name));
        return;
    }
    if (payload.size() > options_.maxPayloadBytes) {
        refuse(topic, ServerError::BadRequest,
               QStringLiteral("a payload of more than %1 bytes").arg(options_.maxPayloadBytes));
        return;
    }
    carryOut(topic, name.mid(base_.size()).chopped(int(sizeof("/set") - 1)), payload);
}

void MqttBridge::carryOut(const QByteArray& topic, const QString& command,
                          const QByteArray& payload)
{
    try {
        const std::optional<MatrixAction> action =
            ActionForTopic(command, payload, StateDocument(link_.Status()));
        if (!action) {
            refuse(topic, ServerError::UnknownCommand,
                   QStringLiteral("no command has the topic %1 (see docs/mqtt.md)")
                       .arg(QString::fromUtf8(topic)));
            return;
        }
        submit(topic, *action);
    } catch (const Refusal& refusal) {
        refuse(topic, RefusalCodeName(refusal.code), QString::fromStdString(refusal.message));
    } catch (const BadRequest& bad) {
        refuse(topic, ServerError::BadRequest, bad.message);
    }
}

void MqttBridge::submit(const QByteArray& topic, const MatrixAction& action)
{
    if (!link_.IsUp()) {
        refuse(topic, ServerError::LinkDown,
               QStringLiteral("the line to the matrix is down: %1").arg(link_.DownReason()));
        return;
    }
    switch (sender_.Submit(WireCommandsFor(action.commands, kBridgeSource))) {
    case WireSender::Refusal::None:
        return;
    case WireSender::Refusal::QueueFull:
        refuse(topic, ServerError::QueueFull,
               QStringLiteral("more than %1 MQTT commands are waiting for the matrix; try again "
                              "when some have gone out")
                   .arg(sender_.PerSourceLimit()));
        return;
    case WireSender::Refusal::Stopped:
        refuse(topic, ServerError::ShuttingDown, QStringLiteral("the server is ending"));
        return;
    }
}

void MqttBridge::refuse(const QByteArray& topic, const char* code, const QString& message)
{
    if (!connected_)
        return;
    const QJsonObject error{
        {"topic", QString::fromUtf8(topic)}, {"code", code}, {"message", message}};
    session_->Publish((base_ + "error").toUtf8(),
                      QJsonDocument(error).toJson(QJsonDocument::Compact), false);
}

// Discovery first, then state, then availability. Home Assistant drops a select's state that
// is not among the options it has (a renamed input's new name, before the new options), and
// keeps its current option when the options change: so the options go first, and a select
// whose options changed is sent its state again. Whoever sees "online" finds the rest there.
void MqttBridge::publishChanges()
{
    if (!connected_)
        return;
    const QJsonObject document = StateDocument(link_.Status());
    const MqttMessages discovery = DiscoveryMessages(document, options_);
    std::vector<QString> restate;
    for (const auto& [topic, payload] : discovery) {
        const auto it = published_.find(topic);
        if (topic.contains(QLatin1String("/select/")) &&
            (it == published_.end() || it->second != payload))
            restate.push_back(QJsonDocument::fromJson(payload)["state_topic"].toString());
    }
    publishChanged(discovery);
    for (const QString& topic : restate)
        published_.erase(topic);
    MqttMessages state;
    for (const auto& [topic, payload] : StateMessages(document))
        state[base_ + topic] = payload;
    publishChanged(state);
    publishChanged({{base_ + "availability", link_.IsUp() ? kOnline : kOffline}});
}

void MqttBridge::publishChanged(const MqttMessages& messages)
{
    for (const auto& [topic, payload] : messages) {
        const auto it = published_.find(topic);
        if (it != published_.end() && it->second == payload)
            continue;
        // One the library refuses is not marked: the next connect publishes everything anyway.
        if (session_->Publish(topic.toUtf8(), payload, true))
            published_[topic] = payload;
    }
}
