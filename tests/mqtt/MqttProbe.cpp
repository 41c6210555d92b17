#include "MqttProbe.h"

#include <QTest>
#include <atomic>
#include <mosquitto.h>

namespace mqtt_test {

namespace {

std::atomic<int> probeCount{0};

} // namespace

MqttProbe::MqttProbe(quint16 port, const QString& filter, const Options& options)
{
    mosquitto_lib_init();
    const QByteArray id = "probe-" + QByteArray::number(++probeCount);
    mosq_ = mosquitto_new(id.constData(), true, this);
    mosquitto_message_callback_set(mosq_, onMessage);
    mosquitto_subscribe_callback_set(mosq_, onSubscribe);
    if (!options.user.isEmpty())
        mosquitto_username_pw_set(mosq_, options.user.constData(), options.password.constData());
    if (!options.caFile.isEmpty())
        mosquitto_tls_set(mosq_, options.caFile.toLocal8Bit().constData(), nullptr, nullptr,
                          nullptr, nullptr);
    if (mosquitto_connect(mosq_, "127.0.0.1", port, 30) != MOSQ_ERR_SUCCESS ||
        mosquitto_loop_start(mosq_) != MOSQ_ERR_SUCCESS)
        return;
    mosquitto_subscribe(mosq_, nullptr, filter.toUtf8().constData(), 1);
    (void)QTest::qWaitFor([this] { return subscribed_.load(); }, 5000);
}

MqttProbe::~MqttProbe()
{
    mosquitto_disconnect(mosq_);
    mosquitto_loop_stop(mosq_, false);
    mosquitto_destroy(mosq_);
}

void MqttProbe::onSubscribe(mosquitto*, void* self, int, int, const int*)
{
    static_cast<MqttProbe*>(self)->subscribed_ = true;
}

void MqttProbe::onMessage(mosquitto*, void* self, const mosquitto_message* message)
{
    auto* probe = static_cast<MqttProbe*>(self);
    Message kept{QString::fromUtf8(message->topic),
                 QByteArray(static_cast<const char*>(message->payload), message->payloadlen),
                 message->retain, Clock::now()};
    std::lock_guard lock(probe->mutex_);
    probe->messages_.push_back(std::move(kept));
}

bool MqttProbe::publish(const QString& topic, const QByteArray& payload, bool retain)
{
    return mosquitto_publish(mosq_, nullptr, topic.toUtf8().constData(), int(payload.size()),
                             payload.constData(), 1, retain) == MOSQ_ERR_SUCCESS;
}

std::vector<MqttProbe::Message> MqttProbe::messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}

std::optional<MqttProbe::Message>
MqttProbe::waitFor(const std::function<bool(const Message&)>& match, int timeoutMs) const
{
    std::optional<Message> found;
    (void)QTest::qWaitFor(
        [&] {
            for (const Message& message : messages()) {
                if (match(message)) {
                    found = message;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return found;
}

std::optional<MqttProbe::Message> MqttProbe::waitFor(const QString& topic,
                                                     const QByteArray& payload, int timeoutMs) const
{
    return waitFor([&](const Message& m) { return m.topic == topic && m.payload == payload; },
                   timeoutMs);
}

void MqttProbe::settle(int quietMs, int timeoutMs) const
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    size_t seen = messages().size();
    while (Clock::now() < deadline) {
        QTest::qWait(quietMs);
        const size_t now = messages().size();
        if (now == seen)
            return;
        seen = now;
    }
}

std::map<QString, QByteArray> MqttProbe::retained() const
{
    std::map<QString, QByteArray> held;
    for (const Message& message : messages()) {
        if (message.retained)
            held[message.topic] = message.payload;
    }
    return held;
}

void MqttProbe::forget()
{
    std::lock_guard lock(mutex_);
    messages_.clear();
}

} // namespace mqtt_test
