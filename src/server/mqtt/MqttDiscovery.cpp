#include "MqttDiscovery.h"

#include "MatrixRequests.h"
#include "SelectOptions.h"
#include "TavloVersion.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

// What every entity of the device shares.
class Entities {
public:
    Entities(const QJsonObject& state, const MqttOptions& options)
        : options_(options), base_(options.BaseTopic() + '/'), key_(options.DeviceKey())
    {
        const QJsonObject device = state["device"].toObject();
        device_ = {{"identifiers", QJsonArray{key_}},
                   {"name", options.id},
                   {"model", device["model"]},
                   {"sw_version", device["firmware"]}};
    }

    // What published the entity, for Home Assistant's log and its issue reports.
    static QJsonObject origin() { return {{"name", "Tavlo"}, {"sw_version", TAVLO_VERSION}}; }

    // Topics are below the base; an entity without a state or a command topic has "".
    void add(const char* component, const QString& objectId, const QString& name,
             const QString& stateTopic, const QString& commandTopic, QJsonObject config)
    {
        config.insert("name", name);
        config.insert("unique_id", key_ + '_' + objectId);
        config.insert("availability_topic", base_ + "availability");
        config.insert("payload_available", "online");
        config.insert("payload_not_available", "offline");
        config.insert("qos", 1);
        config.insert("device", device_);
        config.insert("origin", origin());
        if (!stateTopic.isEmpty())
            config.insert("state_topic", base_ + stateTopic);
        if (!commandTopic.isEmpty())
            config.insert("command_topic", base_ + commandTopic);
        const QString where = QStringLiteral("%1/%2/%3/%4/config")
                                  .arg(options_.discoveryPrefix, component, key_, objectId);
        messages_[where] = QJsonDocument(config).toJson(QJsonDocument::Compact);
    }

    MqttMessages take() { return std::move(messages_); }

private:
    const MqttOptions& options_;
    QString base_;
    QString key_;
    QJsonObject device_;
    MqttMessages messages_;
};

bool namesArrived(const QJsonArray& entries)
{
    return std::none_of(entries.begin(), entries.end(),
                        [](const QJsonValue& entry) { return entry["name"].isNull(); });
}

void addOutputs(Entities& entities, const QJsonObject& state)
{
    const QJsonArray inputs = InputOptions(state).Texts();
    const QJsonObject onOff{
        {"payload_on", "on"}, {"payload_off", "off"}, {"state_on", "on"}, {"state_off", "off"}};
    for (int n = 1; n <= kPortCount; ++n) {
        const QString output = QStringLiteral("output/%1").arg(n);
        const QString id = QStringLiteral("output%1").arg(n);
        // The select shows the routed input by its option, and commands take options too.
        entities.add("select", id, QStringLiteral("Output %1").arg(n), output + "/input_name",
                     output + "/input/set", {{"options", inputs}});
        for (const char* path : {"iis", "spdif"}) {
            const QString topic = output + "/audio/" + path;
            entities.add("switch", id + '_' + path,
                         QStringLiteral("Output %1 %2 audio")
                             .arg(n)
                             .arg(path == QLatin1String("iis") ? "I2S" : "S/PDIF"),
                         topic, topic + "/set", onOff);
        }
    }
}

void addInputs(Entities& entities)
{
    const QJsonArray modes = AudioModeOptions().Texts();
    for (int n = 1; n <= kPortCount; ++n) {
        const QString input = QStringLiteral("input/%1/").arg(n);
        entities.add("select", QStringLiteral("input%1_audio").arg(n),
                     QStringLiteral("Input %1 audio mode").arg(n), input + "audio_name",
                     input + "audio/set", {{"options", modes}});
    }
}

void addScenes(Entities& entities, const QJsonArray& scenes)
{
    for (const QJsonValue& scene : scenes) {
        const int n = scene["number"].toInt();
        entities.add("button", QStringLiteral("scene%1").arg(n),
                     QStringLiteral("Recall ") + scene["name"].toString(), QString(),
                     QStringLiteral("scene/%1/set").arg(n), {{"payload_press", "recall"}});
    }
}

void addSensors(Entities& entities)
{
    const QJsonObject diagnostic{{"entity_category", "diagnostic"}};
    entities.add("sensor", "model", "Model", "device/model", QString(), diagnostic);
    entities.add("sensor", "firmware", "Firmware", "device/firmware", QString(), diagnostic);
}

} // namespace

MqttMessages DiscoveryMessages(const QJsonObject& state, const MqttOptions& options)
{
    const QJsonArray scenes = state["scenes"].toArray();
    if (state["device"]["model"].isNull() || !namesArrived(state["inputs"].toArray()) ||
        !namesArrived(scenes))
        return {};
    Entities entities(state, options);
    addOutputs(entities, state);
    addInputs(entities);
    addScenes(entities, scenes);
    addSensors(entities);
    return entities.take();
}
