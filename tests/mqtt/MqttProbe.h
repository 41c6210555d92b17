#pragma once
// A client of the broker as the tests use it: subscribes to one filter and keeps every message
// with the time it came and whether the broker delivered it as retained; publishes at QoS 1.
// Its own network thread, so waiting for a message keeps this thread's event loop running.
#include <QByteArray>
#include <QString>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace mqtt_test {

using Clock = std::chrono::steady_clock;

class MqttProbe {
public:
    struct Message {
        QString topic;
        QByteArray payload;
        bool retained = false;
        Clock::time_point at;
    };
    struct Options {
        QByteArray user;
        QByteArray password;
        QString caFile; // TLS, to 127.0.0.1
    };

    // Connected and subscribed, or connected() false.
    MqttProbe(quint16 port, const QString& filter, const Options& options = {});
    ~MqttProbe();
    MqttProbe(const MqttProbe&) = delete;
    MqttProbe& operator=(const MqttProbe&) = delete;

    bool connected() const { return subscribed_; }
    bool publish(const QString& topic, const QByteArray& payload, bool retain = false);

    std::vector<Message> messages() const;
    // The first message so far or within the time that matches.
    std::optional<Message> waitFor(const std::function<bool(const Message&)>& match,
                                   int timeoutMs = 3000) const;
    std::optional<Message> waitFor(const QString& topic, const QByteArray& payload,
                                   int timeoutMs = 3000) const;
    // Waits until nothing has come for quietMs (at most timeoutMs in all).
    void settle(int quietMs = 300, int timeoutMs = 5000) const;
    // The last payload of each topic received as retained: what the broker held.
    std::map<QString, QByteArray> retained() const;
    // Messages so far are no longer returned.
    void forget();

private:
    static void onSubscribe(mosquitto*, void* self, int, int, const int*);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* message);

    mosquitto* mosq_ = nullptr;
    std::atomic<bool> subscribed_{false};
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
};

} // namespace mqtt_test
