#pragma once
// What the MQTT bridge is told: the broker, how to log in, and the names this matrix goes by
// there. Read from `tavloctl serve`'s arguments by ReadMqttOptions, which checks them all and
// says plainly what is wrong.
#include <QByteArray>
#include <QString>
#include <optional>
#include <string>

struct MqttOptions {
    QString host;
    int port = 1883;
    bool tls = false;
    QString caFile; // with tls: the CA that signed the broker's certificate; empty: the system's
    QString user;
    QByteArray password;

    QString prefix = QStringLiteral("tavlo");
    QString id; // letters, digits, '-' and '_': a topic level and a Home Assistant id alike
    QString discoveryPrefix = QStringLiteral("homeassistant");

    int keepAliveSeconds = 30;
    // Reconnecting: the first retry after retryMinMs, each further one twice as late, up to
    // retryMaxMs.
    int retryMinMs = 500;
    int retryMaxMs = 10000;
    qsizetype maxPayloadBytes = 64 * 1024; // a command's payload

    // PREFIX/ID: every state and command topic lies below it. Also the client id, so the
    // broker knows the bridge again after a reconnect.
    QString BaseTopic() const { return prefix + '/' + id; }
    // The device's id in Home Assistant, and the broker's client id: the prefix with every
    // character but letters and digits written as '-' and its UTF-8 bytes in hex ('/' is
    // "-2F"), then '_' and the ID. Different (prefix, ID) pairs never get the same key: the
    // first '_' ends the prefix. "tavlo_hall1" for the default prefix.
    QString DeviceKey() const;
    QString BrokerText() const; // mqtt://HOST:PORT, as given
};

// `serve`'s MQTT arguments as typed; empty means not given.
struct MqttArguments {
    std::string url;
    std::string id;
    std::string prefix;
    std::string user;
    std::string passwordFile;
    std::string caFile;
    std::string discoveryPrefix;

    bool AnyGiven() const;
};

// The options, or the reason they cannot be used (set in *error). Reads the password file.
std::optional<MqttOptions> ReadMqttOptions(const MqttArguments& given, QString* error);
