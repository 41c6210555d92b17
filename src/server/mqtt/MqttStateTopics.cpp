#include "MqttStateTopics.h"

#include "ControlWords.h"
#include "SelectOptions.h"

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

// The mode whose word the document gives; -1 for none (not arrived, or a code without a word).
int audioMode(const QJsonValue& word)
{
    for (int mode = AudioOff; mode <= AudioA; ++mode) {
        if (word.isString() && word.toString().toStdString() == AudioModeWord(mode))
            return mode;
    }
    return -1;
}

void putInputs(MqttMessages& messages, const QJsonArray& inputs)
{
    const SelectOptions audioModes = AudioModeOptions();
    for (const QJsonValue& entry : inputs) {
        const QJsonObject input = entry.toObject();
        const int n = input["number"].toInt();
        put(messages, numbered("input/%1/name", n), input["name"]);
        put(messages, numbered("input/%1/audio", n), input["audio"]);
        const QString audioName = audioModes.TextOf(audioMode(input["audio"]));
        if (!audioName.isEmpty())
            put(messages, numbered("input/%1/audio_name", n), audioName);
        if (!input["edid"]["mode"].isNull())
            put(messages, numbered("input/%1/edid", n), input["edid"]);
    }
}

void putOutputs(MqttMessages& messages, const QJsonArray& outputs, const SelectOptions& inputs)
{
    for (const QJsonValue& entry : outputs) {
        const QJsonObject output = entry.toObject();
        const int n = output["number"].toInt();
        put(messages, numbered("output/%1/input", n), output["input"]);
        const QString option = inputs.TextOf(output["input"].toInt());
        if (!option.isEmpty())
            put(messages, numbered("output/%1/input_name", n), option);
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

} // namespace

MqttMessages StateMessages(const QJsonObject& state)
{
    MqttMessages messages;
    put(messages, "device/model", state["device"]["model"]);
    put(messages, "device/firmware", state["device"]["firmware"]);
    putInputs(messages, state["inputs"].toArray());
    putOutputs(messages, state["outputs"].toArray(), InputOptions(state));
    for (const QJsonValue& scene : state["scenes"].toArray())
        put(messages, numbered("scene/%1/name", scene["number"].toInt()), scene["name"]);
    putEdidNames(messages, state["edidNames"].toObject());
    if (!state["network"]["ip"].isNull())
        put(messages, "network", state["network"]);
    return messages;
}
