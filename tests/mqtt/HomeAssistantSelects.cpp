#include "HomeAssistantSelects.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <set>

namespace mqtt_test {

void HomeAssistantSelects::Replay(const std::vector<MqttProbe::Message>& messages)
{
    for (const MqttProbe::Message& message : messages)
        Receive(message.topic, message.payload);
}

void HomeAssistantSelects::Receive(const QString& topic, const QByteArray& payload)
{
    if (topic.startsWith(prefix_ + "/select/") && topic.endsWith("/config")) {
        configure(topic, payload);
        return;
    }
    retained_[topic] = payload;
    for (auto& [id, select] : selects_) {
        if (select.stateTopic == topic)
            take(select, payload);
    }
}

void HomeAssistantSelects::configure(const QString& topic, const QByteArray& payload)
{
    for (auto it = selects_.begin(); it != selects_.end(); ++it) {
        if (it->second.configTopic == topic && payload.isEmpty()) {
            selects_.erase(it);
            return;
        }
    }
    if (payload.isEmpty())
        return;
    const QJsonObject config = QJsonDocument::fromJson(payload).object();
    const QString id = config["unique_id"].toString();
    QStringList options;
    for (const QJsonValue& option : config["options"].toArray())
        options.append(option.toString());
    if (std::set<QString>(options.begin(), options.end()).size() != size_t(options.size()))
        complaints_.append(QStringLiteral("%1: options %2 repeat one").arg(id, options.join('|')));
    const bool created = !selects_.count(id);
    Select& select = selects_[id];
    const bool resubscribe = created || select.stateTopic != config["state_topic"].toString();
    select.configTopic = topic;
    select.stateTopic = config["state_topic"].toString();
    select.commandTopic = config["command_topic"].toString();
    select.options = options;
    if (resubscribe && retained_.count(select.stateTopic))
        take(select, retained_[select.stateTopic]);
}

void HomeAssistantSelects::take(Select& select, const QByteArray& payload)
{
    const QString text = QString::fromUtf8(payload);
    if (text.trimmed().isEmpty())
        return;
    if (text.toLower() == QLatin1String("none")) {
        select.current.reset();
        return;
    }
    if (!select.options.contains(text)) {
        complaints_.append(QStringLiteral("Invalid option for %1: '%2' (valid options: %3)")
                               .arg(select.configTopic, text, select.options.join(", ")));
        return;
    }
    select.current = text;
}

} // namespace mqtt_test
