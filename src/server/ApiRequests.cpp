#include "ApiRequests.h"

#include "Cp936.h"
#include "MatrixRequests.h"
#include "Refusal.h"

#include <QJsonArray>
#include <cmath>
#include <functional>
#include <map>

namespace {

QJsonValue field(const QJsonObject& request, const char* key)
{
    const QJsonValue value = request.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        throw BadRequest{QStringLiteral("the request needs \"%1\"").arg(key)};
    return value;
}

int wholeNumber(const QJsonValue& value, const char* key)
{
    const double number = value.toDouble(std::nan(""));
    if (!value.isDouble() || std::floor(number) != number || std::abs(number) > 1e9)
        throw BadRequest{QStringLiteral("\"%1\" must be a whole number").arg(key)};
    return static_cast<int>(number);
}

int number(const QJsonObject& request, const char* key)
{
    return wholeNumber(field(request, key), key);
}

std::string text(const QJsonObject& request, const char* key)
{
    const QJsonValue value = field(request, key);
    if (!value.isString())
        throw BadRequest{QStringLiteral("\"%1\" must be a string").arg(key)};
    return value.toString().toStdString();
}

// A name is checked as it was given, before it becomes UTF-8 for the shared requests: a lone
// surrogate has no UTF-8 form and would reach them as another character.
std::string nameText(const QJsonObject& request, const char* key)
{
    std::string utf8 = text(request, key);
    const QString given = request.value(QLatin1String(key)).toString();
    const NameCheck check = CheckName(given);
    if (!given.isEmpty() && !check.bytes)
        throw Refusal{RefusalCode::BadName, check.error.toStdString() + ": '" + utf8 + "'"};
    return utf8;
}

bool flag(const QJsonObject& request, const char* key, bool fallback)
{
    const QJsonValue value = request.value(QLatin1String(key));
    if (value.isUndefined() || value.isNull())
        return fallback;
    if (!value.isBool())
        throw BadRequest{QStringLiteral("\"%1\" must be true or false").arg(key)};
    return value.toBool();
}

// A port number, or "all" where every port of the kind may be addressed.
int targetOf(const QJsonValue& value, const char* key)
{
    if (value.isString())
        return ParseTarget(value.toString().toStdString(), kPortCount, key);
    return wholeNumber(value, key);
}

int target(const QJsonObject& request, const char* key)
{
    return targetOf(field(request, key), key);
}

// One number, "all", or a list of numbers.
std::vector<int> targets(const QJsonObject& request, const char* key)
{
    const QJsonValue value = field(request, key);
    if (!value.isArray())
        return {targetOf(value, key)};
    std::vector<int> list;
    for (const QJsonValue& entry : value.toArray())
        list.push_back(targetOf(entry, key));
    return list;
}

MatrixAction route(const QJsonObject& r)
{
    return Requests::Route(number(r, "input"), targets(r, "output"));
}

MatrixAction scene(const QJsonObject& r)
{
    const int action = ParseChoice(text(r, "action"), {"save", "recall"}, "the scene action");
    const int scene = number(r, "scene");
    return action == 0 ? Requests::SceneSave(scene) : Requests::SceneRecall(scene);
}

MatrixAction sceneName(const QJsonObject& r)
{
    return Requests::SceneName(number(r, "scene"), nameText(r, "name"));
}

MatrixAction name(const QJsonObject& r)
{
    return Requests::RenamePort(ParsePortGroup(text(r, "kind")), number(r, "port"),
                                nameText(r, "name"));
}

// Either an input's mode or an output's path switched on or off.
MatrixAction audio(const QJsonObject& r)
{
    if (r.contains("input"))
        return Requests::AudioInput(target(r, "input"), ParseAudioMode(text(r, "mode")));
    if (!r.contains("output"))
        throw BadRequest{QStringLiteral("the request needs \"input\" or \"output\"")};
    const QJsonValue on = field(r, "on");
    if (!on.isBool())
        throw BadRequest{QStringLiteral("\"on\" must be true or false")};
    return Requests::AudioOutput(target(r, "output"), ParseAudioPath(text(r, "path")), on.toBool());
}

MatrixAction edid(const QJsonObject& r)
{
    return Requests::EdidInput(target(r, "input"), ParseEdidMode(text(r, "mode")),
                               number(r, "source"));
}

MatrixAction edidStoreUser(const QJsonObject& r)
{
    const QJsonValue given = field(r, "slots");
    std::vector<int> list;
    if (given.isArray()) {
        for (const QJsonValue& slot : given.toArray())
            list.push_back(wholeNumber(slot, "slots"));
    } else {
        list.push_back(wholeNumber(given, "slots"));
    }
    return Requests::EdidStoreUser(list, ParseEdidOutputKind(text(r, "kind")), number(r, "output"));
}

MatrixAction ip(const QJsonObject& r)
{
    return Requests::StaticAddress(text(r, "ip"), text(r, "mask"), text(r, "gateway"),
                                   flag(r, "dhcp", false), flag(r, "confirm", false));
}

MatrixAction dhcp(const QJsonObject& r)
{
    const QJsonValue on = field(r, "on");
    if (!on.isBool())
        throw BadRequest{QStringLiteral("\"on\" must be true or false")};
    return Requests::Dhcp(on.toBool());
}

using Reader = std::function<MatrixAction(const QJsonObject&)>;

const std::map<QString, Reader>& readers()
{
    static const std::map<QString, Reader> table = {
        {"route", route},
        {"scene", scene},
        {"scene_name", sceneName},
        {"name", name},
        {"audio", audio},
        {"edid", edid},
        {"edid_store_user", edidStoreUser},
        {"ip", ip},
        {"dhcp", dhcp},
        {"reboot",
         [](const QJsonObject& r) { return Requests::Restart(flag(r, "confirm", false)); }},
        {"factory",
         [](const QJsonObject& r) { return Requests::FactoryReset(flag(r, "confirm", false)); }},
    };
    return table;
}

} // namespace

bool IsActionRequest(const QString& cmd)
{
    return cmd == QLatin1String("send") || readers().contains(cmd);
}

std::optional<ApiAction> ActionForRequest(const QString& cmd, const QJsonObject& request)
{
    if (cmd == QLatin1String("send"))
        return ApiAction{Requests::RawText(text(request, "text")), true};
    const auto it = readers().find(cmd);
    if (it == readers().end())
        return std::nullopt;
    return ApiAction{it->second(request), false};
}
