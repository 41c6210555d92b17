#include "MqttCliOptions.h"

void AddMqttOptions(CLI::App& command, MqttArguments& mqtt)
{
    command.add_option("--mqtt", mqtt.url,
                       "also publish the matrix on an MQTT broker and take commands from it: "
                       "mqtt://HOST:PORT, or mqtts://HOST:PORT for TLS (docs/mqtt.md)");
    command.add_option("--mqtt-id", mqtt.id,
                       "this matrix's name in its topics and in Home Assistant: letters, "
                       "digits, '-' and '_'");
    command.add_option("--mqtt-prefix", mqtt.prefix, "topics lie below PREFIX/ID (tavlo)");
    command.add_option("--mqtt-discovery-prefix", mqtt.discoveryPrefix,
                       "Home Assistant's discovery prefix (homeassistant)");
    command.add_option("--mqtt-user", mqtt.user, "user name for the broker");
    command.add_option("--mqtt-password-file", mqtt.passwordFile,
                       "the broker password, on the first line of FILE");
    command.add_option("--mqtt-ca", mqtt.caFile,
                       "with mqtts://: the CA certificate (PEM) that signed the broker's; the "
                       "system's CAs otherwise");
}
