#include "BridgeFixture.h"

#include "ServerFixture.h"

#include <QJsonDocument>

namespace mqtt_test {

MqttOptions TestMqtt(quint16 port)
{
    MqttOptions options;
    options.host = QStringLiteral("127.0.0.1");
    options.port = port;
    options.id = QStringLiteral("m1");
    return options;
}

ServerOptions BridgeServerOptions(const MqttOptions& mqtt)
{
    ServerOptions options = server_test::TestOptions();
    options.mqtt = mqtt;
    return options;
}

std::optional<QJsonObject> WaitError(const MqttProbe& probe, const QString& topic, int timeoutMs)
{
    const auto message = probe.waitFor(
        [&](const MqttProbe::Message& m) {
            return m.topic == kBase + "error" &&
                   QJsonDocument::fromJson(m.payload).object()["topic"].toString() == topic;
        },
        timeoutMs);
    if (!message)
        return std::nullopt;
    return QJsonDocument::fromJson(message->payload).object();
}

bool WaitOnline(const MqttProbe& probe, int timeoutMs)
{
    return probe
        .waitFor(
            [](const MqttProbe::Message& m) {
                return m.topic == kBase + "availability" && m.payload == "online";
            },
            timeoutMs)
        .has_value();
}

std::map<QString, QByteArray> Held(quint16 port, const QString& filter)
{
    MqttProbe fresh(port, filter);
    fresh.settle();
    return fresh.retained();
}

QByteArray Latest(const MqttProbe& probe, const QString& topic)
{
    QByteArray last;
    for (const MqttProbe::Message& message : probe.messages()) {
        if (message.topic == topic)
            last = message.payload;
    }
    return last;
}

} // namespace mqtt_test
