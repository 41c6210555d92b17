// `tavloctl mqtt-forget`: takes a matrix's bridge off the broker for good, after its ID has
// changed or the matrix is retired. The empty retained discovery messages are Home Assistant's
// word for removing the device and its entities; clearing the state topics leaves nothing for
// a new subscriber to find.
#include "CliFailure.h"
#include "CommandRunner.h"
#include "MatrixCommands.h"
#include "MqttBrokerQuery.h"
#include "MqttCliOptions.h"

#include <memory>

namespace {

// An empty retained message on every topic the broker holds a message on.
MqttMessages cleared(const MqttMessages& held)
{
    MqttMessages empty;
    for (const auto& [topic, payload] : held)
        empty[topic] = QByteArray();
    return empty;
}

int forget(const MqttOptions& options, std::chrono::milliseconds timeout)
{
    MqttBrokerQuery query(options, timeout);
    const QString base = options.BaseTopic() + '/';
    MqttMessages configs;
    MqttMessages state;
    QString error;
    if (!query.Connect(&error) ||
        !query.Held(
            {QStringLiteral("%1/+/%2/+/config").arg(options.discoveryPrefix, options.DeviceKey())},
            configs, &error) ||
        !query.Held({base + '#'}, state, &error))
        throw CliFailure{ExitPortError,
                         QStringLiteral("%1: %2").arg(options.BrokerText(), error).toStdString()};
    // A bridge still running would publish it all again at its next connect.
    if (state[base + "availability"] == "online")
        throw CliFailure{ExitUsage,
                         QStringLiteral("the bridge of %1 is online: end its `tavloctl serve` "
                                        "first")
                             .arg(options.BaseTopic())
                             .toStdString()};
    // Home Assistant removes the entities before their state goes, so none shows "unknown".
    if (!query.PublishRetained(cleared(configs), &error) ||
        !query.PublishRetained(cleared(state), &error))
        throw CliFailure{ExitPortError,
                         QStringLiteral("%1: %2").arg(options.BrokerText(), error).toStdString()};
    PrintOut(QStringLiteral("%1: removed %2 from Home Assistant (%3 discovery messages) and "
                            "cleared %4 retained topics below %5\n")
                 .arg(options.BrokerText(), options.DeviceKey())
                 .arg(configs.size())
                 .arg(state.size())
                 .arg(base)
                 .toStdString());
    return ExitOk;
}

} // namespace

void RegisterMqttForgetCommand(CLI::App& app, CliContext& context)
{
    auto mqtt = std::make_shared<MqttArguments>();
    CLI::App* command = app.add_subcommand(
        "mqtt-forget", "Remove a matrix's bridge from an MQTT broker: its device and entities "
                       "from Home Assistant, and its retained topics (docs/mqtt.md). Its "
                       "`tavloctl serve` must have ended.");
    AddMqttOptions(*command, *mqtt);
    command->callback([&context, mqtt] {
        QString error;
        if (mqtt->url.empty())
            throw UsageError{"mqtt-forget needs --mqtt mqtt://HOST:PORT and --mqtt-id ID"};
        const std::optional<MqttOptions> options = ReadMqttOptions(*mqtt, &error);
        if (!options)
            throw UsageError{error.toStdString()};
        const auto timeout = std::chrono::milliseconds(ConfirmTimeoutMs(context));
        RunGuarded(context, [&] { return forget(*options, timeout); });
    });
}
