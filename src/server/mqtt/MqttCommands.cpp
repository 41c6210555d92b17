#include "MqttCommands.h"

#include "MatrixRequests.h"
#include "SelectOptions.h"

#include <QJsonDocument>
#include <QStringDecoder>
#include <functional>

namespace {

// One command as the topic and payload give it.
struct Command {
    std::string port; // the topic's '+' level, when it has one
    std::string text; // the payload as UTF-8 text, as sent
    std::string word; // the same without surrounding white space
    const QJsonObject& state;
};

using Reader = std::function<MatrixAction(const Command&)>;

int input(const Command& c) { return ParseNumber(c.port, 1, kPortCount, "input"); }
int output(const Command& c) { return ParseNumber(c.port, 1, kPortCount, "output"); }
int inputs(const Command& c) { return ParseTarget(c.port, kPortCount, "input"); }
int outputs(const Command& c) { return ParseTarget(c.port, kPortCount, "output"); }
int scene(const Command& c) { return ParseNumber(c.port, 1, kSceneCount, "scene"); }

// An input as Home Assistant's select offers it, or by its number.
int routedInput(const Command& c) { return InputOptions(c.state).Read(c.word); }

MatrixAction route(const Command& c) { return Requests::Route(routedInput(c), {outputs(c)}); }

MatrixAction rename(PortGroup group, const Command& c)
{
    return Requests::RenamePort(group, group == PortGroup::Input ? input(c) : output(c), c.text);
}

MatrixAction audioOutput(AudioPath path, const Command& c)
{
    return Requests::AudioOutput(outputs(c), path, ParseSwitch(c.word, "the switch"));
}

// {"mode": "user", "source": 2}, read as the JSON endpoint reads its "edid" request.
MatrixAction edid(const Command& c)
{
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(c.text));
    if (!document.isObject())
        throw BadRequest{QStringLiteral(
            "the payload must be a JSON object such as {\"mode\": \"user\", \"source\": 2}")};
    QJsonObject request = document.object();
    request.insert("input", QString::fromStdString(c.port));
    return ActionForRequest("edid", request)->action;
}

MatrixAction sceneAction(const Command& c)
{
    const int action = ParseChoice(c.word, {"save", "recall"}, "the scene action");
    return action == 0 ? Requests::SceneSave(scene(c)) : Requests::SceneRecall(scene(c));
}

// The payload must say "confirm": a restart or a reset is not a thing to do by accident.
MatrixAction confirmed(const char* what, const std::function<MatrixAction(bool)>& request,
                       const Command& c)
{
    try {
        return request(c.word == "confirm");
    } catch (Refusal& refusal) {
        if (refusal.code == RefusalCode::NeedsConfirmation)
            refusal.message = std::string(what) + " needs the payload 'confirm'";
        throw;
    }
}

const std::vector<std::pair<QString, Reader>>& readers()
{
    using namespace std::placeholders;
    static const std::vector<std::pair<QString, Reader>> table = {
        {"output/+/input", route},
        {"output/+/hdmi_name", std::bind(rename, PortGroup::Hdmi, _1)},
        {"output/+/hdbt_name", std::bind(rename, PortGroup::Hdbt, _1)},
        {"output/+/audio/iis", std::bind(audioOutput, AudioPath::Iis, _1)},
        {"output/+/audio/spdif", std::bind(audioOutput, AudioPath::Spdif, _1)},
        {"input/+/name", std::bind(rename, PortGroup::Input, _1)},
        {"input/+/audio",
         [](const Command& c) {
             return Requests::AudioInput(inputs(c),
                                         AudioInputMode(AudioModeOptions().Read(c.word)));
         }},
        {"input/+/edid", edid},
        {"scene/+", sceneAction},
        {"scene/+/name", [](const Command& c) { return Requests::SceneName(scene(c), c.text); }},
        {"send", [](const Command& c) { return Requests::RawText(c.text); }},
        {"reboot", std::bind(confirmed, "a restart", Requests::Restart, _1)},
        {"factory", std::bind(confirmed, "a factory reset", Requests::FactoryReset, _1)},
    };
    return table;
}

// Whether the topic has the pattern's levels, '+' standing for any one; that level is kept.
bool matches(const QStringList& levels, const QString& pattern, std::string& port)
{
    const QStringList wanted = pattern.split('/');
    if (wanted.size() != levels.size())
        return false;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        if (wanted[i] == QLatin1String("+"))
            port = levels[i].toStdString();
        else if (wanted[i] != levels[i])
            return false;
    }
    return true;
}

std::string utf8Text(const QByteArray& payload)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder.decode(payload);
    if (decoder.hasError())
        throw BadRequest{QStringLiteral("the payload is not UTF-8 text")};
    return text.toStdString();
}

} // namespace

std::optional<MatrixAction> ActionForTopic(const QString& topic, const QByteArray& payload,
                                           const QJsonObject& state)
{
    const QStringList levels = topic.split('/');
    for (const auto& [pattern, read] : readers()) {
        Command command{{}, {}, {}, state};
        if (!matches(levels, pattern, command.port))
            continue;
        command.text = utf8Text(payload);
        command.word = QString::fromStdString(command.text).trimmed().toStdString();
        return read(command);
    }
    return std::nullopt;
}
