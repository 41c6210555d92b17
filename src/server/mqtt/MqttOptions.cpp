#include "MqttOptions.h"

#include "MqttTls.h"

#include <QFile>
#include <QUrl>
#include <algorithm>

namespace {

constexpr int kMaxIdLength = 64;
constexpr int kMaxPrefixLength = 256;
constexpr qint64 kMaxSecretBytes = 4096;

bool isIdCharacter(QChar c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

QString quoted(const std::string& text) { return '\'' + QString::fromStdString(text) + '\''; }

// Levels joined by '/', none empty, no wildcard, and not one of the broker's own '$' topics.
bool isTopicPrefix(const QString& prefix)
{
    if (prefix.isEmpty() || prefix.size() > kMaxPrefixLength || prefix.startsWith('$'))
        return false;
    for (const QString& level : prefix.split('/')) {
        if (level.isEmpty() || level.contains('+') || level.contains('#') ||
            level.contains(QChar(0)))
            return false;
    }
    return true;
}

bool readBroker(const std::string& url, MqttOptions& options, QString* error)
{
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    const QString scheme = parsed.scheme().toLower();
    if (!parsed.isValid() || (scheme != "mqtt" && scheme != "mqtts") || parsed.host().isEmpty() ||
        !parsed.path().remove('/').isEmpty() || parsed.hasQuery() || parsed.hasFragment()) {
        *error = QStringLiteral("not a broker address: %1 (write mqtt://HOST:PORT, or "
                                "mqtts://HOST:PORT for TLS)")
                     .arg(quoted(url));
        return false;
    }
    if (!parsed.userInfo().isEmpty()) {
        *error = QStringLiteral("the broker address holds a user or password: give the user "
                                "with --mqtt-user and the password in --mqtt-password-file");
        return false;
    }
    options.tls = scheme == "mqtts";
    if (options.tls && !MqttTlsInThisBuild()) {
        *error = QStringLiteral("mqtts:// is not in this build: its MQTT client library was "
                                "built without TLS");
        return false;
    }
    options.host = parsed.host();
    options.port = parsed.port(options.tls ? 8883 : 1883);
    return true;
}

bool readIdentity(const MqttArguments& given, MqttOptions& options, QString* error)
{
    if (given.id.empty()) {
        *error = QStringLiteral("--mqtt needs --mqtt-id ID: the name of this matrix in its "
                                "topics (e.g. --mqtt-id hall1)");
        return false;
    }
    options.id = QString::fromStdString(given.id);
    if (options.id.size() > kMaxIdLength ||
        !std::all_of(options.id.begin(), options.id.end(), isIdCharacter)) {
        *error = QStringLiteral("--mqtt-id %1: use up to %2 letters, digits, '-' and '_' (the ID "
                                "is one topic level and part of Home Assistant's ids)")
                     .arg(quoted(given.id))
                     .arg(kMaxIdLength);
        return false;
    }
    if (!given.prefix.empty())
        options.prefix = QString::fromStdString(given.prefix);
    if (!isTopicPrefix(options.prefix)) {
        *error = QStringLiteral("--mqtt-prefix %1: write topic levels joined by '/', without "
                                "'+', '#', empty levels or a leading '$'")
                     .arg(quoted(given.prefix));
        return false;
    }
    if (!given.discoveryPrefix.empty())
        options.discoveryPrefix = QString::fromStdString(given.discoveryPrefix);
    if (!isTopicPrefix(options.discoveryPrefix)) {
        *error = QStringLiteral("--mqtt-discovery-prefix %1: write topic levels joined by '/', "
                                "without '+', '#', empty levels or a leading '$' (Home "
                                "Assistant's is homeassistant)")
                     .arg(quoted(given.discoveryPrefix));
        return false;
    }
    return true;
}

// The first line of the file, as it stands: spaces may belong to a password.
bool readPassword(const std::string& path, QByteArray& password, QString* error)
{
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the password file %1: %2")
                     .arg(QString::fromStdString(path), file.errorString());
        return false;
    }
    password = file.read(kMaxSecretBytes).split('\n').first();
    if (password.endsWith('\r'))
        password.chop(1);
    if (password.isEmpty()) {
        *error = QStringLiteral("the password file %1 must hold the password on its first line")
                     .arg(QString::fromStdString(path));
        return false;
    }
    return true;
}

bool readLogin(const MqttArguments& given, MqttOptions& options, QString* error)
{
    options.user = QString::fromStdString(given.user);
    if (!given.passwordFile.empty() && given.user.empty()) {
        *error = QStringLiteral("--mqtt-password-file needs --mqtt-user: the broker takes a "
                                "password only with a user name");
        return false;
    }
    if (!given.passwordFile.empty() && !readPassword(given.passwordFile, options.password, error))
        return false;
    if (given.caFile.empty())
        return true;
    if (!options.tls) {
        *error = QStringLiteral("--mqtt-ca is for a TLS broker: write its address as "
                                "mqtts://HOST:PORT");
        return false;
    }
    options.caFile = QString::fromStdString(given.caFile);
    if (!QFile(options.caFile).open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the CA file %1").arg(options.caFile);
        return false;
    }
    return true;
}

} // namespace

QString MqttOptions::DeviceKey() const
{
    QString key;
    for (const char byte : prefix.toUtf8()) {
        const auto c = static_cast<unsigned char>(byte);
        if (c != '-' && c != '_' && isIdCharacter(QChar(c)))
            key += QChar(c);
        else
            key += QStringLiteral("-%1").arg(c, 2, 16, QChar('0')).toUpper();
    }
    return key + '_' + id;
}

QString MqttOptions::BrokerText() const
{
    const QString literal = host.contains(':') ? '[' + host + ']' : host;
    return QStringLiteral("%1://%2:%3").arg(tls ? "mqtts" : "mqtt", literal).arg(port);
}

bool MqttArguments::AnyGiven() const
{
    return !url.empty() || !id.empty() || !prefix.empty() || !user.empty() ||
           !passwordFile.empty() || !caFile.empty() || !discoveryPrefix.empty();
}

std::optional<MqttOptions> ReadMqttOptions(const MqttArguments& given, QString* error)
{
    if (given.url.empty()) {
        *error = QStringLiteral("the --mqtt-… options need --mqtt mqtt://HOST:PORT");
        return std::nullopt;
    }
    MqttOptions options;
    if (!readBroker(given.url, options, error) || !readIdentity(given, options, error) ||
        !readLogin(given, options, error))
        return std::nullopt;
    return options;
}
