#include "MqttBrokerQuery.h"

#include <mosquitto.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <set>

namespace {

// Retained messages follow a SUBACK at once; a pause this long after the last one means the
// broker has given them all.
constexpr auto kQuiet = std::chrono::milliseconds(200);
constexpr int kTurnMs = 20;

QString describe(int rc)
{
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(errno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

struct MqttBrokerQuery::State {
    bool connected = false;
    QString refusal;
    QString logError;      // the library's own words for its last error (TLS, mostly)
    std::set<int> pending; // message ids of SUBSCRIBEs and PUBLISHes not yet acknowledged
    MqttMessages held;
    std::chrono::steady_clock::time_point lastMessage;
};

namespace {

MqttBrokerQuery::State& stateOf(void* object)
{
    return *static_cast<MqttBrokerQuery::State*>(object);
}

void onConnect(mosquitto*, void* object, int rc)
{
    MqttBrokerQuery::State& s = stateOf(object);
    if (rc == 0)
        s.connected = true;
    else
        s.refusal = QStringLiteral("the broker refused the connection: %1")
                        .arg(QString::fromUtf8(mosquitto_connack_string(rc)));
}

void onLog(mosquitto*, void* object, int level, const char* text)
{
    if (level & MOSQ_LOG_ERR)
        stateOf(object).logError = QString::fromUtf8(text);
}

void onSubscribe(mosquitto*, void* object, int mid, int, const int*)
{
    stateOf(object).pending.erase(mid);
}

void onPublish(mosquitto*, void* object, int mid) { stateOf(object).pending.erase(mid); }

void onMessage(mosquitto*, void* object, const mosquitto_message* message)
{
    MqttBrokerQuery::State& s = stateOf(object);
    s.lastMessage = std::chrono::steady_clock::now();
    if (!message->retain)
        return;
    s.held[QString::fromUtf8(message->topic)] =
        QByteArray(static_cast<const char*>(message->payload), message->payloadlen);
}

} // namespace

void ApplyBrokerLogin(mosquitto* mosq, const MqttOptions& options)
{
    if (!options.user.isEmpty()) {
        const QByteArray user = options.user.toUtf8();
        mosquitto_username_pw_set(mosq, user.constData(),
                                  options.password.isEmpty() ? nullptr
                                                             : options.password.constData());
    }
    if (options.tls && !options.caFile.isEmpty())
        mosquitto_tls_set(mosq, options.caFile.toLocal8Bit().constData(), nullptr, nullptr, nullptr,
                          nullptr);
    else if (options.tls)
        mosquitto_int_option(mosq, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
}

MqttBrokerQuery::MqttBrokerQuery(const MqttOptions& options, std::chrono::milliseconds timeout)
    : state_(std::make_unique<State>()), deadline_(std::chrono::steady_clock::now() + timeout)
{
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
    const QByteArray clientId =
        "tavloctl-" + QByteArray::number(QRandomGenerator::system()->generate64(), 16);
    mosq_ = mosquitto_new(clientId.constData(), true, state_.get());
    mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(mosq_, onConnect);
    mosquitto_subscribe_callback_set(mosq_, onSubscribe);
    mosquitto_publish_callback_set(mosq_, onPublish);
    mosquitto_message_callback_set(mosq_, onMessage);
    mosquitto_log_callback_set(mosq_, onLog);
    ApplyBrokerLogin(mosq_, options);
    host_ = options.host.toUtf8();
    port_ = options.port;
}

MqttBrokerQuery::~MqttBrokerQuery()
{
    if (state_->connected) {
        mosquitto_disconnect(mosq_);
        mosquitto_loop(mosq_, kTurnMs, 1);
    }
    mosquitto_destroy(mosq_);
}

bool MqttBrokerQuery::runUntil(const char* what, const std::function<bool()>& done, QString* error)
{
    while (!done()) {
        if (!state_->refusal.isEmpty()) {
            *error = state_->refusal;
            return false;
        }
        if (std::chrono::steady_clock::now() > deadline_) {
            *error = QStringLiteral("the broker did not answer in time (%1)").arg(what);
            return false;
        }
        const int rc = mosquitto_loop(mosq_, kTurnMs, 1);
        if (rc != MOSQ_ERR_SUCCESS && state_->refusal.isEmpty()) {
            *error = QStringLiteral("%1: %2").arg(what, describe(rc));
            if (!state_->logError.isEmpty())
                *error += ' ' + state_->logError;
            return false;
        }
    }
    return true;
}

bool MqttBrokerQuery::Connect(QString* error)
{
    // Not waiting in the library's connect: the deadline bounds it too.
    const int rc = mosquitto_connect_async(mosq_, host_.constData(), port_, 30);
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = describe(rc);
        return false;
    }
    return runUntil(
        "connecting", [this] { return state_->connected; }, error);
}

bool MqttBrokerQuery::Held(const std::vector<QString>& filters, MqttMessages& held, QString* error)
{
    state_->held.clear();
    for (const QString& filter : filters) {
        int mid = 0;
        const QByteArray bytes = filter.toUtf8();
        // QoS 0: retained messages then come at once, none held back behind acknowledgements.
        const int rc = mosquitto_subscribe(mosq_, &mid, bytes.constData(), 0);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("cannot subscribe to %1: %2").arg(filter, describe(rc));
            return false;
        }
        state_->pending.insert(mid);
    }
    state_->lastMessage = std::chrono::steady_clock::now();
    const bool ok = runUntil(
        "subscribing",
        [this] {
            return state_->pending.empty() &&
                   std::chrono::steady_clock::now() - state_->lastMessage > kQuiet;
        },
        error);
    held.clear();
    for (const QString& filter : filters) {
        const QByteArray bytes = filter.toUtf8();
        mosquitto_unsubscribe(mosq_, nullptr, bytes.constData());
        // Only what these filters brought: a late one for an earlier call is not kept.
        for (const auto& [topic, payload] : state_->held) {
            bool matches = false;
            mosquitto_topic_matches_sub(bytes.constData(), topic.toUtf8().constData(), &matches);
            if (matches)
                held[topic] = payload;
        }
    }
    return ok;
}

bool MqttBrokerQuery::PublishRetained(const MqttMessages& messages, QString* error)
{
    for (const auto& [topic, payload] : messages) {
        int mid = 0;
        const QByteArray bytes = topic.toUtf8();
        const int rc = mosquitto_publish(mosq_, &mid, bytes.constData(), int(payload.size()),
                                         payload.constData(), 1, true);
        if (rc != MOSQ_ERR_SUCCESS) {
            *error = QStringLiteral("cannot publish on %1: %2").arg(topic, describe(rc));
            return false;
        }
        state_->pending.insert(mid);
        // A few at a time: the library holds back what the broker has not acknowledged.
        if (!runUntil(
                "publishing", [this] { return state_->pending.size() < 16; }, error))
            return false;
    }
    return runUntil(
        "publishing", [this] { return state_->pending.empty(); }, error);
}

QString RivalBridge(const MqttOptions& options, std::chrono::milliseconds timeout, QString* unknown)
{
    MqttBrokerQuery query(options, timeout);
    const QString availability = options.BaseTopic() + "/availability";
    MqttMessages held;
    if (!query.Connect(unknown) ||
        !query.Held(
            {QStringLiteral("%1/+/%2/+/config").arg(options.discoveryPrefix, options.DeviceKey()),
             availability},
            held, unknown))
        return {};
    // Each discovery message names the availability of the bridge that published it.
    std::set<QString> owners;
    for (const auto& [topic, payload] : held) {
        const QString owner =
            QJsonDocument::fromJson(payload).object()["availability_topic"].toString();
        if (topic != availability && !owner.isEmpty() && owner != availability)
            owners.insert(owner);
    }
    MqttMessages said;
    if (!owners.empty() &&
        !query.Held(std::vector<QString>(owners.begin(), owners.end()), said, unknown))
        return {};
    said[availability] = held[availability];
    for (const auto& [topic, payload] : said) {
        if (payload != "online")
            continue;
        if (topic == availability)
            return QStringLiteral("another bridge is online with the topics %1/# (%2 says "
                                  "online): give this one another --mqtt-id or "
                                  "--mqtt-prefix, or stop the other. A bridge that ended "
                                  "without a word is said offline by the broker within 45 s")
                .arg(options.BaseTopic(), topic);
        return QStringLiteral("another bridge that is online (%1) holds the Home Assistant "
                              "discovery topics of %2 (%3/…/%2/…): give this one another "
                              "--mqtt-id or --mqtt-prefix, or stop the other")
            .arg(topic, options.DeviceKey(), options.discoveryPrefix);
    }
    return {};
}
