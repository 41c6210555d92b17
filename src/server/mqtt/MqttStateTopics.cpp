#include "MqttStateTopics.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace {

QByteArray plain(const QJsonValue& value)
{
    if (value.isBool())
        return value.toBool() ? "on" : "off";
    if (value.isDouble())
        return QByteArray::number(value.toInt());
    if (value.isObject())
        return QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
    return value.toString().toUtf8();
}

// Values that have not arrived are null: they are left out.
void put(MqttMessages& messages, const QString& topic, const QJsonValue& value)
{
    if (!value.isNull() && !value.isUndefined())
        messages[topic] = plain(value);
}

QString numbered(const char* pattern, int n) { return QString::fromLatin1(pattern).arg(n); }

void putInputs(MqttMessages& messages, const QJsonArray& inputs)
{
    for (const QJsonValue& entry : inputs) {
        const QJsonObject input = entry.toObject();
        const int n = input["number"].toInt();
        put(messages, numbered("input/%1/name", n), input["name"]);
        put(messages, numbered("input/%1/audio", n), input["audio"]);
        if (!input["edid"]["mode"].isNull())
            put(messages, numbered("input/%1/edid", n), input["edid"]);
    }
}

void putOutputs(MqttMessages& messages, const QJsonArray& outputs, const QStringList& labels)
{
    for (const QJsonValue& entry : outputs) {
        const QJsonObject output = entry.toObject();
        const int n = output["number"].toInt();
        put(messages, numbered("output/%1/input", n), output["input"]);
        const int input = output["input"].toInt();
        if (input >= 1 && input <= labels.size())
            put(messages, numbered("output/%1/input_name", n), labels[input - 1]);
        put(messages, numbered("output/%1/hdmi_name", n), output["hdmiName"]);
        put(messages, numbered("output/%1/hdbt_name", n), output["hdbtName"]);
        put(messages, numbered("output/%1/audio/iis", n), output["audio"]["iis"]);
        put(messages, numbered("output/%1/audio/spdif", n), output["audio"]["spdif"]);
    }
}

void putNameList(MqttMessages& messages, const char* pattern, const QJsonArray& names)
{
    for (qsizetype k = 0; k < names.size(); ++k)
        put(messages, numbered(pattern, int(k + 1)), names[k]);
}

void putEdidNames(MqttMessages& messages, const QJsonObject& edidNames)
{
    putNameList(messages, "edid/builtin/%1/name", edidNames["builtIn"].toArray());
    putNameList(messages, "edid/user/%1/name", edidNames["user"].toArray());
    putNameList(messages, "edid/hdmi_sink/%1/name", edidNames["hdmiSinks"].toArray());
    putNameList(messages, "edid/hdbt_sink/%1/name", edidNames["hdbtSinks"].toArray());
}

bool isBareNumber(const QString& text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); });
}

} // namespace

MqttMessages StateMessages(const QJsonObject& state)
{
    MqttMessages messages;
    put(messages, "device/model", state["device"]["model"]);
    put(messages, "device/firmware", state["device"]["firmware"]);
    putInputs(messages, state["inputs"].toArray());
    putOutputs(messages, state["outputs"].toArray(), InputLabels(state));
    for (const QJsonValue& scene : state["scenes"].toArray())
        put(messages, numbered("scene/%1/name", scene["number"].toInt()), scene["name"]);
    putEdidNames(messages, state["edidNames"].toObject());
    if (!state["network"]["ip"].isNull())
        put(messages, "network", state["network"]);
    return messages;
}

QStringList InputLabels(const QJsonObject& state)
{
    QStringList names;
    for (const QJsonValue& input : state["inputs"].toArray())
        names.append(input["name"].toString());
    QStringList labels;
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString& name = names[i];
        const bool plain = !name.isEmpty() && !isBareNumber(name) && names.count(name) == 1;
        const QString n = QString::number(i + 1);
        labels.append(plain ? name
                            : (name.isEmpty() ? QStringLiteral("Input ") + n
                                              : name + QStringLiteral(" (") + n + ')'));
    }
    return labels;
}
