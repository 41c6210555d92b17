#pragma once
// Home Assistant's MQTT selects as it runs them, fed the messages a subscriber to everything
// gets, in the order they came:
//   - a discovery config creates the select, which then subscribes to its state topic and so
//     gets the state the broker holds; a later config replaces the options and keeps the
//     current option; an empty config removes the select;
//   - a state is taken only when it is one of the options the select has when it arrives; any
//     other is dropped ("Invalid option"); "none" in any case means no option; an empty or
//     blank payload is ignored.
#include "MqttProbe.h"

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <map>
#include <optional>
#include <vector>

namespace mqtt_test {

class HomeAssistantSelects {
public:
    struct Select {
        QString configTopic;
        QString stateTopic;
        QString commandTopic;
        QStringList options;
        std::optional<QString> current; // none: "Unknown"
    };

    explicit HomeAssistantSelects(QString discoveryPrefix = QStringLiteral("homeassistant"))
        : prefix_(std::move(discoveryPrefix))
    {
    }

    void Replay(const std::vector<MqttProbe::Message>& messages);
    void Receive(const QString& topic, const QByteArray& payload);

    // By unique id.
    const std::map<QString, Select>& Selects() const { return selects_; }
    // What Home Assistant would have logged: "Invalid option …", duplicate options.
    const QStringList& Complaints() const { return complaints_; }

private:
    void configure(const QString& topic, const QByteArray& payload);
    void take(Select& select, const QByteArray& payload);

    QString prefix_;
    std::map<QString, Select> selects_;
    std::map<QString, QByteArray> retained_;
    QStringList complaints_;
};

} // namespace mqtt_test
