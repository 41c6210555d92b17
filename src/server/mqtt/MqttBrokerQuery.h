#pragma once
// A short-lived client of the broker for what tavloctl asks of it beside a bridge: what the
// broker holds under some filters, and clearing retained topics. It connects under a client id
// of its own, so it never pushes a bridge off. Blocking, every step bounded by the deadline
// given at construction; one thread.
#include "MqttOptions.h"
#include "MqttStateTopics.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

struct mosquitto;

class MqttBrokerQuery {
public:
    MqttBrokerQuery(const MqttOptions& options, std::chrono::milliseconds timeout);
    ~MqttBrokerQuery();
    MqttBrokerQuery(const MqttBrokerQuery&) = delete;
    MqttBrokerQuery& operator=(const MqttBrokerQuery&) = delete;

    // False, with the reason, when the broker cannot be reached or refuses.
    bool Connect(QString* error);
    // The retained messages under the filters, as a new subscriber is given them: full topic
    // → payload.
    bool Held(const std::vector<QString>& filters, MqttMessages& held, QString* error);
    // Publishes each retained (an empty payload clears the topic) and waits until the broker
    // has taken them all.
    bool PublishRetained(const MqttMessages& messages, QString* error);

    struct State;

private:
    bool runUntil(const char* what, const std::function<bool()>& done, QString* error);

    std::unique_ptr<State> state_;
    mosquitto* mosq_ = nullptr;
    QByteArray host_;
    int port_ = 0;
    std::chrono::steady_clock::time_point deadline_;
};

// The bridge's login and TLS settings on a client, as the bridge itself makes them.
void ApplyBrokerLogin(mosquitto* mosq, const MqttOptions& options);

// Why a bridge with these options must not start: another bridge that is online holds the
// discovery topics of its device, or its own topics. Empty when none does. A broker that
// cannot be asked sets *unknown to the reason, and the answer is empty.
QString RivalBridge(const MqttOptions& options, std::chrono::milliseconds timeout,
                    QString* unknown);
