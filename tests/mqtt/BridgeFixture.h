#pragma once
// What the bridge's suites share: a server in this process on a simulated matrix, bridged to
// a test broker as matrix "m1", and the topics they talk on.
#include "MqttOptions.h"
#include "MqttProbe.h"
#include "ServerOptions.h"

#include <QJsonObject>
#include <optional>

namespace mqtt_test {

inline const QString kBase = QStringLiteral("tavlo/m1/");

// The bridge to 127.0.0.1:port (or the URL), as matrix m1, as `serve` would have it.
MqttOptions TestMqtt(quint16 port);
ServerOptions BridgeServerOptions(const MqttOptions& mqtt);

inline QString SetTopic(const QString& command) { return kBase + command + "/set"; }

// The bridge's answer on the error topic to a command on the topic, as JSON.
std::optional<QJsonObject> WaitError(const MqttProbe& probe, const QString& topic,
                                     int timeoutMs = 3000);
// Waits until the bridge says the matrix is online (retained or live).
bool WaitOnline(const MqttProbe& probe, int timeoutMs = 5000);
// What the broker holds under the filter, as a new subscriber is given it.
std::map<QString, QByteArray> Held(quint16 port, const QString& filter);
// The last payload seen on the topic, live or retained.
QByteArray Latest(const MqttProbe& probe, const QString& topic);

} // namespace mqtt_test
